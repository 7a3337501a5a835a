#include "platform/gtk/key_hand_back.h"

namespace plenhall::gtk {

KeyHandBack::KeyHandBack(GtkWidget* view) {
    // The handlers are disconnected with `connections_`, so `this` outlives them.
    connections_.push_back(
        SignalConnection::to<&KeyHandBack::onKeyPressBefore>(view, "key-press-event", this));
    connections_.push_back(SignalConnection::withInstance<&KeyHandBack::onKeyPressAfter>(
        view, "key-press-event", this, G_CONNECT_AFTER));
}

int& KeyHandBack::timesSeen(const GdkEventKey& press) {
    for (auto& seen : seenPresses_) {
        if (seen.times > 0 && seen.time == press.time && seen.keycode == press.hardware_keycode &&
            seen.keyval == press.keyval) {
            return seen.times;
        }
    }
    auto& slot = seenPresses_[nextSeenPress_++ % seenPresses_.size()];
    slot = SeenPress{press.time, press.hardware_keycode, press.keyval, 0};
    return slot.times;
}

gboolean KeyHandBack::onKeyPressBefore(GdkEventKey* event) {
    if (++timesSeen(*event) == 1) newestPress_ = event->time;
    return FALSE;
}

gboolean KeyHandBack::onKeyPressAfter(GtkWidget* widget, GdkEventKey* event) {
    if (timesSeen(*event) == 1 && event->time == newestPress_) {
        // Seen once and the newest: let through in place of a press handed back, not handed back.
        gtk_widget_event(widget, reinterpret_cast<GdkEvent*>(event));
        return TRUE;
    }
    return FALSE;
}

}  // namespace plenhall::gtk
