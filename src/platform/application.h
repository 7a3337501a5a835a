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
#include "platform/user_input.h"

namespace plenhall {

// Another instance of the program runs for this user, where this launch cannot hand itself to it.
struct UnreachableInstance {
    // Why this launch has no session bus; nothing when it has one and the other is not on it.
    std::optional<std::string> noSessionBus;
};

class ApplicationDelegate {
  public:
    virtual ~ApplicationDelegate() = default;
    virtual void started() = 0;
    // Instead of the launch, when another instance runs that this one cannot reach. The answer is
    // the process's exit status.
    virtual int cannotReachRunningInstance(const UnreachableInstance& instance) = 0;
    // The program was launched again, without URLs, while it runs; `input` is the launcher's
    // activation token, where it had one.
    virtual void activated(const UserInput& input) = 0;
    // URLs handed to the application, in the order the platform delivers them, by a launch with
    // `input`.
    virtual void openURLs(const std::vector<std::string>& urls, const UserInput& input) = 0;
};

class Application {
  public:
    virtual ~Application() = default;
    virtual void setDelegate(ApplicationDelegate& delegate) = 0;
    // Runs the event loop; returns the process's exit status when it ends.
    virtual int run() = 0;
    virtual void setMainMenu(const Menu& menu, MenuTarget& target) = 0;
    // Ends the event loop.
    virtual void terminate() = 0;
};

}  // namespace plenhall
