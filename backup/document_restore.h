// Importing a .reg document this program wrote, through the registry's ANSI functions: what an
// undo does with a backup.
#pragma once

#include <string>
#include <vector>

#include "backup/backup_document.h"
#include "registry/codepage.h"
#include "registry/registry_api.h"

namespace zuv {

// One document that brings back what the oldest of `oldestFirst` that names each value held:
// the state from before all of them, as far as they reach. Keys named "created" by any of them
// are named so; comments are not kept.
RegDocument EarliestOf(const std::vector<RegDocument>& oldestFirst);

// Sets every value of `document` with its type and data, deletes each "=-" value and each
// "[-KEY]" key (with its sub-keys), and then removes each key named on a "; created:" line
// when it holds neither values nor keys any more. Text data goes through the code page, as
// everything the program writes does. Goes on past a write that is refused: the result holds
// one line for each, naming the key or value and why; empty when everything was written.
std::vector<std::string> RestoreDocument(RegistryApi& registry, const AnsiCodePage& codePage,
                                         const RegDocument& document);

}  // namespace zuv
