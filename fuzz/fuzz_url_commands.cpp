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
    auto& calendar = *desktop->calendar;
    auto& settings = *desktop->settings;
    const auto before = std::tuple(calendar.visible, settings.visible, calendar.currentFrame,
                                   settings.currentFrame, desktop->webView->loads, app->hiddenAt());
    app->openURLs(urls, {});
    // Anything but a plenhall: URL leaves the desktop exactly as it was.
    const bool unchanged =
        before == std::tuple(calendar.visible, settings.visible, calendar.currentFrame,
                             settings.currentFrame, desktop->webView->loads, app->hiddenAt());
    if (!anyOurs && !unchanged) std::abort();
    desktop->mainQueue.drain();
    return 0;
}
