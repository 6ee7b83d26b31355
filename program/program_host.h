// What the program needs from the system it runs on beyond the registry, the window and what an
// apply needs (ApplyHost): where its output goes, the URL security manager, the account it runs
// as, the backup folder as /undo reads it, and files /export writes. The Win32 program
// implements it; tests use a fake.
#pragma once

#include <string>
#include <vector>

#include "apply/apply_host.h"
#include "base/result.h"
#include "browser_config/zone_check.h"

namespace zuv {

class ProgramHost {
public:
    virtual ~ProgramHost() = default;

    // What every apply of this run needs of the system.
    virtual ApplyHost& Apply() = 0;

    // Writes UTF-8 text, lines ending in '\n', for whoever started the program: to its
    // console, or to its standard output when that goes to a file or a pipe. Fails when there
    // is neither, or the text could not be written.
    virtual Result<> WriteOutput(const std::string& text) = 0;
    // A message box, for a run that was not asked to be quiet and has nowhere to write.
    virtual void ShowMessage(const std::string& text) = 0;

    // The zone the platform's URL security manager gives PROTOCOL://ADDRESS/ ("http", "https").
    virtual UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol) = 0;

    // Whether the program runs as the LocalSystem account, whose settings are not a user's.
    virtual bool RunsAsLocalSystem() = 0;

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
};

}  // namespace zuv
