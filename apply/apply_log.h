// The log: one line per apply (and per undo), appended to a file shared by every run.
#pragma once

#include <optional>
#include <string>

#include "apply/apply_host.h"
#include "base/local_time.h"

namespace zuv {

// The program's version, "major.minor.patch" as the project declares it.
std::string ProgramVersion();

// How an apply was started, as the log names it: "window", "quiet", "undo", "logon" (the
// per-user run of the machine package, ZUVPortalSetting.exe /logon).
enum class StartedFrom { Window, Quiet, Undo, Logon };

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

// The local time with its UTC offset as the log's first column writes it:
// "2026-12-09 12:00:00.000 +08:00".
std::string LogTimeText(const LocalTime& time);

// The log's backup column for an apply that changes no value: nothing failed, nothing to undo.
inline constexpr const char* kNothingToBackUp = "无需备份：没有要更改的值";
// The log's backup column for an address refused before anything was written.
inline constexpr const char* kNothingWritten = "无需备份：未写入任何值";

// The line, without a line break: time with offset, user, computer, how started ("window",
// "quiet" or "logon", followed by " https" when the apply trusted the site over https too), the address
// in double quotes, the outcome, the backup, the program's version; separated by tabs.
// Invisible characters (controls, line and paragraph separators, bidirectional controls), and
// in the address '"' and '\', are escaped, so that one apply is always one line and reads as
// it was typed.
std::string LogLine(const LogEntry& entry);

// Appends the line of a run that ended with `outcome` (its text, every name whole) to
// `logFile`, or to the host's default log when none is named. The time, user and computer are
// the host's. Nothing, or the problem to tell: "日志未写入：" the file and why.
std::optional<std::string> WriteLogLine(ApplyHost& host, const std::optional<std::string>& logFile,
                                        StartedFrom startedFrom, bool https,
                                        const std::string& address, const std::string& outcome,
                                        const std::string& backup);

}  // namespace zuv
