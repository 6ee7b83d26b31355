// What an operation of the system (a file, the log, the console, the backup folder) gives back:
// its value, or why there is none, in the user's words. A result must be read: the compiler
// refuses one dropped without a cast to void, which is written with a comment saying why.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace zuv {

// The value of an operation that has nothing to give but its success.
struct Done {};

// Why an operation failed.
struct Failure {
    std::string why;
};

template <class T = Done>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}  // NOLINT(google-explicit-constructor)
    Result(Failure failure) : state_(std::in_place_index<1>, std::move(failure)) {}  // NOLINT(google-explicit-constructor)

    bool Ok() const { return state_.index() == 0; }
    explicit operator bool() const { return Ok(); }
    // Only when Ok().
    const T& Value() const& { return std::get<0>(state_); }
    T&& Value() && { return std::get<0>(std::move(state_)); }
    // Only when not Ok().
    const std::string& Error() const { return std::get<1>(state_).why; }

private:
    std::variant<T, Failure> state_;
};

}  // namespace zuv
