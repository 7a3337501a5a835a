#include "settings/settings_view.h"

#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

const ViewNode* find(const ViewNode& node, const std::string& id) {
    return findNode(node, id);
}

std::vector<std::string> childIds(const ViewNode& node) {
    std::vector<std::string> ids;
    for (const auto& child : node.children)
        ids.push_back(child.id.empty() ? "<" + std::to_string(int(child.kind)) + ">" : child.id);
    return ids;
}

class SettingsViewTest : public AppFixture {
  public:
    void SetUp() override { launchOnboarded(); }
    SettingsModel& model() { return app->settings()->model(); }
    ViewNode tree() { return settingsView(model(), *prefs); }
    std::string textOf(const std::string& id) { return find(tree(), id)->text; }
};

TEST_F(SettingsViewTest, WelcomeHasTheSameControlsAsTheSettings) {
    app->settings()->present(Presentation::welcome);
    const ViewNode welcome = tree();
    app->settings()->present(Presentation::settings);
    const ViewNode later = tree();
    EXPECT_EQ(childIds(welcome), childIds(later));
}

TEST_F(SettingsViewTest, ShortcutButtonMessageAndReset) {
    struct Case {
        const char* name;
        Shortcut stored;
        bool recording;
        std::optional<std::string> error;
        std::string button;
        std::string message;
        TextColor color;
        bool reset;
    } cases[] = {
        {"default, idle", defaultShortcut(), false, std::nullopt, "Ctrl+Alt+Super+C",
         "Press it anywhere to open your calendar. Press it again to hide it.",
         TextColor::secondary, false},
        {"label differs only", Shortcut{8, 6400, "c"}, false, std::nullopt, "Ctrl+Alt+Super+c",
         "Press it anywhere to open your calendar. Press it again to hide it.",
         TextColor::secondary, true},
        {"modifiers differ only", Shortcut{8, 6912, "C"}, false, std::nullopt,
         "Shift+Ctrl+Alt+Super+C",
         "Press it anywhere to open your calendar. Press it again to hide it.",
         TextColor::secondary, true},
        {"recording hides Reset", Shortcut{40, 0x300, "K"}, true, std::nullopt,
         "Press new shortcut\u2026", "Esc to cancel.", TextColor::secondary, false},
        {"error while recording", Shortcut{40, 0x300, "K"}, true,
         "X is already used by another app. Try another.", "Press new shortcut\u2026",
         "X is already used by another app. Try another.", TextColor::red, false},
        {"error after cancelling", Shortcut{40, 0x300, "K"}, false,
         "X is already used by another app. Try another.", "Shift+Super+K",
         "X is already used by another app. Try another.", TextColor::red, true},
    };
    for (const auto& c : cases) {
        prefs->setShortcut(c.stored);
        if (c.recording) model().startRecording();
        if (c.error) {
            desktop.hotKeys.takenByOthers = {{1, 0x100}};
            if (!c.recording) model().startRecording();
            desktop.keyMonitor.keyDown(KeyEvent{1, ModifierFlag::command, "s", "s"});
            if (!c.recording) model().stopRecording();
        }
        const ViewNode root = tree();
        const ViewNode& message = *find(root, "message");
        EXPECT_EQ(find(root, "shortcut")->text, c.button) << c.name;
        EXPECT_EQ(message.text,
                  c.error ? "Super+S is already used by another app. Try another." : c.message)
            << c.name;
        EXPECT_EQ(message.color, c.color) << c.name;
        EXPECT_EQ(find(root, "reset") != nullptr, c.reset) << c.name;
        model().stopRecording();
        desktop.hotKeys.takenByOthers.clear();
        model().startRecording();  // clears the message
        model().stopRecording();
    }
}

TEST_F(SettingsViewTest, ScreenReadersHearTheKeysInWordsAndWhatTheRecorderDoes) {
    prefs->setShortcut(Shortcut{40, 0x300, "K"});
    const ViewNode idle = tree();
    const ViewNode& button = *find(idle, "shortcut");
    EXPECT_EQ(button.spokenKeys, (KeyCombination{40, 0x300}));
    EXPECT_EQ(button.accessibleDescription, find(idle, "message")->text);
    EXPECT_TRUE(find(idle, "message")->isStatus);
    EXPECT_EQ(find(idle, "shortcut-heading")->labelFor, "shortcut");
    EXPECT_EQ(find(idle, "display-mode-heading")->labelFor, "display-mode");
    EXPECT_EQ(find(idle, "display-mode")->accessibleName, "Show the calendar as");

    model().startRecording();
    EXPECT_FALSE(find(tree(), "shortcut")->spokenKeys);
    EXPECT_EQ(find(tree(), "shortcut")->accessibleDescription,
              "Listening for a new shortcut. Esc to cancel.");
    desktop.keyMonitor.keyDown(KeyEvent{1, 0, "s", "s"});  // no modifier: refused
    EXPECT_EQ(find(tree(), "shortcut")->accessibleDescription,
              "Include Ctrl, Alt or Super in the shortcut.");
}

TEST_F(SettingsViewTest, ControlsActThroughTheModelAndTheStore) {
    find(tree(), "shortcut")->action();
    EXPECT_TRUE(model().recording());
    find(tree(), "shortcut")->action();
    EXPECT_FALSE(model().recording());

    find(tree(), "display-mode")->onSelect("largeWindow");
    EXPECT_EQ(prefs->displayMode(), DisplayMode::largeWindow);
    EXPECT_EQ(find(tree(), "display-mode")->selectedTag, "largeWindow");

    desktop.loginItem.failWith = "refused";
    find(tree(), "open-at-login")->onToggle(true);
    EXPECT_FALSE(find(tree(), "open-at-login")->isOn);  // the toggle shows the truth, not the flip
    find(tree(), "open-at-login")->onToggle(true);
    EXPECT_TRUE(find(tree(), "open-at-login")->isOn);

    prefs->setShortcut(Shortcut{40, 0x300, "K"});
    find(tree(), "reset")->action();
    EXPECT_EQ(prefs->shortcut(), defaultShortcut());
}

TEST_F(SettingsViewTest, EveryAnnouncedChangeRendersAgain) {
    auto before = settingsWindow().invalidations;
    model().startRecording();
    prefs->setDisplayMode(DisplayMode::largeWindow);
    EXPECT_GE(settingsWindow().invalidations, before + 2);
    ASSERT_TRUE(settingsWindow().body);
    EXPECT_EQ(find(settingsWindow().body(), "shortcut")->text, "Press new shortcut\u2026");
}

class SettingsWindowTest : public AppFixture {
  public:
    void SetUp() override { launchOnboarded(); }
};

TEST_F(SettingsWindowTest, PresentingCentresUnderThePointerAndReadsTheLoginItemEachTime) {
    desktop.screens.all.push_back(Screen{{1440, 0, 1280, 800}, {1440, 30, 1280, 770}, 1});
    app->settings()->present(Presentation::welcome);
    EXPECT_TRUE(settingsWindow().visible);
    EXPECT_EQ(settingsWindow().activations, 1);
    EXPECT_EQ(settingsWindow().currentFrame, (Rect{500, 253, 440, 420}));
    EXPECT_FALSE(app->settings()->model().openAtLogin());

    desktop.loginItem.current = LoginItemStatus::enabled;  // changed outside the program
    desktop.screens.pointerAt = Point{2000, 400};
    app->settings()->present(Presentation::settings);
    EXPECT_TRUE(app->settings()->model().openAtLogin());
    EXPECT_FALSE(app->settings()->model().welcome());
    EXPECT_EQ(settingsWindow().currentFrame, (Rect{1860, 205, 440, 420}));
}

TEST_F(SettingsWindowTest, ClosingWhileIdleChangesNothing) {
    app->settings()->present(Presentation::welcome);
    const int writes = desktop.defaults.writes;
    settingsWindow().userCloses();
    EXPECT_FALSE(settingsWindow().visible);
    EXPECT_TRUE(app->settings()->model().welcome());
    EXPECT_EQ(desktop.defaults.writes, writes);
    EXPECT_EQ(desktop.hotKeys.registered, (FakeHotKeys::Combination{8, 6400}));
}

TEST_F(SettingsWindowTest, OpenCalendarClosesTheWindowAndShowsTheCalendar) {
    app->settings()->present(Presentation::welcome);
    app->settings()->model().startRecording();
    app->settings()->model().openCalendar();
    EXPECT_FALSE(settingsWindow().visible);
    EXPECT_TRUE(calendar().visible);
    EXPECT_FALSE(app->settings()->model().recording());
    EXPECT_EQ(desktop.hotKeys.registered, (FakeHotKeys::Combination{8, 6400}));
}

TEST_F(SettingsWindowTest, CheckForUpdatesFromSettingsLeavesTheCalendarAlone) {
    app->show();
    app->settings()->model().checkForUpdates();
    EXPECT_TRUE(calendar().visible);
    EXPECT_EQ(desktop.http.sent.size(), 1u);
}

}  // namespace
}  // namespace plenhall::testing
