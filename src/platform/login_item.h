// Opening the application at login.
//
// Thread: main thread only.
#pragma once

#include "platform/result.h"

namespace plenhall {

enum class LoginItemStatus { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

class LoginItemService {
  public:
    virtual ~LoginItemService() = default;
    virtual Result<WriteError> registerItem() = 0;
    virtual Result<WriteError> unregisterItem() = 0;
    // Read from the desktop each time, so a change made outside the program shows.
    virtual LoginItemStatus status() const = 0;
};

}  // namespace plenhall
