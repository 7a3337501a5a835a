// What the core does when the desktop's shortcut service (Wayland's portal) leaves the bus and
// comes back: the backend only reports it.

#include <gtest/gtest.h>

#include "hotkey/hot_key.h"
#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

const Shortcut kC{8, 6400, "C"};

class PortalRestart : public ::testing::Test {
  protected:
    // The service goes, with the binding and any registration under way.
    void leave() {
        platform.registered.reset();
        platform.waiting.reset();
        platform.done = nullptr;
        platform.onService(HotKeyService::left);
    }
    bool asked() const { return platform.registered || platform.waiting; }

    FakeHotKeys platform;
    FakeMainQueue queue;
    FakeLog log;
    HotKey hotKey{platform, queue, log, [](const UserInput&) {}};
};

TEST_F(PortalRestart, TheShortcutIsBoundAgainAtOnceUntilTheServiceKeepsLeaving) {
    platform.trigger = "Ctrl+Alt+Super+C";
    hotKey.registerShortcut(kC);
    int changes = 0;
    auto subscription = hotKey.subscribeChanges([&] { ++changes; });
    for (int i = 0; i <= HotKey::kMostServiceRestarts; ++i) leave();  // bound again each time
    EXPECT_TRUE(asked());
    EXPECT_EQ(changes, 0);  // the same keys are no news
    platform.trigger = "Super+K";
    leave();
    EXPECT_EQ(hotKey.triggerText(kC), "Super+K");
    EXPECT_EQ(changes, 1);

    platform.answerLater = true;  // it leaves again before answering, and again
    for (int i = 0; i < HotKey::kMostServiceRestarts; ++i) {
        leave();
        EXPECT_TRUE(asked());
    }
    leave();
    EXPECT_FALSE(asked());
    EXPECT_EQ(log.lines.size(), 1u);
    platform.onService(HotKeyService::back);
    EXPECT_FALSE(asked());
}

TEST_F(PortalRestart, ABindingRefusedAfterADepartureIsAskedForWhenTheServiceIsBack) {
    hotKey.registerShortcut(kC);
    platform.answerLater = true;
    platform.onService(HotKeyService::back);  // nothing was lost
    EXPECT_FALSE(platform.waiting);

    leave();
    ASSERT_TRUE(platform.answer(HotKeyError{HotKeyError::Reason::unsupported, 0}));
    EXPECT_EQ(log.lines.size(), 1u);
    platform.onService(HotKeyService::back);
    EXPECT_TRUE(platform.waiting);
    EXPECT_TRUE(hotKey.isRegistered());
}

TEST_F(PortalRestart, ARegistrationUnderWayIsAskedAgainAndEndsUnsupportedWhenItKeepsLeaving) {
    platform.answerLater = true;
    std::vector<HotKeyRegistration> answers;
    hotKey.registerShortcut(kC, [&](const HotKeyRegistration& r) { answers.push_back(r); });
    for (int i = 0; i < HotKey::kMostServiceRestarts; ++i) leave();
    EXPECT_TRUE(platform.waiting);
    EXPECT_TRUE(answers.empty());
    leave();
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].error().reason, HotKeyError::Reason::unsupported);
    EXPECT_EQ(hotKey.state(), HotKey::State::refused);
}

}  // namespace
}  // namespace plenhall::testing
