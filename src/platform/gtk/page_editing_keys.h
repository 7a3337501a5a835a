// The editing items of the main menu (undo, redo, cut, copy, paste, select all) as the calendar
// page's keys: the application host fills it from the menu the core describes, and the web view
// runs the item's editing command for a key the page itself left alone, so an editor on the page
// with its own undo keeps it.
//
// Thread: main thread only. Ownership: the platform owns the one table for the life of the
// process; the application host and the web view refer to it.
#pragma once

#include <gdk/gdk.h>
#include <webkit2/webkit2.h>

#include <map>
#include <optional>
#include <string>
#include <utility>

#include "platform/menu.h"

namespace plenhall::gtk {

class PageEditingKeys {
  public:
    // Adds the item when its action is an editing command with a one-character key equivalent.
    void add(const MenuItem& item) {
        if (!item.action || item.accelerator.size() != 1) return;
        const char* command = commandFor(*item.action);
        if (!command) return;
        const char key = item.accelerator[0];
        // An upper-case key equivalent adds Shift, as in the menus.
        commands_[{g_ascii_tolower(key), g_ascii_isupper(key) != 0}] = command;
    }

    // The editing command for a key press with Control held, if the menu has one for it.
    std::optional<std::string> commandForPress(const GdkEventKey& event) const {
        if ((event.state & GDK_CONTROL_MASK) == 0) return std::nullopt;
        const guint32 character = gdk_keyval_to_unicode(gdk_keyval_to_lower(event.keyval));
        if (character == 0 || character > 0x7f) return std::nullopt;
        auto it = commands_.find({char(character), (event.state & GDK_SHIFT_MASK) != 0});
        if (it == commands_.end()) return std::nullopt;
        return it->second;
    }

    static const char* commandFor(MenuAction action) {
        switch (action) {
            case MenuAction::undo:
                return WEBKIT_EDITING_COMMAND_UNDO;
            case MenuAction::redo:
                return WEBKIT_EDITING_COMMAND_REDO;
            case MenuAction::cut:
                return WEBKIT_EDITING_COMMAND_CUT;
            case MenuAction::copy:
                return WEBKIT_EDITING_COMMAND_COPY;
            case MenuAction::paste:
                return WEBKIT_EDITING_COMMAND_PASTE;
            case MenuAction::selectAll:
                return WEBKIT_EDITING_COMMAND_SELECT_ALL;
            default:
                return nullptr;
        }
    }

  private:
    std::map<std::pair<char, bool>, std::string> commands_;  // by key and Shift
};

}  // namespace plenhall::gtk
