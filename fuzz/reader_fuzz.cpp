// Any bytes as a file of the backup folder, as an undo reads it: parsed, merged as /undo:original
// merges (with itself, behind a backup of an apply), backed up through the copy-on-write view as
// the undo backs up what it will change, restored into the in-memory registry among the user's
// own values, and undone again with that backup. Whatever the bytes: nothing outside the tool's
// own places is ever written, no key is left open, the undo's own backup can always be made and
// read back, and restoring it brings back every value as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backup/backup_document.h"
#include "backup/document_restore.h"
#include "browser_config/browser_config.h"
#include "browser_config/own_places.h"
#include "registry/overlay_registry.h"
#include "tests/support/apply_audit.h"
#include "tests/support/apply_rig.h"

namespace {

using namespace zuv;
using namespace zuv::test;

[[noreturn]] void Fail(const std::vector<std::string>& problems, const std::vector<unsigned char>& bytes) {
    std::fprintf(stderr, "reading a backup of %zu bytes broke %zu rule(s):\n", bytes.size(), problems.size());
    for (const std::string& problem : problems) std::fprintf(stderr, "  %s\n", problem.c_str());
    std::abort();
}

// A snapshot's "HKCU\path" as its root and path.
void Split(const std::string& rooted, RegKey& root, std::string& path) {
    root = rooted.rfind("HKLM", 0) == 0 ? kHkeyLocalMachine : kHkeyCurrentUser;
    const std::size_t slash = rooted.find('\\');
    path = slash == std::string::npos ? std::string() : rooted.substr(slash + 1);
}

// Every change from `before` to `after` that is not the tool's to make.
std::vector<std::string> ForeignChanges(const Snapshot& before, const Snapshot& after) {
    std::vector<std::string> problems;
    RegKey root = 0;
    std::string path;
    for (const auto& [id, key] : after) {
        Split(key.path, root, path);
        const auto was = before.find(id);
        if (was == before.end() && !path.empty() && WhyNotOwnKeyToCreate(root, path)) {
            problems.push_back("key made: " + key.path);
        }
        for (const auto& [name, value] : key.values) {
            const bool same = was != before.end() && was->second.values.count(name) != 0 &&
                              was->second.values.at(name) == value;
            if (!same && WhyNotOwnValue(root, path, value.name)) {
                problems.push_back("value written: " + key.path + " \"" + value.name + "\"");
            }
        }
    }
    for (const auto& [id, key] : before) {
        Split(key.path, root, path);
        const auto now = after.find(id);
        if (now == after.end()) {
            // Below the trees anything may go; elsewhere only a key the tool may make, empty.
            const bool mayGo = !WhyNotOwnKeyToRemove(root, path) ||
                               (!WhyNotOwnKeyToCreate(root, path) && key.values.empty());
            if (!mayGo) problems.push_back("key removed: " + key.path);
            continue;
        }
        for (const auto& [name, value] : key.values) {
            if (now->second.values.count(name) == 0 && WhyNotOwnValue(root, path, value.name)) {
                problems.push_back("value removed: " + key.path + " \"" + value.name + "\"");
            }
        }
    }
    return problems;
}

bool Same(const Snapshot& a, const Snapshot& b) {
    if (a.size() != b.size()) return false;
    for (const auto& [id, key] : a) {
        const auto other = b.find(id);
        if (other == b.end() || other->second.values != key.values) return false;
    }
    return true;
}

// What every run starts from: the user's own values beside the tool's, a site's key with
// sub-keys (one empty), the trusted zone, a range.
void Prepare(ApplyRig& rig) {
    const std::string zoneMap = kZoneMapRoot;
    rig.Put(ForeignValues(*rig.codePage, "example.com"));
    rig.Put({
        {kHkeyCurrentUser, zoneMap + "Domains\\example.com\\", "http", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "Domains\\example.com\\www\\", "https", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "Domains\\example.com\\www\\deeper\\", "x", kRegSz, SzBytes(*rig.codePage, "门户")},
        {kHkeyCurrentUser, kTrustedZoneKey, "1001", kRegDword, DwordBytes(3)},
        {kHkeyCurrentUser, kPopupAllowKey, "portal", kRegBinary, {}},
        {kHkeyCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run\\", "x", kRegSz,
         SzBytes(*rig.codePage, "c:\\x.exe")},
    });
    RegKey key = 0;
    if (rig.memory.CreateKeyEx(kHkeyCurrentUser, zoneMap + "Domains\\example.com\\empty", "", kWriteAccess,
                               false, &key, nullptr) == kErrorSuccess) {
        rig.memory.CloseKey(key);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<unsigned char> bytes(data, data + size);
    Result<RegDocument> parsed = ParseRegDocument(bytes);
    if (!parsed) return 0;  // refused whole: nothing is ever written of it

    ApplyRig rig;
    Prepare(rig);
    const AnsiCodePage& codePage = *rig.codePage;
    MemoryStoredRegistry stored(rig.memory, codePage);
    const Snapshot before = TakeSnapshot(rig.memory, codePage);
    std::vector<std::string> problems;

    // As /undo:original merges: the document behind itself, what it names first wins.
    const RegDocument document = EarliestOf({parsed.Value(), parsed.Value()});
    // The undo's own backup, from the view of what the restore will change.
    std::vector<unsigned char> undoBackup;
    {
        OverlayRegistry view(rig.memory, codePage);
        (void)RestoreDocument(view, codePage, document);
        if (view.OpenHandleCount() != 0) problems.push_back("a key of the view left open");
        const Result<BackupDocument> backup = MakeBackupDocument(view.Planned(), stored, "undo");
        if (backup) {
            undoBackup = backup.Value().bytes;
        } else {
            problems.push_back("no backup of the restore: " + backup.Error());
        }
    }
    if (!Same(TakeSnapshot(rig.memory, codePage), before)) problems.push_back("the view wrote");

    const std::vector<std::string> refused = RestoreDocument(rig.memory, codePage, document);
    if (rig.memory.OpenHandleCount() != 0) problems.push_back("a key left open by the restore");
    for (std::string& problem : ForeignChanges(before, TakeSnapshot(rig.memory, codePage))) {
        problems.push_back(std::move(problem));
    }

    // Undoing the undo: its backup reads back, and brings every value back as it was.
    if (!undoBackup.empty()) {
        Result<RegDocument> again = ParseRegDocument(undoBackup);
        if (!again) {
            problems.push_back("the undo's backup does not read back: " + again.Error());
        } else {
            const std::vector<std::string> refusedAgain = RestoreDocument(rig.memory, codePage, again.Value());
            if (rig.memory.OpenHandleCount() != 0) problems.push_back("a key left open by the redo");
            const Snapshot after = TakeSnapshot(rig.memory, codePage);
            for (std::string& problem : ForeignChanges(before, after)) problems.push_back(std::move(problem));
            if (refused.empty() && refusedAgain.empty()) {
                // Keys the document made stay, empty; every value is back.
                for (const auto& [id, key] : before) {
                    const auto now = after.find(id);
                    if (now == after.end()) {
                        problems.push_back("not back: " + key.path);
                    } else if (now->second.values != key.values) {
                        problems.push_back("values not back: " + key.path);
                    }
                }
                for (const auto& [id, key] : after) {
                    if (before.count(id) == 0 && !key.values.empty()) problems.push_back("values left: " + key.path);
                }
            }
        }
    }
    if (!problems.empty()) Fail(problems, bytes);
    return 0;
}
