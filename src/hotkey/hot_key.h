// The one global hot key of the process: registers a Shortcut system-wide, runs an action on the
// main queue for every press, and knows how the desktop bound it.
//
// Thread: main thread only. Ownership: the application controller owns the one HotKey for the
// life of the process. Presses and answers already queued when a HotKey is destroyed do nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "hotkey/shortcut.h"
#include "platform/global_hot_keys.h"
#include "platform/system.h"
#include "prefs/observable.h"

namespace plenhall {

class HotKey {
  public:
    enum class State { unregistered, waiting, registered, refused };

    // How long a desktop may take to answer a registration, its dialog to the user included.
    // Unanswered by then, the registration is withdrawn and ends refused as `noAnswer`: a desktop
    // that never answers must not leave the shortcut waiting for good.
    static constexpr std::chrono::seconds kAnswerBound{120};
    // Where the desktop's own service holds the binding, each time it leaves the bus the shortcut
    // is registered again at once (a bus-activatable service is started by the asking). After
    // this many departures in a row with no binding in between, it is given up: a service that
    // crashes on our request must not be restarted for good.
    static constexpr int kMostServiceRestarts = 3;

    // `action` gets the press it runs for, to bring windows forward on its behalf.
    HotKey(GlobalHotKeys& platform, MainQueue& mainQueue, Log& log,
           std::function<void(const UserInput&)> action);
    HotKey(const HotKey&) = delete;
    HotKey& operator=(const HotKey&) = delete;
    ~HotKey();

    // Replaces whatever is registered by `shortcut`. `done` runs once with the desktop's answer:
    // before this returns where the desktop answers at once, later where it first asks the user,
    // and at the latest after kAnswerBound. A registration replaced (or dropped) before its
    // answer never completes. After a refusal nothing is registered and one log line says why.
    void registerShortcut(const Shortcut& shortcut,
                          std::function<void(const HotKeyRegistration&)> done = {});
    // Drops the live or waiting registration, if any.
    void unregister();

    State state() const { return state_; }
    bool isRegistered() const { return state_ == State::registered; }
    // Why the last registration was refused, while it stands.
    const std::optional<HotKeyError>& refusal() const { return refusal_; }
    // How `shortcut` reads to the user: the desktop's words for the keys it bound where it gives
    // them, else the shortcut's own glyphs.
    std::string triggerText(const Shortcut& shortcut) const;

    // Sent after every change of state or binding.
    Subscription subscribeChanges(std::function<void()> callback) {
        return changes_.add(std::move(callback));
    }

  private:
    void ask(std::uint64_t generation);
    void answered(std::uint64_t generation, const HotKeyRegistration& registration);
    void rebound(const HotKeyRegistration& registration);
    void serviceChanged(HotKeyService change);
    void setState(State state, std::optional<HotKeyError> refusal, std::string trigger);

    GlobalHotKeys& platform_;
    MainQueue& mainQueue_;
    Log& log_;
    std::function<void(const UserInput&)> action_;
    State state_ = State::unregistered;
    std::optional<HotKeyError> refusal_;
    std::string trigger_;
    std::optional<Shortcut> shortcut_;                     // while waiting or registered
    std::function<void(const HotKeyRegistration&)> done_;  // of the registration waiting
    int serviceRestarts_ = 0;      // departures of the service since the shortcut was last bound
    bool rebindWhenBack_ = false;  // registering again after a departure failed
    // Answers for an earlier registration are dropped even where a desktop delivers them late.
    std::uint64_t generation_ = 0;
    std::unique_ptr<MainQueue::Timer> answerDeadline_;
    Subscribers<> changes_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace plenhall
