// The application controller: launching, showing and hiding the calendar, focus, the menus.
#include <sstream>

#include "app/process_entry.h"
#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class App : public AppFixture {
  public:
    // What the user and the desktop do, in words: "show key resign +0.5 open".
    void act(const std::string& steps) {
        std::istringstream words(steps);
        for (std::string w; words >> w;) {
            if (w == "show") app->show();
            if (w == "hide") app->hide();
            if (w == "key") calendarBecomesKey();
            if (w == "resign") applicationResigns();
            if (w == "away") desktop.focus(nullptr);
            if (w == "grab" || w == "release") desktop.grabbed = w == "grab";
            if (w == "dialog") {  // a dialog closes with the focus, which the calendar had
                desktop.focus(nullptr);
                desktop.onFocus({FocusChange::Kind::dialogClosed, &calendar()});
            }
            if (w == "open") statusItem().open();
            if (w == "close") statusItem().close();
            if (w == "press") pressHotKey();
            if (w[0] == '+') desktop.clock.advance(std::stod(w));
        }
    }
};

// The flag is written before the welcome shows, so a crash in it does not greet the user forever;
// the calendar loads hidden, laid out as it will show.
TEST_F(App, FirstRunWelcomes) {
    launch(false);
    EXPECT_TRUE(settingsWindow().visible);
    EXPECT_EQ(calendar().fullScreen, desktop.screens.all[0]);
    EXPECT_EQ(runProcess(platform, "not a url"), 1);
    EXPECT_EQ(makeAppValues("https://Plenhall.COM/app")->appHost, "plenhall.com");
    EXPECT_EQ(runProcess(platform, kStartURL), 0);
    EXPECT_EQ(desktop.defaults.saved, desktop.defaults.entries);  // nothing left unwritten
}

// Where the keys are taken another can be chosen in the welcome; where the desktop gives no
// shortcut or the user declined it, choosing again would not help and the settings say why.
TEST_F(App, AShortcutTheDesktopRefusesAtLaunch) {
    using R = HotKeyError::Reason;
    const std::string declined = refusalMessage(defaultShortcut(), {R::declined});
    const std::tuple<R, bool, std::optional<std::string>> cases[] = {
        {R::taken, true, std::nullopt},
        {R::unsupported, false, kDesktopShortcutHint},
        {R::declined, false, declined + " " + kDesktopShortcutHintAfterRefusal}};
    desktop.hotKeys.taken = {{54, Modifier::control | Modifier::alt | Modifier::super}};
    for (const auto& [reason, welcome, notice] : cases) {
        desktop.hotKeys.refusal = HotKeyError{reason, 2};
        app.reset();
        launch();
        EXPECT_EQ(settingsWindow().visible, welcome) << int(reason);
        EXPECT_EQ(settingsNode("message").text, notice.value_or(settingsNode("message").text));
        EXPECT_EQ(settingsNode("message").color == TextColor::red, notice.has_value());
        EXPECT_FALSE(findNode(settingsWindow().shown, "gnome-set-up"));  // not GNOME on Wayland
    }
}

TEST_F(App, TheShortcutReadsAsTheDesktopBoundItAndShowsForThePress) {
    desktop.hotKeys.answerLater = true;
    launch();
    const std::string title = "Show / Hide Calendar  ";
    desktop.hotKeys.answer(HotKeyBinding{"Ctrl+Alt+Super+C"});
    desktop.hotKeys.bindingChanged(HotKeyBinding{"Super+K"});
    EXPECT_EQ(statusItem().menu.items[0].title, title + "Super+K");
    EXPECT_EQ(settingsNode("shortcut").text, "Super+K");
    pressHotKey();
    EXPECT_TRUE(calendar().visible && calendar().contentFocused);
    EXPECT_EQ(calendar().shownFor->time, 4242u);  // so the desktop lets it take the focus
    pressHotKey();
    EXPECT_FALSE(calendar().visible);
    menu(MenuAction::openSettings);
    pressHotKey();
    settingsWindow().key = true;
    menu(MenuAction::hideFromMenu);  // from the settings window: closes it alone
    EXPECT_TRUE(calendar().visible && !settingsWindow().visible);
    desktop.hotKeys.press();  // queued, then the controller goes
    app.reset();
    EXPECT_EQ(desktop.mainQueue.drain(), 1);
}

TEST_F(App, ShowingReloadsAfterStaleAfterOrFromTheOfflinePage) {
    const std::tuple<double, bool, bool> cases[] = {
        {600.0, false, false}, {600.001, false, true}, {2.0, true, true}, {-3600.0, false, false}};
    launch();
    for (const auto& [hiddenFor, offline, reloads] : cases) {
        act("show hide");
        if (offline) webView().failProvisional(WebFailure::network);
        desktop.clock.advance(hiddenFor);
        const int loads = webView().loads;
        app->show();
        EXPECT_EQ(webView().loads - loads, reloads ? 1 : 0) << hiddenFor;
        EXPECT_EQ(webView().page, kStartURL);
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
        EXPECT_EQ(calendar().visible, visibleAfter) << steps;
        app->hide();
    }
    EXPECT_EQ(desktop.defaults.stringForKey("largeWindowFrame"), "{{10, 20}, {900, 700}}");
}

// The user has left only once the focus has settled away from every window of ours: not while our
// own grab holds the keyboard, nor while a closed dialog's window waits to get the focus back.
TEST_F(App, TheFocusHasLeftOnlyOnceItSettles) {
    const std::pair<const char*, bool> cases[] = {
        {"show key away +0.05", true},   {"show key away +0.1", false},
        {"show key grab away +1", true}, {"show key grab away +1 release +0.1", false},
        {"show key dialog +0.4", true},  {"show key dialog +0.6", false},
        {"show key dialog key +1", true}};
    launch();
    for (const auto& [steps, visibleAfter] : cases) {
        act(steps);
        EXPECT_EQ(calendar().visible, visibleAfter) << steps;
        act("hide release +1");
    }
}

// A page that loads while the calendar is hidden is drawn for the next showing, and again once
// it has had time to fill in; one that loads on screen is drawn by the showing itself.
TEST_F(App, APageLoadedWhileHiddenIsDrawnForTheNextShowing) {
    launch();
    act("+0.2");
    EXPECT_EQ(calendar().redraws, 1);
    act("+3");
    EXPECT_EQ(calendar().redraws, 2);
    act("show");
    webView().finish();
    act("+3");
    EXPECT_EQ(calendar().redraws, 2);
}

TEST_F(App, StatusMenuShowHideMeansWhatWasUpWhenItOpened) {
    const std::pair<const char*, bool> cases[] = {
        {"open", true},
        {"show key open", false},
        // The menu took the focus a moment before it asked, or after.
        {"show key resign +0.5 open", false},
        {"show key resign +0.501 open", true},
        // Some panels say the menu closed before they deliver the choice.
        {"show key open resign close +0.499", false},
        {"show open close +0.5 press", true}};
    launch();
    for (const auto& [steps, visibleAfter] : cases) {
        act(steps);
        statusItem().click(0);
        EXPECT_EQ(calendar().visible, visibleAfter) << steps;
        act("hide +5");
    }
}

}  // namespace
}  // namespace plenhall::testing
