#include "text/utf8.h"

#include <cstdint>
#include <optional>

namespace plenhall {
namespace {

struct Character {
    std::uint32_t code;
    std::size_t length;
};

// The character at `i`; nothing when the bytes there are not well-formed UTF-8.
std::optional<Character> decode(std::string_view text, std::size_t i) {
    auto c = static_cast<unsigned char>(text[i]);
    std::size_t length = c < 0x80           ? 1
                         : (c >> 5) == 0x6  ? 2
                         : (c >> 4) == 0xE  ? 3
                         : (c >> 3) == 0x1E ? 4
                                            : 0;
    if (length == 0 || i + length > text.size()) return std::nullopt;
    std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
        auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        code = (code << 6) | (next & 0x3F);
    }
    static constexpr std::uint32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kMinimum[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return std::nullopt;
    return Character{code, length};
}

bool isPlain(std::uint32_t code) {
    const bool control = code < 0x20 || (code >= 0x7F && code < 0xA0);
    const bool direction = code == 0x061C || code == 0x200E || code == 0x200F ||
                           (code >= 0x202A && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
    return !control && !direction;
}

}  // namespace

bool isWellFormed(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        auto character = decode(text, i);
        if (!character) return false;
        i += character->length;
    }
    return true;
}

bool isPlainText(std::string_view text) {
    for (std::size_t i = 0; i < text.size();) {
        auto character = decode(text, i);
        if (!character || !isPlain(character->code)) return false;
        i += character->length;
    }
    return true;
}

std::string quotable(std::string_view text, std::size_t maxBytes) {
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    constexpr std::string_view kEllipsis = "\xE2\x80\xA6";
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        auto character = decode(text, i);
        std::string_view piece = character && isPlain(character->code)
                                     ? text.substr(i, character->length)
                                     : kReplacement;
        if (out.size() + piece.size() > maxBytes) return out + std::string(kEllipsis);
        out += piece;
        i += character ? character->length : 1;
    }
    return out;
}

}  // namespace plenhall
