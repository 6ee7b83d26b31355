// The per-user run of the machine package: ZUVPortalSetting.exe /logon, which Windows starts
// (Active Setup) once per settings stamp for each user at logon, and an administrator may start
// as a user already signed in. It reads the machine settings the package wrote, applies them for
// the user as the quiet apply does (or takes the user's settings back when the machine retires
// them), and records what it did in the user's own hive, where /report reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "apply/machine_package.h"
#include "apply/portal_apply.h"
#include "apply/run_report.h"
#include "base/result.h"
#include "registry/mdlReg.h"

namespace zuv {

// The record: every value is written again by each run.
struct LogonRecord {
    std::string settings;  // Settings: the machine's stamp this run acted on ("" when none)
    std::string result;    // Result: applied, failed, retired, retire-failed
    std::uint32_t exitCode = 0;  // ExitCode (REG_DWORD)
    std::string address;   // Address: the machine's Address the run applied
    std::string time;      // Time: local time with its UTC offset, as the log writes it
    std::string version;   // Version: the program's version
    std::string message;   // Message: the first line of the run's output
};

// The user's record; nothing when there is none (no key, no Result).
std::optional<LogonRecord> ReadLogonRecord(mdlReg& reg);
// Writes every value of the record; why not, when a value was refused.
Result<> WriteLogonRecord(mdlReg& reg, const LogonRecord& record);

// The per-user run, in its order: the machine settings (none: exit 2, recorded as failed); a
// record already holding the machine's stamp with the result it asks for ends the run (exit 0,
// nothing done); otherwise the quiet apply of the machine's address (Https = 1: over https too),
// logged as started from "logon", or with Retire = 1 the undo to the original; then the record.
// `records` are the apply's: registry, host and log file (StartedFrom is taken as Logon).
// Its report: the exit code and what it tells (one line, then any problem: "未备份：…",
// "日志未写入：…", "记录未写入：…").
RunReport RunLogon(mdlReg& reg, const ApplyRecords& records);

}  // namespace zuv
