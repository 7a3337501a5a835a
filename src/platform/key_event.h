// Key presses as the core sees them, and the local key monitor that hands them over.
//
// Key codes are the virtual key codes of the physical key positions (8 is the key where C sits on
// a US keyboard, whatever the layout types there); backends translate their own key codes through
// one table of their own. Thread: main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace plenhall {

// Modifier flags of a key event, with the bit values of the virtual key model.
namespace ModifierFlag {
inline constexpr std::uint32_t capsLock = 0x10000;
inline constexpr std::uint32_t shift = 0x20000;
inline constexpr std::uint32_t control = 0x40000;
inline constexpr std::uint32_t option = 0x80000;    // Alt
inline constexpr std::uint32_t command = 0x100000;  // Super
inline constexpr std::uint32_t numericPad = 0x200000;
inline constexpr std::uint32_t function = 0x800000;
}  // namespace ModifierFlag

// Modifier masks of a registered combination: the form in which shortcuts carry their modifiers
// and are stored, and in which the global key grab receives them.
namespace CarbonModifier {
inline constexpr std::uint32_t cmdKey = 0x100;  // Super
inline constexpr std::uint32_t shiftKey = 0x200;
inline constexpr std::uint32_t optionKey = 0x800;  // Alt
inline constexpr std::uint32_t controlKey = 0x1000;
}  // namespace CarbonModifier

struct KeyEvent {
    std::uint16_t keyCode = 0;
    std::uint32_t modifierFlags = 0;
    // The text the key types with no modifier held in the current layout; nothing when it types
    // none. An empty text is a text.
    std::optional<std::string> charactersWithoutModifiers;
    // The text of the key ignoring most modifiers, the fallback when the above is missing.
    std::optional<std::string> charactersIgnoringModifiers;
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
    virtual std::optional<Token> addLocalMonitorForKeyDown(Handler handler) = 0;
    virtual void removeMonitor(Token token) = 0;
};

}  // namespace plenhall
