// A watch, from our own process, on the memory of the engine's page processes.
//
// The engine's own watch runs on the page's main thread, which a script that never returns keeps
// busy; this one ends such a page before it can exhaust the machine. The web view hears of its
// page's process ending, so the offline page replaces it.
//
// Thread: main thread only. Ownership: the web view adapter owns the watch; it stops when
// destroyed.
#pragma once

#include "platform/gtk/glib_ptr.h"
#include "platform/system.h"

namespace plenhall::gtk {

class WebProcessMemoryWatch {
  public:
    explicit WebProcessMemoryWatch(Log& log);

  private:
    void poll();

    Log& log_;
    ScheduledCall polls_;
};

}  // namespace plenhall::gtk
