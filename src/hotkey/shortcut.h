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

    // A shortcut from a key-down event; nothing unless Ctrl, Alt or Super is held.
    static std::optional<Shortcut> fromEvent(const KeyEvent& event);

    // The stored JSON object; nothing unless it has all three members with the right types and
    // ranges.
    static std::optional<Shortcut> fromJSON(std::string_view bytes);
    // The compact JSON object; nothing when the label cannot be encoded.
    std::optional<std::string> toJSON() const;

    // Where the key and modifiers are on this keyboard, for the desktop.
    KeyCombination keys() const;

    // The keys as GTK writes accelerators, in the user's language: the modifiers in GTK's order
    // (Shift, Ctrl, Alt, Super), then the key, joined by '+' ("Ctrl+Alt+Super+C").
    std::string display() const;
    // The same in English, for the log.
    std::string englishDisplay() const;

    bool operator==(const Shortcut&) const = default;

  private:
    std::string label(std::string (*word)(const char*)) const;
};

struct NamedKey {
    std::uint32_t keyCode;
    std::string_view label;  // as stored in the preference file
    // GTK's English name of the key, translated where shown; the label where that is the name.
    const char* name = nullptr;
};

// Keys named rather than shown by the character they type, in table order.
const std::vector<NamedKey>& namedKeys();

// `text` upper-cased with full Unicode case mapping, the same in every locale (ß gives SS).
std::string uppercased(std::string_view text);

}  // namespace plenhall
