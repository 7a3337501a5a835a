#include "hotkey/hot_key.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;

class HotKeyTest : public ::testing::Test {
  protected:
    FakeHotKeys platform;
    FakeMainQueue queue;
    FakeLog log;
    std::vector<std::uint32_t> actions;  // the time of each press an action ran for
    HotKey hotKey{platform, queue, log,
                  [this](const UserInput& press) { actions.push_back(press.time); }};
};

TEST_F(HotKeyTest, PressesRunTheActionLaterOnTheMainQueueOncePerPress) {
    ASSERT_TRUE(hotKey.registerShortcut(Shortcut{8, 6400, "C"}));
    platform.press(UserInput{100, ""});
    platform.press(UserInput{200, ""});
    EXPECT_TRUE(actions.empty());
    EXPECT_EQ(queue.drain(), 2);
    EXPECT_THAT(actions, ElementsAre(100u, 200u));
}

TEST_F(HotKeyTest, RegisteringAgainDropsTheOldRegistrationFirst) {
    ASSERT_TRUE(hotKey.registerShortcut(Shortcut{8, 6400, "C"}));
    ASSERT_TRUE(hotKey.registerShortcut(Shortcut{8, 6400, "C"}));
    EXPECT_EQ(platform.unregisterCalls, 1);
    EXPECT_EQ(platform.registered, (FakeHotKeys::Combination{8, 6400}));
    EXPECT_TRUE(hotKey.isRegistered());
}

TEST_F(HotKeyTest, RefusalLogsOneLineAndLeavesNothingRegistered) {
    ASSERT_TRUE(hotKey.registerShortcut(Shortcut{40, 0x300, "K"}));
    platform.takenByOthers.push_back({8, 6400});
    EXPECT_FALSE(hotKey.registerShortcut(Shortcut{8, 6400, "C"}));
    EXPECT_FALSE(platform.registered);
    EXPECT_FALSE(hotKey.isRegistered());
    EXPECT_THAT(log.lines,
                ElementsAre("PlenhallDesktop: \u2303\u2325\u2318C unavailable (status 10)"));

    platform.refusal.status = -9878;
    EXPECT_FALSE(hotKey.registerShortcut(Shortcut{8, 6400, "%s%n"}));
    EXPECT_EQ(log.lines.back(),
              "PlenhallDesktop: \u2303\u2325\u2318%s%n unavailable (status -9878)");
}

TEST_F(HotKeyTest, UnregisterWithNothingRegisteredDoesNothing) {
    hotKey.unregister();
    EXPECT_EQ(platform.unregisterCalls, 0);
}

}  // namespace
}  // namespace plenhall::testing
