#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class Menus : public AppFixture {
  public:
    void SetUp() override { launchOnboarded(); }
};

TEST_F(Menus, SettingsPutsAVisibleCalendarAwayAndKeepsTheApplication) {
    prefs->setDisplayMode(DisplayMode::largeWindow);
    app->show();
    statusItem().click(3);
    EXPECT_FALSE(calendar().visible);
    EXPECT_TRUE(app->hiddenAt());
    EXPECT_TRUE(desktop.defaults.stringForKey("largeWindowFrame"));
    EXPECT_TRUE(settingsWindow().visible);
    EXPECT_FALSE(app->settings()->model().welcome());
}

TEST_F(Menus, CheckForUpdatesHidesFirstThenChecks) {
    app->show();
    statusItem().click(4);
    EXPECT_FALSE(calendar().visible);
    ASSERT_EQ(desktop.http.sent.size(), 1u);
    desktop.http.answer(HttpError{HttpFailure::network, 0, "offline"});
    statusItem().click(4);  // hidden already: only the check
    EXPECT_EQ(desktop.http.sent.size(), 2u);
}

TEST_F(Menus, AnUpdateFoundOnScheduleHidesAVisibleCalendarOnly) {
    const std::string feed =
        R"(<rss><channel><item><enclosure url="https://plenhall.com/p.tar.gz" )"
        R"(sparkle:version="99" sparkle:shortVersionString="9.0"/></item></channel></rss>)";
    desktop.clock.advance(10);
    desktop.http.answer(feed);
    EXPECT_EQ(desktop.dialogs.freeAlerts.size(), 1u);
    EXPECT_FALSE(app->hiddenAt());

    app->show();
    desktop.clock.advance(24 * 60 * 60);
    desktop.http.answer(feed);
    EXPECT_EQ(desktop.dialogs.freeAlerts.size(), 2u);
    EXPECT_FALSE(calendar().visible);
    EXPECT_TRUE(app->hiddenAt());
}

TEST_F(Menus, ReloadGoesBackToTheStartPageAndQuitQuitsFromEitherMenu) {
    auto onASubPage = [this] {
        webView().navigationDelegate->createWebViewForNavigationAction(
            NavigationAction{"https://plenhall.com/app/week", std::nullopt});
    };
    onASubPage();
    desktop.application.mainMenuTarget->performMenuAction(MenuAction::reload);
    onASubPage();
    statusItem().click(1);  // "Reload"
    EXPECT_EQ(startRequestsLoaded(), 3u);
    EXPECT_EQ(webView().loadedRequests.back(), (URLRequest{kTestStartURL, 0, 60.0}));
    EXPECT_FALSE(calendar().visible);
    desktop.application.mainMenuTarget->performMenuAction(MenuAction::terminate);
    EXPECT_TRUE(desktop.application.terminated);
    desktop.application.terminated = false;
    statusItem().click(6);  // "Quit Plenhall"
    EXPECT_TRUE(desktop.application.terminated);
}

TEST_F(Menus, ShowHideFromTheStatusMenuMeansWhatWasOnScreenWhenItOpened) {
    struct Case {
        const char* name;
        std::function<void(Menus&)> before;
        bool visibleAfter;
    } cases[] = {
        {"hidden: shows", [](Menus& t) { t.statusItem().open(); }, true},
        {"up and focused: hides",
         [](Menus& t) {
             t.app->show();
             t.calendarBecomesKey();
             t.statusItem().open();
         },
         false},
        {"the menu took the focus before it asked",
         [](Menus& t) {
             t.app->show();
             t.calendarBecomesKey();
             t.applicationResigns();
             t.desktop.clock.advance(0.2);
             t.statusItem().open();
         },
         false},
        {"the menu took the focus after it asked",
         [](Menus& t) {
             t.app->show();
             t.calendarBecomesKey();
             t.statusItem().open();
             t.applicationResigns();
         },
         false},
        {"put away long before the menu opened: shows",
         [](Menus& t) {
             t.app->show();
             t.calendarBecomesKey();
             t.applicationResigns();
             t.desktop.clock.advance(30);
             t.statusItem().open();
         },
         true},
        {"a panel that does not say when it opens: plain toggle", [](Menus& t) { t.app->show(); },
         false},
        {"closed before the choice arrived: still what was up",
         [](Menus& t) {
             t.app->show();
             t.calendarBecomesKey();
             t.statusItem().open();
             t.applicationResigns();
             t.statusItem().close();
         },
         false},
        {"opened with the calendar up and dismissed, hidden by the shortcut, then opened "
         "unannounced: shows",
         [](Menus& t) {
             t.app->show();
             t.statusItem().open();
             t.statusItem().close();
             t.desktop.clock.advance(1);
             t.pressHotKey();
         },
         true},
    };
    for (auto& c : cases) {
        c.before(*this);
        statusItem().click(0);
        EXPECT_EQ(calendar().visible, c.visibleAfter) << c.name;
        app->hide();
        desktop.clock.advance(5);
    }
}

}  // namespace
}  // namespace plenhall::testing
