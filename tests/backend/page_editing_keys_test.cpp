#include "platform/gtk/page_editing_keys.h"

#include <gtest/gtest.h>

namespace plenhall::gtk {
namespace {

MenuItem editing(MenuAction action, std::string key) {
    MenuItem item;
    item.action = action;
    item.keyEquivalent = std::move(key);
    return item;
}

GdkEventKey press(guint keyval, guint state) {
    GdkEventKey event{};
    event.type = GDK_KEY_PRESS;
    event.keyval = keyval;
    event.state = state;
    return event;
}

TEST(PageEditingKeys, TheMenusEditingItemsBecomeThePagesKeys) {
    PageEditingKeys keys;
    keys.add(editing(MenuAction::undo, "z"));
    keys.add(editing(MenuAction::redo, "Z"));
    keys.add(editing(MenuAction::selectAll, "a"));
    keys.add(editing(MenuAction::reload, "r"));  // not an editing item
    keys.add(editing(MenuAction::copy, ""));     // no key

    const struct {
        const char* name;
        GdkEventKey event;
        std::optional<std::string> command;
    } cases[] = {
        {"Ctrl+Z", press(GDK_KEY_z, GDK_CONTROL_MASK), WEBKIT_EDITING_COMMAND_UNDO},
        {"Ctrl+Shift+Z as GTK reports it", press(GDK_KEY_Z, GDK_CONTROL_MASK | GDK_SHIFT_MASK),
         WEBKIT_EDITING_COMMAND_REDO},
        {"Ctrl+Z with Caps Lock", press(GDK_KEY_Z, GDK_CONTROL_MASK | GDK_LOCK_MASK),
         WEBKIT_EDITING_COMMAND_UNDO},
        {"Ctrl+A", press(GDK_KEY_a, GDK_CONTROL_MASK), WEBKIT_EDITING_COMMAND_SELECT_ALL},
        {"Z alone types", press(GDK_KEY_z, 0), std::nullopt},
        {"Ctrl+R is the application's", press(GDK_KEY_r, GDK_CONTROL_MASK), std::nullopt},
        {"Ctrl+C was given no key", press(GDK_KEY_c, GDK_CONTROL_MASK), std::nullopt},
        {"Ctrl+Ü is no menu key", press(GDK_KEY_Udiaeresis, GDK_CONTROL_MASK), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(keys.commandForPress(c.event), c.command) << c.name;
}

}  // namespace
}  // namespace plenhall::gtk
