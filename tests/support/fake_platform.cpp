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

std::optional<std::string> FakeDefaults::dataForKey(std::string_view key) const {
    auto it = entries.find(key);
    if (it == entries.end() || it->second.kind != Entry::Kind::data) return std::nullopt;
    return it->second.text;
}

std::optional<std::string> FakeDefaults::stringForKey(std::string_view key) const {
    auto it = entries.find(key);
    if (it == entries.end() || it->second.kind != Entry::Kind::string) return std::nullopt;
    return it->second.text;
}

bool FakeDefaults::boolForKey(std::string_view key) const {
    auto it = entries.find(key);
    return it != entries.end() && it->second.kind == Entry::Kind::boolean && it->second.flag;
}

void FakeDefaults::setData(std::string_view key, const std::string& bytes) {
    entries[std::string(key)] = Entry{Entry::Kind::data, bytes};
    ++writes;
}

void FakeDefaults::setString(std::string_view key, const std::string& value) {
    entries[std::string(key)] = Entry{Entry::Kind::string, value};
    ++writes;
}

void FakeDefaults::setBool(std::string_view key, bool value) {
    entries[std::string(key)] = Entry{Entry::Kind::boolean, "", value};
    ++writes;
}

// FakeWindow

void FakeWindow::setFrame(const Rect& f) {
    fullScreen.reset();
    currentFrame = f;
    frameHistory.push_back(f);
}

void FakeWindow::setSize(Size s) {
    fullScreen.reset();
    currentFrame = Rect{0, 0, s.width, s.height};
    frameHistory.push_back(currentFrame);
}

void FakeWindow::enterFullScreen(const std::optional<Screen>& screen) {
    fullScreen = screen.value_or(Screen{{}, {}, kDesktopsChoice});
    currentFrame = fullScreen->frame;
    frameHistory.push_back(fullScreen->frame);
}

void FakeWindow::orderOut() {
    visible = false;
    key = false;
}

void FakeWindow::makeKeyAndOrderFront(const UserInput& input) {
    visible = true;
    ++activations;
    lastInput = input;
    if (whenOrderedFront && *whenOrderedFront) (*whenOrderedFront)(*this);
}

void FakeWindow::makeContentFirstResponder() {
    ++firstResponderCalls;
}

void FakeWindow::close() {
    if (willClose) willClose();
    visible = false;
    key = false;
}

// FakeWindowFactory

std::unique_ptr<Window> FakeWindowFactory::makeOverlayWindow(const Rect& contentRect,
                                                             WindowStyle style) {
    auto window = std::make_unique<FakeWindow>("calendar");
    window->whenOrderedFront = &whenOrderedFront;
    window->currentFrame = contentRect;
    window->style = style;
    overlay = window.get();
    return window;
}

std::unique_ptr<Window> FakeWindowFactory::makeWindow(const Rect& contentRect, WindowStyle style) {
    auto window = std::make_unique<FakeWindow>("settings");
    window->whenOrderedFront = &whenOrderedFront;
    window->currentFrame = contentRect;
    window->style = style;
    settings = window.get();
    settingsContentRect = contentRect;
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

void FakeWebView::start(const std::string& url) {
    navigationDelegate->didStartProvisionalNavigation(url);
}

void FakeWebView::commit() {
    navigationDelegate->didCommitNavigation();
}

void FakeWebView::finish() {
    navigationDelegate->didFinishNavigation();
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

bool FakeStatusItem::setButtonImage(const std::string& symbol, const std::string& description) {
    imageSymbol = symbol;
    imageDescription = description;
    return true;
}

void FakeStatusItem::setMenu(const Menu& m, MenuTarget& t) {
    menu = m;
    target = &t;
}

void FakeStatusItem::setItemTitle(std::size_t index, const std::string& title) {
    menu->items.at(index).title = title;
    titleHistory.push_back(std::to_string(index) + ":" + title);
}

void FakeStatusItem::click(std::size_t index) {
    const auto& item = menu->items.at(index);
    if (item.targetsController) target->performMenuAction(*item.action);
}

std::unique_ptr<StatusItem> FakeStatusBar::statusItem(double length) {
    auto item = std::make_unique<FakeStatusItem>();
    item->buttonPresent = nextHasButton;
    last = item.get();
    lastLength = length;
    return item;
}

// FakeHotKeys

void FakeHotKeys::installPressHandler(std::function<void(const UserInput&)> onPress) {
    handler = std::move(onPress);
}

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

std::optional<KeyMonitor::Token> FakeKeyMonitor::addLocalMonitorForKeyDown(Handler handler) {
    if (refuse) return std::nullopt;
    monitors[next] = std::move(handler);
    return next++;
}

void FakeKeyMonitor::removeMonitor(Token token) {
    monitors.erase(token);
}

std::optional<KeyEvent> FakeKeyMonitor::keyDown(const KeyEvent& event) {
    std::optional<KeyEvent> current = event;
    auto snapshot = monitors;
    for (auto& [token, handler] : snapshot) {
        if (!current) break;
        current = handler(*current);
    }
    return current;
}

// FakeSheets

void FakeSheets::beginAlertSheet(const Alert& alert, Window& window,
                                 std::function<void(int, std::optional<std::string>)> completion) {
    alerts.push_back(PendingAlert{alert, &window, std::move(completion)});
}

void FakeSheets::beginOpenPanelSheet(
    const OpenPanel& panel, Window& window,
    std::function<void(int, std::vector<std::string>)> completion) {
    panels.push_back(PendingPanel{panel, &window, std::move(completion)});
}

void FakeSheets::runAlert(const Alert& alert, std::function<void(int)> completion) {
    freeAlerts.push_back(FreeAlert{alert, std::move(completion)});
}

void FakeSheets::answerFreeAlert(int response) {
    auto pending = std::move(freeAlerts.front());
    freeAlerts.pop_front();
    pending.completion(response);
}

void FakeSheets::answerAlert(int response, std::optional<std::string> text) {
    auto pending = std::move(alerts.front());
    alerts.pop_front();
    if (!text && pending.alert.accessoryTextField)
        text = pending.alert.accessoryTextField->stringValue;
    if (!pending.alert.accessoryTextField) text.reset();
    pending.completion(response, text);
}

void FakeSheets::answerPanel(int response, std::vector<std::string> paths) {
    auto pending = std::move(panels.front());
    panels.pop_front();
    pending.completion(response, std::move(paths));
}

// FakeWorkspace

bool FakeWorkspace::openURL(const std::string& url) {
    opened.push_back(url);
    return true;
}

// FakeNotificationCenter

void FakeNotificationCenter::addObserver(Notification name, const Window* sender,
                                         std::function<void()> callback) {
    observers.push_back(Observer{name, sender, std::move(callback)});
}

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

// FakeApplication

void FakeApplication::setDelegate(ApplicationDelegate& d) {
    delegate = &d;
}

void FakeApplication::setActivationPolicy(ActivationPolicy p) {
    policy = p;
}

int FakeApplication::run() {
    delegate->applicationDidFinishLaunching();
    return 0;
}

void FakeApplication::setMainMenu(const Menu& menu, MenuTarget& target) {
    mainMenu = menu;
    mainMenuTarget = &target;
}

void FakeApplication::hide() {
    ++hides;
}

void FakeApplication::terminate() {
    terminated = true;
}

FakePlatform::FakePlatform() = default;

Platform FakePlatform::platform() {
    return Platform{application,
                    mainQueue,
                    clock,
                    log,
                    defaults,
                    screens,
                    windows,
                    webViews,
                    statusBar,
                    hotKeys,
                    keyMonitor,
                    sheets,
                    workspace,
                    notifications,
                    loginItem,
                    http,
                    desktopNotifications,
                    info};
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
