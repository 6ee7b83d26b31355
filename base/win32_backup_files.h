// Writing and pruning the backup files on Windows. Folders and paths are UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "base/backup_files.h"

namespace zuv {

struct WrittenBackup {
    std::string path;   // the file written
    std::string error;  // why none was, in the user's words; empty when `path` holds it
};

// Writes a backup file into `folder`, made when missing, under NextBackupName: created new
// (never over another file), written whole and flushed to disk before it is closed. When that
// fails, no file is left behind.
WrittenBackup WriteBackupFile(const std::string& folder, BackupTime now,
                              const std::vector<unsigned char>& bytes);

// Removes the oldest backup files of `folder` so that the newest `keep` remain. Empty, or why
// a file could not be removed (the others are removed all the same).
std::string PruneBackups(const std::string& folder, std::size_t keep = kBackupsKept);

// The local time now, to the millisecond.
BackupTime LocalNow();

}  // namespace zuv
