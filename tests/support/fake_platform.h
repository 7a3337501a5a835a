// An in-memory desktop for the core's tests. It keeps the state the core leaves it in (what is on
// screen, stored, loaded, asked for) and lets a test fire what a desktop would (a key press, a
// focus change, a load failure, a dialog's answer, a server's answer, the clock moving on).
#pragma once

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
class FakeMainQueue final : public MainQueue {
  public:
    void async(std::function<void()> work) override { pending_.push_back(std::move(work)); }
    std::unique_ptr<Timer> asyncAfter(std::chrono::milliseconds delay,
                                      std::function<void()> work) override;
    // Runs queued work, including work queued while draining; returns how many ran.
    int drain();
    // Moves steady time on, running each timer as it falls due.
    void elapse(std::chrono::milliseconds elapsed);

  private:
    class FakeTimer;
    std::deque<std::function<void()>> pending_;
    std::chrono::milliseconds steady_{0};
    std::uint64_t next_ = 0;
    std::map<std::uint64_t, std::pair<std::chrono::milliseconds, std::function<void()>>> timers_;
};

// Wall-clock time; moving it on moves the main queue's steady time too, as real time would.
class FakeClock final : public Clock {
  public:
    explicit FakeClock(FakeMainQueue& queue) : queue_(queue) {}
    TimePoint now() const override { return current; }
    void advance(double seconds) {
        const std::chrono::duration<double> d(seconds);
        current += std::chrono::duration_cast<std::chrono::system_clock::duration>(d);
        queue_.elapse(std::chrono::duration_cast<std::chrono::milliseconds>(d));
    }
    TimePoint current = TimePoint(std::chrono::hours(24 * 365 * 50));

  private:
    FakeMainQueue& queue_;
};

class FakeLog final : public Log {
  public:
    void line(std::string_view text) override { lines.emplace_back(text); }
    std::vector<std::string> lines;
};

// Entries keep their kind, as the real store does; `saved` is what a synchronize left on disk.
class FakeDefaults final : public UserDefaults {
  public:
    enum class Kind { data, string, boolean };
    struct Entry {
        Kind kind;
        std::string text;
        bool operator==(const Entry&) const = default;
    };
    using Entries = std::map<std::string, Entry, std::less<>>;
    std::optional<std::string> dataForKey(std::string_view key) const override {
        return get(key, Kind::data);
    }
    std::optional<std::string> stringForKey(std::string_view key) const override {
        return get(key, Kind::string);
    }
    bool boolForKey(std::string_view key) const override {
        return get(key, Kind::boolean) == "true";
    }
    void setData(std::string_view key, const std::string& v) override { put(key, Kind::data, v); }
    void setString(std::string_view key, const std::string& v) override {
        put(key, Kind::string, v);
    }
    void setBool(std::string_view key, bool v) override {
        put(key, Kind::boolean, v ? "true" : "false");
    }
    void synchronize() override { saved = entries; }

    Entries entries, saved;

  private:
    std::optional<std::string> get(std::string_view key, Kind kind) const {
        auto it = entries.find(key);
        if (it == entries.end() || it->second.kind != kind) return std::nullopt;
        return it->second.text;
    }
    void put(std::string_view key, Kind kind, std::string text) {
        entries[std::string(key)] = Entry{kind, std::move(text)};
    }
};

class FakeWindow final : public Window {
  public:
    void setStyle(WindowStyle s) override { style = s; }
    void setLevel(int l) override { level = l; }
    void setCollectionBehavior(std::uint32_t b) override { behavior = b; }
    void setReleasedWhenClosed(bool r) override { releasedWhenClosed = r; }
    void setBackgroundColor(Color) override {}
    void setTitle(const std::string& t) override { title = t; }
    void setHasShadow(bool) override {}
    void setMovable(bool) override {}
    void setMinSize(Size s) override { minSize = s; }
    bool hasStandardButton(WindowButton) const override { return true; }
    void setStandardButtonHidden(WindowButton, bool) override {}
    Rect frame() const override { return currentFrame; }
    void setFrame(const Rect& f) override {
        fullScreen.reset();
        currentFrame = f;
    }
    void setSize(Size s) override { setFrame(Rect{0, 0, s.width, s.height}); }
    // The screen it covers; one with id kDesktopsChoice where the desktop chose it.
    void enterFullScreen(const std::optional<Screen>& screen) override {
        fullScreen = screen.value_or(Screen{{}, {}, kDesktopsChoice});
        currentFrame = fullScreen->frame;
    }
    bool isVisible() const override { return visible; }
    bool isKeyWindow() const override { return key; }
    void orderOut() override { visible = key = contentFocused = false; }
    void makeKeyAndOrderFront(const UserInput& input) override {
        visible = true;
        presentedFor = input;
    }
    void makeContentFirstResponder() override { contentFocused = true; }
    void setContentView(WebView&) override {}
    void setHostedView(std::function<ViewNode()> b) override {
        body = std::move(b);
        shown = body();
    }
    // Rendered again once the change being announced has been stored, as a toolkit's next frame.
    void invalidateHostedView() override;
    void setWillCloseHandler(std::function<void()> h) override { willClose = std::move(h); }
    void close() override {
        if (willClose) willClose();
        orderOut();
    }

    static constexpr int kDesktopsChoice = -2;
    MainQueue* queue = nullptr;
    WindowStyle style = WindowStyle::borderless;
    int level = 0;
    std::uint32_t behavior = 0;
    bool releasedWhenClosed = true;
    std::string title;
    std::optional<Size> minSize;
    Rect currentFrame;
    std::optional<Screen> fullScreen;
    bool visible = false, key = false, contentFocused = false;
    std::optional<UserInput> presentedFor;  // the input it was last brought forward for
    std::function<ViewNode()> body;
    ViewNode shown;  // the hosted view as last rendered
    std::function<void()> willClose;

  private:
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

class FakeScreens final : public Screens {
  public:
    std::vector<Screen> screens() const override { return all; }
    std::optional<Screen> mainScreen() const override { return main; }
    std::optional<Point> mouseLocation() const override { return pointer; }
    bool windowsPlaceThemselves() const override { return placesWindows; }

    std::vector<Screen> all{Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
    std::optional<Screen> main = all[0];
    std::optional<Point> pointer = Point{100, 100};
    bool placesWindows = true;
};

class FakeWindowFactory final : public WindowFactory {
  public:
    explicit FakeWindowFactory(MainQueue& queue) : queue_(queue) {}
    std::unique_ptr<Window> makeOverlayWindow(const Rect& r, WindowStyle s) override {
        return make(r, s, overlay);
    }
    std::unique_ptr<Window> makeWindow(const Rect& r, WindowStyle s) override {
        return make(r, s, settings);
    }
    FakeWindow* overlay = nullptr;
    FakeWindow* settings = nullptr;

  private:
    std::unique_ptr<Window> make(const Rect& r, WindowStyle s, FakeWindow*& slot) {
        auto window = std::make_unique<FakeWindow>();
        window->queue = &queue_;
        window->currentFrame = r;
        window->style = s;
        slot = window.get();
        return window;
    }
    MainQueue& queue_;
};

class FakeWebView final : public WebView {
  public:
    explicit FakeWebView(MainQueue& queue) : queue_(queue) {}
    void setNavigationDelegate(NavigationDelegate& d) override { navigation = &d; }
    void setUIDelegate(UIDelegate& d) override { ui = &d; }
    void setAllowsBackForwardNavigationGestures(bool) override {}
    // The server answers after `answersAfter`, or never.
    void loadRequest(const URLRequest& request) override;
    void loadHTMLString(const std::string& html, const std::optional<std::string>&) override {
        answer_.reset();
        page = html;
    }
    // Reported as cancelled, as the engine does.
    void stopLoading() override { failProvisional(WebFailure::cancelled); }
    void setPageZoom(double factor) override { zoom = factor; }

    // What the engine reports about the main frame's load.
    void start(const std::string& url) { navigation->didStartProvisionalNavigation(url); }
    void commit() { navigation->didCommitNavigation(); }
    void finish() { navigation->didFinishNavigation(); }
    void failProvisional(WebFailure failure, std::optional<std::string> url = std::nullopt);
    void failCommitted(WebFailure failure);

    std::optional<std::chrono::milliseconds> answersAfter = std::chrono::milliseconds(100);
    WebViewConfiguration configuration;
    NavigationDelegate* navigation = nullptr;
    UIDelegate* ui = nullptr;
    std::string page;  // the URL or the HTML it shows or loads
    int loads = 0;     // requests loaded, each a fresh page from the server
    double zoom = 1.0;

  private:
    MainQueue& queue_;
    std::unique_ptr<MainQueue::Timer> answer_;
};

class FakeWebViewFactory final : public WebViewFactory {
  public:
    explicit FakeWebViewFactory(MainQueue& queue) : queue_(queue) {}
    std::unique_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) override {
        auto view = std::make_unique<FakeWebView>(queue_);
        view->configuration = configuration;
        last = view.get();
        return view;
    }
    FakeWebView* last = nullptr;

  private:
    MainQueue& queue_;
};

class FakeStatusItem final : public StatusItem {
  public:
    bool hasButton() const override { return buttonPresent; }
    bool setButtonImage(const std::string& symbol, const std::string&) override {
        image = symbol;
        return true;
    }
    void setMenu(const Menu& m, MenuTarget& t) override {
        menu = m;
        target = &t;
    }
    void setItemTitle(std::size_t index, const std::string& title) override {
        menu.items.at(index).title = title;
    }
    void setMenuWillOpenHandler(std::function<void()> h) override { willOpen = std::move(h); }
    void setMenuDidCloseHandler(std::function<void()> h) override { didClose = std::move(h); }

    // The panel announces the menu opening (not every panel does), or closing.
    void open() { willOpen(); }
    void close() { didClose(); }
    void click(std::size_t index) { target->performMenuAction(*menu.items.at(index).action); }

    bool buttonPresent = true;
    std::string image;
    Menu menu;
    MenuTarget* target = nullptr;
    std::function<void()> willOpen, didClose;
};

class FakeStatusBar final : public StatusBar {
  public:
    std::unique_ptr<StatusItem> statusItem(double) override {
        auto item = std::make_unique<FakeStatusItem>();
        item->buttonPresent = hasButton;
        last = item.get();
        return item;
    }
    FakeStatusItem* last = nullptr;
    bool hasButton = true;
};

class FakeHotKeys final : public GlobalHotKeys {
  public:
    struct Keys {
        std::uint32_t keyCode, modifiers;
        bool operator==(const Keys&) const = default;
    };
    void installPressHandler(std::function<void(const UserInput&)> h) override {
        onPress = std::move(h);
    }
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)> h) override {
        bindingChanged = std::move(h);
    }
    void registerHotKey(std::uint32_t keyCode, std::uint32_t modifiers,
                        std::function<void(const HotKeyRegistration&)> done) override;
    void unregisterHotKey() override {
        registered.reset();
        waiting.reset();
    }
    // The user presses the bound keys; false when none are bound.
    bool press(UserInput input = UserInput{4242, ""}) {
        if (!registered) return false;
        onPress(input);
        return true;
    }
    // The desktop answers the registration waiting on the user (answerLater); false when none.
    bool answer(const HotKeyRegistration& registration);

    std::optional<Keys> registered;
    std::vector<Keys> taken;  // held by other programs
    HotKeyError refusal{HotKeyError::Reason::taken, 10};
    std::string trigger;  // the desktop's words for the keys it bound
    bool answerLater = false;
    std::optional<Keys> waiting;
    std::function<void(const HotKeyRegistration&)> done;
    std::function<void(const UserInput&)> onPress;
    std::function<void(const HotKeyBinding&)> bindingChanged;
};

class FakeKeyMonitor final : public KeyMonitor {
  public:
    std::optional<Token> addLocalMonitorForKeyDown(Handler handler) override {
        if (refuse) return std::nullopt;
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
    bool refuse = false;

  private:
    Token next_ = 0;
};

// Dialogs stay up until the test answers them, oldest first.
class FakeSheets final : public Sheets {
  public:
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
        if (shown.alert.accessoryTextField && !typed)
            typed = shown.alert.accessoryTextField->stringValue;
        shown.done(response, shown.alert.accessoryTextField ? typed : std::nullopt);
    }
    std::deque<Shown> alerts;
    std::deque<std::pair<OpenPanel, std::function<void(int, std::vector<std::string>)>>> panels;
};

class FakeWorkspace final : public Workspace {
  public:
    bool openURL(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
    std::vector<std::string> opened;  // in the user's browser or handler
};

class FakeNotificationCenter final : public NotificationCenter {
  public:
    void addObserver(Notification name, const Window* sender, std::function<void()> f) override {
        observers.push_back({name, sender, std::move(f)});
    }
    void post(Notification name, const Window* sender = nullptr) {
        for (auto& o : observers)
            if (o.name == name && (!o.sender || o.sender == sender)) o.callback();
    }
    struct Observer {
        Notification name;
        const Window* sender;
        std::function<void()> callback;
    };
    std::vector<Observer> observers;
};

class FakeLoginItem final : public LoginItemService {
  public:
    Result<WriteError> registerItem() override {
        return change(needsApproval ? LoginItemStatus::requiresApproval : LoginItemStatus::enabled);
    }
    Result<WriteError> unregisterItem() override { return change(LoginItemStatus::notRegistered); }
    LoginItemStatus status() const override { return current; }
    LoginItemStatus current = LoginItemStatus::notRegistered;
    std::optional<std::string> failWith;  // the next change fails so
    bool needsApproval = false;

  private:
    Result<WriteError> change(LoginItemStatus to) {
        if (auto error = std::exchange(failWith, std::nullopt))
            return WriteError{WriteError::Kind::cannotWrite, *error};
        current = to;
        return {};
    }
};

// Requests wait until the test answers them, oldest first.
class FakeHttpClient final : public HttpClient {
  public:
    std::unique_ptr<Request> get(const HttpRequest& request,
                                 std::function<void(HttpResult)> completion) override;
    bool answer(HttpResult result);
    std::vector<HttpRequest> sent;  // what the servers were asked
    std::map<std::uint64_t, std::function<void(HttpResult)>> waiting;

  private:
    std::uint64_t next_ = 0;
};

class FakeApplication final : public Application {
  public:
    void setDelegate(ApplicationDelegate& d) override { delegate = &d; }
    void setActivationPolicy(ActivationPolicy) override {}
    int run() override {
        if (unreachable) return delegate->applicationCannotReachRunningInstance(*unreachable);
        delegate->applicationDidFinishLaunching();
        return 0;
    }
    void setMainMenu(const Menu& m, MenuTarget& t) override {
        mainMenu = m;
        target = &t;
    }
    void hide() override {}
    void terminate() override { terminated = true; }
    ApplicationDelegate* delegate = nullptr;
    Menu mainMenu;
    MenuTarget* target = nullptr;
    bool terminated = false;
    std::optional<UnreachableInstance> unreachable;  // another instance runs out of reach
};

// A notification server: what it shows stays until clicked, dismissed or closed.
class FakeDesktopNotifications final : public DesktopNotifications {
  public:
    void setDelegate(DesktopNotificationsDelegate& d) override { delegate = &d; }
    void show(std::uint64_t id, const DesktopNotificationContent& content) override {
        if (serverMissing) return delegate->desktopNotificationNotShown(id);
        onScreen[id] = content;
    }
    void close(std::uint64_t id) override { onScreen.erase(id); }
    // The user clicks it; the server then closes it, as servers do.
    void click(std::uint64_t id) {
        delegate->desktopNotificationClicked(id);
        dismiss(id);
    }
    void dismiss(std::uint64_t id) {
        if (onScreen.erase(id)) delegate->desktopNotificationClosed(id);
    }
    DesktopNotificationsDelegate* delegate = nullptr;
    std::map<std::uint64_t, DesktopNotificationContent> onScreen;
    bool serverMissing = false;
};

// A page's notification: what its page hears.
class FakePageNotification final : public PageNotification {
  public:
    explicit FakePageNotification(std::string t) : title_(std::move(t)) {}
    std::string title() const override { return title_; }
    std::string body() const override { return "at 10:00"; }
    void deliverClick() override { ++clicks; }
    void deliverClose() override { ++closes; }
    int clicks = 0, closes = 0;

  private:
    std::string title_;
};

// The whole fake desktop.
struct FakePlatform {
    Platform platform() {
        return Platform(application, mainQueue, clock, log, defaults, screens, windows, webViews,
                        statusBar, hotKeys, keyMonitor, sheets, workspace, notifications, loginItem,
                        http, desktopNotifications, info);
    }
    FakeApplication application;
    FakeMainQueue mainQueue;
    FakeClock clock{mainQueue};
    FakeLog log;
    FakeDefaults defaults;
    FakeScreens screens;
    FakeWindowFactory windows{mainQueue};
    FakeWebViewFactory webViews{mainQueue};
    FakeStatusBar statusBar;
    FakeHotKeys hotKeys;
    FakeKeyMonitor keyMonitor;
    FakeSheets sheets;
    FakeWorkspace workspace;
    FakeNotificationCenter notifications;
    FakeLoginItem loginItem;
    FakeHttpClient http;
    FakeDesktopNotifications desktopNotifications;
    std::optional<InfoDictionary> info =
        InfoDictionary{{std::string(kShortVersionKey), std::string("1.4.2")},
                       {std::string(kBuildVersionKey), std::string("42")},
                       {std::string(kFeedURLKey), std::string("https://plenhall.com/appcast.xml")}};
};

}  // namespace plenhall::testing
