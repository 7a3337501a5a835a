#include "web/memory_rule.h"

#include <string>

namespace plenhall {

WebProcessMemoryRule::WebProcessMemoryRule(WebProcesses& processes, MainQueue& queue, Log& log)
    : processes_(processes), queue_(queue), log_(log) {
    check();
}

void WebProcessMemoryRule::check() {
    for (const auto& process : processes_.list()) {
        if (process.residentKilobytes <= kWebProcessMemoryLimitKilobytes) continue;
        log_.line("PlenhallDesktop: the calendar page used more than " +
                  std::to_string(kWebProcessMemoryLimitKilobytes / 1024) +
                  " MB of memory; its process was ended");
        processes_.end(process.pid);
    }
    // The timer is a member, so `this` outlives it.
    next_ = queue_.asyncAfter(kMemoryCheckInterval, [this] { check(); });
}

}  // namespace plenhall
