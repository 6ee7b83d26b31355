// The platform boundary: the ten ANSI registry functions the tool needs, one virtual call
// each, shaped like their advapi32 counterparts (same arguments, same result codes), so the
// Win32 backend only forwards and the in-memory backend can be checked against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zuv {

// A key handle. Predefined roots carry their documented 32-bit numbers.
using RegKey = std::uint32_t;

constexpr RegKey kHkeyCurrentUser = 0x80000001u;
constexpr RegKey kHkeyLocalMachine = 0x80000002u;

// The name the platform's tools give a predefined root ("HKEY_CURRENT_USER"), "?" for any other key.
constexpr const char* RootName(RegKey root) {
    return root == kHkeyCurrentUser    ? "HKEY_CURRENT_USER"
           : root == kHkeyLocalMachine ? "HKEY_LOCAL_MACHINE"
                                       : "?";
}

// Value types.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr std::uint32_t kRegMultiSz = 7;

// The number REG_DWORD data holds: its first four bytes, least significant first; a byte the
// data lacks reads as 0, bytes after the fourth are not part of it.
constexpr std::uint32_t DwordFromData(std::span<const unsigned char> data) {
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < 4 && i < data.size(); ++i) {
        number |= std::uint32_t{data[i]} << (8 * i);
    }
    return number;
}

// Access rights.
constexpr std::uint32_t kKeyQueryValue = 0x0001;
constexpr std::uint32_t kKeySetValue = 0x0002;
constexpr std::uint32_t kKeyCreateSubKey = 0x0004;
constexpr std::uint32_t kKeyEnumerateSubKeys = 0x0008;
constexpr std::uint32_t kKeyNotify = 0x0010;
constexpr std::uint32_t kKeyCreateLink = 0x0020;
constexpr std::uint32_t kReadControl = 0x00020000;
// Everything the tool's writes need: the six key rights plus read-control (0x2003F).
constexpr std::uint32_t kWriteAccess = kKeyQueryValue | kKeySetValue | kKeyCreateSubKey |
                                       kKeyEnumerateSubKeys | kKeyNotify | kKeyCreateLink |
                                       kReadControl;
// Read-only opening (KEY_READ, 0x20019): enough to query and list.
constexpr std::uint32_t kReadAccess =
    kKeyQueryValue | kKeyEnumerateSubKeys | kKeyNotify | kReadControl;

// Windows result codes used by the tool and by the in-memory backend.
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorInvalidHandle = 6;
constexpr long kErrorNotEnoughMemory = 8;
constexpr long kErrorInvalidParameter = 87;
constexpr long kErrorBadPathname = 161;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
constexpr long kErrorKeyDeleted = 1018;

constexpr std::uint32_t kRegCreatedNewKey = 1;
constexpr std::uint32_t kRegOpenedExistingKey = 2;

// Names and data cross this boundary as bytes in the system ANSI code page. A call that opens
// or creates a key stores its handle only when it succeeds; no handle is ever 0.
// Lengths follow the A functions: in characters (bytes) without the terminating NUL
// for names, in bytes for data.
class RegistryApi {
public:
    virtual ~RegistryApi() = default;

    // RegCreateKeyExA with options 0 (non-volatile) and SECURITY_ATTRIBUTES carrying no
    // descriptor and the given inherit flag. `keyClass` is stored on a newly created key.
    virtual long CreateKeyEx(RegKey root, const std::string& subKey, const std::string& keyClass,
                             std::uint32_t access, bool inheritHandle, RegKey* result,
                             std::uint32_t* disposition) = 0;
    virtual long OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                           RegKey* result) = 0;
    virtual long CloseKey(RegKey key) = 0;
    virtual long SetValueEx(RegKey key, const std::string& valueName, std::uint32_t type,
                            const unsigned char* data, std::uint32_t size) = 0;
    // `data` may be null to ask for the size. `type` and `size` are in/out as in advapi32.
    virtual long QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                              unsigned char* data, std::uint32_t* size) = 0;
    virtual long DeleteValue(RegKey key, const std::string& valueName) = 0;
    virtual long DeleteKey(RegKey key, const std::string& subKey) = 0;
    // Counts and longest name lengths (characters, no NUL) of sub-keys and values.
    virtual long QueryInfoKey(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                              std::uint32_t* values, std::uint32_t* maxValueNameLen) = 0;
    // `nameLen` in: buffer size in characters including room for the NUL;
    // out: characters copied, without the NUL.
    virtual long EnumKeyEx(RegKey key, std::uint32_t index, char* name,
                           std::uint32_t* nameLen) = 0;
    virtual long EnumValue(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen,
                           std::uint32_t* type) = 0;

    // The platform's own description of a result code, UTF-8, without trailing line breaks.
    virtual std::string ErrorText(long code) = 0;
};

}  // namespace zuv
