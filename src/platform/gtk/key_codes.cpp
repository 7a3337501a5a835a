#include "platform/gtk/key_codes.h"

#include <X11/X.h>
#include <gtk/gtk.h>

#include <utility>

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {
namespace {

// {XKB keycode, keysym name on a US keyboard}. Japanese-only keys are left out: their names depend
// on the layout, which the caller asks first.
// clang-format off
constexpr std::pair<std::uint16_t, std::string_view> kUsKeysymNames[] = {
    {9, "Escape"}, {10, "1"}, {11, "2"}, {12, "3"}, {13, "4"}, {14, "5"}, {15, "6"}, {16, "7"},
    {17, "8"}, {18, "9"}, {19, "0"}, {20, "minus"}, {21, "equal"}, {22, "BackSpace"}, {23, "Tab"},
    {24, "q"}, {25, "w"}, {26, "e"}, {27, "r"}, {28, "t"}, {29, "y"}, {30, "u"}, {31, "i"},
    {32, "o"}, {33, "p"}, {34, "bracketleft"}, {35, "bracketright"}, {36, "Return"},
    {37, "Control_L"}, {38, "a"}, {39, "s"}, {40, "d"}, {41, "f"}, {42, "g"}, {43, "h"}, {44, "j"},
    {45, "k"}, {46, "l"}, {47, "semicolon"}, {48, "apostrophe"}, {49, "grave"}, {50, "Shift_L"},
    {51, "backslash"}, {52, "z"}, {53, "x"}, {54, "c"}, {55, "v"}, {56, "b"}, {57, "n"}, {58, "m"},
    {59, "comma"}, {60, "period"}, {61, "slash"}, {62, "Shift_R"}, {63, "KP_Multiply"},
    {64, "Alt_L"}, {65, "space"}, {66, "Caps_Lock"}, {67, "F1"}, {68, "F2"}, {69, "F3"},
    {70, "F4"}, {71, "F5"}, {72, "F6"}, {73, "F7"}, {74, "F8"}, {75, "F9"}, {76, "F10"},
    {77, "Num_Lock"}, {79, "KP_7"}, {80, "KP_8"}, {81, "KP_9"}, {82, "KP_Subtract"}, {83, "KP_4"},
    {84, "KP_5"}, {85, "KP_6"}, {86, "KP_Add"}, {87, "KP_1"}, {88, "KP_2"}, {89, "KP_3"},
    {90, "KP_0"}, {91, "KP_Decimal"}, {94, "less"}, {95, "F11"}, {96, "F12"}, {104, "KP_Enter"},
    {105, "Control_R"}, {106, "KP_Divide"}, {108, "Alt_R"}, {110, "Home"}, {111, "Up"},
    {112, "Prior"}, {113, "Left"}, {114, "Right"}, {115, "End"}, {116, "Down"}, {117, "Next"},
    {118, "Insert"}, {119, "Delete"}, {121, "XF86AudioMute"}, {122, "XF86AudioLowerVolume"},
    {123, "XF86AudioRaiseVolume"}, {125, "KP_Equal"}, {133, "Super_L"}, {134, "Super_R"},
    {191, "F13"}, {192, "F14"}, {193, "F15"}, {194, "F16"}, {195, "F17"}, {196, "F18"},
    {197, "F19"}, {198, "F20"},
};
// clang-format on

}  // namespace

unsigned xModifiersFor(std::uint32_t modifiers, unsigned superMask) {
    unsigned mask = 0;
    if (modifiers & Modifier::control) mask |= ControlMask;
    if (modifiers & Modifier::alt) mask |= Mod1Mask;
    if (modifiers & Modifier::shift) mask |= ShiftMask;
    if (modifiers & Modifier::super) mask |= superMask;
    return mask;
}

std::uint32_t modifiersOfState(unsigned state) {
    std::uint32_t modifiers =
        state & (GDK_SHIFT_MASK | GDK_LOCK_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK);
    // X11 events carry Super as Mod4; GDK names it only as a virtual modifier.
    if (state & (GDK_SUPER_MASK | GDK_MOD4_MASK)) modifiers |= Modifier::super;
    return modifiers;
}

std::optional<std::string_view> usKeysymName(std::uint16_t keycode) {
    for (auto [k, name] : kUsKeysymNames) {
        if (k == keycode) return name;
    }
    return std::nullopt;
}

std::string acceleratorLabel(const KeyCombination& keys) {
    guint keyval = 0;
    GdkDisplay* display = gdk_display_get_default();
    if (keys.keycode && display) {
        gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(display), keys.keycode,
                                            GdkModifierType(0), 0, &keyval, nullptr, nullptr,
                                            nullptr);
    }
    if (!keyval) {
        if (auto name = usKeysymName(keys.keycode))
            keyval = gdk_keyval_from_name(std::string(*name).c_str());
    }
    if (!keyval || keyval == GDK_KEY_VoidSymbol) return {};
    return takeString(gtk_accelerator_get_label(keyval, GdkModifierType(keys.modifiers)));
}

std::string xdgShortcutTrigger(std::string_view keysymName, std::uint32_t modifiers) {
    std::string trigger;
    // The XDG shortcuts format's modifier names; xkbcommon calls Super LOGO.
    constexpr std::pair<std::uint32_t, std::string_view> kModifiers[] = {
        {Modifier::control, "CTRL"},
        {Modifier::alt, "ALT"},
        {Modifier::shift, "SHIFT"},
        {Modifier::super, "LOGO"},
    };
    for (auto [mask, name] : kModifiers) {
        if (modifiers & mask) {
            trigger += name;
            trigger += '+';
        }
    }
    trigger += keysymName;
    return trigger;
}

}  // namespace plenhall::gtk
