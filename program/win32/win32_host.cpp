#include "program/win32/win32_host.h"

#include <windows.h>
#include <shlobj.h>

#include <memory>
#include <string>

#include "backup/win32_backup_files.h"
#include "base/win32_handle.h"
#include "base/win32_text.h"
#include "browser_config/url_zone.h"
#include "window/layout.h"

namespace zuv {
namespace {

// Lines end in CR LF on Windows.
std::wstring WithCrLf(const std::string& text) {
    std::wstring wide;
    for (const wchar_t c : Widen(text)) {
        if (c == L'\n') wide += L'\r';
        wide += c;
    }
    return wide;
}

bool WriteAll(HANDLE file, const std::string& bytes) {
    DWORD written = 0;
    return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

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
    if (WriteAll(file, empty ? "\xEF\xBB\xBF" + record : record)) return {};
    return SystemErrorText(GetLastError());
}

bool WriteConsoleText(HANDLE console, const std::wstring& text) {
    DWORD written = 0;
    return WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) &&
           written == text.size();
}

}  // namespace

bool Win32Host::WriteOutput(const std::string& text) {
    const std::wstring wide = WithCrLf(text);
    // Standard output handed down by the parent: a file or a pipe gets the text in the ANSI
    // code page, as Windows' own command-line programs write redirected text; a console gets
    // it as it is.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(out);
        DWORD mode = 0;
        if (type == FILE_TYPE_CHAR && GetConsoleMode(out, &mode)) {
            return WriteConsoleText(out, wide);
        }
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR) {
            return WriteAll(out, BytesFrom(CP_ACP, wide));
        }
    }
    // A program with windows has no console of its own: write to the console of the process
    // that started it, when there is one.
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) return false;
    const UniqueHandle console = Owned(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                   OPEN_EXISTING, 0, nullptr));
    const bool written = console && WriteConsoleText(console.get(), wide);
    FreeConsole();
    return written;
}

void Win32Host::ShowMessage(const std::string& text) {
    MessageBoxW(nullptr, Widen(text).c_str(), Widen(layout::kWindowTitle).c_str(),
                MB_OK | MB_ICONINFORMATION);
}

UrlZoneAnswer Win32Host::AskUrlZone(const std::string& address, const std::string& protocol) {
    return zuv::AskUrlZone(address, protocol);
}

bool Win32Host::RunsAsLocalSystem() {
    HANDLE raw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &raw)) return false;
    const UniqueHandle token(raw);
    DWORD size = 0;
    GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
    if (size == 0) return false;
    std::unique_ptr<BYTE[]> buffer(new BYTE[size]);
    if (!GetTokenInformation(token.get(), TokenUser, buffer.get(), size, &size)) return false;
    const auto* user = reinterpret_cast<const TOKEN_USER*>(buffer.get());
    return IsWellKnownSid(user->User.Sid, WinLocalSystemSid) != FALSE;
}

LocalTime Win32Host::Now() {
    FILETIME utc{};
    GetSystemTimeAsFileTime(&utc);
    FILETIME local{};
    FileTimeToLocalFileTime(&utc, &local);
    SYSTEMTIME t{};
    FileTimeToSystemTime(&local, &t);
    const auto ticks = [](const FILETIME& f) {
        return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                      f.dwLowDateTime);
    };
    constexpr long long kTicksPerMinute = 600000000;
    const long long offset = (ticks(local) - ticks(utc)) / kTicksPerMinute;
    return LocalTime{t.wYear,   t.wMonth,  t.wDay,          t.wHour,
                     t.wMinute, t.wSecond, t.wMilliseconds, static_cast<int>(offset)};
}

std::string Win32Host::UserName() {
    wchar_t name[257];
    DWORD size = static_cast<DWORD>(std::size(name));
    return GetUserNameW(name, &size) ? Narrow(name) : std::string("?");
}

std::string Win32Host::ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = static_cast<DWORD>(std::size(name));
    return GetComputerNameW(name, &size) ? Narrow(name) : std::string("?");
}

namespace {

// The program's folder of the user's local application data, made when missing; empty, with
// `error` saying why, when there is none.
std::wstring ProgramFolder(std::string& error) {
    PWSTR raw = nullptr;
    const HRESULT found = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw);
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> path(raw, &CoTaskMemFree);
    if (FAILED(found) || !path) {
        error = "找不到当前用户的本地应用数据文件夹（" +
                SystemErrorText(static_cast<DWORD>(found)) + "）";
        return {};
    }
    const std::wstring folder = std::wstring(path.get()) + L"\\ZUVPortalSetting";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        error = "无法创建文件夹 " + Narrow(folder) + "（" + SystemErrorText(GetLastError()) + "）";
        return {};
    }
    return folder;
}

}  // namespace

SavedBackup Win32Host::SaveBackup(const std::vector<unsigned char>& document) {
    std::string error;
    const std::wstring folder = ProgramFolder(error);
    if (folder.empty()) return {{}, error};
    const std::string backups = Narrow(folder + L"\\backup");
    const BackupTime now = LocalNow();
    WrittenBackup written = WriteBackupFile(backups, now, document);
    // An original that cannot be kept yet (the next apply tries again), or old backups that
    // cannot be removed, do not make this one any less of a backup. The original is kept
    // before pruning, which may remove the backup it is copied from.
    if (!written.path.empty()) {
        KeepOriginalBackup(backups, now);
        PruneBackups(backups, now);
    }
    return {std::move(written.path), std::move(written.error)};
}

namespace {

// The backup folder, without making it; empty, with `error` saying why, when there is none.
std::wstring BackupFolder(std::string& error) {
    const std::wstring folder = ProgramFolder(error);
    return folder.empty() ? std::wstring() : folder + L"\\backup";
}

std::string FileError(const char* what, const std::wstring& path) {
    return std::string(what) + Narrow(path) + "（" + SystemErrorText(GetLastError()) + "）";
}

}  // namespace

bool Win32Host::BackupNames(std::vector<std::string>& names, std::string& error) {
    names.clear();
    const std::wstring folder = BackupFolder(error);
    if (folder.empty()) return false;
    WIN32_FIND_DATAW found{};
    HANDLE first = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return true;
        error = "无法读取文件夹 " + Narrow(folder) + "（" + SystemErrorText(code) + "）";
        return false;
    }
    const UniqueFind search(first);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(Narrow(found.cFileName));
    } while (FindNextFileW(search.get(), &found));
    return true;
}

bool Win32Host::ReadBackup(const std::string& name, std::vector<unsigned char>& bytes,
                           std::string& error) {
    const std::wstring folder = BackupFolder(error);
    if (folder.empty()) return false;
    const std::wstring path = folder + L"\\" + Widen(name);
    const UniqueHandle file = Owned(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = FileError("无法打开备份文件 ", path);
        return false;
    }
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > (64 << 20)) {
        error = "备份文件 " + Narrow(path) + " 无法读取或过大";
        return false;
    }
    bytes.assign(static_cast<std::size_t>(size.QuadPart), 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &read, nullptr) ||
            read == 0) {
            error = FileError("无法读取备份文件 ", path);
            return false;
        }
        done += read;
    }
    return true;
}

bool Win32Host::RenameBackup(const std::string& name, const std::string& newName,
                             std::string& error) {
    const std::wstring folder = BackupFolder(error);
    if (folder.empty()) return false;
    const std::wstring from = folder + L"\\" + Widen(name);
    if (!MoveFileExW(from.c_str(), (folder + L"\\" + Widen(newName)).c_str(), MOVEFILE_WRITE_THROUGH)) {
        error = FileError("无法改名备份文件 ", from);
        return false;
    }
    return true;
}

bool Win32Host::WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes,
                               std::string& error) {
    const std::wstring wide = Widen(path);
    const UniqueHandle file = Owned(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        error = FileError("无法创建文件 ", wide);
        return false;
    }
    const std::string data(bytes.begin(), bytes.end());
    if (!WriteAll(file.get(), data) || !FlushFileBuffers(file.get())) {
        error = FileError("无法写入文件 ", wide);
        return false;
    }
    return true;
}

std::string Win32Host::DefaultLogFile(std::string& error) {
    const std::wstring folder = ProgramFolder(error);
    return folder.empty() ? std::string() : Narrow(folder + L"\\ZUVPortalSetting.log");
}

bool Win32Host::AppendLogLine(const std::string& file, const std::string& line,
                              std::string& error) {
    const std::wstring path = Widen(file);
    const std::string record = line + "\r\n";
    // A new file is made with its byte-order mark while nobody else may write to it; everyone
    // else waits for that, then appends. A handle that may only append writes at the end of
    // the file, the whole line at once.
    if (const UniqueHandle created = Owned(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                                                       FILE_SHARE_READ, nullptr, CREATE_NEW,
                                                       FILE_ATTRIBUTE_NORMAL, nullptr))) {
        error = AppendRecord(created.get(), record);
        return error.empty();
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
            error = AppendRecord(log.get(), record);
            return error.empty();
        }
        failure = GetLastError();
        // Another program is making the file just now: it takes a moment.
        if (failure == ERROR_SHARING_VIOLATION) Sleep(10);
    }
    error = SystemErrorText(failure);
    return false;
}

}  // namespace zuv
