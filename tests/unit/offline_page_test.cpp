#include "web/offline_page.h"

#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class Offline : public AppFixture {
  protected:
    void SetUp() override { launchOnboarded(); }
};

TEST_F(Offline, FailuresShowTheOfflinePageExceptCancelledInterruptedAndUnshowable) {
    const std::pair<WebFailure, bool> cases[] = {
        {WebFailure::cancelled, false},    {WebFailure::cannotShowURL, false},
        {WebFailure::policyChange, false}, {WebFailure::timedOut, true},
        {WebFailure::network, true},       {WebFailure::webProcessGone, true},
        {WebFailure::other, true},
    };
    for (const auto& [failure, offline] : cases) {
        for (bool committed : {false, true}) {
            app->reload();
            auto pages = webView().loadedHTML.size();
            if (committed) {
                webView().failCommitted(failure);
            } else {
                webView().failProvisional(failure, kTestStartURL);
            }
            EXPECT_EQ(app->showingOffline(), offline) << int(failure) << committed;
            EXPECT_EQ(webView().loadedHTML.size() - pages, offline ? 1u : 0u) << int(failure);
        }
    }
    EXPECT_EQ(webView().lastBaseURL, std::nullopt);
    EXPECT_EQ(webView().loadedHTML.back(), offlinePage(kTestStartURL));
    EXPECT_TRUE(desktop.workspace.opened.empty());
}

TEST_F(Offline, AnotherSiteThatCannotBeReachedGoesToTheBrowserInstead) {
    app->show();
    webView().failProvisional(WebFailure::network, "https://example.org/x");
    EXPECT_EQ(desktop.workspace.opened, std::vector<std::string>{"https://example.org/x"});
    EXPECT_FALSE(calendar().visible);
    EXPECT_FALSE(app->showingOffline());
    EXPECT_TRUE(webView().loadedHTML.empty());
}

TEST_F(Offline, FlagStateTable) {
    webView().failProvisional(WebFailure::network);  // false → true
    EXPECT_TRUE(app->showingOffline());
    webView().failProvisional(WebFailure::network);  // true → true, the page again
    EXPECT_TRUE(app->showingOffline());
    EXPECT_EQ(webView().loadedHTML.size(), 2u);
    webView().failProvisional(WebFailure::cancelled);  // unchanged
    webView().failCommitted(WebFailure::policyChange);
    EXPECT_TRUE(app->showingOffline());

    app->reload();  // true → false, the start request
    EXPECT_FALSE(app->showingOffline());
    EXPECT_EQ(webView().loadedRequests.back().url, kTestStartURL);
    webView().failProvisional(WebFailure::cancelled);
    EXPECT_FALSE(app->showingOffline());

    webView().failProvisional(WebFailure::network);
    app->show();  // true → false, loaded before the window is shown
    EXPECT_FALSE(app->showingOffline());
    EXPECT_EQ(startRequestsLoaded(), 3u);
}

// The server accepts the connection and never answers.
class LoadDeadline : public Offline {
  protected:
    void SetUp() override {
        Offline::SetUp();
        desktop.clock.advance(1);  // the calendar loaded at launch
        webView().answersAfter = std::nullopt;
    }
    bool timedOut() const { return app->showingOffline(); }
};

TEST_F(LoadDeadline, SixtySecondsWithoutProgressStopTheLoadOnceAndANewLoadStartsTheCountAgain) {
    struct Case {
        const char* name;
        std::function<void(FakeWebView&)> at30Seconds;
        std::optional<double> timesOutAt;
    } cases[] = {
        {"nothing happens", [](FakeWebView&) {}, 60},
        {"the page commits", [](FakeWebView& v) { v.commit(); }, std::nullopt},
        {"the load finishes", [](FakeWebView& v) { v.finish(); }, std::nullopt},
        {"the load fails unseen", [](FakeWebView& v) { v.failProvisional(WebFailure::cancelled); },
         std::nullopt},
        {"the page starts another load", [](FakeWebView& v) { v.start(kTestStartURL); }, 90},
        {"the server redirects",
         [](FakeWebView& v) {
             v.navigationDelegate->didReceiveServerRedirectForProvisionalNavigation(
                 "https://plenhall.com/app/today");
         },
         90},
        {"the page opens a new window",
         [](FakeWebView& v) {
             v.navigationDelegate->createWebViewForNavigationAction(
                 NavigationAction{"https://plenhall.com/app/e", std::nullopt});
         },
         90},
    };
    for (const auto& c : cases) {
        app->reload();
        const int stops = webView().stops;
        desktop.clock.advance(30);
        c.at30Seconds(webView());
        double now = 30;
        for (double at : {59.5, 60.0, 89.5, 90.0, 690.0}) {
            desktop.clock.advance(at - std::exchange(now, at));
            const bool expired = c.timesOutAt && at >= *c.timesOutAt;
            EXPECT_EQ(timedOut(), expired) << c.name << " at " << at;
            EXPECT_EQ(webView().stops - stops, expired ? 1 : 0) << c.name << " at " << at;
        }
    }
}

TEST_F(LoadDeadline, APageOfAnotherSiteThatNeverAnswersGoesToTheBrowser) {
    app->show();
    webView().start("https://example.org/slow");
    desktop.clock.advance(60);
    EXPECT_EQ(desktop.workspace.opened, std::vector<std::string>{"https://example.org/slow"});
    EXPECT_FALSE(timedOut());
    EXPECT_FALSE(calendar().visible);
}

}  // namespace
}  // namespace plenhall::testing
