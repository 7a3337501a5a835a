#include "hotkey/hot_key.h"

#include <string>

namespace plenhall {

HotKey::HotKey(GlobalHotKeys& platform, MainQueue& mainQueue, Log& log,
               std::function<void(const UserInput&)> action)
    : platform_(platform), mainQueue_(mainQueue), log_(log), action_(std::move(action)) {
    // Each press is deferred to the main queue so the action runs after the key event itself has
    // been handled.
    platform_.installPressHandler([this](const UserInput& press) {
        mainQueue_.async([this, press, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.lock()) action_(press);
        });
    });
}

HotKey::~HotKey() {
    unregister();
    platform_.installPressHandler([](const UserInput&) {});
}

Result<HotKeyError> HotKey::registerShortcut(const Shortcut& shortcut) {
    unregister();
    auto registered = platform_.registerHotKey(shortcut.keyCode, shortcut.carbonModifiers);
    if (registered) {
        registered_ = true;
        return registered;
    }
    log_.line("PlenhallDesktop: " + shortcut.display() + " unavailable (status " +
              std::to_string(registered.error().status) + ")");
    return registered;
}

void HotKey::unregister() {
    if (registered_) platform_.unregisterHotKey();
    registered_ = false;
}

}  // namespace plenhall
