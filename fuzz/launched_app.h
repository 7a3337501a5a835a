// One controller, launched once on an in-memory desktop and kept for every run of a fuzz target:
// launching per input would leave little time for the inputs themselves.
#pragma once

#include "app/app_delegate.h"
#include "support/fake_platform.h"

namespace plenhall::fuzzing {

struct LaunchedApp {
    LaunchedApp() {
        desktop.defaults.setBool("hasOnboarded", true);
        app.started();
    }

    testing::FakePlatform desktop;
    Platform platform = desktop.platform();
    Prefs prefs{desktop.defaults};
    AppDelegate app{platform, prefs, AppValues{"https://plenhall.com/app", "plenhall.com", 600}};
};

// Never destroyed: the fuzzer may end the process at any point.
inline LaunchedApp& launchedApp() {
    static auto* launched = new LaunchedApp;
    return *launched;
}

}  // namespace plenhall::fuzzing
