// An in-memory desktop for the core's tests: keeps the state the core leaves it in (what is on
// screen, stored, loaded, asked for) and lets a test fire what a desktop would (a key press, a
// focus change, a load failure, a sheet's answer, a server's answer, the clock moving on).
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace plenhall::testing {

// Delayed work is due on the fake's own steady time, which only FakeClock::advance moves.
class FakeMainQueue final : public MainQueue {
  public:
    void async(std::function<void()> work) override { pending.push_back(std::move(work)); }
    std::unique_ptr<Timer> asyncAfter(std::chrono::milliseconds delay,
                                      std::function<void()> work) override;
    // Runs queued work, including work queued while draining; returns how many ran.
    int drain();
    // Moves steady time on by `elapsed`, running each timer that falls due, in due order.
    void elapse(std::chrono::milliseconds elapsed);
    // Timers not yet run or cancelled.
    std::size_t pendingTimers() const { return timers_.size(); }
    // How long until each pending timer is due, in the order they were made.
    std::vector<std::chrono::milliseconds> pendingTimerDelays() const {
        std::vector<std::chrono::milliseconds> delays;
        for (const auto& [order, entry] : timers_) delays.push_back(entry.due - steady_);
        return delays;
    }

    std::deque<std::function<void()>> pending;

  private:
    class FakeTimer;
    struct Entry {
        std::chrono::milliseconds due;
        std::uint64_t order;
        std::function<void()> work;
    };
    std::chrono::milliseconds steady_{0};
    std::uint64_t nextOrder_ = 1;
    std::map<std::uint64_t, Entry> timers_;  // by order of creation
};

// Wall-clock time. Moving it on also moves the main queue's steady time, as real time would.
class FakeClock final : public Clock {
  public:
    explicit FakeClock(FakeMainQueue& queue) : queue_(queue) {}
    TimePoint now() const override { return current; }
    void advance(double seconds) {
        current += std::chrono::duration_cast<std::chrono::system_clock::duration>(
            std::chrono::duration<double>(seconds));
        queue_.elapse(std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::duration<double>(seconds)));
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

// Entries keep their type, as the real store does.
class FakeDefaults final : public UserDefaults {
  public:
    struct Entry {
        enum class Kind { data, string, boolean, number } kind;
        std::string text;
        bool flag = false;
    };
    std::optional<std::string> dataForKey(std::string_view key) const override {
        return text(key, Entry::Kind::data);
    }
    std::optional<std::string> stringForKey(std::string_view key) const override {
        return text(key, Entry::Kind::string);
    }
    bool boolForKey(std::string_view key) const override;
    void setData(std::string_view key, const std::string& b) override {
        put(key, {Entry::Kind::data, b});
    }
    void setString(std::string_view key, const std::string& v) override {
        put(key, {Entry::Kind::string, v});
    }
    void setBool(std::string_view key, bool v) override { put(key, {Entry::Kind::boolean, "", v}); }
    void synchronize() override { ++synchronized; }

    std::map<std::string, Entry, std::less<>> entries;
    int writes = 0;
    int synchronized = 0;

  private:
    std::optional<std::string> text(std::string_view key, Entry::Kind kind) const;
    void put(std::string_view key, Entry entry) {
        entries[std::string(key)] = std::move(entry);
        ++writes;
    }
};

class FakeWebView;

class FakeWindow final : public Window {
  public:
    explicit FakeWindow(std::string windowName) : name(std::move(windowName)) {}

    void setDecoration(Decoration s) override { style = s; }
    void setKeptAbove(bool a) override { keptAbove = a; }
    void setOnEveryWorkspace(bool e) override { onEveryWorkspace = e; }
    void setSkipTaskSwitcher(bool s) override { skipTaskSwitcher = s; }
    void setBackgroundColor(Color c) override { backgroundColor = c; }
    void setTitle(const std::string& t) override { title = t; }
    void setMinimumSize(Size s) override { minSize = s; }
    Rect frame() const override { return currentFrame; }
    void moveResize(const Rect& f) override;
    void resize(Size s) override { moveResize(Rect{0, 0, s.width, s.height}); }
    void fullscreen(const std::optional<Screen>& screen) override;
    bool isVisible() const override { return visible; }
    bool isActive() const override { return key; }
    void hide() override { visible = key = false; }
    void present(const UserInput& input) override;
    void focusContent() override { ++firstResponderCalls; }
    void setContent(WebView&) override {}
    void setHostedView(std::function<ViewNode()> b) override { body = std::move(b); }
    void invalidateHostedView() override { ++invalidations; }
    void setCloseHandler(std::function<void()> h) override { willClose = std::move(h); }
    void close() override {
        if (willClose) willClose();
        hide();
    }

    // The user clicks the close button.
    void userCloses() { close(); }

    std::string name;
    Decoration style = Decoration::none;
    bool keptAbove = false;
    bool onEveryWorkspace = false;
    bool skipTaskSwitcher = false;
    Color backgroundColor{0, 0, 0, 0};
    std::string title;
    std::optional<Size> minSize;
    Rect currentFrame;
    std::vector<Rect> frameHistory;
    bool visible = false;
    bool key = false;
    // The screen it covers, while it does; a screen with id kDesktopsChoice where the desktop
    // chose it.
    std::optional<Screen> fullScreen;
    static constexpr int kDesktopsChoice = -2;
    int activations = 0;  // times brought forward with the focus
    std::optional<UserInput> lastInput;
    const std::function<void(const FakeWindow&)>* whenOrderedFront = nullptr;
    int firstResponderCalls = 0;
    std::function<ViewNode()> body;
    int invalidations = 0;
    std::function<void()> willClose;
};

class FakeScreens final : public Screens {
  public:
    std::vector<Screen> screens() const override { return all; }
    std::optional<Screen> primaryScreen() const override { return main; }
    std::optional<Point> pointer() const override { return pointerAt; }
    bool windowsPlaceThemselves() const override { return placesWindows; }

    std::vector<Screen> all{Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
    std::optional<Screen> main = Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}};
    std::optional<Point> pointerAt = Point{100, 100};
    bool placesWindows = true;
};

class FakeWindowFactory final : public WindowFactory {
  public:
    std::unique_ptr<Window> makeCalendarWindow() override {
        return make("calendar", Rect{}, Decoration::none, overlay);
    }
    std::unique_ptr<Window> makeWindow(Size size, Decoration style) override {
        return make("settings", Rect{0, 0, size.width, size.height}, style, settings);
    }

    FakeWindow* overlay = nullptr;
    FakeWindow* settings = nullptr;
    // Runs whenever one of the windows is brought forward, with the desktop as it is then.
    std::function<void(const FakeWindow&)> whenOrderedFront;

  private:
    std::unique_ptr<Window> make(const char* name, const Rect& contentRect, Decoration style,
                                 FakeWindow*& slot);
};

class FakeWebView final : public WebView {
  public:
    explicit FakeWebView(MainQueue& queue) : queue_(queue) {}
    void setNavigationDelegate(NavigationDelegate& d) override { navigationDelegate = &d; }
    void setUIDelegate(UIDelegate& d) override { uiDelegate = &d; }
    void setAllowsBackForwardNavigationGestures(bool a) override { backForwardGestures = a; }
    void loadRequest(const URLRequest& request) override;
    void loadHTMLString(const std::string& html,
                        const std::optional<std::string>& baseURL) override;
    // Reports the stopped load as cancelled, as the engine does.
    void stopLoading() override;
    void setPageZoom(double factor) override { pageZoom = factor; }

    // What the engine would report about the main frame's load.
    void start(const std::string& url) { navigationDelegate->didStartProvisionalNavigation(url); }
    void commit() { navigationDelegate->didCommitNavigation(); }
    void finish() { navigationDelegate->didFinishNavigation(); }
    void failProvisional(WebFailure failure, std::optional<std::string> url = std::nullopt);
    void failCommitted(WebFailure failure);

    // How long a requested page takes to commit and finish; nothing: the server never answers.
    std::optional<std::chrono::milliseconds> answersAfter = std::chrono::milliseconds(100);

    WebViewConfiguration configuration;
    NavigationDelegate* navigationDelegate = nullptr;
    UIDelegate* uiDelegate = nullptr;
    std::optional<bool> backForwardGestures;
    std::vector<URLRequest> loadedRequests;
    std::vector<std::string> loadedHTML;
    std::optional<std::string> lastBaseURL;
    int stops = 0;
    double pageZoom = 1.0;

  private:
    MainQueue& queue_;
    std::unique_ptr<MainQueue::Timer> answer_;
};

class FakeWebViewFactory final : public WebViewFactory {
  public:
    explicit FakeWebViewFactory(MainQueue& queue) : queue_(queue) {}
    std::unique_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) override;
    FakeWebView* last = nullptr;

  private:
    MainQueue& queue_;
};

class FakeStatusItem final : public StatusItem {
  public:
    void setIcon(const std::string& name, const std::string&) override { iconName = name; }
    void setMenu(const Menu& m, MenuTarget& t) override {
        menu = m;
        target = &t;
    }
    void setItemTitle(std::size_t index, const std::string& title) override;
    void setMenuWillOpenHandler(std::function<void()> handler) override {
        willOpen = std::move(handler);
    }
    void setMenuDidCloseHandler(std::function<void()> handler) override {
        didClose = std::move(handler);
    }

    // The user opens the menu (the panel asks first), then picks the item at `index`.
    void open() {
        if (willOpen) willOpen();
    }
    void click(std::size_t index);

    // The desktop closes the menu (after a click, or dismissed).
    void close() {
        if (didClose) didClose();
    }

    std::function<void()> willOpen;
    std::function<void()> didClose;

    std::string iconName;
    std::optional<Menu> menu;
    MenuTarget* target = nullptr;
    std::vector<std::string> titleHistory;  // every retitle of any item, as "index:title"
};

class FakeStatusBar final : public StatusBar {
  public:
    std::unique_ptr<StatusItem> statusItem() override;
    FakeStatusItem* last = nullptr;
};

class FakeHotKeys final : public GlobalHotKeys {
  public:
    void installPressHandler(std::function<void(const UserInput&)> onPress) override {
        handler = std::move(onPress);
    }
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)> onChange) override {
        bindingChanged = std::move(onChange);
    }
    void installServiceHandler(std::function<void(HotKeyService)> onChange) override {
        serviceChanged = std::move(onChange);
    }
    void registerHotKey(std::uint32_t keyCode, std::uint32_t carbonModifiers,
                        std::function<void(const HotKeyRegistration&)> done) override;
    void unregisterHotKey() override;

    // The user presses the registered combination; false when nothing is registered.
    bool press(const UserInput& input = UserInput{4242, ""});
    // The desktop answers the waiting registration (with answerLater); false when none waits.
    bool answer(const HotKeyRegistration& registration);

    struct Combination {
        std::uint32_t keyCode;
        std::uint32_t modifiers;
        bool operator==(const Combination&) const = default;
    };
    std::optional<Combination> registered;
    std::vector<Combination> takenByOthers;  // registering these is refused
    HotKeyError refusal{HotKeyError::Reason::taken, 10};
    std::string trigger;  // the desktop's words for what it binds
    // A desktop that asks the user first: registrations wait for answer().
    bool answerLater = false;
    std::optional<Combination> waiting;
    std::function<void(const HotKeyRegistration&)> waitingDone;
    int unregisterCalls = 0;
    std::function<void(const UserInput&)> handler;
    std::function<void(const HotKeyBinding&)> bindingChanged;
    std::function<void(HotKeyService)> serviceChanged;
};

class FakeKeyMonitor final : public KeyMonitor {
  public:
    std::optional<Token> addKeyPressMonitor(Handler handler) override {
        if (refuse) return std::nullopt;
        monitors[next] = std::move(handler);
        return next++;
    }
    void removeMonitor(Token token) override { monitors.erase(token); }

    // Delivers a key-down to the installed monitors; the event that reaches the window, if any.
    std::optional<KeyEvent> keyDown(const KeyEvent& event);

    std::map<Token, Handler> monitors;
    Token next = 1;
    bool refuse = false;
};

class FakeDialogs final : public Dialogs {
  public:
    void showModalAlert(const Alert& alert, Window& window,
                         std::function<void(AlertAnswer, std::optional<std::string>)> done) override {
        alerts.push_back({alert, &window, std::move(done)});
    }
    void showFileChooser(const OpenPanel& panel, Window& window,
                             std::function<void(std::optional<std::vector<std::string>>)> done) override {
        panels.push_back({panel, &window, std::move(done)});
    }
    void showAlert(const Alert& alert, std::function<void(AlertAnswer)> done) override {
        freeAlerts.push_back({alert, std::move(done)});
    }

    struct PendingAlert {
        Alert alert;
        Window* window;
        std::function<void(AlertAnswer, std::optional<std::string>)> completion;
    };
    struct PendingPanel {
        OpenPanel panel;
        Window* window;
        std::function<void(std::optional<std::vector<std::string>>)> completion;
    };
    // The user ends the oldest sheet; the text field holds `text` (alerts with a field).
    void answerAlert(AlertAnswer answer, std::optional<std::string> text = std::nullopt);
    // Nothing: the user cancels.
    void answerPanel(std::optional<std::vector<std::string>> paths);
    // The user ends the oldest free-standing alert.
    void answerFreeAlert(AlertAnswer answer);

    std::deque<PendingAlert> alerts;
    std::deque<PendingPanel> panels;
    struct FreeAlert {
        Alert alert;
        std::function<void(AlertAnswer)> completion;
    };
    std::deque<FreeAlert> freeAlerts;
};

class FakeWorkspace final : public Workspace {
  public:
    bool openURL(const std::string& url) override {
        opened.push_back(url);
        return true;
    }
    std::vector<std::string> opened;
};

class FakeNotificationCenter final : public NotificationCenter {
  public:
    void addObserver(Notification name, const Window* sender,
                     std::function<void()> callback) override {
        observers.push_back({name, sender, std::move(callback)});
    }
    void post(Notification name, const Window* sender = nullptr);

    struct Observer {
        Notification name;
        const Window* sender;
        std::function<void()> callback;
    };
    std::vector<Observer> observers;
};

class FakeLoginItem final : public LoginItemService {
  public:
    Result<WriteError> registerItem() override;
    Result<WriteError> unregisterItem() override;
    LoginItemStatus status() const override { return current; }

    LoginItemStatus current = LoginItemStatus::notRegistered;
    std::optional<std::string> failWith;  // the next change fails with this description
    bool needsApproval = false;           // registering leaves "requires approval"
};

// Requests wait until the test answers them.
class FakeHttpClient final : public HttpClient {
  public:
    std::unique_ptr<Request> get(const HttpRequest& request,
                                 std::function<void(HttpResult)> completion) override;
    // Answers the oldest request still waiting; false when none waits.
    bool answer(HttpResult result);
    std::size_t waiting() const { return waiting_.size(); }

    std::vector<HttpRequest> sent;  // every request made, in order

  private:
    class FakeRequest;
    std::map<std::uint64_t, std::function<void(HttpResult)>> waiting_;  // by order of sending
    std::uint64_t next_ = 1;
};

class FakeApplication final : public Application {
  public:
    void setDelegate(ApplicationDelegate& d) override { delegate = &d; }
    // Finishes launching, as the real loop does first, then returns.
    int run() override {
        if (unreachable) return delegate->cannotReachRunningInstance(*unreachable);
        delegate->started();
        return 0;
    }
    void setMainMenu(const Menu& menu, MenuTarget& target) override {
        mainMenu = menu;
        mainMenuTarget = &target;
    }
    void terminate() override { terminated = true; }

    ApplicationDelegate* delegate = nullptr;
    std::optional<Menu> mainMenu;
    MenuTarget* mainMenuTarget = nullptr;
    bool terminated = false;
    std::optional<UnreachableInstance> unreachable;  // another instance runs out of reach
};

// A notification server that keeps what it shows until the test clicks, dismisses or refuses it.
class FakeDesktopNotifications final : public DesktopNotifications {
  public:
    void setDelegate(DesktopNotificationsDelegate& d) override { delegate = &d; }
    void show(std::uint64_t id, const DesktopNotificationContent& content) override;
    void close(std::uint64_t id) override { onScreen.erase(id); }

    // The user clicks it; the server then closes it, as servers do.
    void click(std::uint64_t id);
    void dismiss(std::uint64_t id);

    DesktopNotificationsDelegate* delegate = nullptr;
    std::map<std::uint64_t, DesktopNotificationContent> onScreen;
    bool serverMissing = false;  // nothing is shown; every show is reported as not shown
};

// What a page's notification tells its page.
class FakePageNotification final : public PageNotification {
  public:
    FakePageNotification(std::string t, std::string b)
        : title_(std::move(t)), body_(std::move(b)) {}
    std::string title() const override { return title_; }
    std::string body() const override { return body_; }
    void deliverClick() override { ++clicks; }
    void deliverClose() override { ++closes; }
    int clicks = 0;
    int closes = 0;

  private:
    std::string title_, body_;
};

// The whole fake desktop.
struct FakePlatform {
    FakePlatform();
    Platform platform();

    FakeApplication application;
    FakeMainQueue mainQueue;
    FakeClock clock{mainQueue};
    FakeLog log;
    FakeDefaults defaults;
    FakeScreens screens;
    FakeWindowFactory windows;
    FakeWebViewFactory webViews{mainQueue};
    FakeStatusBar statusBar;
    FakeHotKeys hotKeys;
    FakeKeyMonitor keyMonitor;
    FakeDialogs dialogs;
    FakeWorkspace workspace;
    FakeNotificationCenter notifications;
    FakeLoginItem loginItem;
    FakeHttpClient http;
    FakeDesktopNotifications desktopNotifications;
    BuildInfo build{"1.4.2", "42", "https://plenhall.com/appcast.xml"};
};

}  // namespace plenhall::testing
