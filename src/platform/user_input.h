// The user input on whose behalf a window is brought forward: presenting with it tells the desktop
// that this is no focus theft.
//
// Opaque to the core, which only carries it from the input (a press of the global shortcut) to the
// window it asks for.
#pragma once

#include <cstdint>
#include <string>

namespace plenhall {

struct UserInput {
    // The input event's time in the window system's clock; 0 when not known.
    std::uint32_t time = 0;
    // A token the desktop issued for the input; empty when none.
    std::string activationToken;
};

}  // namespace plenhall
