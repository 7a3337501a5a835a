// The user-defaults store kept in one human-readable JSON file.
//
// Assignments are read back at once and written together: the first one not yet on disk asks for
// a write a moment later, so a burst (a zoom key held down) rewrites the file once, and whatever
// is still unwritten goes to disk when the store goes or is told to. Each write replaces the file
// atomically (a temporary file beside it, flushed, then renamed over it), so a crash at any moment
// leaves either the old or the new file. A file that is a symbolic link stays one: the link is
// followed, each time, to the file it names, and that file is replaced.
// A file that cannot be parsed is moved aside (never overwritten) with one log line; entries of
// kinds this version does not know are kept as they are. When the disk refuses a write the values
// stay in memory and one log line says why.
//
// Thread: main thread only.
#pragma once

#include <chrono>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/result.h"
#include "platform/system.h"
#include "platform/user_defaults.h"

namespace plenhall {

// How long an assignment may wait for the write that takes it to disk.
inline constexpr std::chrono::milliseconds kPreferenceWriteDelay{1000};

class PreferenceFileStore final : public UserDefaults {
  public:
    // Loads `path` at once; a missing file is an empty store. Writes are timed on `queue`, which
    // outlives the store.
    PreferenceFileStore(std::string path, Log& log, MainQueue& queue);
    // Writes what is still unwritten.
    ~PreferenceFileStore() override;
    PreferenceFileStore(const PreferenceFileStore&) = delete;
    PreferenceFileStore& operator=(const PreferenceFileStore&) = delete;

    std::optional<std::string> dataForKey(std::string_view key) const override;
    std::optional<std::string> stringForKey(std::string_view key) const override;
    bool boolForKey(std::string_view key) const override;
    void setData(std::string_view key, const std::string& bytes) override;
    void setString(std::string_view key, const std::string& value) override;
    void setBool(std::string_view key, bool value) override;
    void synchronize() override;

  private:
    void load();
    void removeLeftoverTemporaryFiles() const;
    void moveAside(const std::string& reason);
    void changed();
    void save();
    Result<WriteError> writeAtomically(const std::string& contents) const;
    const nlohmann::json* entry(std::string_view key) const;

    std::string path_;  // as given: a symbolic link is followed anew at each use
    Log& log_;
    MainQueue& queue_;
    std::unique_ptr<MainQueue::Timer> pendingWrite_;  // set while an assignment is unwritten
    nlohmann::json entries_ = nlohmann::json::object();
    bool writable_ = true;      // false once a file we could not read must not be replaced
    bool saveFailing_ = false;  // the last write failed and has been logged
};

}  // namespace plenhall
