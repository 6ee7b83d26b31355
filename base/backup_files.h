// The folder of backup files: one file per apply, named by the local date and time of the apply
// to the millisecond ("20261208-180655-123.reg"), so that the names sort in the order the
// applies ran; only the newest are kept.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zuv {

using BackupTime = std::chrono::local_time<std::chrono::milliseconds>;

inline constexpr std::size_t kBackupsKept = 30;

// "YYYYMMDD-HHMMSS-mmm.reg".
std::string BackupFileName(BackupTime time);
// The time a backup file's name stands for; nothing for any other name.
std::optional<BackupTime> BackupFileTime(std::string_view name);

// The name for the backup of an apply at `now`, among the files `existing` of the folder: that
// of `now`, or, when a backup of that time or later is already there (two applies within one
// millisecond, or the clock set back), one millisecond after the newest. No two applies share
// a name, and the names keep the order the applies ran in.
std::string NextBackupName(BackupTime now, const std::vector<std::string>& existing);

// The backup files among `names` to remove so that the newest `keep` remain, oldest first.
// Other files are no backups and stay.
std::vector<std::string> BackupsToPrune(const std::vector<std::string>& names,
                                        std::size_t keep = kBackupsKept);

}  // namespace zuv
