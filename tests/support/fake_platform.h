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
    void setDecoration(Decoration s) override { style = s; }
    void setKeptAbove(bool a) override { keptAbove = a; }
    void setOnEveryWorkspace(bool e) override { everyWorkspace = e; }
    void setSkipTaskSwitcher(bool s) override { skipSwitcher = s; }
    void setBackgroundColor(Color) override {}
    void setTitle(const std::string& t) override { title = t; }
    void setMinimumSize(Size s) override { minSize = s; }
    Rect frame() const override { return currentFrame; }
    void moveResize(const Rect& f) override { currentFrame = f, fullScreen.reset(); }
    void resize(Size s) override { moveResize(Rect{0, 0, s.width, s.height}); }
    // The screen it covers; one with id kDesktopsChoice where the desktop chose it.
    void fullscreen(const std::optional<Screen>& screen) override {
        fullScreen = screen.value_or(Screen{{}, {}, kDesktopsChoice});
        currentFrame = fullScreen->frame;
    }
    bool isVisible() const override { return visible; }
    bool isActive() const override { return key; }
    void hide() override { visible = key = contentFocused = false; }
    void present(const UserInput& input) override { visible = true, shownFor = input; }
    void focusContent() override { contentFocused = true; }
    void redrawForNextShowing() override { ++redraws; }
    void setContent(WebView&) override {}
    void setHostedView(std::function<ViewNode()> b) override {
        body = std::move(b), shown = body();
    }
    // Rendered again once the change being announced is stored, as with a toolkit's next frame.
    void invalidateHostedView() override {
        queue_.async([this, alive = std::weak_ptr<bool>(alive_)] {
            if (alive.lock()) shown = body();
        });
    }
    void setCloseHandler(std::function<void()> h) override { willClose = std::move(h); }
    void close() override { willClose(), hide(); }

    static constexpr int kDesktopsChoice = -2;
    Decoration style = Decoration::none;
    std::string title;
    std::optional<Size> minSize;
    bool keptAbove = false, everyWorkspace = false, skipSwitcher = false;
    int redraws = 0;  // times drawn, hidden, for the next showing
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
    void commit() { navigation->loadCommitted(); }
    void finish() { navigation->loadFinished(); }
    void failProvisional(WebFailure failure, std::optional<std::string> url = std::nullopt) {
        answer_.reset();
        navigation->loadFailedBeforeCommit(WebError{failure, "", 1, "failed", url});
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
    void setIcon(const std::string& name, const std::string& t) override { icon = name, title = t; }
    void setMenu(const Menu& m, MenuTarget& t) override { menu = m, target = &t; }
    void setItemTitle(std::size_t i, const std::string& text) override {
        menu.items.at(i).title = text;
    }
    void setMenuWillOpenHandler(std::function<void()> h) override { open = std::move(h); }
    void setMenuDidCloseHandler(std::function<void()> h) override { close = std::move(h); }
    void click(std::size_t index) { target->performMenuAction(*menu.items.at(index).action); }

    std::string icon, title;
    Menu menu;
    MenuTarget* target = nullptr;
    // The panel says the menu opens (not every panel does), or closed.
    std::function<void()> open, close;
};

struct FakeHotKeys final : GlobalHotKeys {
    using Keys = KeyCombination;
    void installPressHandler(std::function<void(const UserInput&)> h) override { onPress = h; }
    void installBindingChangedHandler(std::function<void(const HotKeyBinding&)> h) override {
        bindingChanged = h;
    }
    void installServiceHandler(std::function<void(HotKeyService)> h) override { onService = h; }
    void registerHotKey(const KeyCombination& keys, const std::string& description,
                        std::function<void(const HotKeyRegistration&)> whenDone) override {
        registered.reset(), waiting = keys, done = std::move(whenDone), described = description;
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
    std::function<void(HotKeyService)> onService;
    std::string described;  // what the desktop was told the shortcut does
};

// GNOME's settings: the custom keybindings by path, and what GNOME binds itself.
struct FakeGnomeKeybindings final : GnomeKeybindings {
    bool customKeybindingsOffered() const override { return offered; }
    std::vector<std::string> customKeybindings() const override { return paths; }
    void setCustomKeybindings(const std::vector<std::string>& p) override { paths = p; }
    std::optional<GnomeCustomKeybinding> customKeybinding(const std::string& p) const override {
        return entries.contains(p) ? std::optional(entries.at(p)) : std::nullopt;
    }
    void writeCustomKeybinding(const std::string& p, const GnomeCustomKeybinding& e) override {
        entries[p] = e;
    }
    void resetCustomKeybinding(const std::string& p) override { entries.erase(p); }
    std::vector<GnomeAccelerator> boundAccelerators() const override { return bound; }
    std::string keysymName(std::uint16_t keycode) const override {
        return keycode == 54 ? "c" : keycode == 45 ? "k" : "";
    }
    std::string executable() const override { return "/opt/Plenhall Desktop/plenhall-desktop"; }
    bool offered = false;
    std::vector<std::string> paths;
    std::map<std::string, GnomeCustomKeybinding> entries;
    std::vector<GnomeAccelerator> bound;
};

struct FakeKeyMonitor final : KeyMonitor {
    std::optional<Token> addKeyPressMonitor(Handler handler) override {
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
struct FakeDialogs final : Dialogs {
    struct Shown {
        Alert alert;
        const Window* window;  // nothing: free-standing
        std::function<void(AlertAnswer, std::optional<std::string>)> done;
    };
    using Files = std::optional<std::vector<std::string>>;
    void showModalAlert(
        const Alert& alert, Window& window,
        std::function<void(AlertAnswer, std::optional<std::string>)> done) override {
        alerts.push_back({alert, &window, std::move(done)});
    }
    void showAlert(const Alert& alert, std::function<void(AlertAnswer)> done) override {
        alerts.push_back({alert, nullptr, [done](AlertAnswer a, auto) { done(a); }});
    }
    void showFileChooser(const FileChooser& panel, Window&,
                         std::function<void(Files)> done) override {
        panels.push_back({panel, std::move(done)});
    }
    // The user ends the oldest alert (nothing: closed unanswered); a text field holds `typed`,
    // else what it was given.
    void answer(AlertAnswer answer, std::optional<std::string> typed = std::nullopt) {
        auto shown = std::move(alerts.front());
        alerts.pop_front();
        const auto& field = shown.alert.entry;
        shown.done(answer, field ? typed.value_or(field->initialText) : typed);
    }
    std::deque<Shown> alerts;
    std::deque<std::pair<FileChooser, std::function<void(Files)>>> panels;
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
    int run() override { return delegate->started(), 0; }
    void setMainMenu(const Menu& m, MenuTarget& t) override { mainMenu = m, target = &t; }
    void terminate() override { terminated = true; }
    ApplicationDelegate* delegate = nullptr;
    Menu mainMenu;
    MenuTarget* target = nullptr;
    bool terminated = false;
};

// A notification server: what is on screen, by id.
struct FakeDesktopNotifications final : DesktopNotifications {
    void setDelegate(DesktopNotificationsDelegate& d) override { delegate = &d; }
    void show(std::uint64_t id, const DesktopNotificationContent& c) override {
        shown[id] = c.title;
    }
    void close(std::uint64_t id) override { shown.erase(id); }
    // The user closes it.
    void dismiss(std::uint64_t id) { shown.erase(id), delegate->desktopNotificationClosed(id); }
    std::map<std::uint64_t, std::string> shown;
    DesktopNotificationsDelegate* delegate = nullptr;
};

// The whole desktop; the windows, the web view and the status item are the latest made.
struct FakePlatform : WindowFactory,
                      WebViewFactory,
                      StatusBar,
                      Workspace,
                      FocusEvents,
                      WebProcesses {
    Platform platform() {
        return Platform(application, mainQueue, clock, log, defaults, screens, *this, *this, *this,
                        hotKeys, gnome, keyMonitor, dialogs, *this, *this, loginItem, http,
                        desktopNotifications, *this, build);
    }
    std::unique_ptr<Window> makeCalendarWindow(const CalendarWindowWaits&) override {
        return make(Rect{}, Decoration::none, calendar);
    }
    std::unique_ptr<Window> makeWindow(Size size, Decoration s) override {
        return make(Rect{0, 0, size.width, size.height}, s, settings);
    }
    std::unique_ptr<Window> make(const Rect& r, Decoration s, FakeWindow*& slot) {
        auto window = std::make_unique<FakeWindow>(mainQueue);
        window->currentFrame = r, window->style = s, slot = window.get();
        return window;
    }
    std::unique_ptr<WebView> makeWebView(const WebViewConfiguration& configuration) override {
        auto view = std::make_unique<FakeWebView>(mainQueue);
        view->configuration = configuration, webView = view.get();
        return view;
    }
    std::unique_ptr<StatusItem> statusItem() override {
        auto made = std::make_unique<FakeStatusItem>();
        item = made.get();
        return made;
    }
    bool openURL(const std::string& url) override { return opened.push_back(url), true; }
    void setHandler(std::function<void(const FocusChange&)> h) override { onFocus = std::move(h); }
    bool anyWindowActive() const override {
        return (calendar && calendar->key) || (settings && settings->key);
    }
    bool keyboardGrabbed() const override { return grabbed; }
    // The desktop moves the focus: to `window` (nothing: away from us) and reports it.
    void focus(FakeWindow* window) {
        for (FakeWindow* w : {calendar, settings})
            if (w && w != window && w->key) w->key = false, onFocus({FocusChange::Kind::lost, w});
        if (window) window->key = true, onFocus({FocusChange::Kind::gained, window});
    }
    std::vector<WebProcessUse> list() const override { return processes; }
    void end(int pid) override { ended.push_back(pid); }

    FakeApplication application;
    FakeMainQueue mainQueue;
    FakeClock clock{mainQueue};
    FakeLog log;
    FakeDefaults defaults;
    struct : Screens {
        std::vector<Screen> screens() const override { return all; }
        std::optional<Screen> primaryScreen() const override { return main; }
        std::optional<Point> pointer() const override { return pointerAt; }
        bool windowsPlaceThemselves() const override { return placesWindows; }
        std::vector<Screen> all{Screen{{0, 0, 1440, 900}, {0, 25, 1440, 875}}};
        std::optional<Screen> main = all[0];
        std::optional<Point> pointerAt = Point{100, 100};
        bool placesWindows = true;
    } screens;
    FakeWindow *calendar = nullptr, *settings = nullptr;
    FakeWebView* webView = nullptr;
    FakeStatusItem* item = nullptr;
    FakeHotKeys hotKeys;
    FakeGnomeKeybindings gnome;
    FakeKeyMonitor keyMonitor;
    FakeDialogs dialogs;
    std::vector<std::string> opened;  // in the user's browser, or what handles its scheme
    std::function<void(const FocusChange&)> onFocus;
    bool grabbed = false;  // our own key grab holds the keyboard
    std::vector<WebProcessUse> processes;
    std::vector<int> ended;  // page processes the core ended
    FakeLoginItem loginItem;
    FakeHttpClient http;
    FakeDesktopNotifications desktopNotifications;
    BuildInfo build{"1.4.2", "42", "https://plenhall.com/appcast.xml"};
};

}  // namespace plenhall::testing
