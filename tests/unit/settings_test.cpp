// The settings window: the shortcut recorder, the controls and what the window shows.
#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

using namespace ModifierFlag;
using Keys = FakeHotKeys::Keys;
using Reason = HotKeyError::Reason;

KeyEvent press(std::uint16_t code, std::uint32_t flags, std::string text = "k") {
    return KeyEvent{code, flags, text, text};
}
const Shortcut kK{40, 0x300, "K"};
const Keys kDefaultKeys{8, 6400}, kKKeys{40, 0x300};
std::string refused(const Shortcut& s, Reason r, RefusalAdvice advice = RefusalAdvice::tryAnother) {
    return refusalMessage(s, HotKeyError{r}, advice);
}

class Settings : public AppFixture {
  public:
    void SetUp() override { launch(); }
    // The event that reaches the window, if any.
    std::optional<KeyEvent> key(const KeyEvent& event) { return desktop.keyMonitor.keyDown(event); }
};

TEST_F(Settings, Recorder) {
    const std::string noModifier = "*";  // its text is pinned with the other texts
    const std::tuple<const char*, std::function<void(Settings&)>, bool, std::optional<std::string>,
                     std::optional<Keys>, Shortcut>
        steps[] = {
            {"start: the live keys are let go", [](Settings& t) { t.model().startRecording(); },
             true, std::nullopt, std::nullopt, defaultShortcut()},
            {"K alone, Shift+K", [](Settings& t) { t.key(press(40, 0)), t.key(press(40, shift)); },
             true, noModifier, std::nullopt, defaultShortcut()},
            {"taken",
             [](Settings& t) {
                 t.desktop.hotKeys.taken = {kKKeys};
                 t.key(press(40, command | shift));
             },
             true, refused(kK, Reason::taken), std::nullopt, defaultShortcut()},
            {"Escape restores the stored keys, the message stays",
             [](Settings& t) { t.key(press(53, 0, "\x1b")); }, false, refused(kK, Reason::taken),
             kDefaultKeys, defaultShortcut()},
            {"refused, then accepted",
             [](Settings& t) {
                 t.model().startRecording();
                 t.key(press(40, command | shift));
                 t.desktop.hotKeys.taken.clear();
                 t.key(press(40, command | shift));
             },
             false, std::nullopt, kKKeys, kK},
            {"the current keys again, then Super+Escape cancels",
             [](Settings& t) {
                 t.model().startRecording(), t.key(press(40, command | shift));
                 t.model().startRecording(), t.key(press(53, command, "\x1b"));
             },
             false, std::nullopt, kKKeys, kK},
            {"closing the window while recording",
             [](Settings& t) {
                 t.app->settings()->present(Presentation::settings);
                 t.model().startRecording();
                 t.settingsWindow().close();
             },
             false, std::nullopt, kKKeys, kK},
            {"reset while the default is taken",
             [](Settings& t) {
                 t.desktop.hotKeys.taken = {kDefaultKeys};
                 t.model().resetShortcut();
             },
             false, refused(defaultShortcut(), Reason::taken, RefusalAdvice::none), kKKeys, kK},
            {"reset while recording, the default free",
             [](Settings& t) {
                 t.desktop.hotKeys.taken.clear();
                 t.model().startRecording();
                 t.model().resetShortcut();
             },
             false, std::nullopt, kDefaultKeys, defaultShortcut()}};
    for (const auto& [name, act, recording, error, live, stored] : steps) {
        act(*this);
        EXPECT_EQ(model().recording(), recording) << name;
        EXPECT_EQ(model().shortcutError().has_value(), error.has_value()) << name;
        if (error != noModifier) {
            EXPECT_EQ(model().shortcutError(), error) << name;
        }
        EXPECT_EQ(desktop.hotKeys.registered, live) << name;
        EXPECT_EQ(prefs->shortcut(), stored) << name;
        // Every press is the recorder's while it listens.
        EXPECT_EQ(desktop.keyMonitor.monitors.size(), recording ? 1u : 0u) << name;
    }
}

TEST_F(Settings, ADesktopThatAsksTheUserFirstDecidesWhenRecordingEnds) {
    desktop.hotKeys.answerLater = true;
    model().startRecording();
    key(press(40, command | shift));
    EXPECT_TRUE(model().recording());  // the desktop's dialog is up
    desktop.hotKeys.answer(HotKeyError{Reason::declined, 1});
    EXPECT_EQ(model().shortcutError(), refused(kK, Reason::declined));
    EXPECT_TRUE(model().recording());
    key(press(40, command | shift));  // its dialog never comes back
    desktop.clock.advance(HotKey::kAnswerBound.count());
    EXPECT_EQ(model().shortcutError(), refused(kK, Reason::noAnswer));
    EXPECT_FALSE(desktop.hotKeys.waiting);  // withdrawn
    key(press(40, command | shift));
    desktop.hotKeys.answer(HotKeyBinding{"Shift+Super+K"});
    EXPECT_FALSE(model().recording());
    EXPECT_EQ(model().shortcutError(), std::nullopt);
    EXPECT_EQ(prefs->shortcut(), kK);
    EXPECT_EQ(model().shortcutTitle(), "Shift+Super+K");

    desktop.keyMonitor.refuse = true;  // no key monitor: records nothing, restores
    desktop.hotKeys.answerLater = false;
    model().startRecording();
    model().stopRecording();
    EXPECT_EQ(desktop.hotKeys.registered, kKKeys);
}

TEST_F(Settings, OpenAtLoginShowsWhatTheDesktopReports) {
    const std::tuple<std::optional<std::string>, bool, bool, bool> cases[] = {
        // failure, needs approval, switched to, shown
        {std::nullopt, false, true, true},         {std::nullopt, false, false, false},
        {"Permission denied", false, true, false}, {std::nullopt, true, true, false},
        {std::nullopt, false, true, true},         {"Read-only file system", false, false, true}};
    for (const auto& [failure, approval, to, shown] : cases) {
        desktop.loginItem.failWith = failure;
        desktop.loginItem.needsApproval = approval;
        desktop.log.lines.clear();
        settingsNode("open-at-login").onToggle(to);
        EXPECT_EQ(settingsNode("open-at-login").isOn, shown);
        EXPECT_EQ(desktop.log.lines.size(), failure ? 1u : 0u);
    }
    desktop.loginItem.current = LoginItemStatus::notRegistered;  // changed outside the program
    app->settings()->present(Presentation::settings);
    EXPECT_FALSE(settingsNode("open-at-login").isOn);
}

TEST_F(Settings, TheShortcutRowShowsTheStateOfTheRecorder) {
    const std::string idle = "Press it anywhere to open your calendar. Press it again to hide it.";
    const std::tuple<Shortcut, bool, bool, std::string, std::string, TextColor, bool> cases[] = {
        // stored, recording, refused, button, message, its colour, Reset offered
        {defaultShortcut(), false, false, defaultShortcut().display(), idle, TextColor::secondary,
         false},
        {Shortcut{8, 6400, "c"}, false, false, "\u2303\u2325\u2318c", idle, TextColor::secondary,
         true},
        {Shortcut{8, 6912, "C"}, false, false, "\u2303\u2325\u21E7\u2318C", idle,
         TextColor::secondary, true},
        {kK, true, false, "Press new shortcut\u2026", "Esc to cancel.", TextColor::secondary,
         false},
        {kK, true, true, "Press new shortcut\u2026", "*", TextColor::red, false},
        {kK, false, true, kK.display(), "*", TextColor::red, true}};
    const Shortcut kS{1, 0x100, "S"};
    for (const auto& [stored, recording, error, button, message, color, reset] : cases) {
        prefs->setShortcut(stored);
        desktop.hotKeys.taken = {{1, 0x100}};
        model().startRecording();
        if (error) key(press(1, command, "s"));
        if (!recording) model().stopRecording();
        EXPECT_EQ(settingsNode("shortcut").text, button);
        const auto& line = settingsNode("message");
        EXPECT_EQ(line.text, message == "*" ? refused(kS, Reason::taken) : message);
        EXPECT_EQ(line.color, color);
        EXPECT_TRUE(line.isStatus);
        EXPECT_EQ(findNode(settingsWindow().shown, "reset") != nullptr, reset);
        EXPECT_EQ(settingsNode("shortcut").spokenKeys.has_value(), !recording);
        if (!recording || error) {
            EXPECT_EQ(settingsNode("shortcut").accessibleDescription, line.text);
        }
        model().stopRecording();
    }
    // Keys the desktop bound in its own words are read out in them.
    desktop.hotKeys.taken.clear();
    desktop.hotKeys.trigger = "Shift+Super+K";
    model().startRecording();
    model().stopRecording();
    EXPECT_EQ(settingsNode("shortcut").accessibleName, "Shift+Super+K");
    EXPECT_FALSE(settingsNode("shortcut").spokenKeys);
    EXPECT_EQ(settingsNode("shortcut-heading").labelFor, "shortcut");
    EXPECT_EQ(settingsNode("display-mode-heading").labelFor, "display-mode");
    EXPECT_EQ(settingsNode("display-mode").accessibleName, "Show the calendar as");
}

TEST_F(Settings, ControlsActThroughTheModelAndTheStore) {
    settingsNode("shortcut").action();
    EXPECT_TRUE(model().recording());
    settingsNode("shortcut").action();
    EXPECT_FALSE(model().recording());
    settingsNode("display-mode").onSelect("largeWindow");
    EXPECT_EQ(prefs->displayMode(), DisplayMode::largeWindow);
    EXPECT_EQ(settingsNode("display-mode").selectedTag, "largeWindow");
    settingsNode("display-mode").onSelect("bogus");
    EXPECT_EQ(prefs->displayMode(), DisplayMode::largeWindow);
    prefs->setShortcut(kK);
    settingsNode("reset").action();
    EXPECT_EQ(prefs->shortcut(), defaultShortcut());

    app->show();
    settingsNode("check-for-updates").action();  // leaves the calendar alone
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(desktop.http.sent.size(), 1u);
    app->hide();
    app->settings()->present(Presentation::welcome);
    model().startRecording();
    settingsNode("open-calendar").action();
    EXPECT_FALSE(settingsWindow().visible);
    EXPECT_TRUE(calendar().visible);
    EXPECT_FALSE(model().recording());
    EXPECT_EQ(desktop.hotKeys.registered, kDefaultKeys);
}

TEST_F(Settings, PresentedCentredUnderThePointerOrWhereTheDesktopPutsIt) {
    desktop.screens.all.push_back(Screen{{1440, 0, 1280, 800}, {1440, 30, 1280, 770}, 1});
    app->settings()->present(Presentation::welcome);
    EXPECT_TRUE(settingsWindow().visible);
    EXPECT_EQ(settingsWindow().currentFrame, (Rect{500, 253, 440, 420}));
    desktop.screens.pointer = Point{2000, 400};
    app->settings()->present(Presentation::settings);
    EXPECT_EQ(settingsWindow().currentFrame, (Rect{1860, 205, 440, 420}));
    desktop.screens.placesWindows = false;
    app->settings()->present(Presentation::settings);
    EXPECT_EQ(settingsWindow().currentFrame, (Rect{0, 0, 440, 420}));
    settingsWindow().close();  // idle: changes nothing
    EXPECT_FALSE(settingsWindow().visible);
    EXPECT_EQ(desktop.hotKeys.registered, kDefaultKeys);
}

}  // namespace
}  // namespace plenhall::testing
