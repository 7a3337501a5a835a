// The engine's context for the calendar: where cookies and site data live, how much memory a page
// may take, and the page sandbox.
#pragma once

#include <webkit2/webkit2.h>

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {

// Made once, before the first web view; the sandbox cannot be switched on after a page process
// has started.
GObjectPtr<WebKitWebContext> makeWebContext();

}  // namespace plenhall::gtk
