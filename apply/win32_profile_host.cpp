#include "apply/win32_profile_host.h"

#include <windows.h>
#include <sddl.h>

#include <memory>
#include <string>
#include <vector>

#include "base/win32_handle.h"
#include "base/win32_text.h"

namespace zuv {
namespace {

struct KeyCloser {
    void operator()(HKEY key) const { RegCloseKey(key); }
};
// An open registry key, closed when its owner goes.
using UniqueKey = std::unique_ptr<HKEY__, KeyCloser>;

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};

// The system's text for an error, and what to do about a refusal.
std::string Why(DWORD code) {
    std::string text = SystemErrorText(code);
    if (code == ERROR_ACCESS_DENIED || code == ERROR_PRIVILEGE_NOT_HELD) {
        if (!text.ends_with("。") && !text.ends_with(".")) text += "。";
        text += "请以管理员身份或 LocalSystem 账户运行。";
    }
    return text;
}
// A registry function's result is a system error code too.
std::string Why(LSTATUS status) { return Why(static_cast<DWORD>(status)); }

// A text value of `subKey` of `key` as RegGetValueW's `flags` ask for it (the types taken, and
// whether REG_EXPAND_SZ is expanded), up to its first NUL; nothing when it is missing, of another
// type, or longer than `limit` bytes.
std::optional<std::wstring> ReadText(HKEY key, const wchar_t* subKey, const wchar_t* name, DWORD flags,
                                     std::size_t limit) {
    std::wstring text;
    DWORD size = 0;
    // The size may grow between the two calls (or as the value is expanded): a few tries.
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD got = size;
        const LSTATUS status = RegGetValueW(key, subKey, name, flags, nullptr,
                                            size == 0 ? nullptr : text.data(), &got);
        if (status == ERROR_SUCCESS && size != 0) {
            text.resize(got / sizeof(wchar_t));
            const std::size_t end = text.find(L'\0');
            if (end != std::wstring::npos) text.resize(end);
            return text;
        }
        if (status != ERROR_SUCCESS && status != ERROR_MORE_DATA) return std::nullopt;
        if (got > limit) return std::nullopt;
        size = got + sizeof(wchar_t);
        text.assign(size / sizeof(wchar_t) + 1, L'\0');
    }
    return std::nullopt;
}

// The record below the root of a user's hive; nothing when the hive has no record key.
Result<std::optional<StoredRecord>> RecordBelow(HKEY hive, const std::string& where) {
    HKEY raw = nullptr;
    const std::wstring path = Widen(kLogonRecordKey);
    const LSTATUS status = RegOpenKeyExW(hive, path.c_str(), 0, KEY_QUERY_VALUE, &raw);
    if (status == ERROR_FILE_NOT_FOUND) return std::optional<StoredRecord>();
    if (status != ERROR_SUCCESS) {
        return Failure{"无法打开 " + where + "\\" + kLogonRecordKey + "（" + Why(status) + "）"};
    }
    const UniqueKey key(raw);
    StoredRecord record;
    for (const char* name : kRecordTextNames) {
        const std::wstring wide = Widen(name);
        if (const auto text = ReadText(key.get(), nullptr, wide.c_str(),
                                       RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND,
                                       kRecordValueByteLimit)) {
            record.texts[name] = Narrow(*text);
        }
    }
    DWORD number = 0;
    DWORD size = sizeof(number);
    const std::wstring exitCode = Widen(kRecordNumberName);
    if (RegGetValueW(key.get(), nullptr, exitCode.c_str(), RRF_RT_REG_DWORD, nullptr, &number, &size) ==
        ERROR_SUCCESS) {
        record.exitCode = number;
    }
    return std::optional(std::move(record));
}

// A folder of its own below the temporary folder, removed with everything in it when its owner
// goes: where a hive file is copied to be loaded.
class ScratchFolder {
public:
    ScratchFolder() {
        wchar_t temp[MAX_PATH + 1];
        const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
        if (length == 0 || length > MAX_PATH) {
            error_ = GetLastError();
            return;
        }
        for (int attempt = 0; attempt < 100; ++attempt) {
            const std::wstring path = std::wstring(temp) + L"ZUVPortalSetting-report-" +
                                      std::to_wstring(GetCurrentProcessId()) + L"-" +
                                      std::to_wstring(GetTickCount64()) + L"-" + std::to_wstring(attempt);
            if (CreateDirectoryW(path.c_str(), nullptr)) {
                path_ = path;
                return;
            }
            error_ = GetLastError();
            if (error_ != ERROR_ALREADY_EXISTS) return;
        }
    }
    ~ScratchFolder() {
        if (path_.empty()) return;
        // The system lets go of a hive file as its last key closes; a moment more at most.
        for (int attempt = 0; attempt < 100 && !RemoveAll(); ++attempt) Sleep(10);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    explicit operator bool() const { return !path_.empty(); }
    DWORD Error() const { return error_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    bool RemoveAll() {
        WIN32_FIND_DATAW found{};
        HANDLE first = FindFirstFileW((path_ + L"\\*").c_str(), &found);
        if (first != INVALID_HANDLE_VALUE) {
            const UniqueFind search(first);
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
                const std::wstring file = File(found.cFileName);
                SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(file.c_str());
            } while (FindNextFileW(search.get(), &found));
        }
        return RemoveDirectoryW(path_.c_str()) != FALSE;
    }

    std::wstring path_;
    DWORD error_ = ERROR_SUCCESS;
};

// The privileges named, enabled in the process's token for as long as this object lives, then
// put back as they were.
class EnabledPrivileges {
public:
    explicit EnabledPrivileges(const std::vector<const wchar_t*>& names) {
        HANDLE raw = nullptr;
        if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &raw)) return;
        token_.reset(raw);
        std::vector<unsigned char> wanted(sizeof(TOKEN_PRIVILEGES) + names.size() * sizeof(LUID_AND_ATTRIBUTES));
        auto* privileges = reinterpret_cast<TOKEN_PRIVILEGES*>(wanted.data());
        for (const wchar_t* name : names) {
            LUID luid{};
            if (!LookupPrivilegeValueW(nullptr, name, &luid)) continue;
            privileges->Privileges[privileges->PrivilegeCount++] = {luid, SE_PRIVILEGE_ENABLED};
        }
        previous_.resize(wanted.size());
        DWORD size = static_cast<DWORD>(previous_.size());
        if (!AdjustTokenPrivileges(token_.get(), FALSE, privileges, size,
                                   reinterpret_cast<TOKEN_PRIVILEGES*>(previous_.data()), &size)) {
            previous_.clear();
        }
    }
    ~EnabledPrivileges() {
        if (!previous_.empty()) {
            AdjustTokenPrivileges(token_.get(), FALSE, reinterpret_cast<TOKEN_PRIVILEGES*>(previous_.data()),
                                  0, nullptr, nullptr);
        }
    }
    EnabledPrivileges(const EnabledPrivileges&) = delete;
    EnabledPrivileges& operator=(const EnabledPrivileges&) = delete;

private:
    UniqueHandle token_;
    std::vector<unsigned char> previous_;
};

// A hive file loaded under HKEY_USERS by a name of its own for as long as this object lives.
class MountedHive {
public:
    explicit MountedHive(const std::wstring& file)
        : privileges_({SE_RESTORE_NAME, SE_BACKUP_NAME}), name_(NewName()) {
        status_ = RegLoadKeyW(HKEY_USERS, name_.c_str(), file.c_str());
        // Wine leaves an empty key of that name behind a load that failed.
        if (status_ != ERROR_SUCCESS) RegDeleteKeyW(HKEY_USERS, name_.c_str());
    }
    ~MountedHive() {
        if (status_ == ERROR_SUCCESS) RegUnLoadKeyW(HKEY_USERS, name_.c_str());
    }
    MountedHive(const MountedHive&) = delete;
    MountedHive& operator=(const MountedHive&) = delete;

    LSTATUS Status() const { return status_; }
    const std::wstring& Name() const { return name_; }

private:
    // A name no other hive of this process has had.
    static std::wstring NewName() {
        static unsigned counter = 0;
        return L"ZUVPortalSetting-report-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
               std::to_wstring(++counter);
    }

    EnabledPrivileges privileges_;
    std::wstring name_;
    LSTATUS status_ = ERROR_SUCCESS;
};

// The record from a copy of a hive file, loaded as an application hive, else under HKEY_USERS.
Result<std::optional<StoredRecord>> RecordInCopy(const std::wstring& copy, const std::string& shownFile) {
    HKEY raw = nullptr;
    LSTATUS status = RegLoadAppKeyW(copy.c_str(), &raw, KEY_READ, 0, 0);
    if (status == ERROR_SUCCESS) {
        const UniqueKey hive(raw);
        // Wine answers with a key that is not there: that is no application hive either.
        status = RegQueryInfoKeyW(hive.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                  nullptr, nullptr, nullptr, nullptr, nullptr);
        if (status == ERROR_SUCCESS) return RecordBelow(hive.get(), shownFile);
    }
    const MountedHive mounted(copy);
    if (mounted.Status() != ERROR_SUCCESS) {
        return Failure{"无法载入 " + shownFile + " 的副本（" + Why(mounted.Status()) + "）"};
    }
    HKEY root = nullptr;
    status = RegOpenKeyExW(HKEY_USERS, mounted.Name().c_str(), 0, KEY_READ, &root);
    if (status != ERROR_SUCCESS) {
        return Failure{"无法打开载入的 " + shownFile + " 的副本（" + Why(status) + "）"};
    }
    const UniqueKey hive(root);
    return RecordBelow(hive.get(), shownFile);
}

// The record from <folder>\NTUSER.DAT of a user who is not signed in. The file (and its
// transaction logs, which may hold its latest changes) is copied, and only the copy loaded.
Result<ProfileRecord> RecordInProfileFile(const ProfileEntry& profile) {
    if (profile.folder.empty()) {
        return Failure{"该用户未登录，且配置文件列表中没有其文件夹（ProfileImagePath）"};
    }
    const std::wstring file = Widen(profile.folder) + L"\\NTUSER.DAT";
    const std::string shown = Narrow(file);
    if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) {
        return Failure{"该用户未登录，其注册表文件 " + shown + " 无法读取（" + Why(GetLastError()) + "）"};
    }
    const ScratchFolder scratch;
    if (!scratch) {
        return Failure{"无法为读取 " + shown + " 建立临时文件夹（" + Why(scratch.Error()) + "）"};
    }
    const std::wstring copy = scratch.File(L"NTUSER.DAT");
    if (!CopyFileW(file.c_str(), copy.c_str(), TRUE)) {
        return Failure{"该用户未登录，其注册表文件 " + shown + " 无法读取（" + Why(GetLastError()) + "）"};
    }
    for (const wchar_t* log : {L".LOG1", L".LOG2", L".LOG"}) {
        const std::wstring logFile = file + log;
        // A log that is not there is no loss; one that cannot be read leaves the copy older.
        if (GetFileAttributesW(logFile.c_str()) != INVALID_FILE_ATTRIBUTES) {
            CopyFileW(logFile.c_str(), (copy + log).c_str(), TRUE);
        }
    }
    Result<std::optional<StoredRecord>> record = RecordInCopy(copy, shown);
    if (!record) return Failure{record.Error()};
    return ProfileRecord{HiveSource::ProfileFile, std::move(record).Value()};
}

}  // namespace

Result<std::vector<ProfileEntry>> Win32ProfileHost::Profiles() {
    HKEY raw = nullptr;
    const std::wstring path = Widen(kProfileListKey);
    const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0,
                                         KEY_READ | KEY_WOW64_64KEY, &raw);
    if (status != ERROR_SUCCESS) return Failure{Why(status)};
    const UniqueKey list(raw);
    std::vector<ProfileEntry> entries;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];  // a key's name has at most 255 characters
        DWORD length = static_cast<DWORD>(std::size(name));
        const LSTATUS listed = RegEnumKeyExW(list.get(), index, name, &length, nullptr, nullptr,
                                             nullptr, nullptr);
        if (listed == ERROR_NO_MORE_ITEMS) break;
        if (listed != ERROR_SUCCESS) return Failure{Why(listed)};
        ProfileEntry entry;
        entry.sid = Narrow(std::wstring_view(name, length));
        // Expanded, as the system uses it ("%SystemDrive%\Users\…").
        if (const auto folder = ReadText(list.get(), name, L"ProfileImagePath", RRF_RT_REG_SZ,
                                         32767 * sizeof(wchar_t))) {
            entry.folder = Narrow(*folder);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}

std::optional<std::string> Win32ProfileHost::AccountName(const std::string& sid) {
    PSID raw = nullptr;
    if (!ConvertStringSidToSidW(Widen(sid).c_str(), &raw)) return std::nullopt;
    const std::unique_ptr<void, LocalFreer> owned(raw);
    DWORD nameLength = 0;
    DWORD domainLength = 0;
    SID_NAME_USE use{};
    LookupAccountSidW(nullptr, raw, nullptr, &nameLength, nullptr, &domainLength, &use);
    if (nameLength == 0) return std::nullopt;
    std::wstring name(nameLength, L'\0');
    std::wstring domain(domainLength + 1, L'\0');
    if (!LookupAccountSidW(nullptr, raw, name.data(), &nameLength, domain.data(), &domainLength, &use)) {
        return std::nullopt;
    }
    name.resize(nameLength);
    domain.resize(domainLength);
    return Narrow(domain.empty() ? name : domain + L"\\" + name);
}

Result<ProfileRecord> Win32ProfileHost::ReadRecord(const ProfileEntry& profile) {
    const std::wstring sid = Widen(profile.sid);
    HKEY raw = nullptr;
    const LSTATUS status = RegOpenKeyExW(HKEY_USERS, sid.c_str(), 0, KEY_READ, &raw);
    if (status == ERROR_FILE_NOT_FOUND) return RecordInProfileFile(profile);
    if (status != ERROR_SUCCESS) {
        return Failure{"无法打开 HKEY_USERS\\" + profile.sid + "（" + Why(status) + "）"};
    }
    const UniqueKey hive(raw);
    Result<std::optional<StoredRecord>> record = RecordBelow(hive.get(), "HKEY_USERS\\" + profile.sid);
    if (!record) return Failure{record.Error()};
    return ProfileRecord{HiveSource::Loaded, std::move(record).Value()};
}

}  // namespace zuv
