// The one exception type of the program: a run-time error with a description in the
// user's language. The apply's error trap (TrapRunTimeErrors) is the place that catches it.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

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
    // `kind` says what the error is where it is raised; once the description is written it
    // decides nothing. `shortDescription` is the description where a long text it quotes is
    // shortened, for places with little room; empty when it is the description itself.
    RuntimeError([[maybe_unused]] ErrorKind kind, const std::string& description,
                 std::string shortDescription = {})
        : std::runtime_error(description), shortDescription_(std::move(shortDescription)) {}
    explicit RuntimeError(ErrorKind kind);

    std::string Description() const { return what(); }
    std::string ShortDescription() const {
        return shortDescription_.empty() ? Description() : shortDescription_;
    }

private:
    std::string shortDescription_;
};

// The standard description of an error kind ("类型不匹配", "溢出", ...).
std::string StandardDescription(ErrorKind kind);

// The error for text that the ANSI code page `codePage` cannot represent; the text is quoted
// whole in the description, and in the short one each of its names (the parts between
// backslashes) is shortened to kShortNameLength characters.
RuntimeError UnrepresentableText(std::string_view text, unsigned codePage);

// How long a quoted name may be where room is short (message boxes, command-line output).
inline constexpr std::size_t kShortNameLength = 64;

}  // namespace zuv
