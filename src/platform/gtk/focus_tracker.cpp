#include "platform/gtk/focus_tracker.h"

namespace plenhall::gtk {
namespace {

// Long enough for focus to travel from one of our windows to another (a dialog opening, the
// window manager's FocusOut/FocusIn pair), short enough that a click elsewhere feels immediate.
constexpr std::chrono::milliseconds kSettleDelay{80};
// How long the focus still counts as ours after a dialog closes with it, while the window manager
// gives it back to the dialog's window; a click elsewhere in that moment is heard once it passes.
constexpr std::chrono::milliseconds kHandBackGrace{500};

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
    SignalConnection unmapped(widget, "unmap", G_CALLBACK(onUnmapped), entry.get());
    watched_.push_back(Watch{std::move(entry), std::move(connection), std::move(unmapped)});
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
        tracker.handBackTo_.reset();
        if (entry->owner) tracker.post(Notification::windowGotFocus, entry->owner);
    }
    tracker.scheduleSettle();
}

void FocusTracker::onUnmapped(GtkWidget* widget, gpointer data) {
    FocusTracker& tracker = *static_cast<Watched*>(data)->tracker;
    // A window that goes while it has the focus hears no change of it (GTK still calls it active),
    // and its parent gets the focus back only when the window manager gets round to it: until
    // then no window of ours is active, which is not the user leaving.
    GtkWindow* parent = gtk_window_get_transient_for(GTK_WINDOW(widget));
    if (!parent || !gtk_window_is_active(GTK_WINDOW(widget))) return;
    tracker.handBackTo_ = refSink(parent);
    tracker.handBackUntil_ = std::chrono::steady_clock::now() + kHandBackGrace;
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
    // A parent put away with its dialog never gets the focus back.
    if (handBackTo_ && gtk_widget_get_mapped(GTK_WIDGET(handBackTo_.get())) &&
        std::chrono::steady_clock::now() < handBackUntil_) {
        scheduleSettle();
        return;
    }
    handBackTo_.reset();
    if (!active_) return;
    active_ = false;
    post(Notification::applicationLostFocus, nullptr);
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
