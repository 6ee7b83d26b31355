// One apply of a portal's address, in its one order: the address rule, the plan of the steps on
// a copy-on-write view of the registry and its backup, the steps themselves, and from their one
// outcome the message, the exit code and the log line. The window's apply command and the
// quiet command line both run it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "apply/apply_host.h"
#include "apply/apply_log.h"
#include "browser_config/apply_outcome.h"
#include "browser_config/browser_config.h"
#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "registry/overlay_registry.h"
#include "registry/registry_api.h"
#include "registry/stored_registry.h"

namespace zuv {

inline constexpr const char* kSuccessMessage = "恭喜你，设置成功！";
inline constexpr const char* kFailurePrefix = "设置出错，原因：";

// The program's exit codes.
inline constexpr int kExitSuccess = 0;
inline constexpr int kExitApplyFailed = 1;     // the apply (or the undo) ran and failed
inline constexpr int kExitNotUnderstood = 2;   // bad command line, cannot run as asked, nothing to undo
inline constexpr int kExitNotTrusted = 3;      // /check: the address is not a trusted site

// How names appear in the text of an outcome: whole (the log), or each one longer than
// kShortNameLength characters shortened in its middle (message box and command-line output,
// where a long address would push the reason off the screen).
enum class NameLength { Whole, Short };

// The text the user is told for an outcome: the success message, or the failure prefix and
// what went wrong.
std::string MessageText(const ApplyOutcome& outcome, NameLength names);

// The registry as the program reaches it: through the ANSI functions for the apply, and as it
// is stored, value for value, for the backups.
struct ProgramRegistry {
    RegistryApi& api;
    const AnsiCodePage& codePage;
    StoredRegistry& stored;
};

// What to apply: the address exactly as typed, for the browser generation found at start-up and
// the protocols asked for.
struct ApplyRequest {
    std::string address;
    IeGeneration generation = IeGeneration::IE6;
    SiteProtocols protocols = SiteProtocols::Http;
};

// What the program keeps of every apply: before its first write a backup of everything it will
// write or delete (from `registry`, which `reg` of the apply reaches too), and once it is over
// one log line. Neither changes the apply.
struct ApplyRecords {
    ProgramRegistry registry;
    ApplyHost& host;
    StartedFrom startedFrom = StartedFrom::Window;
    std::optional<std::string> logFile;  // as the command line names it; else the host's default
};

// How an apply came out, and what is told of it.
struct ApplyReport {
    ApplyOutcome outcome;
    std::string message;                 // MessageText with names shortened
    std::vector<std::string> problems;   // what could not be kept: "未备份：…", "日志未写入：…"
    std::string backup;                  // the log's backup column
    int exitCode = kExitSuccess;         // 0 success, 1 failed, 2 address refused

    // The message and each problem, one line each.
    std::string OutputText() const;
};

// The backup of the writes `planned` will make, from the registry as `stored` holds it now,
// saved through `host`: its path, or kNothingToBackUp when they change no value (the same values
// written again, as at every logon: a backup of the tool's own values would only push older
// ones out). `note`, when given, goes on a comment line of the file.
Result<std::string> SaveBackupOf(const PlannedWrites& planned, StoredRegistry& stored, ApplyHost& host,
                         const std::string& note = {});

// One apply of `request` through `reg`. With `records`, backed up before and logged after;
// without, the steps alone (as tests of the steps run them).
ApplyReport ApplyPortal(mdlReg& reg, const ApplyRequest& request, const ApplyRecords* records);

}  // namespace zuv
