// The composition root: the Linux desktop backend and the build's metadata, handed to the
// process entry.

#include <glib/gi18n.h>
#include <gtk/gtk.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "app/process_entry.h"
#include "build_info.h"
#include "platform/gtk/gtk_platform.h"
#include "prefs/preference_file_store.h"
#include "text/catalogues.h"
#include "text/localized.h"

namespace {

std::string localeDirectory() {
    std::error_code unknown;
    return plenhall::catalogueDirectory(std::filesystem::read_symlink("/proc/self/exe", unknown),
                                        {PLENHALL_BUILD_PROGRAM, PLENHALL_BUILD_LOCALEDIR,
                                         PLENHALL_LOCALEDIR_FROM_BINDIR, PLENHALL_LOCALEDIR})
        .string();
}

}  // namespace

int main(int argc, char** argv) {
    // A native Wayland client only where a Wayland session says so: without WAYLAND_DISPLAY the
    // toolkit would still try the default socket, and a stale one would win over a working X
    // display. Where the Wayland display cannot be opened, X11 (XWayland) is the fallback.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const bool waylandSession = wayland && *wayland;
    gdk_set_allowed_backends(waylandSession ? "wayland,x11" : "x11");
    // GTK names a Wayland window's application after the program; Wayland desktops find its
    // desktop entry, icon and shortcut permissions by that name.
    g_set_prgname(waylandSession ? plenhall::gtk::kApplicationId : "plenhall-desktop");
    std::setlocale(LC_ALL, "");
    bindtextdomain(GETTEXT_PACKAGE, localeDirectory().c_str());
    bind_textdomain_codeset(GETTEXT_PACKAGE, "UTF-8");

    plenhall::gtk::GtkPlatform desktop(
        argc, argv,
        plenhall::BuildInfo{PLENHALL_INFO_VERSION, PLENHALL_INFO_BUILD, PLENHALL_INFO_UPDATE_FEED});
    plenhall::ScopedLocalization language(desktop.localization());
    plenhall::PreferenceFileStore preferences(plenhall::gtk::GtkPlatform::preferencesPath(),
                                              desktop.log(), desktop.mainQueue());
    plenhall::Platform platform = desktop.platform(preferences);
    return plenhall::runProcess(platform, PLENHALL_INFO_START_URL);
}
