// Any bytes as the stored shortcut: decoding never crashes, and what decodes encodes back to an
// object that decodes to the same value.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hotkey/shortcut.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    auto shortcut = plenhall::Shortcut::fromJSON(bytes);
    if (!shortcut) return 0;
    auto encoded = shortcut->toJSON();
    if (!encoded) std::abort();  // a decoded label is valid UTF-8, so it always encodes
    auto again = plenhall::Shortcut::fromJSON(*encoded);
    if (!again || *again != *shortcut) std::abort();
    (void)shortcut->display();
    return 0;
}
