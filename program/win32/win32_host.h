// ProgramHost on Windows: the console or standard output of whoever started the program,
// message boxes, the account it runs as, and (Win32ApplyHost, Win32ProfileHost) what the runs
// below need.
#pragma once

#include "apply/win32_apply_host.h"
#include "apply/win32_profile_host.h"
#include "program/program_host.h"

namespace zuv {

class Win32Host final : public ProgramHost {
public:
    ApplyHost& Apply() override { return apply_; }
    ProfileHost& Profiles() override { return profiles_; }
    Result<> WriteOutput(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool RunsAsLocalSystem() override;

private:
    Win32ApplyHost apply_;
    Win32ProfileHost profiles_;
};

}  // namespace zuv
