#include "prefs/preference_file_store.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "support/fake_platform.h"

namespace plenhall::testing {
namespace {

class PreferenceFile : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/plenhall-prefs-XXXXXX";
        directory = mkdtemp(pattern);
        path = directory + "/plenhall-desktop/preferences.json";
    }
    void TearDown() override { std::system(("rm -rf " + directory).c_str()); }

    void write(const std::string& contents) {
        mkdir((directory + "/plenhall-desktop").c_str(), 0700);
        std::ofstream(path, std::ios::binary) << contents;
    }
    std::string read(const std::string& file) const {
        std::ifstream in(file, std::ios::binary);
        std::stringstream buffer;
        buffer << in.rdbuf();
        return buffer.str();
    }
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir((directory + "/plenhall-desktop").c_str())) {
            while (dirent* e = readdir(dir)) {
                if (e->d_name[0] != '.') names.emplace_back(e->d_name);
            }
            closedir(dir);
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string directory;
    std::string path;
    FakeLog log;
    FakeMainQueue queue;
};

TEST_F(PreferenceFile, TypedEntriesSurviveAReload) {
    {
        PreferenceFileStore store(path, log, queue);
        store.setData("shortcut", R"({"keyCode":8})");
        store.setData("binary", std::string("\xff\x00\x01", 3));
        store.setString("displayMode", "largeWindow");
        store.setBool("hasOnboarded", true);
    }
    PreferenceFileStore store(path, log, queue);
    EXPECT_EQ(store.dataForKey("shortcut"), R"({"keyCode":8})");
    EXPECT_EQ(store.dataForKey("binary"), std::string("\xff\x00\x01", 3));
    EXPECT_EQ(store.stringForKey("displayMode"), "largeWindow");
    EXPECT_TRUE(store.boolForKey("hasOnboarded"));
    // Each kind reads only as itself.
    EXPECT_FALSE(store.stringForKey("shortcut"));
    EXPECT_FALSE(store.dataForKey("displayMode"));
    EXPECT_FALSE(store.boolForKey("displayMode"));
    EXPECT_FALSE(store.stringForKey("absent"));
    EXPECT_TRUE(log.lines.empty());
    EXPECT_NE(read(path).find(R"("displayMode": "largeWindow")"), std::string::npos);  // readable
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(PreferenceFile, UnparsableFileIsMovedAsideNotOverwritten) {
    const std::string cases[] = {"{\"displayMode\": \"largeWindow\"", "[1, 2]", "\"text\"",
                                 "\xff\xfe garbage"};
    for (const auto& contents : cases) {
        TearDown();
        SetUp();
        write(contents);
        log.lines.clear();
        PreferenceFileStore store(path, log, queue);
        EXPECT_FALSE(store.stringForKey("displayMode"));
        ASSERT_EQ(log.lines.size(), 1u) << contents;
        EXPECT_NE(log.lines[0].find("moved it to"), std::string::npos);
        store.setBool("hasOnboarded", true);
        store.synchronize();
        auto names = files();
        ASSERT_EQ(names.size(), 2u);
        EXPECT_EQ(names[0], "preferences.json");
        EXPECT_EQ(names[1].rfind("preferences.json.unreadable-", 0), 0u);
        EXPECT_EQ(read(directory + "/plenhall-desktop/" + names[1]), contents);
    }
}

TEST_F(PreferenceFile, EmptyFileIsAnEmptyStoreAndUnknownEntriesAreKept) {
    write("  \n");
    {
        PreferenceFileStore store(path, log, queue);
        EXPECT_TRUE(log.lines.empty());
    }
    write(R"({"future": {"kind": [1, 2]}, "count": 3, "displayMode": "largeWindow"})");
    PreferenceFileStore store(path, log, queue);
    EXPECT_FALSE(store.stringForKey("count"));
    store.setBool("hasOnboarded", true);
    store.synchronize();
    auto text = read(path);
    EXPECT_NE(text.find("\"future\""), std::string::npos);
    EXPECT_NE(text.find("\"count\": 3"), std::string::npos);
}

TEST_F(PreferenceFile, LeftoverTemporaryFilesAreRemovedAtStart) {
    write(R"({"displayMode": "largeWindow"})");
    std::ofstream(path + ".tmp-AbC123") << "half written";
    std::ofstream(path + ".tmp-notours-long") << "kept";
    PreferenceFileStore store(path, log, queue);
    EXPECT_EQ(store.stringForKey("displayMode"), "largeWindow");
    EXPECT_EQ(files(),
              (std::vector<std::string>{"preferences.json", "preferences.json.tmp-notours-long"}));
}

TEST_F(PreferenceFile, UnwritableLocationKeepsValuesInMemoryAndLogsOnce) {
    // A file where the directory should be: the write fails whoever runs the test.
    std::ofstream(directory + "/plenhall-desktop") << "in the way";
    PreferenceFileStore store(path, log, queue);
    store.setString("displayMode", "largeWindow");
    queue.elapse(kPreferenceWriteDelay);
    store.setBool("hasOnboarded", true);
    store.synchronize();
    EXPECT_EQ(store.stringForKey("displayMode"), "largeWindow");
    EXPECT_TRUE(store.boolForKey("hasOnboarded"));
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_NE(log.lines[0].find("not saved"), std::string::npos);
}

TEST_F(PreferenceFile, ABurstOfChangesIsWrittenOnceAndNothingIsLostAtQuit) {
    write(R"({"pageZoom": "100"})");
    {
        PreferenceFileStore store(path, log, queue);
        for (const char* percent : {"110", "125", "150", "175", "200"})
            store.setString("pageZoom", percent);
        EXPECT_EQ(store.stringForKey("pageZoom"), "200");
        queue.elapse(kPreferenceWriteDelay - std::chrono::milliseconds(1));
        EXPECT_EQ(read(path), R"({"pageZoom": "100"})");  // untouched during the burst
        queue.elapse(std::chrono::milliseconds(1));
        EXPECT_NE(read(path).find(R"("pageZoom": "200")"), std::string::npos);

        store.setString("pageZoom", "250");
        store.synchronize();  // the process ends
        EXPECT_NE(read(path).find(R"("pageZoom": "250")"), std::string::npos);
        store.setString("pageZoom", "300");
    }
    EXPECT_NE(read(path).find(R"("pageZoom": "300")"), std::string::npos);
    EXPECT_TRUE(log.lines.empty());
}

TEST_F(PreferenceFile, ASymbolicLinkStaysALinkToTheFileItNames) {
    // Paths below the test's directory; the link may be relative to the link's own directory.
    struct Case {
        std::string link;    // what the preferences file links to
        std::string target;  // the file written
        bool exists;
    };
    const Case cases[] = {
        {"/dotfiles/prefs.json", "/dotfiles/prefs.json", true},
        {"../dotfiles/prefs.json", "/dotfiles/prefs.json", true},
        {"/dotfiles/new/prefs.json", "/dotfiles/new/prefs.json", false},  // not made yet
        {"/middle.json", "/dotfiles/prefs.json", true},                   // a link to a link
    };
    for (const auto& c : cases) {
        TearDown();
        SetUp();
        mkdir((directory + "/dotfiles").c_str(), 0700);
        mkdir((directory + "/plenhall-desktop").c_str(), 0700);
        const std::string target = directory + c.target;
        if (c.exists) std::ofstream(target) << R"({"displayMode": "fullScreen"})";
        symlink((directory + "/dotfiles/prefs.json").c_str(), (directory + "/middle.json").c_str());
        const std::string link = c.link.front() == '/' ? directory + c.link : c.link;
        ASSERT_EQ(symlink(link.c_str(), path.c_str()), 0) << c.link;
        {
            PreferenceFileStore store(path, log, queue);
            EXPECT_EQ(store.stringForKey("displayMode").has_value(), c.exists) << c.link;
            store.setString("displayMode", "largeWindow");
        }
        struct stat info {};
        ASSERT_EQ(lstat(path.c_str(), &info), 0) << c.link;
        EXPECT_TRUE(S_ISLNK(info.st_mode)) << c.link;
        EXPECT_NE(read(target).find("largeWindow"), std::string::npos) << c.link;
        EXPECT_EQ(files(), std::vector<std::string>{"preferences.json"}) << c.link;
    }
    EXPECT_TRUE(log.lines.empty());
}

}  // namespace
}  // namespace plenhall::testing
