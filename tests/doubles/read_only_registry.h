// A registry seen through a guard that lets only reading through: every write, and every
// opening that asks for more than read rights, is refused with ERROR_ACCESS_DENIED and noted.
// Tests put it beneath the copy-on-write view, which must never write to what it covers.
#pragma once

#include <string>
#include <vector>

#include "registry/registry_api.h"

namespace zuv {

class ReadOnlyRegistry : public RegistryApi {
public:
    explicit ReadOnlyRegistry(RegistryApi& inner) : inner_(inner) {}

    // The calls refused so far, by function name.
    const std::vector<std::string>& Refused() const { return refused_; }

    long CreateKeyEx(RegKey, const std::string&, const std::string&, std::uint32_t, bool, RegKey*,
                     std::uint32_t*) override {
        return Refuse("RegCreateKeyExA");
    }
    long OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                   RegKey* result) override {
        if ((access & ~kReadAccess) != 0) return Refuse("RegOpenKeyExA with write rights");
        return inner_.OpenKeyEx(root, subKey, access, result);
    }
    long CloseKey(RegKey key) override { return inner_.CloseKey(key); }
    long SetValueEx(RegKey, const std::string&, std::uint32_t, const unsigned char*,
                    std::uint32_t) override {
        return Refuse("RegSetValueExA");
    }
    long QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size) override {
        return inner_.QueryValueEx(key, valueName, type, data, size);
    }
    long DeleteValue(RegKey, const std::string&) override { return Refuse("RegDeleteValueA"); }
    long DeleteKey(RegKey, const std::string&) override { return Refuse("RegDeleteKeyA"); }
    long QueryInfoKey(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                      std::uint32_t* values, std::uint32_t* maxValueNameLen) override {
        return inner_.QueryInfoKey(key, subKeys, maxSubKeyLen, values, maxValueNameLen);
    }
    long EnumKeyEx(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) override {
        return inner_.EnumKeyEx(key, index, name, nameLen);
    }
    long EnumValue(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen,
                   std::uint32_t* type) override {
        return inner_.EnumValue(key, index, name, nameLen, type);
    }
    std::string ErrorText(long code) override { return inner_.ErrorText(code); }

private:
    long Refuse(const char* call) {
        refused_.emplace_back(call);
        return kErrorAccessDenied;
    }

    RegistryApi& inner_;
    std::vector<std::string> refused_;
};

}  // namespace zuv
