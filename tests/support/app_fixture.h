// A launched application controller on the fake desktop, for tests of the controller's rules.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "app/app_delegate.h"
#include "support/fake_platform.h"

namespace plenhall::testing {

inline constexpr const char* kTestStartURL = "https://plenhall.com/app";

// The node of a rendered view with `id`, depth first; nullptr when there is none.
inline const ViewNode* findNode(const ViewNode& node, const std::string& id) {
    if (node.id == id) return &node;
    for (const auto& child : node.children) {
        if (const auto* found = findNode(child, id)) return found;
    }
    return nullptr;
}

class AppFixture : public ::testing::Test {
  public:
    // Creates the controller on the desktop as prepared so far and runs the launch sequence.
    void launch() {
        prefs = std::make_unique<Prefs>(desktop.defaults);
        app = std::make_unique<AppDelegate>(platform, *prefs,
                                            AppValues{kTestStartURL, "plenhall.com", 600.0});
        app->started();
    }

    // A desktop whose user has been through the welcome before.
    void launchOnboarded() {
        desktop.defaults.setBool("hasOnboarded", true);
        launch();
    }

    FakeWindow& calendar() { return *desktop.windows.overlay; }
    FakeWindow& settingsWindow() { return *desktop.windows.settings; }
    FakeWebView& webView() { return *desktop.webViews.last; }
    FakeStatusItem& statusItem() { return *desktop.statusBar.last; }

    // The user presses the global shortcut; its action runs from the main queue.
    void pressHotKey() {
        ASSERT_TRUE(desktop.hotKeys.press());
        desktop.mainQueue.drain();
    }
    // The calendar window becomes the focused window.
    void calendarBecomesKey() {
        calendar().key = true;
        desktop.notifications.post(Notification::windowGotFocus, &calendar());
    }
    // The user clicks into another application.
    void applicationResigns() {
        calendar().key = false;
        settingsWindow().key = false;
        desktop.notifications.post(Notification::applicationLostFocus);
    }
    std::size_t startRequestsLoaded() const {
        std::size_t n = 0;
        for (const auto& r : desktop.webViews.last->loadedRequests) n += r.url == kTestStartURL;
        return n;
    }

    FakePlatform desktop;
    Platform platform = desktop.platform();
    std::unique_ptr<Prefs> prefs;
    std::unique_ptr<AppDelegate> app;
};

}  // namespace plenhall::testing
