// GNOME's keybindings through GSettings, and whether the session is GNOME's.
//
// Thread: main thread only. Ownership: the platform owns the one instance; each call opens the
// settings it reads or writes, which all share the process's one dconf connection.
#pragma once

#include "platform/gnome_keybindings.h"

namespace plenhall::gtk {

// Whether the session is GNOME's: a program cannot ask which desktop serves it, but GNOME sessions
// list GNOME among the desktop names ("GNOME", "ubuntu:GNOME", "GNOME-Classic:GNOME").
bool onGnome();

// Every schema is looked up in the installed ones first: GSettings ends the program when asked
// for a schema it lacks, and a desktop without GNOME's schemas simply offers nothing here.
class GSettingsGnomeKeybindings final : public GnomeKeybindings {
  public:
    bool customKeybindingsOffered() const override;
    std::vector<std::string> customKeybindings() const override;
    void setCustomKeybindings(const std::vector<std::string>& paths) override;
    std::optional<GnomeCustomKeybinding> customKeybinding(const std::string& path) const override;
    void writeCustomKeybinding(const std::string& path,
                               const GnomeCustomKeybinding& entry) override;
    void resetCustomKeybinding(const std::string& path) override;
    std::vector<GnomeAccelerator> boundAccelerators() const override;
    std::string keysymName(std::uint16_t keycode) const override;
    std::string executable() const override;
};

}  // namespace plenhall::gtk
