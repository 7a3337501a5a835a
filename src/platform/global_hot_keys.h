// The desktop's system-wide key grab: one combination at a time, reported to a press handler.
//
// Thread: main thread only; the press handler is called on the main thread from the event loop.
// Ownership: the backend owns the grab; the core's HotKey is its only client.
#pragma once

#include <cstdint>
#include <functional>

namespace plenhall {

class GlobalHotKeys {
  public:
    virtual ~GlobalHotKeys() = default;

    // Installs the one press handler; later calls replace it. Presses of the registered
    // combination reach it until the process ends.
    virtual void installPressHandler(std::function<void()> onPress) = 0;

    // Grabs `keyCode` (virtual key code) with `carbonModifiers` system-wide. Answers 0 when the
    // desktop granted it, otherwise a status that names the refusal (for example the window
    // system's error code when another program holds the combination). After a refusal nothing is
    // grabbed.
    virtual int registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers) = 0;

    // Releases the grab, if any.
    virtual void unregisterHotKey() = 0;
};

}  // namespace plenhall
