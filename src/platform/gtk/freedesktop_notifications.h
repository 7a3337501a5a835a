// Notifications through the desktop's notification server (org.freedesktop.Notifications on the
// session bus): Notify with a "default" action, ActionInvoked, NotificationClosed and
// CloseNotification.
//
// A missing server, a refused call or a malformed reply leaves that notification unshown and is
// logged once until a notification is shown again. Signals are believed only from the process that
// owns the server's name now, and only for the ids it gave us. A server that leaves the bus takes
// its notifications with it: each of ours it showed counts as closed.
//
// Thread: main thread only. Ownership: the composition root owns this for the life of the process;
// the delegate outlives it. Calls still under way when it goes are cancelled and answer nothing.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>

#include "platform/desktop_notifications.h"
#include "platform/gtk/portal_transport.h"
#include "platform/system.h"

namespace plenhall::gtk {

class FreedesktopNotifications final : public DesktopNotifications,
                                       private PortalTransport::Listener {
  public:
    // `transport` reaches the server; it is started at the first notification.
    explicit FreedesktopNotifications(Log& log,
                                      std::unique_ptr<PortalTransport> transport = busTransport())
        : log_(log), transport_(std::move(transport)) {}
    FreedesktopNotifications(const FreedesktopNotifications&) = delete;
    FreedesktopNotifications& operator=(const FreedesktopNotifications&) = delete;

    // The server on the application's session bus connection.
    static std::unique_ptr<PortalTransport> busTransport();

    void setDelegate(DesktopNotificationsDelegate& delegate) override { delegate_ = &delegate; }
    void show(std::uint64_t id, const DesktopNotificationContent& content) override;
    void close(std::uint64_t id) override;

  private:
    void ownerChanged(const std::string& owner) override;
    void signalled(std::string_view path, std::string_view member, GVariant* parameters) override;
    void closed(const std::string& why) override { noBus_ = why; }
    static bool hasBodyMarkup(GVariant* capabilities);
    void notified(std::uint64_t id, GVariant* reply, const GError* error);
    void failed(std::uint64_t id, const std::string& why);
    void closeOnServer(std::uint32_t serverId);
    // Ours for the server's id; nothing when it is not one of ours.
    std::optional<std::uint64_t> ours(std::uint32_t serverId) const;

    Log& log_;
    std::unique_ptr<PortalTransport> transport_;
    DesktopNotificationsDelegate* delegate_ = nullptr;
    std::optional<std::string> noBus_;                 // why there is no bus to talk on
    bool serverSeen_ = false;                          // someone owns the server's name
    std::map<std::uint64_t, std::uint32_t> onScreen_;  // ours → the server's
    std::set<std::uint64_t> asked_;                    // Notify sent, no answer yet
    bool failureLogged_ = false;
    std::optional<bool> bodyMarkup_;  // whether the server reads markup in bodies; unknown at first
};

}  // namespace plenhall::gtk
