// The one global hot key of the process: registers a Shortcut system-wide and runs an action on
// the main queue for every press.
//
// Thread: main thread only. Ownership: the application controller owns the one HotKey for the
// life of the process. Presses already queued when a HotKey is destroyed do nothing.
#pragma once

#include <functional>
#include <memory>

#include "hotkey/shortcut.h"
#include "platform/global_hot_keys.h"
#include "platform/system.h"

namespace plenhall {

class HotKey {
  public:
    // `action` gets the press it runs for, to bring windows forward on its behalf.
    HotKey(GlobalHotKeys& platform, MainQueue& mainQueue, Log& log,
           std::function<void(const UserInput&)> action);
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;
    ~HotKey();

    // Replaces whatever is registered by `shortcut`; true (ok) when the desktop accepted it. After
    // a refusal nothing is registered at all and one log line says why.
    Result<HotKeyError> registerShortcut(const Shortcut& shortcut);
    // Drops the live registration, if any.
    void unregister();

    bool isRegistered() const { return registered_; }

  private:
    GlobalHotKeys& platform_;
    MainQueue& mainQueue_;
    Log& log_;
    std::function<void(const UserInput&)> action_;
    bool registered_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace plenhall
