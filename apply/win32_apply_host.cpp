#include "apply/win32_apply_host.h"

#include <windows.h>

#include <string>

#include "backup/win32_backup_files.h"
#include "base/win32_file.h"
#include "base/win32_text.h"
#include "base/win32_handle.h"
#include "browser_config/url_zone.h"

namespace zuv {
namespace {

// How long a writer waits for another program to finish its line.
constexpr ULONGLONG kLogLockWaitMs = 3000;

// The lock that makes an append one step where the system does not. Windows appends through a
// handle that may only append as one step at the end of the file, and refuses to lock such a
// handle (locks need read or write access): there the lock is not available and the plain
// append is whole. Wine seeks to the end and writes, so two writers can land on the same
// place; it does lock such a handle, and holding a lock on a byte far past any real log's end
// while writing makes the seek and the write one step. A lock another program holds longer
// than kLogLockWaitMs is Busy: the line is not written rather than written unguarded.
class LogLock {
public:
    enum class State { Held, NotAvailable, Busy };

    explicit LogLock(HANDLE file) : file_(file) {
        place_.Offset = 0xFFFFFFFE;
        place_.OffsetHigh = 0x7FFFFFFF;
        const ULONGLONG until = GetTickCount64() + kLogLockWaitMs;
        for (;;) {
            if (LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                           &place_)) {
                state_ = State::Held;
                return;
            }
            if (GetLastError() != ERROR_LOCK_VIOLATION) {
                state_ = State::NotAvailable;
                return;
            }
            if (GetTickCount64() >= until) {
                state_ = State::Busy;
                return;
            }
            Sleep(1);
        }
    }
    ~LogLock() {
        // Closing the handle releases the lock as well; an unlock that fails loses nothing.
        if (state_ == State::Held) UnlockFileEx(file_, 0, 1, 0, &place_);
    }
    LogLock(const LogLock&) = delete;
    LogLock& operator=(const LogLock&) = delete;

    State state() const { return state_; }

private:
    HANDLE file_;
    OVERLAPPED place_{};
    State state_ = State::NotAvailable;
};

// Appends a record to a log that other programs append to at the same time; an empty file
// (a new one, or one an administrator made in advance) gets the byte-order mark first. Empty
// when written, otherwise why not.
std::string AppendRecord(HANDLE file, const std::string& record) {
    if (GetFileType(file) != FILE_TYPE_DISK) return "不是文件，日志只能写入文件";
    const LogLock lock(file);
    if (lock.state() == LogLock::State::Busy) {
        return "日志文件正被其他程序锁定，等待 " + std::to_string(kLogLockWaitMs / 1000) +
               " 秒后仍未能写入";
    }
    LARGE_INTEGER size{};
    const bool empty = GetFileSizeEx(file, &size) && size.QuadPart == 0;
    const std::string bytes = empty ? "\xEF\xBB\xBF" + record : record;
    if (WriteAll(file, bytes.data(), bytes.size())) return {};
    return SystemErrorText(GetLastError());
}

Result<> Appended(const std::string& error) {
    if (error.empty()) return Done{};
    return Failure{error};
}

}  // namespace

LocalTime Win32ApplyHost::Now() { return LocalTimeNow(); }

std::string Win32ApplyHost::UserName() {
    wchar_t name[257];
    DWORD size = static_cast<DWORD>(std::size(name));
    return GetUserNameW(name, &size) ? Narrow(name) : std::string("?");
}

std::string Win32ApplyHost::ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = static_cast<DWORD>(std::size(name));
    return GetComputerNameW(name, &size) ? Narrow(name) : std::string("?");
}

Result<std::string> Win32ApplyHost::SaveBackup(const std::vector<unsigned char>& document) {
    const Result<std::string> folder = BackupFolder();
    if (!folder) return folder;
    const BackupTime now = BackupTimeOf(Now());
    Result<std::string> written = WriteBackupFile(folder.Value(), now, document);
    if (written) {
        // An original that cannot be kept yet (the next apply tries again), or old backups
        // that cannot be removed, do not make this one any less of a backup: both results are
        // dropped. The original is kept before pruning, which may remove the backup it is
        // copied from.
        (void)KeepOriginalBackup(folder.Value(), now);
        (void)PruneBackups(folder.Value(), now);
    }
    return written;
}

Result<std::string> Win32ApplyHost::DefaultLogFile() {
    const Result<std::string> folder = ProgramFolder();
    if (!folder) return folder;
    return folder.Value() + "\\ZUVPortalSetting.log";
}

Result<> Win32ApplyHost::AppendLogLine(const std::string& file, const std::string& line) {
    const std::wstring path = Widen(file);
    const std::string record = line + "\r\n";
    // A new file is made with its byte-order mark while nobody else may write to it; everyone
    // else waits for that, then appends. A handle that may only append writes at the end of
    // the file, the whole line at once.
    if (const UniqueHandle created = Owned(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                                       FILE_SHARE_READ, nullptr, CREATE_NEW,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr))) {
        return Appended(AppendRecord(created.get(), record));
    }
    DWORD failure = GetLastError();
    for (int attempt = 0; attempt < 200; ++attempt) {
        if (failure != ERROR_FILE_EXISTS && failure != ERROR_ALREADY_EXISTS &&
            failure != ERROR_SHARING_VIOLATION) {
            break;
        }
        const UniqueHandle log = Owned(CreateFileW(
            path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (log) {
            return Appended(AppendRecord(log.get(), record));
        }
        failure = GetLastError();
        // Another program is making the file just now: it takes a moment.
        if (failure == ERROR_SHARING_VIOLATION) Sleep(10);
    }
    return Failure{SystemErrorText(failure)};
}

namespace {

std::string FileError(const char* what, const std::wstring& path) {
    return std::string(what) + Narrow(path) + "（" + SystemErrorText(GetLastError()) + "）";
}

}  // namespace

Result<std::vector<std::string>> Win32ApplyHost::BackupNames() {
    const Result<std::string> folder = BackupFolder();
    if (!folder) return Failure{folder.Error()};
    const std::wstring wide = Widen(folder.Value());
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE first = FindFirstFileW((wide + L"\\*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return names;
        return Failure{"无法读取文件夹 " + folder.Value() + "（" + SystemErrorText(code) + "）"};
    }
    const UniqueFind search(first);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(Narrow(found.cFileName));
    } while (FindNextFileW(search.get(), &found));
    return names;
}

Result<std::vector<unsigned char>> Win32ApplyHost::ReadBackup(const std::string& name) {
    const Result<std::string> folder = BackupFolder();
    if (!folder) return Failure{folder.Error()};
    const std::wstring path = Widen(folder.Value()) + L"\\" + Widen(name);
    std::vector<unsigned char> bytes;
    const DWORD code = ReadWholeFile(path, bytes, 64 << 20);
    if (code == ERROR_FILE_TOO_LARGE) return Failure{"备份文件 " + Narrow(path) + " 过大"};
    if (code != ERROR_SUCCESS) {
        return Failure{"无法读取备份文件 " + Narrow(path) + "（" + SystemErrorText(code) + "）"};
    }
    return bytes;
}

Result<> Win32ApplyHost::RenameBackup(const std::string& name, const std::string& newName) {
    const Result<std::string> folder = BackupFolder();
    if (!folder) return Failure{folder.Error()};
    const std::wstring wide = Widen(folder.Value());
    const std::wstring from = wide + L"\\" + Widen(name);
    if (!MoveFileExW(from.c_str(), (wide + L"\\" + Widen(newName)).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return Failure{FileError("无法改名备份文件 ", from)};
    }
    return Done{};
}

Result<> Win32ApplyHost::WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    const std::wstring wide = Widen(path);
    const UniqueHandle file = Owned(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failure{FileError("无法创建文件 ", wide)};
    if (!WriteAll(file.get(), bytes.data(), bytes.size()) || !FlushFileBuffers(file.get())) {
        return Failure{FileError("无法写入文件 ", wide)};
    }
    return Done{};
}

UrlZoneAnswer Win32ApplyHost::AskUrlZone(const std::string& address, const std::string& protocol) {
    return zuv::AskUrlZone(address, protocol);
}

}  // namespace zuv
