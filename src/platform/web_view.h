// The web view that shows the calendar, the requests it loads and the delegates that decide what
// it may do.
//
// Thread: main thread only. Ownership: the caller owns the web view; the delegates are held by
// plain reference and must outlive it (the application controller owns both for the life of the
// process). Every completion handler given to a UI delegate must be called exactly once.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace plenhall {

struct URLRequest {
    std::string url;
    int cachePolicy = 0;            // 0: the protocol's own cache policy
    double timeoutInterval = 60.0;  // seconds without progress before the load fails
    bool operator==(const URLRequest&) const = default;
};

struct FrameInfo {
    bool isMainFrame = true;
};

struct NavigationAction {
    // The request's URL; nothing when the request has none.
    std::optional<std::string> url;
    // The frame the navigation targets; nothing for a request to open a new window.
    std::optional<FrameInfo> targetFrame;
    // The request's method as the engine gives it: "POST" for a form sent with a body.
    std::string httpMethod = "GET";
    // The engine counts it as coming from the user's own click or key press in the page.
    bool userGesture = false;
};

enum class NavigationActionPolicy { cancel = 0, allow = 1 };

// The answer to a navigation, before the view shows it or saves it.
struct NavigationResponse {
    bool isForMainFrame = true;
    // The URL that answered (after redirects); nothing when the engine gives none.
    std::optional<std::string> url;
    // The view can show the answer's MIME type itself.
    bool canShowMIMEType = true;
    // The answer is to be saved as a file rather than shown: the server says so, or the page's link
    // asked for it (its download attribute).
    bool isAttachment = false;
};

enum class NavigationResponsePolicy { cancel = 0, allow = 1 };

// Why a load failed, in the terms the core decides on.
enum class WebFailure {
    cancelled,       // stopped, or replaced by another load
    cannotShowURL,   // a scheme the view does not show itself (mailto:, tel:)
    policyChange,    // a policy decision ended it (an answer refused or handed elsewhere)
    timedOut,        // no progress for the request's time-out
    network,         // the server could not be reached, or the connection broke
    webProcessGone,  // the process that ran the page ended (crashed, killed, out of memory)
    other,
};

struct WebError {
    WebFailure failure = WebFailure::other;
    // The engine's own account, for messages: error domain, code and text.
    std::string domain;
    int code = 0;
    std::string description;
    // The URL whose load failed, when the engine says.
    std::optional<std::string> failingURL = std::nullopt;
};

struct FileRequest {
    bool selectMultiple = false;
    bool selectFolders = false;
};

class NavigationDelegate {
  public:
    virtual ~NavigationDelegate() = default;
    // Called once per navigation; answered before returning.
    virtual NavigationActionPolicy decideNavigationPolicy(const NavigationAction& action) = 0;
    // Called once per answer to a navigation, in any frame, and once per file the view would save
    // without asking about an answer; answered before returning. A view that cannot tell a
    // main-frame navigation from a frame's when it is asked lets both through and leaves the main
    // frame's page to be judged here.
    virtual NavigationResponsePolicy decideResponsePolicy(const NavigationResponse& response) = 0;
    // The page asks for a new window. No second web view is ever created; the request is dealt
    // with inside the call.
    virtual void newWindowRequested(const NavigationAction& action) = 0;
    // A main-frame load started, at `url`.
    virtual void loadStarted(const std::string& url) = 0;
    // A main-frame load that has not committed yet was redirected to `url`.
    virtual void loadRedirected(const std::string& url) = 0;
    // A main-frame load began to show its page.
    virtual void loadCommitted() = 0;
    // A main-frame load ended, whether it succeeded or failed.
    virtual void loadFinished() = 0;
    // A main-frame load failed before it committed.
    virtual void loadFailedBeforeCommit(const WebError& error) = 0;
    // A main-frame load failed after it committed.
    virtual void loadFailed(const WebError& error) = 0;
};

// A notification the page shows, from its creation until either side closes it. The engine's
// object behind it lives as long as this does.
class PageNotification {
  public:
    virtual ~PageNotification() = default;
    virtual std::string title() const = 0;
    virtual std::string body() const = 0;
    // The page hears that the user clicked it (its onclick).
    virtual void deliverClick() = 0;
    // The page hears that it went away (its onclose); nothing more is delivered after this.
    virtual void deliverClose() = 0;
};

// What the engine tells a new page process before any page asks: origins ("scheme://host[:port]")
// whose notification permission is already settled.
struct NotificationPermissions {
    std::vector<std::string> granted;
    std::vector<std::string> denied;
};

class UIDelegate {
  public:
    virtual ~UIDelegate() = default;
    virtual void scriptAlert(const std::string& message, std::function<void()> completion) = 0;
    virtual void scriptConfirm(const std::string& message,
                               std::function<void(bool)> completion) = 0;
    virtual void scriptPrompt(const std::string& prompt,
                              const std::optional<std::string>& defaultText,
                              std::function<void(std::optional<std::string>)> completion) = 0;
    // The page asks whether to leave it; completion: true to leave.
    virtual void beforeUnloadConfirm(const std::string& message,
                                     std::function<void(bool)> completion) = 0;
    // Completion: the chosen local file paths, or nothing when the user cancelled.
    virtual void runFileChooser(
        const FileRequest& parameters,
        std::function<void(std::optional<std::vector<std::string>>)> completion) = 0;
    // The page at `pageURL` asks to show notifications; completion: true to allow.
    virtual void requestNotificationPermission(const std::string& pageURL,
                                               std::function<void(bool)> completion) = 0;
    // Asked whenever a page process starts.
    virtual NotificationPermissions notificationPermissions() = 0;
    // The page shows a notification.
    virtual void showNotification(std::shared_ptr<PageNotification> notification) = 0;
    // The page closed one it had shown (its close()); not called for deliverClose().
    virtual void pageClosedNotification(const PageNotification& notification) = 0;
};

struct WebViewConfiguration {
    // Cookies and site data survive from run to run.
    bool persistentWebsiteDataStore = true;
    // Appended to the engine's own user agent.
    std::string applicationNameForUserAgent;
};

class WebView {
  public:
    virtual ~WebView() = default;
    virtual void setNavigationDelegate(NavigationDelegate& delegate) = 0;
    virtual void setUIDelegate(UIDelegate& delegate) = 0;
    virtual void setAllowsBackForwardNavigationGestures(bool allowed) = 0;
    // Starts loading in the main frame.
    virtual void loadRequest(const URLRequest& request) = 0;
    // Shows a document held in memory; no base URL when `baseURL` is nothing.
    virtual void loadHTMLString(const std::string& html,
                                const std::optional<std::string>& baseURL) = 0;
    // Stops the main frame's load in progress; the navigation delegate hears of it as cancelled.
    virtual void stopLoading() = 0;
    // Draws every page this view shows at `factor` times its size (1: its own size), text and
    // images alike.
    virtual void setPageZoom(double factor) = 0;
};

class WebViewFactory {
  public:
    virtual ~WebViewFactory() = default;
    virtual std::unique_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) = 0;
};

}  // namespace plenhall
