// The user-defaults store kept in one human-readable JSON file.
//
// Every assignment rewrites the file atomically (a temporary file in the same directory, flushed,
// then renamed over the old one), so a crash at any moment leaves either the old or the new file.
// A file that cannot be parsed is moved aside (never overwritten) with one log line; entries of
// kinds this version does not know are kept as they are. When the disk refuses a write the values
// stay in memory and one log line says why.
//
// Thread: main thread only.
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/result.h"
#include "platform/system.h"
#include "platform/user_defaults.h"

namespace plenhall {

class PreferenceFileStore final : public UserDefaults {
  public:
    // Loads `path` at once; a missing file is an empty store.
    PreferenceFileStore(std::string path, Log& log);

    std::optional<std::string> dataForKey(std::string_view key) const override;
    std::optional<std::string> stringForKey(std::string_view key) const override;
    bool boolForKey(std::string_view key) const override;
    void setData(std::string_view key, const std::string& bytes) override;
    void setString(std::string_view key, const std::string& value) override;
    void setBool(std::string_view key, bool value) override;

    const std::string& path() const { return path_; }

  private:
    void load();
    void removeLeftoverTemporaryFiles() const;
    void moveAside(const std::string& reason);
    void save();
    Result<WriteError> writeAtomically(const std::string& contents) const;
    const nlohmann::json* entry(std::string_view key) const;

    std::string path_;
    Log& log_;
    nlohmann::json entries_ = nlohmann::json::object();
    bool writable_ = true;      // false once a file we could not read must not be replaced
    bool saveFailing_ = false;  // the last write failed and has been logged
};

}  // namespace plenhall
