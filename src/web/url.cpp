#include "web/url.h"

namespace plenhall {
namespace {

bool isAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isSchemeChar(char c) {
    return isAlpha(c) || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

}  // namespace

std::optional<std::string> urlScheme(std::string_view url) {
    auto colon = url.find(':');
    if (colon == std::string_view::npos || colon == 0 || !isAlpha(url[0])) return std::nullopt;
    for (std::size_t i = 1; i < colon; ++i) {
        if (!isSchemeChar(url[i])) return std::nullopt;
    }
    return std::string(url.substr(0, colon));
}

std::optional<std::string> urlHost(std::string_view url) {
    auto scheme = urlScheme(url);
    if (!scheme) return std::nullopt;
    std::string_view rest = url.substr(scheme->size() + 1);
    if (rest.substr(0, 2) != "//") return std::nullopt;
    rest.remove_prefix(2);
    std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
    if (auto at = authority.rfind('@'); at != std::string_view::npos)
        authority.remove_prefix(at + 1);

    std::string_view host;
    if (!authority.empty() && authority.front() == '[') {
        auto close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        host = authority.substr(1, close - 1);
    } else {
        host = authority.substr(0, authority.find(':'));
    }
    if (host.empty()) return std::nullopt;
    return std::string(host);
}

}  // namespace plenhall
