#include "web/navigation_policy.h"

#include <gtest/gtest.h>

#include "support/app_fixture.h"
#include "web/url.h"

namespace plenhall::testing {
namespace {

const Service kService{"plenhall.com", true};

NavigationAction action(std::optional<std::string> url,
                        std::optional<FrameInfo> frame = FrameInfo{true}) {
    NavigationAction a;
    a.url = url;
    a.targetFrame = frame;
    if (url) a.request = URLRequest{*url};
    return a;
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

TEST(NewWindowRules, NeverASecondWindowAndOnlyWebPagesToTheOpener) {
    struct Case {
        const char* name;
        std::optional<std::string> url;
        NewWindowDecision expected;
    } cases[] = {
        {"no URL", std::nullopt, NewWindowDecision::ignore},
        {"service page", "https://plenhall.com/app/event/1", NewWindowDecision::loadInWebView},
        {"subdomain", "https://files.plenhall.com/a.pdf", NewWindowDecision::loadInWebView},
        {"about:blank has no host", "about:blank", NewWindowDecision::loadInWebView},
        {"data: has no host", "data:text/html,hi", NewWindowDecision::loadInWebView},
        {"another site", "https://example.org/x", NewWindowDecision::openInBrowser},
        {"another site over http", "http://example.org/x", NewWindowDecision::openInBrowser},
        {"the service host over plain http", "http://plenhall.com/app",
         NewWindowDecision::openInBrowser},
        {"smb share", "smb://fileserver.evil.org/share", NewWindowDecision::ignore},
        {"sftp", "sftp://me@evil.org/", NewWindowDecision::ignore},
        {"an application's own scheme", "zoommtg://evil.org/join", NewWindowDecision::ignore},
        {"ftp", "ftp://evil.org/", NewWindowDecision::ignore},
        {"web scheme in capitals", "HTTPS://example.org/", NewWindowDecision::ignore},
        {"a local file", "file:///etc/passwd", NewWindowDecision::ignore},
        {"a file on another host", "file://evil.org/share/x", NewWindowDecision::ignore},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(decideNewWindow(action(c.url, std::nullopt), kService), c.expected) << c.name;
    }
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
    auto before = webView().loadedRequests.size();
    webView().navigationDelegate->createWebViewForNavigationAction(
        action("https://plenhall.com/app/e", std::nullopt));
    ASSERT_EQ(webView().loadedRequests.size(), before + 1);
    EXPECT_EQ(webView().loadedRequests.back().url, "https://plenhall.com/app/e");
    EXPECT_TRUE(calendar().visible);

    webView().navigationDelegate->createWebViewForNavigationAction(
        action("smb://evil.org/s", std::nullopt));
    EXPECT_TRUE(desktop.workspace.opened.empty());
    EXPECT_EQ(webView().loadedRequests.size(), before + 1);
    EXPECT_TRUE(calendar().visible);

    webView().navigationDelegate->createWebViewForNavigationAction(
        action("https://example.org/", std::nullopt));
    EXPECT_EQ(desktop.workspace.opened, std::vector<std::string>{"https://example.org/"});
    EXPECT_FALSE(calendar().visible);
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

// The engine's request as the page made it: a form posted into a new window.
struct PostedForm final : EngineRequest {
    std::string method = "POST";
    std::string body = "title=Lunch";
};

TEST_F(Navigation, ANewWindowRequestIsLoadedAsThePageMadeIt) {
    auto posted = std::make_shared<PostedForm>();
    NavigationAction action{"https://plenhall.com/app/event", std::nullopt,
                            URLRequest{"https://plenhall.com/app/event", 1, 20.0, posted}};
    webView().navigationDelegate->createWebViewForNavigationAction(action);
    ASSERT_FALSE(webView().loadedRequests.empty());
    EXPECT_EQ(webView().loadedRequests.back(), *action.request);
    EXPECT_EQ(webView().loadedRequests.back().engineRequest, posted);
}

}  // namespace
}  // namespace plenhall::testing
