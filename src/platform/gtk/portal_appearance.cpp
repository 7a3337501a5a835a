#include "platform/gtk/portal_appearance.h"

#include <gtk/gtk.h>

#include <functional>
#include <memory>
#include <utility>

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

struct BusCompletion {
    GObjectPtr<GCancellable> alive;
    std::function<void(GObjectPtr<GDBusConnection>, const GErrorHolder&)> onConnected;

    static void run(GObject*, GAsyncResult* result, gpointer data) {
        std::unique_ptr<BusCompletion> self(static_cast<BusCompletion*>(data));
        GErrorHolder error;
        auto connection = adopt(g_bus_get_finish(result, error.out()));
        if (PendingOperations::cancelled(self->alive)) return;
        self->onConnected(std::move(connection), error);
    }
};

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

void PortalAppearance::start() {
    // `this` is used only while operations_, a member, is not cancelled.
    auto* completion = new BusCompletion{
        operations_.share(),
        [this](GObjectPtr<GDBusConnection> connection, const GErrorHolder& error) {
            if (!connection) return giveUp("no session bus (" + error.message() + ")");
            onConnected(std::move(connection));
        }};
    g_bus_get(G_BUS_TYPE_SESSION, operations_.get(), BusCompletion::run, completion);
}

void PortalAppearance::onConnected(GObjectPtr<GDBusConnection> connection) {
    connection_ = std::move(connection);
    // The watch and the subscription are members, dropped before `this` goes.
    portal_ = DBusNameWatch(connection_.get(), kPortalName,
                            [this](const std::string& owner) { onPortalOwner(owner); });
}

void PortalAppearance::onPortalOwner(const std::string& owner) {
    const bool first = !std::exchange(ownerSeen_, true);
    changed_ = owner.empty() ? DBusSignalSubscription()
                             : DBusSignalSubscription(connection_.get(), owner.c_str(),
                                                      kSettingsInterface, "SettingChanged",
                                                      kPortalPath, kNamespace, onSignal, this);
    // A portal that starts (or restarts) after us is asked again; one not running at first is
    // started by the question, where the bus can start it.
    if (!owner.empty() || first) read("ReadOne");
}

void PortalAppearance::read(const char* method) {
    const unsigned changesBefore = changes_;
    const bool readOne = g_str_equal(method, "ReadOne");
    auto* completion = new DBusCallCompletion{
        operations_.share(), [this, changesBefore, readOne](GVariant* reply, const GError* error) {
            if (error) {
                if (readOne && g_error_matches(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_METHOD))
                    return read("Read");
                return giveUp(std::string("the desktop's settings portal did not say (") +
                              error->message + ")");
            }
            if (changes_ != changesBefore) return;  // a newer value has come meanwhile
            GVariantPtr value(g_variant_get_child_value(reply, 0));
            received(value.get());
        }};
    g_dbus_connection_call(connection_.get(), kPortalName, kPortalPath, kSettingsInterface, method,
                           g_variant_new("(ss)", kNamespace, kKey), G_VARIANT_TYPE("(v)"),
                           G_DBUS_CALL_FLAGS_NONE, -1, operations_.get(), DBusCallCompletion::run,
                           completion);
}

void PortalAppearance::onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                const gchar*, GVariant* parameters, gpointer data) {
    auto* self = static_cast<PortalAppearance*>(data);
    if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ssv)"))) {
        return self->giveUp("the desktop's settings portal sent a change of an unknown form");
    }
    const char* key = nullptr;
    GVariant* rawValue = nullptr;
    g_variant_get(parameters, "(&s&sv)", nullptr, &key, &rawValue);
    GVariantPtr value(rawValue);
    if (!g_str_equal(key, kKey)) return;
    ++self->changes_;
    self->received(value.get());
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
