#include "app/focus_rules.h"

#include <utility>

#include "platform/window.h"

namespace plenhall {

FocusRules::FocusRules(FocusEvents& events, MainQueue& queue, std::function<void()> onLeft,
                       std::function<void(const Window&)> onGained)
    : events_(events), queue_(queue), onLeft_(std::move(onLeft)), onGained_(std::move(onGained)) {
    // Taken back in the destructor, so `this` outlives the handler.
    events_.setHandler([this](const FocusChange& change) { changed(change); });
}

FocusRules::~FocusRules() {
    events_.setHandler(nullptr);
}

void FocusRules::changed(const FocusChange& change) {
    switch (change.kind) {
        case FocusChange::Kind::gained:
            active_ = true;
            handBackTo_ = nullptr;
            handBackTimer_.reset();
            if (change.window) onGained_(*change.window);
            break;
        case FocusChange::Kind::lost:
            break;
        case FocusChange::Kind::dialogClosed:
            // The dialog's window gets the focus back only when the window manager gets round to
            // it; until then no window of ours is active, which is not the user leaving.
            if (!change.window) break;
            handBackTo_ = change.window;
            handBackTimer_ =
                queue_.asyncAfter(kFocusHandBackGrace, [this] { handBackTo_ = nullptr; });
            break;
    }
    scheduleSettle();
}

void FocusRules::scheduleSettle() {
    settleTimer_ = queue_.asyncAfter(kFocusSettle, [this] { settle(); });
}

void FocusRules::settle() {
    if (events_.anyWindowActive()) {
        active_ = true;
        return;
    }
    // Our own grab holds the keyboard; the focus comes back when the keys are released. A window
    // put away with its dialog never gets the focus back.
    if (events_.keyboardGrabbed() || (handBackTo_ && handBackTo_->isVisible())) {
        scheduleSettle();
        return;
    }
    handBackTo_ = nullptr;
    handBackTimer_.reset();
    if (!active_) return;
    active_ = false;
    onLeft_();
}

}  // namespace plenhall
