// The calendar window and its web view: building them, the navigation policy, load failures and
// the page's dialogs.

#include <chrono>

#include "app/app_delegate.h"
#include "web/memory_rule.h"
#include "web/navigation_policy.h"
#include "web/offline_page.h"
#include "web/user_agent.h"

namespace plenhall {

void AppDelegate::buildWindow() {
    window_ = platform_.windows.makeCalendarWindow(kCalendarWindowWaits);
    window_->setKeptAbove(true);
    window_->setOnEveryWorkspace(true);
    window_->setSkipTaskSwitcher(true);
    window_->setBackgroundColor(Color::white());
    // Window managers offer closing any window (Alt+F4); for the calendar that means putting it
    // away, the same way the shortcut does.
    window_->setCloseHandler(weakly([this] { hide(); }));

    pageDialogs_ = std::make_unique<PageDialogs>(platform_.dialogs, *window_, platform_.clock);
    // Before the web view, which may ask it about permissions as soon as its page process starts.
    reminders_ = std::make_unique<Reminders>(
        Reminders::Services{platform_.dialogs, platform_.desktopNotifications, prefs_.defaults(),
                            platform_.clock, platform_.log},
        values_.appURL, service_, *window_, weakly([this] { show(); }));

    WebViewConfiguration configuration;
    configuration.persistentWebsiteDataStore = true;
    configuration.applicationNameForUserAgent = applicationNameForUserAgent(platform_.build);
    webView_ = platform_.webViews.makeWebView(configuration);
    webView_->setNavigationDelegate(*this);
    webView_->setUIDelegate(*this);
    webView_->setAllowsBackForwardNavigationGestures(false);
    webView_->setPageZoom(prefs_.pageZoom() / 100.0);
    window_->setContent(*webView_);
    memoryRule_ = std::make_unique<WebProcessMemoryRule>(platform_.webProcesses,
                                                         platform_.mainQueue, platform_.log);
}

NavigationActionPolicy AppDelegate::decideNavigationPolicy(const NavigationAction& action) {
    if (decideNavigation(action, service_) == NavigationDecision::allow) {
        return NavigationActionPolicy::allow;
    }
    // A request for a new window (it targets no frame) is a pop-up.
    if (!action.targetFrame && !popUps_.mayOpenInBrowser(action.userGesture)) {
        return NavigationActionPolicy::cancel;
    }
    platform_.workspace.openURL(*action.url);
    hide();
    return NavigationActionPolicy::cancel;
}

NavigationResponsePolicy AppDelegate::decideResponsePolicy(const NavigationResponse& response) {
    switch (decideNavigationResponse(response, service_)) {
        case ResponseDecision::allow:
            return NavigationResponsePolicy::allow;
        case ResponseDecision::openInBrowser:
            platform_.workspace.openURL(*response.url);
            hide();
            return NavigationResponsePolicy::cancel;
        case ResponseDecision::refuse:
            return NavigationResponsePolicy::cancel;
    }
    return NavigationResponsePolicy::cancel;
}

void AppDelegate::newWindowRequested(const NavigationAction& action) {
    const auto decision = decideNewWindow(action, service_);
    switch (decision) {
        case NewWindowDecision::ignore:
            return;
        case NewWindowDecision::refuseNotWebPage:
        case NewWindowDecision::refuseBody:
            popUps_.refused(decision);
            return;
        case NewWindowDecision::openInBrowser:
            if (!popUps_.mayOpenInBrowser(action.userGesture)) return;
            platform_.workspace.openURL(*action.url);
            hide();
            return;
        case NewWindowDecision::loadInWebView:
            load(URLRequest{*action.url});
            return;
    }
}

void AppDelegate::load(const URLRequest& request) {
    webView_->loadRequest(request);
    // After the call: the load it replaces may report its cancellation on the way.
    startLoadDeadline(request.url, request.timeoutInterval);
}

void AppDelegate::startLoadDeadline(const std::string& url, double seconds) {
    loadingURL_ = url;
    // The controller owns the timer, so `this` outlives it.
    loadDeadline_ =
        platform_.mainQueue.asyncAfter(std::chrono::duration_cast<std::chrono::milliseconds>(
                                           std::chrono::duration<double>(seconds)),
                                       [this] { loadDeadlinePassed(); });
}

void AppDelegate::endLoadDeadline() {
    loadingURL_.reset();
    loadDeadline_.reset();
}

void AppDelegate::loadDeadlinePassed() {
    WebError error{WebFailure::timedOut, {}, 0, "no progress in time", loadingURL_};
    endLoadDeadline();
    // The view reports the stopped load as cancelled, which changes nothing; the time-out is the
    // failure.
    webView_->stopLoading();
    loadFailedBeforeCommit(error);
}

void AppDelegate::loadStarted(const std::string& url) {
    startLoadDeadline(url, URLRequest{}.timeoutInterval);
}

void AppDelegate::loadRedirected(const std::string& url) {
    startLoadDeadline(url, URLRequest{}.timeoutInterval);
}

void AppDelegate::loadCommitted() {
    endLoadDeadline();
    pageDialogs_->pageLoaded();
}

void AppDelegate::loadFinished() {
    endLoadDeadline();
    if (window_->isVisible()) return;
    window_->redrawForNextShowing();
    // The controller owns the timer, so `this` outlives it.
    lateRedraw_ = platform_.mainQueue.asyncAfter(kLateRedraw, [this] {
        if (!window_->isVisible()) window_->redrawForNextShowing();
    });
}

void AppDelegate::loadFailedBeforeCommit(const WebError& error) {
    endLoadDeadline();
    if (!failureShowsOfflinePage(error.failure)) return;
    // A page of another site that could not even be reached never answered, so where the view
    // judges main-frame pages by their answer it was never judged: it belongs to the browser, not
    // to the offline page.
    if (error.failingURL &&
        decideNavigationPolicy(NavigationAction{error.failingURL, FrameInfo{true}}) ==
            NavigationActionPolicy::cancel) {
        return;
    }
    showOffline(error);
}

void AppDelegate::loadFailed(const WebError& error) {
    endLoadDeadline();
    showOffline(error);
}

void AppDelegate::showOffline(const WebError& error) {
    if (!failureShowsOfflinePage(error.failure)) return;
    showingOffline_ = true;
    webView_->loadHTMLString(offlinePage_, std::nullopt);
}

void AppDelegate::reload() {
    showingOffline_ = false;
    load(startRequest(values_.appURL));
}

void AppDelegate::scriptAlert(const std::string& message, std::function<void()> completion) {
    pageDialogs_->alert(message, std::move(completion));
}

void AppDelegate::scriptConfirm(const std::string& message, std::function<void(bool)> completion) {
    pageDialogs_->confirm(message, std::move(completion));
}

void AppDelegate::scriptPrompt(const std::string& prompt,
                               const std::optional<std::string>& defaultText,
                               std::function<void(std::optional<std::string>)> completion) {
    pageDialogs_->prompt(prompt, defaultText, std::move(completion));
}

void AppDelegate::beforeUnloadConfirm(const std::string& /*message*/,
                                      std::function<void(bool)> completion) {
    // Leaving the page (a reload, the offline page, a new-window request loaded here) is never
    // held up by a question of the page's.
    completion(true);
}

void AppDelegate::runFileChooser(
    const FileRequest& parameters,
    std::function<void(std::optional<std::vector<std::string>>)> completion) {
    pageDialogs_->fileChooser(parameters, std::move(completion));
}

void AppDelegate::requestNotificationPermission(const std::string& pageURL,
                                                std::function<void(bool)> completion) {
    reminders_->requestPermission(pageURL, std::move(completion));
}

NotificationPermissions AppDelegate::notificationPermissions() {
    return reminders_->permissions();
}

void AppDelegate::showNotification(std::shared_ptr<PageNotification> notification) {
    reminders_->show(std::move(notification));
}

void AppDelegate::pageClosedNotification(const PageNotification& notification) {
    reminders_->pageClosed(notification);
}

}  // namespace plenhall
