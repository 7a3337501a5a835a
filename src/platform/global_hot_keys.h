// The desktop's system-wide key grab: one combination at a time, reported to a press handler.
//
// Thread: main thread only; the press handler is called on the main thread from the event loop.
// Ownership: the backend owns the grab; the core's HotKey is its only client.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/result.h"
#include "platform/user_input.h"

namespace plenhall {

struct HotKeyError {
    enum class Reason {
        taken,        // another program holds the combination
        noSuchKey,    // the keyboard has no key at that position
        unsupported,  // this desktop offers no system-wide key grab
    };
    Reason reason;
    // The desktop's own code for the refusal (the window system's error code), for the log.
    int status = 0;
};

class GlobalHotKeys {
  public:
    virtual ~GlobalHotKeys() = default;

    // Installs the one press handler; later calls replace it. Presses of the registered
    // combination reach it until the process ends.
    virtual void installPressHandler(std::function<void(const UserInput&)> onPress) = 0;

    // Grabs `keyCode` (virtual key code) with `carbonModifiers` system-wide. After a refusal
    // nothing is grabbed.
    virtual Result<HotKeyError> registerHotKey(std::uint32_t keyCode,
                                               std::uint32_t carbonModifiers) = 0;

    // Releases the grab, if any.
    virtual void unregisterHotKey() = 0;
};

}  // namespace plenhall
