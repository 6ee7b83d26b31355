// Owns one open key of a RegistryApi and closes it on every path out of a scope. Callers
// close with Reset() on their normal paths, so that a failing close is not lost.
#pragma once

#include <utility>

#include "registry/registry_api.h"

namespace zuv {

class UniqueHKey {
public:
    explicit UniqueHKey(RegistryApi& api) : api_(api) {}
    UniqueHKey(const UniqueHKey&) = delete;
    UniqueHKey& operator=(const UniqueHKey&) = delete;
    // Still open here only on the way out of an error: that error is the one to report,
    // so a close that fails or throws as well is dropped.
    ~UniqueHKey() {
        try {
            Reset();
        } catch (...) {  // NOLINT(bugprone-empty-catch)
        }
    }

    RegKey Get() const { return key_; }
    // Where a create or open call stores the key it opened. A call that fails stores nothing,
    // so the key stays 0, which no call hands out: there is nothing to close.
    RegKey* Put() {
        Reset();
        return &key_;
    }
    // Closes the key; it counts as closed even when the close fails or throws.
    void Reset() {
        if (const RegKey key = std::exchange(key_, 0); key != 0) api_.CloseKey(key);
    }

private:
    RegistryApi& api_;
    RegKey key_ = 0;
};

}  // namespace zuv
