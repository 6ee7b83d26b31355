// Owns one open key of a RegistryApi and closes it on every path out of a scope. Callers
// close with Reset() on their normal paths, so that a failing close is not lost.
#pragma once

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
    bool Valid() const { return open_; }
    // Receives a handle from a create or open call; call Commit() when that call succeeded.
    RegKey* Put() {
        Reset();
        return &key_;
    }
    void Commit() { open_ = true; }
    // Closes the key; the handle counts as closed even when the close fails or throws.
    void Reset() {
        const bool wasOpen = open_;
        const RegKey key = key_;
        open_ = false;
        key_ = 0;
        if (wasOpen) api_.CloseKey(key);
    }

private:
    RegistryApi& api_;
    RegKey key_ = 0;
    bool open_ = false;
};

}  // namespace zuv
