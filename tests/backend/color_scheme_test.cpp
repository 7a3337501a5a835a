#include <gtest/gtest.h>

#include "platform/gtk/portal_appearance.h"

namespace plenhall::gtk {
namespace {

TEST(ColorScheme, ReadsTheValueThroughTheVariantsReadAddsAndRefusesAnythingElse) {
    auto wrapped = [](GVariant* value, int levels) {
        for (int i = 0; i < levels; ++i) value = g_variant_new_variant(value);
        return value;
    };
    const struct {
        GVariant* value;
        std::optional<ColorScheme> expected;
    } cases[] = {
        {wrapped(g_variant_new_uint32(1), 0), ColorScheme::dark},
        {wrapped(g_variant_new_uint32(2), 1), ColorScheme::light},
        {wrapped(g_variant_new_uint32(0), 2), ColorScheme::noPreference},
        {wrapped(g_variant_new_uint32(3), 1), std::nullopt},
        {wrapped(g_variant_new_uint32(1), 5), std::nullopt},
        {wrapped(g_variant_new_int32(1), 1), std::nullopt},
        {wrapped(g_variant_new_string("prefer-dark"), 1), std::nullopt},
        {wrapped(g_variant_new("(u)", 1), 0), std::nullopt},
    };
    for (const auto& c : cases) {
        GVariantPtr value(g_variant_ref_sink(c.value));
        EXPECT_EQ(colorSchemeFrom(value.get()), c.expected) << g_variant_print(value.get(), TRUE);
    }
    EXPECT_EQ(colorSchemeFrom(nullptr), std::nullopt);
}

}  // namespace
}  // namespace plenhall::gtk
