// How one run of the program ends: the apply's log, the quiet apply, usage, and the runs that
// are refused, each with its exit code. The window itself is opened by the Win32 program.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "apply/apply_log.h"
#include "apply/portal_apply.h"
#include "program/command_line.h"
#include "program/program_host.h"
#include "registry/mdlReg.h"

namespace zuv {

// Why the program must not run as asked, or nothing. These are one user's settings: a run
// with arguments as the LocalSystem account (as deployment systems run programs unless told
// otherwise) would configure that account's own profile. Started without arguments, the
// window is never refused.
std::optional<std::string> RefusalFor(const Invocation& invocation, ProgramHost& host);

// Opens the window on `reg`, with every apply backed up and logged as `records` say, and
// returns the exit code when it is unloaded.
using OpenWindow = std::function<int(mdlReg& reg, const ApplyRecords& records)>;

// One run of the program as the command line asks: usage, a command line not understood, a
// refusal, the check of an address, the dry run or quiet apply of an address, an undo, the
// machine package's per-user run (/logon), or the window. Returns the exit code.
int RunProgram(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
               const OpenWindow& openWindow);

}  // namespace zuv
