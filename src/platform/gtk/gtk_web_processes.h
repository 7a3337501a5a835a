// The engine's page processes, found and measured from our own process in /proc.
//
// The engine's own memory watch runs on the page's main thread, which a script that never returns
// keeps busy; read from here, a page's memory is known whatever its script does.
//
// Thread: main thread only.
#pragma once

#include "platform/web_processes.h"

namespace plenhall::gtk {

class GtkWebProcesses final : public WebProcesses {
  public:
    std::vector<WebProcessUse> list() const override;
    void end(int pid) override;
};

}  // namespace plenhall::gtk
