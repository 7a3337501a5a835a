// The outcome of an operation that can fail: nothing more than success, or an error value the
// caller can tell apart. Backends convert their own errors into these at their edge.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace plenhall {

template <class Error>
class [[nodiscard]] Result {
  public:
    Result() = default;  // success
    Result(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_; }
    explicit operator bool() const { return ok(); }
    // Only on failure.
    const Error& error() const { return *error_; }

  private:
    std::optional<Error> error_;
};

// A failure to write something the desktop keeps for us (the preference file, the login entry).
struct WriteError {
    enum class Kind { cannotCreateDirectory, cannotWrite, cannotRemove };
    Kind kind;
    std::string detail;  // for the log: the path and the system's reason
};

}  // namespace plenhall
