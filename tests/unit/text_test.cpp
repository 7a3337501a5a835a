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
}

}  // namespace
}  // namespace plenhall::testing
