#include "prefs/prefs.h"

#include "hotkey/key_positions.h"

#include "prefs/page_zoom.h"

namespace plenhall {
namespace {

Shortcut loadShortcut(const UserDefaults& defaults) {
    // An unreadable entry falls back silently and stays stored until the next assignment.
    if (auto bytes = defaults.dataForKey(kShortcutKey)) {
        if (auto shortcut = Shortcut::fromJSON(*bytes)) return *shortcut;
    }
    return defaultShortcut();
}

DisplayMode loadDisplayMode(const UserDefaults& defaults) {
    return defaults.stringForKey(kDisplayModeKey).value_or("") == "largeWindow"
               ? DisplayMode::largeWindow
               : DisplayMode::fullScreen;
}

}  // namespace

Shortcut defaultShortcut() {
    return Shortcut{8, StoredModifier::control | StoredModifier::alt | StoredModifier::super, "C"};
}

Prefs::Prefs(UserDefaults& defaults)
    : defaults_(defaults),
      shortcut_(loadShortcut(defaults)),
      displayMode_(loadDisplayMode(defaults)),
      pageZoom_(pageZoomFromStored(defaults.stringForKey(kPageZoomKey))) {}

void Prefs::setShortcut(const Shortcut& shortcut) {
    shortcut_.assign(shortcut, objectWillChange_);
    if (auto json = shortcut.toJSON()) defaults_.setData(kShortcutKey, *json);
}

void Prefs::setDisplayMode(DisplayMode mode) {
    displayMode_.assign(mode, objectWillChange_);
    defaults_.setString(kDisplayModeKey, std::string(rawValue(mode)));
}

void Prefs::setPageZoom(int percent) {
    pageZoom_ = percent;
    defaults_.setString(kPageZoomKey, storedPageZoom(percent));
}

}  // namespace plenhall
