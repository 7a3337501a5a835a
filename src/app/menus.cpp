// The main menu, the status item and its menu, and the menu actions the controller answers.

#include <chrono>
#include <utility>

#include "app/app_delegate.h"
#include "prefs/page_zoom.h"
#include "text/localized.h"
#include "text/product_name.h"

namespace plenhall {
namespace {

MenuItem item(std::string title, MenuAction action, std::string accelerator,
              bool targetsController) {
    MenuItem entry;
    entry.title = std::move(title);
    entry.action = action;
    entry.accelerator = std::move(accelerator);
    entry.targetsController = targetsController;
    return entry;
}

MenuItem submenuItem(std::string menuTitle, std::vector<MenuItem> items) {
    MenuItem entry;
    entry.submenu = std::make_shared<Menu>(Menu{std::move(menuTitle), std::move(items)});
    return entry;
}

}  // namespace

void AppDelegate::buildMainMenu() {
    Menu bar;
    bar.items.push_back(
        submenuItem("", {item(tr("Settings\u2026"), MenuAction::openSettings, ",", true),
                         item(tr("Hide Calendar"), MenuAction::hideFromMenu, "w", true),
                         item(tr("Reload"), MenuAction::reload, "r", true),
                         item(tr("Quit"), MenuAction::terminate, "q", true)}));
    bar.items.push_back(submenuItem(
        tr("Edit"), {item(tr("Undo"), MenuAction::undo, "z", false),
                     item(tr("Redo"), MenuAction::redo, "Z", false), MenuItem::separator(),
                     item(tr("Cut"), MenuAction::cut, "x", false),
                     item(tr("Copy"), MenuAction::copy, "c", false),
                     item(tr("Paste"), MenuAction::paste, "v", false),
                     item(tr("Select All"), MenuAction::selectAll, "a", false)}));
    bar.items.push_back(
        submenuItem(tr("View"), {item(tr("Actual Size"), MenuAction::actualSize, "0", true),
                                 item(tr("Zoom In"), MenuAction::zoomIn, "+", true),
                                 item(tr("Zoom Out"), MenuAction::zoomOut, "-", true)}));
    platform_.application.setMainMenu(bar, *this);
}

void AppDelegate::buildStatusItem() {
    statusItem_ = platform_.statusBar.statusItem();
    statusItem_->setIcon("x-office-calendar", kProductName);
    Menu menu;
    menu.items = {item(tr("Show / Hide Calendar"), MenuAction::toggle, "", true),
                  item(tr("Reload"), MenuAction::reload, "", true),
                  MenuItem::separator(),
                  item(tr("Settings\u2026"), MenuAction::openSettings, ",", true),
                  item(tr("Check for Updates\u2026"), MenuAction::checkForUpdates, "", true),
                  MenuItem::separator(),
                  item(tr("Quit Plenhall"), MenuAction::terminate, "q", true)};
    shortcutMenuItem_ = 0;
    statusItem_->setMenu(menu, *this);
    statusItem_->setMenuWillOpenHandler(weakly([this] { statusMenuWillOpen(); }));
    statusItem_->setMenuDidCloseHandler(weakly([this] { statusMenuDidClose(); }));
}

void AppDelegate::statusMenuWillOpen() {
    // Opening the panel's menu may take the focus from the calendar, which then goes away a
    // moment before the menu asks (or just after): it still counts as up.
    // Longer would also catch a user who clicked elsewhere and then opened the menu to bring the
    // calendar back.
    constexpr auto kFocusTheftWindow = std::chrono::milliseconds(500);
    const bool justStowed = stowedOnResignAt_ &&
                            platform_.clock.now() - *stowedOnResignAt_ <= kFocusTheftWindow &&
                            platform_.clock.now() >= *stowedOnResignAt_;
    calendarUpWhenStatusMenuOpened_ = window_->isVisible() || justStowed;
    forgetStatusMenuOpening_.reset();
}

void AppDelegate::statusMenuDidClose() {
    // What was up when the menu opened means nothing for the next opening, which a panel may not
    // announce. Forgotten a little later, since some panels say the menu closed before they
    // deliver the item the user chose in it.
    constexpr auto kChoiceArrives = std::chrono::milliseconds(500);
    forgetStatusMenuOpening_ = platform_.mainQueue.asyncAfter(
        kChoiceArrives, weakly([this] { calendarUpWhenStatusMenuOpened_.reset(); }));
}

void AppDelegate::toggleFromStatusMenu() {
    // "Show / Hide" means what the user saw when opening the menu, not what is left after the
    // menu took the focus.
    auto wasUp = std::exchange(calendarUpWhenStatusMenuOpened_, std::nullopt);
    if (!wasUp) {
        toggle();
    } else if (*wasUp) {
        hide();
    } else {
        show();
    }
}

void AppDelegate::openSettings(const UserInput& input) {
    if (window_->isVisible()) stow();
    settings_->present(Presentation::settings, input);
}

void AppDelegate::performMenuAction(MenuAction action) {
    switch (action) {
        case MenuAction::toggle:
            toggleFromStatusMenu();
            break;
        case MenuAction::reload:
            reload();
            break;
        case MenuAction::openSettings:
            openSettings();
            break;
        case MenuAction::checkForUpdates:
            checkForUpdates();
            break;
        case MenuAction::hideFromMenu:
            hideFromMenu();
            break;
        case MenuAction::terminate:
            platform_.application.terminate();
            break;
        case MenuAction::zoomIn:
            zoomPage(zoomedIn(prefs_.pageZoom()));
            break;
        case MenuAction::zoomOut:
            zoomPage(zoomedOut(prefs_.pageZoom()));
            break;
        case MenuAction::actualSize:
            zoomPage(kActualSizeZoom);
            break;
        // The editing actions have no target here; the focused page handles them.
        case MenuAction::undo:
        case MenuAction::redo:
        case MenuAction::cut:
        case MenuAction::copy:
        case MenuAction::paste:
        case MenuAction::selectAll:
            break;
    }
}

void AppDelegate::zoomPage(int percent) {
    // The keys reach the application from any of its windows; the calendar is only zoomed while
    // the user sees it, never behind the settings window.
    if (!window_->isActive()) return;
    prefs_.setPageZoom(percent);
    webView_->setPageZoom(percent / 100.0);
}

void AppDelegate::checkForUpdates() {
    if (window_->isVisible()) hide();
    updater_->checkForUpdates();
}

void AppDelegate::standardUserDriverWillHandleShowingUpdate() {
    if (window_->isVisible()) hide();
}

}  // namespace plenhall
