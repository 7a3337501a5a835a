// Everything the core needs from a desktop, gathered so the composition root can hand it over in
// one piece.
//
// Ownership: the composition root owns every service for the life of the process; this struct
// only refers to them.
#pragma once

#include <optional>

#include "platform/alerts.h"
#include "platform/application.h"
#include "platform/desktop_notifications.h"
#include "platform/focus_events.h"
#include "platform/global_hot_keys.h"
#include "platform/gnome_keybindings.h"
#include "platform/http.h"
#include "platform/key_event.h"
#include "platform/login_item.h"
#include "platform/menu.h"
#include "platform/system.h"
#include "platform/user_defaults.h"
#include "platform/web_processes.h"
#include "platform/web_view.h"
#include "platform/window.h"

namespace plenhall {

struct Platform {
    Application& application;
    MainQueue& mainQueue;
    Clock& clock;
    Log& log;
    UserDefaults& defaults;
    Screens& screens;
    WindowFactory& windows;
    WebViewFactory& webViews;
    StatusBar& statusBar;
    GlobalHotKeys& hotKeys;
    GnomeKeybindings& gnomeKeybindings;
    KeyMonitor& keyMonitor;
    Dialogs& dialogs;
    Workspace& workspace;
    FocusEvents& focus;
    LoginItemService& loginItem;
    HttpClient& http;
    DesktopNotifications& desktopNotifications;
    WebProcesses& webProcesses;
    BuildInfo build;
};

}  // namespace plenhall
