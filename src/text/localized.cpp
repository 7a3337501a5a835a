#include "text/localized.h"

#include <utility>
#include <vector>

namespace plenhall {
namespace {

const Localization* installed = nullptr;

}  // namespace

std::string tr(const char* english) {
    return installed ? installed->translate(english) : std::string(english);
}

std::string tr(const char* english, std::initializer_list<std::string_view> parts) {
    return fillFormat(tr(english), parts);
}

std::string fillFormat(std::string_view format, std::initializer_list<std::string_view> parts) {
    const std::vector<std::string_view> list(parts);
    std::string result;
    std::size_t next = 0;
    std::size_t i = 0;
    while (i < format.size()) {
        const char c = format[i];
        if (c != '%' || i + 1 >= format.size()) {
            result += c;
            ++i;
            continue;
        }
        if (format[i + 1] == '%') {
            result += '%';
            i += 2;
            continue;
        }
        if (format[i + 1] == 's') {
            if (next < list.size()) result += list[next];
            ++next;
            i += 2;
            continue;
        }
        // %N$s: a translation that puts the parts in another order.
        std::size_t j = i + 1;
        std::size_t position = 0;
        while (j < format.size() && format[j] >= '0' && format[j] <= '9' && position < 100) {
            position = position * 10 + std::size_t(format[j] - '0');
            ++j;
        }
        if (position > 0 && j + 1 < format.size() && format[j] == '$' && format[j + 1] == 's') {
            if (position <= list.size()) result += list[position - 1];
            i = j + 2;
            continue;
        }
        result += c;
        ++i;
    }
    return result;
}

ScopedLocalization::ScopedLocalization(const Localization& localization)
    : previous_(std::exchange(installed, &localization)) {}

ScopedLocalization::~ScopedLocalization() {
    installed = previous_;
}

}  // namespace plenhall
