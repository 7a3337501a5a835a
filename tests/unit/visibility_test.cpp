#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;

class Visibility : public AppFixture {
  protected:
    void SetUp() override { launchOnboarded(); }
};

TEST_F(Visibility, HotKeyShowsForThePressThenHides) {
    pressHotKey();
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(calendar().activations, 1);
    // The press's own time goes with the window, so the desktop lets it take the focus.
    ASSERT_TRUE(calendar().lastInput);
    EXPECT_EQ(calendar().lastInput->time, 4242u);
    EXPECT_EQ(calendar().firstResponderCalls, 1);
    EXPECT_FALSE(app->hiddenAt());

    pressHotKey();
    EXPECT_FALSE(calendar().visible);
    EXPECT_EQ(app->hiddenAt(), desktop.clock.now());
}

TEST_F(Visibility, ReloadsOnlyAfterMoreThanStaleAfterOrFromTheOfflinePage) {
    struct Case {
        const char* name;
        double hiddenSeconds;
        bool offline;
        bool reloads;
    } cases[] = {
        {"hidden 600 s exactly", 600.0, false, false},
        {"hidden 600.001 s", 600.001, false, true},
        {"hidden 2 s", 2.0, false, false},
        {"hidden 2 s with the offline page up", 2.0, true, true},
        {"clock moved back an hour", -3600.0, false, false},
    };
    for (const auto& c : cases) {
        app->show();
        app->hide();
        if (c.offline) webView().failProvisional(WebFailure::network);
        desktop.clock.advance(c.hiddenSeconds);
        auto before = startRequestsLoaded();
        app->show();
        EXPECT_EQ(startRequestsLoaded() - before, c.reloads ? 1u : 0u) << c.name;
        EXPECT_FALSE(app->showingOffline()) << c.name;
        app->hide();
    }
}

TEST_F(Visibility, OffScreenTimeCountsFromTheMostRecentStow) {
    app->show();
    app->hide();
    desktop.clock.advance(500);
    app->show();
    app->hide();
    desktop.clock.advance(500);
    app->show();
    EXPECT_EQ(startRequestsLoaded(), 1u);
}

TEST_F(Visibility, ShowWhileVisibleReLaysOutReactivatesAndClearsFocus) {
    app->show();
    calendarBecomesKey();
    auto layouts = calendar().frameHistory.size();
    app->show();
    EXPECT_EQ(calendar().frameHistory.size(), layouts + 1);
    EXPECT_EQ(calendar().activations, 2);
    EXPECT_FALSE(app->hadFocus());
    EXPECT_EQ(startRequestsLoaded(), 1u);
}

TEST_F(Visibility, FocusStateMachine) {
    struct Case {
        const char* name;
        std::function<void(Visibility&)> steps;
        bool visibleAfter;
    } cases[] = {
        {"resign before the calendar became key",
         [](Visibility& t) {
             t.app->show();
             t.applicationResigns();
         },
         true},
        {"resign after it became key",
         [](Visibility& t) {
             t.app->show();
             t.calendarBecomesKey();
             t.applicationResigns();
         },
         false},
        {"show while key clears focus until the next become-key",
         [](Visibility& t) {
             t.app->show();
             t.calendarBecomesKey();
             t.app->show();
             t.applicationResigns();
         },
         true},
        {"and the next become-key arms it again",
         [](Visibility& t) {
             t.app->show();
             t.calendarBecomesKey();
             t.app->show();
             t.calendarBecomesKey();
             t.applicationResigns();
         },
         false},
    };
    for (auto& c : cases) {
        c.steps(*this);
        EXPECT_EQ(calendar().visible, c.visibleAfter) << c.name;
        app->hide();
    }
}

TEST_F(Visibility, ResigningStowsWithoutHidingTheApplication) {
    prefs->setDisplayMode(DisplayMode::largeWindow);
    app->show();
    calendarBecomesKey();
    applicationResigns();
    EXPECT_FALSE(calendar().visible);
    EXPECT_TRUE(app->hiddenAt());
    EXPECT_EQ(desktop.defaults.stringForKey("largeWindowFrame"), "{{72, 68.5}, {1296, 788}}");
}

TEST_F(Visibility, HideDoesNothingWhenNotVisibleAndKeepsSettingsInFront) {
    const int writes = desktop.defaults.writes;
    app->hide();
    EXPECT_EQ(desktop.defaults.writes, writes);
    EXPECT_FALSE(app->hiddenAt());

    app->show();
    app->settings()->present(Presentation::settings);
    app->hide();
    EXPECT_FALSE(calendar().visible);
    EXPECT_TRUE(app->hiddenAt());
}

TEST_F(Visibility, ToggleLooksOnlyAtVisibility) {
    app->show();
    applicationResigns();  // not key before: stays on screen, another application is active
    app->toggle();
    EXPECT_FALSE(calendar().visible);
    app->toggle();
    EXPECT_TRUE(calendar().visible);
}

TEST_F(Visibility, LaunchingAgainShows) {
    app->activated();
    EXPECT_TRUE(calendar().visible);
    app->activated();
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(calendar().activations, 2);
}

TEST_F(Visibility, HideFromMenuClosesAFocusedSettingsWindowOnly) {
    app->show();
    app->settings()->present(Presentation::settings);
    settingsWindow().key = true;
    app->show();
    app->hideFromMenu();
    EXPECT_FALSE(settingsWindow().visible);
    EXPECT_TRUE(calendar().visible);

    app->hideFromMenu();
    EXPECT_FALSE(calendar().visible);
}

TEST_F(Visibility, ClosingTheCalendarWindowPutsItAway) {
    prefs->setDisplayMode(DisplayMode::largeWindow);
    app->show();
    calendar().userCloses();
    EXPECT_FALSE(calendar().visible);
    EXPECT_TRUE(app->hiddenAt());
    EXPECT_TRUE(desktop.defaults.stringForKey("largeWindowFrame"));
}

TEST_F(Visibility, PressesQueuedBeforeTheControllerIsGoneDoNothing) {
    desktop.hotKeys.press();
    app.reset();
    EXPECT_EQ(desktop.mainQueue.drain(), 1);
}

}  // namespace
}  // namespace plenhall::testing
