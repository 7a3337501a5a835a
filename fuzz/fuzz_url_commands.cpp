// Any list of strings as the URLs the desktop hands over: only plenhall: URLs act, nothing crashes.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "support/fake_platform.h"

using namespace plenhall;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static testing::FakePlatform* desktop = [] {
        auto* fake = new testing::FakePlatform;
        fake->defaults.setBool("hasOnboarded", true);
        return fake;
    }();
    static Platform platform = desktop->platform();
    static Prefs prefs(desktop->defaults);
    static AppDelegate* app = [] {
        auto* controller = new AppDelegate(
            platform, prefs, AppValues{"https://plenhall.com/app", "plenhall.com", 600});
        controller->applicationDidFinishLaunching();
        return controller;
    }();

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
    desktop->journal.clear();
    if (desktop->windows.overlay) desktop->windows.overlay->frameHistory.clear();
    if (desktop->windows.settings) desktop->windows.settings->frameHistory.clear();
    app->applicationOpenURLs(urls);
    if (!anyOurs && !desktop->journal.empty()) std::abort();
    desktop->mainQueue.drain();
    return 0;
}
