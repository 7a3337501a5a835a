// The kept frame on an X server of the test's own that is short of memory: a frame the server
// cannot hold leaves the plain background and one log line, and the program runs on.

#include "platform/gtk/kept_frame.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "fake_transport.h"

namespace plenhall::gtk {
namespace {

struct Xvfb {
    ~Xvfb() {
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
    }
    GPid pid = 0;
};

TEST(KeptFrameOnX, AFrameTheServerCannotHoldLeavesThePlainBackground) {
    if (takeString(g_find_program_in_path("Xvfb")).empty()) GTEST_SKIP() << "needs Xvfb";
    // Xvfb, without GLX, starts in about 22 MB and may use 200: a 300 px square window's frame
    // fits, an 8000 px square one's (256 MB) does not.
    const char* argv[] = {"sh", "-c",
                          "ulimit -v 200000 && exec Xvfb -displayfd 1 -nolisten tcp -extension GLX "
                          "-screen 0 640x480x24",
                          nullptr};
    Xvfb server;
    int out = -1;
    ASSERT_TRUE(g_spawn_async_with_pipes(
        nullptr, const_cast<char**>(argv), nullptr,
        GSpawnFlags(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDERR_TO_DEV_NULL),
        nullptr, nullptr, &server.pid, nullptr, &out, nullptr, nullptr));
    std::string display = ":";
    for (char c = 0; read(out, &c, 1) == 1 && c != '\n';) display += c;
    close(out);
    g_setenv("DISPLAY", display.c_str(), TRUE);
    gdk_set_allowed_backends("x11");
    ASSERT_TRUE(gtk_init_check(nullptr, nullptr));

    testing::RecordingLog log;
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWidget* content = gtk_drawing_area_new();
    gtk_container_add(GTK_CONTAINER(window), content);
    auto frame = std::make_unique<KeptFrame>(GTK_WINDOW(window), content, log);
    gtk_widget_realize(window);
    GdkWindow* shown = gtk_widget_get_window(window);
    // The toolkit paints nothing: a window that large is more than the server could paint either.
    gdk_window_freeze_updates(shown);
    auto frameIsTheBackground = [&] {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        cairo_pattern_t* pattern = gdk_window_get_background_pattern(shown);
        G_GNUC_END_IGNORE_DEPRECATIONS
        return pattern && cairo_pattern_get_type(pattern) == CAIRO_PATTERN_TYPE_SURFACE;
    };
    const struct {
        int size;
        bool kept;
        std::size_t logLines;
    } steps[] = {{300, true, 0}, {8000, false, 1}, {8000, false, 1}, {300, true, 1}};
    for (const auto& step : steps) {
        gtk_window_resize(GTK_WINDOW(window), step.size, step.size);
        gtk_widget_show_all(window);
        // Until the server has said it all; the bound is for a failing test, not a wait.
        for (gint64 end = g_get_monotonic_time() + 10 * G_USEC_PER_SEC;
             gdk_window_get_width(shown) != step.size && g_get_monotonic_time() < end;)
            g_main_context_iteration(nullptr, TRUE);
        frame->keepShown();
        gtk_widget_hide(window);
        gdk_display_sync(gdk_display_get_default());
        while (g_main_context_pending(nullptr)) g_main_context_iteration(nullptr, FALSE);
        EXPECT_EQ(frameIsTheBackground(), step.kept) << step.size;
        EXPECT_EQ(log.lines.size(), step.logLines) << step.size;
    }
    EXPECT_NE(log.lines[0].find("8000x8000 (the X server refused it)"), std::string::npos);
    // Another scale factor: the frame drawn for the old one goes.
    g_object_notify(G_OBJECT(window), "scale-factor");
    EXPECT_FALSE(frameIsTheBackground());
    frame.reset();
    gtk_widget_destroy(window);
    gdk_display_close(gdk_display_get_default());
}

}  // namespace
}  // namespace plenhall::gtk
