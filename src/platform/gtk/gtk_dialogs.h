// Alerts and the file chooser as GTK dialogs transient for and modal to a window of ours, and
// free-standing alerts kept above other windows.
//
// Every dialog answers exactly once: with the button pressed, or as cancelled when it is closed or
// destroyed without an answer. Page text is shown as text, never read as a format.
//
// Thread: main thread only. Ownership: each dialog owns its pending completion and frees it when
// it is destroyed.
#pragma once

#include "platform/alerts.h"
#include "platform/gtk/focus_tracker.h"

namespace plenhall::gtk {

class GtkDialogs final : public Dialogs {
  public:
    explicit GtkDialogs(FocusTracker& focus) : focus_(focus) {}

    void showModalAlert(
        const Alert& alert, Window& window,
        std::function<void(AlertAnswer, std::optional<std::string>)> completion) override;
    void showFileChooser(
        const FileChooser& panel, Window& window,
        std::function<void(std::optional<std::vector<std::string>>)> completion) override;
    void showAlert(const Alert& alert, std::function<void(AlertAnswer)> completion) override;

  private:
    FocusTracker& focus_;
};

}  // namespace plenhall::gtk
