#include "app/process_entry.h"
#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;

class Launch : public AppFixture {};

// Two orders matter to users: the updater exists before anything can fail, and a first run is
// recorded before the welcome shows, so a crash in the welcome does not greet the user forever.
TEST_F(Launch, FirstRunStartsTheUpdaterThenWritesTheFlagThenWelcomes) {
    std::optional<bool> flagWhenWelcomed;
    desktop.windows.whenOrderedFront = [&](const FakeWindow& window) {
        if (window.name == "settings")
            flagWhenWelcomed = desktop.defaults.boolForKey("hasOnboarded");
    };
    launch();
    // The first thing the launch sets going is the update check, 10 s on.
    auto delays = desktop.mainQueue.pendingTimerDelays();
    ASSERT_FALSE(delays.empty());
    EXPECT_EQ(delays.front(), std::chrono::seconds(10));
    EXPECT_EQ(flagWhenWelcomed, true);
    EXPECT_TRUE(settingsWindow().visible);
    EXPECT_TRUE(app->settings()->model().welcome());
    EXPECT_FALSE(calendar().visible);
    EXPECT_EQ(startRequestsLoaded(), 1u);
}

TEST_F(Launch, ProcessEntryLoadsPreferencesAndRunsTheLoop) {
    desktop.defaults.setString("displayMode", "largeWindow");
    desktop.defaults.setBool("hasOnboarded", true);

    EXPECT_EQ(runProcess(platform, kTestStartURL), 0);

    EXPECT_EQ(desktop.defaults.synchronized, 1);  // nothing the user changed is left unwritten
    // The controller is gone once the loop has ended, and its timers with it.
    EXPECT_EQ(desktop.mainQueue.pendingTimers(), 0u);
}

TEST_F(Launch, ProcessEntryRefusesAStartURLWithoutHost) {
    EXPECT_EQ(runProcess(platform, "not a url"), 1);
    EXPECT_FALSE(desktop.webViews.last);
    EXPECT_EQ(desktop.log.lines.size(), 1u);
    EXPECT_EQ(makeAppValues("https://Plenhall.COM/app")->appHost, "plenhall.com");
}

// A launch that cannot hand itself to the running instance ends with one line: it does not become
// a second calendar.
TEST_F(Launch, AnInstanceOutOfReachEndsTheLaunchWithOneLine) {
    const std::pair<UnreachableInstance, std::string> cases[] = {
        {{"Cannot autolaunch D-Bus\nwithout X11 $DISPLAY"},
         "there is no D-Bus session bus (Cannot autolaunch D-Bus without X11 $DISPLAY)"},
        {{std::nullopt}, "it is not on this launch's D-Bus session bus"},
    };
    for (const auto& [instance, why] : cases) {
        desktop.log.lines.clear();
        desktop.application.unreachable = instance;
        EXPECT_EQ(runProcess(platform, kTestStartURL), 1);
        EXPECT_THAT(desktop.log.lines,
                    ElementsAre("PlenhallDesktop: Plenhall is already running, but this launch "
                                "cannot reach it: " +
                                why));
    }
    EXPECT_FALSE(desktop.webViews.last);
}

TEST_F(Launch, LaterRunsShowNothing) {
    launchOnboarded();
    EXPECT_FALSE(settingsWindow().visible);
    EXPECT_FALSE(calendar().visible);
    EXPECT_EQ(startRequestsLoaded(), 1u);
}

TEST_F(Launch, RefusedShortcutBringsTheWelcomeBack) {
    desktop.hotKeys.takenByOthers.push_back({8, 6400});
    launchOnboarded();
    EXPECT_TRUE(settingsWindow().visible);
    EXPECT_TRUE(app->settings()->model().welcome());
    EXPECT_TRUE(desktop.defaults.boolForKey("hasOnboarded"));
    EXPECT_FALSE(desktop.hotKeys.registered);
    EXPECT_THAT(desktop.log.lines,
                ElementsAre("PlenhallDesktop: Ctrl+Alt+Super+C unavailable (status 10)"));
}

TEST_F(Launch, WithoutAGlobalShortcutTheSettingsSayHowToBindOneAndTheWelcomeStaysAway) {
    const struct {
        HotKeyError::Reason reason;
        std::string notice;
    } cases[] = {
        {HotKeyError::Reason::unsupported, kDesktopShortcutHint},
        {HotKeyError::Reason::declined,
         "The desktop didn't set up Ctrl+Alt+Super+C. To use a shortcut anyway, add one in the "
         "desktop's keyboard settings that runs plenhall-desktop plenhall://."},
    };
    for (const auto& c : cases) {
        FakePlatform fresh;
        Platform freshPlatform = fresh.platform();
        fresh.defaults.setBool("hasOnboarded", true);
        fresh.hotKeys.takenByOthers.push_back({8, 6400});
        fresh.hotKeys.refusal = HotKeyError{c.reason, 2};
        Prefs freshPrefs(fresh.defaults);
        AppDelegate delegate(freshPlatform, freshPrefs,
                             AppValues{kTestStartURL, "plenhall.com", 600.0});
        delegate.started();
        EXPECT_FALSE(fresh.windows.settings->visible);
        EXPECT_TRUE(fresh.defaults.boolForKey("hasOnboarded"));
        EXPECT_EQ(delegate.settings()->model().shortcutNotice(), c.notice);
        EXPECT_EQ(fresh.log.lines.size(), 1u);
    }
}

TEST_F(Launch, ADesktopThatNeverAnswersIsToldOfInTheSettingsAndTheWelcomeStaysAway) {
    desktop.hotKeys.answerLater = true;
    launchOnboarded();
    desktop.clock.advance(HotKey::kAnswerBound.count());
    EXPECT_TRUE(desktop.defaults.boolForKey("hasOnboarded"));
    EXPECT_EQ(app->settings()->model().shortcutNotice(),
              "The desktop didn't answer when asked to set up Ctrl+Alt+Super+C. To use a "
              "shortcut anyway, add one in the desktop's keyboard settings that runs "
              "plenhall-desktop plenhall://.");
}

TEST_F(Launch, TheShortcutReadsAsTheDesktopBoundIt) {
    desktop.hotKeys.answerLater = true;
    launchOnboarded();
    EXPECT_EQ(statusItem().menu->items[0].title, "Show / Hide Calendar  Ctrl+Alt+Super+C");
    desktop.hotKeys.answer(HotKeyBinding{"Ctrl+Alt+Super+C"});
    EXPECT_EQ(statusItem().titleHistory.back(), "0:Show / Hide Calendar  Ctrl+Alt+Super+C");
    EXPECT_EQ(app->settings()->model().shortcutTitle(), "Ctrl+Alt+Super+C");
    pressHotKey();
    EXPECT_TRUE(calendar().visible);
}

TEST_F(Launch, StatusMenuShowsTheShortcutAndFollowsEveryAssignment) {
    launchOnboarded();
    EXPECT_EQ(statusItem().menu->items[0].title, "Show / Hide Calendar  Ctrl+Alt+Super+C");

    prefs->setShortcut(defaultShortcut());
    prefs->setShortcut(Shortcut{40, 0x300, "K"});
    EXPECT_THAT(statusItem().titleHistory,
                ElementsAre("0:Show / Hide Calendar  Ctrl+Alt+Super+C",
                            "0:Show / Hide Calendar  Ctrl+Alt+Super+C",
                            "0:Show / Hide Calendar  Shift+Super+K"));
    // Retitling does not register the shortcut again; the settings model does that.
    EXPECT_EQ(desktop.hotKeys.registered, (FakeHotKeys::Combination{8, 6400}));
}

// The hidden calendar is laid out as it will show, at launch and for a new mode, so its page is
// ready at that size before the press; it stays hidden.
TEST_F(Launch, DisplayModeChangeReLaysOutTheCalendarAfterItIsStored) {
    launchOnboarded();
    EXPECT_EQ(calendar().fullScreen, desktop.screens.all[0]);
    prefs->setDisplayMode(DisplayMode::largeWindow);
    desktop.mainQueue.drain();
    EXPECT_FALSE(calendar().fullScreen);
    EXPECT_EQ(calendar().style, Decoration::titledResizable);
    EXPECT_FALSE(calendar().visible);

    app->show();
    auto layouts = calendar().frameHistory.size();
    prefs->setDisplayMode(DisplayMode::fullScreen);
    EXPECT_EQ(calendar().frameHistory.size(), layouts);  // deferred to the main queue
    desktop.mainQueue.drain();
    ASSERT_EQ(calendar().frameHistory.size(), layouts + 1);
    EXPECT_EQ(calendar().fullScreen, desktop.screens.all[0]);
    EXPECT_EQ(calendar().style, Decoration::none);
}

// The user changes the mode in the settings window with the calendar on screen: the calendar
// takes its new shape where it is, and the keyboard stays with the settings window.
TEST_F(Launch, DisplayModeChangeNeitherRefocusesNorHidesTheCalendar) {
    launchOnboarded();
    app->show();
    app->settings()->present(Presentation::settings);
    const int calendarActivations = calendar().activations;
    const int settingsActivations = settingsWindow().activations;
    for (auto mode : {DisplayMode::largeWindow, DisplayMode::fullScreen}) {
        prefs->setDisplayMode(mode);
        desktop.mainQueue.drain();
        EXPECT_TRUE(calendar().visible);
        EXPECT_TRUE(settingsWindow().visible);
        EXPECT_EQ(calendar().activations, calendarActivations);
        EXPECT_EQ(settingsWindow().activations, settingsActivations);
        EXPECT_EQ(calendar().firstResponderCalls, 1);
    }
}

TEST_F(Launch, OnlyTheCalendarBecomingKeyCountsAsFocus) {
    launchOnboarded();
    app->show();
    desktop.notifications.post(Notification::windowGotFocus, &settingsWindow());
    EXPECT_FALSE(app->hadFocus());
    desktop.notifications.post(Notification::windowGotFocus, &calendar());
    EXPECT_TRUE(app->hadFocus());
}

}  // namespace
}  // namespace plenhall::testing
