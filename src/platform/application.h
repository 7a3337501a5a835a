// The application object and its delegate: the event loop, activation, the main menu and the
// platform's requests (launch finished, reopen, opened URLs).
//
// Thread: main thread only. Ownership: the composition root owns the application; the delegate
// is held by reference and outlives the loop.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/menu.h"

namespace plenhall {

enum class ActivationPolicy { regular = 0, accessory = 1 };

// Another instance of the program runs for this user, where this launch cannot hand itself to it.
struct UnreachableInstance {
    // Why this launch has no session bus; nothing when it has one and the other is not on it.
    std::optional<std::string> noSessionBus;
};

class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching() = 0;
    // Instead of the launch, when another instance runs that this one cannot reach. The answer is
    // the process's exit status.
    virtual int applicationCannotReachRunningInstance(const UnreachableInstance& instance) = 0;
    // The user opened the running application again. Answer false when nothing further is to
    // be done by the platform.
    virtual bool applicationShouldHandleReopen(bool hasVisibleWindows) = 0;
    // URLs handed to the application, in the order the platform delivers them.
    virtual void applicationOpenURLs(const std::vector<std::string>& urls) = 0;
};

class Application {
  public:
    virtual ~Application() = default;
    virtual void setDelegate(ApplicationDelegate& delegate) = 0;
    virtual void setActivationPolicy(ActivationPolicy policy) = 0;
    // Runs the event loop; returns the process's exit status when it ends.
    virtual int run() = 0;
    virtual void setMainMenu(const Menu& menu, MenuTarget& target) = 0;
    // Hides the application (its windows are already ordered out when the core calls this).
    virtual void hide() = 0;
    // Ends the event loop.
    virtual void terminate() = 0;
};

}  // namespace plenhall
