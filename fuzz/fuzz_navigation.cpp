// Any URL text in a navigation or a new-window request: only http and https URLs that are not
// pages of the (https) service ever reach the desktop's opener.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "launched_app.h"
#include "web/navigation_policy.h"
#include "web/url.h"

using namespace plenhall;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto& launched = fuzzing::launchedApp();
    auto* desktop = &launched.desktop;
    auto* app = &launched.app;
    if (size == 0) return 0;

    const std::uint8_t mode = data[0];
    std::string url(reinterpret_cast<const char*>(data) + 1, size - 1);
    NavigationAction action;
    if (mode & 1) action.url = url;
    if (mode & 2) action.targetFrame = FrameInfo{(mode & 4) != 0};
    action.userGesture = (mode & 16) != 0;
    if (mode & 32) action.httpMethod = "POST";

    // The fake keeps a record of everything; over millions of runs that record must not grow.
    desktop->opened.clear();
    if (mode & 8) {
        app->newWindowRequested(action);
    } else {
        app->decideNavigationPolicy(action);
    }
    for (const auto& opened : desktop->opened) {
        if (!isWebScheme(urlScheme(opened).value_or("")) || !urlHost(opened) ||
            isServicePage(opened, Service{"plenhall.com", true})) {
            std::abort();
        }
    }
    return 0;
}
