// The application controller: owns the calendar window and its web view, the status item, the
// global hot key, the updater and the settings window, and keeps them in step.
//
// Thread: main thread only. Ownership: the process entry owns the one controller for the life of
// the process. Closures it hands out (hot-key action, settings callbacks, preference reactions,
// deferred work) hold it weakly and do nothing once it is gone.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/focus_rules.h"
#include "hotkey/hot_key.h"
#include "platform/platform.h"
#include "prefs/prefs.h"
#include "settings/settings_controller.h"
#include "update/updater.h"
#include "web/memory_rule.h"
#include "web/navigation_policy.h"
#include "web/page_dialogs.h"
#include "web/pop_ups.h"
#include "web/reminders.h"

namespace plenhall {

// A page that loaded while the calendar was hidden is drawn for the next showing at once and again
// this much later: pages fill in after their load (a calendar fetching its events).
inline constexpr std::chrono::seconds kLateRedraw{3};
// Compositors answer within a few frames; past these the calendar goes ahead without them.
inline constexpr CalendarWindowWaits kCalendarWindowWaits{std::chrono::milliseconds{500},
                                                          std::chrono::milliseconds{250}};

// Process-wide values built once at process start.
struct AppValues {
    std::string appURL;         // the start URL
    std::string appHost;        // the service domain: the start URL's host
    double staleAfter = 600.0;  // seconds hidden after which showing reloads
};

class AppDelegate final : public ApplicationDelegate,
                          public NavigationDelegate,
                          public UIDelegate,
                          public MenuTarget {
  public:
    AppDelegate(Platform& platform, Prefs& prefs, AppValues values);
    AppDelegate(const AppDelegate&) = delete;
    AppDelegate& operator=(const AppDelegate&) = delete;
    ~AppDelegate() override;

    // ApplicationDelegate
    void started() override;
    int cannotReachRunningInstance(const UnreachableInstance& instance) override;
    void activated(const UserInput& input) override;
    void openURLs(const std::vector<std::string>& urls, const UserInput& input) override;

    // Visibility.
    // `input`: the user's input that asked for the calendar, when the desktop told us.
    void show(const UserInput& input = {});
    void hide();
    void toggle(const UserInput& input = {});
    void appResigned();
    void gotFocus();
    void hideFromMenu();

    // Menus, updates, page content.
    void reload();
    void openSettings(const UserInput& input = {});
    void checkForUpdates();
    void performMenuAction(MenuAction action) override;
    // The updater is about to show an update.
    void standardUserDriverWillHandleShowingUpdate();

    // NavigationDelegate
    NavigationActionPolicy decideNavigationPolicy(const NavigationAction& action) override;
    NavigationResponsePolicy decideResponsePolicy(const NavigationResponse& response) override;
    void newWindowRequested(const NavigationAction& action) override;
    void loadStarted(const std::string& url) override;
    void loadRedirected(const std::string& url) override;
    void loadCommitted() override;
    void loadFinished() override;
    void loadFailedBeforeCommit(const WebError& error) override;
    void loadFailed(const WebError& error) override;

    // UIDelegate
    void scriptAlert(const std::string& message, std::function<void()> completion) override;
    void scriptConfirm(const std::string& message, std::function<void(bool)> completion) override;
    void scriptPrompt(const std::string& prompt, const std::optional<std::string>& defaultText,
                      std::function<void(std::optional<std::string>)> completion) override;
    void beforeUnloadConfirm(const std::string& message,
                             std::function<void(bool)> completion) override;
    void runFileChooser(
        const FileRequest& parameters,
        std::function<void(std::optional<std::vector<std::string>>)> completion) override;
    void requestNotificationPermission(const std::string& pageURL,
                                       std::function<void(bool)> completion) override;
    NotificationPermissions notificationPermissions() override;
    void showNotification(std::shared_ptr<PageNotification> notification) override;
    void pageClosedNotification(const PageNotification& notification) override;

    // State, for the platform's entry points and for tests.
    Window* window() const { return window_.get(); }
    WebView* webView() const { return webView_.get(); }
    StatusItem* statusItem() const { return statusItem_.get(); }
    HotKey* hotKey() const { return hotKey_.get(); }
    SettingsController* settings() const { return settings_.get(); }
    Reminders* reminders() const { return reminders_.get(); }
    const std::optional<Clock::TimePoint>& hiddenAt() const { return hiddenAt_; }
    bool hadFocus() const { return hadFocus_; }
    bool showingOffline() const { return showingOffline_; }
    const AppValues& values() const { return values_; }

  private:
    void buildMainMenu();
    void buildWindow();
    void buildStatusItem();
    // The status menu's first item names `shortcut` as the desktop bound it.
    void showShortcut(const Shortcut& shortcut);
    void layoutWindow();
    void stow();
    void statusMenuWillOpen();
    void statusMenuDidClose();
    void toggleFromStatusMenu();
    // Draws the calendar at `percent` of its size from now on, this run and the next.
    void zoomPage(int percent);
    // Loads `request` in the web view, which then has its time-out to make progress.
    void load(const URLRequest& request);
    void startLoadDeadline(const std::string& url, double seconds);
    void endLoadDeadline();
    void loadDeadlinePassed();
    void showOffline(const WebError& error);
    // Wraps `work` so it runs only while this controller exists.
    std::function<void()> weakly(std::function<void()> work);

    Platform& platform_;
    Prefs& prefs_;
    AppValues values_;
    Service service_;
    PopUps popUps_;

    std::unique_ptr<Window> window_;
    std::unique_ptr<WebView> webView_;
    std::unique_ptr<PageDialogs> pageDialogs_;
    std::unique_ptr<Reminders> reminders_;
    std::unique_ptr<WebProcessMemoryRule> memoryRule_;
    std::unique_ptr<FocusRules> focusRules_;
    std::unique_ptr<StatusItem> statusItem_;
    std::optional<std::size_t> shortcutMenuItem_;  // index in the status menu
    std::unique_ptr<HotKey> hotKey_;
    std::unique_ptr<GnomeShortcut> gnomeShortcut_;
    std::unique_ptr<Updater> updater_;
    std::unique_ptr<SettingsController> settings_;
    std::optional<Clock::TimePoint> hiddenAt_;
    bool hadFocus_ = false;
    // When the calendar was last put away because the application lost focus.
    std::optional<Clock::TimePoint> stowedOnResignAt_;
    // Whether the calendar was up when the status menu began to open; nothing when the desktop
    // does not say when its menus open.
    std::optional<bool> calendarUpWhenStatusMenuOpened_;
    std::unique_ptr<MainQueue::Timer> forgetStatusMenuOpening_;
    bool showingOffline_ = false;
    // The main-frame load that has not committed yet, and when it runs out of time.
    std::optional<std::string> loadingURL_;
    std::unique_ptr<MainQueue::Timer> loadDeadline_;
    std::unique_ptr<MainQueue::Timer> lateRedraw_;
    std::vector<Subscription> subscriptions_;
    std::string offlinePage_;
    std::shared_ptr<AppDelegate*> self_ = std::make_shared<AppDelegate*>(this);
};

}  // namespace plenhall
