// What the desktop says about the keyboard focus of this program's windows, as it happens. Whether
// the user has left the program is the core's decision (`FocusRules`).
//
// Thread: main thread only. Ownership: the handler stays installed for the life of the process.
#pragma once

#include <functional>

namespace plenhall {

class Window;

struct FocusChange {
    enum class Kind {
        gained,        // a window of ours, or a dialog of one, got the keyboard focus
        lost,          // it lost it
        dialogClosed,  // a dialog went while it had the focus; the window manager should give the
                       // focus back to its window
    };
    Kind kind;
    // The window of ours; for a dialog, nothing when it gained or lost the focus, its window when
    // it closed.
    const Window* window = nullptr;
};

class FocusEvents {
  public:
    virtual ~FocusEvents() = default;
    // The one handler; later calls replace it.
    virtual void setHandler(std::function<void(const FocusChange&)> handler) = 0;
    // True while any window of this program holds the keyboard focus.
    virtual bool anyWindowActive() const = 0;
    // True while the program's own global key grab holds the keyboard (the shortcut's keys are
    // down), which takes the focus from our windows for a moment.
    virtual bool keyboardGrabbed() const = 0;
};

}  // namespace plenhall
