#include "platform/gtk/gtk_web_view.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

namespace plenhall::gtk {
namespace {

// The engine gives a load no deadline of its own.
constexpr guint kLoadTimeoutSeconds = 60;
constexpr std::string_view kUserAgentEngineEnd = "(KHTML, like Gecko)";

std::string dataDirectory(const char* base) {
    return takeString(g_build_filename(base, "plenhall-desktop", nullptr));
}

// A page that runs away with memory has its process ended (and the offline page shown) long before
// it can push the desktop into swapping; a calendar page needs a small fraction of this.
constexpr guint kWebProcessMemoryLimitMegabytes = 1536;
// Each of the engine's polls measures the whole page process; polling more often than this costs a
// hidden calendar more CPU than everything else it does.
constexpr double kMemoryPollSeconds = 30.0;
// The engine's own watch runs on the page's main thread, which a script that never returns keeps
// busy; this watch, from our process, ends such a page before it can exhaust the machine.
constexpr long kWebProcessHardLimitKilobytes = 2048L * 1024;
constexpr guint kMemoryWatchSeconds = 5;

std::string readFile(const std::string& path) {
    std::string contents;
    if (FILE* file = std::fopen(path.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, n);
        std::fclose(file);
    }
    return contents;
}

// Adds the processes below `pid`, down to `depth` levels, to `found`.
void addDescendants(int pid, int depth, std::vector<int>& found) {
    if (depth == 0) return;
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    GDir* threads = g_dir_open(tasks.c_str(), 0, nullptr);
    if (!threads) return;
    while (const char* thread = g_dir_read_name(threads)) {
        std::istringstream children(readFile(tasks + "/" + thread + "/children"));
        for (int child = 0; children >> child;) {
            found.push_back(child);
            addDescendants(child, depth - 1, found);
        }
    }
    g_dir_close(threads);
}

// The engine's page processes below this one (the sandbox starts them through bwrap). After a
// crash or a change of site there can be more than one, the page's not always the oldest.
std::vector<int> webProcesses() {
    std::vector<int> descendants;
    addDescendants(getpid(), 4, descendants);
    std::vector<int> pages;
    for (int pid : descendants) {
        if (readFile("/proc/" + std::to_string(pid) + "/comm").rfind("WebKitWebProces", 0) == 0)
            pages.push_back(pid);
    }
    return pages;
}

long residentKilobytes(int pid) {
    std::string status = readFile("/proc/" + std::to_string(pid) + "/status");
    auto at = status.find("VmRSS:");
    return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

GObjectPtr<WebKitWebContext> makeContext() {
    const std::string data = dataDirectory(g_get_user_data_dir());
    const std::string cache = dataDirectory(g_get_user_cache_dir());
    auto manager = adopt(webkit_website_data_manager_new(
        "base-data-directory", data.c_str(), "base-cache-directory", cache.c_str(), nullptr));
    // The engine keeps cookies in memory unless told where to store them.
    const std::string cookies =
        takeString(g_build_filename(data.c_str(), "cookies.sqlite", nullptr));
    webkit_cookie_manager_set_persistent_storage(
        webkit_website_data_manager_get_cookie_manager(manager.get()), cookies.c_str(),
        WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);
    WebKitMemoryPressureSettings* memory = webkit_memory_pressure_settings_new();
    webkit_memory_pressure_settings_set_memory_limit(memory, kWebProcessMemoryLimitMegabytes);
    webkit_memory_pressure_settings_set_kill_threshold(memory, 1.0);
    webkit_memory_pressure_settings_set_poll_interval(memory, kMemoryPollSeconds);
    auto context = adopt(WEBKIT_WEB_CONTEXT(
        g_object_new(WEBKIT_TYPE_WEB_CONTEXT, "website-data-manager", manager.get(),
                     "memory-pressure-settings", memory, nullptr)));
    webkit_memory_pressure_settings_free(memory);
    // Pages written by strangers (invitations, shared calendars) run in a confined process. This
    // must happen before the first web process starts.
    webkit_web_context_set_sandbox_enabled(context.get(), TRUE);
    return context;
}

NavigationAction actionFor(const char* uri, std::optional<FrameInfo> targetFrame) {
    NavigationAction action;
    action.targetFrame = targetFrame;
    if (uri && *uri) {
        action.url = uri;
        action.request = URLRequest{uri};
    }
    return action;
}

NavigationAction actionFor(WebKitNavigationAction* navigation,
                           std::optional<FrameInfo> targetFrame) {
    WebKitURIRequest* request = webkit_navigation_action_get_request(navigation);
    return actionFor(request ? webkit_uri_request_get_uri(request) : nullptr, targetFrame);
}

bool isAttachment(WebKitURIResponse* response) {
    SoupMessageHeaders* headers = webkit_uri_response_get_http_headers(response);
    if (!headers) return false;
    const char* disposition = soup_message_headers_get_one(headers, "Content-Disposition");
    return disposition && g_ascii_strncasecmp(disposition, "attachment", 10) == 0;
}

// Holds the engine's request object until the core's completion answers it.
template <class T, void (*Unref)(T*)>
struct Pending {
    explicit Pending(T* object) : object(object) {}
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;
    ~Pending() { Unref(object); }
    T* object;
};

void unrefObject(gpointer object) {
    g_object_unref(object);
}
void unrefDialog(WebKitScriptDialog* dialog) {
    webkit_script_dialog_unref(dialog);
}
void unrefFileChooser(WebKitFileChooserRequest* request) {
    unrefObject(request);
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

int GtkWebViewAdapter::errorCode(const GError* error) {
    if (!error) return 0;
    if (error->domain == WEBKIT_NETWORK_ERROR && error->code == WEBKIT_NETWORK_ERROR_CANCELLED) {
        return WebErrorCode::cancelled;
    }
    if (error->domain == WEBKIT_POLICY_ERROR) return error->code;
    if (error->code == WebErrorCode::cancelled || error->code == WebErrorCode::cannotShowURL ||
        error->code == WebErrorCode::frameLoadInterruptedByPolicyChange) {
        return -1;  // another domain's number that only looks like one of the engine's
    }
    return error->code;
}

GtkWebViewAdapter::GtkWebViewAdapter(const WebViewConfiguration& configuration, Log& log)
    : log_(log) {
    auto context = makeContext();
    settings_ = adopt(webkit_settings_new());
    webkit_settings_set_user_agent(settings_.get(),
                                   userAgent(webkit_settings_get_user_agent(settings_.get()),
                                             configuration.applicationNameForUserAgent)
                                       .c_str());
    // Script pop-ups reach the policy like any other new-window request, instead of being dropped.
    webkit_settings_set_javascript_can_open_windows_automatically(settings_.get(), TRUE);
    view_ = refSink(WEBKIT_WEB_VIEW(webkit_web_view_new_with_context(context.get())));
    webkit_web_view_set_settings(view_.get(), settings_.get());

    connections_.emplace_back(view_.get(), "decide-policy", G_CALLBACK(onDecidePolicy), this);
    connections_.emplace_back(view_.get(), "create", G_CALLBACK(onCreate), this);
    connections_.emplace_back(view_.get(), "load-changed", G_CALLBACK(onLoadChanged), this);
    connections_.emplace_back(view_.get(), "load-failed", G_CALLBACK(onLoadFailed), this);
    connections_.emplace_back(view_.get(), "web-process-terminated",
                              G_CALLBACK(onWebProcessTerminated), this);
    connections_.emplace_back(view_.get(), "script-dialog", G_CALLBACK(onScriptDialog), this);
    connections_.emplace_back(view_.get(), "run-file-chooser", G_CALLBACK(onRunFileChooser), this);
    connections_.emplace_back(view_.get(), "key-press-event", G_CALLBACK(onKeyPressBefore), this);
    connections_.emplace_back(view_.get(), "key-press-event", G_CALLBACK(onKeyPressAfter), this,
                              G_CONNECT_AFTER);
    watchMemory();
}

void GtkWebViewAdapter::watchMemory() {
    memoryWatch_ = SourceId(g_timeout_add_seconds(
        kMemoryWatchSeconds,
        [](gpointer data) -> gboolean {
            auto* self = static_cast<GtkWebViewAdapter*>(data);
            for (int pid : webProcesses()) {
                if (residentKilobytes(pid) <= kWebProcessHardLimitKilobytes) continue;
                // The view hears of its page's process ending, so the offline page replaces it.
                self->log_.line("PlenhallDesktop: the calendar page used more than " +
                                std::to_string(kWebProcessHardLimitKilobytes / 1024) +
                                " MB of memory; its process was ended");
                kill(pid, SIGKILL);
            }
            return G_SOURCE_CONTINUE;
        },
        this));
}

GtkWebViewAdapter::~GtkWebViewAdapter() {
    connections_.clear();
    memoryWatch_.remove();
    timeout_.remove();
    deferredLoad_.remove();
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
    if (creating_ > 0 || !started_) {
        const int priority = started_ ? G_PRIORITY_DEFAULT : G_PRIORITY_DEFAULT_IDLE;
        started_ = true;
        deferredRequest_ = request;
        deferredLoad_ = SourceId(g_idle_add_full(
            priority,
            [](gpointer data) -> gboolean {
                auto* self = static_cast<GtkWebViewAdapter*>(data);
                self->deferredLoad_.release();
                self->loadRequest(self->deferredRequest_);
                return G_SOURCE_REMOVE;
            },
            this, nullptr));
        return;
    }
    started_ = true;
    auto uriRequest = adopt(webkit_uri_request_new(request.url.c_str()));
    webkit_web_view_load_request(view_.get(), uriRequest.get());
}

void GtkWebViewAdapter::loadHTMLString(const std::string& html,
                                       const std::optional<std::string>& baseURL) {
    deferredLoad_.remove();  // the newest load wins
    started_ = true;
    webkit_web_view_load_html(view_.get(), html.c_str(), baseURL ? baseURL->c_str() : nullptr);
}

gboolean GtkWebViewAdapter::onDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                                           WebKitPolicyDecisionType type, gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    switch (type) {
        case WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION:
            // A main-frame navigation and a frame's look the same here; the main frame's is
            // decided at its response (or its failure), a frame's is allowed.
            webkit_policy_decision_use(decision);
            return TRUE;
        case WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION: {
            auto* navigation = webkit_navigation_policy_decision_get_navigation_action(
                WEBKIT_NAVIGATION_POLICY_DECISION(decision));
            auto policy = self->navigation_->decidePolicyForNavigationAction(
                actionFor(navigation, std::nullopt));
            if (policy == NavigationActionPolicy::allow) {
                webkit_policy_decision_use(decision);
            } else {
                webkit_policy_decision_ignore(decision);
            }
            return TRUE;
        }
        case WEBKIT_POLICY_DECISION_TYPE_RESPONSE:
            return self->decideResponse(WEBKIT_RESPONSE_POLICY_DECISION(decision));
    }
    return FALSE;
}

gboolean GtkWebViewAdapter::decideResponse(WebKitResponsePolicyDecision* decision) {
    auto* policyDecision = WEBKIT_POLICY_DECISION(decision);
    if (webkit_response_policy_decision_is_main_frame_main_resource(decision)) {
        WebKitURIRequest* request = webkit_response_policy_decision_get_request(decision);
        auto action =
            actionFor(request ? webkit_uri_request_get_uri(request) : nullptr, FrameInfo{true});
        if (navigation_->decidePolicyForNavigationAction(action) ==
            NavigationActionPolicy::cancel) {
            webkit_policy_decision_ignore(policyDecision);
            return TRUE;
        }
    }
    // The program keeps no files of its own: what the engine would save as a download is not
    // loaded at all, as a view without a download handler does.
    WebKitURIResponse* response = webkit_response_policy_decision_get_response(decision);
    if (!webkit_response_policy_decision_is_mime_type_supported(decision) ||
        isAttachment(response)) {
        webkit_policy_decision_ignore(policyDecision);
        return TRUE;
    }
    webkit_policy_decision_use(policyDecision);
    return TRUE;
}

GtkWidget* GtkWebViewAdapter::onCreate(WebKitWebView*, WebKitNavigationAction* navigation,
                                       gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    ++self->creating_;
    self->navigation_->createWebViewForNavigationAction(actionFor(navigation, std::nullopt));
    --self->creating_;
    return nullptr;  // never a second web view
}

void GtkWebViewAdapter::armTimeout() {
    timedOut_ = false;
    timeout_ = SourceId(g_timeout_add_seconds(
        kLoadTimeoutSeconds,
        [](gpointer data) -> gboolean {
            auto* self = static_cast<GtkWebViewAdapter*>(data);
            self->timeout_.release();
            self->timedOut_ = true;
            webkit_web_view_stop_loading(self->view_.get());  // reported as a cancelled load
            return G_SOURCE_REMOVE;
        },
        this));
}

void GtkWebViewAdapter::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    switch (event) {
        case WEBKIT_LOAD_STARTED:
        case WEBKIT_LOAD_REDIRECTED:
            self->armTimeout();
            break;
        case WEBKIT_LOAD_COMMITTED:
        case WEBKIT_LOAD_FINISHED:
            self->timeout_.remove();
            break;
    }
}

gboolean GtkWebViewAdapter::onLoadFailed(WebKitWebView*, WebKitLoadEvent event, const gchar* uri,
                                         GError* error, gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    self->timeout_.remove();
    WebError failure{g_quark_to_string(error->domain), errorCode(error), error->message};
    if (std::exchange(self->timedOut_, false)) failure.code = WebErrorCode::timedOut;

    const bool provisional = event == WEBKIT_LOAD_STARTED;
    const bool realFailure = failure.code != WebErrorCode::cancelled &&
                             failure.code != WebErrorCode::frameLoadInterruptedByPolicyChange &&
                             failure.code != WebErrorCode::cannotShowURL;
    if (provisional && realFailure) {
        // A page of another site that cannot even be reached never answered, so its response was
        // never decided: it still belongs to the browser, not to the offline page.
        auto action = actionFor(uri, FrameInfo{true});
        if (self->navigation_->decidePolicyForNavigationAction(action) ==
            NavigationActionPolicy::cancel) {
            return TRUE;
        }
    }
    if (provisional) {
        self->navigation_->didFailProvisionalNavigation(failure);
    } else {
        self->navigation_->didFailNavigation(failure);
    }
    return TRUE;  // never the engine's own error page
}

void GtkWebViewAdapter::onWebProcessTerminated(WebKitWebView*,
                                               WebKitWebProcessTerminationReason reason,
                                               gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    self->timeout_.remove();
    // A dead view shows nothing and answers nothing; a failed load brings the offline page, and the
    // next showing loads the calendar again in a fresh process.
    const char* why = reason == WEBKIT_WEB_PROCESS_EXCEEDED_MEMORY_LIMIT
                          ? "web process exceeded its memory limit"
                          : "web process ended";
    self->navigation_->didFailNavigation(
        WebError{"PlenhallWebProcess", WebErrorCode::webContentProcessTerminated, why});
}

gboolean GtkWebViewAdapter::onScriptDialog(WebKitWebView*, WebKitScriptDialog* dialog,
                                           gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    using PendingDialog = Pending<WebKitScriptDialog, unrefDialog>;
    const char* message = webkit_script_dialog_get_message(dialog);
    const std::string text = message ? message : "";

    switch (webkit_script_dialog_get_dialog_type(dialog)) {
        case WEBKIT_SCRIPT_DIALOG_ALERT: {
            auto pending = std::make_shared<PendingDialog>(webkit_script_dialog_ref(dialog));
            self->ui_->runJavaScriptAlertPanel(
                text, [pending] { webkit_script_dialog_close(pending->object); });
            return TRUE;
        }
        case WEBKIT_SCRIPT_DIALOG_CONFIRM: {
            auto pending = std::make_shared<PendingDialog>(webkit_script_dialog_ref(dialog));
            self->ui_->runJavaScriptConfirmPanel(text, [pending](bool confirmed) {
                webkit_script_dialog_confirm_set_confirmed(pending->object, confirmed);
                webkit_script_dialog_close(pending->object);
            });
            return TRUE;
        }
        case WEBKIT_SCRIPT_DIALOG_PROMPT: {
            auto pending = std::make_shared<PendingDialog>(webkit_script_dialog_ref(dialog));
            const char* fallback = webkit_script_dialog_prompt_get_default_text(dialog);
            std::optional<std::string> defaultText;
            if (fallback) defaultText = fallback;
            self->ui_->runJavaScriptTextInputPanel(
                text, defaultText, [pending](std::optional<std::string> entered) {
                    // Leaving the text unset answers the page null.
                    if (entered) {
                        webkit_script_dialog_prompt_set_text(pending->object, entered->c_str());
                    }
                    webkit_script_dialog_close(pending->object);
                });
            return TRUE;
        }
        case WEBKIT_SCRIPT_DIALOG_BEFORE_UNLOAD_CONFIRM:
            // Leaving the page is never held up by a question of the page's.
            webkit_script_dialog_confirm_set_confirmed(dialog, TRUE);
            return TRUE;
    }
    return FALSE;
}

gboolean GtkWebViewAdapter::onRunFileChooser(WebKitWebView*, WebKitFileChooserRequest* request,
                                             gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    using PendingRequest = Pending<WebKitFileChooserRequest, unrefFileChooser>;
    auto pending =
        std::make_shared<PendingRequest>(WEBKIT_FILE_CHOOSER_REQUEST(g_object_ref(request)));
    OpenPanelParameters parameters;
    parameters.allowsMultipleSelection = webkit_file_chooser_request_get_select_multiple(request);
    parameters.allowsDirectories = false;  // the engine does not say when a page asks for folders
    self->ui_->runOpenPanel(parameters, [pending](std::optional<std::vector<std::string>> paths) {
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

int& GtkWebViewAdapter::timesSeen(const GdkEventKey& press) {
    for (auto& seen : seenPresses_) {
        if (seen.times > 0 && seen.time == press.time && seen.keycode == press.hardware_keycode &&
            seen.keyval == press.keyval) {
            return seen.times;
        }
    }
    auto& slot = seenPresses_[nextSeenPress_++ % seenPresses_.size()];
    slot = SeenPress{press.time, press.hardware_keycode, press.keyval, 0};
    return slot.times;
}

gboolean GtkWebViewAdapter::onKeyPressBefore(GtkWidget*, GdkEventKey* event, gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    if (++self->timesSeen(*event) == 1) self->newestPress_ = event->time;
    return FALSE;
}

gboolean GtkWebViewAdapter::onKeyPressAfter(GtkWidget* widget, GdkEventKey* event, gpointer data) {
    auto* self = static_cast<GtkWebViewAdapter*>(data);
    if (self->timesSeen(*event) == 1 && event->time == self->newestPress_) {
        // The engine hands a press the page left alone back to the view, and lets the next press
        // through to the view unseen by the page in its place. When the calendar was hidden by
        // then, the press handed back never arrived, and this one, new, was let through instead;
        // handing it over again gives it to the page.
        gtk_widget_event(widget, reinterpret_cast<GdkEvent*>(event));
        return TRUE;
    }
    // Runs only for keys the page left alone, so editors with their own undo keep it.
    if ((event->state & GDK_CONTROL_MASK) == 0) return FALSE;
    if (event->keyval == GDK_KEY_z) {
        webkit_web_view_execute_editing_command(self->view_.get(), WEBKIT_EDITING_COMMAND_UNDO);
        return TRUE;
    }
    if (event->keyval == GDK_KEY_Z) {
        webkit_web_view_execute_editing_command(self->view_.get(), WEBKIT_EDITING_COMMAND_REDO);
        return TRUE;
    }
    return FALSE;
}

}  // namespace plenhall::gtk
