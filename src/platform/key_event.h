// Key presses as the core sees them, and the local key monitor that hands them over.
//
// A key is named by its XKB keycode, the physical key whatever the layout types there (the evdev
// code + 8: 54 is where C sits on a US keyboard); modifiers are GDK's modifier mask bits. Thread:
// main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace plenhall {

// The modifier bits of a key event or a combination (GdkModifierType).
namespace Modifier {
inline constexpr std::uint32_t shift = 1u << 0;
inline constexpr std::uint32_t capsLock = 1u << 1;
inline constexpr std::uint32_t control = 1u << 2;
inline constexpr std::uint32_t alt = 1u << 3;  // Mod1
inline constexpr std::uint32_t super = 1u << 26;
}  // namespace Modifier

// A key with its modifiers: what a global shortcut grabs and a recorder shows.
struct KeyCombination {
    std::uint16_t keycode = 0;  // 0: a key this keyboard does not have
    std::uint32_t modifiers = 0;
    bool operator==(const KeyCombination&) const = default;
};

struct KeyEvent {
    std::uint16_t keycode = 0;
    std::uint32_t modifiers = 0;
    // The text the key types with no modifier held in the current layout; nothing when it types
    // none. An empty text is a text.
    std::optional<std::string> plainText;
    // The text of the key ignoring most modifiers, the fallback when the above is missing.
    std::optional<std::string> textIgnoringModifiers;
};

// Local monitor for key-down events addressed to this application's windows. The handler runs
// before the event is dispatched: returning the event lets it proceed, returning nothing consumes
// it. Presses of modifier keys alone never reach the handler.
class KeyMonitor {
  public:
    using Token = std::uint64_t;
    using Handler = std::function<std::optional<KeyEvent>(const KeyEvent&)>;

    virtual ~KeyMonitor() = default;
    // Nothing when the desktop cannot monitor keys.
    virtual std::optional<Token> addKeyPressMonitor(Handler handler) = 0;
    virtual void removeMonitor(Token token) = 0;
};

}  // namespace plenhall
