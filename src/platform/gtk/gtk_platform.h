// The Linux desktop: every service of the seam, built on GTK 3, WebKitGTK, ayatana-appindicator,
// Xlib, GIO and libsoup, gathered for the composition root. The same services serve X11 and
// Wayland displays; the few that differ choose by the display the toolkit opened.
//
// Thread: main thread only. Ownership: the composition root owns the one GtkPlatform for the life
// of the process. Nothing here touches the display before the application's "startup".
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "platform/gtk/autostart_login_item.h"
#include "platform/gtk/ayatana_status_item.h"
#include "platform/gtk/desktop_state.h"
#include "platform/gtk/display_hot_keys.h"
#include "platform/gtk/focus_tracker.h"
#include "platform/gtk/freedesktop_notifications.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/gnome_keybindings_gsettings.h"
#include "platform/gtk/gtk_application_host.h"
#include "platform/gtk/gtk_dialogs.h"
#include "platform/gtk/gtk_key_monitor.h"
#include "platform/gtk/gtk_screens.h"
#include "platform/gtk/gtk_web_processes.h"
#include "platform/gtk/gtk_web_view_adapter.h"
#include "platform/gtk/gtk_window_adapter.h"
#include "platform/gtk/portal_appearance.h"
#include "platform/gtk/soup_http_client.h"
#include "platform/platform.h"

namespace plenhall::gtk {

// The main queue as one GLib source that runs posted work in order, at the priority of input
// events, so a hot-key press reaches the controller before anything is redrawn.
class GlibMainQueue final : public MainQueue {
  public:
    void async(std::function<void()> work) override;
    std::unique_ptr<Timer> asyncAfter(std::chrono::milliseconds delay,
                                      std::function<void()> work) override;

  private:
    // Runs the work pending now; true while more is pending.
    bool runBatch();
    std::deque<std::function<void()>> pending_;
    ScheduledCall source_;
};

class SystemClock final : public Clock {
  public:
    TimePoint now() const override { return std::chrono::system_clock::now(); }
};

class StderrLog final : public Log {
  public:
    void line(std::string_view text) override;
};

// The catalogue of the text domain GETTEXT_PACKAGE, bound by the composition root.
class GettextLocalization final : public Localization {
  public:
    std::string translate(const char* english) const override;
};

class GioWorkspace final : public Workspace {
  public:
    bool openURL(const std::string& url) override;
};

class GtkPlatform {
  public:
    GtkPlatform(int argc, char** argv, BuildInfo build);
    GtkPlatform(const GtkPlatform&) = delete;
    GtkPlatform& operator=(const GtkPlatform&) = delete;

    // The seam over this desktop, with the preference store the composition root keeps.
    Platform platform(UserDefaults& defaults);

    // Where the preference file lives: the user's configuration directory.
    static std::string preferencesPath();
    Log& log() { return log_; }
    MainQueue& mainQueue() { return mainQueue_; }
    const Localization& localization() const { return localization_; }

  private:
    void onStartup();

    BuildInfo build_;
    DesktopState state_;
    GlibMainQueue mainQueue_;
    SystemClock clock_;
    StderrLog log_;
    GettextLocalization localization_;
    FocusTracker focus_{state_};
    GtkKeyMonitor keyMonitor_;
    PageEditingKeys editingKeys_;
    GtkApplicationHost application_;
    GtkWindowFactory windows_;
    GtkWebViewFactory webViews_{editingKeys_};
    GtkScreens screens_{log_};
    AyatanaStatusBar statusBar_{log_};
    DisplayHotKeys hotKeys_;
    GSettingsGnomeKeybindings gnomeKeybindings_;
    GtkDialogs dialogs_{focus_};
    GioWorkspace workspace_;
    AutostartLoginItem loginItem_;
    SoupHttpClient http_;
    PortalAppearance appearance_{log_};
    SignalConnection startAppearance_;
    FreedesktopNotifications desktopNotifications_{log_};
    GtkWebProcesses webProcesses_;
};

}  // namespace plenhall::gtk
