#include "platform/gtk/autostart_login_item.h"

#include <glib/gstdio.h>

#include <cerrno>
#include <cstring>

#include "platform/gtk/glib_ptr.h"

namespace plenhall::gtk {
namespace {

constexpr const char* kEntryName = "com.plenhall.Desktop.desktop";
constexpr const char* kGroup = G_KEY_FILE_DESKTOP_GROUP;

// A system-wide entry of the same name, which removing ours would not switch off.
bool systemEntryExists() {
    for (const gchar* const* dir = g_get_system_config_dirs(); dir && *dir; ++dir) {
        std::string path = takeString(g_build_filename(*dir, "autostart", kEntryName, nullptr));
        if (g_file_test(path.c_str(), G_FILE_TEST_EXISTS)) return true;
    }
    return false;
}

Result<WriteError> writeEntry(const std::string& path, const std::string& contents) {
    std::string directory = takeString(g_path_get_dirname(path.c_str()));
    if (g_mkdir_with_parents(directory.c_str(), 0700) != 0) {
        return WriteError{WriteError::Kind::cannotCreateDirectory,
                          "cannot create " + directory + ": " + std::strerror(errno)};
    }
    GErrorHolder error;
    if (!g_file_set_contents(path.c_str(), contents.c_str(), gssize(contents.size()),
                             error.out())) {
        return WriteError{WriteError::Kind::cannotWrite, error.message()};
    }
    return {};
}

}  // namespace

AutostartLoginItem::AutostartLoginItem(std::string program)
    : program_(std::move(program)),
      entryPath_(
          takeString(g_build_filename(g_get_user_config_dir(), "autostart", kEntryName, nullptr))) {
}

Result<WriteError> AutostartLoginItem::registerItem() {
    GCharPtr quoted(g_shell_quote(program_.c_str()));
    std::string contents = std::string("[Desktop Entry]\n") +
                           "Type=Application\n"
                           "Name=Plenhall\n"
                           "Comment=Your whole calendar, one shortcut away.\n"
                           "Exec=" +
                           quoted.get() +
                           "\n"
                           "Icon=com.plenhall.Desktop\n"
                           "Terminal=false\n"
                           "X-GNOME-Autostart-enabled=true\n";
    return writeEntry(entryPath_, contents);
}

Result<WriteError> AutostartLoginItem::unregisterItem() {
    if (systemEntryExists()) {
        // Only a hidden entry of ours masks the system's.
        return writeEntry(entryPath_,
                          "[Desktop Entry]\nType=Application\nName=Plenhall\nHidden=true\n");
    }
    if (g_unlink(entryPath_.c_str()) != 0 && errno != ENOENT) {
        return WriteError{WriteError::Kind::cannotRemove,
                          "cannot remove " + entryPath_ + ": " + std::strerror(errno)};
    }
    return {};
}

LoginItemStatus AutostartLoginItem::status() const {
    KeyFilePtr file(g_key_file_new());
    if (!g_key_file_load_from_file(file.get(), entryPath_.c_str(), G_KEY_FILE_NONE, nullptr)) {
        return LoginItemStatus::notRegistered;
    }
    if (!g_key_file_has_group(file.get(), kGroup)) return LoginItemStatus::notRegistered;
    if (g_key_file_get_boolean(file.get(), kGroup, "Hidden", nullptr))
        return LoginItemStatus::notRegistered;
    GErrorHolder error;
    gboolean enabled =
        g_key_file_get_boolean(file.get(), kGroup, "X-GNOME-Autostart-enabled", error.out());
    if (!error && !enabled) return LoginItemStatus::notRegistered;
    return LoginItemStatus::enabled;
}

}  // namespace plenhall::gtk
