// What the backend's pieces share about the user's input: the focus tracker must not take the
// focus change that the global shortcut's own key grab causes for the user leaving.
//
// Thread: main thread only.
#pragma once

namespace plenhall::gtk {

struct DesktopState {
    // The global shortcut is held down: the keyboard is grabbed, and focus changes that the grab
    // causes are not the user leaving the application.
    bool hotKeyHeld = false;
};

}  // namespace plenhall::gtk
