// Focus notifications of the desktop.
//
// Thread: main thread only. Observers stay installed for the life of the process.
#pragma once

#include <functional>

namespace plenhall {

class Window;

enum class Notification {
    // No window of this application holds the keyboard focus any more, decided once focus has
    // settled. Focus that moves between our own windows and dialogs, or that our own global key
    // grab takes for a moment, does not count.
    applicationLostFocus,
    // A window of ours became the focused (key) window; its sender is that window.
    windowGotFocus,
};

class NotificationCenter {
  public:
    virtual ~NotificationCenter() = default;
    // `sender` limits the observer to notifications of that window; nullptr accepts any sender.
    virtual void addObserver(Notification name, const Window* sender,
                             std::function<void()> callback) = 0;
};

}  // namespace plenhall
