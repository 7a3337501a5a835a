// Reminders: the calendar page's notifications, shown by the desktop's notification server.
//
// Who may show them: only pages of the service (over https alone when the start URL is https), and
// only once the user allowed it. The
// question is asked once, on the calendar window, and the answer is kept; pages of other sites are
// refused without a question. A question the page asks while the calendar is hidden waits until
// the calendar is next shown: a dialog of a program the user is not looking at would come out of
// nowhere, and the page can wait for its answer.
//
// What a page can put on screen is bounded: a question closed unanswered is not asked again until
// the next launch, a few requests at most wait for it, and a page showing reminders faster or more
// at once than a person reads them has the rest dropped (its notifications closed at once) with
// one log line a burst.
//
// Thread: main thread only. Ownership: the application controller owns this for the life of the
// process; the services, the window and the callback outlive it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/alerts.h"
#include "platform/desktop_notifications.h"
#include "platform/system.h"
#include "platform/user_defaults.h"
#include "platform/web_view.h"
#include "platform/window.h"
#include "text/localized.h"
#include "web/navigation_policy.h"

namespace plenhall {

// The question's texts and buttons, in the order they are added.
inline constexpr const char* kReminderQuestion = trKey("Allow Plenhall to show reminders?");
inline constexpr const char* kReminderDeny = trKey("Don't Allow");
inline constexpr const char* kReminderAllow = trKey("Allow");

// The page's reminders on the desktop at once, and shown in any minute.
inline constexpr std::size_t kMaxRemindersOnScreen = 5;
inline constexpr std::size_t kMaxRemindersPerMinute = 10;
// Requests that wait for the question; later ones are refused at once.
inline constexpr std::size_t kMaxWaitingForQuestion = 8;

class Reminders final : public DesktopNotificationsDelegate {
  public:
    struct Services {
        Dialogs& dialogs;
        DesktopNotifications& notifications;
        UserDefaults& defaults;
        Clock& clock;
        Log& log;
    };
    // `showCalendar` brings the calendar up the way the shortcut does.
    Reminders(Services services, std::string appURL, Service service, Window& calendar,
              std::function<void()> showCalendar);
    Reminders(const Reminders&) = delete;
    Reminders& operator=(const Reminders&) = delete;

    void requestPermission(const std::string& pageURL, std::function<void(bool)> completion);
    // The calendar came on screen: a question that waited for it is asked now.
    void calendarShown();
    NotificationPermissions permissions() const;
    void show(std::shared_ptr<PageNotification> notification);
    void pageClosed(const PageNotification& notification);

    void desktopNotificationClicked(std::uint64_t id) override;
    void desktopNotificationClosed(std::uint64_t id) override;
    void desktopNotificationNotShown(std::uint64_t id) override;

  private:
    std::optional<bool> storedAnswer() const;
    // Whether another reminder may go on screen now; forgets shows older than a minute.
    bool roomForAnother();
    void ask();
    void answer(AlertAnswer given);
    std::shared_ptr<PageNotification> take(std::uint64_t id);

    Services services_;
    std::string appOrigin_;
    Service service_;
    Window& calendar_;
    std::function<void()> showCalendar_;
    std::vector<std::function<void(bool)>> waiting_;  // pages waiting for the user's answer
    bool asking_ = false;
    bool dismissed_ = false;  // the question was closed unanswered this launch
    std::map<std::uint64_t, std::shared_ptr<PageNotification>> shown_;
    std::uint64_t nextId_ = 1;
    std::deque<Clock::TimePoint> recentShows_;  // oldest first
    bool dropping_ = false;                     // a burst is being dropped and was logged
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace plenhall
