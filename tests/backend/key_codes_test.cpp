#include "platform/gtk/key_codes.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include <set>

#include "hotkey/shortcut.h"
#include "platform/key_event.h"

// Last: it defines None, a name gtest uses.
#include <X11/X.h>

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

TEST(KeyCodes, CarbonModifiersBecomeTheXMasksOfTheGrab) {
    using namespace CarbonModifier;
    struct Case {
        std::uint32_t carbon;
        unsigned superMask;
        unsigned expected;
    };
    const Case cases[] = {
        {0, Mod4Mask, 0},
        {controlKey, Mod4Mask, ControlMask},
        {optionKey, Mod4Mask, Mod1Mask},
        {shiftKey, Mod4Mask, ShiftMask},
        {cmdKey, Mod4Mask, Mod4Mask},
        // Super sits where the keyboard map puts it.
        {cmdKey, Mod3Mask, Mod3Mask},
        {controlKey | optionKey | cmdKey, Mod4Mask, ControlMask | Mod1Mask | Mod4Mask},
        {controlKey | optionKey | shiftKey | cmdKey, Mod5Mask,
         ControlMask | Mod1Mask | ShiftMask | Mod5Mask},
        // Bits that name no modifier grab nothing extra.
        {0x1 | 0x80 | 0x4000, Mod4Mask, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(xModifiersForCarbon(c.carbon, c.superMask), c.expected)
            << "carbon " << c.carbon << " super " << c.superMask;
    }
}

TEST(KeyCodes, AcceleratorLabelsNameTheKeysAsGtkWritesThem) {
    using namespace CarbonModifier;
    // No display here: the keys are named as a US keyboard types them.
    EXPECT_EQ(acceleratorLabel(8, controlKey | optionKey | cmdKey), "Ctrl+Alt+Super+C");
    EXPECT_EQ(acceleratorLabel(40, shiftKey | cmdKey), "Shift+Super+K");
    EXPECT_EQ(acceleratorLabel(49, controlKey), "Ctrl+Space");
    EXPECT_EQ(acceleratorLabel(kUnnamedKeyBase + 200, cmdKey), "");  // nothing to name it by
}

TEST(KeyCodes, GdkStateBecomesTheCoresModifierFlags) {
    struct Case {
        unsigned state;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {0, 0},
        {GDK_SHIFT_MASK, ModifierFlag::shift},
        {GDK_CONTROL_MASK, ModifierFlag::control},
        {GDK_MOD1_MASK, ModifierFlag::option},
        {GDK_SUPER_MASK, ModifierFlag::command},
        {GDK_MOD4_MASK, ModifierFlag::command},  // Super as the real modifier
        {GDK_LOCK_MASK, ModifierFlag::capsLock},
        {GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK,
         ModifierFlag::control | ModifierFlag::option | ModifierFlag::command},
        // Num Lock and mouse buttons are not modifiers of a key press.
        {GDK_MOD2_MASK | GDK_BUTTON1_MASK, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(modifierFlagsForGdkState(c.state), c.expected) << "state " << c.state;
}

}  // namespace
}  // namespace plenhall::gtk
