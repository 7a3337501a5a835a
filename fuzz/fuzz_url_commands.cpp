// Any list of strings as the URLs the desktop hands over: only plenhall: URLs act, nothing crashes.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "launched_app.h"

using namespace plenhall;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& launched = fuzzing::launchedApp();
    auto* desktop = &launched.desktop;
    auto* app = &launched.app;

    std::vector<std::string> urls(1);
    bool anyOurs = false;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            urls.emplace_back();
        } else {
            urls.back() += char(data[i]);
        }
    }
    for (const auto& url : urls) anyOurs = anyOurs || url.rfind("plenhall:", 0) == 0;
    // The fake keeps a record of everything; over millions of runs that record must not grow.
    auto& calendar = *desktop->windows.overlay;
    auto& settings = *desktop->windows.settings;
    calendar.frameHistory.clear();
    settings.frameHistory.clear();
    desktop->webViews.last->loadedRequests.clear();
    const auto before = std::tuple(calendar.visible, settings.visible, calendar.activations,
                                   settings.activations, app->hiddenAt());
    app->openURLs(urls);
    // Anything but a plenhall: URL leaves the desktop exactly as it was.
    const bool unchanged =
        before == std::tuple(calendar.visible, settings.visible, calendar.activations,
                             settings.activations, app->hiddenAt()) &&
        calendar.frameHistory.empty() && desktop->webViews.last->loadedRequests.empty();
    if (!anyOurs && !unchanged) std::abort();
    desktop->mainQueue.drain();
    return 0;
}
