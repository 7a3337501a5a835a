// How large the calendar's page is drawn, as a percentage of its own size, in the steps browsers
// use, so a user gets the sizes they know from their browser.
#pragma once

#include <array>
#include <optional>
#include <string>

namespace plenhall {

inline constexpr std::array<int, 13> kPageZoomSteps = {30,  50,  67,  80,  90,  100, 110,
                                                       125, 150, 175, 200, 250, 300};
inline constexpr int kActualSizeZoom = 100;

// The next step above `percent`; the largest step stays.
int zoomedIn(int percent);
// The next step below `percent`; the smallest step stays.
int zoomedOut(int percent);
// The stored text as a zoom: one of the steps, or the actual size for anything else (a value
// edited by hand or written by another version).
int pageZoomFromStored(const std::optional<std::string>& stored);
std::string storedPageZoom(int percent);

}  // namespace plenhall
