// Showing and hiding the calendar, and putting it away when the application loses focus.

#include <chrono>

#include "app/app_delegate.h"
#include "web/user_agent.h"
#include "window/window_layout.h"

namespace plenhall {

void AppDelegate::layoutWindow() {
    plenhall::layoutWindow(*window_, platform_.screens, prefs_);
}

void AppDelegate::stow() {
    rememberLargeFrame(*window_, prefs_);  // while the window still has its on-screen frame
    window_->hide();
    hiddenAt_ = platform_.clock.now();
    stowedOnResignAt_.reset();
}

void AppDelegate::show(const UserInput& input) {
    layoutWindow();

    bool stale = false;
    if (hiddenAt_) {
        // A clock moved backwards gives a negative time hidden, which never counts as stale.
        std::chrono::duration<double> hidden = platform_.clock.now() - *hiddenAt_;
        stale = hidden.count() > values_.staleAfter;
    }
    if (showingOffline_ || stale) {
        showingOffline_ = false;
        load(startRequest(values_.appURL));
    }

    hiddenAt_.reset();
    hadFocus_ = false;
    window_->present(input);
    window_->focusContent();
    reminders_->calendarShown();
}

void AppDelegate::hide() {
    if (!window_->isVisible()) return;
    stow();
}

void AppDelegate::toggle(const UserInput& input) {
    if (window_->isVisible()) {
        hide();
    } else {
        show(input);
    }
}

void AppDelegate::activated(const UserInput& input) {
    show(input);
}

void AppDelegate::appResigned() {
    if (window_->isVisible() && hadFocus_) {
        stow();
        stowedOnResignAt_ = hiddenAt_;
    }
}

void AppDelegate::gotFocus() {
    hadFocus_ = true;
}

void AppDelegate::hideFromMenu() {
    if (settings_ && settings_->window().isActive()) {
        settings_->close();
        return;
    }
    hide();
}

}  // namespace plenhall
