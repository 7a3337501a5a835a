// Where a stored shortcut's key and modifiers are on a Linux keyboard. The preference file keeps
// the key as a virtual key code of its first design's keyboard model (8 is the key where C sits on
// a US keyboard) and the modifiers as a mask of that model (Super 0x100, Shift 0x200, Alt 0x800,
// Ctrl 0x1000); the desktop speaks XKB keycodes and GDK's modifier bits.
#pragma once

#include <cstdint>

#include "platform/key_event.h"

namespace plenhall {

// The stored modifier bits.
namespace StoredModifier {
inline constexpr std::uint32_t super = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t alt = 0x800;
inline constexpr std::uint32_t control = 0x1000;
}  // namespace StoredModifier

// Keys the table does not name (a key some keyboards have and others lack) are stored as
// kUnnamedKeyBase plus their XKB keycode, so they can still be recorded and grabbed.
inline constexpr std::uint32_t kUnnamedKeyBase = 0x8000;

// The XKB keycode of a stored key code; 0 for a code no keyboard has.
std::uint16_t keycodeOfStored(std::uint32_t storedKeyCode);
std::uint32_t storedKeyCodeOf(std::uint16_t keycode);

std::uint32_t modifiersOfStored(std::uint32_t storedModifiers);
// Ctrl, Alt, Shift and Super of GDK's modifier bits, as stored.
std::uint32_t storedModifiersOf(std::uint32_t modifiers);

}  // namespace plenhall
