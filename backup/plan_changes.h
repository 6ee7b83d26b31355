// What a plan changes, value for value, compared with the registry as it is stored now: for the
// dry run that tells an administrator what an apply would do before it does it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "base/result.h"
#include "registry/overlay_registry.h"
#include "registry/stored_registry.h"

namespace zuv {

// One value whose type or data the plan changes; `before` or `after` is missing where the value
// is not there.
struct ValueChange {
    RegKey root = 0;
    std::string path;
    std::string name;
    std::optional<StoredValue> before;
    std::optional<StoredValue> after;
};

struct PlanChanges {
    std::vector<KeyPlace> createdKeys;  // keys made that are there at the end, parents first
    std::vector<KeyPlace> deletedKeys;  // keys deleted that are gone at the end
    std::vector<ValueChange> values;    // in the order first written, then those deleted with a key
    std::size_t unchanged = 0;          // values written again with the type and data they have
};

// The plan's net effect on the registry as `stored` holds it now. Fails for a plan without its
// end known, or a key that cannot be read.
Result<PlanChanges> ChangesOf(const PlannedWrites& planned, StoredRegistry& stored);

// A value's type and data as an administrator reads them: REG_DWORD 3, REG_SZ "text",
// REG_MULTI_SZ "a" "b", REG_BINARY 01 02; "（无）" when there is none.
std::string ValueDataText(const std::optional<StoredValue>& value);

// One line per created key, deleted key and changed value, e.g.
// HKEY_CURRENT_USER\...\Zones\2\  "1001"  REG_DWORD 3 -> REG_DWORD 0
std::string ChangesText(const PlanChanges& changes);

}  // namespace zuv
