// The page: what it may load and where, its failures, its dialogs and its reminders.
#include "support/app_fixture.h"
#include "web/offline_page.h"
#include "web/url.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;
const Service kService{"plenhall.com", true};
const Service kHttpService{"plenhall.com", false};

NavigationAction inFrame(std::optional<std::string> url, bool main = true) {
    return NavigationAction{url, FrameInfo{main}};
}
NavigationAction newWindow(std::optional<std::string> url, const char* method = "GET",
                           bool click = false) {
    return NavigationAction{url, std::nullopt, method, click};
}

TEST(Url, SchemeHostAndServicePages) {
    EXPECT_EQ(urlScheme("HTTPS://x.org/"), "HTTPS");
    EXPECT_EQ(urlScheme("a+b-c.d:x"), "a+b-c.d");
    for (const char* none : {"no scheme here", "1http://x", ":x", "a_b:x"})
        EXPECT_EQ(urlScheme(none), std::nullopt) << none;
    const std::pair<const char*, std::optional<std::string>> hosts[] = {
        {"https://user:pw@App.Plenhall.com:8443/p?q#f", "App.Plenhall.com"},
        {"http://[::1]:80/", "::1"},
        {"http://[::1", std::nullopt},
        {"mailto:a@plenhall.com", std::nullopt},
        {"file:///etc/hosts", std::nullopt},
        {"plenhall://", std::nullopt},
        {"plenhall://SHOW/p?q=1#f", "SHOW"},
        {"https://evil.org#@plenhall.com", "evil.org"},
        {"https://evil.org?@plenhall.com", "evil.org"},
    };
    for (const auto& [url, host] : hosts) EXPECT_EQ(urlHost(url), host) << url;

    EXPECT_TRUE(Service::ofStartURL("HTTPS://Plenhall.com/app", "plenhall.com").httpsOnly);
    EXPECT_FALSE(Service::ofStartURL("http://plenhall.com/app", "plenhall.com").httpsOnly);
    const std::tuple<const char*, bool, bool> pages[] = {
        // a page of the https service, of the http one
        {"https://plenhall.com/app", true, true},
        {"https://team.plenhall.com:8443/w", true, true},
        {"http://plenhall.com/app", false, true},
        {"HTTPS://plenhall.com/app", false, false},
        {"ftp://plenhall.com/", false, false},
        {"https://evilplenhall.com/", false, false},
        {"https://plenhall.com.evil.org/", false, false},
        {"https://Plenhall.com/", false, false},
        {"https://plenhall.com./", false, false},
        {"https://.plenhall.com/", true, true},
        {"https:///app", false, false},
        {"data:text/html,plenhall.com", false, false},
    };
    for (const auto& [url, ofHttps, ofHttp] : pages) {
        EXPECT_EQ(isServicePage(url, kService), ofHttps) << url;
        EXPECT_EQ(isServicePage(url, kHttpService), ofHttp) << url;
    }
}

TEST(NavigationRules, ForeignWebPagesGoToTheBrowserAndOnlyServicePagesLoadHere) {
    using N = NavigationDecision;
    using W = NewWindowDecision;
    const std::tuple<std::optional<std::string>, N, W> cases[] = {
        {std::nullopt, N::allow, W::ignore},
        {"https://plenhall.com/app/week", N::allow, W::loadInWebView},
        {"https://help.plenhall.com/", N::allow, W::loadInWebView},
        {"about:blank", N::allow, W::refuseNotWebPage},
        {"data:text/html,hi", N::allow, W::refuseNotWebPage},
        {"blob:https://plenhall.com/1", N::allow, W::refuseNotWebPage},
        {"mailto:someone@evil.org", N::allow, W::refuseNotWebPage},
        {"javascript:alert(1)", N::allow, W::refuseNotWebPage},
        {"smb://fileserver.evil.org/share", N::allow, W::refuseNotWebPage},
        {"file:///etc/passwd", N::allow, W::refuseNotWebPage},
        {"HTTPS://evil.org/", N::allow, W::refuseNotWebPage},
        {"http:///path", N::allow, W::refuseNotWebPage},
        {"http://plenhall.com/app", N::openInBrowser, W::openInBrowser},
        {"https://evilplenhall.com/", N::openInBrowser, W::openInBrowser},
        {"https://plenhall.com@evil.org/", N::openInBrowser, W::openInBrowser},
        {"http://example.org/x", N::openInBrowser, W::openInBrowser},
    };
    for (const auto& [url, inMainFrame, asNewWindow] : cases) {
        EXPECT_EQ(decideNavigation(inFrame(url), kService), inMainFrame) << url.value_or("-");
        EXPECT_EQ(decideNavigation(inFrame(url, false), kService), N::allow);
        EXPECT_EQ(decideNewWindow(newWindow(url), kService), asNewWindow) << url.value_or("-");
    }
    EXPECT_EQ(decideNavigation(newWindow("https://x.org/"), kService), N::openInBrowser);
    // A form sent into a new window: it may be another site's frame's, with the user's cookies.
    EXPECT_EQ(decideNewWindow(newWindow("https://plenhall.com/e", "POST"), kService),
              W::refuseBody);
    EXPECT_EQ(decideNewWindow(newWindow("https://plenhall.com/e", ""), kService), W::refuseBody);
    EXPECT_EQ(decideNewWindow(newWindow("https://x.org/e", "POST"), kService), W::openInBrowser);

    using R = ResponseDecision;
    const std::pair<NavigationResponse, R> responses[] = {
        {{true, "https://plenhall.com/app", true, false}, R::allow},
        {{false, "https://maps.example.org/", true, false}, R::allow},
        {{true, "https://example.org/", true, false}, R::openInBrowser},
        {{true, "http://plenhall.com/app", true, false}, R::openInBrowser},
        {{true, "https://plenhall.com/a.zip", false, false}, R::refuse},
        {{true, "https://plenhall.com/export.ics", true, true}, R::refuse},
        {{false, "https://files.example.org/x", true, true}, R::refuse},
        {{true, std::nullopt, true, false}, R::allow},
    };
    for (const auto& [response, decision] : responses)
        EXPECT_EQ(decideNavigationResponse(response, kService), decision)
            << response.url.value_or("-");
}

class Web : public AppFixture {
  public:
    void SetUp() override { launch(); }
    NavigationDelegate& nav() { return *webView().navigation; }
    UIDelegate& ui() { return *webView().ui; }
};

TEST_F(Web, ForeignPagesOpenInTheBrowserAndPutTheCalendarAway) {
    const std::vector<std::function<void(Web&)>> ways = {
        [](Web& t) {
            EXPECT_EQ(t.nav().decidePolicyForNavigationAction(inFrame("https://x.org/p")),
                      NavigationActionPolicy::cancel);
        },
        [](Web& t) { t.nav().createWebViewForNavigationAction(newWindow("https://x.org/p")); },
        [](Web& t) {
            EXPECT_EQ(t.nav().decidePolicyForNavigationResponse({true, "https://x.org/p"}),
                      NavigationResponsePolicy::cancel);
        },
        // Unreachable, or never answering: it was never judged by its answer.
        [](Web& t) { t.webView().failProvisional(WebFailure::network, "https://x.org/p"); },
        [](Web& t) {
            t.webView().answersAfter.reset();
            t.webView().start("https://x.org/p");
            t.desktop.clock.advance(60);
        },
    };
    for (const auto& way : ways) {
        app->show();
        desktop.workspace.opened.clear();
        way(*this);
        EXPECT_THAT(desktop.workspace.opened, ElementsAre("https://x.org/p"));
        EXPECT_FALSE(calendar().visible);
        EXPECT_FALSE(app->showingOffline());
    }
    app->show();
    EXPECT_EQ(nav().decidePolicyForNavigationAction(inFrame("https://plenhall.com/x")),
              NavigationActionPolicy::allow);
    EXPECT_EQ(nav().decidePolicyForNavigationResponse({true, "https://plenhall.com/a.zip", false}),
              NavigationResponsePolicy::cancel);
    EXPECT_EQ(nav().decidePolicyForNavigationResponse({true, "https://plenhall.com/a"}),
              NavigationResponsePolicy::allow);
    nav().createWebViewForNavigationAction(newWindow("https://plenhall.com/app/e"));
    EXPECT_EQ(webView().page, "https://plenhall.com/app/e");  // the URL alone, in the one view
    desktop.log.lines.clear();
    for (const char* url : {"data:text/html,x", "about:blank", "smb://evil.org/s", "about:x"})
        nav().createWebViewForNavigationAction(newWindow(url));
    nav().createWebViewForNavigationAction(newWindow("https://plenhall.com/app/f", "POST"));
    EXPECT_EQ(webView().page, "https://plenhall.com/app/e");
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(desktop.log.lines.size(), 2u);  // a line for each burst
    EXPECT_TRUE(desktop.workspace.opened.size() == 1);
}

TEST_F(Web, PopUpsWithoutAClickAreLimitedClicksAlwaysWork) {
    desktop.log.lines.clear();
    auto byLink = [&](bool click) {
        nav().decidePolicyForNavigationAction(
            NavigationAction{"https://ads.x.org/", std::nullopt, "GET", click});
    };
    auto byScript = [&](bool click) {
        nav().createWebViewForNavigationAction(newWindow("https://ads.x.org/", "GET", click));
    };
    const std::tuple<std::function<void()>, std::size_t, std::size_t> steps[] = {
        {[&] { byScript(false), byLink(false), byScript(false); }, 3, 0},
        {[&] { byScript(false), byLink(false); }, 3, 1},  // the fourth and fifth within 10 s
        {[&] { byLink(true), byScript(true); }, 5, 1},
        {[&] { nav().decidePolicyForNavigationAction(inFrame("https://x.org/")); }, 6, 1},
        {[&] { desktop.clock.advance(9.9), byScript(false); }, 6, 1},
        {[&] {
             desktop.clock.advance(0.1);
             for (int i = 0; i < 4; ++i) byScript(false);
         },
         9, 1},
        {[&] { desktop.clock.advance(9.9), byScript(false); }, 9, 1},  // still the same burst
        {[&] {
             desktop.clock.advance(10);
             for (int i = 0; i < 4; ++i) byScript(false);
         },
         12, 2},
        {[&] { desktop.clock.current -= std::chrono::hours(1), byScript(false); }, 13, 2},
    };
    int n = 0;
    for (const auto& [act, opened, lines] : steps) {
        act();
        EXPECT_EQ(desktop.workspace.opened.size(), opened) << n;
        EXPECT_EQ(desktop.log.lines.size(), lines) << n++;
    }
    EXPECT_EQ(desktop.log.lines.back(),
              "PlenhallDesktop: pop-ups to other sites that no click asked for are dropped beyond "
              "3 in 10 s");
}

TEST_F(Web, FailuresShowTheOfflinePageExceptInterruptions) {
    const std::pair<WebFailure, bool> cases[] = {
        {WebFailure::cancelled, false},    {WebFailure::cannotShowURL, false},
        {WebFailure::policyChange, false}, {WebFailure::timedOut, true},
        {WebFailure::network, true},       {WebFailure::webProcessGone, true},
        {WebFailure::other, true},
    };
    for (const auto& [failure, offline] : cases) {
        for (bool committed : {false, true}) {
            app->reload();
            EXPECT_FALSE(app->showingOffline());
            committed ? webView().failCommitted(failure)
                      : webView().failProvisional(failure, kStartURL);
            EXPECT_EQ(app->showingOffline(), offline) << int(failure) << committed;
            EXPECT_EQ(webView().page, offline ? offlinePage(kStartURL) : kStartURL);
        }
    }
    webView().failProvisional(WebFailure::cancelled);  // the offline page stays
    EXPECT_TRUE(app->showingOffline());
    app->show();  // loaded again before it is shown
    EXPECT_EQ(webView().page, kStartURL);
}

// A server that accepts the connection and never answers.
TEST_F(Web, SixtySecondsWithoutProgressStopTheLoad) {
    const std::pair<std::function<void(FakeWebView&)>, std::optional<double>> cases[] = {
        {[](FakeWebView&) {}, 60},
        {[](FakeWebView& v) { v.commit(); }, std::nullopt},
        {[](FakeWebView& v) { v.finish(); }, std::nullopt},
        {[](FakeWebView& v) { v.failProvisional(WebFailure::cancelled); }, std::nullopt},
        {[](FakeWebView& v) { v.failCommitted(WebFailure::cancelled); }, std::nullopt},
        {[](FakeWebView& v) { v.start(kStartURL); }, 90},
        {[](FakeWebView& v) {
             v.navigation->didReceiveServerRedirectForProvisionalNavigation(kStartURL);
         },
         90},
        {[](FakeWebView& v) {
             v.navigation->createWebViewForNavigationAction(newWindow("https://plenhall.com/e"));
         },
         90},
    };
    desktop.clock.advance(1);
    webView().answersAfter.reset();
    int n = 0;
    for (const auto& [at30, timesOutAt] : cases) {
        app->reload();
        desktop.clock.advance(30);
        at30(webView());
        double now = 30;
        for (double at : {59.5, 60.0, 89.5, 90.0, 690.0}) {
            desktop.clock.advance(at - std::exchange(now, at));
            const bool expired = timesOutAt && at >= *timesOutAt;
            EXPECT_EQ(app->showingOffline(), expired) << n << " at " << at;
        }
        ++n;
    }
}

TEST_F(Web, PageDialogsAnswerOnceAndOnTheCalendar) {
    std::vector<std::string> answers;
    auto record = [&](std::string a) { answers.push_back(std::move(a)); };
    ui().runJavaScriptAlertPanel("Saved %s%n", [&] { record("done"); });
    const auto& sheet = desktop.sheets.alerts.front();
    EXPECT_EQ(sheet.alert.messageText, "Saved %s%n");
    EXPECT_TRUE(sheet.alert.buttons.empty());
    EXPECT_EQ(sheet.window, &calendar());  // even while it is hidden
    auto completion = sheet.done;
    desktop.sheets.answer(-4);
    completion(kAlertFirstButtonReturn, std::nullopt);  // a sheet ending twice
    const std::tuple<int, std::optional<std::string>, std::optional<std::string>> prompts[] = {
        {kAlertFirstButtonReturn, std::nullopt, "Lunch"},
        {kAlertFirstButtonReturn, "Dinner", "Dinner"},
        {kAlertSecondButtonReturn, "Dinner", std::nullopt},
        {-4, std::nullopt, std::nullopt},
    };
    for (const auto& [response, typed, expected] : prompts) {
        desktop.clock.advance(60);  // no quick succession
        ui().runJavaScriptConfirmPanel("Sure?", [&](bool ok) { record(ok ? "ok" : "no"); });
        EXPECT_EQ(desktop.sheets.alerts.front().alert.buttons,
                  (std::vector<std::string>{"OK", "Cancel"}));
        desktop.sheets.answer(response);
        ui().runJavaScriptTextInputPanel("Title?", "Lunch",
                                         [&](auto text) { record(text.value_or("null")); });
        desktop.sheets.answer(response, typed);
    }
    ui().runJavaScriptTextInputPanel("Empty?", std::nullopt,
                                     [&](auto text) { record("[" + *text + "]"); });
    desktop.sheets.answer(kAlertFirstButtonReturn);
    EXPECT_THAT(answers, ElementsAre("done", "ok", "Lunch", "ok", "Dinner", "no", "null", "no",
                                     "null", "[]"));

    std::vector<std::optional<std::vector<std::string>>> files;
    ui().runOpenPanel({true, false}, [&](auto paths) { files.push_back(paths); });
    EXPECT_TRUE(desktop.sheets.panels.front().first.allowsMultipleSelection);
    desktop.sheets.panels.front().second(kModalResponseOK, {"/tmp/a.ics"});
    ui().runOpenPanel({false, true}, [&](auto paths) { files.push_back(paths); });
    EXPECT_TRUE(desktop.sheets.panels.back().first.canChooseDirectories);
    desktop.sheets.panels.back().second(kModalResponseCancel, {"/tmp/x"});
    EXPECT_THAT(files, ElementsAre(std::vector<std::string>{"/tmp/a.ics"}, std::nullopt));

    bool leave = false;
    ui().runBeforeUnloadConfirmPanel("Discard?", [&](bool l) { leave = l; });
    EXPECT_TRUE(leave);  // never held up
}

TEST_F(Web, DialogsInQuickSuccessionOfferToBlockThePageUntilItLoadsAgain) {
    // Pauses between one dialog's end and the next; whether the last one offers the block.
    const std::pair<std::vector<double>, bool> cases[] = {
        {{1, 1}, true},  {{3, 3}, true}, {{1, 1, 1}, true}, {{1, 3.01}, false},
        {{4, 1}, false}, {{1}, false},   {{-10, 1}, false},
    };
    for (const auto& [pauses, offered] : cases) {
        desktop.clock.advance(60);
        ui().runJavaScriptAlertPanel("Again", [] {});
        for (double pause : pauses) {
            desktop.sheets.answer(kAlertFirstButtonReturn);
            desktop.clock.current += std::chrono::milliseconds(int(pause * 1000));
            ui().runJavaScriptAlertPanel("Again", [] {});
        }
        const auto& alert = desktop.sheets.alerts.front().alert;
        const std::vector<std::string> offer{"OK", "Block Dialogs"};
        EXPECT_EQ(alert.buttons, offered ? offer : std::vector<std::string>{});
        EXPECT_EQ(alert.informativeText.empty(), !offered);
        desktop.sheets.answer(offered ? kAlertSecondButtonReturn : kAlertFirstButtonReturn);
        if (offered) {  // blocked: answered at once as cancelled
            bool ok = true;
            ui().runJavaScriptConfirmPanel("c", [&](bool b) { ok = b; });
            EXPECT_FALSE(ok);
            std::optional<std::string> text = "x";
            ui().runJavaScriptTextInputPanel("p", "d", [&](auto t) { text = t; });
            EXPECT_EQ(text, std::nullopt);
            EXPECT_TRUE(desktop.sheets.alerts.empty());
            webView().commit();  // a new page
        }
    }
    desktop.clock.advance(60);
    for (int i = 0; i < 2; ++i) {
        ui().runJavaScriptConfirmPanel("c", [](bool) {});
        desktop.sheets.answer(kAlertFirstButtonReturn);
    }
    ui().runJavaScriptConfirmPanel("c", [](bool) {});
    EXPECT_THAT(desktop.sheets.alerts.front().alert.buttons,
                ElementsAre("OK", "Cancel", "Block Dialogs"));
}

class ReminderTest : public Web {
  public:
    std::shared_ptr<std::vector<bool>> ask(const std::string& url = kStartURL) {
        auto answers = std::make_shared<std::vector<bool>>();
        ui().requestNotificationPermission(url, [answers](bool a) { answers->push_back(a); });
        return answers;
    }
    std::shared_ptr<FakePageNotification> notify(const std::string& title = "Standup") {
        auto page = std::make_shared<FakePageNotification>(title);
        ui().showNotification(page);
        return page;
    }
};

TEST_F(ReminderTest, OnlyTheServiceIsAskedAndTheAnswerIsKept) {
    const std::tuple<std::string, std::optional<std::string>, std::optional<bool>> cases[] = {
        {kStartURL, std::nullopt, std::nullopt},  // nothing: the question is shown
        {"https://team.plenhall.com/week", "maybe", std::nullopt},
        {kStartURL, "granted", true},
        {"https://team.plenhall.com/app", "denied", false},
        {"https://example.org/", "granted", false},
        {"http://plenhall.com/app", "granted", false},  // plain http: anyone on the network
        {"file:///plenhall.com/app", "granted", false},
    };
    app->show();
    for (const auto& [url, stored, answer] : cases) {
        desktop.defaults.entries.erase("reminderPermission");
        if (stored) desktop.defaults.setString("reminderPermission", *stored);
        auto answers = ask(url);
        EXPECT_EQ(*answers, answer ? std::vector<bool>{*answer} : std::vector<bool>{}) << url;
        EXPECT_EQ(desktop.sheets.alerts.size(), answer ? 0u : 1u) << url;
        if (!answer) desktop.sheets.answer(kAlertFirstButtonReturn);
    }
    const std::tuple<int, std::vector<bool>, std::optional<std::string>> answers[] = {
        {kAlertSecondButtonReturn, {true, true}, "granted"},
        {kAlertFirstButtonReturn, {false, false}, "denied"},
        {-4, {false, false}, std::nullopt},  // closed unanswered: asked again at next launch
    };
    for (const auto& [response, expected, kept] : answers) {
        desktop.defaults.entries.erase("reminderPermission");
        auto first = ask(), second = ask();
        ASSERT_EQ(desktop.sheets.alerts.size(), 1u);
        const auto& question = desktop.sheets.alerts.front().alert;
        EXPECT_EQ(question.messageText, "Allow Plenhall to show reminders?");
        EXPECT_THAT(question.buttons, ElementsAre("Don't Allow", "Allow"));
        EXPECT_EQ(question.defaultButton, 1u);
        desktop.sheets.answer(response);
        first->insert(first->end(), second->begin(), second->end());
        EXPECT_EQ(*first, expected);
        EXPECT_EQ(desktop.defaults.stringForKey("reminderPermission"), kept);
    }
    EXPECT_THAT(*ask(), ElementsAre(false));  // put away: not brought back at once
    EXPECT_TRUE(desktop.sheets.alerts.empty());
    desktop.defaults.setString("reminderPermission", "granted");
    EXPECT_THAT(ui().notificationPermissions().granted, ElementsAre("https://plenhall.com"));
    EXPECT_TRUE(ui().notificationPermissions().denied.empty());
}

TEST_F(ReminderTest, AQuestionWhileHiddenWaitsForTheCalendarWithAFewOthers) {
    std::vector<std::shared_ptr<std::vector<bool>>> pages;
    for (std::size_t i = 0; i <= kMaxWaitingForQuestion; ++i) pages.push_back(ask());
    EXPECT_TRUE(desktop.sheets.alerts.empty());
    EXPECT_THAT(*pages.back(), ElementsAre(false));  // one too many
    pages.pop_back();
    pressHotKey();
    ASSERT_EQ(desktop.sheets.alerts.size(), 1u);
    desktop.sheets.answer(kAlertSecondButtonReturn);
    for (const auto& answers : pages) EXPECT_THAT(*answers, ElementsAre(true));
}

TEST_F(ReminderTest, AFloodIsBoundedOnScreenAndPerMinute) {
    desktop.defaults.setString("reminderPermission", "granted");
    auto& server = desktop.desktopNotifications;
    auto flood = [&](std::size_t count) {
        std::size_t shown = 0;
        for (std::size_t i = 0; i < count; ++i) shown += notify()->closes == 0;
        return shown;
    };
    auto dismissAll = [&] {
        while (!server.onScreen.empty()) server.dismiss(server.onScreen.begin()->first);
    };
    EXPECT_EQ(flood(kMaxRemindersOnScreen + 3), kMaxRemindersOnScreen);
    EXPECT_EQ(desktop.log.lines.size(), 1u);
    dismissAll();
    desktop.clock.advance(30);
    const std::size_t rest = kMaxRemindersPerMinute - kMaxRemindersOnScreen;
    EXPECT_EQ(flood(rest), rest);
    dismissAll();
    EXPECT_EQ(flood(2), 0u);  // the minute's share is spent
    EXPECT_EQ(desktop.log.lines.size(), 2u);
    desktop.clock.advance(30);  // the first ones' minute is over
    EXPECT_EQ(flood(kMaxRemindersOnScreen + 1), kMaxRemindersOnScreen);
    desktop.clock.current -= std::chrono::hours(1);  // a clock set back forgets, never blocks
    dismissAll();
    EXPECT_EQ(flood(1), 1u);
}

TEST_F(ReminderTest, ClicksShowTheCalendarAndClosingWorksBothWays) {
    notify();  // no permission: nothing
    EXPECT_TRUE(desktop.desktopNotifications.onScreen.empty());
    desktop.defaults.setString("reminderPermission", "granted");
    auto standup = notify("Standup"), lunch = notify("Lunch"), review = notify("Review");
    auto& onScreen = desktop.desktopNotifications.onScreen;
    ASSERT_EQ(onScreen.size(), 3u);
    auto [standupId, content] = *onScreen.begin();
    EXPECT_EQ(content.title, "Standup");
    EXPECT_EQ(content.body, "at 10:00");
    desktop.desktopNotifications.click(standupId);
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(standup->clicks, 1);
    EXPECT_EQ(standup->closes, 1);  // the server closed it after the click
    ui().pageClosedNotification(*lunch);
    EXPECT_EQ(onScreen.size(), 1u);
    EXPECT_EQ(lunch->closes, 0);  // the page knows
    desktop.desktopNotifications.dismiss(onScreen.begin()->first);
    EXPECT_EQ(review->closes, 1);
    EXPECT_EQ(review->clicks, 0);

    desktop.desktopNotifications.serverMissing = true;
    auto unseen = notify();
    ui().pageClosedNotification(*unseen);
    EXPECT_EQ(unseen->closes, 0);
    EXPECT_TRUE(onScreen.empty());
}

}  // namespace
}  // namespace plenhall::testing
