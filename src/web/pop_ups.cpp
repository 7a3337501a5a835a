#include "web/pop_ups.h"

#include <string>

namespace plenhall {

bool PopUps::recent(Clock::TimePoint then, Clock::TimePoint now) const {
    return then <= now && now - then < kWindow;
}

bool PopUps::mayOpenInBrowser(bool userGesture) {
    if (userGesture) return true;
    const auto now = clock_.now();
    std::erase_if(opened_, [&](Clock::TimePoint then) { return !recent(then, now); });
    if (opened_.size() >= kWithoutGesture) {
        dropped(Drop::overLimit);
        return false;
    }
    opened_.push_back(now);
    return true;
}

void PopUps::refused(NewWindowDecision why) {
    if (why == NewWindowDecision::refuseNotWebPage) dropped(Drop::notWebPage);
    if (why == NewWindowDecision::refuseBody) dropped(Drop::body);
}

void PopUps::dropped(Drop why) {
    const auto now = clock_.now();
    auto last = lastDrop_.find(why);
    const bool inBurst = last != lastDrop_.end() && recent(last->second, now);
    lastDrop_[why] = now;
    if (inBurst) return;
    switch (why) {
        case Drop::notWebPage:
            log_.line(
                "PlenhallDesktop: the page asked for a new window that is not a web page (data:, "
                "blob:, about: or another program's link); not opened");
            return;
        case Drop::body:
            log_.line(
                "PlenhallDesktop: the page sent a form into a new window; not loaded, since the "
                "engine does not say which frame sent it");
            return;
        case Drop::overLimit:
            log_.line(
                "PlenhallDesktop: pop-ups to other sites that no click asked for are dropped "
                "beyond " +
                std::to_string(kWithoutGesture) + " in " + std::to_string(kWindow.count()) + " s");
            return;
    }
}

}  // namespace plenhall
