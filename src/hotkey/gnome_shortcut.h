// Our entry among GNOME's custom keyboard shortcuts. GNOME before its GlobalShortcuts portal binds
// no shortcut for a program, but runs commands for shortcuts the user adds; with the user's click
// we add one that forwards plenhall://toggle to the running program. It is ours by its path: found
// again on later launches, the user's other shortcuts left as they are.
//
// Thread: main thread only. Ownership: the application controller owns the one GnomeShortcut,
// after the hot key it watches.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "hotkey/hot_key.h"
#include "platform/gnome_keybindings.h"

namespace plenhall {

inline constexpr const char* kGnomeEntryPath =
    "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/plenhall-desktop/";
// What the entry runs after our executable: a command the running program toggles the calendar
// for.
inline constexpr const char* kGnomeEntryURL = "plenhall://toggle";

// GNOME's accelerator for `keys` typing `keysym`, every modifier in GTK's order
// ("<Shift><Control><Alt><Super>c"); empty without a keysym.
std::string gnomeAccelerator(const KeyCombination& keys, std::string_view keysym);
// Whether two accelerators name the same keys, in whichever spelling GNOME's tools wrote them
// (<Primary>, <Ctrl>, <Mod4>, any case).
bool sameAccelerator(std::string_view a, std::string_view b);
// `word` as one word of a command line that GLib's shell parser splits back into it.
std::string shellQuoted(std::string_view word);

class GnomeShortcut {
  public:
    GnomeShortcut(GnomeKeybindings& gnome, HotKey& hotKey, Log& log);
    GnomeShortcut(const GnomeShortcut&) = delete;
    GnomeShortcut& operator=(const GnomeShortcut&) = delete;

    // A GNOME session whose desktop gives programs no global shortcut: GNOME could run ours.
    bool possible() const;
    // The user set it up: our entry is listed.
    bool present() const;
    bool runs() const { return possible() && present(); }
    // Writes our entry for `shortcut`, listed once after the user's own. Where GNOME already uses
    // the keys nothing is written, and the answer is what for (empty: the key has no name GNOME
    // could bind).
    std::optional<std::string> write(const Shortcut& shortcut);
    void remove();

    // Sent after each change of our entry.
    Subscription subscribeChanges(std::function<void()> callback) {
        return changes_.add(std::move(callback));
    }

  private:
    std::optional<std::string> usedFor(const std::string& accelerator) const;

    GnomeKeybindings& gnome_;
    HotKey& hotKey_;
    Log& log_;
    Subscribers<> changes_;
    Subscription hotKeyChanges_;
};

}  // namespace plenhall
