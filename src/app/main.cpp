// The composition root: the Linux desktop backend and the build's metadata, handed to the
// process entry.

#include <glib/gi18n.h>
#include <gtk/gtk.h>

#include <clocale>

#include "app/process_entry.h"
#include "build_info.h"
#include "platform/gtk/gtk_platform.h"
#include "prefs/preference_file_store.h"

namespace {

std::optional<plenhall::InfoDictionary> infoDictionary() {
    plenhall::InfoDictionary info;
    if (*PLENHALL_INFO_VERSION)
        info.emplace(plenhall::kShortVersionKey, std::string(PLENHALL_INFO_VERSION));
    if (*PLENHALL_INFO_BUILD)
        info.emplace(plenhall::kBuildVersionKey, std::string(PLENHALL_INFO_BUILD));
    if (*PLENHALL_INFO_UPDATE_FEED)
        info.emplace(plenhall::kFeedURLKey, std::string(PLENHALL_INFO_UPDATE_FEED));
    return info;
}

}  // namespace

int main(int argc, char** argv) {
    // The global shortcut, window placement and keep-above need X11; on Wayland sessions this is
    // XWayland.
    gdk_set_allowed_backends("x11");
    g_set_prgname("plenhall-desktop");
    std::setlocale(LC_ALL, "");
    bindtextdomain(GETTEXT_PACKAGE, PLENHALL_LOCALEDIR);
    bind_textdomain_codeset(GETTEXT_PACKAGE, "UTF-8");

    plenhall::gtk::GtkPlatform desktop(argc, argv, infoDictionary());
    plenhall::PreferenceFileStore preferences(plenhall::gtk::GtkPlatform::preferencesPath(),
                                              desktop.log());
    plenhall::Platform platform = desktop.platform(preferences);
    return plenhall::runProcess(platform, PLENHALL_INFO_START_URL);
}
