#include "platform/gtk/display_hot_keys.h"

namespace plenhall::gtk {

GlobalHotKeys* DisplayHotKeys::chosen() {
    if (chosen_) return chosen_.get();
    GdkDisplay* display = gdk_display_get_default();
    if (!display) return nullptr;
    chosen_ = choose_(display);
    if (onPress_) chosen_->installPressHandler(onPress_);
    if (onChange_) chosen_->installBindingChangedHandler(onChange_);
    if (onService_) chosen_->installServiceHandler(onService_);
    return chosen_.get();
}

void DisplayHotKeys::installPressHandler(std::function<void(const UserInput&)> onPress) {
    onPress_ = std::move(onPress);
    if (chosen_)
        chosen_->installPressHandler(onPress_);
    else
        chosen();  // which hands the handler over once a display is open
}

void DisplayHotKeys::installBindingChangedHandler(
    std::function<void(const HotKeyBinding&)> onChange) {
    onChange_ = std::move(onChange);
    if (chosen_)
        chosen_->installBindingChangedHandler(onChange_);
    else
        chosen();
}

void DisplayHotKeys::installServiceHandler(std::function<void(HotKeyService)> onChange) {
    onService_ = std::move(onChange);
    if (chosen_)
        chosen_->installServiceHandler(onService_);
    else
        chosen();
}

void DisplayHotKeys::registerHotKey(const KeyCombination& keys, const std::string& description,
                                    std::function<void(const HotKeyRegistration&)> done) {
    if (GlobalHotKeys* hotKeys = chosen()) {
        hotKeys->registerHotKey(keys, description, std::move(done));
        return;
    }
    done(HotKeyError{HotKeyError::Reason::unsupported});
}

void DisplayHotKeys::unregisterHotKey() {
    if (chosen_) chosen_->unregisterHotKey();
}

}  // namespace plenhall::gtk
