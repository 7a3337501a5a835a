// The updater component. Without a feed address updates come from the system's package manager,
// and a check says exactly that.
//
// Thread: main thread only. Ownership: the core owns the updater; the user-driver delegate
// outlives it.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "platform/system.h"
#include "platform/updater.h"

namespace plenhall::gtk {

class FeedUpdater final : public Updater {
  public:
    FeedUpdater(std::string feed, UserDriverDelegate& driver, Log& log);
    void checkForUpdates() override;

  private:
    void showMessage(const std::string& primary, const std::string& secondary);

    std::string feed_;
    UserDriverDelegate& driver_;
    Log& log_;
};

class FeedUpdaterFactory final : public UpdaterFactory {
  public:
    FeedUpdaterFactory(std::string feed, std::optional<InfoDictionary> info, Log& log)
        : feed_(std::move(feed)), info_(std::move(info)), log_(log) {}
    std::unique_ptr<Updater> makeUpdater(bool startingUpdater, UserDriverDelegate& driver) override;

  private:
    std::string feed_;
    std::optional<InfoDictionary> info_;
    Log& log_;
};

}  // namespace plenhall::gtk
