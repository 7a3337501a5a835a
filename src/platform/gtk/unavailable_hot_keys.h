// The global shortcut where the desktop offers a program no way to have one: every registration
// is refused as unsupported, so the core tells the user instead of waiting for presses that never
// come.
//
// Thread: main thread only.
#pragma once

#include "platform/global_hot_keys.h"

namespace plenhall::gtk {

class UnavailableHotKeys final : public GlobalHotKeys {
  public:
    void installPressHandler(std::function<void(const UserInput&)>) override {}
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)>) override {}
    void registerHotKey(std::uint32_t, std::uint32_t,
                        std::function<void(const HotKeyRegistration&)> done) override {
        done(HotKeyError{HotKeyError::Reason::unsupported});
    }
    void unregisterHotKey() override {}
};

}  // namespace plenhall::gtk
