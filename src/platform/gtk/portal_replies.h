// What the global-shortcuts portal sends, read into plain values. Every value is type-checked: a
// portal's results are typed loosely, and a wrong type is news for the log, not a crash.
#pragma once

#include <glib.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/user_input.h"

namespace plenhall::gtk {

// What a portal's list of shortcuts (a(sa{sv})) says about one shortcut id.
struct PortalShortcut {
    enum class Found { listed, missing, malformed };
    Found found = Found::missing;
    std::string trigger;  // the desktop's trigger_description when listed; may be empty
};

// Looks `id` up in `shortcuts`, a value the portal sent (any type: a wrong one is malformed).
PortalShortcut findPortalShortcut(GVariant* shortcuts, std::string_view id);
// The same, in a Response's results, whose "shortcuts" entry holds the list.
PortalShortcut findPortalShortcutInResults(GVariant* results, std::string_view id);

// The session handle in CreateSession's results: an object path, though sent as a string by the
// interface's own admission.
std::optional<std::string> portalSessionHandle(GVariant* results);

// An Activated signal's parameters (osta{sv}).
struct PortalActivation {
    std::string session;
    std::string shortcut;
    UserInput input;
};
std::optional<PortalActivation> portalActivation(GVariant* parameters);

// How a failed portal call is to be read.
enum class PortalCallFailure {
    noPortal,          // nothing owns the portal's name and the bus cannot start it
    missingInterface,  // the portal runs but lacks the interface or method
    portalGone,        // the portal left the bus while the call was pending
    other,
};
PortalCallFailure classifyPortalCallError(const GError* error);

}  // namespace plenhall::gtk
