// Owns one open key of a RegistryApi and closes it on every path out of a scope. On a normal
// path the owner closes it with Close(), which hands back the close's result and lets an
// exception from it reach the caller like any other registry call's.
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
    // so the result of this close, or its exception, is dropped.
    ~UniqueHKey() {
        try {
            (void)Close();
        } catch (...) {  // NOLINT(bugprone-empty-catch)
        }
    }

    RegKey Get() const { return key_; }
    // Where a create or open call stores the key it opened. A call that fails stores nothing,
    // so the key stays 0, which no call hands out: there is nothing to close.
    RegKey* Put() {
        (void)Close();
        return &key_;
    }
    // Closes the key and returns the close's result code; kErrorSuccess when none was open.
    // The key counts as closed even when the close fails or throws.
    long Close() {
        const RegKey key = std::exchange(key_, 0);
        return key != 0 ? api_.CloseKey(key) : kErrorSuccess;
    }

private:
    RegistryApi& api_;
    RegKey key_ = 0;
};

}  // namespace zuv
