// The calendar's WebKitGTK web view behind the seam.
//
// Thread: main thread only. Ownership: the core owns the adapter; the adapter owns the web view
// widget (the window holds it too while it is its content) and the helpers that listen to it, and
// disconnects them first thing in its destructor. Delegates are held by reference and outlive the
// adapter.
#pragma once

#include <webkit2/webkit2.h>

#include <memory>
#include <string>

#include "platform/gtk/glib_ptr.h"
#include "platform/gtk/key_hand_back.h"
#include "platform/gtk/page_editing_keys.h"
#include "platform/gtk/web_view_delegate_adapter.h"
#include "platform/system.h"
#include "platform/web_view.h"

namespace plenhall::gtk {

class GtkWebViewAdapter final : public WebView {
  public:
    GtkWebViewAdapter(const WebViewConfiguration& configuration,
                      const PageEditingKeys& editingKeys);
    GtkWebViewAdapter(const GtkWebViewAdapter&) = delete;
    GtkWebViewAdapter& operator=(const GtkWebViewAdapter&) = delete;
    ~GtkWebViewAdapter() override;

    void setNavigationDelegate(NavigationDelegate& delegate) override {
        delegates_->setNavigationDelegate(delegate);
    }
    void setUIDelegate(UIDelegate& delegate) override { delegates_->setUIDelegate(delegate); }
    void setAllowsBackForwardNavigationGestures(bool allowed) override;
    void loadRequest(const URLRequest& request) override;
    void loadHTMLString(const std::string& html,
                        const std::optional<std::string>& baseURL) override;
    void stopLoading() override;
    void setPageZoom(double factor) override;

    GtkWidget* widget() const { return GTK_WIDGET(view_.get()); }

    // "<engine user agent up to (KHTML, like Gecko)> <application name>".
    static std::string userAgent(const std::string& engineUserAgent,
                                 const std::string& applicationName);

  private:
    gboolean onKeyPressAfter(GdkEventKey*);
    void onFirstLoadEnded(WebKitWebView*, WebKitLoadEvent);

    GObjectPtr<WebKitWebView> view_;
    GObjectPtr<WebKitSettings> settings_;
    std::unique_ptr<WebViewDelegateAdapter> delegates_;
    std::unique_ptr<KeyHandBack> keyHandBack_;
    const PageEditingKeys& editingKeys_;
    SignalConnection editingKeysConnection_;
    bool started_ = false;  // the engine has been asked to load something
    URLRequest deferredRequest_;
    ScheduledCall deferredLoad_;
    SignalConnection firstLoadEnded_;
    ScheduledCall spelling_;
};

class GtkWebViewFactory final : public WebViewFactory {
  public:
    explicit GtkWebViewFactory(const PageEditingKeys& editingKeys) : editingKeys_(editingKeys) {}
    std::unique_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) override {
        return std::make_unique<GtkWebViewAdapter>(configuration, editingKeys_);
    }

  private:
    const PageEditingKeys& editingKeys_;
};

}  // namespace plenhall::gtk
