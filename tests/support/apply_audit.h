// Checks on one apply that must hold whatever the address and whatever the registry did:
// the message matches what happened, nothing but the tool's own values changed, every
// value written stayed, and no key was left open.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "registry/codepage.h"
#include "tests/doubles/memory_registry.h"
#include "tests/support/apply_rig.h"
#include "tests/support/recording_registry.h"

namespace zuv::test {

struct StoredValue {
    std::string name;
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    bool operator==(const StoredValue&) const = default;
};
struct StoredKey {
    std::string path;  // "HKCU\Software\..." without a trailing backslash
    std::map<std::u32string, StoredValue> values;  // by folded name
};
// Every key of both roots, by folded path.
using Snapshot = std::map<std::u32string, StoredKey>;

Snapshot TakeSnapshot(const MemoryRegistry& memory, const AnsiCodePage& codePage);
// "HKCU\A\\B\" -> folded "HKCU\A\B": empty levels dropped, compared without regard to case.
std::u32string FoldPath(const std::string& utf8Path);
std::string RootedPath(RegKey root, const std::string& path);

// Values that belong to the user, not the tool: in sibling keys, and inside the keys the
// tool writes to. `sitePath` (relative to ZoneMap\Domains\, e.g. "example.com\www") adds
// a foreign value to that site's keys; empty for none.
std::vector<Seed> ForeignValues(const AnsiCodePage& codePage, const std::string& sitePath);

// Calls that write (those of a SetValue) and calls that list a range tree: when one of
// these is refused, the apply must say so.
bool IsWrite(const RecordedCall& call);
bool IsRangeTreeListing(const RecordedCall& call);

struct AuditInput {
    const Snapshot* before = nullptr;
    const Snapshot* after = nullptr;
    const std::vector<RecordedCall>* calls = nullptr;
    // The record of the same apply without faults, when there is one. The values the tool
    // owns are those it writes (or tries to) in either record; no other value may change.
    const std::vector<RecordedCall>* cleanCalls = nullptr;
    const std::vector<Seed>* foreign = nullptr;
    std::size_t openHandles = 0;
    std::vector<ShownMessage> messages;
    // The address itself raises a run-time error (e.g. text the code page cannot hold).
    bool runTimeErrorExpected = false;
};

// The audit's input for the rig's last apply: the two snapshots, the recorded calls, the
// keys left open and the messages shown. Callers add what else they know.
AuditInput AuditInputFor(ApplyRig& rig, const Snapshot& before, const Snapshot& after);

// Every broken rule, as a line of text; empty when the apply behaved.
std::vector<std::string> AuditApply(const AuditInput& input);

// Whether applying `address` must raise a run-time error of its own.
bool AddressRaises(const AnsiCodePage& codePage, const std::string& address);

}  // namespace zuv::test
