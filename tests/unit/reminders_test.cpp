#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class Reminders : public AppFixture {
  protected:
    UIDelegate& ui() { return *webView().uiDelegate; }
    std::optional<std::string> stored() {
        return desktop.defaults.stringForKey("reminderPermission");
    }
    // Asks as a page at `url` would; the answers it got so far.
    std::shared_ptr<std::vector<bool>> ask(const std::string& url) {
        auto answers = std::make_shared<std::vector<bool>>();
        ui().requestNotificationPermission(
            url, [answers](bool allowed) { answers->push_back(allowed); });
        return answers;
    }
    std::shared_ptr<FakePageNotification> notify(const std::string& title) {
        auto page = std::make_shared<FakePageNotification>(title, "at 10:00");
        ui().showNotification(page);
        return page;
    }
    std::uint64_t onScreenWith(const std::string& title) {
        for (const auto& [id, content] : desktop.desktopNotifications.onScreen)
            if (content.title == title) return id;
        ADD_FAILURE() << "no notification " << title;
        return 0;
    }
};

TEST_F(Reminders, OnlyTheServiceDomainIsAskedAndTheAnswerIsKept) {
    struct Case {
        std::string url;
        std::optional<std::string> stored;
        std::optional<bool> answer;  // nothing: the question is shown
    };
    const Case cases[] = {
        {"https://plenhall.com/app", std::nullopt, std::nullopt},
        {"https://team.plenhall.com/week", "maybe", std::nullopt},  // unreadable: never asked
        {"https://plenhall.com/app", "granted", true},
        {"https://team.plenhall.com/app", "denied", false},
        {"https://example.org/", "granted", false},
        {"https://notplenhall.com/", std::nullopt, false},
        // The service is https: the same hosts over plain http are other sites.
        {"http://plenhall.com/app", "granted", false},
        {"http://team.plenhall.com/app", std::nullopt, false},
        {"file:///plenhall.com/app", "granted", false},
    };
    desktop.defaults.setBool("hasOnboarded", true);
    launch();
    pressHotKey();
    for (const auto& c : cases) {
        if (c.stored) desktop.defaults.setString("reminderPermission", *c.stored);
        auto answers = ask(c.url);
        if (c.answer) {
            EXPECT_EQ(*answers, std::vector<bool>{*c.answer}) << c.url;
            EXPECT_TRUE(desktop.dialogs.alerts.empty()) << c.url;
        } else {
            EXPECT_TRUE(answers->empty()) << c.url;
            ASSERT_EQ(desktop.dialogs.alerts.size(), 1u) << c.url;
            desktop.dialogs.answerAlert(AlertAnswer(0));
        }
        desktop.defaults.entries.clear();
    }
}

TEST_F(Reminders, TheQuestionAsksOnceForEveryoneWaitingAndRemembers) {
    const std::tuple<AlertAnswer, std::vector<bool>, std::optional<std::string>> cases[] = {
        {AlertAnswer(1), {true, true}, "granted"},
        {AlertAnswer(0), {false, false}, "denied"},
        {AlertAnswer(), {false, false}, std::nullopt},  // closed unanswered: asked again next time
    };
    launchOnboarded();
    pressHotKey();
    for (const auto& [response, expected, kept] : cases) {
        desktop.defaults.entries.erase("reminderPermission");
        auto first = ask("https://plenhall.com/app");
        auto second = ask("https://plenhall.com/app");
        ASSERT_EQ(desktop.dialogs.alerts.size(), 1u);
        const auto& sheet = desktop.dialogs.alerts.front();
        EXPECT_EQ(sheet.alert.messageText, "Allow Plenhall to show reminders?");
        EXPECT_EQ(sheet.alert.buttons, (std::vector<std::string>{"Don't Allow", "Allow"}));
        EXPECT_EQ(sheet.alert.defaultButton, 1u);
        EXPECT_EQ(sheet.window, &calendar());
        desktop.dialogs.answerAlert(response);
        std::vector<bool> answers = *first;
        answers.insert(answers.end(), second->begin(), second->end());
        EXPECT_EQ(answers, expected) << stored().value_or("-");
        EXPECT_EQ(stored(), kept);
    }
    // Closed unanswered: a page asking again is refused without the question, until relaunched.
    EXPECT_EQ(*ask("https://plenhall.com/app"), std::vector<bool>{false});
    EXPECT_TRUE(desktop.dialogs.alerts.empty());
    // What a new page process is told before any page asks.
    desktop.defaults.setString("reminderPermission", "granted");
    EXPECT_EQ(ui().notificationPermissions().granted,
              std::vector<std::string>{"https://plenhall.com"});
    desktop.defaults.setString("reminderPermission", "denied");
    EXPECT_EQ(ui().notificationPermissions().denied,
              std::vector<std::string>{"https://plenhall.com"});
}

TEST_F(Reminders, AQuestionWhileHiddenWaitsForTheCalendarWithAFewOthers) {
    launchOnboarded();
    std::vector<std::shared_ptr<std::vector<bool>>> pages;
    for (std::size_t i = 0; i <= kMaxWaitingForQuestion; ++i)
        pages.push_back(ask("https://plenhall.com/app"));
    EXPECT_TRUE(desktop.dialogs.alerts.empty());
    EXPECT_EQ(*pages.back(), std::vector<bool>{false});  // one too many: refused at once
    pressHotKey();
    ASSERT_EQ(desktop.dialogs.alerts.size(), 1u);
    EXPECT_TRUE(calendar().visible);
    desktop.dialogs.answerAlert(AlertAnswer(1));
    pages.pop_back();
    for (const auto& answers : pages) EXPECT_EQ(*answers, std::vector<bool>{true});
}

TEST_F(Reminders, AFloodIsBoundedOnScreenAndPerMinuteWithOneLogLineABurst) {
    desktop.defaults.setString("reminderPermission", "granted");
    launchOnboarded();
    // Notifies `count` times; how many of them reached the screen. The others are closed.
    auto flood = [&](std::size_t count) {
        std::size_t shown = 0;
        for (std::size_t i = 0; i < count; ++i) {
            auto page = notify("Flood");
            shown += page->closes == 0;
        }
        return shown;
    };
    auto dismissAll = [&] {
        while (!desktop.desktopNotifications.onScreen.empty())
            desktop.desktopNotifications.dismiss(
                desktop.desktopNotifications.onScreen.begin()->first);
    };
    auto logged = [&] {
        return std::count_if(desktop.log.lines.begin(), desktop.log.lines.end(),
                             [](const auto& line) { return line.find("reminders") != line.npos; });
    };
    EXPECT_EQ(flood(kMaxRemindersOnScreen + 3), kMaxRemindersOnScreen);
    EXPECT_EQ(desktop.desktopNotifications.onScreen.size(), kMaxRemindersOnScreen);
    EXPECT_EQ(logged(), 1);
    dismissAll();
    desktop.clock.advance(30);
    const std::size_t rest = kMaxRemindersPerMinute - kMaxRemindersOnScreen;
    EXPECT_EQ(flood(rest), rest);  // room on screen again
    dismissAll();
    EXPECT_EQ(flood(2), 0u);    // the minute's share is spent
    EXPECT_EQ(logged(), 2);     // shown ones in between: a new burst
    desktop.clock.advance(31);  // the first burst's minute is over
    EXPECT_EQ(flood(kMaxRemindersOnScreen + 1), kMaxRemindersPerMinute - rest);
    desktop.clock.current -= std::chrono::hours(1);  // a clock set back forgets, never blocks
    dismissAll();
    EXPECT_EQ(flood(1), 1u);
}

TEST_F(Reminders, ClicksShowTheCalendarAndClosingWorksBothWays) {
    desktop.defaults.setString("reminderPermission", "granted");
    launchOnboarded();
    auto standup = notify("Standup");
    auto lunch = notify("Lunch");
    auto review = notify("Review");
    ASSERT_EQ(desktop.desktopNotifications.onScreen.size(), 3u);
    EXPECT_EQ(desktop.desktopNotifications.onScreen[onScreenWith("Lunch")].body, "at 10:00");
    EXPECT_FALSE(calendar().visible);

    desktop.desktopNotifications.click(onScreenWith("Standup"));
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(standup->clicks, 1);
    EXPECT_EQ(standup->closes, 1);  // the server closed it after the click

    ui().pageClosedNotification(*lunch);
    EXPECT_EQ(desktop.desktopNotifications.onScreen.size(), 1u);
    EXPECT_EQ(lunch->closes, 0);  // the page knows

    desktop.desktopNotifications.dismiss(onScreenWith("Review"));
    EXPECT_EQ(review->closes, 1);
    EXPECT_EQ(review->clicks, 0);
    ui().pageClosedNotification(*review);  // late: nothing left to close
    EXPECT_TRUE(desktop.desktopNotifications.onScreen.empty());
}

TEST_F(Reminders, NothingIsShownWithoutPermissionOrServer) {
    launchOnboarded();
    notify("Standup");
    EXPECT_TRUE(desktop.desktopNotifications.onScreen.empty());

    desktop.defaults.setString("reminderPermission", "granted");
    desktop.desktopNotifications.serverMissing = true;
    auto page = notify("Standup");
    ui().pageClosedNotification(*page);
    EXPECT_EQ(page->closes, 0);
    EXPECT_TRUE(desktop.desktopNotifications.onScreen.empty());
}

}  // namespace
}  // namespace plenhall::testing
