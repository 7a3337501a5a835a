// plenhall:// URL commands from scripts, links and desktop shortcuts.

#include "app/app_delegate.h"
#include "web/url.h"

namespace plenhall {

void AppDelegate::openURLs(const std::vector<std::string>& urls, const UserInput& input) {
    for (const auto& url : urls) {
        if (urlScheme(url) != "plenhall") continue;  // exact: PLENHALL:// is not ours
        auto host = urlHost(url);
        if (host == "show") {
            show(input);
        } else if (host == "hide") {
            hide();
        } else if (host == "settings") {
            openSettings(input);
        } else {
            toggle(input);
        }
    }
}

}  // namespace plenhall
