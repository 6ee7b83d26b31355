// The backup taken before an apply: a .reg file in the format Windows' own tools import
// (double-click, regedit, "reg import"): UTF-16LE with a byte-order mark, CRLF line ends, first
// line "Windows Registry Editor Version 5.00". Importing it undoes what the apply writes and
// nothing else: every value the apply writes or deletes gets back its type and data from
// before, a value it adds is removed, and a key it deletes comes back with the values it held.
// Keys the apply creates stay, without the values it put there: a .reg file removes a key only
// together with everything in it by then, which may be the user's own.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "backup/backup_files.h"
#include "base/result.h"
#include "registry/overlay_registry.h"
#include "registry/stored_registry.h"

namespace zuv {

// The comment line (after "; ") that every backup this program writes carries right below the
// first line: it tells the tool's backups from other files of the folder. It is no signature:
// what any file can change is bounded by the tool's own places all the same.
inline constexpr const char* kBackupMark = "ZUVPortalSetting backup";

struct BackupDocument {
    std::vector<unsigned char> bytes;  // the whole file
    // Whether the plan changes anything at all, compared by its net effect: a value left with
    // the type and data it had, and a key deleted and made again with the same values, are no
    // change. Without the plan's end known, it does.
    bool changes = true;
};

// The backup of what `planned` will change, from the registry as `stored` holds it now, marked
// with kBackupMark. Each
// key the plan creates (and leaves there) is named on a comment line "; created: [KEY]", which
// importers skip: an undo removes such a key when it is empty afterwards. `note`, when given,
// goes on a comment line of its own ("; NOTE"). A key the plan deletes comes back with all it
// held, empty or not.
// Fails, saying why, when a name cannot be written in a .reg file, the plan names a place that is
// not the tool's own (browser_config/own_places.h), or the registry cannot be read.
Result<BackupDocument> MakeBackupDocument(const PlannedWrites& planned, StoredRegistry& stored,
                                          const std::string& note = {});

// The plan's result as a .reg file of the same format, to import elsewhere for the same values:
// every value the plan writes with the type and data it ends with, "=-" for a value it ends
// without (a value of a key it deletes and makes again among them), "[-KEY]" for a key it
// deletes for good. `changes` tells whether importing it changes anything here.
Result<BackupDocument> MakeResultDocument(const PlannedWrites& planned, StoredRegistry& stored);

// One value line of a document: the value set, or, without one, "=-".
struct DocumentEntry {
    std::string name;  // UTF-8; empty for the default value "@"
    std::optional<StoredValue> value;
};

// One key section: "[KEY]" with its value lines, or "[-KEY]".
struct DocumentKey {
    RegKey root = 0;
    std::string path;  // UTF-8, below the root
    bool remove = false;
    std::vector<DocumentEntry> entries;
};

// A document as this program writes them, read back.
struct RegDocument {
    std::vector<DocumentKey> keys;
    std::vector<KeyPlace> createdKeys;  // from the "; created:" lines
    std::vector<std::string> notes;     // the other comment lines, without "; "
    bool marked = false;                // carries kBackupMark: a backup this version wrote
};

// Reads a document of the form MakeBackupDocument and MakeResultDocument write (UTF-16LE with
// its byte-order mark; key lines, "name"= / @= value lines with quoted text, dword:, hex: and
// hex(N): data continued over lines ending in '\', and =-). Every key, value, "; created:" and
// [-KEY] line must name one of the tool's own places (browser_config/own_places.h), as the
// program's own documents always do. Fails, naming the first line that is wrong and why, for
// anything else: another key or value, another root, a NUL, a carriage return inside a line or
// an unpaired surrogate anywhere. Nothing of a document that fails is ever written.
Result<RegDocument> ParseRegDocument(const std::vector<unsigned char>& bytes);

// What the file `bytes` of the backup folder is: Marked or Unmarked when ParseRegDocument reads
// it (with or without kBackupMark), Foreign when it does not.
BackupKind KindOfBackup(const std::vector<unsigned char>& bytes);

}  // namespace zuv
