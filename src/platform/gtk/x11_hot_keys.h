// The global shortcut on X11: XGrabKey on the root window, for every combination of the lock
// modifiers, with a refusal (another client holds the key) detected synchronously.
//
// Thread: main thread only; presses arrive through GDK's event filter on the main loop.
// Ownership: the platform owns the grab for the life of the process; the filter is removed in the
// destructor.
#pragma once

#include <gdk/gdk.h>

#include <cstdint>
#include <functional>
#include <optional>

#include "platform/global_hot_keys.h"
#include "platform/gtk/desktop_state.h"

namespace plenhall::gtk {

class X11HotKeys final : public GlobalHotKeys {
  public:
    explicit X11HotKeys(DesktopState& state) : state_(state) {}
    X11HotKeys(const X11HotKeys&) = delete;
    X11HotKeys& operator=(const X11HotKeys&) = delete;
    ~X11HotKeys() override;

    void installPressHandler(std::function<void(const UserInput&)> onPress) override;
    // X11 bindings change only through us.
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)>) override {}
    void installServiceHandler(std::function<void(HotKeyService)>) override {}
    // Completes before returning: X answers a grab at once.
    void registerHotKey(const KeyCombination& keys, const std::string& description,
                        std::function<void(const HotKeyRegistration&)> done) override;
    void unregisterHotKey() override;

  private:
    struct Grab {
        unsigned keycode;
        unsigned modifiers;
    };
    Result<HotKeyError> grab(const KeyCombination& keys);
    static GdkFilterReturn filter(GdkXEvent* xevent, GdkEvent*, gpointer self);
    void ungrab(const Grab& grab);

    DesktopState& state_;
    std::function<void(const UserInput&)> onPress_;
    std::optional<Grab> grab_;
    bool filterInstalled_ = false;
    bool keyDown_ = false;
};

}  // namespace plenhall::gtk
