#include "platform/gtk/portal_replies.h"

#include <gio/gio.h>

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {

PortalShortcut findPortalShortcut(GVariant* shortcuts, std::string_view id) {
    if (!shortcuts || !g_variant_is_of_type(shortcuts, G_VARIANT_TYPE("a(sa{sv})")))
        return {PortalShortcut::Found::malformed, {}};
    GVariantIter iter;
    g_variant_iter_init(&iter, shortcuts);
    const char* name = nullptr;
    GVariant* rawProperties = nullptr;
    while (g_variant_iter_next(&iter, "(&s@a{sv})", &name, &rawProperties)) {
        GVariantPtr properties(rawProperties);
        if (id != name) continue;
        GVariantPtr trigger(
            g_variant_lookup_value(properties.get(), "trigger_description", nullptr));
        // Some desktops bind without naming keys (Hyprland leaves that to the user's config).
        if (!trigger) return {PortalShortcut::Found::listed, {}};
        if (!g_variant_is_of_type(trigger.get(), G_VARIANT_TYPE_STRING))
            return {PortalShortcut::Found::malformed, {}};
        return {PortalShortcut::Found::listed, g_variant_get_string(trigger.get(), nullptr)};
    }
    return {PortalShortcut::Found::missing, {}};
}

PortalShortcut findPortalShortcutInResults(GVariant* results, std::string_view id) {
    if (!results || !g_variant_is_of_type(results, G_VARIANT_TYPE_VARDICT))
        return {PortalShortcut::Found::malformed, {}};
    GVariantPtr shortcuts(g_variant_lookup_value(results, "shortcuts", nullptr));
    if (!shortcuts) return {PortalShortcut::Found::missing, {}};
    return findPortalShortcut(shortcuts.get(), id);
}

std::optional<std::string> portalSessionHandle(GVariant* results) {
    GVariantPtr handle(g_variant_lookup_value(results, "session_handle", nullptr));
    if (!handle || !(g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_STRING) ||
                     g_variant_is_of_type(handle.get(), G_VARIANT_TYPE_OBJECT_PATH)))
        return std::nullopt;
    const char* path = g_variant_get_string(handle.get(), nullptr);
    if (!g_variant_is_object_path(path)) return std::nullopt;
    return path;
}

std::optional<PortalActivation> portalActivation(GVariant* parameters) {
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(osta{sv})"))) return std::nullopt;
    const char* session = nullptr;
    const char* id = nullptr;
    guint64 timestamp = 0;
    GVariant* rawOptions = nullptr;
    g_variant_get(parameters, "(&o&st@a{sv})", &session, &id, &timestamp, &rawOptions);
    GVariantPtr options(rawOptions);
    PortalActivation activation{session, id, {}};
    // Milliseconds of an unspecified clock, as X event times are; they wrap alike.
    activation.input.time = std::uint32_t(timestamp);
    const char* token = nullptr;
    if (g_variant_lookup(options.get(), "activation_token", "&s", &token))
        activation.input.activationToken = token;
    return activation;
}

PortalCallFailure classifyPortalCallError(const GError* error) {
    if (!error || error->domain != G_DBUS_ERROR) return PortalCallFailure::other;
    switch (error->code) {
        case G_DBUS_ERROR_SERVICE_UNKNOWN:
        case G_DBUS_ERROR_NAME_HAS_NO_OWNER:
        case G_DBUS_ERROR_SPAWN_EXEC_FAILED:
        case G_DBUS_ERROR_SPAWN_FORK_FAILED:
        case G_DBUS_ERROR_SPAWN_CHILD_EXITED:
        case G_DBUS_ERROR_SPAWN_CHILD_SIGNALED:
        case G_DBUS_ERROR_SPAWN_FAILED:
        case G_DBUS_ERROR_SPAWN_SETUP_FAILED:
        case G_DBUS_ERROR_SPAWN_CONFIG_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_INVALID:
        case G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND:
        case G_DBUS_ERROR_SPAWN_PERMISSIONS_INVALID:
        case G_DBUS_ERROR_SPAWN_FILE_INVALID:
        case G_DBUS_ERROR_SPAWN_NO_MEMORY:
            return PortalCallFailure::noPortal;
        case G_DBUS_ERROR_UNKNOWN_METHOD:
        case G_DBUS_ERROR_UNKNOWN_INTERFACE:
        case G_DBUS_ERROR_UNKNOWN_OBJECT:
        case G_DBUS_ERROR_UNKNOWN_PROPERTY:
            return PortalCallFailure::missingInterface;
        case G_DBUS_ERROR_NO_REPLY:
        case G_DBUS_ERROR_DISCONNECTED:
            return PortalCallFailure::portalGone;
        default:
            return PortalCallFailure::other;
    }
}

}  // namespace plenhall::gtk
