#include "window/frame_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace plenhall {
namespace {

std::string number(double value) {
    if (value == 0) value = 0;  // never write "-0"
    std::array<char, 32> buffer{};
    auto [end, ec] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    return ec == std::errc() ? std::string(buffer.data(), end) : std::string("0");
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// "inf", "nan" (any case): a number that is not finite, as a frame written from one reads.
bool startsNonFinite(std::string_view text, std::size_t i) {
    auto word = text.substr(i, 3);
    if (word.size() < 3) return false;
    std::string lower;
    for (char c : word) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return lower == "inf" || lower == "nan";
}

// True when a number token starts at `i`: an optional sign, then a digit or a point and a digit.
bool startsNumber(std::string_view text, std::size_t i) {
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (i >= text.size()) return false;
    if (isDigit(text[i])) return true;
    return text[i] == '.' && i + 1 < text.size() && isDigit(text[i + 1]);
}

}  // namespace

std::string frameToString(const Rect& frame) {
    return "{{" + number(frame.x) + ", " + number(frame.y) + "}, {" + number(frame.width) + ", " +
           number(frame.height) + "}}";
}

Rect rectFromString(std::string_view text) {
    std::array<double, 4> values{};
    std::size_t count = 0;
    std::size_t i = 0;
    while (i < text.size() && count < values.size()) {
        if (startsNonFinite(text, i)) return Rect{};
        if (!startsNumber(text, i)) {
            ++i;
            continue;
        }
        bool negative = text[i] == '-';
        if (text[i] == '-' || text[i] == '+') ++i;
        double value = 0;
        auto [end, ec] = std::from_chars(text.data() + i, text.data() + text.size(), value,
                                         std::chars_format::general);
        if (ec != std::errc() || !std::isfinite(value)) return Rect{};
        values[count++] = negative ? -value : value;
        i = static_cast<std::size_t>(end - text.data());
    }
    return Rect{values[0], values[1], values[2], values[3]};
}

}  // namespace plenhall
