#include "text/localized.h"

#include <filesystem>
#include <fstream>
#include <map>

#include "settings/settings_model.h"
#include "support/app_fixture.h"
#include "text/catalogues.h"

namespace plenhall::testing {
namespace {

TEST(FillFormat, PartsGoWhereTheFormatSays) {
    const struct {
        const char* format;
        std::string expected;
    } cases[] = {
        {"%s is available.", "A is available."},
        {"%s (%s)", "A (B)"},
        {"%2$s, then %1$s", "B, then A"},
        {"100%% of %s", "100% of A"},
        {"%s %s %s", "A B "},      // a part the caller did not give
        {"%d and %", "%d and %"},  // not ours: left as written
        {"%3$s|%0$s", "|%0$s"},    // out of range, and no such position
        {"%s", "A"},
    };
    for (const auto& c : cases) EXPECT_EQ(fillFormat(c.format, {"A", "B"}), c.expected) << c.format;
    EXPECT_EQ(fillFormat("%s", {"%s%1$s"}), "%s%1$s");  // a part is never read as a format
}

// A catalogue that knows a few texts, as a desktop's would in another language.
class FakeLocalization final : public Localization {
  public:
    std::string translate(const char* english) const override {
        auto it = texts.find(english);
        return it == texts.end() ? english : it->second;
    }
    std::map<std::string, std::string> texts = {
        {"Show / Hide Calendar", "Kalender anzeigen / verbergen"},
        {"Quit Plenhall", "Plenhall beenden"},
        {"%s is already used by another app. Try another.",
         "Versuchen Sie ein anderes: %s ist belegt."},
        {"Version %s (%s)", "Fassung %2$s/%1$s"},
        {"Shift", "Umschalt"},
    };
};

class Localized : public AppFixture {
  public:
    FakeLocalization german;
};

TEST_F(Localized, TextsAndTheirPartsReachTheUserInTheInstalledLanguage) {
    {
        ScopedLocalization language(german);
        platform.build = BuildInfo{"2.1", "77", ""};
        launchOnboarded();
        const auto& items = statusItem().menu->items;
        EXPECT_EQ(items.front().title.rfind("Kalender anzeigen / verbergen  ", 0), 0u)
            << items.front().title;
        EXPECT_EQ(items.back().title, "Plenhall beenden");
        EXPECT_EQ(items[1].title, "Reload");  // unknown to the catalogue: English
        EXPECT_EQ(
            refusalMessage(Shortcut{40, 0x300, "K"}, HotKeyError{HotKeyError::Reason::taken, 10},
                           RefusalAdvice::tryAnother),
            "Versuchen Sie ein anderes: Umschalt+Super+K ist belegt.");
        EXPECT_EQ((Shortcut{40, 0x300, "K"}).englishDisplay(), "Shift+Super+K");  // for the log
        EXPECT_EQ(app->settings()->model().version(), "Fassung 77/2.1");          // parts reordered
    }
    // The language goes with its scope.
    EXPECT_EQ(tr("Quit Plenhall"), "Quit Plenhall");
}

// The build's catalogues are for the build's own program alone: any copy of it is an installed one.
TEST(Catalogues, TheBuildsOnlyForTheProgramItBuilt) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(::testing::TempDir()) / "catalogues";
    fs::remove_all(root);
    auto program = [](const fs::path& path) {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "program";
        return path;
    };
    const CatalogueLocations where{root / "build/plenhall-desktop", root / "build/locale",
                                   "../share/locale", "/usr/share/locale"};
    program(where.buildProgram);
    fs::create_directories(root / "build/stage/usr/share/locale");
    fs::create_directories(root / "opt/share/locale");
    fs::create_directory_symlink(root / "build", root / "build-link");
    const std::pair<fs::path, fs::path> cases[] = {
        {where.buildProgram, where.buildCatalogues},
        {root / "build-link/plenhall-desktop", where.buildCatalogues},
        {program(root / "build/stage/usr/bin/plenhall-desktop"),
         root / "build/stage/usr/share/locale"},
        {program(root / "build/plenhall-desktop-copy"), where.configured},
        {program(root / "opt/bin/plenhall-desktop"), root / "opt/share/locale"},
        {program(root / "elsewhere/plenhall-desktop"), where.configured},
        {"", where.configured},
    };
    for (const auto& [running, catalogues] : cases)
        EXPECT_EQ(catalogueDirectory(running, where), catalogues) << running;
    fs::remove_all(root);
}

}  // namespace
}  // namespace plenhall::testing
