// GNOME's own keyboard shortcuts, as GSettings holds them: the custom keybindings
// gnome-settings-daemon's media-keys plugin runs as commands (a list of dconf paths in
// `org.gnome.settings-daemon.plugins.media-keys custom-keybindings`, each a relocatable
// `…custom-keybinding` with a name, a command and a binding), and the accelerators the shell, the
// window manager and the settings daemon bind for themselves. Where GNOME gives programs no global
// shortcut (before its GlobalShortcuts portal), a custom keybinding running our command is one.
//
// Thread: main thread only. Ownership: the backend holds its settings objects; values are copies.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace plenhall {

struct GnomeCustomKeybinding {
    std::string name;
    std::string command;  // a shell command line, split as GLib's g_shell_parse_argv does
    std::string binding;  // in GNOME's accelerator syntax: "<Control><Alt><Super>c"
    bool operator==(const GnomeCustomKeybinding&) const = default;
};

// An accelerator GNOME binds for one of its own actions.
struct GnomeAccelerator {
    std::string accelerator;
    std::string usedFor;  // the action's English summary in its schema, else its key name
};

class GnomeKeybindings {
  public:
    virtual ~GnomeKeybindings() = default;

    // A GNOME session on Wayland with the media-keys plugin's schemas installed: its custom
    // keybindings are ours to use. Whether the desktop binds shortcuts for programs itself is
    // the global-shortcuts registration's answer, not this.
    virtual bool customKeybindingsOffered() const = 0;
    // The dconf paths of the custom keybindings, in the user's order.
    virtual std::vector<std::string> customKeybindings() const = 0;
    virtual void setCustomKeybindings(const std::vector<std::string>& paths) = 0;
    // The entry at `path`; nothing when none of its keys is set.
    virtual std::optional<GnomeCustomKeybinding> customKeybinding(
        const std::string& path) const = 0;
    virtual void writeCustomKeybinding(const std::string& path,
                                       const GnomeCustomKeybinding& entry) = 0;
    // Resets every key of the entry, so nothing of it stays in dconf.
    virtual void resetCustomKeybinding(const std::string& path) = 0;
    // What the shell, mutter and the settings daemon bind (not the custom keybindings).
    virtual std::vector<GnomeAccelerator> boundAccelerators() const = 0;
    // The keysym name (GDK's, "c", "F5") of what the key types with no modifier in the current
    // layout; empty for a key without one. GNOME binds keysyms, not key positions.
    virtual std::string keysymName(std::uint16_t keycode) const = 0;
    // The running program's own executable, for a command that reaches this program.
    virtual std::string executable() const = 0;
};

}  // namespace plenhall
