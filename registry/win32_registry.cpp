#include "registry/win32_registry.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "base/win32_text.h"

namespace zuv {

namespace {

// Predefined roots are 32-bit negative numbers that Win64 sign-extends into a handle
// (HKEY_CURRENT_USER is 0xFFFFFFFF80000001 there).
constexpr RegKey kPredefinedBit = 0x80000000u;

HKEY PredefinedHandle(RegKey root) {
    const auto extended = static_cast<LONG_PTR>(static_cast<LONG>(root));
    return reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(extended));
}

HKEY AsHkey(void* handle) { return static_cast<HKEY>(handle); }

LPSTR Mutable(const std::string& text) { return const_cast<LPSTR>(text.c_str()); }

std::string ErrorTextOf(long code) { return SystemErrorText(static_cast<DWORD>(code)); }

}  // namespace

// A close at the end of an owner's life has no caller left to hear whether it failed.
void HkeyCloser::operator()(void* handle) const { (void)RegCloseKey(AsHkey(handle)); }

void* Win32Registry::Lookup(RegKey key) const {
    if ((key & kPredefinedBit) != 0) return PredefinedHandle(key);
    const auto found = handles_.find(key);
    return found == handles_.end() ? nullptr : found->second.get();
}

RegKey Win32Registry::Remember(UniqueHkey handle) {
    // Numbers stay below the predefined range and are never reused while still open.
    while (nextId_ == 0 || (nextId_ & kPredefinedBit) != 0 || handles_.count(nextId_) != 0) {
        nextId_ = (nextId_ & kPredefinedBit) != 0 ? 1 : nextId_ + 1;
    }
    const RegKey id = nextId_++;
    handles_.emplace(id, std::move(handle));
    return id;
}

long Win32Registry::CreateKeyEx(RegKey root, const std::string& subKey,
                                const std::string& keyClass, std::uint32_t access,
                                bool inheritHandle, RegKey* result,
                                std::uint32_t* disposition) {
    HKEY parent = AsHkey(Lookup(root));
    if (parent == nullptr) return ERROR_INVALID_HANDLE;
    SECURITY_ATTRIBUTES security{};
    security.nLength = sizeof security;
    security.lpSecurityDescriptor = nullptr;
    security.bInheritHandle = inheritHandle ? TRUE : FALSE;
    HKEY created = nullptr;
    DWORD how = disposition != nullptr ? static_cast<DWORD>(*disposition) : 0;
    const LONG rc = RegCreateKeyExA(parent, subKey.c_str(), 0, Mutable(keyClass), 0,
                                    static_cast<REGSAM>(access), &security,
                                    result != nullptr ? &created : nullptr, &how);
    if (rc == ERROR_SUCCESS && result != nullptr) *result = Remember(UniqueHkey(created));
    if (disposition != nullptr) *disposition = static_cast<std::uint32_t>(how);
    return rc;
}

long Win32Registry::OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                              RegKey* result) {
    HKEY parent = AsHkey(Lookup(root));
    if (parent == nullptr) return ERROR_INVALID_HANDLE;
    HKEY opened = nullptr;
    const LONG rc = RegOpenKeyExA(parent, subKey.c_str(), 0, static_cast<REGSAM>(access),
                                  result != nullptr ? &opened : nullptr);
    if (rc == ERROR_SUCCESS && result != nullptr) *result = Remember(UniqueHkey(opened));
    return rc;
}

long Win32Registry::CloseKey(RegKey key) {
    if ((key & kPredefinedBit) != 0) return RegCloseKey(PredefinedHandle(key));
    const auto found = handles_.find(key);
    if (found == handles_.end()) return ERROR_INVALID_HANDLE;
    // Closed here rather than by its owner, so that the close's result reaches the caller.
    const LONG rc = RegCloseKey(AsHkey(found->second.release()));
    handles_.erase(found);
    return rc;
}

long Win32Registry::SetValueEx(RegKey key, const std::string& valueName, std::uint32_t type,
                               const unsigned char* data, std::uint32_t size) {
    HKEY handle = AsHkey(Lookup(key));
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    return RegSetValueExA(handle, valueName.c_str(), 0, static_cast<DWORD>(type), data,
                          static_cast<DWORD>(size));
}

long Win32Registry::QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                                 unsigned char* data, std::uint32_t* size) {
    HKEY handle = AsHkey(Lookup(key));
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    DWORD valueType = type != nullptr ? static_cast<DWORD>(*type) : 0;
    DWORD valueSize = size != nullptr ? static_cast<DWORD>(*size) : 0;
    const LONG rc = RegQueryValueExA(handle, valueName.c_str(), nullptr,
                                     type != nullptr ? &valueType : nullptr, data,
                                     size != nullptr ? &valueSize : nullptr);
    if (type != nullptr) *type = static_cast<std::uint32_t>(valueType);
    if (size != nullptr) *size = static_cast<std::uint32_t>(valueSize);
    return rc;
}

long Win32Registry::DeleteValue(RegKey key, const std::string& valueName) {
    HKEY handle = AsHkey(Lookup(key));
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    return RegDeleteValueA(handle, valueName.c_str());
}

long Win32Registry::DeleteKey(RegKey key, const std::string& subKey) {
    HKEY handle = AsHkey(Lookup(key));
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    return RegDeleteKeyA(handle, subKey.c_str());
}

long Win32Registry::QueryInfoKey(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                                 std::uint32_t* values, std::uint32_t* maxValueNameLen) {
    HKEY handle = AsHkey(Lookup(key));
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    DWORD keyCount = 0;
    DWORD keyLen = 0;
    DWORD valueCount = 0;
    DWORD valueLen = 0;
    const LONG rc = RegQueryInfoKeyA(
        handle, nullptr, nullptr, nullptr, subKeys != nullptr ? &keyCount : nullptr,
        maxSubKeyLen != nullptr ? &keyLen : nullptr, nullptr,
        values != nullptr ? &valueCount : nullptr, maxValueNameLen != nullptr ? &valueLen : nullptr,
        nullptr, nullptr, nullptr);
    if (rc == ERROR_SUCCESS) {
        if (subKeys != nullptr) *subKeys = static_cast<std::uint32_t>(keyCount);
        if (maxSubKeyLen != nullptr) *maxSubKeyLen = static_cast<std::uint32_t>(keyLen);
        if (values != nullptr) *values = static_cast<std::uint32_t>(valueCount);
        if (maxValueNameLen != nullptr) *maxValueNameLen = static_cast<std::uint32_t>(valueLen);
    }
    return rc;
}

long Win32Registry::EnumKeyEx(RegKey key, std::uint32_t index, char* name,
                              std::uint32_t* nameLen) {
    HKEY handle = AsHkey(Lookup(key));
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    DWORD length = nameLen != nullptr ? static_cast<DWORD>(*nameLen) : 0;
    const LONG rc = RegEnumKeyExA(handle, static_cast<DWORD>(index), name,
                                  nameLen != nullptr ? &length : nullptr, nullptr, nullptr,
                                  nullptr, nullptr);
    if (nameLen != nullptr) *nameLen = static_cast<std::uint32_t>(length);
    return rc;
}

long Win32Registry::EnumValue(RegKey key, std::uint32_t index, char* name,
                              std::uint32_t* nameLen, std::uint32_t* type) {
    HKEY handle = AsHkey(Lookup(key));
    if (handle == nullptr) return ERROR_INVALID_HANDLE;
    DWORD length = nameLen != nullptr ? static_cast<DWORD>(*nameLen) : 0;
    DWORD valueType = type != nullptr ? static_cast<DWORD>(*type) : 0;
    const LONG rc = RegEnumValueA(handle, static_cast<DWORD>(index), name,
                                  nameLen != nullptr ? &length : nullptr, nullptr,
                                  type != nullptr ? &valueType : nullptr, nullptr, nullptr);
    if (nameLen != nullptr) *nameLen = static_cast<std::uint32_t>(length);
    if (type != nullptr) *type = static_cast<std::uint32_t>(valueType);
    return rc;
}

std::string Win32Registry::ErrorText(long code) { return ErrorTextOf(code); }

long Win32StoredRegistry::ReadKey(RegKey root, const std::string& path,
                                  std::vector<StoredValue>& values) {
    values.clear();
    HKEY opened = nullptr;
    LONG rc = RegOpenKeyExW(PredefinedHandle(root), Widen(path).c_str(), 0, KEY_QUERY_VALUE, &opened);
    if (rc != ERROR_SUCCESS) return rc;
    const UniqueHkey key(opened);
    std::vector<wchar_t> name(16384);  // the longest value name and its NUL
    std::vector<BYTE> data(4096);
    for (DWORD index = 0;;) {
        auto nameLength = static_cast<DWORD>(name.size());
        auto size = static_cast<DWORD>(data.size());
        DWORD type = 0;
        rc = RegEnumValueW(opened, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
        if (rc == ERROR_MORE_DATA) {
            data.resize(std::max<std::size_t>(size, data.size() * 2));
            continue;
        }
        if (rc != ERROR_SUCCESS) break;
        values.push_back({Narrow(std::wstring_view(name.data(), nameLength)), type,
                          std::vector<unsigned char>(data.begin(), data.begin() + size)});
        ++index;
    }
    return rc == ERROR_NO_MORE_ITEMS ? ERROR_SUCCESS : rc;
}

std::string Win32StoredRegistry::ErrorText(long code) { return ErrorTextOf(code); }

}  // namespace zuv
