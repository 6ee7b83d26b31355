// ApplyHost on Windows: the local time, the account and computer names, the backup folder of the
// user's local application data, and the log file.
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
};

}  // namespace zuv
