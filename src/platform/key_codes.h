// The one table between virtual key codes (physical positions, as stored in shortcuts) and the
// X11/XKB keycodes of the evdev keyboard model (evdev code + 8).
#pragma once

#include <cstdint>
#include <optional>

namespace plenhall {

std::optional<std::uint32_t> xKeycodeForVirtualKey(std::uint32_t virtualKeyCode);
std::optional<std::uint16_t> virtualKeyForXKeycode(std::uint32_t xKeycode);

}  // namespace plenhall
