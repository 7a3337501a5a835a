#include "platform/gtk/portal_trigger.h"

#include <gdk/gdk.h>

#include <optional>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/key_codes.h"

namespace plenhall::gtk {
namespace {

// Keysyms a desktop's shortcut settings can hold whatever the layout: Latin-1 and the
// function, keypad and media keys.
bool portableKeysym(guint keyval) {
    return keyval < 0x100 || (keyval >= 0xFF00 && keyval <= 0xFFFF) ||
           (keyval >= 0x1008FF00 && keyval <= 0x1008FFFF);
}

}  // namespace

std::optional<std::string> keysymName(std::uint16_t keycode) {
    GdkDisplay* display = gdk_display_get_default();
    if (display && keycode) {
        GdkKeymapKey* rawKeys = nullptr;
        guint* rawKeyvals = nullptr;
        gint count = 0;
        if (gdk_keymap_get_entries_for_keycode(gdk_keymap_get_for_display(display), keycode,
                                               &rawKeys, &rawKeyvals, &count)) {
            CPtr<GdkKeymapKey, g_free> keys(rawKeys);
            CPtr<guint, g_free> keyvals(rawKeyvals);
            for (gint i = 0; i < count; ++i) {
                if (keys.get()[i].group != 0 || keys.get()[i].level != 0) continue;
                const char* name = gdk_keyval_name(keyvals.get()[i]);
                if (name && portableKeysym(keyvals.get()[i])) return std::string(name);
            }
        }
    }
    if (auto name = usKeysymName(keycode)) return std::string(*name);
    return std::nullopt;
}

std::string portalPreferredTrigger(const KeyCombination& keys) {
    auto name = keysymName(keys.keycode);
    return name ? xdgShortcutTrigger(*name, keys.modifiers) : std::string();
}

}  // namespace plenhall::gtk
