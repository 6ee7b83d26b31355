// The one exception type of the program: a run-time error with a description in the
// user's language. The apply command is the only place that catches it.
#pragma once

#include <stdexcept>
#include <string>

namespace zuv {

enum class ErrorKind {
    InvalidArgument = 5,   // invalid procedure call or argument
    Overflow = 6,
    OutOfMemory = 7,
    TypeMismatch = 13,
    Unrepresentable = 1001,  // text the ANSI code page cannot hold
    Unexpected = 1002,
};

class RuntimeError : public std::runtime_error {
public:
    RuntimeError(ErrorKind kind, const std::string& description)
        : std::runtime_error(description), kind_(kind) {}
    explicit RuntimeError(ErrorKind kind);

    ErrorKind Kind() const { return kind_; }
    std::string Description() const { return what(); }

private:
    ErrorKind kind_;
};

// The standard description of an error kind ("类型不匹配", "溢出", ...).
std::string StandardDescription(ErrorKind kind);

}  // namespace zuv
