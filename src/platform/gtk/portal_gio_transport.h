// PortalTransport on GDBus: a service's well-known name on the session bus, its owner followed
// with a name watch and its signals heard by interface.
//
// Thread: main thread only. Ownership: its client owns it; the connection, the watch, every
// subscription and every call under way end with it.
#pragma once

#include <gio/gio.h>

#include <string>
#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/portal_transport.h"

namespace plenhall::gtk {

class PortalGioTransport final : public PortalTransport {
  public:
    enum class Connection {
        shared,  // the application's own, open since it started
        // One of its own, for a service that takes something only as the first call on a
        // connection (the portals' app id); made asynchronously.
        own,
    };
    PortalGioTransport(const char* name, std::vector<const char*> interfaces,
                       Connection connection);
    PortalGioTransport(const PortalGioTransport&) = delete;
    PortalGioTransport& operator=(const PortalGioTransport&) = delete;
    ~PortalGioTransport() override;

    std::string uniqueName() const override;
    void call(const char* path, const char* interface, const char* method, GVariant* parameters,
              const GVariantType* replyType, Reply onReply) override;
    void send(const char* path, const char* interface, const char* method,
              GVariant* parameters) override;

  private:
    void connect() override;
    void connected(GObjectPtr<GDBusConnection> connection);
    void onClosed(gboolean remotePeerVanished, GError*);
    void stop();
    static void onSignal(GDBusConnection*, const char* sender, const char* path,
                         const char* interface, const char* member, GVariant* parameters,
                         gpointer self);

    const char* name_;
    std::vector<const char*> interfaces_;
    Connection kind_;
    PendingOperations operations_;
    GObjectPtr<GDBusConnection> connection_;
    SignalConnection closed_;
    DBusNameWatch watch_;
    std::vector<DBusSignalSubscription> subscriptions_;
};

}  // namespace plenhall::gtk
