// How the calendar is presented.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace plenhall {

enum class DisplayMode { fullScreen, largeWindow };

inline constexpr std::array<DisplayMode, 2> kAllDisplayModes = {DisplayMode::fullScreen,
                                                                DisplayMode::largeWindow};

constexpr std::string_view rawValue(DisplayMode mode) {
    return mode == DisplayMode::largeWindow ? "largeWindow" : "fullScreen";
}

// Exact, case-sensitive match of a raw value; nothing otherwise.
constexpr std::optional<DisplayMode> displayModeFromRawValue(std::string_view raw) {
    for (auto mode : kAllDisplayModes) {
        if (rawValue(mode) == raw) return mode;
    }
    return std::nullopt;
}

}  // namespace plenhall
