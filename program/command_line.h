// The program's command line, parsed in one place into a plain description of the run.
// Options begin with '/' or '-', their names are case-insensitive, and a value follows the
// name after a colon: /address:ADDRESS, /log:FILE, /quiet, /check:ADDRESS, /https,
// /whatif, /export:FILE, /undo[:original|:BACKUP], /logon, /?.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "apply/portal_apply.h"

namespace zuv {

enum class RunMode {
    Window,   // the window; with an address, the window with that text in the address box
    Quiet,    // apply the address without any window or message box
    Check,    // tell whether http://ADDRESS/ is a trusted site, and why not; writes nothing
    WhatIf,   // tell what the apply of the address would change; writes nothing
    Undo,     // restore the newest backup of an apply, or the original
    Logon,    // the machine package's per-user run: apply (or retire) the machine's settings
    Usage,    // /?: how to use the program
    Invalid,  // the command line was not understood
};

struct Invocation {
    RunMode mode = RunMode::Window;
    bool hasArguments = false;
    // The address exactly as given after "/address:" (may be empty).
    std::optional<std::string> address;
    std::optional<std::string> logFile;
    // The address after "/check:".
    std::optional<std::string> checkAddress;
    // /https: the apply trusts the site over https as well as http; the check asks about
    // https://ADDRESS/ instead of http://ADDRESS/.
    bool https = false;
    // /whatif: the file that /export: names, to get the apply's result as a .reg file.
    std::optional<std::string> exportFile;
    // /undo: empty for the newest backup not undone yet, "original" for the original, or the
    // name of one backup file of the backup folder.
    std::optional<std::string> undoTarget;
    // /quiet (or /logon) was given, even when the command line as a whole was not understood:
    // such a run shows no window of any kind.
    bool quietAsked = false;
    // Invalid: one line saying what was not understood.
    std::string problem;
};

// `arguments` as CommandLineToArgvW splits them, without the program's own name, in UTF-8.
Invocation ParseCommandLine(const std::vector<std::string>& arguments);

// How to use the program, several lines; the last names the version.
std::string UsageText();


}  // namespace zuv
