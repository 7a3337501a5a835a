// The preference file under faults: a process killed at any moment while it writes, and a disk
// that refuses to grow.
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <regex>

#include "prefs/preference_file_store.h"
#include "support/fake_platform.h"

namespace fs = std::filesystem;

namespace plenhall::testing {
namespace {

class PreferenceFaults : public ::testing::Test {
  protected:
    void SetUp() override {
        directory = fs::temp_directory_path() / ("plenhall-faults-" + std::to_string(getpid()));
        fs::remove_all(directory);
        fs::create_directories(directory);
        path = (directory / "preferences.json").string();
    }
    void TearDown() override { fs::remove_all(directory); }

    fs::path directory;
    std::string path;
    FakeMainQueue queue;
};

TEST_F(PreferenceFaults, AKillAtAnyMomentLeavesAReadableFileWithOneOfTheValuesWritten) {
    std::mt19937 random(7);
    for (int round = 0; round < 150; ++round) {
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            FakeLog log;
            PreferenceFileStore store(path, log, queue);
            for (int i = 0;; ++i) {
                store.setString("displayMode", "value-" + std::to_string(i));
                store.setData("shortcut", std::string(200 + i % 300, 'x'));
                store.synchronize();
            }
        }
        usleep(1000 + random() % 15000);
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        FakeLog log;
        PreferenceFileStore store(path, log, queue);
        EXPECT_TRUE(log.lines.empty())
            << "round " << round << ": " << (log.lines.empty() ? "" : log.lines[0]);
        auto value = store.stringForKey("displayMode");
        if (value) {
            EXPECT_TRUE(std::regex_match(*value, std::regex("value-[0-9]+"))) << *value;
        }
        for (const auto& entry : fs::directory_iterator(directory)) {
            EXPECT_EQ(entry.path().filename(), "preferences.json")
                << "left behind: " << entry.path();
        }
    }
}

TEST_F(PreferenceFaults, AFullDiskKeepsValuesInMemoryAndSaysSoOnce) {
    {
        FakeLog log;
        PreferenceFileStore store(path, log, queue);
        store.setString("displayMode", "fullScreen");
    }
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Files may not grow past a few bytes: every write runs out of room.
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        FakeLog log;
        PreferenceFileStore store(path, log, queue);
        store.setString("displayMode", "largeWindow");
        store.setBool("hasOnboarded", true);
        store.synchronize();
        bool ok = store.stringForKey("displayMode") == "largeWindow" &&
                  store.boolForKey("hasOnboarded") && log.lines.size() == 1 &&
                  log.lines[0].find("not saved") != std::string::npos;
        _exit(ok ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    FakeLog log;
    PreferenceFileStore store(path, log, queue);
    EXPECT_EQ(store.stringForKey("displayMode"), "fullScreen");  // the old file, whole
    for (const auto& entry : fs::directory_iterator(directory))
        EXPECT_EQ(entry.path().filename(), "preferences.json");
}

}  // namespace
}  // namespace plenhall::testing
