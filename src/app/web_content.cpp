// The calendar window and its web view: building them, the navigation policy, load failures and
// the page's dialogs.

#include "app/app_delegate.h"
#include "web/navigation_policy.h"
#include "web/offline_page.h"
#include "web/page_dialogs.h"
#include "web/user_agent.h"

namespace plenhall {

void AppDelegate::buildWindow() {
    window_ = platform_.windows.makeOverlayWindow(Rect{}, WindowStyle::borderless);
    window_->setLevel(kScreenSaverWindowLevel);
    window_->setCollectionBehavior(
        CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary |
        CollectionBehavior::ignoresCycle | CollectionBehavior::fullScreenAuxiliary);
    window_->setReleasedWhenClosed(false);
    window_->setBackgroundColor(Color::white());
    // Window managers offer closing any window (Alt+F4); for the calendar that means putting it
    // away, the same way the shortcut does.
    window_->setWillCloseHandler(weakly([this] { hide(); }));

    WebViewConfiguration configuration;
    configuration.persistentWebsiteDataStore = true;
    configuration.applicationNameForUserAgent = applicationNameForUserAgent(platform_.info);
    webView_ = platform_.webViews.makeWebView(configuration);
    webView_->setNavigationDelegate(*this);
    webView_->setUIDelegate(*this);
    webView_->setAllowsBackForwardNavigationGestures(false);
    window_->setContentView(*webView_);
}

NavigationActionPolicy AppDelegate::decidePolicyForNavigationAction(
    const NavigationAction& action) {
    if (decideNavigation(action, values_.appHost) == NavigationDecision::allow) {
        return NavigationActionPolicy::allow;
    }
    platform_.workspace.openURL(*action.url);
    hide();
    return NavigationActionPolicy::cancel;
}

void AppDelegate::createWebViewForNavigationAction(const NavigationAction& action) {
    switch (decideNewWindow(action, values_.appHost)) {
        case NewWindowDecision::ignore:
            return;
        case NewWindowDecision::openInBrowser:
            platform_.workspace.openURL(*action.url);
            hide();
            return;
        case NewWindowDecision::loadInWebView:
            webView_->loadRequest(action.request.value_or(URLRequest{*action.url}));
            return;
    }
}

void AppDelegate::didFailProvisionalNavigation(const WebError& error) {
    showOffline(error);
}

void AppDelegate::didFailNavigation(const WebError& error) {
    showOffline(error);
}

void AppDelegate::showOffline(const WebError& error) {
    if (!failureShowsOfflinePage(error.code)) return;
    showingOffline_ = true;
    webView_->loadHTMLString(offlinePage_, std::nullopt);
}

void AppDelegate::reload() {
    showingOffline_ = false;
    webView_->loadRequest(startRequest(values_.appURL));
}

void AppDelegate::runJavaScriptAlertPanel(const std::string& message,
                                          std::function<void()> completion) {
    runAlertSheet(platform_.sheets, *window_, message, std::move(completion));
}

void AppDelegate::runJavaScriptConfirmPanel(const std::string& message,
                                            std::function<void(bool)> completion) {
    runConfirmSheet(platform_.sheets, *window_, message, std::move(completion));
}

void AppDelegate::runJavaScriptTextInputPanel(
    const std::string& prompt, const std::optional<std::string>& defaultText,
    std::function<void(std::optional<std::string>)> completion) {
    runPromptSheet(platform_.sheets, *window_, prompt, defaultText, std::move(completion));
}

void AppDelegate::runOpenPanel(
    const OpenPanelParameters& parameters,
    std::function<void(std::optional<std::vector<std::string>>)> completion) {
    runOpenPanelSheet(platform_.sheets, *window_, parameters, std::move(completion));
}

}  // namespace plenhall
