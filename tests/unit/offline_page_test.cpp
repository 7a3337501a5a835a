#include "web/offline_page.h"

#include <gtest/gtest.h>

#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

TEST(OfflinePage, IsTheExactDocumentAroundTheStartURL) {
    EXPECT_EQ(offlinePage("https://plenhall.com/app"),
              "<!doctype html><html><head><meta charset=\"utf-8\"><style>\n"
              ":root{color-scheme:light dark}\n"
              "body{margin:0;height:100vh;display:flex;align-items:center;justify-content:center;\n"
              "     font:16px -apple-system,system-ui,sans-serif;background:#f7f5f0;color:#222}\n"
              "@media (prefers-color-scheme:dark){body{background:#1c1c1e;color:#eee}}\n"
              ".box{text-align:center;max-width:360px}\n"
              "h1{font-size:22px;margin:0 0 8px}p{margin:0 0 20px;opacity:.7}\n"
              "a{display:inline-block;padding:10px 22px;border-radius:10px;background:#f25c44;"
              "color:#fff;\n"
              "  text-decoration:none;font-weight:600}\n"
              "</style></head><body><div class=\"box\"><div style=\"font-size:44px\">"
              "\xF0\x9F\x93\x85</div>\n"
              "<h1>Can't reach your calendar</h1><p>Check your internet connection, then try "
              "again.</p>\n"
              "<a href=\"https://plenhall.com/app\">Try again</a></div></body></html>");
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
