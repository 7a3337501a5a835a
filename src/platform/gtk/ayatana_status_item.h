// The status item in the panel, through the StatusNotifierItem protocol (ayatana-appindicator),
// with its menu rendered from the core's description.
//
// Thread: main thread only. Ownership: the core owns the status item; the item owns the
// indicator and its menu.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/menu.h"
#include "platform/system.h"

typedef struct _AppIndicator AppIndicator;

namespace plenhall::gtk {

class AyatanaStatusItem final : public StatusItem {
  public:
    explicit AyatanaStatusItem(Log& log);
    AyatanaStatusItem(const AyatanaStatusItem&) = delete;
    AyatanaStatusItem& operator=(const AyatanaStatusItem&) = delete;
    ~AyatanaStatusItem() override;

    void setIcon(const std::string& iconName, const std::string& title) override;
    void setMenu(const Menu& menu, MenuTarget& target) override;
    void setItemTitle(std::size_t index, const std::string& title) override;
    void setMenuDidCloseHandler(std::function<void()> handler) override {
        didClose_ = std::move(handler);
    }
    void setMenuWillOpenHandler(std::function<void()> handler) override {
        willOpen_ = std::move(handler);
    }

  private:
    struct ItemAction;
    void onConnectionChanged(gboolean connected);
    void watchMenuOpening();
    gboolean onRootAboutToShow();
    gboolean onRootEvent(gchar* name, GVariant*, guint);

    Log& log_;
    GObjectPtr<AppIndicator> indicator_;
    GObjectPtr<GtkWidget> menu_;
    std::vector<GtkWidget*> items_;
    std::vector<std::unique_ptr<ItemAction>> actions_;
    SignalConnection connectionChanged_;
    bool reportedNoHost_ = false;
    std::function<void()> willOpen_;
    std::function<void()> didClose_;
    std::vector<SignalConnection> rootConnections_;
};

class AyatanaStatusBar final : public StatusBar {
  public:
    explicit AyatanaStatusBar(Log& log) : log_(log) {}
    std::unique_ptr<StatusItem> statusItem() override;

  private:
    Log& log_;
};

}  // namespace plenhall::gtk
