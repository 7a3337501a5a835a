#include "hotkey/key_positions.h"

#include <array>
#include <utility>

namespace plenhall {
namespace {

// {stored key code, XKB keycode}, by physical position on an ANSI/PC keyboard.
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

// XKB keycodes on X11 and Wayland run from 8 to 255.
constexpr std::uint32_t kMinKeycode = 8;
constexpr std::uint32_t kMaxKeycode = 255;

constexpr std::pair<std::uint32_t, std::uint32_t> kModifiers[] = {
    {StoredModifier::control, Modifier::control},
    {StoredModifier::alt, Modifier::alt},
    {StoredModifier::shift, Modifier::shift},
    {StoredModifier::super, Modifier::super},
};

}  // namespace

std::uint16_t keycodeOfStored(std::uint32_t storedKeyCode) {
    for (auto [stored, keycode] : kKeys) {
        if (stored == storedKeyCode) return keycode;
    }
    if (storedKeyCode >= kUnnamedKeyBase + kMinKeycode &&
        storedKeyCode <= kUnnamedKeyBase + kMaxKeycode) {
        return static_cast<std::uint16_t>(storedKeyCode - kUnnamedKeyBase);
    }
    return 0;
}

std::uint32_t storedKeyCodeOf(std::uint16_t keycode) {
    for (auto [stored, k] : kKeys) {
        if (k == keycode) return stored;
    }
    return kUnnamedKeyBase + (keycode & 0xFF);
}

std::uint32_t modifiersOfStored(std::uint32_t storedModifiers) {
    std::uint32_t modifiers = 0;
    for (auto [stored, gdk] : kModifiers) {
        if (storedModifiers & stored) modifiers |= gdk;
    }
    return modifiers;
}

std::uint32_t storedModifiersOf(std::uint32_t modifiers) {
    std::uint32_t stored = 0;
    for (auto [s, gdk] : kModifiers) {
        if (modifiers & gdk) stored |= s;
    }
    return stored;
}

}  // namespace plenhall
