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

#include <gio/gio.h>

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "platform/desktop_notifications.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/system.h"

namespace plenhall::gtk {

class FreedesktopNotifications final : public DesktopNotifications {
  public:
    // `bus`: the connection to use, asked for at the first notification; nothing when there is
    // none. The session bus unless told otherwise.
    using BusProvider = std::function<GObjectPtr<GDBusConnection>()>;
    explicit FreedesktopNotifications(Log& log, BusProvider bus = sessionBus)
        : log_(log), provideBus_(std::move(bus)) {}
    FreedesktopNotifications(const FreedesktopNotifications&) = delete;
    FreedesktopNotifications& operator=(const FreedesktopNotifications&) = delete;

    void setDelegate(DesktopNotificationsDelegate& delegate) override { delegate_ = &delegate; }
    void show(std::uint64_t id, const DesktopNotificationContent& content) override;
    void close(std::uint64_t id) override;

  private:
    static GObjectPtr<GDBusConnection> sessionBus();
    bool connect();
    void onServerOwner(const std::string& owner);
    static bool hasBodyMarkup(GVariant* capabilities);
    void notified(std::uint64_t id, GVariant* reply, const GError* error);
    void failed(std::uint64_t id, const std::string& why);
    void closeOnServer(std::uint32_t serverId);
    static void onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                         const gchar* signal, GVariant* parameters, gpointer data);
    // Ours for the server's id; nothing when it is not one of ours.
    std::optional<std::uint64_t> ours(std::uint32_t serverId) const;

    Log& log_;
    BusProvider provideBus_;
    DesktopNotificationsDelegate* delegate_ = nullptr;
    GObjectPtr<GDBusConnection> bus_;
    DBusNameWatch server_;
    std::string owner_;  // the unique name of the server's process while it runs
    DBusSignalSubscription actionInvoked_;
    DBusSignalSubscription closed_;
    std::map<std::uint64_t, std::uint32_t> onScreen_;  // ours → the server's
    std::set<std::uint64_t> asked_;                    // Notify sent, no answer yet
    bool failureLogged_ = false;
    std::optional<bool> bodyMarkup_;  // whether the server reads markup in bodies; unknown at first
    PendingOperations pending_;
};

}  // namespace plenhall::gtk
