// How one run of the program ends: the apply's log, the quiet apply, usage, and the runs that
// are refused, each with its exit code. The window itself is opened by the Win32 program.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "program/command_line.h"
#include "program/program_host.h"
#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "registry/registry_api.h"
#include "registry/stored_registry.h"
#include "window/ZUVPortalSetting.h"

namespace zuv {

// How an apply was started, as the log names it.
enum class StartedFrom { Window, Quiet, Undo };

// One line of the log.
struct LogEntry {
    LocalTime time;
    std::string user;
    std::string computer;
    StartedFrom startedFrom = StartedFrom::Window;
    std::string address;  // exactly as typed; for an undo, the backup file it restores
    std::string outcome;  // the outcome's text with every name whole
    std::string backup;   // the backup file, kNothingToBackUp, or "未备份：" and why there is none
    bool https = false;   // the apply trusted the site over https as well ("quiet https")
};

// The log's backup column for an apply that changes no value: nothing failed, nothing to undo.
inline constexpr const char* kNothingToBackUp = "无需备份：没有要更改的值";

// The line, without a line break: time with offset, user, computer, how started ("window" or
// "quiet", followed by " https" when the apply trusted the site over https too), the address
// in double quotes, the outcome, the backup, the program's version; separated by tabs.
// Invisible characters (controls, line and paragraph separators, bidirectional controls), and
// in the address '"' and '\', are escaped, so that one apply is always one line and reads as
// it was typed.
std::string LogLine(const LogEntry& entry);

// The registry as the program reaches it: through the ANSI functions for the apply, and as it
// is stored, value for value, for the backups.
struct ProgramRegistry {
    RegistryApi& api;
    const AnsiCodePage& codePage;
    StoredRegistry& stored;
};

// What the program keeps of every apply: before its first write a backup of everything it will
// write or delete, and once it is over one log line. Neither changes the apply: a backup or a
// line that cannot be written is remembered for the quiet run's output.
class ApplyRecords final : public ApplyJournal {
public:
    ApplyRecords(ProgramHost& host, const ProgramRegistry& registry, StartedFrom startedFrom,
                 std::optional<std::string> logFile)
        : host_(host), registry_(registry), startedFrom_(startedFrom), logFile_(std::move(logFile)) {}

    void BeforeApply(const std::string& address, IeGeneration generation,
                     SiteProtocols protocols) override;
    void AfterApply(const std::string& address, const ApplyOutcome& outcome) override;

    // What could not be kept, one line each ("未备份：…", "无法写入日志…").
    const std::vector<std::string>& Problems() const { return problems_; }

private:
    ProgramHost& host_;
    ProgramRegistry registry_;
    StartedFrom startedFrom_;
    std::optional<std::string> logFile_;
    std::string backup_;  // of the apply under way: its file, or why there is none
    bool https_ = false;  // the apply under way trusts the site over https as well
    std::vector<std::string> problems_;
};

// Why the program must not run as asked, or nothing. These are one user's settings: a run
// with arguments as the LocalSystem account (as deployment systems run programs unless told
// otherwise) would configure that account's own profile. Started without arguments, the
// window is never refused.
std::optional<std::string> RefusalFor(const Invocation& invocation, ProgramHost& host);

// Opens the window on `reg`, with every apply told to `records`, and returns the exit code when
// it is unloaded.
using OpenWindow = std::function<int(mdlReg& reg, ApplyJournal& records)>;

// The comment line that marks the backup an undo takes of what it is about to restore: /undo
// passes over such backups, so that undoing again undoes the apply before.
inline constexpr const char* kUndoNote = "undo";
// What an undo renames a backup it restored to: "NAME-undone.reg" for "NAME.reg".
std::string UndoneName(const std::string& name);

// One run of the program as the command line asks: usage, a command line not understood, a
// refusal, the check of an address, the dry run or quiet apply of an address, an undo, or the
// window. Returns the exit code.
int RunProgram(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
               const OpenWindow& openWindow);

}  // namespace zuv
