#include "platform/gtk/web_context.h"

#include <cstring>
#include <string>
#include <vector>

namespace plenhall::gtk {
namespace {

// A page that runs away with memory has its process ended (and the offline page shown) long before
// it can push the desktop into swapping; a calendar page needs a small fraction of this.
constexpr guint kWebProcessMemoryLimitMegabytes = 1536;
// Each of the engine's polls measures the whole page process; polling more often than this costs a
// hidden calendar more CPU than everything else it does.
constexpr double kMemoryPollSeconds = 30.0;

std::string dataDirectory(const char* base) {
    return takeString(g_build_filename(base, "plenhall-desktop", nullptr));
}

}  // namespace

GObjectPtr<WebKitWebContext> makeWebContext() {
    const std::string data = dataDirectory(g_get_user_data_dir());
    const std::string cache = dataDirectory(g_get_user_cache_dir());
    auto manager = adopt(webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr));
    // The engine keeps cookies in memory unless told where to store them.
    const std::string cookies =
        takeString(g_build_filename(data.c_str(), "cookies.sqlite", nullptr));
    webkit_cookie_manager_set_persistent_storage(
        webkit_website_data_manager_get_cookie_manager(manager.get()), cookies.c_str(),
        WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(memory, kWebProcessMemoryLimitMegabytes);
    webkit_memory_pressure_settings_set_kill_threshold(memory, 1.0);
    webkit_memory_pressure_settings_set_poll_interval(memory, kMemoryPollSeconds);
    auto context = adopt(WEBKIT_WEB_CONTEXT(
        g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", manager.get(),
                     "memory-pressure-settings", memory, nullptr)));
    webkit_memory_pressure_settings_free(memory);
    // Pages written by strangers (invitations, shared calendars) run in a confined process. This
    // must happen before the first web process starts.
    webkit_web_context_set_sandbox_enabled(context.get(), TRUE);
    return context;
}

void checkSpellingInUsersLanguages(WebKitWebContext* context) {
    std::vector<const gchar*> languages;
    for (const gchar* const* name = g_get_language_names(); *name; ++name) {
        // Locale names with a codeset or modifier ("de_DE.UTF-8", "sr_RS@latin") come again
        // without it; "C" names no language.
        if (std::strpbrk(*name, ".@") || g_str_equal(*name, "C") || g_str_equal(*name, "POSIX"))
            continue;
        languages.push_back(*name);
    }
    if (languages.empty()) return;
    languages.push_back(nullptr);
    webkit_web_context_set_spell_checking_languages(context, languages.data());
    // Languages without a dictionary are dropped by the engine, silently.
    const gchar* const* checked = webkit_web_context_get_spell_checking_languages(context);
    webkit_web_context_set_spell_checking_enabled(context, checked && *checked);
}

}  // namespace plenhall::gtk
