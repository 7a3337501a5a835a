// The user's global shortcut: which physical key, which modifiers, and what to call the key.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/key_event.h"

namespace plenhall {

// Virtual key code of Escape, the recorder's cancel key.
inline constexpr std::uint16_t kEscapeKeyCode = 53;

struct Shortcut {
    std::uint32_t keyCode = 0;
    std::uint32_t carbonModifiers = 0;
    std::string keyLabel;

    // A shortcut from a key-down event; nothing unless Control, Option or Command is held.
    static std::optional<Shortcut> fromEvent(const KeyEvent& event);

    // The stored JSON object; nothing unless it has all three members with the right types and
    // ranges.
    static std::optional<Shortcut> fromJSON(std::string_view bytes);
    // The compact JSON object; nothing when the label cannot be encoded.
    std::optional<std::string> toJSON() const;

    // Modifier glyphs in the fixed order ⌃⌥⇧⌘, then the label.
    std::string display() const;

    bool operator==(const Shortcut&) const = default;
};

struct NamedKey {
    std::uint32_t keyCode;
    std::string_view label;
};

// Keys shown by name rather than by the character they type, in table order.
const std::vector<NamedKey>& namedKeys();

// `text` upper-cased with full Unicode case mapping, the same in every locale (ß gives SS).
std::string uppercased(std::string_view text);

}  // namespace plenhall
