// The application object on GTK: a unique GtkApplication (com.plenhall.Desktop) whose first
// instance runs the launch in "startup"; later launches reach it as reopen requests (no
// arguments) or as opened URLs.
//
// The session bus finds the running instance only for launches on the same bus. The first instance
// also holds the user's instance lock (a file in the user's runtime directory, flock'ed), so a
// launch with no bus, or another one, finds it as well, and is told it cannot reach it. The kernel
// drops the lock with the process, so a crash leaves no stale lock behind.
//
// Thread: main thread only. Ownership: the platform owns the host and the GtkApplication for the
// life of the process; the delegate and the menu target outlive the event loop.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/page_editing_keys.h"
#include "platform/system.h"

namespace plenhall::gtk {

// The application's id: its bus name, and the base name of its desktop entry.
inline constexpr const char* kApplicationId = "com.plenhall.Desktop";

class GtkApplicationHost final : public Application {
  public:
    // Made first among the toolkit objects, while the process has one thread.
    GtkApplicationHost(int argc, char** argv, PageEditingKeys& editingKeys, Log& log);
    GtkApplicationHost(const GtkApplicationHost&) = delete;
    GtkApplicationHost& operator=(const GtkApplicationHost&) = delete;
    ~GtkApplicationHost() override;

    void setDelegate(ApplicationDelegate& delegate) override { delegate_ = &delegate; }
    // An accessory application shows no taskbar entry; the calendar window skips the taskbar
    // itself, so there is nothing to set here.
    int run() override;
    void setMainMenu(const Menu& menu, MenuTarget& target) override;
    // The windows are already ordered out; the window manager hands the focus on by itself.
    void terminate() override;

    GtkApplication* application() const { return application_.get(); }
    // The launch ended at start-up, before it began.
    bool endedEarly() const { return endedEarly_.has_value(); }

  private:
    struct Action;
    void onStartup(GApplication*);
    void onActivate();
    void onOpen(GFile** files, gint count, const gchar* hint);
    // The input of the launch being handled: its launcher's activation token, if it had one.
    UserInput launcherInput() const;
    void addAction(const MenuItem& item, MenuTarget& target);
    // False when another process holds the user's instance lock.
    bool takeInstanceLock();
    void releaseInstanceLock();

    int argc_;
    char** argv_;
    ApplicationDelegate* delegate_ = nullptr;
    GObjectPtr<GtkApplication> application_;
    std::vector<SignalConnection> connections_;
    std::vector<std::unique_ptr<Action>> actions_;
    PageEditingKeys& editingKeys_;
    Log& log_;
    int instanceLock_ = -1;
    // Why the session bus given to the process could not be reached, when it could not.
    std::optional<std::string> unreachableBus_;
    // Set when the launch ended before it began; the process's exit status.
    std::optional<int> endedEarly_;
    std::vector<ScheduledCall> signalWatches_;
    // The first activation of the first instance is its own launch, not a reopen.
    bool launchPending_ = true;
};

}  // namespace plenhall::gtk
