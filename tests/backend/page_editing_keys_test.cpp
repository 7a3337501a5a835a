#include "platform/gtk/page_editing_keys.h"

#include <gtest/gtest.h>

namespace plenhall::gtk {
namespace {

TEST(PageEditingKeys, TheMenusEditingItemsBecomeThePagesKeys) {
    PageEditingKeys keys;
    // Redo on Shift+Z; Reload is no editing item, and Copy was given no key.
    for (auto [action, key] : {std::pair{MenuAction::undo, "z"},
                               {MenuAction::redo, "Z"},
                               {MenuAction::selectAll, "a"},
                               {MenuAction::reload, "r"},
                               {MenuAction::copy, ""}}) {
        MenuItem item;
        item.action = action;
        item.accelerator = key;
        keys.add(item);
    }
    const struct {
        guint keyval, state;
        std::optional<std::string> command;
    } cases[] = {
        {GDK_KEY_z, GDK_CONTROL_MASK, WEBKIT_EDITING_COMMAND_UNDO},
        {GDK_KEY_Z, GDK_CONTROL_MASK | GDK_SHIFT_MASK, WEBKIT_EDITING_COMMAND_REDO},
        {GDK_KEY_Z, GDK_CONTROL_MASK | GDK_LOCK_MASK, WEBKIT_EDITING_COMMAND_UNDO},  // Caps Lock
        {GDK_KEY_a, GDK_CONTROL_MASK, WEBKIT_EDITING_COMMAND_SELECT_ALL},
        {GDK_KEY_z, 0, std::nullopt},  // typing
        {GDK_KEY_r, GDK_CONTROL_MASK, std::nullopt},
        {GDK_KEY_c, GDK_CONTROL_MASK, std::nullopt},
        {GDK_KEY_Udiaeresis, GDK_CONTROL_MASK, std::nullopt},
    };
    for (const auto& c : cases) {
        GdkEventKey event{};
        event.state = c.state;
        event.keyval = c.keyval;
        EXPECT_EQ(keys.commandForPress(event), c.command) << c.keyval << " " << c.state;
    }
}

}  // namespace
}  // namespace plenhall::gtk
