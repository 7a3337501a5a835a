// The application object on GTK: a unique GtkApplication (com.plenhall.Desktop) whose first
// instance runs the launch in "startup"; later launches reach it as reopen requests (no
// arguments) or as opened URLs.
//
// Thread: main thread only. Ownership: the platform owns the host and the GtkApplication for the
// life of the process; the delegate and the menu target outlive the event loop.
#pragma once

#include <gtk/gtk.h>

#include <memory>
#include <vector>

#include "platform/application.h"
#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/page_editing_keys.h"

namespace plenhall::gtk {

// The application's id: its bus name, and the base name of its desktop entry.
inline constexpr const char* kApplicationId = "com.plenhall.Desktop";

class GtkApplicationHost final : public Application {
  public:
    GtkApplicationHost(int argc, char** argv, PageEditingKeys& editingKeys);
    GtkApplicationHost(const GtkApplicationHost&) = delete;
    GtkApplicationHost& operator=(const GtkApplicationHost&) = delete;
    ~GtkApplicationHost() override;

    void setDelegate(ApplicationDelegate& delegate) override { delegate_ = &delegate; }
    // An accessory application shows no taskbar entry; the calendar window skips the taskbar
    // itself, so there is nothing to set here.
    void setActivationPolicy(ActivationPolicy) override {}
    int run() override;
    void setMainMenu(const Menu& menu, MenuTarget& target) override;
    // The windows are already ordered out; the window manager hands the focus on by itself.
    void hide() override {}
    void terminate() override;

    GtkApplication* application() const { return application_.get(); }

  private:
    struct Action;
    static void onStartup(GApplication*, gpointer self);
    static void onActivate(GApplication*, gpointer self);
    static void onOpen(GApplication*, GFile** files, gint count, const gchar* hint, gpointer self);
    void addAction(const MenuItem& item, MenuTarget& target);

    int argc_;
    char** argv_;
    ApplicationDelegate* delegate_ = nullptr;
    GObjectPtr<GtkApplication> application_;
    std::vector<SignalConnection> connections_;
    std::vector<std::unique_ptr<Action>> actions_;
    PageEditingKeys& editingKeys_;
    std::vector<ScheduledCall> signalWatches_;
    // The first activation of the first instance is its own launch, not a reopen.
    bool launchPending_ = true;
};

}  // namespace plenhall::gtk
