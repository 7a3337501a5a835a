// What the backend's pieces share about the user's latest input, so that windows presented on
// behalf of a key press get the focus that press entitles them to.
//
// Thread: main thread only.
#pragma once

#include <cstdint>

namespace plenhall::gtk {

struct DesktopState {
    // X server time of the latest press of the global shortcut; 0 before the first.
    std::uint32_t lastHotKeyTime = 0;
    // When that press arrived (g_get_monotonic_time, microseconds).
    std::int64_t lastHotKeyAt = 0;
    // The global shortcut is held down: the keyboard is grabbed, and focus changes that the grab
    // causes are not the user leaving the application.
    bool hotKeyHeld = false;
    // The core asked to bring the application to the front; the next window made key takes focus.
    bool activationRequested = false;
};

}  // namespace plenhall::gtk
