// What the program needs from the system it runs on beyond the registry and the window: where
// its output goes, who runs it, the clock, and the log file. The Win32 program implements it;
// tests use a fake.
#pragma once

#include <string>
#include <vector>

#include "browser_config/zone_check.h"

namespace zuv {

// Where a backup went.
struct SavedBackup {
    std::string path;   // the backup file; empty when none was written
    std::string error;  // why none was, in the user's words
};

// The local time with its offset from UTC, in minutes east of it.
struct LocalTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    int offsetMinutes = 0;
};

class ProgramHost {
public:
    virtual ~ProgramHost() = default;

    // Writes UTF-8 text, lines ending in '\n', for whoever started the program: to its
    // console, or to its standard output when that goes to a file or a pipe. False when there
    // is neither, or the text could not be written.
    virtual bool WriteOutput(const std::string& text) = 0;
    // A message box, for a run that was not asked to be quiet and has nowhere to write.
    virtual void ShowMessage(const std::string& text) = 0;

    // The zone the platform's URL security manager gives PROTOCOL://ADDRESS/ ("http", "https").
    virtual UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol) = 0;

    // Whether the program runs as the LocalSystem account, whose settings are not a user's.
    virtual bool RunsAsLocalSystem() = 0;
    virtual LocalTime Now() = 0;
    virtual std::string UserName() = 0;
    virtual std::string ComputerName() = 0;

    // Saves the backup of an apply (a whole .reg file) as a new file of the user's backup
    // folder, %LOCALAPPDATA%\ZUVPortalSetting\backup, complete and on disk before this returns;
    // keeps the original when the folder has none yet (backup/backup_files.h), and removes the
    // oldest backups beyond the newest 30.
    virtual SavedBackup SaveBackup(const std::vector<unsigned char>& document) = 0;

    // The names of the files in the backup folder; none, and no error, when there is no folder
    // yet. False, with `error` saying why, when the folder cannot be read.
    virtual bool BackupNames(std::vector<std::string>& names, std::string& error) = 0;
    // The whole file `name` of the backup folder.
    virtual bool ReadBackup(const std::string& name, std::vector<unsigned char>& bytes,
                            std::string& error) = 0;
    // Gives the file `name` of the backup folder the name `newName`, never over another file.
    virtual bool RenameBackup(const std::string& name, const std::string& newName,
                              std::string& error) = 0;
    // Writes `bytes` as the whole file `path`, made new or replaced, complete before this
    // returns.
    virtual bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes,
                                std::string& error) = 0;

    // The log file used when the command line names none; empty, with `error` saying why,
    // when there is no such place.
    virtual std::string DefaultLogFile(std::string& error) = 0;
    // Appends one line (UTF-8, without a line break) to the file, whole, in one write, so that
    // lines of programs writing at the same time never mix. A new file starts with a UTF-8
    // byte-order mark. False, with `error` saying why, when the line could not be written.
    virtual bool AppendLogLine(const std::string& file, const std::string& line,
                               std::string& error) = 0;
};

}  // namespace zuv
