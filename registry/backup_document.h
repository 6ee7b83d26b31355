// The backup taken before an apply: a .reg file in the format Windows' own tools import
// (double-click, regedit, "reg import"): UTF-16LE with a byte-order mark, CRLF line ends, first
// line "Windows Registry Editor Version 5.00". Importing it gives every value the apply writes
// or deletes back its type and data from before (or removes it when it was not there), and
// removes the keys the apply creates.
#pragma once

#include <string>
#include <vector>

#include "registry/overlay_registry.h"
#include "registry/stored_registry.h"

namespace zuv {

struct BackupDocument {
    std::vector<unsigned char> bytes;  // the whole file
    std::string error;                 // why there is none, in the user's words; empty when there is
};

// The backup of what `planned` will change, from the registry as `stored` holds it now.
BackupDocument MakeBackupDocument(const PlannedWrites& planned, StoredRegistry& stored);

}  // namespace zuv
