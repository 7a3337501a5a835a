// Whether the user has left the program, decided once the focus has settled: focus that moves
// between our own windows and dialogs, or that our own key grab holds for a moment, never counts.
//
// Thread: main thread only. Ownership: the application controller owns the rules; the desktop's
// focus events and the queue outlive them.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "platform/focus_events.h"
#include "platform/system.h"

namespace plenhall {

// Long enough for the focus to travel from one of our windows to another (a dialog opening, the
// window manager's focus-out/focus-in pair), short enough that a click elsewhere feels immediate.
inline constexpr std::chrono::milliseconds kFocusSettle{80};
// How long the focus still counts as ours after a dialog closed with it, while the window manager
// gives it back to the dialog's window; a click elsewhere in that moment is heard once it passes.
inline constexpr std::chrono::milliseconds kFocusHandBackGrace{500};

class FocusRules {
  public:
    FocusRules(FocusEvents& events, MainQueue& queue, std::function<void()> onLeft,
               std::function<void(const Window&)> onGained);
    FocusRules(const FocusRules&) = delete;
    FocusRules& operator=(const FocusRules&) = delete;
    ~FocusRules();

  private:
    void changed(const FocusChange& change);
    void scheduleSettle();
    void settle();

    FocusEvents& events_;
    MainQueue& queue_;
    std::function<void()> onLeft_;
    std::function<void(const Window&)> onGained_;
    bool active_ = false;
    // The window a dialog closed on while it had the focus, until the grace has passed.
    const Window* handBackTo_ = nullptr;
    std::unique_ptr<MainQueue::Timer> settleTimer_;
    std::unique_ptr<MainQueue::Timer> handBackTimer_;
};

}  // namespace plenhall
