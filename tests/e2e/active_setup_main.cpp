// What Windows does for Active Setup when a user logs on, which Wine does not do: for each entry
// of HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Active Setup\Installed Components whose IsInstalled
// is not 0 (a missing one counts as 1), the entry's StubPath runs when the user's own entry
// (the same path below HKEY_CURRENT_USER) has no Version or a lower one, and Windows waits for
// it; then the machine's Version is recorded for the user, whatever the stub's exit code.
// Versions are compared as Windows compares them: up to four numbers separated by commas (or
// dots), a missing number counting as 0, the first that differs deciding.
//
//   zuv_active_setup.exe      one logon's pass; prints "ran {ENTRY} exit N: STUBPATH" for each
//                             stub run, nothing else; exit 0, or 1 when a stub could not be
//                             started or did not end within two minutes
#include <windows.h>

#include <array>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* kComponents = L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components";

std::optional<std::wstring> Text(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD size = 0;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
    size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr,
                     value.data(), &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    value.resize(wcslen(value.c_str()));
    return value;
}

std::optional<DWORD> Number(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

std::array<unsigned long long, 4> VersionOf(const std::wstring& text) {
    std::array<unsigned long long, 4> parts{};
    std::size_t part = 0;
    for (const wchar_t c : text) {
        if (c >= L'0' && c <= L'9') {
            parts[part] = parts[part] * 10 + static_cast<unsigned long long>(c - L'0');
        } else if ((c == L',' || c == L'.') && ++part == parts.size()) {
            break;
        } else if (c != L',' && c != L'.') {
            break;
        }
    }
    return parts;
}

std::vector<std::wstring> Entries() {
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kComponents, 0, KEY_ENUMERATE_SUB_KEYS, &key) != ERROR_SUCCESS) {
        return names;
    }
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(key);
    return names;
}

// Runs the stub and waits for it: its exit code, or nothing when it did not start or end.
std::optional<DWORD> RunStub(const std::wstring& stubPath) {
    wchar_t expanded[4096];
    if (ExpandEnvironmentStringsW(stubPath.c_str(), expanded, 4096) == 0) return std::nullopt;
    std::wstring command = expanded;
    // As at logon: no console and no output for the stub.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        return std::nullopt;
    }
    std::optional<DWORD> code;
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        code = exitCode;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

}  // namespace

int wmain() {
    int status = 0;
    for (const std::wstring& name : Entries()) {
        const std::wstring key = std::wstring(kComponents) + L"\\" + name;
        if (Number(HKEY_LOCAL_MACHINE, key, L"IsInstalled").value_or(1) == 0) continue;
        const auto stubPath = Text(HKEY_LOCAL_MACHINE, key, L"StubPath");
        const std::wstring version = Text(HKEY_LOCAL_MACHINE, key, L"Version").value_or(L"");
        const auto mine = Text(HKEY_CURRENT_USER, key, L"Version");
        if (mine && !(VersionOf(*mine) < VersionOf(version))) continue;
        if (stubPath && !stubPath->empty()) {
            const auto code = RunStub(*stubPath);
            if (code) {
                std::wprintf(L"ran %ls exit %lu: %ls\n", name.c_str(), static_cast<unsigned long>(*code),
                             stubPath->c_str());
            } else {
                std::wprintf(L"failed %ls: %ls\n", name.c_str(), stubPath->c_str());
                status = 1;
            }
        }
        HKEY user = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &user,
                            nullptr) == ERROR_SUCCESS) {
            RegSetValueExW(user, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version.c_str()),
                           static_cast<DWORD>((version.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(user);
        }
    }
    std::fflush(stdout);
    return status;
}
