// Derives the focus notifications the core observes from GTK's per-window focus state.
//
// "The application resigned active" is decided once focus has settled: focus that moves between
// our own windows and dialogs, or that our own key grab holds for a moment, never counts.
//
// Thread: main thread only. Ownership: the platform owns the tracker for the life of the process;
// a connection lets go of a window that is destroyed first.
#pragma once

#include <gtk/gtk.h>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "platform/gtk/desktop_state.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/notifications.h"

namespace plenhall::gtk {

class FocusTracker final : public NotificationCenter {
  public:
    explicit FocusTracker(DesktopState& state) : state_(state) {}

    void addObserver(Notification name, const Window* sender,
                     std::function<void()> callback) override;

    // Starts following `widget`'s focus; `owner` is the seam window it belongs to, if any.
    void watch(GtkWindow* widget, const Window* owner);

    // True while any toplevel of this process holds the focus.
    static bool anyWindowActive();

  private:
    struct Observer {
        Notification name;
        const Window* sender;
        std::function<void()> callback;
    };
    struct Watched {
        const Window* owner;
        FocusTracker* tracker;
    };

    static void onActiveChanged(GtkWindow* widget, GParamSpec*, gpointer data);
    static void onUnmapped(GtkWidget* widget, gpointer data);
    void post(Notification name, const Window* sender);
    void scheduleSettle();
    void settle();

    DesktopState& state_;
    std::vector<Observer> observers_;
    struct Watch {
        std::unique_ptr<Watched> entry;
        SignalConnection connection;
        SignalConnection unmapped;
    };
    std::vector<Watch> watched_;
    ScheduledCall settleTimer_;
    bool active_ = false;
    // The window a dialog closed on while it had the focus: the focus is still ours while it
    // waits, until `handBackUntil_`, for the window manager to give the focus back.
    GObjectPtr<GtkWindow> handBackTo_;
    std::chrono::steady_clock::time_point handBackUntil_;
};

}  // namespace plenhall::gtk
