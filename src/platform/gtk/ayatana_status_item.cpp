#include "platform/gtk/ayatana_status_item.h"

#include <libayatana-appindicator/app-indicator.h>
#include <libdbusmenu-glib/menuitem.h>
#include <libdbusmenu-glib/server.h>

#include <map>

namespace plenhall::gtk {

struct AyatanaStatusItem::ItemAction {
    MenuTarget* target;
    MenuItem item;
    SignalConnection activated;

    void onActivate() {
        if (item.targetsController) target->performMenuAction(*item.action);
    }
};

AyatanaStatusItem::AyatanaStatusItem(Log& log) : log_(log) {
    indicator_ = adopt(app_indicator_new("plenhall-desktop", "x-office-calendar",
                                         APP_INDICATOR_CATEGORY_APPLICATION_STATUS));
    app_indicator_set_status(indicator_.get(), APP_INDICATOR_STATUS_ACTIVE);
    // The item owns the connection, which goes before it.
    connectionChanged_ = SignalConnection::to<&AyatanaStatusItem::onConnectionChanged>(
        indicator_.get(), "connection-changed", this);
}

AyatanaStatusItem::~AyatanaStatusItem() = default;

void AyatanaStatusItem::onConnectionChanged(gboolean connected) {
    if (connected || reportedNoHost_) return;
    reportedNoHost_ = true;
    log_.line(
        "PlenhallDesktop: no status area (StatusNotifier host) found; the calendar stays reachable "
        "through its "
        "shortcut and plenhall:// links");
}

void AyatanaStatusItem::setIcon(const std::string& iconName, const std::string& title) {
    app_indicator_set_icon_full(indicator_.get(), iconName.c_str(), title.c_str());
    app_indicator_set_title(indicator_.get(), title.c_str());
}

void AyatanaStatusItem::setMenu(const Menu& menu, MenuTarget& target) {
    menu_ = refSink(gtk_menu_new());
    items_.clear();
    actions_.clear();
    for (const auto& item : menu.items) {
        GtkWidget* widget = item.isSeparator ? gtk_separator_menu_item_new()
                                             : gtk_menu_item_new_with_label(item.title.c_str());
        if (!item.isSeparator && item.action) {
            auto& action =
                *actions_.emplace_back(std::make_unique<ItemAction>(ItemAction{&target, item, {}}));
            // The action owns the connection that hands it to C.
            action.activated =
                SignalConnection::to<&ItemAction::onActivate>(widget, "activate", &action);
        }
        gtk_menu_shell_append(GTK_MENU_SHELL(menu_.get()), widget);
        items_.push_back(widget);
    }
    // The menu is sent over D-Bus as it is when attached; it must be shown first.
    gtk_widget_show_all(menu_.get());
    app_indicator_set_menu(indicator_.get(), GTK_MENU(menu_.get()));
    watchMenuOpening();
}

void AyatanaStatusItem::watchMenuOpening() {
    // The panel asks the menu's root before it draws the menu (AboutToShow, or an "opened"
    // event, depending on the panel).
    rootConnections_.clear();
    DbusmenuServer* server = nullptr;
    g_object_get(indicator_.get(), "dbus-menu-server", &server, nullptr);
    auto ownedServer = adopt(server);
    if (!ownedServer) return;
    DbusmenuMenuitem* root = nullptr;
    g_object_get(ownedServer.get(), DBUSMENU_SERVER_PROP_ROOT_NODE, &root, nullptr);
    auto ownedRoot = adopt(root);
    if (!ownedRoot) return;
    // The item owns these connections, which go before it.
    rootConnections_.push_back(SignalConnection::to<&AyatanaStatusItem::onRootAboutToShow>(
        ownedRoot.get(), DBUSMENU_MENUITEM_SIGNAL_ABOUT_TO_SHOW, this));
    rootConnections_.push_back(SignalConnection::to<&AyatanaStatusItem::onRootEvent>(
        ownedRoot.get(), DBUSMENU_MENUITEM_SIGNAL_EVENT, this));
}

gboolean AyatanaStatusItem::onRootAboutToShow() {
    if (willOpen_) willOpen_();
    return FALSE;
}

gboolean AyatanaStatusItem::onRootEvent(gchar* name, GVariant*, guint) {
    if (g_strcmp0(name, DBUSMENU_MENUITEM_EVENT_OPENED) == 0 && willOpen_) willOpen_();
    if (g_strcmp0(name, DBUSMENU_MENUITEM_EVENT_CLOSED) == 0 && didClose_) didClose_();
    return FALSE;
}

void AyatanaStatusItem::setItemTitle(std::size_t index, const std::string& title) {
    if (index < items_.size() && GTK_IS_MENU_ITEM(items_[index])) {
        gtk_menu_item_set_label(GTK_MENU_ITEM(items_[index]), title.c_str());
    }
}

std::unique_ptr<StatusItem> AyatanaStatusBar::statusItem() {
    return std::make_unique<AyatanaStatusItem>(log_);
}

}  // namespace plenhall::gtk
