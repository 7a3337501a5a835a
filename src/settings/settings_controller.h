// The settings window: one small window hosting the settings view, presented again and again
// (also as the first-run welcome) and only hidden when closed.
//
// Thread: main thread only. Ownership: the application controller owns the one controller, which
// owns the model and the window, for the life of the process.
#pragma once

#include <memory>

#include "platform/login_item.h"
#include "platform/window.h"
#include "prefs/prefs.h"
#include "settings/settings_model.h"
#include "settings/settings_view.h"

namespace plenhall {

enum class Presentation { settings, welcome };

class SettingsController {
  public:
    SettingsController(std::unique_ptr<SettingsModel> model, WindowFactory& windows,
                       Screens& screens, LoginItemService& loginItem);
    SettingsController(const SettingsController&) = delete;
    SettingsController& operator=(const SettingsController&) = delete;

    // Centres the window on the screen under the pointer and brings it forward for `input`.
    void present(Presentation presentation, const UserInput& input = {});
    // Orders the window out; a recording in progress is cancelled first.
    void close() { window_->close(); }

    Window& window() const { return *window_; }
    SettingsModel& model() const { return *model_; }

  private:
    void windowWillClose();

    std::unique_ptr<SettingsModel> model_;
    Screens& screens_;
    LoginItemService& loginItem_;
    std::unique_ptr<Window> window_;
    Subscription modelChanges_;
    Subscription prefsChanges_;
};

}  // namespace plenhall
