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
    // The request as the page made it.
    std::optional<URLRequest> request;
};

enum class NavigationActionPolicy { cancel = 0, allow = 1 };

struct WebError {
    std::string domain;
    int code = 0;
    std::string description;
};

// Error codes the core tells apart; backends map their engine's codes onto these.
namespace WebErrorCode {
inline constexpr int cancelled = -999;
inline constexpr int timedOut = -1001;
inline constexpr int cannotShowURL = 101;
inline constexpr int frameLoadInterruptedByPolicyChange = 102;
// The engine's content process ended (crashed or killed) under the page.
inline constexpr int webContentProcessTerminated = 300;
}  // namespace WebErrorCode

struct OpenPanelParameters {
    bool allowsMultipleSelection = false;
    bool allowsDirectories = false;
};

class NavigationDelegate {
  public:
    virtual ~NavigationDelegate() = default;
    // Called once per navigation; answered before returning.
    virtual NavigationActionPolicy decidePolicyForNavigationAction(
        const NavigationAction& action) = 0;
    // The page asks for a new window. No second web view is ever created; the request is dealt
    // with inside the call.
    virtual void createWebViewForNavigationAction(const NavigationAction& action) = 0;
    // A main-frame load failed before it committed.
    virtual void didFailProvisionalNavigation(const WebError& error) = 0;
    // A main-frame load failed after it committed.
    virtual void didFailNavigation(const WebError& error) = 0;
};

class UIDelegate {
  public:
    virtual ~UIDelegate() = default;
    virtual void runJavaScriptAlertPanel(const std::string& message,
                                         std::function<void()> completion) = 0;
    virtual void runJavaScriptConfirmPanel(const std::string& message,
                                           std::function<void(bool)> completion) = 0;
    virtual void runJavaScriptTextInputPanel(
        const std::string& prompt, const std::optional<std::string>& defaultText,
        std::function<void(std::optional<std::string>)> completion) = 0;
    // Completion: the chosen local file paths, or nothing when the user cancelled.
    virtual void runOpenPanel(
        const OpenPanelParameters& parameters,
        std::function<void(std::optional<std::vector<std::string>>)> completion) = 0;
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
};

class WebViewFactory {
  public:
    virtual ~WebViewFactory() = default;
    virtual std::unique_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) = 0;
};

}  // namespace plenhall
