// What the calendar window needs of a coordinate: X11 carries positions as 16-bit signed and sizes
// as 16-bit unsigned numbers; anything beyond would wrap around on the wire.
#pragma once

#include <algorithm>
#include <cmath>

#include "platform/geometry.h"

namespace plenhall::gtk {

inline constexpr double kMinCoordinate = -32768;
inline constexpr double kMaxCoordinate = 32767;

inline int clampedInt(double value, double low, double high) {
    if (!std::isfinite(value)) return static_cast<int>(low < 0 ? 0 : low);
    return static_cast<int>(std::lround(std::clamp(value, low, high)));
}

struct IntRect {
    int x, y, width, height;
    bool operator==(const IntRect&) const = default;
};

inline IntRect mappable(const Rect& frame) {
    return IntRect{clampedInt(frame.x, kMinCoordinate, kMaxCoordinate),
                   clampedInt(frame.y, kMinCoordinate, kMaxCoordinate),
                   clampedInt(frame.width, 1, kMaxCoordinate),
                   clampedInt(frame.height, 1, kMaxCoordinate)};
}

}  // namespace plenhall::gtk
