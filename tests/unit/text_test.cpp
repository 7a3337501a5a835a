// Texts in the user's language, and the catalogues they come from.
#include <filesystem>
#include <fstream>
#include <map>

#include "support/app_fixture.h"
#include "text/catalogues.h"
#include "text/localized.h"

namespace plenhall::testing {
namespace {

TEST(FillFormat, PartsGoWhereTheFormatSays) {
    const std::pair<const char*, std::string> cases[] = {
        {"%s is available.", "A is available."},
        {"%s (%s)", "A (B)"},
        {"%2$s, then %1$s", "B, then A"},
        {"100%% of %s%", "100% of A%"},
        {"%s %s %s", "A B "},            // a part the caller did not give
        {"%d and %x$s", "%d and %x$s"},  // not ours: as written
        {"%3$s|%0$s|%10$s|%1$", "|%0$s||%1$"}};
    for (const auto& [format, expected] : cases)
        EXPECT_EQ(fillFormat(format, {"A", "B"}), expected) << format;
    EXPECT_EQ(fillFormat("%s", {"%s%1$s"}), "%s%1$s");  // a part is never read as a format
}

// A catalogue that knows a few texts, as a desktop's would in another language.
class German final : public Localization {
  public:
    std::string translate(const char* english) const override {
        static const std::map<std::string, std::string> texts = {
            {"Show / Hide Calendar", "Kalender anzeigen / verbergen"},
            {"Quit Plenhall", "Plenhall beenden"},
            {"Version %s (%s)", "Fassung %2$s/%1$s"}};
        auto it = texts.find(english);
        return it == texts.end() ? english : it->second;
    }
};

class Localized : public AppFixture {};

TEST_F(Localized, TextsAndTheirPartsReachTheUserInTheInstalledLanguage) {
    German german;
    {
        ScopedLocalization language(german);
        launch();
        const auto& items = statusItem().menu.items;
        EXPECT_EQ(items.front().title.rfind("Kalender anzeigen / verbergen  ", 0), 0u);
        EXPECT_EQ(items.back().title, "Plenhall beenden");
        EXPECT_EQ(items[1].title, "Reload");               // unknown to the catalogue: English
        EXPECT_EQ(model().version(), "Fassung 42/1.4.2");  // parts reordered
    }
    EXPECT_EQ(tr("Quit Plenhall"), "Quit Plenhall");  // the language goes with its scope
}

}  // namespace
}  // namespace plenhall::testing
