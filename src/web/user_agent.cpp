#include "web/user_agent.h"

namespace plenhall {

std::string applicationNameForUserAgent(const std::optional<InfoDictionary>& info) {
    std::string version = "0";
    if (info && !info->empty()) version = infoString(info, kShortVersionKey).value_or("0");
    return "Version/17.0 Safari/605.1.15 PlenhallDesktop/" + version;
}

URLRequest startRequest(const std::string& appURL) {
    return URLRequest{appURL, 0, 60.0};
}

}  // namespace plenhall
