// Owns one open key of a RegistryApi and closes it on every path out of a scope.
#pragma once

#include "registry/registry_api.h"

namespace zuv {

class UniqueHKey {
public:
    explicit UniqueHKey(RegistryApi& api) : api_(api) {}
    UniqueHKey(const UniqueHKey&) = delete;
    UniqueHKey& operator=(const UniqueHKey&) = delete;
    ~UniqueHKey() { Reset(); }

    RegKey Get() const { return key_; }
    bool Valid() const { return open_; }
    // Receives a handle from a create or open call; call Commit() when that call succeeded.
    RegKey* Put() {
        Reset();
        return &key_;
    }
    void Commit() { open_ = true; }
    void Reset() {
        if (open_) api_.CloseKey(key_);
        open_ = false;
        key_ = 0;
    }

private:
    RegistryApi& api_;
    RegKey key_ = 0;
    bool open_ = false;
};

}  // namespace zuv
