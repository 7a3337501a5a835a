// The kept frame on an X server of the test's own that is short of memory: a frame the server
// cannot hold leaves the plain background and one log line, and the program runs on.

#include "platform/gtk/kept_frame.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "private_bus.h"

namespace plenhall::gtk {
namespace {

using testing::RecordingLog;
using testing::runLoopUntil;
using testing::TestProcesses;

// Xvfb, without GLX, starts in about 22 MB and may use 200: a 300 px square window's frame fits,
// an 8000 px square one's (256 MB) does not.
constexpr int kFits = 300, kTooLarge = 8000;

class KeptFrameOnX : public ::testing::Test {
  protected:
    void SetUp() override {
        if (takeString(g_find_program_in_path("Xvfb")).empty()) GTEST_SKIP() << "needs Xvfb";
        int out = -1;
        ASSERT_TRUE(server.spawn({"sh", "-c",
                                  "ulimit -v 200000 && exec Xvfb -displayfd 1 -nolisten tcp "
                                  "-extension GLX -screen 0 640x480x24"},
                                 {}, true, &out));
        const std::string number = TestProcesses::firstLine(out);
        ASSERT_FALSE(number.empty());
        g_setenv("DISPLAY", (":" + number).c_str(), TRUE);
        gdk_set_allowed_backends("x11");
        ASSERT_TRUE(gtk_init_check(nullptr, nullptr));
        window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
        content = gtk_drawing_area_new();
        gtk_container_add(GTK_CONTAINER(window), content);
        frame = std::make_unique<KeptFrame>(GTK_WINDOW(window), content, log);
        gtk_widget_realize(window);
        // The toolkit paints nothing: a window that large is more than the server could paint
        // either, and the frame is what is tested here.
        gdk_window_freeze_updates(gtk_widget_get_window(window));
    }
    void TearDown() override {
        frame.reset();
        if (window) gtk_widget_destroy(window);
        if (GdkDisplay* display = gdk_display_get_default()) gdk_display_close(display);
    }

    // Shows the window `size` px square and hides it, keeping what it showed.
    void showAndHide(int size) {
        gtk_window_resize(GTK_WINDOW(window), size, size);
        gtk_widget_show_all(window);
        GdkWindow* shown = gtk_widget_get_window(window);
        ASSERT_TRUE(runLoopUntil([&] { return gdk_window_get_width(shown) == size; }));
        frame->keepShown();
        gtk_widget_hide(window);
    }
    bool frameIsTheBackground() {
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        cairo_pattern_t* pattern = gdk_window_get_background_pattern(gtk_widget_get_window(window));
        G_GNUC_END_IGNORE_DEPRECATIONS
        return pattern && cairo_pattern_get_type(pattern) == CAIRO_PATTERN_TYPE_SURFACE;
    }

    TestProcesses server;
    RecordingLog log;
    GtkWidget* window = nullptr;
    GtkWidget* content = nullptr;
    std::unique_ptr<KeptFrame> frame;
};

TEST_F(KeptFrameOnX, AFrameTheServerCannotHoldLeavesThePlainBackground) {
    const struct {
        int size;
        bool kept;
        std::size_t logLines;
    } steps[] = {
        {kFits, true, 0},
        {kTooLarge, false, 1},
        {kTooLarge, false, 1},  // told once
        {kFits, true, 1},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.size);
        showAndHide(step.size);
        // Anything the server still had to say has arrived.
        gdk_display_sync(gdk_display_get_default());
        runLoopUntil([] { return !g_main_context_pending(nullptr); });
        EXPECT_EQ(frameIsTheBackground(), step.kept);
        EXPECT_EQ(log.lines.size(), step.logLines);
    }

    EXPECT_NE(log.lines[0].find("8000x8000 (the X server refused it)"), std::string::npos)
        << log.lines[0];

    // Another scale factor: the frame drawn for the old one goes.
    g_object_notify(G_OBJECT(window), "scale-factor");
    EXPECT_FALSE(frameIsTheBackground());
}

}  // namespace
}  // namespace plenhall::gtk
