#include "web/user_agent.h"

namespace plenhall {

std::string applicationNameForUserAgent(const BuildInfo& build) {
    return "Version/17.0 Safari/605.1.15 PlenhallDesktop/" +
           (build.version.empty() ? "0" : build.version);
}

URLRequest startRequest(const std::string& appURL) {
    return URLRequest{appURL, 0, 60.0};
}

}  // namespace plenhall
