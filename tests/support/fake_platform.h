// An in-memory desktop for the core's tests. It keeps the state the core leaves it in (what is on
// screen, stored, loaded, asked for) and lets a test fire what a desktop would (a key press, a
// focus change, a load failure, a dialog's answer, a server's answer, the clock moving on).
#pragma once

#include <algorithm>
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plenhall::testing {

// Delayed work is due on the queue's own steady time, which only elapse() moves.
struct FakeMainQueue final : MainQueue {
    void async(std::function<void()> work) override { pending_.push_back(std::move(work)); }
    std::unique_ptr<Timer> asyncAfter(std::chrono::milliseconds delay,
                                      std::function<void()> work) override;
    // Runs queued work, including work queued while draining; returns how many ran.
    int drain();
    // Moves steady time on, running each timer as it falls due.
    void elapse(std::chrono::milliseconds elapsed);
    struct FakeTimer;
    std::deque<std::function<void()>> pending_;
    std::chrono::milliseconds steady_{0};
    std::uint64_t next_ = 0;
    std::map<std::uint64_t, std::pair<std::chrono::milliseconds, std::function<void()>>> timers_;
};

// Wall-clock time; moving it on moves the main queue's steady time too, as real time would.
struct FakeClock final : Clock {
    explicit FakeClock(FakeMainQueue& queue) : queue_(queue) {}
    TimePoint now() const override { return current; }
    void advance(double seconds) {
        const std::chrono::duration<double> d(seconds);
        current += std::chrono::duration_cast<std::chrono::system_clock::duration>(d);
        queue_.elapse(std::chrono::duration_cast<std::chrono::milliseconds>(d));
    }
    TimePoint current = TimePoint(std::chrono::hours(24 * 365 * 50));
    FakeMainQueue& queue_;
};

struct FakeLog final : Log {
    void line(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

// Entries keep their kind, as the real store does: each is "d:", "s:" or "b:" and its value.
struct FakeDefaults final : UserDefaults {
    using Entries = std::map<std::string, std::string, std::less<>>;
    std::optional<std::string> dataForKey(std::string_view k) const override { return get(k, 'd'); }
    std::optional<std::string> stringForKey(std::string_view k) const override {
        return get(k, 's');
    }
    bool boolForKey(std::string_view k) const override { return get(k, 'b') == "1"; }
    void setData(std::string_view k, const std::string& v) override { put(k, "d:" + v); }
    void setString(std::string_view k, const std::string& v) override { put(k, "s:" + v); }
    void setBool(std::string_view k, bool v) override { put(k, v ? "b:1" : "b:0"); }
    void synchronize() override { saved = entries; }
    Entries entries, saved;  // `saved`: what the last synchronize left on disk
    void put(std::string_view k, std::string v) { entries[std::string(k)] = std::move(v); }
    std::optional<std::string> get(std::string_view key, char kind) const {
        auto it = entries.find(key);
        if (it == entries.end() || it->second[0] != kind) return std::nullopt;
        return it->second.substr(2);
    }
};

struct FakeWindow final : Window {
    explicit FakeWindow(MainQueue& queue) : queue_(queue) {}
    void setStyle(WindowStyle s) override { style = s; }
    void setLevel(int) override {}
    void setCollectionBehavior(std::uint32_t) override {}
    void setReleasedWhenClosed(bool) override {}
    void setBackgroundColor(Color) override {}
    void setTitle(const std::string& t) override { title = t; }
    void setHasShadow(bool) override {}
    void setMovable(bool) override {}
    void setMinSize(Size s) override { minSize = s; }
    bool hasStandardButton(WindowButton) const override { return true; }
    void setStandardButtonHidden(WindowButton b, bool h) override { hidden[int(b)] = h; }
    Rect frame() const override { return currentFrame; }
    void setFrame(const Rect& f) override { currentFrame = f, fullScreen.reset(); }
    void setSize(Size s) override { setFrame(Rect{0, 0, s.width, s.height}); }
    // The screen it covers; one with id kDesktopsChoice where the desktop chose it.
    void enterFullScreen(const std::optional<Screen>& screen) override {
        fullScreen = screen.value_or(Screen{{}, {}, kDesktopsChoice});
        currentFrame = fullScreen->frame;
    }
    bool isVisible() const override { return visible; }
    bool isKeyWindow() const override { return key; }
    void orderOut() override { visible = key = contentFocused = false; }
    void makeKeyAndOrderFront(const UserInput& input) override { visible = true, shownFor = input; }
    void makeContentFirstResponder() override { contentFocused = true; }
    void setContentView(WebView&) override {}
    void setHostedView(std::function<ViewNode()> b) override {
        body = std::move(b), shown = body();
    }
    // Rendered again once the change being announced is stored, as with a toolkit's next frame.
    void invalidateHostedView() override {
        queue_.async([this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.lock()) shown = body();
        });
    }
    void setWillCloseHandler(std::function<void()> h) override { willClose = std::move(h); }
    void close() override { willClose(), orderOut(); }

    static constexpr int kDesktopsChoice = -2;
    WindowStyle style = WindowStyle::borderless;
    std::string title;
    std::optional<Size> minSize;
    std::map<int, bool> hidden;  // title-bar buttons
    Rect currentFrame;
    std::optional<Screen> fullScreen;
    bool visible = false, key = false, contentFocused = false;
    std::optional<UserInput> shownFor;  // the input it was last brought forward for
    std::function<ViewNode()> body;
    ViewNode shown;  // the hosted view as last rendered
    std::function<void()> willClose;
    MainQueue& queue_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

struct FakeWebView final : WebView {
    explicit FakeWebView(MainQueue& queue) : queue_(queue) {}
    void setNavigationDelegate(NavigationDelegate& d) override { navigation = &d; }
    void setUIDelegate(UIDelegate& d) override { ui = &d; }
    void setAllowsBackForwardNavigationGestures(bool) override {}
    // The server answers a moment later.
    void loadRequest(const URLRequest& request) override {
        page = request.url, ++loads, answer_.reset();
        answer_ = queue_.asyncAfter(std::chrono::milliseconds(100), [this] { commit(), finish(); });
    }
    void loadHTMLString(const std::string& html, const std::optional<std::string>&) override {
        answer_.reset(), page = html;
    }
    // Reported as cancelled, as the engine does.
    void stopLoading() override { failProvisional(WebFailure::cancelled); }
    void setPageZoom(double factor) override { zoom = factor; }

    // What the engine reports about the main frame's load.
    void commit() { navigation->didCommitNavigation(); }
    void finish() { navigation->didFinishNavigation(); }
    void failProvisional(WebFailure failure, std::optional<std::string> url = std::nullopt) {
        answer_.reset();
        navigation->didFailProvisionalNavigation(WebError{failure, "", 1, "failed", url});
        finish();
    }

    WebViewConfiguration configuration;
    NavigationDelegate* navigation = nullptr;
    UIDelegate* ui = nullptr;
    std::string page;  // the URL or the HTML it shows or loads
    int loads = 0;     // requests loaded, each a fresh page from the server
    double zoom = 1.0;
    MainQueue& queue_;
    std::unique_ptr<MainQueue::Timer> answer_;
};

struct FakeStatusItem final : StatusItem {
    bool hasButton() const override { return buttonPresent; }
    bool setButtonImage(const std::string& symbol, const std::string&) override {
        return image = symbol, true;
    }
    void setMenu(const Menu& m, MenuTarget& t) override { menu = m, target = &t; }
    void setItemTitle(std::size_t i, const std::string& title) override {
        menu.items.at(i).title = title;
    }
    void setMenuWillOpenHandler(std::function<void()> h) override { open = std::move(h); }
    void setMenuDidCloseHandler(std::function<void()> h) override { close = std::move(h); }
    void click(std::size_t index) { target->performMenuAction(*menu.items.at(index).action); }

    bool buttonPresent = true;
    std::string image;
    Menu menu;
    MenuTarget* target = nullptr;
    // The panel says the menu opens (not every panel does), or closed.
    std::function<void()> open, close;
};

struct FakeHotKeys final : GlobalHotKeys {
    struct Keys {
        std::uint32_t keyCode, modifiers;
        bool operator==(const Keys&) const = default;
    };
    void installPressHandler(std::function<void(const UserInput&)> h) override { onPress = h; }
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)> h) override {
        bindingChanged = h;
    }
    void registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                        std::function<void(const HotKeyRegistration&)> whenDone) override {
        registered.reset(), waiting = Keys{keyCode, modifiers}, done = std::move(whenDone);
        if (answerLater) return;
        bool isTaken = std::find(taken.begin(), taken.end(), *waiting) != taken.end();
        isTaken ? answer(refusal) : answer(HotKeyBinding{trigger});
    }
    void unregisterHotKey() override { registered.reset(), waiting.reset(); }
    // The user presses the bound keys; false when none are bound.
    bool press(UserInput input = UserInput{4242, ""}) {
        return registered && (onPress(input), true);
    }
    // The desktop answers the registration waiting on the user (answerLater); false when none.
    bool answer(const HotKeyRegistration& registration) {
        if (!waiting) return false;
        if (registration) registered = waiting;
        waiting.reset();
        std::exchange(done, nullptr)(registration);
        return true;
    }

    std::optional<Keys> registered, waiting;
    std::vector<Keys> taken;  // held by other programs
    HotKeyError refusal{HotKeyError::Reason::taken, 10};
    std::string trigger;  // the desktop's words for the keys it bound
    bool answerLater = false;
    std::function<void(const HotKeyRegistration&)> done;
    std::function<void(const UserInput&)> onPress;
    std::function<void(const HotKeyBinding&)> bindingChanged;
};

struct FakeKeyMonitor final : KeyMonitor {
    std::optional<Token> addLocalMonitorForKeyDown(Handler handler) override {
        monitors[++next_] = std::move(handler);
        return next_;
    }
    void removeMonitor(Token token) override { monitors.erase(token); }
    // A key-down through the installed monitors; the event that reaches the window, if any.
    std::optional<KeyEvent> keyDown(const KeyEvent& event) {
        std::optional<KeyEvent> current = event;
        for (auto& [token, handler] : std::map(monitors))
            if (current) current = handler(*current);
        return current;
    }
    std::map<Token, Handler> monitors;
    Token next_ = 0;
};

// Dialogs stay up until the test answers them, oldest first.
struct FakeSheets final : Sheets {
    struct Shown {
        Alert alert;
        const Window* window;  // nothing: free-standing
        std::function<void(int, std::optional<std::string>)> done;
    };
    void beginAlertSheet(const Alert& alert, Window& window,
                         std::function<void(int, std::optional<std::string>)> done) override {
        alerts.push_back({alert, &window, std::move(done)});
    }
    void runAlert(const Alert& alert, std::function<void(int)> done) override {
        alerts.push_back({alert, nullptr, [done](int r, auto) { done(r); }});
    }
    void beginOpenPanelSheet(const OpenPanel& panel, Window&,
                             std::function<void(int, std::vector<std::string>)> done) override {
        panels.push_back({panel, std::move(done)});
    }
    // The user ends the oldest alert; a text field holds `typed`, else what it was given.
    void answer(int response, std::optional<std::string> typed = std::nullopt) {
        auto shown = std::move(alerts.front());
        alerts.pop_front();
        const auto& field = shown.alert.accessoryTextField;
        shown.done(response, field ? typed.value_or(field->stringValue) : typed);
    }
    std::deque<Shown> alerts;
    std::deque<std::pair<OpenPanel, std::function<void(int, std::vector<std::string>)>>> panels;
};

struct FakeLoginItem final : LoginItemService {
    Result<WriteError> registerItem() override {
        return change(needsApproval ? LoginItemStatus::requiresApproval : LoginItemStatus::enabled);
    }
    Result<WriteError> unregisterItem() override { return change(LoginItemStatus::notRegistered); }
    LoginItemStatus status() const override { return current; }
    LoginItemStatus current = LoginItemStatus::notRegistered;
    std::optional<std::string> failWith;  // the next change fails so
    bool needsApproval = false;
    Result<WriteError> change(LoginItemStatus to) {
        if (auto error = std::exchange(failWith, std::nullopt))
            return WriteError{WriteError::Kind::cannotWrite, *error};
        return current = to, Result<WriteError>{};
    }
};

// Requests wait until the test answers them, oldest first.
struct FakeHttpClient final : HttpClient {
    std::unique_ptr<Request> get(const HttpRequest& request,
                                 std::function<void(HttpResult)> completion) override;
    bool answer(HttpResult result) {
        if (waiting.empty()) return false;
        auto completion = std::move(waiting.begin()->second);
        waiting.erase(waiting.begin());
        return completion(std::move(result)), true;
    }
    std::vector<HttpRequest> sent;  // what the servers were asked
    std::map<std::uint64_t, std::function<void(HttpResult)>> waiting;
};

struct FakeApplication final : Application {
    void setDelegate(ApplicationDelegate& d) override { delegate = &d; }
    void setActivationPolicy(ActivationPolicy) override {}
    int run() override { return delegate->applicationDidFinishLaunching(), 0; }
    void setMainMenu(const Menu& m, MenuTarget& t) override { mainMenu = m, target = &t; }
    void hide() override {}
    void terminate() override { terminated = true; }
    ApplicationDelegate* delegate = nullptr;
    Menu mainMenu;
    MenuTarget* target = nullptr;
    bool terminated = false;
};

// A notification server that shows nothing.
struct FakeDesktopNotifications final : DesktopNotifications {
    void setDelegate(DesktopNotificationsDelegate&) override {}
    void show(std::uint64_t, const DesktopNotificationContent&) override {}
    void close(std::uint64_t) override {}
};

// The whole desktop; the windows, the web view and the status item are the latest made.
struct FakePlatform : WindowFactory, WebViewFactory, StatusBar, Workspace, NotificationCenter {
    Platform platform() {
        return Platform(application, mainQueue, clock, log, defaults, screens, *this, *this, *this,
                        hotKeys, keyMonitor, sheets, *this, *this, loginItem, http,
                        desktopNotifications, info);
    }
    std::unique_ptr<Window> makeOverlayWindow(const Rect& r, WindowStyle s) override {
        return make(r, s, calendar);
    }
    std::unique_ptr<Window> makeWindow(const Rect& r, WindowStyle s) override {
        return make(r, s, settings);
    }
    std::unique_ptr<Window> make(const Rect& r, WindowStyle s, FakeWindow*& slot) {
        auto window = std::make_unique<FakeWindow>(mainQueue);
        window->currentFrame = r, window->style = s, slot = window.get();
        return window;
    }
    std::unique_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) override {
        auto view = std::make_unique<FakeWebView>(mainQueue);
        view->configuration = configuration, webView = view.get();
        return view;
    }
    std::unique_ptr<StatusItem> statusItem(double) override {
        auto made = std::make_unique<FakeStatusItem>();
        made->buttonPresent = statusItemHasButton, item = made.get();
        return made;
    }
    bool openURL(const std::string& url) override { return opened.push_back(url), true; }
    void addObserver(Notification name, const Window* sender, std::function<void()> f) override {
        observers.push_back({name, sender, std::move(f)});
    }
    void post(Notification name, const Window* sender = nullptr) {
        for (auto& [n, from, callback] : observers)
            if (n == name && (!from || from == sender)) callback();
    }

    FakeApplication application;
    FakeMainQueue mainQueue;
    FakeClock clock{mainQueue};
    FakeLog log;
    FakeDefaults defaults;
    struct : Screens {
        std::vector<Screen> screens() const override { return all; }
        std::optional<Screen> mainScreen() const override { return main; }
        std::optional<Point> mouseLocation() const override { return pointer; }
        bool windowsPlaceThemselves() const override { return placesWindows; }
        std::vector<Screen> all{Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
        std::optional<Screen> main = all[0];
        std::optional<Point> pointer = Point{100, 100};
        bool placesWindows = true;
    } screens;
    FakeWindow *calendar = nullptr, *settings = nullptr;
    FakeWebView* webView = nullptr;
    FakeStatusItem* item = nullptr;
    bool statusItemHasButton = true;
    FakeHotKeys hotKeys;
    FakeKeyMonitor keyMonitor;
    FakeSheets sheets;
    std::vector<std::string> opened;  // in the user's browser, or what handles its scheme
    std::vector<std::tuple<Notification, const Window*, std::function<void()>>> observers;
    FakeLoginItem loginItem;
    FakeHttpClient http;
    FakeDesktopNotifications desktopNotifications;
    std::optional<InfoDictionary> info =
        InfoDictionary{{std::string(kShortVersionKey), std::string("1.4.2")},
                       {std::string(kBuildVersionKey), std::string("42")},
                       {std::string(kFeedURLKey), std::string("https://plenhall.com/appcast.xml")}};
};

}  // namespace plenhall::testing
