// What users and stored files rely on, pinned once per surface: a change here is a change users
// see or a file from an earlier version no longer reads.
#include "support/app_fixture.h"
#include "web/offline_page.h"
#include "web/user_agent.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;
using Reason = HotKeyError::Reason;

// How a shortcut reads wherever it is shown.
TEST(Contract, ShortcutText) {
    const std::pair<Shortcut, std::string> cases[] = {
        {defaultShortcut(), "Ctrl+Alt+Super+C"},
        {Shortcut{0, 0x300, "A"}, "Shift+Super+A"},
        {Shortcut{49, 0x1800, "Space"}, "Ctrl+Alt+Space"},
        {Shortcut{8, 0x1B00, "C"}, "Shift+Ctrl+Alt+Super+C"},
        {Shortcut{8, 0x1901, "C"}, "Ctrl+Alt+Super+C"},  // unknown bits are not shown
        {Shortcut{8, 0, "C"}, "C"},
        {Shortcut{116, 0x1000, "\u21DE"}, "Ctrl+Page Up"}};  // named keys by name, not label
    for (const auto& [shortcut, text] : cases) EXPECT_EQ(shortcut.display(), text);
    EXPECT_EQ((Shortcut{40, 0x300, "K"}).englishDisplay(), "Shift+Super+K");  // for the log
}

// Named keys: the label the preference file stores, and the name users read.
TEST(Contract, KeyNames) {
    // clang-format off
    const std::vector<std::tuple<std::uint32_t, std::string, std::string>> expected = {
        {49, "Space", "Space"}, {36, "\u21A9", "Return"}, {48, "\u21E5", "Tab"},
        {51, "\u232B", "BackSpace"}, {117, "\u2326", "Delete"}, {123, "\u2190", "Left"},
        {124, "\u2192", "Right"}, {126, "\u2191", "Up"}, {125, "\u2193", "Down"},
        {115, "\u2196", "Home"}, {119, "\u2198", "End"}, {116, "\u21DE", "Page Up"},
        {121, "\u21DF", "Page Down"}, {122, "F1", "F1"}, {120, "F2", "F2"}, {99, "F3", "F3"},
        {118, "F4", "F4"}, {96, "F5", "F5"}, {97, "F6", "F6"}, {98, "F7", "F7"},
        {100, "F8", "F8"}, {101, "F9", "F9"}, {109, "F10", "F10"}, {103, "F11", "F11"},
        {111, "F12", "F12"}};
    // clang-format on
    std::vector<std::tuple<std::uint32_t, std::string, std::string>> actual;
    for (const auto& key : namedKeys())
        actual.emplace_back(key.keyCode, key.label,
                            (Shortcut{key.keyCode, 0, std::string(key.label)}).display());
    EXPECT_EQ(actual, expected);
}

// What the settings window and the log say when the desktop will not bind the keys.
TEST(Contract, ShortcutMessages) {
    const Shortcut k{40, 0x300, "K"};
    const std::string hint =
        "This desktop doesn't let apps set global shortcuts: in its keyboard settings, add a "
        "shortcut that runs plenhall-desktop plenhall:// to show or hide the calendar.";
    const std::tuple<Reason, std::string, std::string> cases[] = {
        {Reason::taken, "Shift+Super+K is already used by another app.",
         "Shift+Super+K is already used by another app. Try another."},
        {Reason::noSuchKey, "Shift+Super+K can't be used as a shortcut on this keyboard.",
         "Shift+Super+K can't be used as a shortcut on this keyboard. Try another."},
        {Reason::unsupported, hint, hint + " Try another."},
        {Reason::declined, "The desktop didn't set up Shift+Super+K.",
         "The desktop didn't set up Shift+Super+K. Try another."},
        {Reason::noAnswer, "The desktop didn't answer when asked to set up Shift+Super+K.",
         "The desktop didn't answer when asked to set up Shift+Super+K. Try again."}};
    for (const auto& [reason, alone, recording] : cases) {
        EXPECT_EQ(refusalMessage(k, HotKeyError{reason, 2}), alone);
        EXPECT_EQ(refusalMessage(k, HotKeyError{reason, 2}, RefusalAdvice::tryAnother), recording);
    }
    EXPECT_EQ(std::string(kDesktopShortcutHintAfterRefusal),
              "To use a shortcut anyway, add one in the desktop's keyboard settings that runs "
              "plenhall-desktop plenhall://.");
}

class ContractApp : public AppFixture {};

// Our entry among GNOME's custom shortcuts as the settings daemon reads it, and what the settings
// window says of it.
TEST_F(ContractApp, GnomeShortcut) {
    using namespace Modifier;
    const std::pair<std::uint32_t, std::string> accelerators[] = {
        {shift | control | alt | super, "<Shift><Control><Alt><Super>c"},
        {shift | super, "<Shift><Super>c"},
        {alt, "<Alt>c"}};
    for (const auto& [modifiers, text] : accelerators)
        EXPECT_EQ(gnomeAccelerator(KeyCombination{54, modifiers}, "c"), text);
    const Shortcut k{40, 0x300, "K"};
    EXPECT_EQ(gnomeRefusalMessage(k, "Move") + "|" +
                  gnomeRefusalMessage(k, "Move", RefusalAdvice::tryAnother),
              "GNOME already uses Shift+Super+K for \u201cMove\u201d.|"
              "GNOME already uses Shift+Super+K for \u201cMove\u201d. Try another.");
    desktop.gnome.offered = true;
    desktop.hotKeys.taken = {defaultShortcut().keys()};
    desktop.hotKeys.refusal = {Reason::unsupported};
    launch(false);
    EXPECT_EQ(settingsNode("gnome-set-up").text, "Set it up for me");
    settingsNode("gnome-set-up").action();
    EXPECT_EQ(desktop.gnome.entries,
              (std::map<std::string, GnomeCustomKeybinding>{
                  {"/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/"
                   "plenhall-desktop/",
                   {"Plenhall", "'/opt/Plenhall Desktop/plenhall-desktop' plenhall://toggle",
                    "<Control><Alt><Super>c"}}}));
    EXPECT_EQ(settingsNode("gnome-remove").text, "Remove from GNOME's shortcuts");
}

std::vector<std::string> entries(const Menu& menu) {
    std::vector<std::string> result;
    for (const auto& item : menu.items) {
        if (item.submenu) {
            result.push_back("[" + item.submenu->title + "]");
            for (const auto& inner : entries(*item.submenu)) result.push_back(inner);
        } else {
            result.push_back(item.isSeparator ? "-" : item.title + "|" + item.accelerator);
        }
    }
    return result;
}

TEST_F(ContractApp, Menus) {
    launch();
    EXPECT_THAT(entries(desktop.application.mainMenu),
                ElementsAre("[]", "Settings\u2026|,", "Hide Calendar|w", "Reload|r", "Quit|q",
                            "[Edit]", "Undo|z", "Redo|Z", "-", "Cut|x", "Copy|c", "Paste|v",
                            "Select All|a", "[View]", "Actual Size|0", "Zoom In|+", "Zoom Out|-"));
    EXPECT_THAT(
        entries(statusItem().menu),
        ElementsAre("Show / Hide Calendar  Ctrl+Alt+Super+C|", "Reload|", "-", "Settings\u2026|,",
                    "Check for Updates\u2026|", "-", "Quit Plenhall|q"));
    EXPECT_EQ(statusItem().icon + " " + statusItem().title, "x-office-calendar Plenhall");
    EXPECT_EQ(desktop.hotKeys.described, "Show or hide the calendar");  // in the desktop's list
    EXPECT_TRUE(calendar().keptAbove && calendar().everyWorkspace && calendar().skipSwitcher);
    EXPECT_EQ(webView().configuration.applicationNameForUserAgent,
              "Version/17.0 Safari/605.1.15 PlenhallDesktop/1.4.2");
}

TEST_F(ContractApp, SettingsAndWelcomeTexts) {
    const std::tuple<const char*, std::string, std::string> texts[] = {
        {"title", "Plenhall", "Welcome to Plenhall"},
        {"subtitle", "Your whole calendar, one shortcut away.", ""},
        {"shortcut-heading", "Shortcut", ""},
        {"shortcut", "Ctrl+Alt+Super+C", ""},
        {"message", "Press it anywhere to open your calendar. Press it again to hide it.", ""},
        {"display-mode-heading", "Show the calendar as", ""},
        {"open-at-login", "Open at login", ""},
        {"check-for-updates", "Check for Updates\u2026", ""},
        {"open-calendar", "Open calendar", "Open my calendar"},
        {"version", "Version 1.4.2 (42)", ""}};
    launch(false);  // the welcome, then the settings
    for (bool welcome : {true, false}) {
        if (!welcome) menu(MenuAction::openSettings);
        for (const auto& [id, inSettings, inWelcome] : texts) {
            const bool own = welcome && !inWelcome.empty();
            EXPECT_EQ(settingsNode(id).text, own ? inWelcome : inSettings) << id;
        }
        std::string segments;
        for (const auto& s : settingsNode("display-mode").segments)
            segments += s.label + "=" + s.tag + ";";
        EXPECT_EQ(segments, "Full screen=fullScreen;Large window=largeWindow;");
    }
    prefs->setShortcut(Shortcut{40, 0x300, "K"});
    EXPECT_EQ(settingsNode("reset").text, "Reset");
    settingsNode("shortcut").action();
    EXPECT_EQ(settingsNode("shortcut").text, "Press new shortcut\u2026");
    EXPECT_FALSE(findNode(settingsWindow().shown, "reset"));  // not while it listens
    EXPECT_EQ(settingsNode("message").text, "Esc to cancel.");
    EXPECT_EQ(settingsNode("shortcut").accessibleDescription,
              "Listening for a new shortcut. Esc to cancel.");
    desktop.keyMonitor.keyDown(KeyEvent{1, 0, "s", "s"});
    EXPECT_EQ(settingsNode("message").text, "Include Ctrl, Alt or Super in the shortcut.");
    EXPECT_EQ(settingsWindow().title, "Plenhall");
}

// Every key of the preference store and what it holds, as files from earlier versions have them.
TEST_F(ContractApp, StoredKeysAndFormats) {
    launch(false);
    prefs->setDisplayMode(DisplayMode::largeWindow);
    app->show();
    calendar().currentFrame = Rect{72, 43.5, 1296, 788};
    app->hide();
    app->show();
    calendarBecomesKey();
    menu(MenuAction::zoomIn);
    prefs->setShortcut(Shortcut{40, 0x300, "K"});
    webView().ui->requestNotificationPermission(kStartURL, [](bool) {});
    desktop.dialogs.answer(1);  // "Allow"
    EXPECT_EQ(desktop.defaults.entries,
              (FakeDefaults::Entries{
                  {"displayMode", "s:largeWindow"},
                  {"hasOnboarded", "b:1"},
                  {"largeWindowFrame", "s:{{72, 43.5}, {1296, 788}}"},
                  {"pageZoom", "s:110"},
                  {"reminderPermission", "s:granted"},
                  {"shortcut", R"(d:{"keyCode":40,"carbonModifiers":768,"keyLabel":"K"})"}}));
    EXPECT_EQ(Prefs(desktop.defaults).shortcut(), (Shortcut{40, 0x300, "K"}));  // read back
    EXPECT_EQ(Prefs(desktop.defaults).displayMode(), DisplayMode::largeWindow);
    desktop.defaults.setString("reminderPermission", "denied");
    EXPECT_EQ(webView().ui->notificationPermissions().denied,
              std::vector<std::string>{"https://plenhall.com"});
}

// plenhall:// links from scripts, pages and desktop shortcuts: what shows after each, from hidden
// and from shown ("C": the calendar, "S": the settings window).
TEST_F(ContractApp, UrlCommands) {
    const std::tuple<std::vector<std::string>, const char*, const char*> cases[] = {
        {{"plenhall://show/week?x=1#f"}, "C", "C"},
        {{"plenhall://hide"}, "", ""},
        {{"plenhall://settings"}, "S", "S"},
        {{"plenhall://other"}, "C", ""},
        {{"plenhall:/show"}, "C", ""},
        {{"PLENHALL://show"}, "", "C"},
        {{}, "", "C"},
        {{"plenhall://show", "plenhall://hide"}, "", ""},
        {{"https://x.org", "plenhall://show"}, "C", "C"}};
    launch();
    for (const auto& [urls, fromHidden, fromShown] : cases) {
        for (bool shown : {false, true}) {
            settingsWindow().visible = false;
            shown ? app->show() : app->hide();
            app->openURLs(urls, UserInput{0, "launcher"});
            const std::string seen =
                std::string(calendar().visible ? "C" : "") + (settingsWindow().visible ? "S" : "");
            EXPECT_EQ(seen, shown ? fromShown : fromHidden) << (urls.empty() ? "-" : urls[0]);
            // Brought forward for the launch that asked, with its launcher's token.
            for (const auto* w : {&calendar(), &settingsWindow()})
                EXPECT_TRUE(!w->visible || seen == (shown ? "C" : "") ||
                            w->shownFor->activationToken == "launcher");
        }
    }
}

TEST(Contract, PageTexts) {
    const std::string page = offlinePage("https://plenhall.com/app");
    for (const char* text : {"<h1>Can't reach your calendar</h1>",
                             "<p>Check your internet connection, then try again.</p>",
                             "<a href=\"https://plenhall.com/app\">Try again</a>"})
        EXPECT_NE(page.find(text), std::string::npos) << text;
}

}  // namespace
}  // namespace plenhall::testing
