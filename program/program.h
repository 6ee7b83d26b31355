// How one run of the program ends: the apply's log, the quiet apply, usage, and the runs that
// are refused, each with its exit code. The window itself is opened by the Win32 program.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "program/command_line.h"
#include "program/program_host.h"
#include "registry/mdlReg.h"
#include "window/ZUVPortalSetting.h"

namespace zuv {

// How an apply was started, as the log names it.
enum class StartedFrom { Window, Quiet };

// One line of the log.
struct LogEntry {
    LocalTime time;
    std::string user;
    std::string computer;
    StartedFrom startedFrom = StartedFrom::Window;
    std::string address;  // exactly as typed
    std::string outcome;  // the outcome's text with every name whole
};

// The line, without a line break: time with offset, user, computer, how started, the address
// in double quotes, the outcome; separated by tabs. Control characters, and in the address
// '"' and '\', are escaped, so that one apply is always one line.
std::string LogLine(const LogEntry& entry);

// Appends one log line for every apply, through the host. A line that cannot be written is
// remembered for the quiet run's output; it never changes the apply.
class ApplyLog final : public ApplyJournal {
public:
    ApplyLog(ProgramHost& host, StartedFrom startedFrom, std::optional<std::string> logFile)
        : host_(host), startedFrom_(startedFrom), logFile_(std::move(logFile)) {}

    void BeforeApply(const std::string& address, IeGeneration generation) override;
    void AfterApply(const std::string& address, const ApplyOutcome& outcome) override;

    // What went wrong with the log, one line each ("无法写入日志…").
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    ProgramHost& host_;
    StartedFrom startedFrom_;
    std::optional<std::string> logFile_;
    std::vector<std::string> problems_;
};

// Why the program must not run as asked, or nothing. These are one user's settings: a run
// with arguments as the LocalSystem account (as deployment systems run programs unless told
// otherwise) would configure that account's own profile. Started without arguments, the
// window is never refused.
std::optional<std::string> RefusalFor(const Invocation& invocation, ProgramHost& host);

// Opens the window, with every apply told to `log`, and returns the exit code when it is
// unloaded.
using OpenWindow = std::function<int(ApplyJournal& log)>;

// One run of the program as the command line asks: usage, a command line not understood, a
// refusal, the quiet apply of the address on `reg`, or the window. Returns the exit code.
int RunProgram(const Invocation& invocation, ProgramHost& host, mdlReg& reg,
               const OpenWindow& openWindow);

}  // namespace zuv
