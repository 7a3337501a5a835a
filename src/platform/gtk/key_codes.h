// The keyboard as the backend names it: the keysym names a US keyboard types at each XKB keycode,
// GTK's accelerator labels, and the freedesktop shortcuts format the portal takes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/key_event.h"

namespace plenhall::gtk {

// The X modifier mask of GDK's modifier bits; `superMask` is the real modifier that carries Super
// on the keyboard map in use.
unsigned xModifiersFor(std::uint32_t modifiers, unsigned superMask);

// GDK's modifier bits of a key event's state, Super included however the keymap carries it.
std::uint32_t modifiersOfState(unsigned state);

// The keysym name (xkbcommon's, without XKB_KEY_) that the key at an XKB keycode types with no
// modifier on a US keyboard; nothing for a key the table does not name.
std::optional<std::string_view> usKeysymName(std::uint16_t keycode);

// Keys as GTK writes accelerators, in the user's language ("Ctrl+Alt+Super+C"): the key as the
// current keyboard layout types it (the US layout's where no display is open). Empty for a key
// that types no symbol GTK can name.
std::string acceleratorLabel(const KeyCombination& keys);

// Keys in the freedesktop shortcuts format the global-shortcuts portal takes as a preferred
// trigger: modifiers, then the key's keysym name, joined by '+' ("CTRL+ALT+LOGO+c").
std::string xdgShortcutTrigger(std::string_view keysymName, std::uint32_t modifiers);

}  // namespace plenhall::gtk
