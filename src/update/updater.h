// Software updates: reads the appcast feed named in the build's information dictionary, on its
// own schedule and when the user asks, and offers the newest version newer than this build.
// Without a feed address, updates come from the system's package manager and a check says so.
//
// Thread: main thread only. Ownership: the controller owns the updater; when it goes, its timer
// and any check in flight go with it and nothing of theirs runs later. Alerts already on screen
// stay and still open their links.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/alerts.h"
#include "platform/http.h"
#include "platform/system.h"
#include "update/appcast.h"

namespace plenhall {

enum class FeedVerdict {
    allowed,
    invalid,   // no scheme or no host: not an address at all
    insecure,  // neither https nor plain http on this machine
};

// The feed decides what the program offers to install, so it must come over an authenticated
// connection; plain http is accepted only from a loopback host, for tests and local mirrors.
FeedVerdict checkFeed(std::string_view feed);

// Where a feed request may be redirected: an address the feed rule allows, and never from https to
// plain http (a loopback address included), so a feed never ends on a weaker connection than it
// was asked for on.
FeedVerdict checkRedirect(std::string_view from, std::string_view to);

struct UpdaterSettings {
    std::string feed;                 // empty: updates come from the package manager
    std::string currentVersion;       // the build, compared with the items' versions
    std::string currentShortVersion;  // shown to people

    static UpdaterSettings of(const BuildInfo& build);
};

struct UpdaterServices {
    MainQueue& mainQueue;
    HttpClient& http;
    Dialogs& dialogs;
    Workspace& workspace;
    Log& log;
};

// Whether the updater checks on its own schedule, or only when asked.
enum class UpdateSchedule { automatic, onRequestOnly };

class Updater {
  public:
    // `willShowUpdate` runs just before an update is put on screen.
    Updater(UpdaterServices services, UpdaterSettings settings, UpdateSchedule mode,
            std::function<void()> willShowUpdate);
    Updater(const Updater&) = delete;
    Updater& operator=(const Updater&) = delete;

    // A check the user asked for: it reports its outcome, "up to date" included.
    void checkForUpdates();

    static constexpr std::chrono::seconds kFirstCheck{10};
    static constexpr std::chrono::hours kCheckInterval{24};
    // Limits that keep a broken or hostile feed from hanging or flooding the program.
    static constexpr std::size_t kMaxFeedBytes = 2 * 1024 * 1024;
    static constexpr std::chrono::seconds kDeadline{60};  // for a whole check, redirects included
    static constexpr int kMaxRedirects = 5;

  private:
    enum class Origin { scheduled, user };

    void schedule(std::chrono::milliseconds delay);
    void start(Origin origin);
    void fetch(std::string url);
    void received(HttpResult result);
    void redirected(const std::string& location);
    // Why a check failed, in English for the log and in the user's language for the user.
    void fail(const std::string& forLog, const std::string& forUser);
    // A feed that came but offers nothing to install: told to the user who asked, else logged.
    void unusableFeed(bool user, const std::string& forLog, const std::string& forUser);
    void offer(const AppcastItem& item);
    void showMessage(const std::string& primary, const std::string& secondary);

    UpdaterServices services_;
    UpdaterSettings settings_;
    std::function<void()> willShowUpdate_;
    std::unique_ptr<MainQueue::Timer> nextCheck_;
    std::unique_ptr<HttpClient::Request> request_;
    std::unique_ptr<MainQueue::Timer> deadline_;
    std::string url_;  // where the check in flight asks now
    int redirects_ = 0;
    bool userWaiting_ = false;
};

}  // namespace plenhall
