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
    // Each URL, its scheme and host ("-": none).
    const std::pair<const char*, const char*> cases[] = {{"a+b-c.d://u:p@x:1/p", "a+b-c.d x"},
                                                         {"http://[::1]:80/", "http ::1"},
                                                         {"http://[::1", "http -"},
                                                         {"file:///etc/hosts", "file -"},
                                                         {"https://e.org#@x.com", "https e.org"},
                                                         {"1http://x", "- -"},
                                                         {"a_b://x", "- -"}};
    for (const auto& [url, expected] : cases)
        EXPECT_EQ(urlScheme(url).value_or("-") + " " + urlHost(url).value_or("-"), expected);
}

TEST(NavigationRules, ForeignWebPagesGoToTheBrowserAndOnlyServicePagesLoadHere) {
    const std::tuple<std::optional<std::string>, N, W, bool> cases[] = {
        // in the main frame, as a new window, a page of the service over plain http too
        {std::nullopt, N::allow, W::ignore, false},
        {"https://plenhall.com/app/week", N::allow, W::loadInWebView, true},
        {"https://help.plenhall.com:8443/", N::allow, W::loadInWebView, true},
        {"about:blank", N::allow, W::refuseNotWebPage, false},
        {"http:///path", N::allow, W::refuseNotWebPage, false},
        {"http://plenhall.com/app", N::openInBrowser, W::openInBrowser, true},
        {"https://evilplenhall.com/", N::openInBrowser, W::openInBrowser, false},
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

// The page's dialogs sit on the calendar; in quick succession they offer to block the page.
TEST_F(Web, PopUpsToOtherSitesWithoutAClickAreLimitedAndRemindersAskedOnce) {
    auto popUp = [&](bool click) {
        nav().newWindowRequested(newWindow("https://ads.x.org/", "GET", click));
        return desktop.opened.size();
    };
    EXPECT_EQ((std::vector{popUp(false), popUp(false), popUp(false), popUp(false), popUp(true)}),
              (std::vector<std::size_t>{1, 2, 3, 3, 4}));
    EXPECT_EQ(desktop.log.lines.size(), 1u);
    desktop.clock.advance(10);  // three more, then a new burst has its own line
    EXPECT_EQ((std::vector{popUp(false), popUp(false), popUp(false), popUp(false)}),
              (std::vector<std::size_t>{5, 6, 7, 7}));
    EXPECT_EQ(desktop.log.lines.size(), 2u);
    std::vector<bool> answers;
    app->show();
    for (int i = 0; i < 3; ++i) {
        ui().requestNotificationPermission(kStartURL, [&](bool a) { answers.push_back(a); });
        if (i == 1)
            desktop.dialogs.answer(std::nullopt);  // put away unanswered: not asked again at once
    }
    EXPECT_EQ(answers, (std::vector<bool>{false, false, false}));
    EXPECT_TRUE(desktop.dialogs.alerts.empty());
}

struct PageReminder final : PageNotification {
    explicit PageReminder(std::vector<std::string>& heard) : heard_(heard) {}
    std::string title() const override { return "Standup"; }
    std::string body() const override { return ""; }
    void deliverClick() override { heard_.push_back("click"); }
    void deliverClose() override { heard_.push_back("close"); }
    std::vector<std::string>& heard_;
};

// Reminders of a page with permission reach the desktop: 5 on screen and 10 a minute at most;
// the rest are closed for the page.
TEST_F(Web, RemindersReachTheDesktopWithinTheirLimits) {
    desktop.defaults.setString("reminderPermission", "granted");
    std::vector<std::string> heard;
    auto remind = [&](int times) {
        for (int i = 0; i < times; ++i)
            ui().showNotification(std::make_shared<PageReminder>(heard));
    };
    remind(6);
    EXPECT_EQ(desktop.desktopNotifications.shown.size(), 5u);
    EXPECT_EQ(heard, std::vector<std::string>{"close"});
    for (std::uint64_t id = 1; id <= 5; ++id) desktop.desktopNotifications.dismiss(id);
    remind(6);  // the minute's tenth, and one more
    EXPECT_EQ(desktop.desktopNotifications.shown.size(), 5u);
    EXPECT_EQ(heard.size(), 1u + 5u + 1u);
    for (std::uint64_t id = 6; id <= 10; ++id) desktop.desktopNotifications.dismiss(id);
    heard.clear();
    remind(1);  // none on screen, but ten this minute
    EXPECT_TRUE(desktop.desktopNotifications.shown.empty());
    EXPECT_EQ(heard, std::vector<std::string>{"close"});
    desktop.clock.advance(61);
    remind(1);
    EXPECT_EQ(desktop.desktopNotifications.shown.size(), 1u);
}

// A page process over the limit is ended, one line each time, at every check.
TEST_F(Web, APageOverItsMemoryIsEnded) {
    desktop.processes = {{7, kWebProcessMemoryLimitKilobytes},
                         {8, kWebProcessMemoryLimitKilobytes + 1}};
    desktop.clock.advance(4.9);
    EXPECT_TRUE(desktop.ended.empty());
    desktop.clock.advance(0.2);
    EXPECT_EQ(desktop.ended, std::vector<int>{8});
    EXPECT_EQ(desktop.log.lines.back(),
              "PlenhallDesktop: the calendar page used more than 1536 MB of memory; its process "
              "was ended");
    desktop.clock.advance(5);
    EXPECT_EQ(desktop.ended, (std::vector<int>{8, 8}));
}

TEST_F(Web, PageDialogsAnswerOnceAndQuickSuccessionsOfferABlock) {
    std::vector<std::string> heard;
    auto confirm = [&] {
        ui().scriptConfirm("?", [&](bool ok) { heard.push_back(ok ? "ok" : "no"); });
    };
    auto prompt = [&](std::optional<std::string> text) {
        ui().scriptPrompt("?", text, [&](auto t) { heard.push_back(t.value_or("null")); });
    };
    ui().scriptAlert("Saved %s", [&] { heard.push_back("done"); });
    EXPECT_EQ(desktop.dialogs.alerts.front().window, &calendar());  // even while it is hidden
    auto completion = desktop.dialogs.alerts.front().done;
    desktop.dialogs.answer(std::nullopt);
    completion(AlertAnswer(0), std::nullopt);  // a dialog ending twice
    // Seconds between a dialog's end and the next; the response; the text typed.
    const std::tuple<double, AlertAnswer, std::optional<std::string>> steps[] = {
        {60, AlertAnswer(0), std::nullopt},  {1, AlertAnswer(0), "Dinner"},
        {60, AlertAnswer(1), "Dinner"},      {3.5, std::nullopt, std::nullopt},
        {-10, AlertAnswer(0), std::nullopt}, {3, AlertAnswer(0), std::nullopt}};
    for (const auto& [pause, response, typed] : steps) {
        desktop.clock.current += std::chrono::milliseconds(int(pause * 1000));
        confirm();
        desktop.dialogs.answer(response);
        prompt("Lunch");
        heard.push_back(std::to_string(desktop.dialogs.alerts.front().alert.buttons.size()));
        desktop.dialogs.answer(response, typed);
    }
    ui().scriptAlert("again", [&] { heard.push_back("done"); });
    desktop.dialogs.answer(AlertAnswer(1));  // "Block Dialogs": answered at once now
    confirm(), prompt("x");
    webView().commit();  // a new page is asked again
    prompt(std::nullopt);
    desktop.dialogs.answer(AlertAnswer(0));
    bool leave = false;
    ui().beforeUnloadConfirm("Discard?", [&](bool l) { leave = l; });  // never held up
    EXPECT_TRUE(leave);
    EXPECT_THAT(heard, ElementsAre("done", "ok", "2", "Lunch", "ok", "3", "Dinner", "no", "2",
                                   "null", "no", "2", "null", "ok", "2", "Lunch", "ok", "3",
                                   "Lunch", "done", "no", "null", ""));
    for (bool chosen : {false, true}) {
        ui().runFileChooser({false, true},
                            [&](auto paths) { heard.push_back(paths ? "some" : "none"); });
        desktop.dialogs.panels.back().second(chosen ? FakeDialogs::Files{{"/tmp/x"}}
                                                    : std::nullopt);
    }
    EXPECT_THAT(std::vector(heard.end() - 2, heard.end()), ElementsAre("none", "some"));
}

}  // namespace
}  // namespace plenhall::testing
