// The engine's load errors in the terms the core decides on.
#pragma once

#include <glib.h>

#include "platform/web_view.h"

namespace plenhall::gtk {

// What an engine error of `domain` and `code` means for the page. The engine's policy codes and
// its network domain's cancellation are told apart by domain as well as by number, since other
// domains (GIO, the resolver, TLS) reuse small numbers for unrelated errors.
WebFailure webFailure(GQuark domain, int code);

// The seam's error for `error`, which the engine reported for the load of `failingURL`.
WebError webError(const GError& error, const char* failingURL);

}  // namespace plenhall::gtk
