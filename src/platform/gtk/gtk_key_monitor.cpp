#include "platform/gtk/gtk_key_monitor.h"

#include "platform/gtk/key_codes.h"

namespace plenhall::gtk {
namespace {

std::optional<std::string> textOf(guint keyval) {
    gunichar character = gdk_keyval_to_unicode(keyval);
    if (character == 0) return std::nullopt;
    char buffer[8] = {};
    int length = g_unichar_to_utf8(character, buffer);
    return std::string(buffer, std::size_t(length));
}

}  // namespace

std::optional<KeyMonitor::Token> GtkKeyMonitor::addKeyPressMonitor(Handler handler) {
    monitors_[next_] = std::move(handler);
    return next_++;
}

void GtkKeyMonitor::removeMonitor(Token token) {
    monitors_.erase(token);
}

void GtkKeyMonitor::watch(GtkWindow* window) {
    std::erase_if(connections_, [](const SignalConnection& c) { return !c.alive(); });
    // Connected handlers run before the window's own, which handles accelerators and focus. The
    // monitor owns the connection and outlives every window.
    connections_.push_back(
        SignalConnection::to<&GtkKeyMonitor::onKeyPress>(window, "key-press-event", this));
}

KeyEvent GtkKeyMonitor::translate(const GdkEventKey& event) {
    KeyEvent key;
    key.keycode = event.hardware_keycode;
    key.modifiers = modifiersOfState(event.state);

    // What the key types with no modifier in the layout in use (the group of this event).
    GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_window_get_display(event.window));
    guint plain = 0;
    if (gdk_keymap_translate_keyboard_state(keymap, event.hardware_keycode, GdkModifierType(0),
                                            event.group, &plain, nullptr, nullptr, nullptr)) {
        key.plainText = textOf(plain);
    }
    key.textIgnoringModifiers = textOf(gdk_keyval_to_lower(event.keyval));
    return key;
}

gboolean GtkKeyMonitor::onKeyPress(GdkEventKey* event) {
    // A modifier pressed alone is not a key press for the monitors; it only changes the flags.
    if (monitors_.empty() || event->is_modifier) return FALSE;
    std::optional<KeyEvent> current = translate(*event);
    auto snapshot = monitors_;
    for (auto& [token, handler] : snapshot) {
        if (!current) break;
        current = handler(*current);
    }
    return current ? FALSE : TRUE;
}

}  // namespace plenhall::gtk
