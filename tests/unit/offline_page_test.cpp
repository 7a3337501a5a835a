#include "web/offline_page.h"

#include <gtest/gtest.h>

#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

TEST(OfflinePage, IsTheExactDocumentAroundTheStartURL) {
    const std::string url = "https://plenhall.com/app";
    const std::string page = offlinePage(url);
    EXPECT_EQ(page.size() - url.size(), 768u);
    EXPECT_EQ(page.find("<!doctype html><html><head><meta charset=\"utf-8\"><style>\n:root{"), 0u);
    EXPECT_NE(
        page.find(
            "\n     font:16px -apple-system,system-ui,sans-serif;background:#f7f5f0;color:#222}\n"),
        std::string::npos);
    EXPECT_NE(page.find("\n  text-decoration:none;font-weight:600}\n"), std::string::npos);
    EXPECT_NE(page.find("<h1>Can't reach your calendar</h1>"), std::string::npos);
    EXPECT_NE(page.find("<div style=\"font-size:44px\">\xF0\x9F\x93\x85</div>"), std::string::npos);
    EXPECT_NE(page.find("<a href=\"https://plenhall.com/app\">Try again</a></div></body></html>"),
              std::string::npos);
    EXPECT_EQ(page.back(), '>');
    EXPECT_EQ(std::count(page.begin(), page.end(), '\n'), 11);
}

class Offline : public AppFixture {
  protected:
    void SetUp() override { launchOnboarded(); }
};

TEST_F(Offline, FailuresShowTheOfflinePageExceptCancelledInterruptedAndUnshowable) {
    struct Case {
        int code;
        const char* domain;
        bool offline;
    } cases[] = {
        {-1009, "NSURLErrorDomain", true},   {39, "g-io-error-quark", true},
        {0, "g-resolver-error-quark", true}, {-1001, "NSURLErrorDomain", true},
        {300, "PlenhallWebProcess", true},   {-999, "NSURLErrorDomain", false},
        {-999, "WebKitPolicyError", false},  {102, "WebKitPolicyError", false},
        {102, "SomethingElse", false},       {101, "WebKitPolicyError", false},
    };
    for (const auto& c : cases) {
        for (bool committed : {false, true}) {
            app->reload();
            auto pages = webView().loadedHTML.size();
            if (committed) {
                webView().failCommitted(c.code, c.domain);
            } else {
                webView().failProvisional(c.code, c.domain);
            }
            EXPECT_EQ(app->showingOffline(), c.offline) << c.code << " " << c.domain;
            EXPECT_EQ(webView().loadedHTML.size() - pages, c.offline ? 1u : 0u) << c.code;
        }
    }
    EXPECT_EQ(webView().lastBaseURL, std::nullopt);
    EXPECT_EQ(webView().loadedHTML.back(), offlinePage(kTestStartURL));
}

TEST_F(Offline, FlagStateTable) {
    webView().failProvisional(-1004);  // false → true
    EXPECT_TRUE(app->showingOffline());
    webView().failProvisional(-1004);  // true → true, the page again
    EXPECT_TRUE(app->showingOffline());
    EXPECT_EQ(webView().loadedHTML.size(), 2u);
    webView().failProvisional(-999);  // unchanged
    webView().failCommitted(102);
    EXPECT_TRUE(app->showingOffline());

    app->reload();  // true → false, the start request
    EXPECT_FALSE(app->showingOffline());
    EXPECT_EQ(webView().loadedRequests.back().url, kTestStartURL);
    webView().failProvisional(-999);
    EXPECT_FALSE(app->showingOffline());

    webView().failProvisional(-1004);
    app->show();  // true → false, loaded before the window is shown
    EXPECT_FALSE(app->showingOffline());
    EXPECT_EQ(startRequestsLoaded(), 3u);
}

TEST_F(Offline, ReloadReturnsToTheStartURLFromAnyPageEvenHidden) {
    webView().navigationDelegate->createWebViewForNavigationAction(
        NavigationAction{"https://plenhall.com/app/settings", std::nullopt,
                         URLRequest{"https://plenhall.com/app/settings"}});
    statusItem().click(1);  // "Reload"
    EXPECT_EQ(webView().loadedRequests.back(), (URLRequest{kTestStartURL, 0, 60.0}));
    EXPECT_FALSE(calendar().visible);
}

}  // namespace
}  // namespace plenhall::testing
