#include "program/win32/win32_host.h"

#include <windows.h>

#include <memory>
#include <string>

#include "backup/win32_backup_files.h"
#include "base/win32_file.h"
#include "base/win32_handle.h"
#include "base/win32_text.h"
#include "browser_config/url_zone.h"
#include "window/window_identity.h"

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

bool WriteConsoleText(HANDLE console, const std::wstring& text) {
    DWORD written = 0;
    return WriteConsoleW(console, text.data(), static_cast<DWORD>(text.size()), &written,
                         nullptr) &&
           written == text.size();
}

// The console of the process that started this one, attached for as long as this object
// lives. A program with windows has none of its own.
class ParentConsole {
public:
    ParentConsole() : attached_(AttachConsole(ATTACH_PARENT_PROCESS) != FALSE) {}
    // Detaching fails only when no console is attached, which the constructor has seen to.
    ~ParentConsole() {
        if (attached_) FreeConsole();
    }
    ParentConsole(const ParentConsole&) = delete;
    ParentConsole& operator=(const ParentConsole&) = delete;

    explicit operator bool() const { return attached_; }

private:
    bool attached_;
};

Result<> Written(bool written) {
    if (written) return Done{};
    return Failure{SystemErrorText(GetLastError())};
}

}  // namespace

Result<> Win32Host::WriteOutput(const std::string& text) {
    const std::wstring wide = WithCrLf(text);
    // Standard output handed down by the parent: a file or a pipe gets the text in the ANSI
    // code page, as Windows' own command-line programs write redirected text; a console gets
    // it as it is.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out != nullptr && out != INVALID_HANDLE_VALUE) {
        const DWORD type = GetFileType(out);
        DWORD mode = 0;
        if (type == FILE_TYPE_CHAR && GetConsoleMode(out, &mode)) {
            return Written(WriteConsoleText(out, wide));
        }
        if (type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE || type == FILE_TYPE_CHAR) {
            const std::string bytes = BytesFrom(CP_ACP, wide);
            return Written(WriteAll(out, bytes.data(), bytes.size()));
        }
    }
    // Otherwise the console of the process that started it, when there is one.
    const ParentConsole parent;
    if (!parent) return Failure{"没有控制台，也没有重定向的输出"};
    const UniqueHandle console = Owned(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                                   FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                   OPEN_EXISTING, 0, nullptr));
    return Written(console && WriteConsoleText(console.get(), wide));
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

namespace {

std::string FileError(const char* what, const std::wstring& path) {
    return std::string(what) + Narrow(path) + "（" + SystemErrorText(GetLastError()) + "）";
}

}  // namespace

Result<std::vector<std::string>> Win32Host::BackupNames() {
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

Result<std::vector<unsigned char>> Win32Host::ReadBackup(const std::string& name) {
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

Result<> Win32Host::RenameBackup(const std::string& name, const std::string& newName) {
    const Result<std::string> folder = BackupFolder();
    if (!folder) return Failure{folder.Error()};
    const std::wstring wide = Widen(folder.Value());
    const std::wstring from = wide + L"\\" + Widen(name);
    if (!MoveFileExW(from.c_str(), (wide + L"\\" + Widen(newName)).c_str(), MOVEFILE_WRITE_THROUGH)) {
        return Failure{FileError("无法改名备份文件 ", from)};
    }
    return Done{};
}

Result<> Win32Host::WriteWholeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    const std::wstring wide = Widen(path);
    const UniqueHandle file = Owned(CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return Failure{FileError("无法创建文件 ", wide)};
    if (!WriteAll(file.get(), bytes.data(), bytes.size()) || !FlushFileBuffers(file.get())) {
        return Failure{FileError("无法写入文件 ", wide)};
    }
    return Done{};
}

}  // namespace zuv
