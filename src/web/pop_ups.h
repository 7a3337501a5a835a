// What comes of the page's requests for new windows that are not loaded in the calendar: how many
// may go to the browser, and the log line for those that are dropped.
//
// A frame of another site (an advert) can ask for windows as often as it likes; links the user
// clicks always reach the browser, but pop-ups no click asked for are limited, so a frame cannot
// bury the desktop under browser tabs. A line is logged once per burst of drops of a kind, not
// once per drop, so a page asking in a loop cannot fill the log either.
//
// Thread: main thread only. Ownership: the application controller owns this; the clock and the
// log outlive it.
#pragma once

#include <chrono>
#include <deque>
#include <map>

#include "platform/system.h"
#include "web/navigation_policy.h"

namespace plenhall {

class PopUps {
  public:
    // Pop-ups to other sites without a click: at most this many within the window below.
    static constexpr int kWithoutGesture = 3;
    static constexpr std::chrono::seconds kWindow{10};

    PopUps(Clock& clock, Log& log) : clock_(clock), log_(log) {}

    // Whether a pop-up to another site may go to the browser now; one that may not is dropped
    // here.
    bool mayOpenInBrowser(bool userGesture);
    // The new-window rule refused a request (`refuseNotWebPage` or `refuseBody`).
    void refused(NewWindowDecision why);

  private:
    enum class Drop { notWebPage, body, overLimit };
    void dropped(Drop why);
    // Whether `then` lies within the window before now (not after it: the wall clock may have
    // been set back).
    bool recent(Clock::TimePoint then, Clock::TimePoint now) const;

    Clock& clock_;
    Log& log_;
    std::deque<Clock::TimePoint> opened_;  // pop-ups without a click that went to the browser
    std::map<Drop, Clock::TimePoint> lastDrop_;
};

}  // namespace plenhall
