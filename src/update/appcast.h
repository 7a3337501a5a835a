// The update feed: an RSS "appcast" whose items name a version, its release notes and where to get
// it, and the version comparison that appcast updaters use.
//
// Toolkit-free so it can be tested and fuzzed on its own. The reader takes any bytes: it answers
// with the items or with a reason the feed is unreadable, in time and memory linear in the input.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace plenhall {

struct AppcastItem {
    std::string title;
    std::string version;       // the build the item offers, compared with ours
    std::string shortVersion;  // the version shown to people
    std::string releaseNotesLink;
    std::string downloadLink;  // the item's link (a page), else its enclosure's URL
    bool operator==(const AppcastItem&) const = default;
};

struct AppcastError {
    std::string reason;
};

using AppcastResult = std::variant<std::vector<AppcastItem>, AppcastError>;

AppcastResult parseAppcast(std::string_view xml);

// Negative when `a` is older than `b`, zero when equal, positive when newer. Numbers compare by
// value part by part ("1.10" > "1.9"); a release is newer than its pre-releases ("1.0" > "1.0b2"
// > "1.0b1"); a longer version with more numbers is newer ("1.0.1" > "1.0").
int compareVersions(std::string_view a, std::string_view b);

// The longest version an item may carry: versions are shown in a dialog.
inline constexpr std::size_t kMaxVersionBytes = 64;

// The newest item strictly newer than `current`, if any. Items whose versions are missing, longer
// than kMaxVersionBytes or not plain text (isPlainText) are passed over.
std::optional<AppcastItem> newestUpdate(const std::vector<AppcastItem>& items,
                                        std::string_view current);

}  // namespace plenhall
