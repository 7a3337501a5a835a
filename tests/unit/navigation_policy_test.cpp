#include "web/navigation_policy.h"

#include <gtest/gtest.h>

#include "support/app_fixture.h"
#include "web/url.h"

namespace plenhall::testing {
namespace {

const Service kService{"plenhall.com", true};

NavigationAction action(std::optional<std::string> url,
                        std::optional<FrameInfo> frame = FrameInfo{true}) {
    return NavigationAction{url, frame};
}

// A request for a new window, as a page's script or a link of a frame makes it.
NavigationAction newWindow(std::optional<std::string> url, const char* method = "GET",
                           bool userGesture = false) {
    return NavigationAction{url, std::nullopt, method, userGesture};
}

TEST(ServiceHost, EqualOrASubdomainExactly) {
    const std::pair<const char*, bool> cases[] = {
        {"plenhall.com", true},           {"app.plenhall.com", true},
        {"a.b.plenhall.com", true},       {"evilplenhall.com", false},
        {"plenhall.com.evil.org", false}, {"plenhall.co", false},
        {"Plenhall.com", false},          {"plenhall.com.", false},
        {".plenhall.com", true},          {"", false},
        {" plenhall.com", false},
    };
    for (const auto& [host, passes] : cases)
        EXPECT_EQ(isServiceHost(host, "plenhall.com"), passes) << host;
}

TEST(ServicePage, OverHttpsAloneWhenTheStartURLIsHttps) {
    const Service httpsService = Service::ofStartURL("HTTPS://Plenhall.com/app", "plenhall.com");
    const Service httpService = Service::ofStartURL("http://plenhall.com/app", "plenhall.com");
    EXPECT_TRUE(httpsService.httpsOnly);
    EXPECT_FALSE(httpService.httpsOnly);
    const std::tuple<const char*, bool, bool> cases[] = {
        // url, a page of the https service, a page of the http service
        {"https://plenhall.com/app", true, true},
        {"https://team.plenhall.com:8443/week", true, true},
        {"http://plenhall.com/app", false, true},
        {"http://team.plenhall.com/", false, true},
        {"HTTPS://plenhall.com/app", false, false},
        {"ftp://plenhall.com/", false, false},
        {"https://evilplenhall.com/", false, false},
        {"https:///app", false, false},
        {"data:text/html,plenhall.com", false, false},
    };
    for (const auto& [url, ofHttps, ofHttp] : cases) {
        EXPECT_EQ(isServicePage(url, httpsService), ofHttps) << url;
        EXPECT_EQ(isServicePage(url, httpService), ofHttp) << url;
    }
}

TEST(Url, SchemeAndHostAsWritten) {
    EXPECT_EQ(urlScheme("HTTPS://x.org/"), "HTTPS");
    EXPECT_EQ(urlScheme("mailto:a@b.c"), "mailto");
    EXPECT_EQ(urlScheme("no scheme here"), std::nullopt);
    EXPECT_EQ(urlScheme("1http://x"), std::nullopt);
    EXPECT_EQ(urlHost("https://user:pw@App.Plenhall.com:8443/p?q#f"), "App.Plenhall.com");
    EXPECT_EQ(urlHost("http://[::1]:80/"), "::1");
    EXPECT_EQ(urlHost("http://[::1"), std::nullopt);
    EXPECT_EQ(urlHost("mailto:a@plenhall.com"), std::nullopt);
    EXPECT_EQ(urlHost("file:///etc/hosts"), std::nullopt);
    EXPECT_EQ(urlHost("plenhall://"), std::nullopt);
    EXPECT_EQ(urlHost("plenhall://SHOW/p?q=1#f"), "SHOW");
    EXPECT_EQ(urlHost("https://evil.org#@plenhall.com"), "evil.org");
    EXPECT_EQ(urlHost("https://evil.org?@plenhall.com"), "evil.org");
}

TEST(NavigationRules, OnlyForeignWebPagesInTheMainFrameGoToTheBrowser) {
    struct Case {
        const char* name;
        NavigationAction action;
        NavigationDecision expected;
    } cases[] = {
        {"a frame loads anything", action("https://maps.example.org/", FrameInfo{false}),
         NavigationDecision::allow},
        {"no URL", action(std::nullopt), NavigationDecision::allow},
        {"about:", action("about:blank"), NavigationDecision::allow},
        {"data:", action("data:text/html,hi"), NavigationDecision::allow},
        {"blob:", action("blob:https://evil.org/1234"), NavigationDecision::allow},
        {"mailto:", action("mailto:someone@evil.org"), NavigationDecision::allow},
        {"scheme in capitals is not a web scheme", action("HTTPS://evil.org/"),
         NavigationDecision::allow},
        {"web scheme without host", action("http:///path"), NavigationDecision::allow},
        {"the service host", action("https://plenhall.com/app/week"), NavigationDecision::allow},
        {"a subdomain", action("https://help.plenhall.com/"), NavigationDecision::allow},
        {"the service host over plain http", action("http://plenhall.com/app"),
         NavigationDecision::openInBrowser},
        {"suffix without a dot", action("https://evilplenhall.com/"),
         NavigationDecision::openInBrowser},
        {"another site", action("https://example.org/"), NavigationDecision::openInBrowser},
        {"a new window's request to another site", action("https://example.org/", std::nullopt),
         NavigationDecision::openInBrowser},
        {"user info naming the service", action("https://plenhall.com@evil.org/"),
         NavigationDecision::openInBrowser},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decideNavigation(c.action, kService), c.expected) << c.name;
}

TEST(NewWindowRules, OnlyServicePagesLoadOnlyOtherWebPagesGoToTheOpener) {
    struct Case {
        const char* name;
        NavigationAction action;
        NewWindowDecision expected;
    } cases[] = {
        {"no URL", newWindow(std::nullopt), NewWindowDecision::ignore},
        {"service page", newWindow("https://plenhall.com/app/event/1"),
         NewWindowDecision::loadInWebView},
        {"subdomain", newWindow("https://files.plenhall.com/a.pdf"),
         NewWindowDecision::loadInWebView},
        {"a form sent to the service", newWindow("https://plenhall.com/app/event", "POST"),
         NewWindowDecision::refuseBody},
        {"no method given", newWindow("https://plenhall.com/app/event", ""),
         NewWindowDecision::refuseBody},
        {"a form sent to another site", newWindow("https://example.org/x", "POST"),
         NewWindowDecision::openInBrowser},
        {"about:blank", newWindow("about:blank"), NewWindowDecision::refuseNotWebPage},
        {"data:", newWindow("data:text/html,<body bgcolor=red>"),
         NewWindowDecision::refuseNotWebPage},
        {"blob:", newWindow("blob:https://plenhall.com/5b1c"), NewWindowDecision::refuseNotWebPage},
        {"javascript:", newWindow("javascript:alert(1)"), NewWindowDecision::refuseNotWebPage},
        {"web scheme without host", newWindow("https:///app"), NewWindowDecision::refuseNotWebPage},
        {"the service host over plain http", newWindow("http://plenhall.com/app"),
         NewWindowDecision::openInBrowser},
        {"another site", newWindow("https://example.org/x"), NewWindowDecision::openInBrowser},
        {"another site over http", newWindow("http://example.org/x"),
         NewWindowDecision::openInBrowser},
        {"smb share", newWindow("smb://fileserver.evil.org/share"),
         NewWindowDecision::refuseNotWebPage},
        {"an application's own scheme", newWindow("zoommtg://evil.org/join"),
         NewWindowDecision::refuseNotWebPage},
        {"web scheme in capitals", newWindow("HTTPS://example.org/"),
         NewWindowDecision::refuseNotWebPage},
        {"a local file", newWindow("file:///etc/passwd"), NewWindowDecision::refuseNotWebPage},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decideNewWindow(c.action, kService), c.expected) << c.name;
}

TEST(ResponseRules, ForeignMainFramePagesGoOutAndNothingIsSaved) {
    struct Case {
        const char* name;
        NavigationResponse response;
        ResponseDecision expected;
    } cases[] = {
        {"a service page",
         {true, "https://plenhall.com/app", true, false},
         ResponseDecision::allow},
        {"a frame of another site",
         {false, "https://maps.example.org/", true, false},
         ResponseDecision::allow},
        {"a main-frame page of another site",
         {true, "https://example.org/", true, false},
         ResponseDecision::openInBrowser},
        {"a main-frame service page over plain http",
         {true, "http://plenhall.com/app", true, false},
         ResponseDecision::openInBrowser},
        {"a service page the view cannot show",
         {true, "https://plenhall.com/a.zip", false, false},
         ResponseDecision::refuse},
        {"an attachment",
         {true, "https://plenhall.com/export.ics", true, true},
         ResponseDecision::refuse},
        {"an attachment in a frame",
         {false, "https://files.example.org/x", true, true},
         ResponseDecision::refuse},
        {"no URL", {true, std::nullopt, true, false}, ResponseDecision::allow},
    };
    for (const auto& c : cases)
        EXPECT_EQ(decideNavigationResponse(c.response, kService), c.expected) << c.name;
}

class Navigation : public AppFixture {
  protected:
    void SetUp() override { launchOnboarded(); }
};

TEST_F(Navigation, ForeignLinkOpensInTheBrowserHidesAndCancels) {
    app->show();
    auto policy = webView().navigationDelegate->decidePolicyForNavigationAction(
        action("https://example.org/x?y#z"));
    EXPECT_EQ(policy, NavigationActionPolicy::cancel);
    EXPECT_EQ(desktop.workspace.opened, std::vector<std::string>{"https://example.org/x?y#z"});
    EXPECT_FALSE(calendar().visible);

    policy = webView().navigationDelegate->decidePolicyForNavigationAction(
        action("https://plenhall.com/app/x"));
    EXPECT_EQ(policy, NavigationActionPolicy::allow);
    EXPECT_EQ(desktop.workspace.opened.size(), 1u);
}

TEST_F(Navigation, NewWindowRequestsStayInTheOneViewOrGoOut) {
    app->show();
    desktop.log.lines.clear();
    NavigationDelegate& delegate = *webView().navigationDelegate;
    auto before = webView().loadedRequests.size();
    delegate.createWebViewForNavigationAction(newWindow("https://plenhall.com/app/e"));
    ASSERT_EQ(webView().loadedRequests.size(), before + 1);
    // The URL alone: nothing of the page's request is loaded as the program's own.
    EXPECT_EQ(webView().loadedRequests.back(), URLRequest{"https://plenhall.com/app/e"});
    EXPECT_TRUE(calendar().visible);

    // Whatever is not a web page of the service stays out, with a line for the burst.
    for (const char* url :
         {"data:text/html,x", "blob:https://plenhall.com/1", "about:blank", "smb://evil.org/s"}) {
        delegate.createWebViewForNavigationAction(newWindow(url));
    }
    delegate.createWebViewForNavigationAction(newWindow("https://plenhall.com/app/e", "POST"));
    delegate.createWebViewForNavigationAction(newWindow("https://plenhall.com/app/f", "POST"));
    EXPECT_TRUE(desktop.workspace.opened.empty());
    EXPECT_EQ(webView().loadedRequests.size(), before + 1);
    EXPECT_TRUE(calendar().visible);
    ASSERT_EQ(desktop.log.lines.size(), 2u);
    EXPECT_THAT(desktop.log.lines[0], ::testing::StartsWith("PlenhallDesktop: "));
    EXPECT_THAT(desktop.log.lines[1], ::testing::HasSubstr("form"));

    delegate.createWebViewForNavigationAction(newWindow("https://example.org/"));
    EXPECT_EQ(desktop.workspace.opened, std::vector<std::string>{"https://example.org/"});
    EXPECT_FALSE(calendar().visible);
}

TEST_F(Navigation, PopUpsToOtherSitesWithoutAClickAreLimitedClicksAlwaysWork) {
    desktop.log.lines.clear();
    NavigationDelegate& delegate = *webView().navigationDelegate;
    // A link with a target asks first, a script's window.open only creates: both are pop-ups.
    auto byLink = [&](bool click) {
        return delegate.decidePolicyForNavigationAction(
            NavigationAction{"https://ads.example.org/", std::nullopt, "GET", click});
    };
    auto byScript = [&](bool click) {
        delegate.createWebViewForNavigationAction(
            newWindow("https://ads.example.org/", "GET", click));
    };
    struct Step {
        const char* what;
        std::function<void()> act;
        std::size_t opened;  // in the browser so far
        std::size_t lines;   // logged so far
    } steps[] = {
        {"first without a click", [&] { byScript(false); }, 1, 0},
        {"second", [&] { byLink(false); }, 2, 0},
        {"third", [&] { byScript(false); }, 3, 0},
        {"fourth within 10 s", [&] { byScript(false); }, 3, 1},
        {"fifth, by a link", [&] { EXPECT_EQ(byLink(false), NavigationActionPolicy::cancel); }, 3,
         1},
        {"a clicked link", [&] { byLink(true); }, 4, 1},
        {"a click's window.open", [&] { byScript(true); }, 5, 1},
        {"a main-frame link is no pop-up",
         [&] { delegate.decidePolicyForNavigationAction(action("https://example.org/")); }, 6, 1},
        {"9.9 s after the first three",
         [&] {
             desktop.clock.advance(9.9);
             byScript(false);
         },
         6, 1},
        {"10 s after them: three more",
         [&] {
             desktop.clock.advance(0.1);
             for (int i = 0; i < 4; ++i) byScript(false);
         },
         9, 1},
        {"a burst 10 s after the last drop has a line of its own",
         [&] {
             desktop.clock.advance(10);
             for (int i = 0; i < 4; ++i) byScript(false);
         },
         12, 2},
        {"the wall clock set back an hour",
         [&] {
             desktop.clock.current -= std::chrono::hours(1);
             byScript(false);
         },
         13, 2},
    };
    for (const auto& step : steps) {
        step.act();
        EXPECT_EQ(desktop.workspace.opened.size(), step.opened) << step.what;
        EXPECT_EQ(desktop.log.lines.size(), step.lines) << step.what;
    }
    EXPECT_THAT(desktop.log.lines.back(), ::testing::HasSubstr("3 in 10 s"));
}

TEST_F(Navigation, AForeignPageAnsweringTheMainFrameGoesToTheBrowserADownloadNowhere) {
    app->show();
    NavigationDelegate& delegate = *webView().navigationDelegate;
    EXPECT_EQ(
        delegate.decidePolicyForNavigationResponse({true, "https://plenhall.com/a.zip", false}),
        NavigationResponsePolicy::cancel);
    EXPECT_TRUE(desktop.workspace.opened.empty());
    EXPECT_TRUE(calendar().visible);

    EXPECT_EQ(delegate.decidePolicyForNavigationResponse({true, "https://example.org/p", true}),
              NavigationResponsePolicy::cancel);
    EXPECT_EQ(desktop.workspace.opened, std::vector<std::string>{"https://example.org/p"});
    EXPECT_FALSE(calendar().visible);
}

}  // namespace
}  // namespace plenhall::testing
