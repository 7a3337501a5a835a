#include "platform/gtk/portal_gio_transport.h"

#include <memory>
#include <utility>

namespace plenhall::gtk {
namespace {

struct ConnectCompletion {
    GObjectPtr<GCancellable> alive;
    std::function<void(GObjectPtr<GDBusConnection>, const GErrorHolder&)> onConnected;

    static void run(GObject*, GAsyncResult* result, gpointer data) {
        std::unique_ptr<ConnectCompletion> self(static_cast<ConnectCompletion*>(data));
        GErrorHolder error;
        auto connection = adopt(g_dbus_connection_new_for_address_finish(result, error.out()));
        if (PendingOperations::cancelled(self->alive)) return;
        self->onConnected(std::move(connection), error);
    }
};

}  // namespace

PortalGioTransport::PortalGioTransport(const char* name, std::vector<const char*> interfaces,
                                       Connection connection)
    : name_(name), interfaces_(std::move(interfaces)), kind_(connection) {}

PortalGioTransport::~PortalGioTransport() {
    closed_.disconnect();
    watch_.stop();
    if (!connection_ || kind_ != Connection::own) return;
    // What the client sent last (closing its session) is written out before the connection goes.
    // The bus socket is local: this waits on no service.
    g_dbus_connection_flush_sync(connection_.get(), nullptr, nullptr);
    g_dbus_connection_close(connection_.get(), nullptr, nullptr, nullptr);
}

void PortalGioTransport::connect() {
    if (kind_ == Connection::shared) {
        GErrorHolder error;
        auto bus = adopt(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, error.out()));
        if (!bus) return closedBecause("no session bus (" + error.message() + ")");
        return connected(std::move(bus));
    }
    GErrorHolder error;
    GCharPtr address(
        g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, operations_.get(), error.out()));
    if (!address) return closedBecause("no session bus (" + error.message() + ")");
    // `this` is used only while operations_, a member, is not cancelled.
    auto* completion = new ConnectCompletion{
        operations_.share(),
        [this](GObjectPtr<GDBusConnection> connection, const GErrorHolder& failure) {
            if (!connection)
                return closedBecause("cannot connect to the session bus (" + failure.message() +
                                     ")");
            connected(std::move(connection));
        }};
    g_dbus_connection_new_for_address(
        address.get(),
        GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                             G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
        nullptr, operations_.get(), ConnectCompletion::run, completion);
}

void PortalGioTransport::connected(GObjectPtr<GDBusConnection> connection) {
    connection_ = std::move(connection);
    GDBusConnection* bus = connection_.get();
    // Ahead of the watch, which also hears of a closed connection and would take it for the
    // service leaving. Handler, watch and subscriptions are members, dropped before `this` goes.
    closed_ = SignalConnection::to<&PortalGioTransport::onClosed>(bus, "closed", this);
    // Any sender: PortalTransport believes the owner alone, by its unique name.
    for (const char* interface : interfaces_)
        subscriptions_.emplace_back(bus, nullptr, interface, nullptr, nullptr, nullptr, onSignal,
                                    this);
    watch_ = DBusNameWatch(bus, name_, [this](const std::string& owner) { ownerIs(owner); });
}

void PortalGioTransport::onClosed(gboolean, GError*) {
    stop();
    closedBecause("the session bus connection closed");
}

void PortalGioTransport::stop() {
    watch_.stop();
    subscriptions_.clear();
}

std::string PortalGioTransport::uniqueName() const {
    const char* name = connection_ ? g_dbus_connection_get_unique_name(connection_.get()) : nullptr;
    return name ? name : "";
}

void PortalGioTransport::call(const char* path, const char* interface, const char* method,
                              GVariant* parameters, const GVariantType* replyType, Reply onReply) {
    if (!connection_) {
        GVariantPtr sunk(parameters ? g_variant_ref_sink(parameters) : nullptr);
        CPtr<GError, g_error_free> error(
            g_error_new_literal(G_DBUS_ERROR, G_DBUS_ERROR_DISCONNECTED, "no session bus"));
        return onReply(nullptr, error.get());
    }
    // `onReply` runs only while operations_, a member, is not cancelled.
    g_dbus_connection_call(connection_.get(), name_, path, interface, method, parameters, replyType,
                           G_DBUS_CALL_FLAGS_NONE, -1, operations_.get(), DBusCallCompletion::run,
                           new DBusCallCompletion{operations_.share(), std::move(onReply)});
}

void PortalGioTransport::send(const char* path, const char* interface, const char* method,
                              GVariant* parameters) {
    if (!connection_) {
        GVariantPtr sunk(parameters ? g_variant_ref_sink(parameters) : nullptr);
        return;
    }
    g_dbus_connection_call(connection_.get(), name_, path, interface, method, parameters, nullptr,
                           G_DBUS_CALL_FLAGS_NO_AUTO_START, -1, nullptr, nullptr, nullptr);
}

void PortalGioTransport::onSignal(GDBusConnection*, const char* sender, const char* path,
                                  const char*, const char* member, GVariant* parameters,
                                  gpointer self) {
    static_cast<PortalGioTransport*>(self)->signalFrom(sender ? sender : "", path, member,
                                                       parameters);
}

}  // namespace plenhall::gtk
