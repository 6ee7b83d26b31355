// ProgramHost on Windows: the console or standard output of whoever started the program,
// message boxes, the account it runs as, and (Win32ApplyHost) what the runs below need.
#pragma once

#include "apply/win32_apply_host.h"
#include "program/program_host.h"

namespace zuv {

class Win32Host final : public ProgramHost {
public:
    ApplyHost& Apply() override { return apply_; }
    Result<> WriteOutput(const std::string& text) override;
    void ShowMessage(const std::string& text) override;
    bool RunsAsLocalSystem() override;

private:
    Win32ApplyHost apply_;
};

}  // namespace zuv
