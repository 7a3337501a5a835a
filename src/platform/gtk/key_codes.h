// The one table between virtual key codes (physical positions, as stored in shortcuts) and the
// X11/XKB keycodes of the evdev keyboard model (evdev code + 8), and the mappings between the
// core's modifier masks and the X server's and GDK's.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace plenhall::gtk {

// Keys the table does not name (a key some keyboards have and others lack) get a virtual code of
// their own: kUnnamedKeyBase plus their X keycode, so they can still be recorded and grabbed.
inline constexpr std::uint16_t kUnnamedKeyBase = 0x8000;

std::optional<std::uint32_t> xKeycodeForVirtualKey(std::uint32_t virtualKeyCode);
std::uint16_t virtualKeyForXKeycode(std::uint32_t xKeycode);

// The X modifier mask of a shortcut's Carbon modifiers; `superMask` is the real modifier that
// carries Super on the keyboard map in use.
unsigned xModifiersForCarbon(std::uint32_t carbonModifiers, unsigned superMask);

// The core's modifier flags of a GDK key event's state.
std::uint32_t modifierFlagsForGdkState(unsigned state);

// The keysym name (xkbcommon's, without XKB_KEY_) that the key at a virtual key code types with no
// modifier on a US keyboard; nothing for a key the table does not name.
std::optional<std::string_view> usKeysymNameForVirtualKey(std::uint32_t virtualKeyCode);

// A shortcut as GTK writes accelerators, in the user's language ("Ctrl+Alt+Super+C"): the key as
// the current keyboard layout types it (the US layout's where no display is open). Empty for a
// key that types no symbol GTK can name.
std::string acceleratorLabel(std::uint32_t virtualKeyCode, std::uint32_t carbonModifiers);

// A shortcut in the freedesktop shortcuts format the global-shortcuts portal takes as a preferred
// trigger: modifiers, then the key's keysym name, joined by '+' ("CTRL+ALT+LOGO+c").
std::string xdgShortcutTrigger(std::string_view keysymName, std::uint32_t carbonModifiers);

}  // namespace plenhall::gtk
