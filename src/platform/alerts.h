// Native panels: alerts (with an optional text field) and the file chooser attached to a window,
// and free-standing alerts that belong to no window.
//
// Thread: main thread only. A sheet is modal to its window, not to the application; its completion
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

// Response codes of alert-style panels: the first button added answers 1000, the second 1001.
inline constexpr int kAlertFirstButtonReturn = 1000;
inline constexpr int kAlertSecondButtonReturn = 1001;
// Response codes of the file panel.
inline constexpr int kModalResponseOK = 1;
inline constexpr int kModalResponseCancel = 0;

struct AlertTextField {
    Rect frame;
    std::string stringValue;
};

struct Alert {
    std::string messageText;
    std::vector<std::string> buttons;  // in order; none: the panel's own single dismiss button
    std::optional<AlertTextField> accessoryTextField;
    std::string informativeText{};  // the smaller text under the message; none when empty
    std::size_t defaultButton = 0;  // index into `buttons`, the one Return presses
    std::string role{};             // names the alert's window for the desktop; may be empty
};

struct OpenPanel {
    bool allowsMultipleSelection = false;
    bool canChooseDirectories = false;
};

class Sheets {
  public:
    virtual ~Sheets() = default;
    // Completion: the response, and the text field's text when the alert had one.
    virtual void beginAlertSheet(
        const Alert& alert, Window& window,
        std::function<void(int, std::optional<std::string>)> completion) = 0;
    // Completion: the response, and the chosen local file paths.
    virtual void beginOpenPanelSheet(
        const OpenPanel& panel, Window& window,
        std::function<void(int, std::vector<std::string>)> completion) = 0;
    // An alert of its own, centred and above other windows, not modal to anything. Completion:
    // the response, or a value below kAlertFirstButtonReturn when it was closed unanswered.
    virtual void runAlert(const Alert& alert, std::function<void(int)> completion) = 0;
};

}  // namespace plenhall
