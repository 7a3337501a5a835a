// The web engine's page processes of this program, as the memory rule sees them.
//
// Thread: main thread only.
#pragma once

#include <cstdint>
#include <vector>

namespace plenhall {

struct WebProcessUse {
    int pid = 0;
    std::uint64_t residentKilobytes = 0;
};

class WebProcesses {
  public:
    virtual ~WebProcesses() = default;
    // The page processes now, with the memory each holds.
    virtual std::vector<WebProcessUse> list() const = 0;
    // Ends a page process at once; the web view reports it gone as after any crash.
    virtual void end(int pid) = 0;
};

}  // namespace plenhall
