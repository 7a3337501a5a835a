#include "support/fake_platform.h"

#include <algorithm>
#include <utility>

namespace plenhall::testing {

int FakeMainQueue::drain() {
    int ran = 0;
    while (!pending.empty()) {
        auto work = std::move(pending.front());
        pending.pop_front();
        work();
        ++ran;
    }
    return ran;
}

class FakeMainQueue::FakeTimer final : public MainQueue::Timer {
  public:
    FakeTimer(FakeMainQueue& queue, std::uint64_t order) : queue_(queue), order_(order) {}
    ~FakeTimer() override { queue_.timers_.erase(order_); }

  private:
    FakeMainQueue& queue_;
    std::uint64_t order_;
};

std::unique_ptr<MainQueue::Timer> FakeMainQueue::asyncAfter(std::chrono::milliseconds delay,
                                                            std::function<void()> work) {
    const std::uint64_t order = nextOrder_++;
    timers_.emplace(order, Entry{steady_ + std::max(delay, std::chrono::milliseconds(0)), order,
                                 std::move(work)});
    return std::make_unique<FakeTimer>(*this, order);
}

void FakeMainQueue::elapse(std::chrono::milliseconds elapsed) {
    if (elapsed.count() <= 0) return;
    const auto end = steady_ + elapsed;
    for (;;) {
        // The earliest due timer, ties in the order they were made; work run here may add or
        // cancel timers.
        auto next = timers_.end();
        for (auto it = timers_.begin(); it != timers_.end(); ++it) {
            if (it->second.due <= end &&
                (next == timers_.end() || it->second.due < next->second.due))
                next = it;
        }
        if (next == timers_.end()) break;
        steady_ = std::max(steady_, next->second.due);
        auto work = std::move(next->second.work);
        timers_.erase(next);
        work();
    }
    steady_ = end;
}

// FakeDefaults

std::optional<std::string> FakeDefaults::text(std::string_view key, Entry::Kind kind) const {
    auto it = entries.find(key);
    if (it == entries.end() || it->second.kind != kind) return std::nullopt;
    return it->second.text;
}

bool FakeDefaults::boolForKey(std::string_view key) const {
    auto it = entries.find(key);
    return it != entries.end() && it->second.kind == Entry::Kind::boolean && it->second.flag;
}

// FakeWindow

void FakeWindow::moveResize(const Rect& f) {
    fullScreen.reset();
    currentFrame = f;
    frameHistory.push_back(f);
}

void FakeWindow::fullscreen(const std::optional<Screen>& screen) {
    fullScreen = screen.value_or(Screen{{}, {}, kDesktopsChoice});
    currentFrame = fullScreen->frame;
    frameHistory.push_back(fullScreen->frame);
}

void FakeWindow::present(const UserInput& input) {
    visible = true;
    ++activations;
    lastInput = input;
    if (whenOrderedFront && *whenOrderedFront) (*whenOrderedFront)(*this);
}

// FakeWindowFactory

std::unique_ptr<Window> FakeWindowFactory::make(const char* name, const Rect& contentRect,
                                                Decoration style, FakeWindow*& slot) {
    auto window = std::make_unique<FakeWindow>(name);
    window->whenOrderedFront = &whenOrderedFront;
    window->currentFrame = contentRect;
    window->style = style;
    slot = window.get();
    return window;
}

// FakeWebView

void FakeWebView::loadRequest(const URLRequest& request) {
    loadedRequests.push_back(request);
    answer_.reset();
    if (answersAfter) {
        answer_ = queue_.asyncAfter(*answersAfter, [this] {
            commit();
            finish();
        });
    }
}

void FakeWebView::loadHTMLString(const std::string& html,
                                 const std::optional<std::string>& baseURL) {
    answer_.reset();
    loadedHTML.push_back(html);
    lastBaseURL = baseURL;
}

void FakeWebView::stopLoading() {
    ++stops;
    failProvisional(WebFailure::cancelled);
}

void FakeWebView::failProvisional(WebFailure failure, std::optional<std::string> url) {
    answer_.reset();
    navigationDelegate->didFailProvisionalNavigation(
        WebError{failure, "FakeEngine", 1, "failed", std::move(url)});
    navigationDelegate->didFinishNavigation();
}

void FakeWebView::failCommitted(WebFailure failure) {
    answer_.reset();
    navigationDelegate->didFailNavigation(WebError{failure, "FakeEngine", 1, "failed", {}});
    navigationDelegate->didFinishNavigation();
}

std::unique_ptr<WebView> FakeWebViewFactory::makeWebView(
    const WebViewConfiguration& configuration) {
    auto view = std::make_unique<FakeWebView>(queue_);
    view->configuration = configuration;
    last = view.get();
    return view;
}

// FakeStatusItem

void FakeStatusItem::setItemTitle(std::size_t index, const std::string& title) {
    menu->items.at(index).title = title;
    titleHistory.push_back(std::to_string(index) + ":" + title);
}

void FakeStatusItem::click(std::size_t index) {
    const auto& item = menu->items.at(index);
    if (item.targetsController) target->performMenuAction(*item.action);
}

std::unique_ptr<StatusItem> FakeStatusBar::statusItem() {
    auto item = std::make_unique<FakeStatusItem>();
    last = item.get();
    return item;
}

// FakeHotKeys

void FakeHotKeys::registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                                 std::function<void(const HotKeyRegistration&)> done) {
    registered.reset();
    waiting = Combination{keyCode, carbonModifiers};
    waitingDone = std::move(done);
    if (answerLater) return;
    if (std::find(takenByOthers.begin(), takenByOthers.end(), *waiting) != takenByOthers.end()) {
        answer(refusal);
    } else {
        answer(HotKeyBinding{trigger});
    }
}

bool FakeHotKeys::answer(const HotKeyRegistration& registration) {
    if (!waiting) return false;
    if (registration) registered = waiting;
    waiting.reset();
    auto done = std::exchange(waitingDone, nullptr);
    done(registration);
    return true;
}

void FakeHotKeys::unregisterHotKey() {
    ++unregisterCalls;
    registered.reset();
    waiting.reset();
    waitingDone = nullptr;
}

bool FakeHotKeys::press(const UserInput& input) {
    if (!registered || !handler) return false;
    handler(input);
    return true;
}

// FakeKeyMonitor

std::optional<KeyEvent> FakeKeyMonitor::keyDown(const KeyEvent& event) {
    std::optional<KeyEvent> current = event;
    auto snapshot = monitors;
    for (auto& [token, handler] : snapshot) {
        if (!current) break;
        current = handler(*current);
    }
    return current;
}

// FakeDialogs

void FakeDialogs::answerFreeAlert(AlertAnswer answer) {
    auto pending = std::move(freeAlerts.front());
    freeAlerts.pop_front();
    pending.completion(answer);
}

void FakeDialogs::answerAlert(AlertAnswer answer, std::optional<std::string> text) {
    auto pending = std::move(alerts.front());
    alerts.pop_front();
    if (!text && pending.alert.accessoryTextField)
        text = pending.alert.accessoryTextField->stringValue;
    if (!pending.alert.accessoryTextField) text.reset();
    pending.completion(answer, text);
}

void FakeDialogs::answerPanel(std::optional<std::vector<std::string>> paths) {
    auto pending = std::move(panels.front());
    panels.pop_front();
    pending.completion(std::move(paths));
}

// FakeNotificationCenter

void FakeNotificationCenter::post(Notification name, const Window* sender) {
    for (auto& observer : observers) {
        if (observer.name == name && (observer.sender == nullptr || observer.sender == sender)) {
            observer.callback();
        }
    }
}

// FakeLoginItem

Result<WriteError> FakeLoginItem::registerItem() {
    if (auto error = std::exchange(failWith, std::nullopt))
        return WriteError{WriteError::Kind::cannotWrite, *error};
    current = needsApproval ? LoginItemStatus::requiresApproval : LoginItemStatus::enabled;
    return {};
}

Result<WriteError> FakeLoginItem::unregisterItem() {
    if (auto error = std::exchange(failWith, std::nullopt))
        return WriteError{WriteError::Kind::cannotRemove, *error};
    current = LoginItemStatus::notRegistered;
    return {};
}

// FakeHttpClient

class FakeHttpClient::FakeRequest final : public HttpClient::Request {
  public:
    FakeRequest(FakeHttpClient& client, std::uint64_t id) : client_(client), id_(id) {}
    ~FakeRequest() override { client_.waiting_.erase(id_); }

  private:
    FakeHttpClient& client_;
    std::uint64_t id_;
};

std::unique_ptr<HttpClient::Request> FakeHttpClient::get(
    const HttpRequest& request, std::function<void(HttpResult)> completion) {
    sent.push_back(request);
    const std::uint64_t id = next_++;
    waiting_.emplace(id, std::move(completion));
    return std::make_unique<FakeRequest>(*this, id);
}

bool FakeHttpClient::answer(HttpResult result) {
    if (waiting_.empty()) return false;
    auto completion = std::move(waiting_.begin()->second);
    waiting_.erase(waiting_.begin());
    completion(std::move(result));
    return true;
}

FakePlatform::FakePlatform() = default;

Platform FakePlatform::platform() {
    return Platform(application, mainQueue, clock, log, defaults, screens, windows, webViews,
                    statusBar, hotKeys, keyMonitor, dialogs, workspace, notifications, loginItem,
                    http, desktopNotifications, build);
}

void FakeDesktopNotifications::show(std::uint64_t id, const DesktopNotificationContent& content) {
    if (serverMissing) {
        delegate->desktopNotificationNotShown(id);
        return;
    }
    onScreen[id] = content;
}

void FakeDesktopNotifications::click(std::uint64_t id) {
    if (!onScreen.count(id)) return;
    delegate->desktopNotificationClicked(id);
    dismiss(id);
}

void FakeDesktopNotifications::dismiss(std::uint64_t id) {
    if (onScreen.erase(id)) delegate->desktopNotificationClosed(id);
}

}  // namespace plenhall::testing
