// What the program needs from the system it runs on beyond the registry, the window and what the
// runs below it need (ApplyHost): where its output goes, message boxes, and the account it runs
// as. The Win32 program implements it; tests use a fake.
#pragma once

#include <string>

#include "apply/apply_host.h"
#include "base/result.h"

namespace zuv {

class ProgramHost {
public:
    virtual ~ProgramHost() = default;

    // What the apply, the dry run, the undo and the check of this run need of the system.
    virtual ApplyHost& Apply() = 0;

    // Writes UTF-8 text, lines ending in '\n', for whoever started the program: to its
    // console, or to its standard output when that goes to a file or a pipe. Fails when there
    // is neither, or the text could not be written.
    virtual Result<> WriteOutput(const std::string& text) = 0;
    // A message box, for a run that was not asked to be quiet and has nowhere to write.
    virtual void ShowMessage(const std::string& text) = 0;

    // Whether the program runs as the LocalSystem account, whose settings are not a user's.
    virtual bool RunsAsLocalSystem() = 0;
};

}  // namespace zuv
