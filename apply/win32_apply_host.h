// ApplyHost on Windows: the local time, the account and computer names, the backup folder of the
// user's local application data, the log file, files to export to, and the URL security manager.
#pragma once

#include "apply/apply_host.h"

namespace zuv {

class Win32ApplyHost final : public ApplyHost {
public:
    LocalTime Now() override;
    std::string UserName() override;
    std::string ComputerName() override;
    Result<std::string> SaveBackup(const std::vector<unsigned char>& document) override;
    Result<std::string> DefaultLogFile() override;
    Result<> AppendLogLine(const std::string& file, const std::string& line) override;
    Result<std::vector<std::string>> BackupNames() override;
    Result<std::vector<unsigned char>> ReadBackup(const std::string& name) override;
    Result<> RenameBackup(const std::string& name, const std::string& newName) override;
    Result<> WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) override;
    UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol) override;
};

}  // namespace zuv
