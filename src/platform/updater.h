// The software updater: an outside component the program only creates, asks to check and
// listens to.
//
// Thread: main thread only. The user-driver delegate is held by reference and outlives the
// updater.
#pragma once

#include <memory>

namespace plenhall {

class UserDriverDelegate {
  public:
    virtual ~UserDriverDelegate() = default;
    // The updater is about to show an update to the user.
    virtual void standardUserDriverWillHandleShowingUpdate() = 0;
};

class Updater {
  public:
    virtual ~Updater() = default;
    // A check the user asked for: it reports its outcome, "up to date" included.
    virtual void checkForUpdates() = 0;
};

class UpdaterFactory {
  public:
    virtual ~UpdaterFactory() = default;
    // `startingUpdater`: the updater starts its own schedule at once.
    virtual std::unique_ptr<Updater> makeUpdater(bool startingUpdater,
                                                 UserDriverDelegate& userDriverDelegate) = 0;
};

}  // namespace plenhall
