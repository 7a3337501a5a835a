#include "platform/gtk/freedesktop_notifications.h"

#include <functional>
#include <memory>
#include <string>
#include <utility>

namespace plenhall::gtk {
namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr const char* kDefaultAction = "default";
constexpr const char* kDesktopEntry = "com.plenhall.Desktop";

}  // namespace

GObjectPtr<GDBusConnection> FreedesktopNotifications::sessionBus() {
    // The application already holds the session bus, so this only hands out its connection.
    return adopt(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr));
}

bool FreedesktopNotifications::connect() {
    if (bus_) return true;
    bus_ = provideBus_();
    if (!bus_) return false;
    // The watch goes with this object, so `this` outlives it.
    server_ = DBusNameWatch(bus_.get(), kName,
                            [this](const std::string& owner) { onServerOwner(owner); });
    return true;
}

void FreedesktopNotifications::onServerOwner(const std::string& owner) {
    if (!owner_.empty()) {
        // The server that showed ours has gone, and a new one knows nothing of them.
        auto shown = std::exchange(onScreen_, {});
        bodyMarkup_.reset();
        if (delegate_)
            for (const auto& [id, serverId] : shown) delegate_->desktopNotificationClosed(id);
    }
    owner_ = owner;
    if (owner_.empty()) {
        actionInvoked_.unsubscribe();
        closed_.unsubscribe();
        return;
    }
    // The subscriptions go with this object, so `this` outlives them.
    actionInvoked_ = DBusSignalSubscription(bus_.get(), owner_.c_str(), kInterface, "ActionInvoked",
                                            kPath, nullptr, onSignal, this);
    closed_ = DBusSignalSubscription(bus_.get(), owner_.c_str(), kInterface, "NotificationClosed",
                                     kPath, nullptr, onSignal, this);
    // Each server reads markup or not; asked once the signals above are heard.
    auto* completion =
        new DBusCallCompletion{pending_.share(), [this, owner](GVariant* reply, const GError*) {
                                   if (reply && owner == owner_) bodyMarkup_ = hasBodyMarkup(reply);
                               }};
    g_dbus_connection_call(bus_.get(), owner_.c_str(), kPath, kInterface, "GetCapabilities",
                           nullptr, G_VARIANT_TYPE("(as)"), G_DBUS_CALL_FLAGS_NONE, -1,
                           pending_.get(), DBusCallCompletion::run, completion);
}

bool FreedesktopNotifications::hasBodyMarkup(GVariant* capabilities) {
    GVariantIter* names = nullptr;
    g_variant_get(capabilities, "(as)", &names);
    bool found = false;
    const char* name = nullptr;
    while (g_variant_iter_next(names, "&s", &name))
        found = found || g_strcmp0(name, "body-markup") == 0;
    g_variant_iter_free(names);
    return found;
}

void FreedesktopNotifications::show(std::uint64_t id, const DesktopNotificationContent& content) {
    if (!connect()) {
        failed(id, "no session bus");
        return;
    }
    GVariantBuilder actions;
    g_variant_builder_init(&actions, G_VARIANT_TYPE("as"));
    g_variant_builder_add(&actions, "s", kDefaultAction);
    g_variant_builder_add(&actions, "s", content.clickLabel.c_str());
    GVariantBuilder hints;
    g_variant_builder_init(&hints, G_VARIANT_TYPE("a{sv}"));
    g_variant_builder_add(&hints, "{sv}", "desktop-entry", g_variant_new_string(kDesktopEntry));
    // A server that reads markup in the body would take a page's "<a href=…>" or "<img src=…>" as
    // its own; the page's text is shown as written. Until the server has said, it is assumed to
    // read markup, as nearly all do.
    CPtr<gchar, g_free> body(bodyMarkup_ == false ? g_strdup(content.body.c_str())
                                                  : g_markup_escape_text(content.body.c_str(), -1));
    asked_.insert(id);
    auto* completion = new DBusCallCompletion{
        pending_.share(),
        [this, id](GVariant* reply, const GError* error) { notified(id, reply, error); }};
    g_dbus_connection_call(
        bus_.get(), kName, kPath, kInterface, "Notify",
        g_variant_new("(susssasa{sv}i)", "Plenhall", 0u, content.iconName.c_str(),
                      content.title.c_str(), body.get(), &actions, &hints, -1),
        G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE, -1, pending_.get(), DBusCallCompletion::run,
        completion);
}

void FreedesktopNotifications::notified(std::uint64_t id, GVariant* reply, const GError* error) {
    const bool wanted = asked_.erase(id) > 0;  // false: closed before the server answered
    if (!reply) {
        // GDBus checks the reply's type, so a malformed answer arrives here as an error too.
        failed(wanted ? id : 0, error ? error->message : "no reply");
        return;
    }
    std::uint32_t serverId = 0;
    g_variant_get(reply, "(u)", &serverId);
    failureLogged_ = false;
    if (!wanted) {
        closeOnServer(serverId);
        return;
    }
    onScreen_[id] = serverId;
}

void FreedesktopNotifications::failed(std::uint64_t id, const std::string& why) {
    if (!failureLogged_) {
        log_.line("PlenhallDesktop: the desktop's notification server did not show a reminder: " +
                  why);
        failureLogged_ = true;
    }
    if (id != 0 && delegate_) delegate_->desktopNotificationNotShown(id);
}

void FreedesktopNotifications::close(std::uint64_t id) {
    if (asked_.erase(id)) return;  // closed on the server once it answers
    auto it = onScreen_.find(id);
    if (it == onScreen_.end()) return;
    const std::uint32_t serverId = it->second;
    onScreen_.erase(it);
    closeOnServer(serverId);
}

void FreedesktopNotifications::closeOnServer(std::uint32_t serverId) {
    // Nothing waits for the answer: a notification the server already dropped is no error of ours.
    g_dbus_connection_call(bus_.get(), kName, kPath, kInterface, "CloseNotification",
                           g_variant_new("(u)", serverId), nullptr, G_DBUS_CALL_FLAGS_NONE, -1,
                           nullptr, nullptr, nullptr);
}

std::optional<std::uint64_t> FreedesktopNotifications::ours(std::uint32_t serverId) const {
    for (const auto& [id, server] : onScreen_)
        if (server == serverId) return id;
    return std::nullopt;
}

void FreedesktopNotifications::onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                        const gchar* signal, GVariant* parameters, gpointer data) {
    auto* self = static_cast<FreedesktopNotifications*>(data);
    if (!self->delegate_) return;
    const std::string name = signal;
    if (name == "ActionInvoked" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
        std::uint32_t serverId = 0;
        const char* action = nullptr;
        g_variant_get(parameters, "(u&s)", &serverId, &action);
        auto id = self->ours(serverId);
        if (id && g_strcmp0(action, kDefaultAction) == 0)
            self->delegate_->desktopNotificationClicked(*id);
    } else if (name == "NotificationClosed" &&
               g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
        std::uint32_t serverId = 0;
        std::uint32_t reason = 0;
        g_variant_get(parameters, "(uu)", &serverId, &reason);
        auto id = self->ours(serverId);
        if (!id) return;
        self->onScreen_.erase(*id);
        self->delegate_->desktopNotificationClosed(*id);
    }
}

}  // namespace plenhall::gtk
