// Ten thousand operations in a random but repeatable mix, checking the controller's invariants
// after each; run under the sanitizers in CI.
#include <random>

#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class Soak : public AppFixture {
  public:
    void SetUp() override { launchOnboarded(); }
};

TEST_F(Soak, TenThousandMixedOperationsKeepEveryInvariant) {
    std::mt19937 random(20261206);
    const std::vector<std::string> commands = {"plenhall://show",     "plenhall://hide",
                                               "plenhall://settings", "plenhall://",
                                               "PLENHALL://show",     "https://example.org"};
    for (int step = 0; step < 10000; ++step) {
        switch (random() % 10) {
            case 0:
            case 1:
                pressHotKey();
                break;
            case 2:
                app->openURLs({commands[random() % commands.size()]});
                break;
            case 3:
                statusItem().click(1);  // Reload
                break;
            case 4:
                prefs->setDisplayMode(random() % 2 ? DisplayMode::fullScreen
                                                   : DisplayMode::largeWindow);
                break;
            case 5:
                if (calendar().visible) calendarBecomesKey();
                break;
            case 6:
                applicationResigns();
                break;
            case 7:
                webView().failProvisional(random() % 2 ? WebFailure::network
                                                       : WebFailure::cancelled);
                break;
            case 8:
                desktop.clock.advance(random() % 1200);
                break;
            case 9:
                if (settingsWindow().visible) settingsWindow().userCloses();
                break;
        }
        desktop.mainQueue.drain();
        // On screen exactly when hiddenAt is empty (after the first showing).
        if (calendar().visible) {
            ASSERT_FALSE(app->hiddenAt()) << step;
        } else if (!calendar().frameHistory.empty()) {
            ASSERT_TRUE(app->hiddenAt()) << step;
        }
        ASSERT_TRUE(desktop.hotKeys.registered) << step;
        ASSERT_TRUE(desktop.workspace.opened.empty()) << step;
    }
    // Work queued along the way has all run, and the store still reads back.
    EXPECT_EQ(desktop.mainQueue.drain(), 0);
    EXPECT_EQ(Prefs(desktop.defaults).displayMode(), prefs->displayMode());
}

}  // namespace
}  // namespace plenhall::testing
