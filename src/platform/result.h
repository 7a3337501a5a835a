// The outcome of an operation that can fail: success, with a value where the operation yields one,
// or an error value the caller can tell apart. Backends convert their own errors into these at
// their edge.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

namespace plenhall {

// The value of an operation that yields nothing but success.
struct Done {
    bool operator==(const Done&) const = default;
};

template <class Error, class Value = Done>
class [[nodiscard]] Result {
    static_assert(!std::is_same_v<Error, Value>, "an error must be told apart from a value");

  public:
    Result() = default;  // success, with a default value
    Result(Value value) : outcome_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : outcome_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return outcome_.index() == 0; }
    explicit operator bool() const { return ok(); }
    // Only on success.
    const Value& value() const { return std::get<0>(outcome_); }
    // Only on failure.
    const Error& error() const { return std::get<1>(outcome_); }

  private:
    std::variant<Value, Error> outcome_;
};

// A failure to write something the desktop keeps for us (the preference file, the login entry).
struct WriteError {
    enum class Kind { cannotCreateDirectory, cannotWrite, cannotRemove };
    Kind kind;
    std::string detail;  // for the log: the path and the system's reason
};

}  // namespace plenhall
