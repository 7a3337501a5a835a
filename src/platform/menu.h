// Menus described by the core and rendered by the backend: the main menu (application actions
// with key equivalents) and the status item in the panel.
//
// Thread: main thread only. Items whose target is the controller call MenuTarget; items without a
// target act on the focused widget (the web page for the editing actions).
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plenhall {

enum class MenuAction {
    toggle,
    reload,
    openSettings,
    checkForUpdates,
    hideFromMenu,
    terminate,
    undo,
    redo,
    cut,
    copy,
    paste,
    selectAll,
    zoomIn,
    zoomOut,
    actualSize,
};

struct Menu;

struct MenuItem {
    std::string title;
    std::optional<MenuAction> action;
    // The key with the platform's command modifier; an upper-case letter adds Shift.
    std::string accelerator;
    bool targetsController = false;
    bool isSeparator = false;
    std::shared_ptr<Menu> submenu;

    static MenuItem separator() {
        MenuItem item;
        item.isSeparator = true;
        return item;
    }
};

struct Menu {
    std::string title;
    std::vector<MenuItem> items;
};

class MenuTarget {
  public:
    virtual ~MenuTarget() = default;
    virtual void performMenuAction(MenuAction action) = 0;
};

class StatusItem {
  public:
    virtual ~StatusItem() = default;
    // The item's icon, by its name in the desktop's icon theme, and its title (what panels show
    // beside it or a screen reader says).
    virtual void setIcon(const std::string& iconName, const std::string& title) = 0;
    virtual void setMenu(const Menu& menu, MenuTarget& target) = 0;
    // Retitles the item at `index` of the attached menu.
    virtual void setItemTitle(std::size_t index, const std::string& title) = 0;
    // Called when the desktop is about to show the menu. The menu is drawn by another program, so
    // opening it may take the focus from our windows first.
    virtual void setMenuWillOpenHandler(std::function<void()> handler) = 0;
    // Called when the desktop has closed the menu, with or without a choice. Some panels say so
    // before they deliver the choice.
    virtual void setMenuDidCloseHandler(std::function<void()> handler) = 0;
};

class StatusBar {
  public:
    virtual ~StatusBar() = default;
    virtual std::unique_ptr<StatusItem> statusItem() = 0;
};

}  // namespace plenhall
