// Writing, keeping and pruning the backup files on Windows. Folders and paths are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "backup/backup_files.h"
#include "base/result.h"

namespace zuv {

// The largest backup file the program reads (64 MiB, some hundred thousand values): a larger one
// is none of the tool's.
inline constexpr std::size_t kLargestBackup = 64u << 20;

// The program's folder of the user's local application data
// (%LOCALAPPDATA%\ZUVPortalSetting), made when missing.
Result<std::string> ProgramFolder();
// Its backup folder (not made here).
Result<std::string> BackupFolder();

// Writes a backup file into `folder`, made when missing, under NextBackupName: created new
// (never over another file or folder), written whole and flushed to disk before it gets its
// name. When that fails, no file is left behind. What earlier applies that were ended while
// writing theirs left behind goes first (a file another apply is writing just now is open and
// stays). The file's path.
Result<std::string> WriteBackupFile(const std::string& folder, BackupTime now,
                              const std::vector<unsigned char>& bytes);

// When `folder` holds no original yet, keeps a copy of the backup BackupToKeepAsOriginal names
// (the oldest of this version's backups; files are read to tell) as the original, written as a backup is and never over another file. Fails when it could
// not be kept (the next apply tries again).
Result<> KeepOriginalBackup(const std::string& folder, BackupTime now);

// The original of `folder` (see FindOriginalBackup), or empty when there is none.
std::string OriginalBackupPath(const std::string& folder);

// Removes the oldest of the tool's backup files of `folder` so that the newest `keep` remain.
// Fails with the first file that could not be removed (the others are removed all the same).
Result<> PruneBackups(const std::string& folder, BackupTime now,
                         std::size_t keep = kBackupsKept);

}  // namespace zuv
