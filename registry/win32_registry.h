// The Windows backend of RegistryApi: each call forwards to its advapi32 ANSI function.
// Real key handles are pointer-sized, so every handle this object opens is handed out as a
// small 32-bit number and looked up again on each call. Win32StoredRegistry reads what is
// stored with the Unicode functions, byte for byte.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "registry/registry_api.h"
#include "registry/stored_registry.h"

namespace zuv {

// Closes a real key handle (an HKEY) with RegCloseKey.
struct HkeyCloser {
    void operator()(void* handle) const;
};
// An open key handle of the platform, closed when its owner goes.
using UniqueHkey = std::unique_ptr<void, HkeyCloser>;

class Win32Registry : public RegistryApi {
public:
    Win32Registry() = default;
    Win32Registry(const Win32Registry&) = delete;
    Win32Registry& operator=(const Win32Registry&) = delete;
    // Every handle still open is closed with its owner.
    ~Win32Registry() override = default;

    long CreateKeyEx(RegKey root, const std::string& subKey, const std::string& keyClass,
                     std::uint32_t access, bool inheritHandle, RegKey* result,
                     std::uint32_t* disposition) override;
    long OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                   RegKey* result) override;
    long CloseKey(RegKey key) override;
    long SetValueEx(RegKey key, const std::string& valueName, std::uint32_t type,
                    const unsigned char* data, std::uint32_t size) override;
    long QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size) override;
    long DeleteValue(RegKey key, const std::string& valueName) override;
    long DeleteKey(RegKey key, const std::string& subKey) override;
    long QueryInfoKey(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                      std::uint32_t* values, std::uint32_t* maxValueNameLen) override;
    long EnumKeyEx(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) override;
    long EnumValue(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen,
                   std::uint32_t* type) override;
    std::string ErrorText(long code) override;

    std::size_t OpenHandleCount() const { return handles_.size(); }

private:
    // The real handle behind a number; null when the number is neither a predefined root
    // nor a handle this object has open.
    void* Lookup(RegKey key) const;
    RegKey Remember(UniqueHkey handle);

    std::map<RegKey, UniqueHkey> handles_;
    RegKey nextId_ = 1;
};

class Win32StoredRegistry : public StoredRegistry {
public:
    long ReadKey(RegKey root, const std::string& path, std::vector<StoredValue>& values) override;
    std::string ErrorText(long code) override;
};

}  // namespace zuv
