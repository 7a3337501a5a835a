// A launched application controller on the fake desktop, for tests of the controller's rules.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "app/app_delegate.h"
#include "support/fake_platform.h"

namespace plenhall::testing {

inline constexpr const char* kStartURL = "https://plenhall.com/app";

// The node with `id`, depth first; nullptr when there is none.
inline const ViewNode* findNode(const ViewNode& node, const std::string& id) {
    if (node.id == id) return &node;
    for (const auto& child : node.children)
        if (const auto* found = findNode(child, id)) return found;
    return nullptr;
}

class AppFixture : public ::testing::Test {
  public:
    // Creates the controller on the desktop as prepared so far and runs the launch.
    void launch(bool onboarded = true) {
        if (onboarded) desktop.defaults.setBool("hasOnboarded", true);
        prefs = std::make_unique<Prefs>(desktop.defaults);
        app = std::make_unique<AppDelegate>(platform, *prefs,
                                            AppValues{kStartURL, "plenhall.com", 600.0});
        app->started();
    }

    FakeWindow& calendar() { return *desktop.calendar; }
    FakeWindow& settingsWindow() { return *desktop.settings; }
    FakeWebView& webView() { return *desktop.webView; }
    FakeStatusItem& statusItem() { return *desktop.item; }
    // The settings window's node with `id` as the user sees it after the current change.
    const ViewNode& settingsNode(const std::string& id) {
        desktop.mainQueue.drain();
        const ViewNode* node = findNode(settingsWindow().shown, id);
        return node ? *node : throw std::runtime_error("no node " + id);
    }
    // The user presses the global shortcut; its action runs from the main queue.
    void pressHotKey() {
        ASSERT_TRUE(desktop.hotKeys.press());
        desktop.mainQueue.drain();
    }
    void calendarBecomesKey() { desktop.focus(&calendar()); }
    // The user clicks into another application; the focus settles.
    void applicationResigns() {
        desktop.focus(nullptr);
        desktop.clock.advance(std::chrono::duration<double>(kFocusSettle).count());
    }
    void menu(MenuAction action) { desktop.application.target->performMenuAction(action); }
    bool recording() const { return !desktop.keyMonitor.monitors.empty(); }

    FakePlatform desktop;
    Platform platform = desktop.platform();
    std::unique_ptr<Prefs> prefs;
    std::unique_ptr<AppDelegate> app;
};

}  // namespace plenhall::testing
