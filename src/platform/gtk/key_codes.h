// The one table between virtual key codes (physical positions, as stored in shortcuts) and the
// X11/XKB keycodes of the evdev keyboard model (evdev code + 8).
#pragma once

#include <cstdint>
#include <optional>

namespace plenhall::gtk {

// Keys the table does not name (a key some keyboards have and others lack) get a virtual code of
// their own: kUnnamedKeyBase plus their X keycode, so they can still be recorded and grabbed.
inline constexpr std::uint16_t kUnnamedKeyBase = 0x8000;

std::optional<std::uint32_t> xKeycodeForVirtualKey(std::uint32_t virtualKeyCode);
std::uint16_t virtualKeyForXKeycode(std::uint32_t xKeycode);

}  // namespace plenhall::gtk
