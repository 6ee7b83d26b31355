// The backup taken before an apply: a .reg file in the format Windows' own tools import
// (double-click, regedit, "reg import"): UTF-16LE with a byte-order mark, CRLF line ends, first
// line "Windows Registry Editor Version 5.00". Importing it undoes what the apply writes and
// nothing else: every value the apply writes or deletes gets back its type and data from
// before, a value it adds is removed, and a key it deletes comes back with the values it held.
// Keys the apply creates stay, without the values it put there: a .reg file removes a key only
// together with everything in it by then, which may be the user's own.
#pragma once

#include <string>
#include <vector>

#include "registry/overlay_registry.h"
#include "registry/stored_registry.h"

namespace zuv {

struct BackupDocument {
    std::vector<unsigned char> bytes;  // the whole file
    std::string error;                 // why there is none, in the user's words; empty when there is
    // Whether the plan changes anything at all, compared by its net effect: a value left with
    // the type and data it had, and a key deleted and made again with the same values, are no
    // change. Without the plan's end known, it does.
    bool changes = true;
};

// The backup of what `planned` will change, from the registry as `stored` holds it now.
BackupDocument MakeBackupDocument(const PlannedWrites& planned, StoredRegistry& stored);

}  // namespace zuv
