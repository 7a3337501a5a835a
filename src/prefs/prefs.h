// The preference store of the process: the shortcut, the display mode and the page zoom, loaded
// once from the user-defaults store and written back on every assignment; the shortcut and the
// display mode are announced to subscribers.
//
// Thread: main thread only. Ownership: the composition root creates the one Prefs before the event
// loop starts and keeps it, and the user-defaults store it refers to, for the life of the process.
#pragma once

#include <functional>
#include <string_view>

#include "hotkey/shortcut.h"
#include "platform/user_defaults.h"
#include "prefs/display_mode.h"
#include "prefs/observable.h"

namespace plenhall {

// Stored preference keys.
inline constexpr std::string_view kShortcutKey = "shortcut";
inline constexpr std::string_view kDisplayModeKey = "displayMode";
inline constexpr std::string_view kLargeWindowFrameKey = "largeWindowFrame";
inline constexpr std::string_view kHasOnboardedKey = "hasOnboarded";
// The calendar page's zoom in percent, as text ("125").
inline constexpr std::string_view kPageZoomKey = "pageZoom";
// The user's answer to the reminders question: "granted" or "denied"; absent until answered.
inline constexpr std::string_view kReminderPermissionKey = "reminderPermission";

// Ctrl+Alt+Super+C: key code 8 (the C position) with Ctrl, Alt and Super.
Shortcut defaultShortcut();

class Prefs {
  public:
    explicit Prefs(UserDefaults& defaults);
    Prefs(const Prefs&) = delete;
    Prefs& operator=(const Prefs&) = delete;

    UserDefaults& defaults() const { return defaults_; }

    const Shortcut& shortcut() const { return shortcut_.get(); }
    // Announces, stores and writes the value; an equal value is a full assignment too.
    void setShortcut(const Shortcut& shortcut);

    DisplayMode displayMode() const { return displayMode_.get(); }
    void setDisplayMode(DisplayMode mode);

    // One of kPageZoomSteps.
    int pageZoom() const { return pageZoom_; }
    void setPageZoom(int percent);

    Subscription subscribeShortcut(std::function<void(const Shortcut&)> callback,
                                   Delivery delivery = Delivery::currentValueFirst) {
        return shortcut_.subscribe(std::move(callback), delivery);
    }
    Subscription subscribeDisplayMode(std::function<void(const DisplayMode&)> callback,
                                      Delivery delivery = Delivery::currentValueFirst) {
        return displayMode_.subscribe(std::move(callback), delivery);
    }
    // Sent once before each assignment to either property.
    Subscription subscribeWillChange(std::function<void()> callback) {
        return objectWillChange_.add(std::move(callback));
    }

  private:
    UserDefaults& defaults_;
    WillChangeSignal objectWillChange_;
    Published<Shortcut> shortcut_;
    Published<DisplayMode> displayMode_;
    int pageZoom_;
};

}  // namespace plenhall
