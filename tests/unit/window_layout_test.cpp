#include "window/window_layout.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "support/fake_platform.h"
#include "window/frame_text.h"

namespace plenhall::testing {
namespace {

const Screen kLeft{{0, 0, 1440, 900}, {0, 25, 1440, 875}};
const Screen kRight{{1440, 0, 1920, 1080}, {1440, 0, 1920, 1040}};

TEST(TargetScreen, PointerScreenElseMainElseFirst) {
    const std::vector<Screen> both{kLeft, kRight};
    EXPECT_EQ(targetScreen(Point{2000, 500}, both, kLeft), kRight);
    EXPECT_EQ(targetScreen(Point{10, 10}, both, kRight), kLeft);
    EXPECT_EQ(targetScreen(Point{1440, 0}, both, kLeft),
              kRight);  // the border belongs to one screen
    EXPECT_EQ(targetScreen(Point{-5, -5}, both, kRight), kRight);  // in no screen: the main one
    EXPECT_EQ(targetScreen(Point{-5, -5}, both, std::nullopt), kLeft);
    EXPECT_EQ(targetScreen(Point{-5, -5}, {}, std::nullopt), std::nullopt);
    // Screens no desktop could have are passed over.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Screen broken{{0, 0, -5, 800}, {0, 0, nan, 800}};
    const Screen endless{{1e308, 0, 1e308, 800}, {1e308, 0, 1e308, 800}};
    EXPECT_EQ(targetScreen(Point{10, 10}, {broken, endless, kRight}, broken), kRight);
    EXPECT_EQ(targetScreen(Point{10, 10}, {broken, endless}, std::nullopt), std::nullopt);
}

TEST(DefaultLargeFrame, NinetyPercentRoundedHalfAwayFromZeroAndCentred) {
    EXPECT_EQ(defaultLargeFrame({0, 0, 1440, 875}), (Rect{72, 43.5, 1296, 788}));  // 787.5 → 788
    EXPECT_EQ(defaultLargeFrame({1440, 0, 1920, 1040}), (Rect{1536, 52, 1728, 936}));
}

TEST(RememberedFrame, UsedOnlyWhenLargeEnoughAndOnTheScreen) {
    const Rect visible{0, 25, 1440, 875};
    const Rect fallback = defaultLargeFrame(visible);
    const std::pair<const char*, Rect> cases[] = {
        {"{{100, 100}, {640, 480}}", Rect{100, 100, 640, 480}},
        {"{{100, 100}, {639, 900}}", fallback},
        {"{{100, 100}, {900, 479}}", fallback},
        {"{{1200, 800}, {800, 600}}", Rect{1200, 800, 800, 600}},  // partly on screen: unchanged
        {"{{3000, 100}, {800, 600}}", fallback},                   // a detached screen
        {"{{1440, 100}, {800, 600}}", fallback},                   // touches the edge only
        {"garbage", fallback},
        {"{{nan, 0}, {800, 600}}", fallback},    // not finite: unreadable
        {"{{1e999, 0}, {800, 600}}", fallback},  // not finite: unreadable
        {"{{0, 0}, {1e400, 600}}", fallback},
        {"", fallback},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(largeWindowFrame(std::string(text), visible), expected) << text;
    }
    EXPECT_EQ(largeWindowFrame(std::nullopt, visible), fallback);
}

TEST(FrameText, WritesShortestNumbersAndReadsLeniently) {
    EXPECT_EQ(frameToString({72, 43.5, 1296, 788}), "{{72, 43.5}, {1296, 788}}");
    EXPECT_EQ(frameToString({-0.0, -12.25, 0.1, 1e20}), "{{0, -12.25}, {0.1, 1e+20}}");
    for (const Rect r : {Rect{72, 43.5, 1296, 788}, Rect{-1920, -0.1, 1234567.891, 3}}) {
        EXPECT_EQ(rectFromString(frameToString(r)), r);
    }
    EXPECT_EQ(rectFromString("{{1, 2}}"), (Rect{1, 2, 0, 0}));
    EXPECT_EQ(rectFromString("x=+3 y=-.5 w=1e3"), (Rect{3, -0.5, 1000, 0}));
    EXPECT_EQ(rectFromString("{{-INF, 1}, {2, 3}}"), Rect{});
    EXPECT_EQ(rectFromString("{{1, 2}, {3, information}}"), Rect{});
    EXPECT_EQ(rectFromString("{{1, 2}, {3, 4}} {5}"), (Rect{1, 2, 3, 4}));
}

class Layout : public ::testing::Test {
  protected:
    FakeDefaults defaults;
    FakeScreens screens;
    FakeWindow window{"calendar"};
};

TEST_F(Layout, FullScreenCoversThePointersWholeScreen) {
    screens.all = {kLeft, kRight};
    screens.main = kLeft;
    screens.pointerAt = {1500, 10};
    Prefs prefs(defaults);
    window.title = "kept";
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, kRight.frame);
    EXPECT_EQ(window.style, Decoration::none);
    EXPECT_EQ(window.title, "kept");
    EXPECT_FALSE(window.minSize);
}

TEST_F(Layout, LargeWindowCentresOnThePointersVisibleFrameOrUsesTheRememberedOne) {
    screens.all = {kLeft, kRight};
    screens.pointerAt = {1500, 10};
    defaults.setString("displayMode", "largeWindow");
    Prefs prefs(defaults);
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, defaultLargeFrame(kRight.workArea));
    EXPECT_EQ(window.style, Decoration::titledResizable);
    EXPECT_EQ(window.title, "Plenhall");
    EXPECT_EQ(window.minSize, (Size{640, 480}));

    window.currentFrame = {1500, 100, 900, 700};  // the user moved and resized it
    rememberLargeFrame(window, prefs);
    EXPECT_EQ(defaults.stringForKey("largeWindowFrame"), "{{1500, 100}, {900, 700}}");
    window.currentFrame = {};
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, (Rect{1500, 100, 900, 700}));

    screens.pointerAt = {10, 10};  // remembered on the other screen, not touching this one
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, defaultLargeFrame(kLeft.workArea));
}

TEST_F(Layout, NoScreenMeansNoLayout) {
    defaults.setString("displayMode", "largeWindow");
    Prefs prefs(defaults);
    screens.all.clear();
    screens.main.reset();
    window.frameHistory.clear();
    layoutWindow(window, screens, prefs);
    EXPECT_TRUE(window.frameHistory.empty());
}

TEST_F(Layout, WhereTheDesktopPlacesWindowsOnlyFullScreenOrASizeIsAskedFor) {
    screens.all = {kLeft, kRight};
    screens.main = kRight;
    screens.pointerAt.reset();  // a Wayland desktop, or XWayland's stale pointer
    Prefs prefs(defaults);
    layoutWindow(window, screens, prefs);
    ASSERT_TRUE(window.fullScreen);
    EXPECT_EQ(window.fullScreen->id, FakeWindow::kDesktopsChoice);

    // XWayland: the main screen, for want of the pointer.
    prefs.setDisplayMode(DisplayMode::largeWindow);
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, defaultLargeFrame(kRight.workArea));

    // Wayland: the remembered size comes back wherever the desktop puts it.
    screens.placesWindows = false;
    const std::pair<const char*, Size> cases[] = {
        {"{{0, 0}, {900, 700}}", Size{900, 700}},
        {"{{-3000, 9000}, {640, 480}}", Size{640, 480}},  // the origin means nothing here
        {"{{0, 0}, {639, 700}}", Size{1728, 936}},        // too small: the default
        {"garbage", Size{1728, 936}},
    };
    for (const auto& [text, size] : cases) {
        defaults.setString("largeWindowFrame", text);
        layoutWindow(window, screens, prefs);
        EXPECT_FALSE(window.fullScreen) << text;
        EXPECT_EQ(window.currentFrame, (Rect{0, 0, size.width, size.height})) << text;
    }
}

TEST_F(Layout, FullScreenNeverWritesTheRememberedFrame) {
    Prefs prefs(defaults);
    rememberLargeFrame(window, prefs);
    EXPECT_FALSE(defaults.stringForKey("largeWindowFrame"));
    prefs.setDisplayMode(DisplayMode::largeWindow);
    rememberLargeFrame(window, prefs);
    rememberLargeFrame(window, prefs);  // written every time, even unchanged
    EXPECT_EQ(defaults.writes, 3);
}

}  // namespace
}  // namespace plenhall::testing
