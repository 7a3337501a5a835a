#include "platform/gtk/key_codes.h"

#include <gtest/gtest.h>

#include <set>

#include "hotkey/shortcut.h"

namespace plenhall::gtk {
namespace {

TEST(KeyCodes, EveryTableKeyMapsBothWaysAndNoTwoShareAnXKeycode) {
    std::set<std::uint32_t> seen;
    for (std::uint32_t virtualKey = 0; virtualKey < 128; ++virtualKey) {
        auto x = xKeycodeForVirtualKey(virtualKey);
        if (!x) continue;
        EXPECT_TRUE(seen.insert(*x).second) << "X keycode " << *x << " twice";
        EXPECT_EQ(virtualKeyForXKeycode(*x), virtualKey);
    }
    // Every key the shortcut names, the default shortcut's C, and Escape have a place.
    for (const auto& named : namedKeys())
        EXPECT_TRUE(xKeycodeForVirtualKey(named.keyCode)) << named.label;
    EXPECT_EQ(xKeycodeForVirtualKey(8), 54u);
    EXPECT_EQ(virtualKeyForXKeycode(9), kEscapeKeyCode);
}

TEST(KeyCodes, KeysOutsideTheTableStillRoundTrip) {
    const std::uint16_t unnamed = virtualKeyForXKeycode(250);
    EXPECT_GE(unnamed, kUnnamedKeyBase);
    EXPECT_EQ(xKeycodeForVirtualKey(unnamed), 250u);
    EXPECT_FALSE(xKeycodeForVirtualKey(127));  // a virtual code with no key
    EXPECT_FALSE(xKeycodeForVirtualKey(0xFFFFFFFF));
    EXPECT_FALSE(xKeycodeForVirtualKey(kUnnamedKeyBase + 3));  // below the first X keycode
}

}  // namespace
}  // namespace plenhall::gtk
