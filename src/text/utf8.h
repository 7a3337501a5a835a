// Text from outside (a feed) checked before the program shows it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace plenhall {

// Well-formed UTF-8: no stray or missing continuation bytes, overlong forms, surrogates or code
// points past U+10FFFF.
bool isWellFormed(std::string_view text);

// Well-formed UTF-8 (no stray or missing continuation bytes, overlong forms, surrogates or code
// points past U+10FFFF) that reads the same wherever it is shown: no control characters, which
// could break a line or a log, and no direction marks or overrides, which could reorder the
// sentence around it.
bool isPlainText(std::string_view text);

// `text` as a message may quote it: every ill-formed byte and every character isPlainText refuses
// becomes U+FFFD, and past `maxBytes` it is cut at a character and ends in "…".
std::string quotable(std::string_view text, std::size_t maxBytes);

}  // namespace plenhall
