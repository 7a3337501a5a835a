// Where the calendar goes: the screen, the frame, and the frame remembered between showings.
#include "window/window_layout.h"

#include <gtest/gtest.h>

#include <limits>

#include "support/fake_platform.h"
#include "window/frame_text.h"

namespace plenhall::testing {
namespace {

const Screen kLeft{{0, 0, 1440, 900}, {0, 25, 1440, 875}};
const Screen kRight{{1440, 0, 1920, 1080}, {1440, 0, 1920, 1040}};

TEST(TargetScreen, ThePointersElseTheMainElseAny) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Screen broken{{0, 0, -5, 800}, {0, 0, nan, 800}};  // no desktop has these
    const Screen endless{{1e308, 0, 1e308, 800}, {1e308, 0, 1e308, 800}};
    const Screen flat{{0, 0, 0, 0}, {0, 0, 0, 0}};
    const std::tuple<std::optional<Point>, std::vector<Screen>, std::optional<Screen>,
                     std::optional<Screen>>
        cases[] = {
            {Point{2000, 500}, {kLeft, kRight}, kLeft, kRight},
            {Point{10, 10}, {kLeft, kRight}, kRight, kLeft},
            {Point{1440, 0}, {kLeft, kRight}, kLeft, kRight},  // a border belongs to one screen
            {Point{-5, -5}, {kLeft, kRight}, kRight, kRight},
            {std::nullopt, {kLeft, kRight}, kRight, kRight},
            {Point{-5, -5}, {kLeft, kRight}, std::nullopt, kLeft},
            {Point{-5, -5}, {}, std::nullopt, std::nullopt},
            {Point{10, 10}, {broken, endless, kRight}, broken, kRight},
            {Point{10, 10}, {broken, endless}, std::nullopt, std::nullopt},
            {Point{0, 0}, {flat}, std::nullopt, flat}};
    for (const auto& [pointer, screens, main, expected] : cases)
        EXPECT_EQ(targetScreen(pointer, screens, main), expected);
}

TEST(LargeFrame, NinetyPercentCentredOrTheRememberedOne) {
    EXPECT_EQ(defaultLargeFrame({0, 0, 1440, 875}), (Rect{72, 43.5, 1296, 788}));  // 787.5 → 788
    EXPECT_EQ(defaultLargeFrame({1440, 0, 1920, 1040}), (Rect{1536, 52, 1728, 936}));
    const Rect visible{0, 25, 1440, 875};
    const Rect fallback = defaultLargeFrame(visible);
    const std::tuple<const char*, Rect, Size> cases[] = {
        // remembered, the frame where windows place themselves, the size elsewhere
        {"{{100, 100}, {640, 480}}", Rect{100, 100, 640, 480}, Size{640, 480}},
        {"{{100, 100}, {639, 900}}", fallback, Size{1296, 788}},
        {"{{100, 100}, {900, 479}}", fallback, Size{1296, 788}},
        {"{{1200, 800}, {800, 600}}", Rect{1200, 800, 800, 600}, Size{800, 600}},  // partly on it
        {"{{-3000, 9000}, {800, 600}}", fallback, Size{800, 600}},  // origin elsewhere
        {"{{1440, 100}, {800, 600}}", fallback, Size{800, 600}},    // touches the edge only
        {"garbage", fallback, Size{1296, 788}},
        {"{{nan, 0}, {800, 600}}", fallback, Size{1296, 788}},  // not finite: unreadable
        {"{{1e999, 0}, {800, 600}}", fallback, Size{1296, 788}}};
    for (const auto& [text, frame, size] : cases) {
        EXPECT_EQ(largeWindowFrame(std::string(text), visible), frame) << text;
        EXPECT_EQ(largeWindowSize(std::string(text), visible), size) << text;
    }
    EXPECT_EQ(largeWindowFrame(std::nullopt, visible), fallback);
    EXPECT_EQ(largeWindowSize(std::nullopt, visible), (Size{1296, 788}));
    EXPECT_EQ(centeredFrame(Size{440, 420}, kLeft.visibleFrame), (Rect{500, 253, 440, 420}));
}

TEST(FrameText, ShortestNumbersWrittenLenientlyRead) {
    EXPECT_EQ(frameToString({72, 43.5, 1296, 788}), "{{72, 43.5}, {1296, 788}}");
    EXPECT_EQ(frameToString({-0.0, -12.25, 0.1, 1e20}), "{{0, -12.25}, {0.1, 1e+20}}");
    const Rect odd{-1920, -0.1, 1234567.891, 3};
    EXPECT_EQ(rectFromString(frameToString(odd)), odd);
    const std::pair<const char*, Rect> cases[] = {{"{{1, 2}}", Rect{1, 2, 0, 0}},
                                                  {"x=+3 y=-.5 w=1e3 h=.", Rect{3, -0.5, 1000, 0}},
                                                  {"{{1, 2}, {3, 4}} {5}", Rect{1, 2, 3, 4}},
                                                  {"{{-INF, 1}, {2, 3}}", Rect{}},
                                                  {"{{1, 2}, {3, information}}", Rect{}},
                                                  {"{{1, 2}, {3, Nan}}", Rect{}},
                                                  {"{{1, 2}, {3, in", Rect{1, 2, 3, 0}},
                                                  {"{{1, 2}, {3, 4e999}}", Rect{}},
                                                  {"- + -x 5", Rect{5, 0, 0, 0}}};
    for (const auto& [text, rect] : cases) EXPECT_EQ(rectFromString(text), rect) << text;
}

class Layout : public ::testing::Test {
  protected:
    void SetUp() override {
        screens.all = {kLeft, kRight};
        screens.main = kLeft;
        screens.pointer = {1500, 10};
    }
    FakeDefaults defaults;
    Prefs prefs{defaults};
    FakePlatform desktop;
    decltype(desktop.screens)& screens = desktop.screens;
    FakeWindow window{desktop.mainQueue};
};

TEST_F(Layout, FullScreenCoversThePointersScreenOrTheOneTheDesktopChooses) {
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.fullScreen, kRight);
    EXPECT_EQ(window.style, WindowStyle::borderless);
    EXPECT_FALSE(window.minSize);
    screens.pointer.reset();  // Wayland, or XWayland's stale pointer
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.fullScreen->id, FakeWindow::kDesktopsChoice);
    rememberLargeFrame(window, prefs);  // never in full screen
    EXPECT_TRUE(defaults.entries.empty());
    screens.all.clear(), screens.main.reset();
    window.currentFrame = {};
    layoutWindow(window, screens, prefs);  // no screen: no layout
    EXPECT_EQ(window.currentFrame, Rect{});
}

TEST_F(Layout, ALargeWindowWhereItWasLeftOrCentred) {
    prefs.setDisplayMode(DisplayMode::largeWindow);
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, defaultLargeFrame(kRight.visibleFrame));
    EXPECT_FALSE(window.fullScreen);
    EXPECT_EQ(window.style, WindowStyle::titledResizable);
    EXPECT_EQ(window.title, "Plenhall");
    EXPECT_EQ(window.minSize, (Size{640, 480}));
    window.currentFrame = {1500, 100, 900, 700};  // moved and resized by the user
    rememberLargeFrame(window, prefs);
    window.currentFrame = {};
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, (Rect{1500, 100, 900, 700}));
    screens.pointer = {10, 10};  // remembered on the other screen
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, defaultLargeFrame(kLeft.visibleFrame));
    screens.placesWindows = false;  // Wayland: the size comes back wherever the desktop puts it
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, (Rect{0, 0, 900, 700}));
    screens.pointer.reset();  // the main screen, for want of the pointer
    defaults.entries.clear();
    layoutWindow(window, screens, prefs);
    EXPECT_EQ(window.currentFrame, (Rect{0, 0, 1296, 788}));
}

}  // namespace
}  // namespace plenhall::testing
