#include "platform/gtk/focus_tracker.h"

namespace plenhall::gtk {
namespace {

// Long enough for focus to travel from one of our windows to another (a dialog opening, the
// window manager's FocusOut/FocusIn pair), short enough that a click elsewhere feels immediate.
constexpr std::chrono::milliseconds kSettleDelay{80};

}  // namespace

void FocusTracker::addObserver(Notification name, const Window* sender,
                               std::function<void()> callback) {
    observers_.push_back(Observer{name, sender, std::move(callback)});
}

void FocusTracker::watch(GtkWindow* widget, const Window* owner) {
    // Dialogs come and go (a page may open many); forget the ones already destroyed.
    std::erase_if(watched_, [](const Watch& watch) { return !watch.connection.alive(); });
    // The entry, which the connection hands to C, goes with the connection.
    auto entry = std::make_unique<Watched>(Watched{owner, this});
    SignalConnection connection(widget, "notify::is-active", G_CALLBACK(onActiveChanged),
                                entry.get());
    watched_.push_back(Watch{std::move(entry), std::move(connection)});
}

bool FocusTracker::anyWindowActive() {
    GListPtr toplevels(gtk_window_list_toplevels());
    for (GList* item = toplevels.get(); item; item = item->next) {
        if (gtk_window_is_active(GTK_WINDOW(item->data))) return true;
    }
    return false;
}

void FocusTracker::onActiveChanged(GtkWindow* widget, GParamSpec*, gpointer data) {
    auto* entry = static_cast<Watched*>(data);
    FocusTracker& tracker = *entry->tracker;
    if (gtk_window_is_active(widget)) {
        tracker.active_ = true;
        if (entry->owner) tracker.post(Notification::windowDidBecomeKey, entry->owner);
    }
    tracker.scheduleSettle();
}

void FocusTracker::scheduleSettle() {
    // The tracker owns the call, which goes with it.
    settleTimer_ = ScheduledCall::after(kSettleDelay, [this] { settle(); });
}

void FocusTracker::settle() {
    if (anyWindowActive()) {
        active_ = true;
        return;
    }
    if (state_.hotKeyHeld) {
        // Our own grab holds the keyboard; the focus comes back when the key is released.
        scheduleSettle();
        return;
    }
    if (!active_) return;
    active_ = false;
    post(Notification::applicationDidResignActive, nullptr);
}

void FocusTracker::post(Notification name, const Window* sender) {
    auto snapshot = observers_;
    for (auto& observer : snapshot) {
        if (observer.name == name && (observer.sender == nullptr || observer.sender == sender)) {
            observer.callback();
        }
    }
}

}  // namespace plenhall::gtk
