#include "platform/gtk/gtk_platform.h"

#include <gio/gio.h>
#include <unistd.h>

#include <climits>
#include <cstdio>

#include "platform/gtk/portal_global_shortcuts.h"
#include "platform/gtk/x11_hot_keys.h"

#ifdef GDK_WINDOWING_X11
#include <gdk/gdkx.h>
#endif

namespace plenhall::gtk {
namespace {

std::string runningProgram() {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    return length > 0 ? std::string(path, std::size_t(length)) : std::string("plenhall-desktop");
}

}  // namespace

void GlibMainQueue::async(std::function<void()> work) {
    pending_.push_back(std::move(work));
    // The queue owns the call, which goes with it.
    if (!source_)
        source_ = ScheduledCall::idleWhile([this] { return runBatch(); }, G_PRIORITY_DEFAULT);
}

bool GlibMainQueue::runBatch() {
    // Work posted while this batch runs waits for the next turn of the loop.
    for (std::size_t n = pending_.size(); n > 0 && !pending_.empty(); --n) {
        auto work = std::move(pending_.front());
        pending_.pop_front();
        work();
    }
    return !pending_.empty();
}

namespace {
class GlibTimer final : public MainQueue::Timer {
  public:
    explicit GlibTimer(ScheduledCall call) : call_(std::move(call)) {}

  private:
    ScheduledCall call_;
};
}  // namespace

std::unique_ptr<MainQueue::Timer> GlibMainQueue::asyncAfter(std::chrono::milliseconds delay,
                                                            std::function<void()> work) {
    return std::make_unique<GlibTimer>(ScheduledCall::after(delay, std::move(work)));
}

void StderrLog::line(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fputc('\n', stderr);
    std::fflush(stderr);
}

std::string GettextLocalization::translate(const char* english) const {
    return g_dgettext(GETTEXT_PACKAGE, english);
}

bool GioWorkspace::openURL(const std::string& url) {
    GErrorHolder error;
    GdkDisplay* display = gdk_display_get_default();
    auto context = display
                       ? adopt(G_APP_LAUNCH_CONTEXT(gdk_display_get_app_launch_context(display)))
                       : GObjectPtr<GAppLaunchContext>();
    return g_app_info_launch_default_for_uri(url.c_str(), context.get(), error.out());
}

std::string GtkPlatform::preferencesPath() {
    return takeString(
        g_build_filename(g_get_user_config_dir(), "plenhall-desktop", "preferences.json", nullptr));
}

GtkPlatform::GtkPlatform(int argc, char** argv, BuildInfo build)
    : build_(std::move(build)),
      application_(argc, argv, editingKeys_, log_),
      windows_(focus_, keyMonitor_, log_),
      hotKeys_([this](GdkDisplay* display) -> std::unique_ptr<GlobalHotKeys> {
#ifdef GDK_WINDOWING_X11
          // XWayland passes a grab only the keys typed into its own windows.
          if (GDK_IS_X11_DISPLAY(display) && !screens_.throughXWayland())
              return std::make_unique<X11HotKeys>(state_);
#endif
          // Elsewhere no program can grab keys; the desktop binds the shortcut for us.
          return std::make_unique<PortalGlobalShortcuts>(log_,
                                                         PortalGlobalShortcuts::busTransport());
      }),
      loginItem_(runningProgram()) {
    windows_.setApplication(application_.application());
    // After the toolkit's own start-up, whose settings the appearance changes, for a launch that
    // goes on. The platform owns the connection, so `this` outlives it.
    startAppearance_ =
        SignalConnection::to<&GtkPlatform::onStartup>(application_.application(), "startup", this);
}

void GtkPlatform::onStartup() {
    if (!application_.endedEarly()) appearance_.start();
}

Platform GtkPlatform::platform(UserDefaults& defaults) {
    return Platform{application_,
                    mainQueue_,
                    clock_,
                    log_,
                    defaults,
                    screens_,
                    windows_,
                    webViews_,
                    statusBar_,
                    hotKeys_,
                    gnomeKeybindings_,
                    keyMonitor_,
                    dialogs_,
                    workspace_,
                    focus_,
                    loginItem_,
                    http_,
                    desktopNotifications_,
                    webProcesses_,
                    build_};
}

}  // namespace plenhall::gtk
