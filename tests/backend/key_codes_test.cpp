#include "platform/gtk/key_codes.h"

#include <gdk/gdk.h>
#include <gtest/gtest.h>

#include "platform/key_event.h"

// Last: it defines None, a name gtest uses.
#include <X11/X.h>

namespace plenhall::gtk {
namespace {

constexpr std::uint32_t kAll =
    Modifier::control | Modifier::alt | Modifier::shift | Modifier::super;

TEST(KeyCodes, ModifiersBecomeTheGrabsXMasksAndComeBackFromGdkState) {
    EXPECT_EQ(xModifiersFor(kAll, Mod4Mask), ControlMask | Mod1Mask | ShiftMask | Mod4Mask);
    EXPECT_EQ(xModifiersFor(Modifier::super, Mod3Mask), Mod3Mask);  // Super where the map puts it
    EXPECT_EQ(xModifiersFor(Modifier::capsLock, Mod4Mask), 0u);     // never part of a grab
    // Super as GDK's virtual modifier or as the real one; Num Lock and mouse buttons are none.
    EXPECT_EQ(modifiersOfState(GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK | GDK_SUPER_MASK |
                               GDK_LOCK_MASK | GDK_MOD2_MASK),
              kAll | Modifier::capsLock);
    EXPECT_EQ(modifiersOfState(GDK_MOD4_MASK | GDK_BUTTON1_MASK), Modifier::super);
}

TEST(KeyCodes, AcceleratorLabelsNameTheKeysAsGtkWritesThem) {
    // No display here: the keys are named as a US keyboard types them.
    const std::uint32_t ctrlAltSuper = Modifier::control | Modifier::alt | Modifier::super;
    EXPECT_EQ(acceleratorLabel({54, ctrlAltSuper}), "Ctrl+Alt+Super+C");
    EXPECT_EQ(acceleratorLabel({65, Modifier::control}), "Ctrl+Space");
    EXPECT_EQ(acceleratorLabel({200, Modifier::super}), "");  // nothing to name it by
    EXPECT_EQ(xdgShortcutTrigger(*usKeysymName(54), ctrlAltSuper), "CTRL+ALT+LOGO+c");
}

}  // namespace
}  // namespace plenhall::gtk
