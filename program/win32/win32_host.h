// ProgramHost on Windows: the console or standard output of whoever started the program, the
// URL security manager, the account it runs as, the backup folder, and (Win32ApplyHost) what
// every apply needs.
#pragma once

#include "apply/win32_apply_host.h"
#include "program/program_host.h"

namespace zuv {

class Win32Host final : public ProgramHost {
public:
    ApplyHost& Apply() override { return apply_; }
    Result<> WriteOutput(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol) override;
    bool RunsAsLocalSystem() override;
    Result<std::vector<std::string>> BackupNames() override;
    Result<std::vector<unsigned char>> ReadBackup(const std::string& name) override;
    Result<> RenameBackup(const std::string& name, const std::string& newName) override;
    Result<> WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) override;

private:
    Win32ApplyHost apply_;
};

}  // namespace zuv
