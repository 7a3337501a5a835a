#include "platform/gtk/gnome_keybindings_gsettings.h"

#include <gdk/gdkwayland.h>
#include <gio/gio.h>

#include <string_view>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/portal_trigger.h"

namespace plenhall::gtk {
namespace {

constexpr const char* kMediaKeys = "org.gnome.settings-daemon.plugins.media-keys";
constexpr const char* kCustomKeybinding =
    "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding";
constexpr const char* kCustomKeybindings = "custom-keybindings";

using SchemaPtr = CPtr<GSettingsSchema, g_settings_schema_unref>;

SchemaPtr installedSchema(const char* id) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    return SchemaPtr(source ? g_settings_schema_source_lookup(source, id, TRUE) : nullptr);
}

// The settings of `schema` at `path` (for a relocatable one); nothing when it is not installed,
// or for a path GSettings would refuse (the list is anyone's to write).
GObjectPtr<GSettings> settingsOf(const char* id, const char* path = nullptr) {
    const std::string_view at = path ? path : "/";
    if (!at.starts_with('/') || !at.ends_with('/') || at.find("//") != std::string_view::npos)
        return nullptr;
    auto schema = installedSchema(id);
    if (!schema || (g_settings_schema_get_path(schema.get()) == nullptr) != (path != nullptr))
        return nullptr;
    return adopt(g_settings_new_full(schema.get(), nullptr, path));
}

std::vector<std::string> strings(GVariant* value) {
    std::vector<std::string> result;
    if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING)) {
        result.emplace_back(g_variant_get_string(value, nullptr));
    } else if (g_variant_is_of_type(value, G_VARIANT_TYPE_STRING_ARRAY)) {
        CPtr<const gchar*, g_free> all(g_variant_get_strv(value, nullptr));
        for (const gchar* const* s = all.get(); *s; ++s) result.emplace_back(*s);
    }
    return result;
}

}  // namespace

bool onGnome() {
    static const bool gnome = [] {
        const char* names = g_getenv("XDG_CURRENT_DESKTOP");
        std::string_view rest = names ? names : "";
        while (!rest.empty()) {
            const auto end = rest.find(':');
            const std::string_view name = rest.substr(0, end);
            if (name.size() == 5 && g_ascii_strncasecmp(name.data(), "GNOME", 5) == 0) return true;
            if (end == std::string_view::npos) break;
            rest.remove_prefix(end + 1);
        }
        return false;
    }();
    return gnome;
}

bool GSettingsGnomeKeybindings::customKeybindingsOffered() const {
    GdkDisplay* display = gdk_display_get_default();
    return onGnome() && display && GDK_IS_WAYLAND_DISPLAY(display) && installedSchema(kMediaKeys) &&
           installedSchema(kCustomKeybinding);
}

std::vector<std::string> GSettingsGnomeKeybindings::customKeybindings() const {
    auto settings = settingsOf(kMediaKeys);
    if (!settings) return {};
    GVariantPtr value(g_settings_get_value(settings.get(), kCustomKeybindings));
    return strings(value.get());
}

void GSettingsGnomeKeybindings::setCustomKeybindings(const std::vector<std::string>& paths) {
    auto settings = settingsOf(kMediaKeys);
    if (!settings) return;
    std::vector<const gchar*> list;
    for (const auto& path : paths) list.push_back(path.c_str());
    list.push_back(nullptr);
    g_settings_set_strv(settings.get(), kCustomKeybindings, list.data());
}

std::optional<GnomeCustomKeybinding> GSettingsGnomeKeybindings::customKeybinding(
    const std::string& path) const {
    auto settings = settingsOf(kCustomKeybinding, path.c_str());
    if (!settings) return std::nullopt;
    GnomeCustomKeybinding entry{takeString(g_settings_get_string(settings.get(), "name")),
                                takeString(g_settings_get_string(settings.get(), "command")),
                                takeString(g_settings_get_string(settings.get(), "binding"))};
    if (entry == GnomeCustomKeybinding{}) return std::nullopt;
    return entry;
}

void GSettingsGnomeKeybindings::writeCustomKeybinding(const std::string& path,
                                                      const GnomeCustomKeybinding& entry) {
    auto settings = settingsOf(kCustomKeybinding, path.c_str());
    if (!settings) return;
    // One change for the three keys, so the settings daemon never reads a half-written entry.
    g_settings_delay(settings.get());
    g_settings_set_string(settings.get(), "name", entry.name.c_str());
    g_settings_set_string(settings.get(), "command", entry.command.c_str());
    g_settings_set_string(settings.get(), "binding", entry.binding.c_str());
    g_settings_apply(settings.get());
}

void GSettingsGnomeKeybindings::resetCustomKeybinding(const std::string& path) {
    auto settings = settingsOf(kCustomKeybinding, path.c_str());
    if (!settings) return;
    for (const char* key : {"name", "command", "binding"}) g_settings_reset(settings.get(), key);
}

std::vector<GnomeAccelerator> GSettingsGnomeKeybindings::boundAccelerators() const {
    std::vector<GnomeAccelerator> result;
    for (const char* id :
         {"org.gnome.desktop.wm.keybindings", "org.gnome.shell.keybindings",
          "org.gnome.mutter.keybindings", "org.gnome.mutter.wayland.keybindings", kMediaKeys}) {
        auto schema = installedSchema(id);
        auto settings = settingsOf(id);
        if (!schema || !settings) continue;
        CPtr<gchar*, g_strfreev> keys(g_settings_schema_list_keys(schema.get()));
        for (gchar** key = keys.get(); *key; ++key) {
            if (std::string_view(*key) == kCustomKeybindings) continue;  // paths, not keys
            CPtr<GSettingsSchemaKey, g_settings_schema_key_unref> about(
                g_settings_schema_get_key(schema.get(), *key));
            // The summary in the user's language, by the schema's own translations.
            const gchar* summary = g_settings_schema_key_get_summary(about.get());
            GVariantPtr value(g_settings_get_value(settings.get(), *key));
            for (auto& accelerator : strings(value.get()))
                result.push_back({std::move(accelerator), summary ? summary : *key});
        }
    }
    return result;
}

std::string GSettingsGnomeKeybindings::keysymName(std::uint16_t keycode) const {
    return gtk::keysymName(keycode).value_or("");
}

std::string GSettingsGnomeKeybindings::executable() const {
    std::string path = takeString(g_file_read_link("/proc/self/exe", nullptr));
    // An executable replaced while it runs (a package upgrade) is named with this mark; the
    // command should run the new one.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
    return path;
}

}  // namespace plenhall::gtk
