#include "app/process_entry.h"

#include "web/url.h"

namespace plenhall {

std::optional<AppValues> makeAppValues(const std::string& startURL) {
    auto scheme = urlScheme(startURL);
    auto host = urlHost(startURL);
    if (!scheme || !host) return std::nullopt;
    std::string appHost = *host;
    for (auto& c : appHost) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return AppValues{startURL, appHost, 600.0};
}

int runProcess(Platform& platform, const std::string& startURL) {
    auto values = makeAppValues(startURL);
    if (!values) {
        platform.log.line("PlenhallDesktop: the start URL " + startURL + " is not a valid URL");
        return 1;
    }
    Prefs prefs(platform.defaults);
    AppDelegate delegate(platform, prefs, *values);
    platform.application.setDelegate(delegate);
    const int status = platform.application.run();
    // Quit or asked to stop: nothing the user changed is lost.
    platform.defaults.synchronize();
    return status;
}

}  // namespace plenhall
