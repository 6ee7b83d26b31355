// The undo of an apply (/undo): a backup of the backup folder restored, after a backup of what
// the restore will change, and logged as an apply is.
#pragma once

#include <optional>
#include <string>

#include "apply/apply_host.h"
#include "apply/portal_apply.h"
#include "apply/run_report.h"

namespace zuv {

// The comment line that marks the backup an undo takes of what it is about to restore: /undo
// passes over such backups, so that undoing again undoes the apply before.
inline constexpr const char* kUndoNote = "undo";
// What an undo renames a backup it restored to: "NAME-undone.reg" for "NAME.reg".
std::string UndoneName(const std::string& name);

struct UndoRequest {
    // Empty for the newest backup not undone yet, "original" for the state before the tool's
    // first apply, or the name of one file of the backup folder.
    std::string target;
    std::optional<std::string> logFile;  // as the command line names it; else the host's default
};

// Exit code 0 restored, 1 a write was refused or the current values could not be backed up
// first (then nothing is written), 2 nothing to undo or a backup that cannot be read.
RunReport UndoPortal(const ProgramRegistry& registry, const UndoRequest& request, ApplyHost& host);

}  // namespace zuv
