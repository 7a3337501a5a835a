#include "prefs/page_zoom.h"

#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

TEST(PageZoom, StepsStopAtBothEnds) {
    const struct {
        int from, in, out;
    } cases[] = {{100, 110, 90}, {30, 50, 30}, {300, 300, 250}, {67, 80, 50}, {115, 125, 110}};
    for (const auto& c : cases) {
        EXPECT_EQ(zoomedIn(c.from), c.in) << c.from;
        EXPECT_EQ(zoomedOut(c.from), c.out) << c.from;
    }
}

TEST(PageZoom, OnlyAStoredStepIsTakenAnythingElseIsActualSize) {
    const std::pair<std::optional<std::string>, int> cases[] = {
        {"125", 125},
        {"30", 30},
        {"300", 300},
        {std::nullopt, 100},
        {"", 100},
        {"115", 100},
        {"0", 100},
        {"-50", 100},
        {"125 ", 100},
        {"1.25", 100},
        {"abc", 100},
        {"310", 100},
        {"99999999999999999", 100},
    };
    for (const auto& [stored, expected] : cases) {
        EXPECT_EQ(pageZoomFromStored(stored), expected) << stored.value_or("(none)");
    }
}

class Zoom : public AppFixture {
  public:
    void SetUp() override { launchOnboarded(); }
    void press(MenuAction action) { desktop.application.mainMenuTarget->performMenuAction(action); }
};

TEST_F(Zoom, KeysZoomTheShownCalendarAndTheNextRunKeepsIt) {
    app->show();
    calendarBecomesKey();
    press(MenuAction::zoomIn);
    press(MenuAction::zoomIn);
    EXPECT_DOUBLE_EQ(webView().pageZoom, 1.25);
    EXPECT_EQ(desktop.defaults.stringForKey("pageZoom"), "125");

    app.reset();
    launch();
    EXPECT_DOUBLE_EQ(webView().pageZoom, 1.25);

    app->show();
    calendarBecomesKey();
    press(MenuAction::zoomOut);
    EXPECT_DOUBLE_EQ(webView().pageZoom, 1.1);
    press(MenuAction::actualSize);
    EXPECT_DOUBLE_EQ(webView().pageZoom, 1.0);
    EXPECT_EQ(desktop.defaults.stringForKey("pageZoom"), "100");
}

TEST_F(Zoom, TheKeysDoNothingInTheSettingsWindow) {
    statusItem().click(3);  // "Settings…"
    settingsWindow().key = true;
    for (auto action : {MenuAction::zoomIn, MenuAction::zoomOut, MenuAction::actualSize})
        press(action);
    EXPECT_DOUBLE_EQ(webView().pageZoom, 1.0);
    EXPECT_FALSE(desktop.defaults.stringForKey("pageZoom"));
}

}  // namespace
}  // namespace plenhall::testing
