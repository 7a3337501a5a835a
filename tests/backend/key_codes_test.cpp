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

using namespace CarbonModifier;

TEST(KeyCodes, VirtualKeysAndXKeycodesMapBothWaysOneToOne) {
    std::set<std::uint32_t> seen;
    for (std::uint32_t virtualKey = 0; virtualKey < 128; ++virtualKey) {
        auto x = xKeycodeForVirtualKey(virtualKey);
        if (!x) continue;
        EXPECT_TRUE(seen.insert(*x).second) << "X keycode " << *x << " twice";
        EXPECT_EQ(virtualKeyForXKeycode(*x), virtualKey);
    }
    for (const auto& named : namedKeys()) EXPECT_TRUE(xKeycodeForVirtualKey(named.keyCode));
    EXPECT_EQ(xKeycodeForVirtualKey(virtualKeyForXKeycode(250)), 250u);  // outside the table
    EXPECT_FALSE(xKeycodeForVirtualKey(kUnnamedKeyBase + 3));  // below the first X keycode
}

TEST(KeyCodes, ModifiersBecomeTheGrabsXMasksAndComeBackFromGdkState) {
    EXPECT_EQ(xModifiersForCarbon(controlKey | optionKey | shiftKey | cmdKey, Mod4Mask),
              ControlMask | Mod1Mask | ShiftMask | Mod4Mask);
    EXPECT_EQ(xModifiersForCarbon(cmdKey, Mod3Mask), Mod3Mask);  // Super where the map puts it
    EXPECT_EQ(xModifiersForCarbon(0x1 | 0x80 | 0x4000, Mod4Mask), 0u);  // bits naming no modifier
    // Super as GDK's virtual modifier or as the real one; Num Lock and mouse buttons are none.
    EXPECT_EQ(modifierFlagsForGdkState(GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK |
                                       GDK_SUPER_MASK | GDK_LOCK_MASK | GDK_MOD2_MASK),
              ModifierFlag::shift | ModifierFlag::control | ModifierFlag::option |
                  ModifierFlag::command | ModifierFlag::capsLock);
    EXPECT_EQ(modifierFlagsForGdkState(GDK_MOD4_MASK | GDK_BUTTON1_MASK), ModifierFlag::command);
}

TEST(KeyCodes, AcceleratorLabelsNameTheKeysAsGtkWritesThem) {
    // No display here: the keys are named as a US keyboard types them.
    EXPECT_EQ(acceleratorLabel(8, controlKey | optionKey | cmdKey), "Ctrl+Alt+Super+C");
    EXPECT_EQ(acceleratorLabel(49, controlKey), "Ctrl+Space");
    EXPECT_EQ(acceleratorLabel(kUnnamedKeyBase + 200, cmdKey), "");  // nothing to name it by
}

}  // namespace
}  // namespace plenhall::gtk
