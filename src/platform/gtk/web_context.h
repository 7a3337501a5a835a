// The engine's context for the calendar: where cookies and site data live, how much memory a page
// may take, the page sandbox, and the languages spelling is checked in.
#pragma once

#include <webkit2/webkit2.h>

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {

// Made once, before the first web view; the sandbox cannot be switched on after a page process
// has started.
GObjectPtr<WebKitWebContext> makeWebContext();

// Checks spelling in the user's languages that have a dictionary installed, and not at all when
// none has: given no language, the engine would check in whichever dictionary it finds. Loading a
// dictionary holds up the calling thread for a tenth of a second or so.
void checkSpellingInUsersLanguages(WebKitWebContext* context);

}  // namespace plenhall::gtk
