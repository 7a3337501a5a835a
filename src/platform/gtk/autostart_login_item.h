// Opening at login as an XDG autostart entry in the user's configuration directory.
//
// Thread: main thread only.
#pragma once

#include <string>

#include "platform/login_item.h"

namespace plenhall::gtk {

class AutostartLoginItem final : public LoginItemService {
  public:
    // `program` is what the entry starts: the installed program, or the running binary.
    explicit AutostartLoginItem(std::string program);

    Result<WriteError> registerItem() override;
    Result<WriteError> unregisterItem() override;
    // Enabled when the user's entry exists, parses, and is neither hidden nor disabled.
    LoginItemStatus status() const override;

  private:
    std::string program_;
    std::string entryPath_;
};

}  // namespace plenhall::gtk
