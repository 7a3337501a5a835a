// Texts in the user's language, and the catalogues they come from.
#include <filesystem>
#include <fstream>
#include <map>

#include "support/app_fixture.h"
#include "text/catalogues.h"
#include "text/localized.h"
#include "text/utf8.h"

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

// Feed text is shown only when it is well-formed and plain: spaces and accents are, stray bytes,
// controls and direction marks (which could reorder what the user reads) are not.
TEST(FeedText, WellFormedAndPlain) {
    struct Case {
        std::string_view text;
        bool wellFormed, plain;
    };
    const Case cases[] = {{"Version 2.1 \xC3\xA9t\xC3\xA9", true, true},
                          {"\x80", false, false},
                          {"\xC0\x80", false, false},      // overlong
                          {"\xED\xA0\x80", false, false},  // a surrogate
                          {"a\x1F", true, false},
                          {"a\xC2\x85", true, false},       // C1 control
                          {"a\xE2\x80\x8F", true, false}};  // right-to-left mark
    for (const auto& c : cases) {
        EXPECT_EQ(isWellFormed(c.text), c.wellFormed) << c.text;
        EXPECT_EQ(isPlainText(c.text), c.plain) << c.text;
    }
    EXPECT_EQ(quotable("ab\x01"
                       "cd",
                       5),
              "ab\xEF\xBF\xBD\xE2\x80\xA6");
}

}  // namespace
}  // namespace plenhall::testing
