// The page: what it may load and where, its failures, its dialogs and its reminders.
#include "support/app_fixture.h"
#include "web/offline_page.h"
#include "web/url.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;
using N = NavigationDecision;
using W = NewWindowDecision;
const Service kService{"plenhall.com", true};

NavigationAction inFrame(std::optional<std::string> url, bool main = true) {
    return NavigationAction{url, FrameInfo{main}};
}
NavigationAction newWindow(std::optional<std::string> url, const char* method = "GET",
                           bool click = false) {
    return NavigationAction{url, std::nullopt, method, click};
}

TEST(Url, SchemeAndHost) {
    const std::tuple<const char*, std::optional<std::string>, std::optional<std::string>> cases[] =
        {{"a+b-c.d://u:p@x:1/p", "a+b-c.d", "x"},
         {"http://[::1]:80/", "http", "::1"},
         {"http://[::1", "http", std::nullopt},
         {"file:///etc/hosts", "file", std::nullopt},
         {"p:/x", "p", std::nullopt},
         {"https://evil.org#@x.com", "https", "evil.org"},
         {"1http://x", std::nullopt, std::nullopt},
         {"a_b://x", std::nullopt, std::nullopt}};
    for (const auto& [url, scheme, host] : cases) {
        EXPECT_EQ(urlScheme(url), scheme) << url;
        EXPECT_EQ(urlHost(url), host) << url;
    }
}

TEST(NavigationRules, ForeignWebPagesGoToTheBrowserAndOnlyServicePagesLoadHere) {
    const std::tuple<std::optional<std::string>, N, W, bool> cases[] = {
        // in the main frame, as a new window, a page of the service over plain http too
        {std::nullopt, N::allow, W::ignore, false},
        {"https://plenhall.com/app/week", N::allow, W::loadInWebView, true},
        {"https://help.plenhall.com:8443/", N::allow, W::loadInWebView, true},
        {"about:blank", N::allow, W::refuseNotWebPage, false},
        {"blob:https://plenhall.com/1", N::allow, W::refuseNotWebPage, false},
        {"HTTPS://plenhall.com/", N::allow, W::refuseNotWebPage, false},
        {"http:///path", N::allow, W::refuseNotWebPage, false},
        {"http://plenhall.com/app", N::openInBrowser, W::openInBrowser, true},
        {"https://evilplenhall.com/", N::openInBrowser, W::openInBrowser, false},
        {"https://Plenhall.com/", N::openInBrowser, W::openInBrowser, false},
        {"https://plenhall.com./", N::openInBrowser, W::openInBrowser, false},
        {"https://plenhall.com@evil.org/", N::openInBrowser, W::openInBrowser, false}};
    const Service plainHttp = Service::ofStartURL("http://plenhall.com/app", "plenhall.com");
    EXPECT_EQ(Service::ofStartURL("HTTPS://x/", "plenhall.com").httpsOnly, true);
    for (const auto& [url, inMainFrame, asNewWindow, ofHttpService] : cases) {
        EXPECT_EQ(decideNavigation(inFrame(url), kService), inMainFrame) << url.value_or("-");
        EXPECT_EQ(decideNavigation(inFrame(url, false), kService), N::allow);
        EXPECT_EQ(decideNewWindow(newWindow(url), kService), asNewWindow) << url.value_or("-");
        EXPECT_EQ(isServicePage(url.value_or(""), plainHttp), ofHttpService) << url.value_or("-");
    }
    // A form sent into a new window may be another site's frame's, with the user's cookies.
    EXPECT_EQ(decideNewWindow(newWindow("https://plenhall.com/e", "POST"), kService),
              W::refuseBody);
    EXPECT_EQ(decideNewWindow(newWindow("https://x.org/e", "POST"), kService), W::openInBrowser);
    using R = ResponseDecision;
    const std::pair<NavigationResponse, R> responses[] = {
        {{true, "https://plenhall.com/app", true, false}, R::allow},
        {{false, "https://maps.example.org/", true, false}, R::allow},
        {{true, "http://plenhall.com/app", true, false}, R::openInBrowser},
        {{true, "https://plenhall.com/a.zip", false, false}, R::refuse},
        {{true, std::nullopt, true, false}, R::allow}};
    for (const auto& [response, decision] : responses)
        EXPECT_EQ(decideNavigationResponse(response, kService), decision);
}

class Web : public AppFixture {
  public:
    void SetUp() override { launch(); }
    NavigationDelegate& nav() { return *webView().navigation; }
    UIDelegate& ui() { return *webView().ui; }
};

TEST_F(Web, ForeignPagesOpenInTheBrowserAndPutTheCalendarAway) {
    const std::vector<std::function<void(Web&)>> ways = {
        [](Web& t) { t.nav().decidePolicyForNavigationAction(inFrame("https://x.org/p")); },
        [](Web& t) { t.nav().createWebViewForNavigationAction(newWindow("https://x.org/p")); },
        [](Web& t) {
            t.nav().decidePolicyForNavigationResponse({true, "https://x.org/p"});
        },
        // Unreachable, or never answering: never judged by its answer.
        [](Web& t) { t.webView().failProvisional(WebFailure::network, "https://x.org/p"); },
        [](Web& t) {
            t.webView().answersAfter.reset();
            t.webView().start("https://x.org/p");
            t.desktop.clock.advance(60);
        }};
    for (const auto& way : ways) {
        app->show();
        desktop.opened.clear();
        way(*this);
        EXPECT_THAT(desktop.opened, ElementsAre("https://x.org/p"));
        EXPECT_FALSE(calendar().visible);
        EXPECT_FALSE(app->showingOffline());
    }
    EXPECT_EQ(nav().decidePolicyForNavigationAction(inFrame("https://x.org/p")),
              NavigationActionPolicy::cancel);
    EXPECT_EQ(nav().decidePolicyForNavigationResponse({true, kStartURL, false}),
              NavigationResponsePolicy::cancel);
    nav().createWebViewForNavigationAction(newWindow("https://plenhall.com/app/e"));
    EXPECT_EQ(webView().page, "https://plenhall.com/app/e");  // the URL alone, in the one view
}

TEST_F(Web, RefusedAndPopUpWindowsAreLimitedWithALineABurst) {
    desktop.log.lines.clear();
    auto byLink = [&](bool click) {
        nav().decidePolicyForNavigationAction(newWindow("https://ads.x.org/", "GET", click));
    };
    auto byScript = [&](bool click) {
        nav().createWebViewForNavigationAction(newWindow("https://ads.x.org/", "GET", click));
    };
    auto refused = [&](const char* url, const char* method) {
        nav().createWebViewForNavigationAction(newWindow(url, method));
    };
    const std::tuple<std::function<void()>, std::size_t, std::size_t> steps[] = {
        {[&] { byScript(false), byLink(false), byScript(false); }, 3, 0},
        {[&] { byScript(false), byLink(false); }, 3, 1},  // the fourth and fifth within 10 s
        {[&] { byLink(true), byScript(true); }, 5, 1},
        {[&] { nav().decidePolicyForNavigationAction(inFrame("https://x.org/")); }, 6, 1},
        {[&] { desktop.clock.advance(9.5), byScript(false); }, 6, 1},
        {[&] { desktop.clock.advance(0.5), byScript(false), byScript(false); }, 8, 1},
        {[&] { desktop.clock.advance(9.5), byScript(false), byScript(false); }, 9, 2},
        {[&] { desktop.clock.advance(10), byScript(false), byScript(false); }, 11, 2},
        {[&] { byScript(false), byScript(false); }, 12, 3},  // ten seconds after the last drop
        {[&] { desktop.clock.current -= std::chrono::hours(1), byScript(false); }, 13, 3},
        {[&] { refused("data:x", "GET"), refused("about:blank", "GET"); }, 13, 4},
        {[&] { refused(kStartURL, "POST"), refused(kStartURL, "POST"); }, 13, 5}};
    int n = 0;
    for (const auto& [act, opened, lines] : steps) {
        act();
        EXPECT_EQ(desktop.opened.size(), opened) << n;
        EXPECT_EQ(desktop.log.lines.size(), lines) << n++;
    }
    EXPECT_EQ(webView().page, kStartURL);
}

TEST_F(Web, FailuresShowTheOfflinePageExceptInterruptions) {
    const std::pair<WebFailure, bool> cases[] = {
        {WebFailure::cancelled, false},    {WebFailure::cannotShowURL, false},
        {WebFailure::policyChange, false}, {WebFailure::timedOut, true},
        {WebFailure::network, true},       {WebFailure::webProcessGone, true},
        {WebFailure::other, true}};
    for (const auto& [failure, offline] : cases) {
        for (bool committed : {false, true}) {
            app->reload();
            committed ? webView().failCommitted(failure)
                      : webView().failProvisional(failure, kStartURL);
            EXPECT_EQ(app->showingOffline(), offline) << int(failure) << committed;
            EXPECT_EQ(webView().page, offline ? offlinePage(kStartURL) : kStartURL);
        }
    }
    webView().failProvisional(WebFailure::cancelled);  // the offline page stays
    EXPECT_TRUE(app->showingOffline());
}

// A server that accepts the connection and never answers.
TEST_F(Web, SixtySecondsWithoutProgressStopTheLoad) {
    const std::pair<std::function<void(FakeWebView&)>, std::optional<double>> cases[] = {
        {[](FakeWebView&) {}, 60},
        {[](FakeWebView& v) { v.commit(); }, std::nullopt},
        {[](FakeWebView& v) { v.failProvisional(WebFailure::cancelled); }, std::nullopt},
        {[](FakeWebView& v) { v.start(kStartURL); }, 90},
        {[](FakeWebView& v) {
             v.navigation->didReceiveServerRedirectForProvisionalNavigation(kStartURL);
         },
         90}};
    desktop.clock.advance(1);
    webView().answersAfter.reset();
    for (const auto& [at30, timesOutAt] : cases) {
        app->reload();
        desktop.clock.advance(30);
        at30(webView());
        double now = 30;
        for (double at : {59.5, 60.0, 89.5, 90.0, 690.0}) {
            desktop.clock.advance(at - std::exchange(now, at));
            EXPECT_EQ(app->showingOffline(), timesOutAt && at >= *timesOutAt) << at;
        }
    }
}

TEST_F(Web, PageDialogsAnswerOnceAndQuickSuccessionsOfferABlock) {
    std::vector<std::string> answers;
    auto record = [&](std::string a) { answers.push_back(std::move(a)); };
    ui().runJavaScriptAlertPanel("Saved %s%n", [&] { record("done"); });
    const auto& sheet = desktop.sheets.alerts.front();
    EXPECT_EQ(sheet.alert.messageText, "Saved %s%n");
    EXPECT_EQ(sheet.window, &calendar());  // even while it is hidden
    auto completion = sheet.done;
    desktop.sheets.answer(-4);
    completion(kAlertFirstButtonReturn, std::nullopt);  // a sheet ending twice
    // Seconds between a dialog's end and the next; the response; the text typed.
    const std::tuple<double, int, std::optional<std::string>> steps[] = {
        {60, kAlertFirstButtonReturn, std::nullopt},  {1, kAlertFirstButtonReturn, "Dinner"},
        {60, kAlertSecondButtonReturn, "Dinner"},     {3.5, -4, std::nullopt},
        {-10, kAlertFirstButtonReturn, std::nullopt}, {3, kAlertFirstButtonReturn, std::nullopt}};
    for (const auto& [pause, response, typed] : steps) {
        desktop.clock.current += std::chrono::milliseconds(int(pause * 1000));
        ui().runJavaScriptConfirmPanel("Sure?", [&](bool ok) { record(ok ? "ok" : "no"); });
        desktop.sheets.answer(response);
        ui().runJavaScriptTextInputPanel("Title?", "Lunch",
                                         [&](auto text) { record(text.value_or("null")); });
        answers.push_back(std::to_string(desktop.sheets.alerts.front().alert.buttons.size()));
        desktop.sheets.answer(response, typed);
    }
    EXPECT_THAT(answers,
                ElementsAre("done", "ok", "2", "Lunch", "ok", "3", "Dinner", "no", "2", "null",
                            "no", "2", "null", "ok", "2", "Lunch", "ok", "3", "Lunch"));
    ui().runJavaScriptAlertPanel("again", [&] { record("done"); });
    desktop.sheets.answer(kAlertSecondButtonReturn);  // "Block Dialogs"
    ui().runJavaScriptConfirmPanel("blocked", [&](bool ok) { record(ok ? "ok" : "no"); });
    ui().runJavaScriptTextInputPanel("blocked", "x", [&](auto t) { record(t.value_or("null")); });
    ui().runJavaScriptAlertPanel("blocked", [&] { record("done"); });
    EXPECT_TRUE(desktop.sheets.alerts.empty());
    webView().commit();  // a new page is asked again
    ui().runJavaScriptTextInputPanel("", std::nullopt, [&](auto t) { record("[" + *t + "]"); });
    EXPECT_THAT(desktop.sheets.alerts.front().alert.buttons,
                ElementsAre("OK", "Cancel", "Block Dialogs"));
    desktop.sheets.answer(kAlertFirstButtonReturn);
    EXPECT_THAT(std::vector(answers.end() - 5, answers.end()),
                ElementsAre("done", "no", "null", "done", "[]"));

    ui().runOpenPanel({true, false}, [&](auto paths) { record(paths ? (*paths)[0] : "none"); });
    desktop.sheets.panels.front().second(kModalResponseOK, {"/tmp/a.ics"});
    ui().runOpenPanel({false, true}, [&](auto paths) { record(paths ? (*paths)[0] : "none"); });
    EXPECT_TRUE(desktop.sheets.panels.back().first.canChooseDirectories);
    desktop.sheets.panels.back().second(kModalResponseCancel, {"/tmp/x"});
    ui().runBeforeUnloadConfirmPanel("Discard?", [&](bool leave) { record(leave ? "leave" : ""); });
    EXPECT_THAT(std::vector(answers.end() - 3, answers.end()),
                ElementsAre("/tmp/a.ics", "none", "leave"));  // leaving is never held up
}

class ReminderTest : public Web {
  public:
    std::shared_ptr<std::vector<bool>> ask(const std::string& url = kStartURL) {
        auto answers = std::make_shared<std::vector<bool>>();
        ui().requestNotificationPermission(url, [answers](bool a) { answers->push_back(a); });
        return answers;
    }
    std::shared_ptr<FakePageNotification> notify() {
        auto page = std::make_shared<FakePageNotification>();
        ui().showNotification(page);
        return page;
    }
};

TEST_F(ReminderTest, OnlyTheServiceIsAskedOnceForAllAndTheAnswerIsKept) {
    const std::tuple<std::string, std::optional<std::string>, std::optional<bool>> cases[] = {
        {"https://team.plenhall.com/w", "maybe", std::nullopt},  // nothing: the question is shown
        {kStartURL, "granted", true},
        {"https://team.plenhall.com/", "denied", false},
        {"https://example.org/", "granted", false},
        {"http://plenhall.com/app", "granted", false}};
    app->show();
    for (const auto& [url, stored, answer] : cases) {
        desktop.defaults.setString("reminderPermission", *stored);
        EXPECT_EQ(*ask(url), answer ? std::vector<bool>{*answer} : std::vector<bool>{}) << url;
        EXPECT_EQ(desktop.sheets.alerts.size(), answer ? 0u : 1u) << url;
        if (!answer) desktop.sheets.answer(kAlertFirstButtonReturn);
    }
    const std::tuple<int, bool, std::optional<std::string>> answers[] = {
        {kAlertSecondButtonReturn, true, "granted"},
        {kAlertFirstButtonReturn, false, "denied"},
        {-4, false, std::nullopt}};  // closed unanswered: asked again at the next launch
    for (const auto& [response, allowed, kept] : answers) {
        desktop.defaults.entries.erase("reminderPermission");
        auto first = ask(), second = ask();
        ASSERT_EQ(desktop.sheets.alerts.size(), 1u);
        EXPECT_EQ(desktop.sheets.alerts.front().alert.defaultButton, 1u);
        desktop.sheets.answer(response);
        EXPECT_THAT(*first, ElementsAre(allowed));
        EXPECT_THAT(*second, ElementsAre(allowed));
        EXPECT_EQ(desktop.defaults.stringForKey("reminderPermission"), kept);
    }
    EXPECT_THAT(*ask(), ElementsAre(false));  // put away: not brought back at once
    EXPECT_TRUE(desktop.sheets.alerts.empty());
    desktop.defaults.setString("reminderPermission", "granted");
    EXPECT_THAT(ui().notificationPermissions().granted, ElementsAre("https://plenhall.com"));
    EXPECT_TRUE(ui().notificationPermissions().denied.empty());
}

TEST_F(ReminderTest, ShownBoundedClickedAndClosedBothWays) {
    notify();  // no permission: nothing
    desktop.defaults.setString("reminderPermission", "granted");
    auto& server = desktop.desktopNotifications;
    std::vector<std::shared_ptr<FakePageNotification>> pages;
    for (std::size_t i = 0; i < kMaxRemindersOnScreen + 2; ++i) pages.push_back(notify());
    EXPECT_EQ(server.onScreen.size(), kMaxRemindersOnScreen);
    EXPECT_EQ(pages.back()->closes, 1);       // dropped, and the page hears so
    EXPECT_EQ(desktop.log.lines.size(), 1u);  // one line a burst
    auto [id, content] = *server.onScreen.begin();
    EXPECT_EQ(content.title + " " + content.body, "Standup at 10:00");
    server.click(id);
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(pages[0]->clicks + pages[0]->closes, 2);  // the server closed it after the click
    ui().pageClosedNotification(*pages[1]);
    EXPECT_EQ(pages[1]->closes, 0);  // the page knows
    server.dismiss(server.onScreen.begin()->first);
    EXPECT_EQ(pages[2]->closes, 1);
    desktop.clock.advance(30);
    while (!server.onScreen.empty()) server.dismiss(server.onScreen.begin()->first);
    for (int i = 0; i < 5; ++i) notify();  // ten in the minute
    auto dismissOne = [&] { server.dismiss(server.onScreen.begin()->first); };
    dismissOne();
    EXPECT_EQ(notify()->closes, 1);
    desktop.clock.advance(30);  // the first ones' minute is over
    EXPECT_EQ(notify()->closes, 0);
    desktop.clock.current -= std::chrono::hours(1);  // a clock set back forgets, never blocks
    dismissOne();
    EXPECT_EQ(notify()->closes, 0);
    dismissOne();
    server.serverMissing = true;
    auto unseen = notify();
    ui().pageClosedNotification(*unseen);
    EXPECT_EQ(unseen->closes, 0);
}

}  // namespace
}  // namespace plenhall::testing
