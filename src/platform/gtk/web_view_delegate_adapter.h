// The engine's signals about navigation, loads, script dialogs and file choice, put to the
// navigation and UI delegates in the seam's terms; their answers put back to the engine.
//
// The engine cannot tell a main-frame navigation from a frame's when it asks about the action, so
// such actions are let through here and the main frame's page is decided when it answers.
//
// Thread: main thread only. Ownership: the web view adapter owns this and the view; the handlers
// are disconnected when this goes. The delegates are held by reference and outlive it.
#pragma once

#include <webkit2/webkit2.h>

#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/web_view.h"

namespace plenhall::gtk {

class WebViewDelegateAdapter {
  public:
    explicit WebViewDelegateAdapter(WebKitWebView* view);
    WebViewDelegateAdapter(const WebViewDelegateAdapter&) = delete;
    WebViewDelegateAdapter& operator=(const WebViewDelegateAdapter&) = delete;

    void setNavigationDelegate(NavigationDelegate& delegate) { navigation_ = &delegate; }
    void setUIDelegate(UIDelegate& delegate) { ui_ = &delegate; }

    // Inside the engine's synchronous request for a new window, when the view must not start a
    // load of its own.
    bool insideNewWindowRequest() const { return creating_ > 0; }

  private:
    struct PendingDialog;

    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType,
                                   gpointer);
    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, const gchar* uri, GError*,
                                 gpointer);
    static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer);
    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer);
    static gboolean onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest*, gpointer);
    static gboolean onPermissionRequest(WebKitWebView*, WebKitPermissionRequest*, gpointer);
    static gboolean onShowNotification(WebKitWebView*, WebKitNotification*, gpointer);
    static void onInitializeNotificationPermissions(WebKitWebContext*, gpointer);
    static void onDownloadStarted(WebKitWebContext*, WebKitDownload*, gpointer);

    gboolean decideResponse(WebKitResponsePolicyDecision* decision);

    NavigationDelegate* navigation_ = nullptr;
    UIDelegate* ui_ = nullptr;
    int creating_ = 0;
    std::vector<SignalConnection> connections_;
    // A script dialog answered while the engine asked, closed once the loop is idle; the engine
    // asks for one dialog at a time.
    ScheduledCall answerLater_;
};

}  // namespace plenhall::gtk
