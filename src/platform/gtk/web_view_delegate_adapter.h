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

    gboolean onDecidePolicy(WebKitPolicyDecision*, WebKitPolicyDecisionType);
    GtkWidget* onCreate(WebKitNavigationAction*);
    void onLoadChanged(WebKitWebView*, WebKitLoadEvent);
    gboolean onLoadFailed(WebKitLoadEvent, const gchar* uri, GError*);
    void onWebProcessTerminated(WebKitWebProcessTerminationReason);
    gboolean onScriptDialog(WebKitScriptDialog*);
    gboolean onRunFileChooser(WebKitFileChooserRequest*);
    gboolean onPermissionRequest(WebKitWebView*, WebKitPermissionRequest*);
    gboolean onShowNotification(WebKitNotification*);
    void onInitializeNotificationPermissions(WebKitWebContext*);
    void onDownloadStarted(WebKitDownload*);

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
