// What the machine package and the program share: the machine settings the package writes (and
// the per-user run and the report read), and the record the per-user run leaves in each user's
// hive (which the report reads).
#pragma once

#include <optional>
#include <string>

#include "base/result.h"
#include "registry/mdlReg.h"

namespace zuv {

// The machine settings, in the 64-bit view of HKEY_LOCAL_MACHINE: Address (REG_SZ), Https,
// IeMode, Retire (REG_DWORD, 1 or 0) and Settings (REG_SZ, the stamp "a,b,c,d").
inline constexpr const char* kMachineSettingsKey = "SOFTWARE\\ZUVPortalSetting";
// The record of the latest per-user run, below the root of a user's hive (HKEY_CURRENT_USER for
// that user): the tool's own key, never part of a backup or an undo.
inline constexpr const char* kLogonRecordKey = "Software\\ZUVPortalSetting";
// The record's values: texts (REG_SZ) and the exit code (REG_DWORD).
inline constexpr const char* kRecordTextNames[] = {"Settings", "Result", "Address", "Time",
                                                   "Version", "Message"};
inline constexpr const char* kRecordNumberName = "ExitCode";
// The record's Result values.
inline constexpr const char* kRecordApplied = "applied";
inline constexpr const char* kRecordFailed = "failed";
inline constexpr const char* kRecordRetired = "retired";
inline constexpr const char* kRecordRetireFailed = "retire-failed";

struct MachineSettings {
    std::string address;
    bool https = false;
    bool ieMode = false;
    bool retire = false;
    std::string stamp;  // Settings; empty when the value is missing
};

// A text value (REG_SZ or REG_EXPAND_SZ) of `key`, or nothing: missing, of another type, or not
// readable in the code page.
std::optional<std::string> ReadTextValue(mdlReg& reg, RegKey root, const char* key, const char* name);

// The machine settings, or why there are none (no key, no Address). A value that is not of its
// type counts as missing; a text the code page cannot read, too.
Result<MachineSettings> ReadMachineSettings(mdlReg& reg);

}  // namespace zuv
