#include "hotkey/hot_key.h"

#include <string>
#include <utility>

#include "text/localized.h"

namespace plenhall {

HotKey::HotKey(GlobalHotKeys& platform, MainQueue& mainQueue, Log& log,
               std::function<void(const UserInput&)> action)
    : platform_(platform), mainQueue_(mainQueue), log_(log), action_(std::move(action)) {
    // Each press is deferred to the main queue so the action runs after the key event itself has
    // been handled.
    platform_.installPressHandler([this](const UserInput& press) {
        mainQueue_.async([this, press, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.lock()) action_(press);
        });
    });
    // The backend holds this handler no longer than the HotKey: the destructor replaces it.
    platform_.installBindingChangedHandler([this](const HotKeyBinding& binding) {
        if (state_ == State::registered && binding.trigger != trigger_)
            setState(State::registered, std::nullopt, binding.trigger);
    });
    platform_.installServiceHandler([this](HotKeyService change) { serviceChanged(change); });
}

HotKey::~HotKey() {
    unregister();
    platform_.installPressHandler([](const UserInput&) {});
    platform_.installBindingChangedHandler([](const HotKeyBinding&) {});
    platform_.installServiceHandler([](HotKeyService) {});
}

void HotKey::registerShortcut(const Shortcut& shortcut,
                              std::function<void(const HotKeyRegistration&)> done) {
    unregister();
    const auto generation = ++generation_;
    shortcut_ = shortcut;
    done_ = std::move(done);
    serviceRestarts_ = 0;
    setState(State::waiting, std::nullopt, "");
    ask(generation);
    if (generation != generation_ || state_ != State::waiting) return;  // answered at once
    // The timer is a member, so `this` outlives it.
    answerDeadline_ = mainQueue_.asyncAfter(kAnswerBound, [this, generation] {
        if (generation != generation_ || state_ != State::waiting) return;
        platform_.unregisterHotKey();
        answered(generation, HotKeyError{HotKeyError::Reason::noAnswer, 0});
    });
}

void HotKey::ask(std::uint64_t generation) {
    platform_.registerHotKey(
        shortcut_->keys(), tr("Show or hide the calendar"),
        [this, generation, alive = std::weak_ptr<bool>(alive_)](const HotKeyRegistration& answer) {
            if (alive.lock()) answered(generation, answer);
        });
}

void HotKey::answered(std::uint64_t generation, const HotKeyRegistration& registration) {
    if (generation != generation_) return;
    if (state_ == State::registered) return rebound(registration);
    if (state_ != State::waiting) return;
    answerDeadline_.reset();
    if (registration) {
        serviceRestarts_ = 0;
        setState(State::registered, std::nullopt, registration.value().trigger);
    } else {
        log_.line("PlenhallDesktop: " + shortcut_->englishDisplay() + " unavailable (status " +
                  std::to_string(registration.error().status) + ")");
        setState(State::refused, registration.error(), "");
    }
    if (auto done = std::exchange(done_, nullptr)) done(registration);
}

// The answer to registering again after the service left: only a changed trigger is news.
void HotKey::rebound(const HotKeyRegistration& registration) {
    if (!registration) {
        log_.line("PlenhallDesktop: " + shortcut_->englishDisplay() +
                  " could not be bound again after the desktop's shortcut service restarted "
                  "(status " +
                  std::to_string(registration.error().status) + ")");
        rebindWhenBack_ = true;
        return;
    }
    serviceRestarts_ = 0;
    rebindWhenBack_ = false;
    if (registration.value().trigger != trigger_)
        setState(State::registered, std::nullopt, registration.value().trigger);
}

void HotKey::serviceChanged(HotKeyService change) {
    if (state_ != State::waiting && state_ != State::registered) return;
    if (change == HotKeyService::back) {
        if (state_ == State::registered && std::exchange(rebindWhenBack_, false)) ask(generation_);
        return;
    }
    rebindWhenBack_ = false;
    if (++serviceRestarts_ <= kMostServiceRestarts) return ask(generation_);
    log_.line("PlenhallDesktop: the desktop's shortcut service keeps restarting; " +
              shortcut_->englishDisplay() + " is given up");
    if (state_ == State::waiting)
        answered(generation_, HotKeyError{HotKeyError::Reason::unsupported, 0});
}

void HotKey::unregister() {
    if (state_ == State::registered || state_ == State::waiting) platform_.unregisterHotKey();
    answerDeadline_.reset();
    done_ = nullptr;
    rebindWhenBack_ = false;
    ++generation_;
    if (state_ != State::unregistered) setState(State::unregistered, std::nullopt, "");
}

std::string HotKey::triggerText(const Shortcut& shortcut) const {
    return state_ == State::registered && !trigger_.empty() ? trigger_ : shortcut.display();
}

void HotKey::setState(State state, std::optional<HotKeyError> refusal, std::string trigger) {
    state_ = state;
    refusal_ = std::move(refusal);
    trigger_ = std::move(trigger);
    changes_.send();
}

}  // namespace plenhall
