// The preferences: what they load, announce and store, and the file that keeps them.
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include <gmock/gmock.h>

#include "prefs/page_zoom.h"
#include "prefs/preference_file_store.h"
#include "prefs/prefs.h"
#include "support/fake_platform.h"

namespace fs = std::filesystem;

namespace plenhall::testing {
namespace {

using ::testing::ElementsAre;

TEST(Prefs, PageZoomStepsAndWhatIsStored) {
    for (const auto& [from, in, out] : {std::tuple{100, 110, 90}, {30, 50, 30}, {300, 300, 250}})
        EXPECT_EQ(std::pair(zoomedIn(from), zoomedOut(from)), std::pair(in, out)) << from;
    for (const auto& [text, percent] : {std::pair<const char*, int>{"30", 30},
                                        {"300", 300},
                                        {"115", 100},
                                        {"125 ", 100},
                                        {"x", 100},
                                        {"1e99", 100}})
        EXPECT_EQ(pageZoomFromStored(text), percent) << text;
    EXPECT_EQ(pageZoomFromStored(std::nullopt), 100);
}

class PreferenceFile : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = fs::path(::testing::TempDir()) / ("prefs-" + std::to_string(getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir / "d");
        path = (dir / "d/preferences.json").string();
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string read(const fs::path& file) {
        std::stringstream buffer;
        buffer << std::ifstream(file, std::ios::binary).rdbuf();
        return buffer.str();
    }
    void write(const std::string& contents) { std::ofstream(path, std::ios::binary) << contents; }
    std::vector<std::string> files() {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir / "d"))
            names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }
    bool holds(const std::string& text) { return read(path).find(text) != std::string::npos; }

    fs::path dir;
    std::string path;
    FakeLog log;
    FakeMainQueue queue;
};

TEST_F(PreferenceFile, EntriesKeepTheirKindAcrossARestart) {
    path = (dir / "new/deeper/preferences.json").string();  // directories made as needed
    std::vector<std::string> binary;  // every length of a base64 group, and its padding
    for (std::size_t n = 1; n <= 8; ++n)
        binary.push_back(std::string(n, '\xfb') + std::string(1, char(n)));
    {
        PreferenceFileStore store(path, log, queue);
        store.setData("shortcut", R"({"keyCode":8})");
        for (std::size_t i = 0; i < binary.size(); ++i)
            store.setData("b" + std::to_string(i), binary[i]);
        store.setString("displayMode", "largeWindow");
        store.setBool("hasOnboarded", true);
        store.setBool("off", false);
    }
    EXPECT_TRUE(holds(R"("displayMode": "largeWindow")"));  // readable by people
    EXPECT_TRUE(holds(R"("shortcut": {)"
                      "\n"
                      R"(    "data": "{\"keyCode\":8}")"));
    EXPECT_TRUE(holds(R"("b2": {)"
                      "\n"
                      R"(    "base64": "+/v7Aw==")"));
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    PreferenceFileStore store(path, log, queue);
    EXPECT_EQ(store.dataForKey("shortcut"), R"({"keyCode":8})");
    for (std::size_t i = 0; i < binary.size(); ++i)
        EXPECT_EQ(store.dataForKey("b" + std::to_string(i)), binary[i]);
    EXPECT_EQ(store.stringForKey("displayMode"), "largeWindow");
    EXPECT_TRUE(store.boolForKey("hasOnboarded"));
    EXPECT_FALSE(store.boolForKey("off"));
    EXPECT_FALSE(store.stringForKey("shortcut"));  // each kind reads only as itself
}

TEST_F(PreferenceFile, AnUnreadableFileIsSetAsideNotOverwritten) {
    const std::string cases[] = {"{\"displayMode\": \"largeWindow\"", "[1, 2]", "\"text\"",
                                 "\xff\xfe garbage",
                                 "{\"a\": \"" + std::string(4 << 20, 'x') + "\"}"};
    for (const auto& contents : cases) {
        TearDown(), SetUp();
        write(contents);
        PreferenceFileStore store(path, log, queue);
        EXPECT_FALSE(store.stringForKey("a")) << contents.size();
        store.setBool("hasOnboarded", true);
        store.synchronize();
        auto names = files();
        ASSERT_EQ(names.size(), 2u) << contents.size();
        EXPECT_EQ(names[1].rfind("preferences.json.unreadable-", 0), 0u);
        EXPECT_EQ(read(dir / "d" / names[1]), contents);
    }
    EXPECT_THAT(log.lines.back(), ::testing::HasSubstr("moved it to"));
}

TEST_F(PreferenceFile, LeftoverTemporaryFilesAreRemovedAtStart) {
    write(R"({"displayMode": "largeWindow"})");
    std::ofstream(path + ".tmp-AbC123") << "half written";
    std::ofstream(path + ".tmp-AbC12") << "not ours";
    PreferenceFileStore store(path, log, queue);
    EXPECT_EQ(store.stringForKey("displayMode"), "largeWindow");
    EXPECT_EQ(files(),
              (std::vector<std::string>{"preferences.json", "preferences.json.tmp-AbC12"}));
}

TEST_F(PreferenceFile, WhereItCannotBeWrittenValuesStayInMemoryWithOneLine) {
    std::ofstream(dir / "f") << "a file where a folder should be";
    path = (dir / "f/g/preferences.json").string();
    PreferenceFileStore store(path, log, queue);
    for (const char* mode : {"fullScreen", "largeWindow"})
        store.setString("displayMode", mode), store.synchronize();
    EXPECT_EQ(store.stringForKey("displayMode"), "largeWindow");
    EXPECT_THAT(log.lines, ElementsAre(::testing::HasSubstr("(cannot create ")));
}

TEST_F(PreferenceFile, ABurstIsWrittenOnceAndNothingIsLostAtQuit) {
    write(R"({"pageZoom": "100"})");
    {
        PreferenceFileStore store(path, log, queue);
        for (const char* percent : {"110", "125", "150"}) store.setString("pageZoom", percent);
        queue.elapse(kPreferenceWriteDelay - std::chrono::milliseconds(1));
        EXPECT_EQ(read(path), R"({"pageZoom": "100"})");
        queue.elapse(std::chrono::milliseconds(1));
        EXPECT_TRUE(holds(R"("pageZoom": "150")"));
        store.setString("pageZoom", "250");
        store.synchronize();
        EXPECT_TRUE(holds(R"("pageZoom": "250")"));
        store.setString("pageZoom", "300");
    }
    EXPECT_TRUE(holds(R"("pageZoom": "300")"));
}

}  // namespace
}  // namespace plenhall::testing
