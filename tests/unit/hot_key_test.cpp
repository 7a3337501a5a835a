#include "hotkey/hot_key.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;

const Shortcut kC{8, 6400, "C"};
const Shortcut kK{40, 0x300, "K"};

class HotKeyTest : public ::testing::Test {
  protected:
    FakeHotKeys platform;
    FakeMainQueue queue;
    FakeLog log;
    std::vector<std::uint32_t> actions;  // the time of each press an action ran for
    HotKey hotKey{platform, queue, log,
                  [this](const UserInput& press) { actions.push_back(press.time); }};
    std::vector<bool> answers;
    std::function<void(const HotKeyRegistration&)> recordAnswer() {
        return [this](const HotKeyRegistration& r) { answers.push_back(r.ok()); };
    }
};

TEST_F(HotKeyTest, PressesRunTheActionLaterOnTheMainQueueOncePerPress) {
    hotKey.registerShortcut(kC);
    ASSERT_TRUE(hotKey.isRegistered());
    platform.press(UserInput{100, ""});
    platform.press(UserInput{200, ""});
    EXPECT_TRUE(actions.empty());
    EXPECT_EQ(queue.drain(), 2);
    EXPECT_THAT(actions, ElementsAre(100u, 200u));
}

TEST_F(HotKeyTest, RefusalLogsOneLineAndLeavesNothingRegistered) {
    hotKey.registerShortcut(kK);
    platform.takenByOthers.push_back({8, 6400});
    hotKey.registerShortcut(kC, recordAnswer());
    EXPECT_THAT(answers, ElementsAre(false));
    EXPECT_FALSE(platform.registered);
    EXPECT_EQ(hotKey.state(), HotKey::State::refused);
    EXPECT_EQ(hotKey.refusal()->reason, HotKeyError::Reason::taken);
    EXPECT_THAT(log.lines,
                ElementsAre("PlenhallDesktop: Ctrl+Alt+Super+C unavailable (status 10)"));

    platform.refusal.status = -9878;
    hotKey.registerShortcut(Shortcut{8, 6400, "%s%n"});
    EXPECT_EQ(log.lines.back(),
              "PlenhallDesktop: Ctrl+Alt+Super+%s%n unavailable (status -9878)");
}

TEST_F(HotKeyTest, ADesktopThatAsksFirstAnswersLaterInItsOwnWords) {
    platform.answerLater = true;
    int changes = 0;
    auto subscription = hotKey.subscribeChanges([&] { ++changes; });

    hotKey.registerShortcut(kC, recordAnswer());
    EXPECT_EQ(hotKey.state(), HotKey::State::waiting);
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(hotKey.triggerText(kC), kC.display());  // nothing bound yet: our own glyphs

    changes = 0;
    ASSERT_TRUE(platform.answer(HotKeyBinding{"Ctrl+Alt+Super+C"}));
    EXPECT_THAT(answers, ElementsAre(true));
    EXPECT_TRUE(hotKey.isRegistered());
    EXPECT_EQ(hotKey.triggerText(kC), "Ctrl+Alt+Super+C");
    EXPECT_EQ(changes, 1);

    // The user rebinds it in the desktop's own settings.
    platform.bindingChanged(HotKeyBinding{"Super+K"});
    EXPECT_EQ(hotKey.triggerText(kC), "Super+K");
    EXPECT_EQ(changes, 2);

    // A registration with nothing to add reads as the shortcut itself.
    platform.answerLater = false;
    hotKey.registerShortcut(kK);
    EXPECT_EQ(hotKey.triggerText(kK), kK.display());
}

TEST_F(HotKeyTest, AnAnswerForAReplacedOrDroppedRegistrationIsIgnored) {
    platform.answerLater = true;
    hotKey.registerShortcut(kK, recordAnswer());
    auto lateAnswer = std::exchange(platform.waitingDone, nullptr);
    hotKey.registerShortcut(kC, recordAnswer());
    lateAnswer(HotKeyBinding{"Super+K"});
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(hotKey.state(), HotKey::State::waiting);

    lateAnswer = std::exchange(platform.waitingDone, nullptr);
    hotKey.unregister();
    lateAnswer(HotKeyError{HotKeyError::Reason::declined, 1});
    EXPECT_TRUE(answers.empty());
    EXPECT_EQ(hotKey.state(), HotKey::State::unregistered);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(HotKeyTest, ADesktopThatNeverAnswersIsGivenUpAtTheBound) {
    using namespace std::chrono_literals;
    platform.answerLater = true;
    hotKey.registerShortcut(kC, recordAnswer());
    auto lateAnswer = platform.waitingDone;
    queue.elapse(HotKey::kAnswerBound - 1ms);
    EXPECT_EQ(hotKey.state(), HotKey::State::waiting);

    queue.elapse(1ms);
    EXPECT_THAT(answers, ElementsAre(false));
    EXPECT_EQ(hotKey.state(), HotKey::State::refused);
    EXPECT_EQ(hotKey.refusal()->reason, HotKeyError::Reason::noAnswer);
    EXPECT_FALSE(platform.waiting);  // withdrawn from the desktop
    EXPECT_THAT(log.lines,
                ElementsAre("PlenhallDesktop: Ctrl+Alt+Super+C unavailable (status 0)"));
    lateAnswer(HotKeyBinding{"Super+C"});
    EXPECT_EQ(hotKey.state(), HotKey::State::refused);

    // Answered in time, a registration stays as the desktop said.
    hotKey.registerShortcut(kK, recordAnswer());
    ASSERT_TRUE(platform.answer(HotKeyBinding{"Super+K"}));
    queue.elapse(HotKey::kAnswerBound);
    EXPECT_THAT(answers, ElementsAre(false, true));
    EXPECT_TRUE(hotKey.isRegistered());
}

TEST_F(HotKeyTest, UnregisterWithNothingRegisteredDoesNothing) {
    hotKey.unregister();
    EXPECT_EQ(platform.unregisterCalls, 0);
}

}  // namespace
}  // namespace plenhall::testing
