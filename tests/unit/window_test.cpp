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
            {Point{-5, -5}, {kLeft, kRight}, std::nullopt, kLeft},
            {Point{-5, -5}, {}, std::nullopt, std::nullopt},
            {Point{10, 10}, {broken, endless, kRight}, broken, kRight},
            {Point{0, 0}, {flat}, std::nullopt, flat}};
    for (const auto& [pointer, screens, main, expected] : cases)
        EXPECT_EQ(targetScreen(pointer, screens, main), expected);
}

TEST(LargeFrame, TheRememberedOneWhenLargeEnoughAndOnTheScreen) {
    const Rect visible{0, 25, 1440, 875};
    EXPECT_EQ(largeWindowFrame("{{100, 100}, {640, 480}}", visible), (Rect{100, 100, 640, 480}));
    EXPECT_EQ(largeWindowFrame("{{1440, 100}, {800, 600}}", visible), defaultLargeFrame(visible));
    EXPECT_EQ(largeWindowSize("{{-3000, 0}, {640, 479}}", visible), (Size{1296, 788}));
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
                                                  {"{{1, 2}, {3, in", Rect{1, 2, 3, 0}},
                                                  {"{{1, 2}, {3, 4e999}}", Rect{}},
                                                  {"- + -x 5", Rect{5, 0, 0, 0}}};
    for (const auto& [text, rect] : cases) EXPECT_EQ(rectFromString(text), rect) << text;
}

}  // namespace
}  // namespace plenhall::testing
