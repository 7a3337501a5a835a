// The application name the web view adds to its user agent, and the one request the program
// builds itself.
#pragma once

#include <optional>
#include <string>

#include "platform/system.h"
#include "platform/web_view.h"

namespace plenhall {

// "Version/17.0 Safari/605.1.15 PlenhallDesktop/" and the short version, or "0" without one.
std::string applicationNameForUserAgent(const BuildInfo& build);

// The start request: the start URL, the protocol's cache policy, 60 seconds without progress.
URLRequest startRequest(const std::string& appURL);

}  // namespace plenhall
