// The updater: reads the appcast feed named at build time over HTTPS (libsoup), at launch after a
// short delay, then daily, and when the user asks; tells the controller before it shows an update.
// Without a feed address, updates come from the system's package manager and a check says so.
//
// Thread: main thread only; network work is asynchronous on the main loop. Ownership: the core
// owns the updater; a check in flight when it goes is cancelled and its callbacks do nothing.
#pragma once

#include <libsoup/soup.h>

#include <memory>
#include <optional>
#include <string>

#include "update/appcast.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/system.h"
#include "platform/updater.h"

namespace plenhall::gtk {

struct UpdaterSettings {
    std::string feed;
    std::string currentVersion;       // the build, compared with the items' versions
    std::string currentShortVersion;  // shown to people
};

class FeedUpdater final : public Updater {
  public:
    FeedUpdater(UpdaterSettings settings, bool startingUpdater, UserDriverDelegate& driver,
                Workspace& workspace, Log& log);
    FeedUpdater(const FeedUpdater&) = delete;
    FeedUpdater& operator=(const FeedUpdater&) = delete;
    ~FeedUpdater() override;

    void checkForUpdates() override;

    // First scheduled check after launch, and the time between checks.
    static constexpr unsigned kFirstCheckSeconds = 10;
    static constexpr unsigned kCheckIntervalSeconds = 24 * 60 * 60;
    // Limits that keep a broken or hostile feed from hanging or flooding the program.
    static constexpr std::size_t kMaxFeedBytes = 2 * 1024 * 1024;
    static constexpr unsigned kDeadlineSeconds = 60;

  private:
    struct Check;
    enum class Origin { scheduled, user };

    void start(Origin origin);
    void finish(const AppcastResult& result);
    void fail(const std::string& reason);
    void schedule(unsigned seconds);
    void showUpdate(const AppcastItem& item);
    void showMessage(const std::string& primary, const std::string& secondary);
    static void onSent(GObject* source, GAsyncResult* result, gpointer check);
    static void onRead(GObject* source, GAsyncResult* result, gpointer check);

    UpdaterSettings settings_;
    UserDriverDelegate& driver_;
    Workspace& workspace_;
    Log& log_;
    GObjectPtr<SoupSession> session_;
    std::shared_ptr<Check> check_;
    bool userWaiting_ = false;
    SourceId scheduled_;
    SourceId deadline_;
};

class FeedUpdaterFactory final : public UpdaterFactory {
  public:
    FeedUpdaterFactory(UpdaterSettings settings, Workspace& workspace, Log& log)
        : settings_(std::move(settings)), workspace_(workspace), log_(log) {}
    std::unique_ptr<Updater> makeUpdater(bool startingUpdater,
                                         UserDriverDelegate& driver) override {
        return std::make_unique<FeedUpdater>(settings_, startingUpdater, driver, workspace_, log_);
    }

  private:
    UpdaterSettings settings_;
    Workspace& workspace_;
    Log& log_;
};

}  // namespace plenhall::gtk
