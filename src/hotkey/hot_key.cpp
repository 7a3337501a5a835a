#include "hotkey/hot_key.h"

#include <string>

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
        if (state_ == State::registered) setState(State::registered, std::nullopt, binding.trigger);
    });
}

HotKey::~HotKey() {
    unregister();
    platform_.installPressHandler([](const UserInput&) {});
    platform_.installBindingChangedHandler([](const HotKeyBinding&) {});
}

void HotKey::registerShortcut(const Shortcut& shortcut,
                              std::function<void(const HotKeyRegistration&)> done) {
    unregister();
    const auto generation = ++generation_;
    setState(State::waiting, std::nullopt, "");
    platform_.registerHotKey(
        shortcut.keyCode, shortcut.carbonModifiers,
        [this, generation, shortcut, done,
         alive = std::weak_ptr<bool>(alive_)](const HotKeyRegistration& registration) {
            if (alive.lock()) answered(generation, shortcut, registration, done);
        });
    if (generation != generation_ || state_ != State::waiting) return;  // answered at once
    // The timer is a member, so `this` outlives it.
    answerDeadline_ =
        mainQueue_.asyncAfter(kAnswerBound, [this, generation, shortcut, done = std::move(done)] {
            if (generation != generation_ || state_ != State::waiting) return;
            platform_.unregisterHotKey();
            answered(generation, shortcut, HotKeyError{HotKeyError::Reason::noAnswer, 0}, done);
        });
}

void HotKey::answered(std::uint64_t generation, const Shortcut& shortcut,
                      const HotKeyRegistration& registration,
                      const std::function<void(const HotKeyRegistration&)>& done) {
    if (generation != generation_ || state_ != State::waiting) return;
    answerDeadline_.reset();
    if (registration) {
        setState(State::registered, std::nullopt, registration.value().trigger);
    } else {
        log_.line("PlenhallDesktop: " + shortcut.englishDisplay() + " unavailable (status " +
                  std::to_string(registration.error().status) + ")");
        setState(State::refused, registration.error(), "");
    }
    if (done) done(registration);
}

void HotKey::unregister() {
    if (state_ == State::registered || state_ == State::waiting) platform_.unregisterHotKey();
    answerDeadline_.reset();
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
