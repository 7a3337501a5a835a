// The desktop's notification server: messages shown outside our windows, which the user can click
// or dismiss.
//
// Thread: main thread only. Ownership: the composition root owns the service for the life of the
// process; the delegate is held by reference and must outlive it.
#pragma once

#include <cstdint>
#include <string>

namespace plenhall {

struct DesktopNotificationContent {
    std::string appName;  // the program, as the server lists it
    std::string title;
    std::string body;
    // A themed icon name; the server's own choice when empty.
    std::string iconName;
    // The words of the click that brings the program forward, for servers that show it; a
    // localisation key (the English text).
    std::string clickLabel;
};

class DesktopNotificationsDelegate {
  public:
    virtual ~DesktopNotificationsDelegate() = default;
    // The user clicked the notification.
    virtual void desktopNotificationClicked(std::uint64_t id) = 0;
    // It went away without us asking: dismissed by the user or expired.
    virtual void desktopNotificationClosed(std::uint64_t id) = 0;
    // It could not be shown (no server, or the server refused); nothing more comes for `id`.
    virtual void desktopNotificationNotShown(std::uint64_t id) = 0;
};

class DesktopNotifications {
  public:
    virtual ~DesktopNotifications() = default;
    virtual void setDelegate(DesktopNotificationsDelegate& delegate) = 0;
    // `id` is the caller's, unique for the life of the process.
    virtual void show(std::uint64_t id, const DesktopNotificationContent& content) = 0;
    // Takes it off the screen; the delegate hears nothing more about it. Unknown ids are ignored.
    virtual void close(std::uint64_t id) = 0;
};

}  // namespace plenhall
