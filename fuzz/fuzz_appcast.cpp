// Any bytes as the update feed: a list of items or a reason, never a crash or a hang.
#include <cstdint>
#include <string_view>

#include "update/appcast.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view xml(reinterpret_cast<const char*>(data), size);
    auto result = plenhall::parseAppcast(xml);
    if (auto* items = std::get_if<std::vector<plenhall::AppcastItem>>(&result)) {
        (void)plenhall::newestUpdate(*items, "1.0");
        for (const auto& item : *items)
            (void)plenhall::compareVersions(item.version, item.shortVersion);
    }
    return 0;
}
