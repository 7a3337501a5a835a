// The user-defaults store: typed entries (data, string, boolean) under string keys, kept across
// runs.
//
// Thread: main thread only. Every assignment is read back at once; the store persists it soon
// after, and at the latest at synchronize() (or, when the disk refuses, keeps it in memory and
// reports that once through the log); readers never see a partial value.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace plenhall {

class UserDefaults {
  public:
    virtual ~UserDefaults() = default;

    // The bytes stored under `key`, or nothing when the key is absent or holds another type.
    virtual std::optional<std::string> dataForKey(std::string_view key) const = 0;
    // The text stored under `key`, or nothing when the key is absent or holds another type.
    virtual std::optional<std::string> stringForKey(std::string_view key) const = 0;
    // The boolean stored under `key`; false when absent or of another type.
    virtual bool boolForKey(std::string_view key) const = 0;

    virtual void setData(std::string_view key, const std::string& bytes) = 0;
    virtual void setString(std::string_view key, const std::string& value) = 0;
    virtual void setBool(std::string_view key, bool value) = 0;
    // Persists every assignment not persisted yet, before returning.
    virtual void synchronize() = 0;
};

}  // namespace plenhall
