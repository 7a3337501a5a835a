#include "hotkey/hot_key.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;

class HotKeyTest : public ::testing::Test {
  protected:
    Journal journal;
    FakeHotKeys platform{journal};
    FakeMainQueue queue;
    FakeLog log;
    int actions = 0;
    HotKey hotKey{platform, queue, log, [this] { ++actions; }};
};

TEST_F(HotKeyTest, PressesRunTheActionLaterOnTheMainQueueOncePerPress) {
    ASSERT_TRUE(hotKey.registerShortcut(Shortcut{8, 6400, "C"}));
    platform.press();
    platform.press();
    EXPECT_EQ(actions, 0);
    EXPECT_EQ(queue.drain(), 2);
    EXPECT_EQ(actions, 2);
}

TEST_F(HotKeyTest, RegisteringAgainDropsTheOldRegistrationFirst) {
    ASSERT_TRUE(hotKey.registerShortcut(Shortcut{8, 6400, "C"}));
    ASSERT_TRUE(hotKey.registerShortcut(Shortcut{8, 6400, "C"}));
    EXPECT_THAT(journal, ElementsAre("hotKeys.installPressHandler", "hotKeys.register 8/6400",
                                     "hotKeys.unregister", "hotKeys.register 8/6400"));
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
