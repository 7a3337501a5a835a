// The one rule for a page's memory: a page process that holds more than the limit is ended, one
// log line each time; the web view then shows the offline page and the next showing reloads.
//
// Thread: main thread only. Ownership: the application controller owns this; the processes, the
// queue and the log outlive it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

#include "platform/system.h"
#include "platform/web_processes.h"

namespace plenhall {

// Long before a runaway page can push the desktop into swapping; a calendar page needs a small
// fraction of this.
inline constexpr std::uint64_t kWebProcessMemoryLimitKilobytes = 1536 * 1024;
// Reading the processes' memory costs little; this often, a page that eats memory is caught within
// a few hundred megabytes of the limit.
inline constexpr std::chrono::seconds kMemoryCheckInterval{5};

class WebProcessMemoryRule {
  public:
    WebProcessMemoryRule(WebProcesses& processes, MainQueue& queue, Log& log);

  private:
    void check();

    WebProcesses& processes_;
    MainQueue& queue_;
    Log& log_;
    std::unique_ptr<MainQueue::Timer> next_;
};

}  // namespace plenhall
