#include "platform/gtk/web_view_delegate_adapter.h"

#include <memory>
#include <string>

#include "platform/gtk/web_error_mapping.h"

namespace plenhall::gtk {
namespace {

// A new-window request: it targets no frame.
NavigationAction newWindowAction(WebKitNavigationAction* navigation) {
    NavigationAction action;
    WebKitURIRequest* request = webkit_navigation_action_get_request(navigation);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    if (uri && *uri) action.url = uri;
    const char* method = request ? webkit_uri_request_get_http_method(request) : nullptr;
    action.httpMethod = method ? method : "";
    action.userGesture = webkit_navigation_action_is_user_gesture(navigation);
    return action;
}

bool isAttachment(WebKitURIResponse* response) {
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    if (!headers) return false;
    const char* disposition = soup_message_headers_get_one(headers, "Content-Disposition");
    return disposition && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
}

std::string currentURL(WebKitWebView* view) {
    const char* uri = webkit_web_view_get_uri(view);
    return uri ? uri : "";
}

// Holds the engine's request object until the core's completion answers it.
template <class T, void (*Unref)(T*)>
struct Pending {
    explicit Pending(T* held) : object(held) {}
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;
    ~Pending() { Unref(object); }
    T* object;
};

void unrefFileChooser(WebKitFileChooserRequest* request) {
    GObjectUnref{}(request);
}

using PendingFileChooser = Pending<WebKitFileChooserRequest, unrefFileChooser>;

// The engine's notification, for as long as the core holds it. The engine has no icon for it in
// this API version.
class WebKitPageNotification final : public PageNotification {
  public:
    WebKitPageNotification(WebKitNotification* notification, UIDelegate& ui)
        : notification_(WEBKIT_NOTIFICATION(g_object_ref(notification))), ui_(ui) {
        // Disconnected when this goes, so `this` outlives the handler.
        closed_ =
            SignalConnection::to<&WebKitPageNotification::onClosed>(notification, "closed", this);
    }
    std::string title() const override { return text(webkit_notification_get_title); }
    std::string body() const override { return text(webkit_notification_get_body); }
    void deliverClick() override { webkit_notification_clicked(notification_.get()); }
    void deliverClose() override {
        closed_.disconnect();  // the core knows; only the page is told
        webkit_notification_close(notification_.get());
    }

  private:
    std::string text(const gchar* (*get)(WebKitNotification*)) const {
        const gchar* value = get(notification_.get());
        return value ? value : "";
    }
    void onClosed() {
        closed_.disconnect();
        // The core may let go of this here; nothing touches it afterwards.
        ui_.pageClosedNotification(*this);
    }

    GObjectPtr<WebKitNotification> notification_;
    UIDelegate& ui_;
    SignalConnection closed_;
};

void unrefPermission(WebKitPermissionRequest* request) {
    GObjectUnref{}(request);
}
using PendingPermission = Pending<WebKitPermissionRequest, unrefPermission>;

// A list of origins for the engine; the caller frees it with the origins.
GList* securityOrigins(const std::vector<std::string>& origins) {
    GList* list = nullptr;
    for (const auto& origin : origins)
        list = g_list_prepend(list, webkit_security_origin_new_for_uri(origin.c_str()));
    return list;
}

}  // namespace

// A script dialog until its answer has reached the engine. The engine lets go of the dialog only
// once its signal has returned, and a dialog closed before then is gone when it does: an answer
// given at once (a blocked page's) reaches it when the loop is next idle, after any input waiting,
// so a page asking without end cannot starve the shortcut.
struct WebViewDelegateAdapter::PendingDialog {
    explicit PendingDialog(WebKitScriptDialog* dialog) : object(webkit_script_dialog_ref(dialog)) {}
    PendingDialog(const PendingDialog&) = delete;
    PendingDialog& operator=(const PendingDialog&) = delete;
    ~PendingDialog() { webkit_script_dialog_unref(object); }

    void close() {
        if (asking) {
            answered = true;
        } else {
            webkit_script_dialog_close(object);
        }
    }

    WebKitScriptDialog* object;
    bool asking = true;  // inside the engine's signal
    bool answered = false;
};

WebViewDelegateAdapter::WebViewDelegateAdapter(WebKitWebView* view) {
    // The handlers are disconnected with `connections_`, so `this` outlives them.
    connections_.push_back(
        SignalConnection::to<&WebViewDelegateAdapter::onDecidePolicy>(view, "decide-policy", this));
    connections_.push_back(
        SignalConnection::to<&WebViewDelegateAdapter::onCreate>(view, "create", this));
    connections_.push_back(SignalConnection::withInstance<&WebViewDelegateAdapter::onLoadChanged>(
        view, "load-changed", this));
    connections_.push_back(
        SignalConnection::to<&WebViewDelegateAdapter::onLoadFailed>(view, "load-failed", this));
    connections_.push_back(SignalConnection::to<&WebViewDelegateAdapter::onWebProcessTerminated>(
        view, "web-process-terminated", this));
    connections_.push_back(
        SignalConnection::to<&WebViewDelegateAdapter::onScriptDialog>(view, "script-dialog", this));
    connections_.push_back(SignalConnection::to<&WebViewDelegateAdapter::onRunFileChooser>(
        view, "run-file-chooser", this));
    connections_.push_back(
        SignalConnection::withInstance<&WebViewDelegateAdapter::onPermissionRequest>(
            view, "permission-request", this));
    connections_.push_back(SignalConnection::to<&WebViewDelegateAdapter::onShowNotification>(
        view, "show-notification", this));
    connections_.push_back(SignalConnection::withInstance<
                           &WebViewDelegateAdapter::onInitializeNotificationPermissions>(
        webkit_web_view_get_context(view), "initialize-notification-permissions", this));
    connections_.push_back(SignalConnection::to<&WebViewDelegateAdapter::onDownloadStarted>(
        webkit_web_view_get_context(view), "download-started", this));
}

gboolean WebViewDelegateAdapter::onDecidePolicy(WebKitPolicyDecision* decision,
                                                WebKitPolicyDecisionType type) {
    switch (type) {
        case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION:
            // A main-frame navigation and a frame's look the same here; the main frame's is
            // decided at its answer (or its failure), a frame's is allowed.
            webkit_policy_decision_use(decision);
            return TRUE;
        case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION: {
            auto* navigation = webkit_navigation_policy_decision_get_navigation_action(
                WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            if (navigation_->decideNavigationPolicy(newWindowAction(navigation)) ==
                NavigationActionPolicy::allow) {
                webkit_policy_decision_use(decision);
            } else {
                webkit_policy_decision_ignore(decision);
            }
            return TRUE;
        }
        case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
            return decideResponse(WEBKIT_RESPONSE_POLICY_DECISION(decision));
    }
    return FALSE;
}

gboolean WebViewDelegateAdapter::decideResponse(WebKitResponsePolicyDecision* decision) {
    NavigationResponse response;
    response.isForMainFrame = webkit_response_policy_decision_is_main_frame_main_resource(decision);
    WebKitURIRequest* request = webkit_response_policy_decision_get_request(decision);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    if (uri && *uri) response.url = uri;
    response.canShowMIMEType = webkit_response_policy_decision_is_mime_type_supported(decision);
    response.isAttachment = isAttachment(webkit_response_policy_decision_get_response(decision));
    // Ignoring, not downloading: a refused answer is neither shown nor saved.
    if (navigation_->decideResponsePolicy(response) == NavigationResponsePolicy::allow) {
        webkit_policy_decision_use(WEBKIT_POLICY_DECISION(decision));
    } else {
        webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    }
    return TRUE;
}

void WebViewDelegateAdapter::onDownloadStarted(WebKitDownload* download) {
    // A link's download attribute makes the engine save what the page allowed to load, without
    // asking about the answer: the save is put to the delegate like an answer to be saved.
    NavigationResponse response;
    response.isForMainFrame = false;
    WebKitURIRequest* request = webkit_download_get_request(download);
    const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
    if (uri && *uri) response.url = uri;
    response.isAttachment = true;
    if (navigation_->decideResponsePolicy(response) == NavigationResponsePolicy::cancel) {
        webkit_download_cancel(download);
    }
}

GtkWidget* WebViewDelegateAdapter::onCreate(WebKitNavigationAction* navigation) {
    ++creating_;
    navigation_->newWindowRequested(newWindowAction(navigation));
    --creating_;
    return nullptr;  // never a second web view
}

void WebViewDelegateAdapter::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event) {
    switch (event) {
        case WEBKIT_LOAD_STARTED:
            navigation_->loadStarted(currentURL(view));
            break;
        case WEBKIT_LOAD_REDIRECTED:
            navigation_->loadRedirected(currentURL(view));
            break;
        case WEBKIT_LOAD_COMMITTED:
            navigation_->loadCommitted();
            break;
        case WEBKIT_LOAD_FINISHED:
            navigation_->loadFinished();
            break;
    }
}

gboolean WebViewDelegateAdapter::onLoadFailed(WebKitLoadEvent event, const gchar* uri,
                                              GError* error) {
    const WebError failure = webError(*error, uri);
    if (event == WEBKIT_LOAD_STARTED) {
        navigation_->loadFailedBeforeCommit(failure);
    } else {
        navigation_->loadFailed(failure);
    }
    return TRUE;  // never the engine's own error page
}

void WebViewDelegateAdapter::onWebProcessTerminated(WebKitWebProcessTerminationReason reason) {
    // A dead view shows nothing and answers nothing; the page's load has failed.
    const char* why = reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT
                          ? "web process exceeded its memory limit"
                          : "web process ended";
    navigation_->loadFailed(WebError{WebFailure::webProcessGone,
                                     "WebKitWebProcessTerminationReason", int(reason), why});
}

gboolean WebViewDelegateAdapter::onScriptDialog(WebKitScriptDialog* dialog) {
    const char* message = webkit_script_dialog_get_message(dialog);
    const std::string text = message ? message : "";
    auto pending = std::make_shared<PendingDialog>(dialog);
    auto confirm = [pending](bool confirmed) {
        webkit_script_dialog_confirm_set_confirmed(pending->object, confirmed);
        pending->close();
    };

    switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_ALERT:
            ui_->scriptAlert(text, [pending] { pending->close(); });
            break;
        case WEBKIT_SCRIPT_DIALOG_CONFIRM:
            ui_->scriptConfirm(text, confirm);
            break;
        case WEBKIT_SCRIPT_DIALOG_PROMPT: {
            const char* fallback = webkit_script_dialog_prompt_get_default_text(dialog);
            std::optional<std::string> defaultText;
            if (fallback) defaultText = fallback;
            ui_->scriptPrompt(text, defaultText, [pending](std::optional<std::string> entered) {
                // Leaving the text unset answers the page null.
                if (entered) {
                    webkit_script_dialog_prompt_set_text(pending->object, entered->c_str());
                }
                pending->close();
            });
            break;
        }
        case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
            ui_->beforeUnloadConfirm(text, confirm);
            break;
        default:
            return FALSE;
    }
    pending->asking = false;
    if (pending->answered) {
        answerLater_ =
            ScheduledCall::idle([pending] { webkit_script_dialog_close(pending->object); });
    }
    return TRUE;
}

gboolean WebViewDelegateAdapter::onRunFileChooser(WebKitFileChooserRequest* request) {
    auto pending =
        std::make_shared<PendingFileChooser>(WEBKIT_FILE_CHOOSER_REQUEST(g_object_ref(request)));
    FileRequest parameters;
    parameters.selectMultiple = webkit_file_chooser_request_get_select_multiple(request);
    parameters.selectFolders = false;  // the engine does not say when a page asks for folders
    ui_->runFileChooser(parameters, [pending](std::optional<std::vector<std::string>> paths) {
        if (!paths) {
            webkit_file_chooser_request_cancel(pending->object);
            return;
        }
        std::vector<const gchar*> list;
        for (const auto& path : *paths) list.push_back(path.c_str());
        list.push_back(nullptr);
        webkit_file_chooser_request_select_files(pending->object, list.data());
    });
    return TRUE;
}

gboolean WebViewDelegateAdapter::onPermissionRequest(WebKitWebView* view,
                                                     WebKitPermissionRequest* request) {
    if (!WEBKIT_IS_NOTIFICATION_PERMISSION_REQUEST(request)) return FALSE;
    auto pending =
        std::make_shared<PendingPermission>(WEBKIT_PERMISSION_REQUEST(g_object_ref(request)));
    // The engine does not say which frame asked; the page shown is the one judged, and the engine
    // itself refuses frames of other sites.
    ui_->requestNotificationPermission(currentURL(view), [pending](bool allowed) {
        if (allowed) {
            webkit_permission_request_allow(pending->object);
        } else {
            webkit_permission_request_deny(pending->object);
        }
    });
    return TRUE;
}

gboolean WebViewDelegateAdapter::onShowNotification(WebKitNotification* notification) {
    ui_->showNotification(std::make_shared<WebKitPageNotification>(notification, *ui_));
    return TRUE;  // never the engine's own notifications
}

void WebViewDelegateAdapter::onInitializeNotificationPermissions(WebKitWebContext* context) {
    if (!ui_) return;
    const NotificationPermissions permissions = ui_->notificationPermissions();
    GList* granted = securityOrigins(permissions.granted);
    GList* denied = securityOrigins(permissions.denied);
    webkit_web_context_initialize_notification_permissions(context, granted, denied);
    g_list_free_full(granted, reinterpret_cast<GDestroyNotify>(webkit_security_origin_unref));
    g_list_free_full(denied, reinterpret_cast<GDestroyNotify>(webkit_security_origin_unref));
}

}  // namespace plenhall::gtk
