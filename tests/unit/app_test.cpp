// The application controller: launching, showing and hiding the calendar, focus, the menus.
#include <sstream>

#include "app/process_entry.h"
#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class App : public AppFixture {
  public:
    // Runs what the user and the desktop do, in words: "show key resign +0.5 open".
    void act(const std::string& steps) {
        std::istringstream words(steps);
        for (std::string w; words >> w;) {
            if (w == "show") app->show();
            if (w == "key") calendarBecomesKey();
            if (w == "resign") applicationResigns();
            if (w == "open") statusItem().open();
            if (w == "close") statusItem().close();
            if (w == "press") pressHotKey();
            if (w[0] == '+') desktop.clock.advance(std::stod(w));
            if (w == "back") desktop.clock.current -= std::chrono::seconds(1);
        }
    }
};

// The flag is written before the welcome shows, so a crash in the welcome does not greet the user
// forever; the calendar loads hidden, laid out as it will show.
TEST_F(App, FirstRunWelcomesLaterRunsShowNothing) {
    launch(false);
    EXPECT_TRUE(settingsWindow().visible);
    EXPECT_TRUE(model().welcome());
    EXPECT_TRUE(desktop.defaults.boolForKey("hasOnboarded"));
    EXPECT_FALSE(calendar().visible);
    EXPECT_EQ(calendar().fullScreen, desktop.screens.all[0]);
    EXPECT_EQ(webView().page, kStartURL);
    desktop.clock.advance(9.9);
    EXPECT_TRUE(desktop.http.sent.empty());
    desktop.clock.advance(0.1);
    EXPECT_EQ(desktop.http.sent.size(), 1u);  // the first update check
}

TEST_F(App, ProcessEntry) {
    desktop.defaults.setString("displayMode", "largeWindow");
    EXPECT_EQ(runProcess(platform, kStartURL), 0);
    EXPECT_EQ(desktop.defaults.saved, desktop.defaults.entries);  // nothing left unwritten
    EXPECT_TRUE(desktop.defaults.boolForKey("hasOnboarded"));
    desktop.clock.advance(7 * 24 * 3600);  // the controller and its timers are gone

    EXPECT_EQ(runProcess(platform, "not a url"), 1);
    EXPECT_EQ(desktop.log.lines.size(), 1u);
    EXPECT_EQ(makeAppValues("https://Plenhall.COM/app")->appHost, "plenhall.com");
}

// Where the keys are taken another can be chosen in the welcome; where the desktop gives no
// shortcut or the user declined it, choosing again would not help and the settings say why.
TEST_F(App, AShortcutTheDesktopRefusesAtLaunch) {
    const std::tuple<HotKeyError::Reason, bool, std::optional<std::string>> cases[] = {
        {HotKeyError::Reason::taken, true, std::nullopt},
        {HotKeyError::Reason::noSuchKey, true, std::nullopt},
        {HotKeyError::Reason::unsupported, false, kDesktopShortcutHint},
        {HotKeyError::Reason::declined, false,
         refusalMessage(defaultShortcut(), {HotKeyError::Reason::declined}) + " " +
             kDesktopShortcutHintAfterRefusal}};
    desktop.hotKeys.taken = {{8, 6400}};
    for (const auto& [reason, welcome, notice] : cases) {
        desktop.hotKeys.refusal = HotKeyError{reason, 2};
        app.reset();
        launch();
        EXPECT_EQ(settingsWindow().visible, welcome) << int(reason);
        EXPECT_EQ(model().shortcutNotice(), notice) << int(reason);
    }
}

TEST_F(App, TheShortcutReadsAsTheDesktopBoundIt) {
    desktop.hotKeys.answerLater = true;
    launch();
    const std::string title = "Show / Hide Calendar  ";
    EXPECT_EQ(statusItem().menu.items[0].title, title + defaultShortcut().display());
    desktop.hotKeys.answer(HotKeyBinding{"Ctrl+Alt+Super+C"});
    EXPECT_EQ(statusItem().menu.items[0].title, title + "Ctrl+Alt+Super+C");
    EXPECT_EQ(settingsNode("shortcut").text, "Ctrl+Alt+Super+C");
    desktop.hotKeys.bindingChanged(HotKeyBinding{"Super+K"});
    EXPECT_EQ(statusItem().menu.items[0].title, title + "Super+K");
    pressHotKey();
    EXPECT_TRUE(calendar().visible);

    // A desktop that never answers is told of in the settings.
    desktop.hotKeys.answerLater = true;
    app->hotKey()->registerShortcut(defaultShortcut());
    desktop.clock.advance(HotKey::kAnswerBound.count());
    EXPECT_EQ(model().shortcutNotice(),
              refusalMessage(defaultShortcut(), {HotKeyError::Reason::noAnswer}) + " " +
                  kDesktopShortcutHintAfterRefusal);
}

TEST_F(App, TheShortcutShowsForThePressThenHides) {
    launch();
    pressHotKey();
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(calendar().shownFor->time, 4242u);  // so the desktop lets it take the focus
    EXPECT_TRUE(calendar().contentFocused);
    EXPECT_FALSE(app->hiddenAt());
    pressHotKey();
    EXPECT_FALSE(calendar().visible);
    EXPECT_EQ(app->hiddenAt(), desktop.clock.now());

    desktop.hotKeys.press();  // queued, then the controller goes
    app.reset();
    EXPECT_EQ(desktop.mainQueue.drain(), 1);
}

TEST_F(App, ShowingReloadsAfterStaleAfterOrFromTheOfflinePage) {
    const std::tuple<const char*, double, bool, bool> cases[] = {
        {"600 s exactly", 600.0, false, false},
        {"600.001 s", 600.001, false, true},
        {"2 s", 2.0, false, false},
        {"2 s offline", 2.0, true, true},
        {"clock set back an hour", -3600.0, false, false}};
    launch();
    for (const auto& [name, hiddenFor, offline, reloads] : cases) {
        app->show();
        app->hide();
        if (offline) webView().failProvisional(WebFailure::network);
        desktop.clock.advance(hiddenFor);
        const int loads = webView().loads;
        app->show();
        EXPECT_EQ(webView().loads - loads, reloads ? 1 : 0) << name;
        EXPECT_FALSE(app->showingOffline()) << name;
        app->hide();
    }
}

// The calendar goes away when the user clicks elsewhere, but only once it had the focus.
TEST_F(App, LosingTheFocus) {
    const std::pair<const char*, bool> cases[] = {
        {"show", true}, {"show key", false}, {"show key show", true}, {"show key show key", false}};
    launch();
    prefs->setDisplayMode(DisplayMode::largeWindow);
    for (const auto& [steps, visibleAfter] : cases) {
        act(steps);
        calendar().currentFrame = Rect{10, 20, 900, 700};
        applicationResigns();
        EXPECT_EQ(calendar().visible, visibleAfter);
        EXPECT_EQ(app->hiddenAt().has_value(), !visibleAfter);
        app->hide();
    }
    EXPECT_EQ(desktop.defaults.stringForKey("largeWindowFrame"), "{{10, 20}, {900, 700}}");
    app->show();  // only the calendar's focus counts
    desktop.post(Notification::windowDidBecomeKey, &settingsWindow());
    applicationResigns();
    EXPECT_TRUE(calendar().visible);
}

TEST_F(App, ShowHideToggleReopenAndClose) {
    launch();
    app->hide();  // not visible: nothing
    EXPECT_FALSE(app->hiddenAt());
    EXPECT_FALSE(app->applicationShouldHandleReopen(false));
    EXPECT_TRUE(calendar().visible);
    calendar().currentFrame = {};
    app->show();  // again: laid out again
    EXPECT_EQ(calendar().currentFrame, desktop.screens.all[0].frame);
    applicationResigns();  // never had the focus: stays, another application is active
    app->toggle();
    EXPECT_FALSE(calendar().visible);
    app->toggle();
    EXPECT_TRUE(calendar().visible);
    calendar().close();  // the window manager's close: put away
    EXPECT_FALSE(calendar().visible);
    EXPECT_TRUE(app->hiddenAt());

    app->show();
    app->settings()->present(Presentation::settings);
    settingsWindow().key = true;
    menu(MenuAction::hideFromMenu);  // closes the focused settings window only
    EXPECT_FALSE(settingsWindow().visible);
    EXPECT_TRUE(calendar().visible);
    menu(MenuAction::hideFromMenu);
    EXPECT_FALSE(calendar().visible);
}

// The hidden calendar is laid out anew for a new mode, once the mode is stored, so its page is
// ready at that size before the press; a shown one changes shape where it is, focus untouched.
TEST_F(App, ADisplayModeChangeLaysTheCalendarOutAgain) {
    launch();
    prefs->setDisplayMode(DisplayMode::largeWindow);
    EXPECT_TRUE(calendar().fullScreen);
    desktop.mainQueue.drain();
    EXPECT_FALSE(calendar().fullScreen);
    EXPECT_EQ(calendar().style, WindowStyle::titledResizable);
    EXPECT_FALSE(calendar().visible);

    app->show();
    app->settings()->present(Presentation::settings);
    calendar().shownFor.reset();
    prefs->setDisplayMode(DisplayMode::fullScreen);
    desktop.mainQueue.drain();
    EXPECT_EQ(calendar().fullScreen, desktop.screens.all[0]);
    EXPECT_TRUE(calendar().visible && settingsWindow().visible);
    EXPECT_FALSE(calendar().shownFor);
}

TEST_F(App, StatusMenuShowHideMeansWhatWasUpWhenItOpened) {
    const std::pair<const char*, bool> cases[] = {
        {"open", true},
        {"show key open", false},
        // The menu took the focus a moment before it asked, or after.
        {"show key resign +0.5 open", false},
        {"show key open resign", false},
        {"show key resign +0.501 open", true},
        {"show key resign back open", true},
        {"show", false},  // a panel that does not say when it opens
        // Some panels say the menu closed before they deliver the choice.
        {"show key open resign close +0.499", false},
        {"show open close +0.5 press", true}};
    launch();
    int n = 0;
    for (const auto& [before, visibleAfter] : cases) {
        act(before);
        statusItem().click(0);
        EXPECT_EQ(calendar().visible, visibleAfter) << n++;
        app->hide();
        desktop.clock.advance(5);
    }
}

TEST_F(App, MenuActions) {
    desktop.statusItemHasButton = false;
    launch();
    EXPECT_EQ(statusItem().image, "");  // no button: the menu alone

    prefs->setDisplayMode(DisplayMode::largeWindow);
    app->show();
    statusItem().click(3);  // "Settings…" puts the calendar away
    EXPECT_FALSE(calendar().visible);
    EXPECT_TRUE(app->hiddenAt());
    EXPECT_TRUE(desktop.defaults.stringForKey("largeWindowFrame"));
    EXPECT_TRUE(settingsWindow().visible);
    EXPECT_FALSE(model().welcome());

    app->show();
    statusItem().click(4);  // "Check for Updates…" hides first
    EXPECT_FALSE(calendar().visible);
    EXPECT_EQ(desktop.http.sent.size(), 1u);

    webView().navigation->createWebViewForNavigationAction(
        NavigationAction{"https://plenhall.com/app/week", std::nullopt});
    statusItem().click(1);  // "Reload": the start page
    EXPECT_EQ(webView().page, kStartURL);
    menu(MenuAction::terminate);
    EXPECT_TRUE(desktop.application.terminated);
    desktop.application.terminated = false;
    statusItem().click(6);
    EXPECT_TRUE(desktop.application.terminated);
    for (auto action : {MenuAction::undo, MenuAction::copy}) menu(action);  // the page's own
}

TEST_F(App, AnUpdateFoundOnScheduleHidesAVisibleCalendar) {
    const std::string feed =
        R"(<rss><channel><item><enclosure url="https://plenhall.com/p.tar.gz" )"
        R"(sparkle:version="99" sparkle:shortVersionString="9.0"/></item></channel></rss>)";
    launch();
    desktop.clock.advance(10);
    desktop.http.answer(feed);
    EXPECT_EQ(desktop.sheets.alerts.size(), 1u);
    EXPECT_FALSE(app->hiddenAt());  // was not shown
    app->show();
    desktop.clock.advance(24 * 3600);
    desktop.http.answer(feed);
    EXPECT_FALSE(calendar().visible);
}

TEST_F(App, ZoomKeysZoomTheShownCalendarAndTheNextRunKeepsIt) {
    launch();
    statusItem().click(3);  // never behind the settings window
    settingsWindow().key = true;
    menu(MenuAction::zoomIn);
    EXPECT_EQ(webView().zoom, 1.0);

    app->show();
    calendarBecomesKey();
    menu(MenuAction::zoomIn);
    menu(MenuAction::zoomIn);
    EXPECT_DOUBLE_EQ(webView().zoom, 1.25);
    app.reset();
    launch();
    EXPECT_DOUBLE_EQ(webView().zoom, 1.25);
    app->show();
    calendarBecomesKey();
    menu(MenuAction::zoomOut);
    EXPECT_DOUBLE_EQ(webView().zoom, 1.1);
    menu(MenuAction::actualSize);
    EXPECT_DOUBLE_EQ(webView().zoom, 1.0);
    EXPECT_EQ(desktop.defaults.stringForKey("pageZoom"), "100");
}

}  // namespace
}  // namespace plenhall::testing
