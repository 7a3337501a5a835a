#include "platform/gtk/portal_appearance.h"

#include <gtk/gtk.h>

#include <memory>
#include <utility>
#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/portal_gio_transport.h"

namespace plenhall::gtk {
namespace {

constexpr const char* kPortalName = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalPath = "/org/freedesktop/portal/desktop";
constexpr const char* kSettingsInterface = "org.freedesktop.portal.Settings";
constexpr const char* kNamespace = "org.freedesktop.appearance";
constexpr const char* kKey = "color-scheme";
// Read wraps the value in one variant more; anything nested deeper is not a portal's answer.
constexpr int kMostVariantLevels = 3;

bool endsWithDark(const std::string& name) {
    return g_str_has_suffix(name.c_str(), "-dark") || g_str_has_suffix(name.c_str(), "-Dark");
}

}  // namespace

std::optional<ColorScheme> colorSchemeFrom(GVariant* value) {
    GVariantPtr held(value ? g_variant_ref(value) : nullptr);
    for (int level = 0; held && level < kMostVariantLevels; ++level) {
        if (!g_variant_is_of_type(held.get(), G_VARIANT_TYPE_VARIANT)) break;
        held.reset(g_variant_get_variant(held.get()));
    }
    if (!held || !g_variant_is_of_type(held.get(), G_VARIANT_TYPE_UINT32)) return std::nullopt;
    const guint32 scheme = g_variant_get_uint32(held.get());
    if (scheme > guint32(ColorScheme::light)) return std::nullopt;
    return ColorScheme(scheme);
}

std::unique_ptr<PortalTransport> PortalAppearance::busTransport() {
    return std::make_unique<PortalGioTransport>(kPortalName,
                                                std::vector<const char*>{kSettingsInterface},
                                                PortalGioTransport::Connection::shared);
}

void PortalAppearance::ownerChanged(const std::string& owner) {
    const bool first = !std::exchange(ownerSeen_, true);
    // A portal that starts (or restarts) after us is asked again; one not running at first is
    // started by the question, where the bus can start it.
    if (!owner.empty() || first) read("ReadOne");
}

void PortalAppearance::read(const char* method) {
    const unsigned changesBefore = changes_;
    const bool readOne = g_str_equal(method, "ReadOne");
    // The transport, a member, runs no reply once it has gone.
    transport_->call(
        kPortalPath, kSettingsInterface, method, g_variant_new("(ss)", kNamespace, kKey),
        G_VARIANT_TYPE("(v)"),
        [this, changesBefore, readOne](GVariant* reply, const GError* error) {
            if (error) {
                if (readOne && g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD))
                    return read("Read");
                return giveUp(std::string("the desktop's settings portal did not say (") +
                              error->message + ")");
            }
            if (changes_ != changesBefore) return;  // a newer value has come meanwhile
            GVariantPtr value(g_variant_get_child_value(reply, 0));
            received(value.get());
        });
}

void PortalAppearance::signalled(std::string_view, std::string_view member, GVariant* parameters) {
    if (member != "SettingChanged") return;
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)")))
        return giveUp("the desktop's settings portal sent a change of an unknown form");
    const char* space = nullptr;
    const char* key = nullptr;
    GVariant* rawValue = nullptr;
    g_variant_get(parameters, "(&s&sv)", &space, &key, &rawValue);
    GVariantPtr value(rawValue);
    if (!g_str_equal(space, kNamespace) || !g_str_equal(key, kKey)) return;
    ++changes_;
    received(value.get());
}

void PortalAppearance::received(GVariant* value) {
    auto scheme = colorSchemeFrom(value);
    if (!scheme) {
        GCharPtr text(value ? g_variant_print(value, TRUE) : g_strdup("nothing"));
        return giveUp(std::string("the desktop's settings portal sent color-scheme ") + text.get());
    }
    apply(*scheme);
}

void PortalAppearance::apply(ColorScheme scheme) {
    GtkSettings* settings = gtk_settings_get_default();
    if (!settings) return;
    if (!themePrefersDark_) {
        gboolean prefersDark = FALSE;
        gchar* name = nullptr;
        g_object_get(settings, "gtk-application-prefer-dark-theme", &prefersDark, "gtk-theme-name",
                     &name, nullptr);
        themePrefersDark_ = prefersDark != FALSE;
        themeName_ = takeString(name);
    }
    bool prefersDark = *themePrefersDark_;
    std::string name = themeName_;
    if (scheme == ColorScheme::dark) prefersDark = true;
    if (scheme == ColorScheme::light) {
        prefersDark = false;
        // A theme named "…-dark" is the dark variant of a theme the light choice means instead.
        if (endsWithDark(name)) name.resize(name.size() - 5);
    }
    gboolean currentDark = FALSE;
    gchar* currentName = nullptr;
    g_object_get(settings, "gtk-application-prefer-dark-theme", &currentDark, "gtk-theme-name",
                 &currentName, nullptr);
    // Set only what differs: a value set here overrides the desktop's own from then on.
    if ((currentDark != FALSE) != prefersDark)
        g_object_set(settings, "gtk-application-prefer-dark-theme", gboolean(prefersDark), nullptr);
    if (takeString(currentName) != name)
        g_object_set(settings, "gtk-theme-name", name.c_str(), nullptr);
}

void PortalAppearance::giveUp(const std::string& why) {
    // A portal that keeps sending nonsense is told once; the appearance stays as it was.
    if (std::exchange(complained_, true)) return;
    log_.line("PlenhallDesktop: appearance: " + why + "; following the GTK theme");
}

}  // namespace plenhall::gtk
