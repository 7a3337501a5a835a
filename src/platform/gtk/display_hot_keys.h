// The global shortcut of whichever display the toolkit opened: the program learns whether it is an
// X11 or a Wayland client only once the application starts, after the seam has been handed out.
//
// The implementation is chosen at the first call made with a display open, and the handlers
// installed before then are handed to it.
//
// Thread: main thread only. Ownership: the platform owns this, and this the chosen
// implementation.
#pragma once

#include <gdk/gdk.h>

#include <functional>
#include <memory>

#include "platform/global_hot_keys.h"

namespace plenhall::gtk {

class DisplayHotKeys final : public GlobalHotKeys {
  public:
    using Chooser = std::function<std::unique_ptr<GlobalHotKeys>(GdkDisplay*)>;
    explicit DisplayHotKeys(Chooser choose) : choose_(std::move(choose)) {}

    void installPressHandler(std::function<void(const UserInput&)> onPress) override;
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)> onChange) override;
    void installServiceHandler(std::function<void(HotKeyService)> onChange) override;
    // Refused as unsupported while no display is open.
    void registerHotKey(const KeyCombination& keys, const std::string& description,
                        std::function<void(const HotKeyRegistration&)> done) override;
    void unregisterHotKey() override;

  private:
    // The implementation for the open display; null while none is open.
    GlobalHotKeys* chosen();

    Chooser choose_;
    std::unique_ptr<GlobalHotKeys> chosen_;
    std::function<void(const UserInput&)> onPress_;
    std::function<void(const HotKeyBinding&)> onChange_;
    std::function<void(HotKeyService)> onService_;
};

}  // namespace plenhall::gtk
