#include "prefs/page_zoom.h"

#include <algorithm>
#include <charconv>

namespace plenhall {

int zoomedIn(int percent) {
    auto next = std::upper_bound(kPageZoomSteps.begin(), kPageZoomSteps.end(), percent);
    return next == kPageZoomSteps.end() ? kPageZoomSteps.back() : *next;
}

int zoomedOut(int percent) {
    auto below = std::lower_bound(kPageZoomSteps.begin(), kPageZoomSteps.end(), percent);
    return below == kPageZoomSteps.begin() ? kPageZoomSteps.front() : *std::prev(below);
}

int pageZoomFromStored(const std::optional<std::string>& stored) {
    if (!stored) return kActualSizeZoom;
    int percent = 0;
    const char* end = stored->data() + stored->size();
    auto [parsed, error] = std::from_chars(stored->data(), end, percent);
    if (error != std::errc() || parsed != end) return kActualSizeZoom;
    return std::binary_search(kPageZoomSteps.begin(), kPageZoomSteps.end(), percent)
               ? percent
               : kActualSizeZoom;
}

std::string storedPageZoom(int percent) {
    return std::to_string(percent);
}

}  // namespace plenhall
