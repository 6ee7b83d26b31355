// What an apply needs of the system beyond the registry: where its backup and its log line go,
// who runs it and when. On Windows it is Win32ApplyHost (apply/win32_apply_host.h); tests use a
// fake.
#pragma once

#include <string>
#include <vector>

#include "base/local_time.h"
#include "base/result.h"

namespace zuv {

class ApplyHost {
public:
    virtual ~ApplyHost() = default;

    virtual LocalTime Now() = 0;
    virtual std::string UserName() = 0;
    virtual std::string ComputerName() = 0;

    // Saves the backup of an apply (a whole .reg file) as a new file of the user's backup
    // folder, %LOCALAPPDATA%\ZUVPortalSetting\backup, complete and on disk before this returns;
    // keeps the original when the folder has none yet (backup/backup_files.h), and removes the
    // oldest backups beyond the newest kBackupsKept. The file's path.
    virtual Result<std::string> SaveBackup(const std::vector<unsigned char>& document) = 0;

    // The log file used when the command line names none.
    virtual Result<std::string> DefaultLogFile() = 0;
    // Appends one line (UTF-8, without a line break) to the file, whole, in one write, so that
    // lines of programs writing at the same time never mix. A new file starts with a UTF-8
    // byte-order mark.
    virtual Result<> AppendLogLine(const std::string& file, const std::string& line) = 0;
};

}  // namespace zuv
