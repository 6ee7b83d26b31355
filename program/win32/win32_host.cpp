#include "program/win32/win32_host.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/win32_file.h"
#include "base/win32_handle.h"
#include "base/win32_text.h"
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

}  // namespace zuv
