#include "settings/settings_controller.h"

#include "settings/settings_view.h"
#include "text/product_name.h"
#include "window/window_layout.h"

namespace plenhall {

SettingsController::SettingsController(std::unique_ptr<SettingsModel> model, WindowFactory& windows,
                                       Screens& screens, LoginItemService& loginItem)
    : model_(std::move(model)), screens_(screens), loginItem_(loginItem) {
    window_ = windows.makeWindow(kSettingsWindowSize, Decoration::titledFixedSize);
    window_->setTitle(kProductName);
    window_->setHostedView([this] { return settingsView(*model_, model_->prefs()); });
    // The controller owns both the window and these subscriptions, so `this` outlives them.
    modelChanges_ = model_->subscribeWillChange([this] { window_->invalidateHostedView(); });
    prefsChanges_ =
        model_->prefs().subscribeWillChange([this] { window_->invalidateHostedView(); });
    window_->setCloseHandler([this] { windowWillClose(); });
}

void SettingsController::present(Presentation presentation, const UserInput& input) {
    model_->setWelcome(presentation == Presentation::welcome);
    model_->setOpenAtLoginValue(loginItem_.status() == LoginItemStatus::enabled);
    if (!screens_.windowsPlaceThemselves()) {
        window_->resize(kSettingsWindowSize);
    } else if (auto screen =
                   targetScreen(screens_.pointer(), screens_.screens(), screens_.primaryScreen())) {
        window_->moveResize(centeredFrame(kSettingsWindowSize, screen->workArea));
    }
    window_->present(input);
}

void SettingsController::windowWillClose() {
    if (model_->recording()) model_->stopRecording();
}

}  // namespace plenhall
