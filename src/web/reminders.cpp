#include "web/reminders.h"

#include <chrono>
#include <string>
#include <utility>

#include "prefs/prefs.h"
#include "text/product_name.h"

namespace plenhall {
namespace {

constexpr const char* kGranted = "granted";
constexpr const char* kDenied = "denied";

// "scheme://host[:port]" of a URL the program itself holds.
std::string originOf(const std::string& url) {
    auto start = url.find("://");
    if (start == std::string::npos) return url;
    auto end = url.find_first_of("/?#", start + 3);
    return url.substr(0, end);
}

}  // namespace

Reminders::Reminders(Services services, std::string appURL, Service service, Window& calendar,
                     std::function<void()> showCalendar)
    : services_(services),
      appOrigin_(originOf(appURL)),
      service_(std::move(service)),
      calendar_(calendar),
      showCalendar_(std::move(showCalendar)) {
    services_.notifications.setDelegate(*this);
}

std::optional<bool> Reminders::storedAnswer() const {
    // Any other stored value counts as never asked, so the question comes again.
    auto stored = services_.defaults.stringForKey(kReminderPermissionKey);
    if (stored == kGranted) return true;
    if (stored == kDenied) return false;
    return std::nullopt;
}

void Reminders::requestPermission(const std::string& pageURL,
                                  std::function<void(bool)> completion) {
    // Over plain http anyone on the network can speak for the service's host; when the service is
    // https, a remembered "granted" does not reach such a page.
    if (!isServicePage(pageURL, service_)) {
        completion(false);
        return;
    }
    if (auto stored = storedAnswer()) {
        completion(*stored);
        return;
    }
    // The user put the question away: a page asking again at once does not bring it back.
    if (dismissed_ || waiting_.size() >= kMaxWaitingForQuestion) {
        completion(false);
        return;
    }
    waiting_.push_back(std::move(completion));
    if (calendar_.isVisible()) ask();
}

void Reminders::calendarShown() {
    if (!waiting_.empty()) ask();
}

void Reminders::ask() {
    if (asking_) return;  // later requests wait for the question on screen
    asking_ = true;
    Alert alert{tr(kReminderQuestion), {tr(kReminderDeny), tr(kReminderAllow)}, std::nullopt};
    alert.defaultButton = 1;
    alert.title = kProductName;
    services_.dialogs.showModalAlert(
        alert, calendar_,
        [weak = std::weak_ptr<bool>(alive_), this](AlertAnswer given, std::optional<std::string>) {
            if (weak.lock()) answer(given);
        });
}

void Reminders::answer(AlertAnswer given) {
    asking_ = false;
    const bool allowed = given == 1u;  // "Allow"
    // A question closed unanswered is not an answer: the page is refused, and the question comes
    // again at the next launch.
    if (given == 0u || allowed) {
        services_.defaults.setString(kReminderPermissionKey, allowed ? kGranted : kDenied);
    } else {
        dismissed_ = true;
    }
    for (auto& completion : std::exchange(waiting_, {})) completion(allowed);
}

NotificationPermissions Reminders::permissions() const {
    NotificationPermissions permissions;
    if (auto stored = storedAnswer()) {
        (*stored ? permissions.granted : permissions.denied).push_back(appOrigin_);
    }
    return permissions;
}

bool Reminders::roomForAnother() {
    const auto now = services_.clock.now();
    // A clock set back leaves shows "in the future"; they are forgotten too.
    while (!recentShows_.empty() &&
           (now - recentShows_.front() >= std::chrono::minutes(1) || recentShows_.front() > now)) {
        recentShows_.pop_front();
    }
    return shown_.size() < kMaxRemindersOnScreen && recentShows_.size() < kMaxRemindersPerMinute;
}

void Reminders::show(std::shared_ptr<PageNotification> notification) {
    // The engine shows nothing for a page without permission; this keeps it so if it did.
    if (storedAnswer() != true) return;
    if (!roomForAnother()) {
        if (!std::exchange(dropping_, true)) {
            services_.log.line("PlenhallDesktop: the page shows reminders faster than " +
                               std::to_string(kMaxRemindersPerMinute) + " a minute or more than " +
                               std::to_string(kMaxRemindersOnScreen) +
                               " at once; dropped the rest");
        }
        // The page hears it closed: the engine has no way to tell it a notification failed.
        notification->deliverClose();
        return;
    }
    dropping_ = false;
    recentShows_.push_back(services_.clock.now());
    const std::uint64_t id = nextId_++;
    DesktopNotificationContent content{kProductName, notification->title(), notification->body(),
                                       "x-office-calendar", tr("Show Calendar")};
    shown_.emplace(id, std::move(notification));
    services_.notifications.show(id, content);
}

void Reminders::pageClosed(const PageNotification& notification) {
    for (auto it = shown_.begin(); it != shown_.end(); ++it) {
        if (it->second.get() != &notification) continue;
        const std::uint64_t id = it->first;
        shown_.erase(it);
        services_.notifications.close(id);
        return;
    }
}

std::shared_ptr<PageNotification> Reminders::take(std::uint64_t id) {
    auto it = shown_.find(id);
    if (it == shown_.end()) return nullptr;
    auto notification = std::move(it->second);
    shown_.erase(it);
    return notification;
}

void Reminders::desktopNotificationClicked(std::uint64_t id) {
    auto it = shown_.find(id);
    if (it == shown_.end()) return;
    // Kept: the server closes it after the click, and the page hears of that too.
    auto notification = it->second;
    showCalendar_();
    notification->deliverClick();
}

void Reminders::desktopNotificationClosed(std::uint64_t id) {
    if (auto notification = take(id)) notification->deliverClose();
}

void Reminders::desktopNotificationNotShown(std::uint64_t id) {
    take(id);
}

}  // namespace plenhall
