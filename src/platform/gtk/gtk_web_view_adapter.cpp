#include "platform/gtk/gtk_web_view_adapter.h"

#include "platform/gtk/web_context.h"

namespace plenhall::gtk {
namespace {

constexpr std::string_view kUserAgentEngineEnd = "(KHTML, like Gecko)";

// A GPU the engine could render on shows itself as a DRM render node.
bool hasRenderNode() {
    CPtr<GDir, g_dir_close> devices(g_dir_open("/dev/dri", 0, nullptr));
    if (!devices) return false;
    while (const char* name = g_dir_read_name(devices.get())) {
        if (g_str_has_prefix(name, "renderD")) return true;
    }
    return false;
}

}  // namespace

std::string GtkWebViewAdapter::userAgent(const std::string& engineUserAgent,
                                         const std::string& applicationName) {
    auto end = engineUserAgent.find(kUserAgentEngineEnd);
    // The engine's own "Version/… Safari/…" part would stand twice beside the application's.
    std::string base = end == std::string::npos
                           ? engineUserAgent
                           : engineUserAgent.substr(0, end + kUserAgentEngineEnd.size());
    return base + " " + applicationName;
}

GtkWebViewAdapter::GtkWebViewAdapter(const WebViewConfiguration& configuration,
                                     const PageEditingKeys& editingKeys)
    : editingKeys_(editingKeys) {
    auto context = makeWebContext();
    settings_ = adopt(webkit_settings_new());
    webkit_settings_set_user_agent(settings_.get(),
                                   userAgent(webkit_settings_get_user_agent(settings_.get()),
                                             configuration.applicationNameForUserAgent)
                                       .c_str());
    // Script pop-ups reach the policy like any other new-window request, instead of being dropped.
    webkit_settings_set_javascript_can_open_windows_automatically(settings_.get(), TRUE);
    // Without a GPU the engine would composite pages through a software GL renderer, which makes
    // the first frame after the calendar's first showing take over a second on a small machine;
    // painting without compositing has it on screen in a tenth of that (docs/performance.md).
    if (!hasRenderNode()) {
        webkit_settings_set_hardware_acceleration_policy(settings_.get(),
                                                         WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
    }
    view_ = refSink(WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context.get())));
    webkit_web_view_set_settings(view_.get(), settings_.get());

    delegates_ = std::make_unique<WebViewDelegateAdapter>(view_.get());
    keyHandBack_ = std::make_unique<KeyHandBack>(widget());
    // After the hand-back's own handler, and disconnected in the destructor: `this` outlives it.
    editingKeysConnection_ = SignalConnection::to<&GtkWebViewAdapter::onKeyPressAfter>(
        view_.get(), "key-press-event", this, G_CONNECT_AFTER);
    // Loading a dictionary holds the main loop for a tenth of a second: it waits until the first
    // load has ended, so launching (the key grab among it) is not held up.
    firstLoadEnded_ = SignalConnection::withInstance<&GtkWebViewAdapter::onFirstLoadEnded>(
        view_.get(), "load-changed", this);
}

void GtkWebViewAdapter::onFirstLoadEnded(WebKitWebView* view, WebKitLoadEvent event) {
    // A failed load ends with this event too.
    if (event != WEBKIT_LOAD_FINISHED) return;
    firstLoadEnded_.disconnect();
    // The adapter owns the call, so `this` outlives it.
    spelling_ = ScheduledCall::idle(
        [view] { checkSpellingInUsersLanguages(webkit_web_view_get_context(view)); },
        G_PRIORITY_LOW);
}

GtkWebViewAdapter::~GtkWebViewAdapter() {
    editingKeysConnection_.disconnect();
    keyHandBack_.reset();
    delegates_.reset();
    deferredLoad_.cancel();
    spelling_.cancel();
    firstLoadEnded_.disconnect();
    if (GtkWidget* parent = gtk_widget_get_parent(widget())) {
        gtk_container_remove(GTK_CONTAINER(parent), widget());
    }
}

void GtkWebViewAdapter::setAllowsBackForwardNavigationGestures(bool allowed) {
    webkit_settings_set_enable_back_forward_navigation_gestures(settings_.get(), allowed);
}

void GtkWebViewAdapter::loadRequest(const URLRequest& request) {
    // The engine's first load starts its web and network processes, and blocks for a good 200 ms
    // while it does. Made at launch, that would hold up the loop in which the global shortcut
    // starts to answer; the load waits for the loop's first idle moment instead.
    // The engine also asks for new windows in a synchronous call from the page's process; a load
    // made then starts once that call has returned. A later request replaces one still waiting.
    if (delegates_->insideNewWindowRequest() || !started_) {
        const int priority = started_ ? G_PRIORITY_DEFAULT : G_PRIORITY_DEFAULT_IDLE;
        started_ = true;
        deferredRequest_ = request;
        // The adapter owns the call, so `this` outlives it.
        deferredLoad_ = ScheduledCall::idle([this] { loadRequest(deferredRequest_); }, priority);
        return;
    }
    started_ = true;
    auto uriRequest = adopt(webkit_uri_request_new(request.url.c_str()));
    webkit_web_view_load_request(view_.get(), uriRequest.get());
}

void GtkWebViewAdapter::loadHTMLString(const std::string& html,
                                       const std::optional<std::string>& baseURL) {
    deferredLoad_.cancel();  // the newest load wins
    started_ = true;
    webkit_web_view_load_html(view_.get(), html.c_str(), baseURL ? baseURL->c_str() : nullptr);
}

void GtkWebViewAdapter::stopLoading() {
    deferredLoad_.cancel();
    webkit_web_view_stop_loading(view_.get());
}

void GtkWebViewAdapter::setPageZoom(double factor) {
    webkit_web_view_set_zoom_level(view_.get(), factor);
}

gboolean GtkWebViewAdapter::onKeyPressAfter(GdkEventKey* event) {
    // Runs only for keys the page left alone, so editors with their own undo keep it.
    auto command = editingKeys_.commandForPress(*event);
    if (!command) return FALSE;
    webkit_web_view_execute_editing_command(view_.get(), command->c_str());
    return TRUE;
}

}  // namespace plenhall::gtk
