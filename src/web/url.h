// The two parts of a URL the program decides by: its scheme and its host.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plenhall {

// The scheme exactly as written (no case folding); nothing when the text has none.
std::optional<std::string> urlScheme(std::string_view url);

// The host of the URL's authority (after "scheme://", without user, port or IPv6 brackets);
// nothing when the URL has no authority or an empty host.
std::optional<std::string> urlHost(std::string_view url);

}  // namespace plenhall
