#include <gtest/gtest.h>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/portal_appearance.h"

namespace plenhall::gtk {
namespace {

TEST(ColorScheme, ReadsTheValueThroughTheVariantsReadAddsAndRefusesAnythingElse) {
    const struct {
        const char* value;  // nullptr: none
        std::optional<ColorScheme> expected;
    } cases[] = {
        {"uint32 1", ColorScheme::dark},
        {"<<uint32 0>>", ColorScheme::noPreference},
        {"<uint32 3>", std::nullopt},
        {"<<<<<uint32 1>>>>>", std::nullopt},
        {"<int32 1>", std::nullopt},
        {"<'prefer-dark'>", std::nullopt},
        {nullptr, std::nullopt},
    };
    for (const auto& c : cases) {
        GVariantPtr value(c.value ? g_variant_ref_sink(g_variant_parse(nullptr, c.value, nullptr,
                                                                       nullptr, nullptr))
                                  : nullptr);
        EXPECT_EQ(colorSchemeFrom(value.get()), c.expected) << (c.value ? c.value : "none");
    }
}

}  // namespace
}  // namespace plenhall::gtk
