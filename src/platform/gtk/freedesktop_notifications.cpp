#include "platform/gtk/freedesktop_notifications.h"

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/portal_gio_transport.h"

namespace plenhall::gtk {
namespace {

constexpr const char* kName = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr const char* kDefaultAction = "default";
constexpr const char* kDesktopEntry = "com.plenhall.Desktop";

}  // namespace

std::unique_ptr<PortalTransport> FreedesktopNotifications::busTransport() {
    return std::make_unique<PortalGioTransport>(kName, std::vector<const char*>{kInterface},
                                                PortalGioTransport::Connection::shared);
}

void FreedesktopNotifications::ownerChanged(const std::string& owner) {
    if (std::exchange(serverSeen_, !owner.empty())) {
        // The server that showed ours has gone, and a new one knows nothing of them.
        auto shown = std::exchange(onScreen_, {});
        bodyMarkup_.reset();
        if (delegate_)
            for (const auto& [id, serverId] : shown) delegate_->desktopNotificationClosed(id);
    }
    if (owner.empty()) return;
    // Each server reads markup or not. The transport, a member, runs no reply once it has gone.
    transport_->call(kPath, kInterface, "GetCapabilities", nullptr, G_VARIANT_TYPE("(as)"),
                     [this, owner](GVariant* reply, const GError*) {
                         if (reply && owner == transport_->owner())
                             bodyMarkup_ = hasBodyMarkup(reply);
                     });
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
    if (!transport_->started()) transport_->start(*this);
    if (noBus_) return failed(id, *noBus_);
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
    transport_->call(
        kPath, kInterface, "Notify",
        g_variant_new("(susssasa{sv}i)", content.appName.c_str(), 0u, content.iconName.c_str(),
                      content.title.c_str(), body.get(), &actions, &hints, -1),
        G_VARIANT_TYPE("(u)"),
        [this, id](GVariant* reply, const GError* error) { notified(id, reply, error); });
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
    transport_->send(kPath, kInterface, "CloseNotification", g_variant_new("(u)", serverId));
}

std::optional<std::uint64_t> FreedesktopNotifications::ours(std::uint32_t serverId) const {
    for (const auto& [id, server] : onScreen_)
        if (server == serverId) return id;
    return std::nullopt;
}

void FreedesktopNotifications::signalled(std::string_view, std::string_view member,
                                         GVariant* parameters) {
    if (!delegate_) return;
    if (member == "ActionInvoked" && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(us)"))) {
        std::uint32_t serverId = 0;
        const char* action = nullptr;
        g_variant_get(parameters, "(u&s)", &serverId, &action);
        auto id = ours(serverId);
        if (id && g_strcmp0(action, kDefaultAction) == 0)
            delegate_->desktopNotificationClicked(*id);
    } else if (member == "NotificationClosed" &&
               g_variant_is_of_type(parameters, G_VARIANT_TYPE("(uu)"))) {
        std::uint32_t serverId = 0;
        std::uint32_t reason = 0;
        g_variant_get(parameters, "(uu)", &serverId, &reason);
        auto id = ours(serverId);
        if (!id) return;
        onScreen_.erase(*id);
        delegate_->desktopNotificationClosed(*id);
    }
}

}  // namespace plenhall::gtk
