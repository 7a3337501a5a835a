#include "prefs/prefs.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;

class PrefsTest : public ::testing::Test {
  protected:
    FakeDefaults defaults;
};

TEST_F(PrefsTest, FreshInstallationUsesDefaultsAndWritesNothing) {
    Prefs prefs(defaults);
    EXPECT_EQ(prefs.shortcut(), (Shortcut{8, 6400, "C"}));
    EXPECT_EQ(prefs.displayMode(), DisplayMode::fullScreen);
    EXPECT_EQ(defaults.writes, 0);
}

TEST_F(PrefsTest, DisplayModeLoadsOnlyTheExactRawValue) {
    const std::pair<const char*, DisplayMode> cases[] = {
        {"largeWindow", DisplayMode::largeWindow}, {"LargeWindow", DisplayMode::fullScreen},
        {"large", DisplayMode::fullScreen},        {"", DisplayMode::fullScreen},
        {"fullScreen", DisplayMode::fullScreen},
    };
    for (const auto& [stored, expected] : cases) {
        defaults.setString("displayMode", stored);
        EXPECT_EQ(Prefs(defaults).displayMode(), expected) << stored;
    }
    defaults.entries["displayMode"] = FakeDefaults::Entry{FakeDefaults::Entry::Kind::number, "2"};
    EXPECT_EQ(Prefs(defaults).displayMode(), DisplayMode::fullScreen);
}

TEST_F(PrefsTest, UnreadableShortcutFallsBackSilentlyAndStaysStored) {
    const char* bad[] = {R"({"keyCode":8,"carbonModifiers":6400})", "not json"};
    for (const char* bytes : bad) {
        defaults.setData("shortcut", bytes);
        int writes = defaults.writes;
        EXPECT_EQ(Prefs(defaults).shortcut(), defaultShortcut()) << bytes;
        EXPECT_EQ(defaults.dataForKey("shortcut"), bytes);
        EXPECT_EQ(defaults.writes, writes);
    }
    defaults.setString("shortcut", R"({"keyCode":1,"carbonModifiers":256,"keyLabel":"S"})");
    EXPECT_EQ(Prefs(defaults).shortcut(), defaultShortcut());  // a string is not data

    defaults.setData("shortcut", R"({"keyCode":1,"carbonModifiers":256,"keyLabel":"S","x":0})");
    EXPECT_EQ(Prefs(defaults).shortcut(), (Shortcut{1, 256, "S"}));
}

TEST_F(PrefsTest, AnnouncesBeforeStoringThenWrites) {
    Prefs prefs(defaults);
    std::vector<std::string> events;
    auto willChange = prefs.subscribeWillChange([&] { events.push_back("willChange"); });
    auto shortcuts = prefs.subscribeShortcut([&](const Shortcut& delivered) {
        events.push_back("delivered " + delivered.display() + ", stored " +
                         prefs.shortcut().display() + ", written " +
                         std::to_string(defaults.writes));
    });
    auto modes = prefs.subscribeDisplayMode(
        [&](const DisplayMode& mode) {
            events.push_back(std::string("mode ") + std::string(rawValue(mode)) + ", stored " +
                             std::string(rawValue(prefs.displayMode())));
        },
        Delivery::laterValuesOnly);

    prefs.setShortcut(Shortcut{40, 0x300, "K"});
    prefs.setDisplayMode(DisplayMode::largeWindow);
    prefs.setDisplayMode(DisplayMode::largeWindow);  // equal: a full assignment all the same

    EXPECT_THAT(
        events,
        ElementsAre("delivered Ctrl+Alt+Super+C, stored Ctrl+Alt+Super+C, written 0",
                    "willChange", "delivered Shift+Super+K, stored Ctrl+Alt+Super+C, written 0",
                    "willChange", "mode largeWindow, stored fullScreen", "willChange",
                    "mode largeWindow, stored largeWindow"));
    EXPECT_EQ(defaults.dataForKey("shortcut"),
              R"({"keyCode":40,"carbonModifiers":768,"keyLabel":"K"})");
    EXPECT_EQ(defaults.stringForKey("displayMode"), "largeWindow");
    EXPECT_EQ(defaults.writes, 3);
    EXPECT_EQ(Prefs(defaults).displayMode(), DisplayMode::largeWindow);
}

TEST_F(PrefsTest, CancelledSubscriptionsHearNothingAndMayOutliveThePrefs) {
    Subscription survivor;
    {
        Prefs prefs(defaults);
        int calls = 0;
        auto subscription = prefs.subscribeShortcut([&](const Shortcut&) { ++calls; });
        subscription.cancel();
        prefs.setShortcut(defaultShortcut());
        EXPECT_EQ(calls, 1);  // only the immediate delivery
        survivor = prefs.subscribeWillChange([] {});
    }
    survivor.cancel();
}

TEST_F(PrefsTest, SubscribersMayCancelOthersDuringDelivery) {
    Prefs prefs(defaults);
    Subscription second;
    int secondCalls = 0;
    auto first = prefs.subscribeWillChange([&] { second.cancel(); });
    second = prefs.subscribeWillChange([&] { ++secondCalls; });
    prefs.setDisplayMode(DisplayMode::largeWindow);
    EXPECT_EQ(secondCalls, 0);
}

}  // namespace
}  // namespace plenhall::testing
