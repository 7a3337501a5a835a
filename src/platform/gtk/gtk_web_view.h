// The calendar's WebKitGTK web view behind the seam, and the translation of the engine's signals
// into the delegate calls the core answers.
//
// The engine cannot tell a main-frame navigation from a frame's when it asks about the action, so
// the policy for the main frame is asked where the backend does know: when the main frame's main
// resource answers, and when a main-frame load fails before any answer. Frames load freely.
//
// Thread: main thread only. Ownership: the core owns the adapter; the adapter owns the web view
// widget (the window holds it too while it is its content) and disconnects every handler first
// thing in its destructor. Delegates are held by reference and outlive the adapter.
#pragma once

#include <webkit2/webkit2.h>

#include <array>
#include <string>
#include <vector>

#include "platform/gtk/glib_ptr.h"
#include "platform/system.h"
#include "platform/web_view.h"

namespace plenhall::gtk {

class GtkWebViewAdapter final : public WebView {
  public:
    GtkWebViewAdapter(const WebViewConfiguration& configuration, Log& log);
    GtkWebViewAdapter(const GtkWebViewAdapter&) = delete;
    GtkWebViewAdapter& operator=(const GtkWebViewAdapter&) = delete;
    ~GtkWebViewAdapter() override;

    void setNavigationDelegate(NavigationDelegate& delegate) override { navigation_ = &delegate; }
    void setUIDelegate(UIDelegate& delegate) override { ui_ = &delegate; }
    void setAllowsBackForwardNavigationGestures(bool allowed) override;
    void loadRequest(const URLRequest& request) override;
    void loadHTMLString(const std::string& html,
                        const std::optional<std::string>& baseURL) override;

    GtkWidget* widget() const { return GTK_WIDGET(view_.get()); }

    // "<engine user agent up to (KHTML, like Gecko)> <application name>".
    static std::string userAgent(const std::string& engineUserAgent,
                                 const std::string& applicationName);
    // The seam's error code for an engine failure: cancelled loads are the seam's cancelled, the
    // engine's policy codes keep their numbers, other domains never collide with them.
    static int errorCode(const GError* error);

  private:
    static gboolean onDecidePolicy(WebKitWebView*, WebKitPolicyDecision*, WebKitPolicyDecisionType,
                                   gpointer);
    static GtkWidget* onCreate(WebKitWebView*, WebKitNavigationAction*, gpointer);
    static void onLoadChanged(WebKitWebView*, WebKitLoadEvent, gpointer);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, const gchar* uri, GError*,
                                 gpointer);
    static void onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason, gpointer);
    static gboolean onScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer);
    static gboolean onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest*, gpointer);
    static gboolean onKeyPressBefore(GtkWidget*, GdkEventKey*, gpointer);
    static gboolean onKeyPressAfter(GtkWidget*, GdkEventKey*, gpointer);

    gboolean decideResponse(WebKitResponsePolicyDecision* decision);
    void armTimeout();
    void watchMemory();
    int& timesSeen(const GdkEventKey& press);

    Log& log_;
    NavigationDelegate* navigation_ = nullptr;
    UIDelegate* ui_ = nullptr;
    GObjectPtr<WebKitWebView> view_;
    GObjectPtr<WebKitSettings> settings_;
    std::vector<SignalConnection> connections_;
    SourceId timeout_;
    SourceId memoryWatch_;
    bool timedOut_ = false;
    int creating_ = 0;      // inside the engine's synchronous new-window request
    bool started_ = false;  // the engine has been asked to load something
    // The latest key presses that reached the view, and how many times each did: the engine hands
    // a press to the page, then to the view once more if the page left it alone.
    struct SeenPress {
        guint32 time = 0;
        guint16 keycode = 0;
        guint keyval = 0;
        int times = 0;
    };
    std::array<SeenPress, 16> seenPresses_{};
    std::size_t nextSeenPress_ = 0;
    guint32 newestPress_ = 0;
    URLRequest deferredRequest_;
    SourceId deferredLoad_;
};

class GtkWebViewFactory final : public WebViewFactory {
  public:
    explicit GtkWebViewFactory(Log& log) : log_(log) {}
    std::unique_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) override {
        return std::make_unique<GtkWebViewAdapter>(configuration, log_);
    }

  private:
    Log& log_;
};

}  // namespace plenhall::gtk
