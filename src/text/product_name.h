// The name people know the program by: window and dialog titles, the status item, notifications.
#pragma once

namespace plenhall {

inline constexpr const char* kProductName = "Plenhall";

}  // namespace plenhall
