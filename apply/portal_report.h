// The report of every user (/report): for each user profile of the machine, what the per-user run
// (/logon) recorded in that user's hive, set against the machine settings the package wrote; one
// line per profile, a summary line, and an exit code for detection and compliance scripts.
// Reads only: the registry through `reg` (the machine settings), the profiles through a
// ProfileHost.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "apply/machine_package.h"
#include "apply/profile_host.h"
#include "apply/run_report.h"
#include "registry/mdlReg.h"

namespace zuv {

// The report's exit code when no user failed but some are not done yet (or cannot be read now);
// 0 is every user done, 1 at least one failed, 2 no report.
inline constexpr int kExitNotAllDone = 3;

// Where a user stands with the machine's current settings.
enum class UserState {
    Done,         // the record holds the current settings, applied (or retired when the machine retires them)
    Failed,       // the record holds the current settings, and the run failed
    NotYet,       // no record, or a record of other settings (or of another outcome)
    NotReadable,  // the hive cannot be read now; counts as not yet
};

// Whether an entry of the profile list is a user's: a SID of a local or domain account
// (S-1-5-21-…) or of a Microsoft Entra ID account (S-1-12-1-…), digits only after the prefix.
// The service accounts (S-1-5-18, -19, -20), service and other virtual accounts (S-1-5-80-…,
// S-1-5-82-…, …) and entries whose name carries anything more (such as ".bak") are not.
bool IsUserProfileSid(std::string_view sid);

// Where a user stands by the record in their hive (none: no record), for the machine's
// settings stamp and its Retire switch.
UserState StateOf(const std::optional<StoredRecord>& record, const std::string& machineSettings,
                  bool retire);

// How many users stand where.
struct ReportCounts {
    int done = 0;
    int failed = 0;
    int notYet = 0;
    int notReadable = 0;
};

// 0 every user done, 1 at least one failed, 3 at least one not yet (or not readable) and none
// failed.
int ReportExitCode(const ReportCounts& counts);

// The report. Exit code as ReportExitCode says, or 2 when it cannot be made: no machine
// settings (the package is not installed), or no profile list.
RunReport ReportPortal(mdlReg& reg, ProfileHost& profiles);

}  // namespace zuv
