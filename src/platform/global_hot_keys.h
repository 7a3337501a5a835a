// The desktop's system-wide shortcut: one combination at a time, reported to a press handler.
//
// Two kinds of desktop sit behind this: those where the program grabs the keys itself (X11), and
// those where the program only proposes a trigger and the desktop binds it, possibly after asking
// the user and possibly to other keys (Wayland's global-shortcuts portal). Both answer through the
// same completion, so the core never needs to know which it has.
//
// Thread: main thread only; handlers and completions are called on the main thread from the event
// loop. Ownership: the backend owns the grab or the desktop session; the core's HotKey is its only
// client.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/key_event.h"
#include "platform/result.h"
#include "platform/user_input.h"

namespace plenhall {

struct HotKeyError {
    enum class Reason {
        taken,        // another program holds the combination
        noSuchKey,    // the keyboard has no key at that position
        unsupported,  // this desktop offers no way for a program to have a global shortcut
        declined,     // the desktop asked the user, who refused or dismissed its dialog
        noAnswer,     // the desktop left it unanswered for too long (the core's bound, never a
                      // backend's answer)
    };
    Reason reason;
    // The desktop's own code for the refusal (a window-system error code or a portal response),
    // for the log.
    int status = 0;
};

// What the desktop bound.
struct HotKeyBinding {
    // The desktop's own words for the keys that trigger the shortcut (e.g. "Ctrl+Alt+Super+C");
    // empty when it grabbed exactly the combination asked for and has nothing to add.
    std::string trigger;
};

using HotKeyRegistration = Result<HotKeyError, HotKeyBinding>;

// What a desktop whose own service holds the binding (Wayland's portal) says of that service: it
// left the bus, taking the binding and any registration under way with it (which then never
// completes), or it is on the bus again after leaving. Whether to register again is the core's
// decision.
enum class HotKeyService { left, back };

class GlobalHotKeys {
  public:
    virtual ~GlobalHotKeys() = default;

    // Installs the one press handler; later calls replace it. Presses of the registered
    // combination reach it until the registration is dropped.
    virtual void installPressHandler(std::function<void(const UserInput&)> onPress) = 0;

    // Installs the one handler for bindings the desktop changes on its own (the user edited the
    // shortcut in the desktop's settings); later calls replace it.
    virtual void installBindingChangedHandler(
        std::function<void(const HotKeyBinding&)> onChange) = 0;

    // Installs the one handler for the comings and goings of the service that holds the binding,
    // where there is one; later calls replace it.
    virtual void installServiceHandler(std::function<void(HotKeyService)> onChange) = 0;

    // Asks for `keys` system-wide, replacing any earlier registration; `description` says what the
    // shortcut does, in the user's language, where the desktop lists it. `done` runs exactly once:
    // before this returns where the desktop answers at once, later where it may first ask the
    // user. A registration superseded by a later registerHotKey or unregisterHotKey before it
    // completes never completes. After a refusal no presses are delivered.
    virtual void registerHotKey(const KeyCombination& keys, const std::string& description,
                                std::function<void(const HotKeyRegistration&)> done) = 0;

    // Stops delivering presses (and releases the grab where the program holds one). A request
    // the desktop has not answered yet is withdrawn, and its dialog, if any, put away.
    virtual void unregisterHotKey() = 0;
};

}  // namespace plenhall
