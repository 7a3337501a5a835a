// Any bytes as the remembered frame text, laid out on any set of screens: the frame read is always
// finite, and the frame a large window gets is finite and never of negative size.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "window/frame_text.h"
#include "window/window_layout.h"

namespace {

bool finite(const plenhall::Rect& r) {
    return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) &&
           std::isfinite(r.height);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The first bytes describe screens (four doubles each, then a pointer); the rest is the text.
    std::size_t screenBytes = size > 0 ? std::min<std::size_t>(data[0] % 4 * 32 + 16, size - 1) : 0;
    std::vector<double> numbers(screenBytes / sizeof(double));
    if (!numbers.empty()) std::memcpy(numbers.data(), data + 1, numbers.size() * sizeof(double));
    std::string_view text(reinterpret_cast<const char*>(data) + 1 + screenBytes,
                          size > 0 ? size - 1 - screenBytes : 0);

    plenhall::Rect read = plenhall::rectFromString(text);
    if (!finite(read)) std::abort();

    std::vector<plenhall::Screen> screens;
    for (std::size_t i = 0; i + 4 <= numbers.size(); i += 4) {
        plenhall::Rect frame{numbers[i], numbers[i + 1], numbers[i + 2], numbers[i + 3]};
        screens.push_back({frame, frame});
    }
    plenhall::Point pointer{numbers.size() > 1 ? numbers[numbers.size() - 2] : 0,
                            numbers.empty() ? 0 : numbers.back()};
    auto screen = plenhall::targetScreen(pointer, screens, std::nullopt);
    if (!screen) return 0;
    plenhall::Rect frame = plenhall::largeWindowFrame(std::string(text), screen->workArea);
    if (!finite(frame) || frame.width < 0 || frame.height < 0) std::abort();
    (void)plenhall::frameToString(frame);
    return 0;
}
