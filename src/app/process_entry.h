// The process entry: builds the process-wide values, the preference store and the application
// controller, and runs the event loop.
#pragma once

#include <optional>
#include <string>

#include "app/app_delegate.h"
#include "platform/platform.h"

namespace plenhall {

// The values for `startURL`; nothing when it is not an absolute URL with a host.
std::optional<AppValues> makeAppValues(const std::string& startURL);

// Runs the application on `platform` and returns the process's exit status.
int runProcess(Platform& platform, const std::string& startURL);

}  // namespace plenhall
