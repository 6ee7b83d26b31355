// What the runs of this layer (the apply, the dry run, the undo, the check) need of the system
// beyond the registry: where backups and log lines go, the backup folder, who runs them and
// when, files to export to, and the browser's own zone of a site. On Windows it is
// Win32ApplyHost (apply/win32_apply_host.h); tests use a fake.
#pragma once

#include <string>
#include <vector>

#include "base/local_time.h"
#include "base/result.h"
#include "browser_config/zone_check.h"

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

    // The names of the files in the backup folder; none when there is no folder yet. Fails
    // when the folder cannot be read.
    virtual Result<std::vector<std::string>> BackupNames() = 0;
    // The whole file `name` of the backup folder.
    virtual Result<std::vector<unsigned char>> ReadBackup(const std::string& name) = 0;
    // Gives the file `name` of the backup folder the name `newName`, never over another file.
    virtual Result<> RenameBackup(const std::string& name, const std::string& newName) = 0;
    // Writes `bytes` as the whole file `path`, made new or replaced, complete before this
    // returns.
    virtual Result<> WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) = 0;

    // The zone the platform's URL security manager gives PROTOCOL://ADDRESS/ ("http", "https").
    virtual UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol) = 0;
};

}  // namespace zuv
