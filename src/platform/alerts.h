// Native panels: alerts (with an optional text field) and the file chooser attached to a window,
// and free-standing alerts that belong to no window.
//
// Thread: main thread only. A dialog is modal to its window, not to the application; its completion
// runs exactly once, on the main thread, after the user has dismissed it.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/geometry.h"

namespace plenhall {

class Window;

// The answer to an alert: the button pressed, by its place in Alert::buttons (an alert without
// buttons has its own dismiss button, answering 0); nothing when it was closed unanswered (Escape,
// the window's close button, its parent gone).
using AlertAnswer = std::optional<std::size_t>;

struct AlertEntry {
    Rect frame;
    std::string initialText;
};

struct Alert {
    std::string text;
    std::vector<std::string> buttons;  // in order; none: the panel's own single dismiss button
    std::optional<AlertEntry> entry;
    std::string secondaryText{};    // the smaller text under the message; none when empty
    std::size_t defaultButton = 0;  // index into `buttons`, the one Return presses
    std::string role{};             // names the alert's window for the desktop; may be empty
    std::string title{};            // the dialog window's title
};

struct FileChooser {
    bool selectMultiple = false;
    bool selectFolders = false;
    std::string title{};  // the dialog window's title
};

class Dialogs {
  public:
    virtual ~Dialogs() = default;
    // An alert modal to `parent`. Completion: the answer, and the text field's text when the
    // alert had one.
    virtual void showModalAlert(
        const Alert& alert, Window& parent,
        std::function<void(AlertAnswer, std::optional<std::string>)> completion) = 0;
    // A file chooser modal to `parent`. Completion: the chosen local file paths, or nothing when
    // the user cancelled.
    virtual void showFileChooser(
        const FileChooser& panel, Window& parent,
        std::function<void(std::optional<std::vector<std::string>>)> completion) = 0;
    // An alert of its own, centred and above other windows, not modal to anything.
    virtual void showAlert(const Alert& alert, std::function<void(AlertAnswer)> completion) = 0;
};

}  // namespace plenhall
