#include "support/app_fixture.h"

namespace plenhall::testing {
namespace {

class UrlCommands : public AppFixture {
  public:
    void SetUp() override { launchOnboarded(); }
};

TEST_F(UrlCommands, SchemeAndHostTable) {
    enum Start { hidden, shown };
    struct Case {
        std::vector<std::string> urls;
        Start start;
        bool visibleAfter;
        bool settingsAfter;
    } cases[] = {
        {{"plenhall://show"}, hidden, true, false},
        {{"plenhall://show/week?x=1#f"}, hidden, true, false},
        {{"plenhall://show"}, shown, true, false},
        {{"plenhall://hide"}, shown, false, false},
        {{"plenhall://settings"}, shown, false, true},
        {{"plenhall://settings"}, hidden, false, true},
        {{"plenhall://other"}, hidden, true, false},
        {{"plenhall://other"}, shown, false, false},
        {{"plenhall://"}, hidden, true, false},
        {{"plenhall:show"}, hidden, true, false},
        {{"plenhall://SHOW"}, shown, false, false},
        {{"PLENHALL://show"}, hidden, false, false},
        {{"https://plenhall.com/show"}, hidden, false, false},
        {{"show"}, hidden, false, false},
        {{}, shown, true, false},
        {{"plenhall://show", "plenhall://hide"}, hidden, false, false},
        {{"plenhall://hide", "plenhall://show"}, shown, true, false},
        {{"https://x.org", "plenhall://show", "ftp://y"}, hidden, true, false},
    };
    for (const auto& c : cases) {
        settingsWindow().visible = false;
        if (c.start == shown) {
            app->show();
        } else {
            app->hide();
        }
        app->openURLs(c.urls);
        std::string name = c.urls.empty() ? "(none)" : c.urls.front();
        EXPECT_EQ(calendar().visible, c.visibleAfter) << name;
        EXPECT_EQ(settingsWindow().visible, c.settingsAfter) << name;
    }
}

}  // namespace
}  // namespace plenhall::testing
