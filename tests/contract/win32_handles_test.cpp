// The Windows backend owns the handles it hands out as numbers: a key closed through it is
// released at once, and keys still open when the backend goes are released with it.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <vector>

#include "registry/win32_registry.h"

namespace zuv::contract {
namespace {

// The handles this process holds, as the system lists every process's handles
// (SystemHandleInformation); GetProcessHandleCount is no help, Wine answers it with 0.
DWORD ProcessHandles() {
    struct Entry {
        ULONG ownerPid;
        BYTE objectType;
        BYTE flags;
        USHORT handle;
        PVOID object;
        ULONG access;
    };
    struct Listing {
        ULONG count;
        Entry entries[1];
    };
    using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
    static const auto query =
        reinterpret_cast<Query>(reinterpret_cast<void*>(
            GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
    constexpr ULONG kSystemHandleInformation = 16;
    std::vector<unsigned char> buffer(1 << 16);
    for (;;) {
        ULONG needed = 0;
        const LONG status = query(kSystemHandleInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &needed);
        if (status == static_cast<LONG>(0xC0000004)) {  // STATUS_INFO_LENGTH_MISMATCH
            buffer.resize(std::max<std::size_t>(buffer.size() * 2, needed + 4096));
            continue;
        }
        EXPECT_EQ(status, 0) << "no listing of handles";
        if (status != 0) return 0;
        break;
    }
    const auto* listing = reinterpret_cast<const Listing*>(buffer.data());
    DWORD mine = 0;
    for (ULONG i = 0; i < listing->count; ++i) {
        if (listing->entries[i].ownerPid == GetCurrentProcessId()) ++mine;
    }
    return mine;
}

TEST(Win32RegistryHandles, ClosedOneByOneAndWhatIsLeftWithTheBackend) {
    const DWORD before = ProcessHandles();
    {
        Win32Registry registry;
        RegKey keys[8] = {};
        for (RegKey& key : keys) {
            ASSERT_EQ(registry.OpenKeyEx(kHkeyCurrentUser, "Software", kReadAccess, &key), kErrorSuccess);
        }
        ASSERT_EQ(registry.OpenHandleCount(), 8u);
        ASSERT_EQ(ProcessHandles(), before + 8) << "the listing does not show registry keys";
        EXPECT_EQ(registry.CloseKey(keys[0]), kErrorSuccess);
        EXPECT_EQ(registry.CloseKey(keys[0]), ERROR_INVALID_HANDLE);  // gone from the map too
        EXPECT_EQ(ProcessHandles(), before + 7);
        EXPECT_EQ(registry.OpenHandleCount(), 7u);
    }
    EXPECT_EQ(ProcessHandles(), before);
}

TEST(Win32RegistryHandles, StoredValuesAreReadWithoutKeepingTheKey) {
    const char* const path = "Software\\ZUVTest\\Win32Handles";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const BYTE text[] = "x";
    const LONG written = RegSetValueExA(key, "v", 0, REG_SZ, text, sizeof text);
    RegCloseKey(key);
    ASSERT_EQ(written, ERROR_SUCCESS);
    const DWORD before = ProcessHandles();
    Win32StoredRegistry stored;
    std::vector<StoredValue> values;
    EXPECT_EQ(stored.ReadKey(kHkeyCurrentUser, path, values), kErrorSuccess);
    EXPECT_EQ(values.size(), 1u);
    EXPECT_EQ(ProcessHandles(), before);
    EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, path), ERROR_SUCCESS);
    EXPECT_EQ(stored.ReadKey(kHkeyCurrentUser, "Software\\ZUVTest\\No such key", values),
              ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ProcessHandles(), before);
}

}  // namespace
}  // namespace zuv::contract
