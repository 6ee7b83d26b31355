// The folder of backup files: one file per apply, named by the local date and time of the apply
// to the millisecond ("20261208-180655-123.reg"), so that the names sort in the order the
// applies ran; only the newest are kept. Beside them, never removed, the original: the backup
// that holds the state from before the tool's first apply in the profile
// ("original-20261208-180655-123.reg", named after the backup it is a copy of).
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/local_time.h"

namespace zuv {

using BackupTime = std::chrono::local_time<std::chrono::milliseconds>;

// The local date and time of `time`, to the millisecond (its offset plays no part in names).
BackupTime BackupTimeOf(const LocalTime& time);

inline constexpr std::size_t kBackupsKept = 30;

// How far ahead of the clock a backup's name may lie and still count as one of the tool's: the
// local time goes back an hour when summer time ends, and a day or so when the computer moves
// to another time zone. A name further ahead (a file someone named so, or left by a clock that
// was far off) is not the tool's: it neither holds back the names of new backups nor counts
// among the kept ones, and it is never removed.
inline constexpr std::chrono::hours kBackupClockSlack{48};

// "YYYYMMDD-HHMMSS-mmm.reg".
std::string BackupFileName(BackupTime time);
// The time a backup file's name stands for; nothing for any other name.
std::optional<BackupTime> BackupFileTime(std::string_view name);
// The time of `name` when it is one of the tool's backups at `now` (see kBackupClockSlack).
std::optional<BackupTime> OwnBackupTime(std::string_view name, BackupTime now);

// The name for the backup of an apply at `now`, among the names `existing` of the folder: that
// of `now`, or, when one of the tool's backups of that time or later is already there (two
// applies within one millisecond, or the clock set back), one millisecond after the newest. No
// two applies share a name, and the names keep the order the applies ran in.
std::string NextBackupName(BackupTime now, const std::vector<std::string>& existing);

// The tool's backup files among `names` to remove so that the newest `keep` remain, oldest
// first. Other files, the original among them, are no backups and stay.
std::vector<std::string> BackupsToPrune(const std::vector<std::string>& names, BackupTime now,
                                        std::size_t keep = kBackupsKept);

// What a file of the backup folder is, by its content (KindOfBackup in backup_document.h).
enum class BackupKind {
    Marked,    // a backup this version wrote: it carries the mark, and names the tool's places only
    Unmarked,  // names the tool's places only, without the mark: a backup of an earlier version
    Foreign,   // anything else: unreadable, not such a document, or naming any other place
};
// The kind of the file `name` of the folder, read when asked.
using KindOfFile = std::function<BackupKind(const std::string& name)>;

// "original-YYYYMMDD-HHMMSS-mmm.reg", for the backup of `time`.
std::string OriginalBackupFileName(BackupTime time);
// The original among `names`: of the names of OriginalBackupFileName's form that are not
// Foreign, a Marked one before any other, and the oldest of those (there is one unless two first
// applies ran at the same moment); an Unmarked one is the original an earlier version kept.
// Nothing when there is none.
std::optional<std::string> FindOriginalBackup(const std::vector<std::string>& names,
                                              const KindOfFile& kindOf);
// When `names` hold no original, the backup to keep as one: the oldest of the tool's backups
// that is Marked, which is the backup of the first apply when it is the only one. Only a file
// this version wrote becomes the original, never one merely named like a backup: an Unmarked
// file (an earlier version's backup, or a file written to look like one) is restored when asked
// for, but never made the state to go back to for good. Nothing when there is an original, or
// no such backup.
std::optional<std::string> BackupToKeepAsOriginal(const std::vector<std::string>& names,
                                                  BackupTime now, const KindOfFile& kindOf);

// Whether `name` is a file a backup is written into before it gets its name
// ("<backup or original name>.partial"): one that is still there when no apply runs is left by
// an apply that was ended while writing it.
bool IsUnfinishedBackup(std::string_view name);

}  // namespace zuv
