// The settings window's content as a declarative view tree: a pure function of the settings model
// and the preference store.
#pragma once

#include "platform/view_tree.h"
#include "prefs/prefs.h"
#include "settings/settings_model.h"

namespace plenhall {

// The settings window's content size, the one place it is given.
inline constexpr Size kSettingsWindowSize{440, 420};

// The tree for the current state. Its actions refer to `model` and `prefs`, which outlive it.
ViewNode settingsView(SettingsModel& model, Prefs& prefs);

}  // namespace plenhall
