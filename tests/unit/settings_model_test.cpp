#include "settings/settings_model.h"

#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

using namespace ModifierFlag;

KeyEvent press(std::uint16_t code, std::uint32_t flags, std::string text) {
    return KeyEvent{code, flags, text, text};
}

const KeyEvent kCommandShiftK = press(40, command | shift, "k");
const KeyEvent kPlainK = press(40, 0, "k");
const KeyEvent kShiftK = press(40, shift, "k");
const KeyEvent kEscape = press(53, 0, "\x1b");
const KeyEvent kCommandEscape = press(53, command, "\x1b");

class Recorder : public AppFixture {
  public:
    void SetUp() override { launchOnboarded(); }
    SettingsModel& model() { return app->settings()->model(); }
    std::optional<KeyEvent> key(const KeyEvent& event) { return desktop.keyMonitor.keyDown(event); }
    std::optional<FakeHotKeys::Combination> live() const { return desktop.hotKeys.registered; }
};

TEST_F(Recorder, StateTable) {
    struct Step {
        const char* name;
        std::function<void(Recorder&)> act;
        bool recording;
        std::optional<std::string> error;
        std::optional<FakeHotKeys::Combination> live;
        Shortcut stored;
    };
    const Shortcut original = defaultShortcut();
    const Shortcut commandShiftK{40, 0x300, "K"};
    const std::string taken = "Shift+Super+K is already used by another app. Try another.";
    const std::string modifierMessage = "Include Ctrl, Alt or Super in the shortcut.";
    const std::vector<Step> steps = {
        {"start: the live hot key is suspended", [](Recorder& t) { t.model().startRecording(); },
         true, std::nullopt, std::nullopt, original},
        {"K alone", [](Recorder& t) { EXPECT_FALSE(t.key(kPlainK)); }, true, modifierMessage,
         std::nullopt, original},
        {"Shift+K", [](Recorder& t) { EXPECT_FALSE(t.key(kShiftK)); }, true, modifierMessage,
         std::nullopt, original},
        {"taken by another program",
         [](Recorder& t) {
             t.desktop.hotKeys.takenByOthers = {{40, 0x300}};
             EXPECT_FALSE(t.key(kCommandShiftK));
         },
         true, taken, std::nullopt, original},
        {"Escape restores the stored shortcut, the message stays",
         [](Recorder& t) { EXPECT_FALSE(t.key(kEscape)); }, false, taken,
         FakeHotKeys::Combination{8, 6400}, original},
        {"start again clears the message", [](Recorder& t) { t.model().startRecording(); }, true,
         std::nullopt, std::nullopt, original},
        {"refused, then accepted clears the message",
         [](Recorder& t) {
             EXPECT_FALSE(t.key(kCommandShiftK));
             t.desktop.hotKeys.takenByOthers.clear();
             EXPECT_FALSE(t.key(kCommandShiftK));
         },
         false, std::nullopt, FakeHotKeys::Combination{40, 0x300}, commandShiftK},
        {"re-recording the current shortcut works",
         [](Recorder& t) {
             t.model().startRecording();
             EXPECT_FALSE(t.key(kCommandShiftK));
         },
         false, std::nullopt, FakeHotKeys::Combination{40, 0x300}, commandShiftK},
        {"Command+Escape cancels like Escape",
         [](Recorder& t) {
             t.model().startRecording();
             EXPECT_FALSE(t.key(kCommandEscape));
         },
         false, std::nullopt, FakeHotKeys::Combination{40, 0x300}, commandShiftK},
        {"the button stops a recording",
         [](Recorder& t) {
             t.model().startRecording();
             t.model().stopRecording();
         },
         false, std::nullopt, FakeHotKeys::Combination{40, 0x300}, commandShiftK},
        {"closing the window while recording restores the live hot key",
         [](Recorder& t) {
             t.app->settings()->present(Presentation::settings);
             t.model().startRecording();
             t.settingsWindow().userCloses();
         },
         false, std::nullopt, FakeHotKeys::Combination{40, 0x300}, commandShiftK},
        {"reset while the default is taken",
         [](Recorder& t) {
             t.desktop.hotKeys.takenByOthers = {{8, 6400}};
             t.model().resetShortcut();
         },
         false, "Ctrl+Alt+Super+C is already used by another app.",
         FakeHotKeys::Combination{40, 0x300}, commandShiftK},
        {"reset while recording and the default is free",
         [](Recorder& t) {
             t.desktop.hotKeys.takenByOthers.clear();
             t.model().startRecording();
             t.model().resetShortcut();
         },
         false, std::nullopt, FakeHotKeys::Combination{8, 6400}, original},
    };
    for (const auto& step : steps) {
        step.act(*this);
        EXPECT_EQ(model().recording(), step.recording) << step.name;
        EXPECT_EQ(model().shortcutError(), step.error) << step.name;
        EXPECT_EQ(live(), step.live) << step.name;
        EXPECT_EQ(prefs->shortcut(), step.stored) << step.name;
        // A monitor exactly while recording.
        EXPECT_EQ(desktop.keyMonitor.monitors.size(), step.recording ? 1u : 0u) << step.name;
    }
    EXPECT_EQ(desktop.defaults.dataForKey("shortcut"),
              R"({"keyCode":8,"carbonModifiers":6400,"keyLabel":"C"})");
}

TEST_F(Recorder, EveryPressDuringRecordingIsConsumedAndOthersPassThrough) {
    EXPECT_TRUE(key(kPlainK));  // not recording: no monitor at all
    model().startRecording();
    for (const auto& event : {kPlainK, kShiftK, press(36, 0, "\r"), kCommandShiftK})
        EXPECT_FALSE(key(event));
    EXPECT_FALSE(model().recording());
    EXPECT_TRUE(key(kPlainK));
}

TEST_F(Recorder, NoMonitorFromThePlatformStillRecordsNothingAndRestores) {
    desktop.keyMonitor.refuse = true;
    model().startRecording();
    EXPECT_TRUE(model().recording());
    model().stopRecording();
    EXPECT_EQ(live(), (FakeHotKeys::Combination{8, 6400}));
}

TEST_F(Recorder, OpenAtLoginShowsWhatTheDesktopReportsAfterTheChange) {
    struct Case {
        const char* name;
        std::optional<std::string> failure;
        bool needsApproval;
        bool flipTo;
        bool shown;
        std::size_t logLines;
    } cases[] = {
        {"switched on", std::nullopt, false, true, true, 0},
        {"switched off", std::nullopt, false, false, false, 0},
        {"refused", "Permission denied", false, true, false, 1},
        {"awaiting approval counts as off", std::nullopt, true, true, false, 0},
    };
    for (const auto& c : cases) {
        desktop.loginItem.current = LoginItemStatus::notRegistered;
        desktop.loginItem.failWith = c.failure;
        desktop.loginItem.needsApproval = c.needsApproval;
        desktop.log.lines.clear();
        model().setOpenAtLogin(c.flipTo);
        EXPECT_EQ(model().openAtLogin(), c.shown) << c.name;
        EXPECT_EQ(desktop.log.lines.size(), c.logLines) << c.name;
    }
    desktop.loginItem.needsApproval = false;
    model().setOpenAtLogin(true);
    desktop.loginItem.failWith = "Read-only file system";
    model().setOpenAtLogin(false);
    EXPECT_TRUE(model().openAtLogin());
    EXPECT_EQ(desktop.log.lines.back(),
              "PlenhallDesktop: login item change failed: Read-only file system");
}

TEST(SettingsVersion, MissingFieldsShowQuestionMarks) {
    const std::pair<BuildInfo, std::string> cases[] = {
        {BuildInfo{"1.2", "34", ""}, "Version 1.2 (34)"},
        {BuildInfo{"1.2", "", ""}, "Version 1.2 (?)"},
        {BuildInfo{}, "Version ? (?)"},
    };
    for (const auto& [info, expected] : cases) {
        FakeDefaults defaults;
        Prefs prefs(defaults);
        FakeHotKeys hotKeys;
        FakeMainQueue queue;
        FakeLog log;
        HotKey hotKey(hotKeys, queue, log, [](const UserInput&) {});
        FakeKeyMonitor monitor;
        FakeLoginItem login;
        SettingsModel model(
            {prefs, hotKey, monitor, login, log, info}, [] {}, [] {});
        EXPECT_EQ(model.version(), expected);
    }
}

}  // namespace
}  // namespace plenhall::testing

namespace plenhall::testing {
namespace {

// What the settings window says for each way the desktop can refuse a shortcut.
TEST(RefusalMessage, EachReasonHasItsOwnText) {
    const Shortcut shortcut{40, 0x300, "K"};
    const struct {
        HotKeyError::Reason reason;
        std::string message;
    } cases[] = {
        {HotKeyError::Reason::taken, "Shift+Super+K is already used by another app."},
        {HotKeyError::Reason::noSuchKey,
         "Shift+Super+K can't be used as a shortcut on this keyboard."},
        {HotKeyError::Reason::unsupported,
         "This desktop doesn't let apps set global shortcuts: in its keyboard settings, add a "
         "shortcut that runs plenhall-desktop plenhall:// to show or hide the calendar."},
        {HotKeyError::Reason::declined, "The desktop didn't set up Shift+Super+K."},
        {HotKeyError::Reason::noAnswer,
         "The desktop didn't answer when asked to set up Shift+Super+K."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusalMessage(shortcut, HotKeyError{c.reason, 2}), c.message);
}

TEST_F(Recorder, AKeyTheKeyboardLacksIsRefusedWithItsOwnMessage) {
    desktop.hotKeys.takenByOthers = {{40, 0x300}};
    desktop.hotKeys.refusal = HotKeyError{HotKeyError::Reason::noSuchKey, 2};
    model().startRecording();
    key(kCommandShiftK);
    EXPECT_EQ(model().shortcutError(),
              "Shift+Super+K can't be used as a shortcut on this keyboard. Try another.");
    EXPECT_TRUE(model().recording());
}

TEST_F(Recorder, ADesktopThatAsksTheUserFirstDecidesWhenRecordingEnds) {
    desktop.hotKeys.answerLater = true;
    model().startRecording();
    key(kCommandShiftK);
    EXPECT_TRUE(model().recording());  // the desktop's dialog is up

    desktop.hotKeys.answer(HotKeyError{HotKeyError::Reason::declined, 1});
    EXPECT_EQ(model().shortcutError(), "The desktop didn't set up Shift+Super+K. Try another.");
    EXPECT_TRUE(model().recording());
    EXPECT_EQ(prefs->shortcut(), defaultShortcut());

    key(kCommandShiftK);  // its dialog never comes back
    desktop.clock.advance(HotKey::kAnswerBound.count());
    EXPECT_EQ(model().shortcutError(),
              "The desktop didn't answer when asked to set up Shift+Super+K. Try again.");
    EXPECT_TRUE(model().recording());
    EXPECT_FALSE(desktop.hotKeys.waiting);

    key(kCommandShiftK);
    desktop.hotKeys.answer(HotKeyBinding{"Shift+Super+K"});
    EXPECT_FALSE(model().recording());
    EXPECT_EQ(model().shortcutError(), std::nullopt);
    EXPECT_EQ(prefs->shortcut().keyCode, 40);
    EXPECT_EQ(model().shortcutTitle(), "Shift+Super+K");
}

}  // namespace
}  // namespace plenhall::testing
