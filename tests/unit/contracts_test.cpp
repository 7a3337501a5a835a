// What users and stored files rely on, pinned once per surface: a typo here is a fault users see.
#include "settings/settings_view.h"
#include "support/app_fixture.h"
#include "web/offline_page.h"
#include "web/user_agent.h"

namespace plenhall::testing {
namespace {

struct Entry {
    std::string title;
    std::string keyEquivalent;
};

std::vector<Entry> entries(const Menu& menu) {
    std::vector<Entry> result;
    for (const auto& item : menu.items) {
        if (item.isSeparator) {
            result.push_back({"-", ""});
        } else if (item.submenu) {
            for (const auto& inner : entries(*item.submenu)) result.push_back(inner);
        } else {
            result.push_back({item.title, item.keyEquivalent});
        }
    }
    return result;
}

class Contracts : public AppFixture {
  public:
    void SetUp() override { launchOnboarded(); }
    const ViewNode* find(const ViewNode& node, const std::string& id) { return findNode(node, id); }
};

TEST_F(Contracts, MenuTitlesAndKeyEquivalents) {
    const struct {
        const char* menu;
        std::vector<std::pair<std::string, std::string>> items;
    } menus[] = {
        {"main",
         {{"Settings\u2026", ","},
          {"Hide Calendar", "w"},
          {"Reload", "r"},
          {"Quit", "q"},
          {"Undo", "z"},
          {"Redo", "Z"},
          {"-", ""},
          {"Cut", "x"},
          {"Copy", "c"},
          {"Paste", "v"},
          {"Select All", "a"},
          {"Actual Size", "0"},
          {"Zoom In", "+"},
          {"Zoom Out", "-"}}},
        {"status",
         {{"Show / Hide Calendar  Ctrl+Alt+Super+C", ""},
          {"Reload", ""},
          {"-", ""},
          {"Settings\u2026", ","},
          {"Check for Updates\u2026", ""},
          {"-", ""},
          {"Quit Plenhall", "q"}}},
    };
    for (const auto& expected : menus) {
        const Menu& menu = std::string(expected.menu) == "main" ? *desktop.application.mainMenu
                                                                : *statusItem().menu;
        auto actual = entries(menu);
        ASSERT_EQ(actual.size(), expected.items.size()) << expected.menu;
        for (std::size_t i = 0; i < actual.size(); ++i) {
            EXPECT_EQ(actual[i].title, expected.items[i].first) << expected.menu << " " << i;
            EXPECT_EQ(actual[i].keyEquivalent, expected.items[i].second) << actual[i].title;
        }
    }
    EXPECT_EQ(desktop.application.mainMenu->items[1].submenu->title, "Edit");
    EXPECT_EQ(desktop.application.mainMenu->items[2].submenu->title, "View");
}

TEST_F(Contracts, EveryFixedSettingsText) {
    const struct {
        const char* id;
        std::string settings;
        std::string welcome;
    } texts[] = {
        {"title", "Plenhall", "Welcome to Plenhall"},
        {"subtitle", "Your whole calendar, one shortcut away.",
         "Your whole calendar, one shortcut away."},
        {"shortcut-heading", "Shortcut", "Shortcut"},
        {"message", "Press it anywhere to open your calendar. Press it again to hide it.",
         "Press it anywhere to open your calendar. Press it again to hide it."},
        {"display-mode-heading", "Show the calendar as", "Show the calendar as"},
        {"open-at-login", "Open at login", "Open at login"},
        {"check-for-updates", "Check for Updates\u2026", "Check for Updates\u2026"},
        {"open-calendar", "Open calendar", "Open my calendar"},
        {"version", "Version 1.4.2 (42)", "Version 1.4.2 (42)"},
    };
    for (auto presentation : {Presentation::settings, Presentation::welcome}) {
        app->settings()->present(presentation);
        const ViewNode root = settingsView(app->settings()->model(), *prefs);
        for (const auto& t : texts) {
            const ViewNode* node = find(root, t.id);
            ASSERT_TRUE(node) << t.id;
            EXPECT_EQ(node->text, presentation == Presentation::welcome ? t.welcome : t.settings)
                << t.id;
        }
        const ViewNode* picker = find(root, "display-mode");
        ASSERT_TRUE(picker);
        ASSERT_EQ(picker->segments.size(), 2u);
        EXPECT_EQ(picker->segments[0].label, "Full screen");
        EXPECT_EQ(picker->segments[0].tag, "fullScreen");
        EXPECT_EQ(picker->segments[1].label, "Large window");
        EXPECT_EQ(picker->segments[1].tag, "largeWindow");
    }

    prefs->setShortcut(Shortcut{40, 0x300, "K"});
    app->settings()->model().startRecording();
    ViewNode recording = settingsView(app->settings()->model(), *prefs);
    EXPECT_EQ(find(recording, "shortcut")->text, "Press new shortcut\u2026");
    EXPECT_EQ(find(recording, "message")->text, "Esc to cancel.");
    app->settings()->model().stopRecording();
    EXPECT_EQ(find(settingsView(app->settings()->model(), *prefs), "reset")->text, "Reset");
    EXPECT_EQ(app->settings()->model().shortcutError(), std::nullopt);
    EXPECT_EQ(refusalMessage(Shortcut{1, 0x100, "S"}, HotKeyError{HotKeyError::Reason::taken, 10}),
              "Super+S is already used by another app.");
}

TEST_F(Contracts, LogLinesOfTheController) {
    desktop.hotKeys.takenByOthers = {{8, 6400}};
    (void)app->hotKey()->registerShortcut(defaultShortcut());
    desktop.loginItem.failWith = "Read-only file system";
    app->settings()->model().setOpenAtLogin(true);
    EXPECT_THAT(
        desktop.log.lines,
        ::testing::ElementsAre("PlenhallDesktop: Ctrl+Alt+Super+C unavailable (status 10)",
                               "PlenhallDesktop: login item change failed: Read-only file system"));
}

TEST(ContractsKeys, NamedKeyLabelsStoredAndShown) {
    // clang-format off
    const std::vector<std::tuple<std::uint32_t, std::string, std::string>> expected = {
        {49, "Space", "Space"}, {36, "\u21A9", "Return"}, {48, "\u21E5", "Tab"},
        {51, "\u232B", "BackSpace"}, {117, "\u2326", "Delete"}, {123, "\u2190", "Left"},
        {124, "\u2192", "Right"}, {126, "\u2191", "Up"}, {125, "\u2193", "Down"},
        {115, "\u2196", "Home"}, {119, "\u2198", "End"}, {116, "\u21DE", "Page Up"},
        {121, "\u21DF", "Page Down"}, {122, "F1", "F1"}, {120, "F2", "F2"}, {99, "F3", "F3"},
        {118, "F4", "F4"}, {96, "F5", "F5"}, {97, "F6", "F6"}, {98, "F7", "F7"},
        {100, "F8", "F8"}, {101, "F9", "F9"}, {109, "F10", "F10"}, {103, "F11", "F11"},
        {111, "F12", "F12"},
    };
    // clang-format on
    ASSERT_EQ(namedKeys().size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [keyCode, stored, shown] = expected[i];
        EXPECT_EQ(namedKeys()[i].keyCode, keyCode);
        EXPECT_EQ(namedKeys()[i].label, stored);
        EXPECT_EQ((Shortcut{keyCode, 0, stored}).display(), shown);
    }
}

TEST(ContractsUserAgent, ApplicationNameWithTheVersionOrZero) {
    EXPECT_EQ(applicationNameForUserAgent(BuildInfo{}),
              "Version/17.0 Safari/605.1.15 PlenhallDesktop/0");
    EXPECT_EQ(applicationNameForUserAgent(BuildInfo{"2.1", "", ""}),
              "Version/17.0 Safari/605.1.15 PlenhallDesktop/2.1");
}

TEST(ContractsOfflinePage, TextsAndTheWayBack) {
    const std::string page = offlinePage("https://plenhall.com/app");
    for (const char* text : {"<h1>Can't reach your calendar</h1>",
                             "<p>Check your internet connection, then try again.</p>",
                             "<a href=\"https://plenhall.com/app\">Try again</a>"})
        EXPECT_NE(page.find(text), std::string::npos) << text;
}

TEST_F(Contracts, CalendarWindow) {
    EXPECT_TRUE(calendar().keptAbove && calendar().onEveryWorkspace && calendar().skipTaskSwitcher);
    EXPECT_EQ(calendar().backgroundColor, Color::white());
    EXPECT_EQ(webView().configuration.applicationNameForUserAgent,
              "Version/17.0 Safari/605.1.15 PlenhallDesktop/1.4.2");
    EXPECT_EQ(webView().backForwardGestures, false);
    EXPECT_EQ(webView().loadedRequests.front(), (URLRequest{kTestStartURL, 0, 60.0}));

    prefs->setDisplayMode(DisplayMode::largeWindow);
    app->show();
    EXPECT_EQ(calendar().title, "Plenhall");
    EXPECT_EQ(calendar().style, Decoration::titledResizable);
    EXPECT_EQ(calendar().minSize, (Size{640, 480}));
    EXPECT_EQ(settingsWindow().title, "Plenhall");
    EXPECT_EQ(settingsWindow().style, Decoration::titledFixedSize);
    EXPECT_EQ(settingsWindow().currentFrame.width, 440);
    EXPECT_EQ(settingsWindow().currentFrame.height, 420);
}

}  // namespace
}  // namespace plenhall::testing
