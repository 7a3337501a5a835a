// Opening the application at login.
//
// Thread: main thread only.
#pragma once

#include <optional>
#include <string>

namespace plenhall {

enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

class LoginItemService {
  public:
    virtual ~LoginItemService() = default;
    // Nothing on success; the error's description otherwise.
    virtual std::optional<std::string> registerItem() = 0;
    virtual std::optional<std::string> unregisterItem() = 0;
    // Read from the desktop each time, so a change made outside the program shows.
    virtual LoginItemStatus status() const = 0;
};

}  // namespace plenhall
