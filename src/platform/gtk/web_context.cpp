#include "platform/gtk/web_context.h"

#include <cstring>
#include <string>
#include <vector>

namespace plenhall::gtk {
namespace {

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
    // The page's memory is the core's rule alone (WebProcessMemoryRule), not also the engine's.
    auto context = adopt(WEBKIT_WEB_CONTEXT(
        g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", manager.get(), nullptr)));
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
