// The settings window: the shortcut recorder, the controls and what the window shows.
#include <sstream>

#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

using Keys = FakeHotKeys::Keys;
using Reason = HotKeyError::Reason;
const Shortcut kK{40, 0x300, "K"};
const Keys kC{54, Modifier::control | Modifier::alt | Modifier::super},
    kKKeys{45, Modifier::shift | Modifier::super};

class Settings : public AppFixture {
  public:
    void SetUp() override { launch(); }
    // What the user and the desktop do, in words: "start Super+Shift+K".
    void act(const std::string& steps) {
        std::istringstream words(steps);
        for (std::string w; words >> w;) {
            auto key = [&](std::uint16_t code, std::uint32_t flags) {
                desktop.keyMonitor.keyDown(KeyEvent{code, flags, "k", "k"});
            };
            using namespace Modifier;
            if (w == "start" || w == "stop") settingsNode("shortcut").action();
            if (w == "reset") settingsNode("reset").action();
            if (w == "close") settingsWindow().close();
            if (w == "K") key(45, 0);
            if (w == "Shift+K") key(45, shift);
            if (w == "Super+Shift+K") key(45, super | shift);
            if (w == "Super+S") key(39, super);
            if (w == "Esc") key(9, 0);
            if (w == "Super+Esc") key(9, super);
            if (w == "takenK") desktop.hotKeys.taken = {kKKeys};
            if (w == "takenC") desktop.hotKeys.taken = {kC};
            if (w == "free") desktop.hotKeys.taken.clear();
        }
    }
    std::optional<std::string> refused(const Shortcut& s, Reason r,
                                       RefusalAdvice advice = RefusalAdvice::tryAnother) {
        return refusalMessage(s, HotKeyError{r}, advice);
    }
};

TEST_F(Settings, Recorder) {
    const auto takenK = refused(kK, Reason::taken);
    const auto takenC = refused(defaultShortcut(), Reason::taken, RefusalAdvice::none);
    const std::optional<std::string> any = "*";  // a message pinned with the other texts
    const std::tuple<const char*, bool, std::optional<std::string>, std::optional<Keys>, Shortcut>
        steps[] = {// what happens; then recording, the message, the live keys, the stored shortcut
                   {"start", true, std::nullopt, std::nullopt, defaultShortcut()},
                   {"K Shift+K", true, any, std::nullopt, defaultShortcut()},
                   {"takenK Super+Shift+K", true, takenK, std::nullopt, defaultShortcut()},
                   {"Esc", false, takenK, kC, defaultShortcut()},  // the message stays
                   {"start", true, std::nullopt, std::nullopt, defaultShortcut()},
                   {"Super+Shift+K free Super+Shift+K", false, std::nullopt, kKKeys, kK},
                   {"start Super+Shift+K start Super+Esc", false, std::nullopt, kKKeys, kK},
                   {"start close", false, std::nullopt, kKKeys, kK},
                   {"takenC reset", false, takenC, kKKeys, kK},
                   {"free reset", false, std::nullopt, kC, defaultShortcut()}};
    for (const auto& [what, listening, message, live, stored] : steps) {
        act(what);
        EXPECT_EQ(settingsNode("message").color == TextColor::red, message.has_value()) << what;
        if (message && message != any) {
            EXPECT_EQ(settingsNode("message").text, *message) << what;
        }
        EXPECT_EQ(desktop.hotKeys.registered, live) << what;
        EXPECT_EQ(prefs->shortcut(), stored) << what;
        // Every press is the recorder's while it listens.
        EXPECT_EQ(recording(), listening) << what;
    }
}

TEST_F(Settings, ADesktopThatAsksTheUserFirstDecidesWhenRecordingEnds) {
    desktop.hotKeys.answerLater = true;
    act("start stop start");  // the stored keys waited on the desktop: withdrawn
    EXPECT_FALSE(desktop.hotKeys.waiting);
    act("Super+Shift+K");
    EXPECT_TRUE(recording());  // the desktop's dialog is up
    desktop.hotKeys.answer(HotKeyError{Reason::declined, 1});
    EXPECT_EQ(settingsNode("message").text, refused(kK, Reason::declined));
    act("Super+Shift+K");  // its dialog never comes back
    desktop.clock.advance(HotKey::kAnswerBound.count());
    EXPECT_EQ(settingsNode("message").text, refused(kK, Reason::noAnswer));
    EXPECT_FALSE(desktop.hotKeys.waiting);  // withdrawn
    act("Super+Shift+K");
    desktop.hotKeys.answer(HotKeyBinding{"Meta+Shift+K"});
    EXPECT_FALSE(recording() || settingsNode("message").color == TextColor::red);
    EXPECT_EQ(prefs->shortcut(), kK);
    // Keys the desktop bound are named in its words, to the eye and to a screen reader.
    EXPECT_EQ(settingsNode("shortcut").text + "|" + settingsNode("shortcut").accessibleName,
              "Meta+Shift+K|Meta+Shift+K");
}

TEST_F(Settings, ControlsActThroughTheModelAndTheStore) {
    settingsNode("display-mode").onSelect("largeWindow");
    EXPECT_EQ(settingsNode("display-mode").selectedTag, "largeWindow");
    prefs->setShortcut(kK);
    settingsNode("reset").action();
    EXPECT_EQ(prefs->shortcut(), defaultShortcut());
    // The toggle shows what the desktop reports after the change, not the flip.
    const std::tuple<const char*, bool, bool, bool> logins[] = {
        {nullptr, false, true, true}, {"denied", false, false, true}, {nullptr, true, true, false}};
    for (const auto& [failure, approval, to, shown] : logins) {
        desktop.loginItem.failWith = failure ? std::optional<std::string>(failure) : std::nullopt;
        desktop.loginItem.needsApproval = approval;
        settingsNode("open-at-login").onToggle(to);
        EXPECT_EQ(settingsNode("open-at-login").isOn, shown);
    }
    EXPECT_EQ(desktop.log.lines.size(), 1u);
    desktop.loginItem.current = LoginItemStatus::notRegistered;  // changed outside the program
    menu(MenuAction::openSettings);  // centred on the screen under the pointer
    EXPECT_EQ(settingsWindow().currentFrame, (Rect{500, 253, 440, 420}));
    desktop.screens.placesWindows = false;
    menu(MenuAction::openSettings);
    EXPECT_FALSE(settingsNode("open-at-login").isOn);
    EXPECT_EQ(settingsWindow().currentFrame, (Rect{0, 0, 440, 420}));

    act("start");
    settingsNode("open-calendar").action();
    EXPECT_FALSE(settingsWindow().visible || recording());
    EXPECT_EQ(desktop.hotKeys.registered, kC);
}

}  // namespace
}  // namespace plenhall::testing
