#include "platform/gtk/key_codes.h"

#include <X11/X.h>
#include <gtk/gtk.h>

#include <array>
#include <utility>

#include "platform/gtk/glib_ptr.h"
#include "platform/key_event.h"

namespace plenhall::gtk {
namespace {

// {virtual key code, X keycode}, by physical position on an ANSI/PC keyboard.
constexpr std::array<std::pair<std::uint16_t, std::uint16_t>, 118> kKeys = {{
    {0, 38},    {1, 39},    {2, 40},    {3, 41},    {4, 43},    {5, 42},    {6, 52},    {7, 53},
    {8, 54},    {9, 55},    {10, 94},   {11, 56},   {12, 24},   {13, 25},   {14, 26},   {15, 27},
    {16, 29},   {17, 28},   {18, 10},   {19, 11},   {20, 12},   {21, 13},   {22, 15},   {23, 14},
    {24, 21},   {25, 18},   {26, 16},   {27, 20},   {28, 17},   {29, 19},   {30, 35},   {31, 32},
    {32, 30},   {33, 34},   {34, 31},   {35, 33},   {36, 36},   {37, 46},   {38, 44},   {39, 48},
    {40, 45},   {41, 47},   {42, 51},   {43, 59},   {44, 61},   {45, 57},   {46, 58},   {47, 60},
    {48, 23},   {49, 65},   {50, 49},   {51, 22},   {53, 9},    {55, 133},  {56, 50},   {57, 66},
    {58, 64},   {59, 37},   {60, 62},   {61, 108},  {62, 105},  {54, 134},  {65, 91},   {67, 63},
    {69, 86},   {71, 77},   {75, 106},  {76, 104},  {78, 82},   {81, 125},  {82, 90},   {83, 87},
    {84, 88},   {85, 89},   {86, 83},   {87, 84},   {88, 85},   {89, 79},   {91, 80},   {92, 81},
    {122, 67},  {120, 68},  {99, 69},   {118, 70},  {96, 71},   {97, 72},   {98, 73},   {100, 74},
    {101, 75},  {109, 76},  {103, 95},  {111, 96},  {105, 191}, {107, 192}, {113, 193}, {106, 194},
    {64, 195},  {79, 196},  {80, 197},  {90, 198},  {114, 118}, {115, 110}, {116, 112}, {117, 119},
    {119, 115}, {121, 117}, {123, 113}, {124, 114}, {125, 116}, {126, 111}, {72, 123},  {73, 122},
    {74, 121},  {93, 132},  {94, 97},   {95, 129},  {102, 102}, {104, 100},
}};

// {virtual key code, keysym name on a US keyboard}. Japanese-only keys are left out: their names
// depend on the layout, which the caller asks first.
// clang-format off
constexpr std::pair<std::uint16_t, std::string_view> kUsKeysymNames[] = {
    {0, "a"}, {1, "s"}, {2, "d"}, {3, "f"}, {4, "h"}, {5, "g"}, {6, "z"}, {7, "x"}, {8, "c"},
    {9, "v"}, {10, "less"}, {11, "b"}, {12, "q"}, {13, "w"}, {14, "e"}, {15, "r"}, {16, "y"},
    {17, "t"}, {18, "1"}, {19, "2"}, {20, "3"}, {21, "4"}, {22, "6"}, {23, "5"}, {24, "equal"},
    {25, "9"}, {26, "7"}, {27, "minus"}, {28, "8"}, {29, "0"}, {30, "bracketright"}, {31, "o"},
    {32, "u"}, {33, "bracketleft"}, {34, "i"}, {35, "p"}, {36, "Return"}, {37, "l"}, {38, "j"},
    {39, "apostrophe"}, {40, "k"}, {41, "semicolon"}, {42, "backslash"}, {43, "comma"},
    {44, "slash"}, {45, "n"}, {46, "m"}, {47, "period"}, {48, "Tab"}, {49, "space"}, {50, "grave"},
    {51, "BackSpace"}, {53, "Escape"}, {54, "Super_R"}, {55, "Super_L"}, {56, "Shift_L"},
    {57, "Caps_Lock"}, {58, "Alt_L"}, {59, "Control_L"}, {60, "Shift_R"}, {61, "Alt_R"},
    {62, "Control_R"}, {64, "F17"}, {65, "KP_Decimal"}, {67, "KP_Multiply"}, {69, "KP_Add"},
    {71, "Num_Lock"}, {72, "XF86AudioRaiseVolume"}, {73, "XF86AudioLowerVolume"},
    {74, "XF86AudioMute"}, {75, "KP_Divide"}, {76, "KP_Enter"}, {78, "KP_Subtract"}, {79, "F18"},
    {80, "F19"}, {81, "KP_Equal"}, {82, "KP_0"}, {83, "KP_1"}, {84, "KP_2"}, {85, "KP_3"},
    {86, "KP_4"}, {87, "KP_5"}, {88, "KP_6"}, {89, "KP_7"}, {90, "F20"}, {91, "KP_8"}, {92, "KP_9"},
    {96, "F5"}, {97, "F6"}, {98, "F7"}, {99, "F3"}, {100, "F8"}, {101, "F9"}, {103, "F11"},
    {105, "F13"}, {106, "F16"}, {107, "F14"}, {109, "F10"}, {111, "F12"}, {113, "F15"},
    {114, "Insert"}, {115, "Home"}, {116, "Prior"}, {117, "Delete"}, {118, "F4"}, {119, "End"},
    {120, "F2"}, {121, "Next"}, {122, "F1"}, {123, "Left"}, {124, "Right"}, {125, "Down"},
    {126, "Up"},
};
// clang-format on

// X keycodes run from 8 to 255.
constexpr std::uint32_t kMinXKeycode = 8;
constexpr std::uint32_t kMaxXKeycode = 255;

}  // namespace

std::optional<std::uint32_t> xKeycodeForVirtualKey(std::uint32_t virtualKeyCode) {
    for (auto [virtualKey, xKeycode] : kKeys) {
        if (virtualKey == virtualKeyCode) return xKeycode;
    }
    if (virtualKeyCode >= kUnnamedKeyBase + kMinXKeycode &&
        virtualKeyCode <= kUnnamedKeyBase + kMaxXKeycode) {
        return virtualKeyCode - kUnnamedKeyBase;
    }
    return std::nullopt;
}

std::uint16_t virtualKeyForXKeycode(std::uint32_t xKeycode) {
    for (auto [virtualKey, x] : kKeys) {
        if (x == xKeycode) return virtualKey;
    }
    return static_cast<std::uint16_t>(kUnnamedKeyBase + (xKeycode & 0xFF));
}

unsigned xModifiersForCarbon(std::uint32_t carbonModifiers, unsigned superMask) {
    unsigned mask = 0;
    if (carbonModifiers & CarbonModifier::controlKey) mask |= ControlMask;
    if (carbonModifiers & CarbonModifier::optionKey) mask |= Mod1Mask;
    if (carbonModifiers & CarbonModifier::shiftKey) mask |= ShiftMask;
    if (carbonModifiers & CarbonModifier::cmdKey) mask |= superMask;
    return mask;
}

std::uint32_t modifierFlagsForGdkState(unsigned state) {
    std::uint32_t flags = 0;
    if (state & GDK_SHIFT_MASK) flags |= ModifierFlag::shift;
    if (state & GDK_CONTROL_MASK) flags |= ModifierFlag::control;
    if (state & GDK_MOD1_MASK) flags |= ModifierFlag::option;
    if (state & (GDK_SUPER_MASK | GDK_MOD4_MASK)) flags |= ModifierFlag::command;
    if (state & GDK_LOCK_MASK) flags |= ModifierFlag::capsLock;
    return flags;
}

std::optional<std::string_view> usKeysymNameForVirtualKey(std::uint32_t virtualKeyCode) {
    for (auto [virtualKey, name] : kUsKeysymNames) {
        if (virtualKey == virtualKeyCode) return name;
    }
    return std::nullopt;
}

std::string acceleratorLabel(std::uint32_t virtualKeyCode, std::uint32_t carbonModifiers) {
    guint keyval = 0;
    GdkDisplay* display = gdk_display_get_default();
    if (auto xKeycode = xKeycodeForVirtualKey(virtualKeyCode); xKeycode && display) {
        gdk_keymap_translate_keyboard_state(gdk_keymap_get_for_display(display), *xKeycode,
                                            GdkModifierType(0), 0, &keyval, nullptr, nullptr,
                                            nullptr);
    }
    if (!keyval) {
        if (auto name = usKeysymNameForVirtualKey(virtualKeyCode))
            keyval = gdk_keyval_from_name(std::string(*name).c_str());
    }
    if (!keyval || keyval == GDK_KEY_VoidSymbol) return {};
    unsigned mask = 0;
    if (carbonModifiers & CarbonModifier::controlKey) mask |= GDK_CONTROL_MASK;
    if (carbonModifiers & CarbonModifier::optionKey) mask |= GDK_MOD1_MASK;
    if (carbonModifiers & CarbonModifier::shiftKey) mask |= GDK_SHIFT_MASK;
    if (carbonModifiers & CarbonModifier::cmdKey) mask |= GDK_SUPER_MASK;
    return takeString(gtk_accelerator_get_label(keyval, GdkModifierType(mask)));
}

std::string xdgShortcutTrigger(std::string_view keysymName, std::uint32_t carbonModifiers) {
    std::string trigger;
    // The XDG shortcuts format's modifier names; Carbon's command key is Super, which xkbcommon
    // calls LOGO.
    constexpr std::pair<std::uint32_t, std::string_view> kModifiers[] = {
        {CarbonModifier::controlKey, "CTRL"},
        {CarbonModifier::optionKey, "ALT"},
        {CarbonModifier::shiftKey, "SHIFT"},
        {CarbonModifier::cmdKey, "LOGO"},
    };
    for (auto [mask, name] : kModifiers) {
        if (carbonModifiers & mask) {
            trigger += name;
            trigger += '+';
        }
    }
    trigger += keysymName;
    return trigger;
}

}  // namespace plenhall::gtk
