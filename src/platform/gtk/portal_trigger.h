// The trigger the global-shortcuts portal is asked to prefer, in the freedesktop shortcuts format
// ("CTRL+ALT+LOGO+c").
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/key_event.h"

namespace plenhall::gtk {

// Names the key by the keysym it types in the first layout with no modifier, so that the desktop
// binds the key the user recorded: the portal speaks keysyms, not positions, and on a German
// layout the key recorded at the US Y position types z. The US name where no display is open or
// the layout's symbol is not one a desktop's shortcut settings take. Empty for a key with no name.
std::string portalPreferredTrigger(const KeyCombination& keys);
// The keysym name of that key, by the same rule; nothing for a key with no name.
std::optional<std::string> keysymName(std::uint16_t keycode);

}  // namespace plenhall::gtk
