// Any bytes as the preference file: the store loads it or moves it aside (keeping the bytes), and
// never crashes.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "prefs/preference_file_store.h"
#include "support/fake_platform.h"

namespace fs = std::filesystem;

namespace {

struct QuietLog final : plenhall::Log {
    void line(std::string_view) override {}
};

std::string read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fs::path directory =
        fs::temp_directory_path() / ("plenhall-fuzz-prefs-" + std::to_string(getpid()));
    fs::remove_all(directory);
    fs::create_directories(directory);
    const fs::path path = directory / "preferences.json";
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::ofstream(path, std::ios::binary) << input;

    QuietLog log;
    plenhall::testing::FakeMainQueue queue;
    plenhall::PreferenceFileStore store(path.string(), log, queue);
    (void)store.dataForKey("shortcut");
    (void)store.stringForKey("displayMode");
    (void)store.boolForKey("hasOnboarded");
    if (!fs::exists(path)) {
        // Moved aside: the bytes must be there, untouched.
        bool kept = false;
        for (const auto& entry : fs::directory_iterator(directory)) {
            if (entry.path().filename().string().rfind("preferences.json.unreadable-", 0) == 0) {
                kept = read(entry.path()) == input;
            }
        }
        if (!kept) std::abort();
    }
    store.setString("displayMode", "largeWindow");
    store.synchronize();
    plenhall::PreferenceFileStore again(path.string(), log, queue);
    if (again.stringForKey("displayMode") != "largeWindow") std::abort();
    return 0;
}
