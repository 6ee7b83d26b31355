// ProgramHost on Windows: the console or standard output of whoever started the program, the
// account it runs as, the local time, and the log file.
#pragma once

#include "program/program_host.h"

namespace zuv {

class Win32Host final : public ProgramHost {
public:
    bool WriteOutput(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol) override;
    bool RunsAsLocalSystem() override;
    LocalTime Now() override;
    std::string UserName() override;
    std::string ComputerName() override;
    SavedBackup SaveBackup(const std::vector<unsigned char>& document) override;
    bool BackupNames(std::vector<std::string>& names, std::string& error) override;
    bool ReadBackup(const std::string& name, std::vector<unsigned char>& bytes,
                    std::string& error) override;
    bool RenameBackup(const std::string& name, const std::string& newName,
                      std::string& error) override;
    bool WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes,
                        std::string& error) override;
    std::string DefaultLogFile(std::string& error) override;
    bool AppendLogLine(const std::string& file, const std::string& line,
                       std::string& error) override;
};

}  // namespace zuv
