#include "driver.h"

#include <tlhelp32.h>
#include <winternl.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <chrono>
#include <thread>

namespace zuv::e2e {

bool WaitUntil(const std::function<bool()>& condition, Duration timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return condition();
        std::this_thread::sleep_for(15ms);
    }
}

namespace {

std::wstring Environment(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) return {};
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length);
    return value;
}

std::wstring FolderOfThisProgram() {
    std::wstring path(MAX_PATH, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), MAX_PATH);
    path.resize(length);
    return path.substr(0, path.find_last_of(L"\\/"));
}

}  // namespace

std::string ErrorText(DWORD code) {
    for (const DWORD language : {static_cast<DWORD>(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)),
                                 static_cast<DWORD>(0)}) {
        wchar_t* text = nullptr;
        const DWORD length = FormatMessageW(
            FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                FORMAT_MESSAGE_IGNORE_INSERTS,
            nullptr, code, language, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        if (length == 0) continue;
        std::wstring message(text, length);
        LocalFree(text);
        while (!message.empty() && std::iswspace(message.back())) message.pop_back();
        return Narrow(message);
    }
    return "no text for this code";
}

namespace {

// Wine's own programs of a session, in the order they usually start.
constexpr const wchar_t* kSessionPrograms[] = {
    L"wineboot.exe", L"services.exe", L"explorer.exe", L"winedevice.exe", L"plugplay.exe",
    L"svchost.exe",  L"rpcss.exe",    L"winemenubuilder.exe",
};

// Milliseconds since the process started, or -1 when it cannot be asked.
long long AgeOf(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process) return -1;
    FILETIME created{}, exited{}, kernel{}, user{};
    const BOOL known = GetProcessTimes(process, &created, &exited, &kernel, &user);
    CloseHandle(process);
    if (!known) return -1;
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    auto ticks = [](const FILETIME& t) {
        return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (ticks(now) - ticks(created)) / 10000;
}

// Whether the session's start-up (wineboot --init) has signalled the event that every program
// Wine starts from Unix waits for: "done", "running", or "unknown" when it cannot be opened.
std::string BootState() {
    using NtOpenEventFn = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, OBJECT_ATTRIBUTES*);
    const auto open = reinterpret_cast<NtOpenEventFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtOpenEvent")));
    if (!open) return "unknown";
    wchar_t name[] = L"\\KernelObjects\\__wineboot_event";
    UNICODE_STRING nameString{};
    nameString.Buffer = name;
    nameString.Length = static_cast<USHORT>(wcslen(name) * sizeof(wchar_t));
    nameString.MaximumLength = static_cast<USHORT>(nameString.Length + sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes{};
    attributes.Length = sizeof(attributes);
    attributes.ObjectName = &nameString;
    HANDLE event = nullptr;
    if (open(&event, SYNCHRONIZE, &attributes) < 0 || !event) return "unknown";
    const DWORD state = WaitForSingleObject(event, 0);
    CloseHandle(event);
    return state == WAIT_OBJECT_0 ? "done" : "running";
}

}  // namespace

std::string LaunchFailure(const std::wstring& program, DWORD code) {
    return "cannot start " + Narrow(program) + ": CreateProcessW error " + std::to_string(code) +
           " (" + ErrorText(code) + "); " + WineSessionState();
}

std::string WineSessionState() {
    std::string state = "Wine session: ";
    const std::wstring shared = Environment(L"ZUV_WINE_SESSION");
    if (shared.empty()) {
        state += "own server (no shared session)";
    } else {
        // "<server's Unix process id> <log file>", set by the script that started the session.
        const std::wstring pid = shared.substr(0, shared.find(L' '));
        const bool alive =
            GetFileAttributesW((L"Z:\\proc\\" + pid).c_str()) != INVALID_FILE_ATTRIBUTES;
        state += "shared server, Unix process " + Narrow(pid) + (alive ? " alive" : " GONE");
    }
    state += "; start-up " + BootState() + "; programs:";
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return state + " cannot be listed (error " + std::to_string(GetLastError()) + ")";
    }
    std::vector<std::pair<std::wstring, DWORD>> found;
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        found.emplace_back(entry.szExeFile, entry.th32ProcessID);
    }
    CloseHandle(snapshot);
    bool any = false;
    for (const wchar_t* program : kSessionPrograms) {
        for (const auto& [name, id] : found) {
            if (_wcsicmp(name.c_str(), program) != 0) continue;
            state.append(" ").append(Narrow(name)).append(" (");
            state.append(std::to_string(AgeOf(id))).append(" ms)");
            any = true;
        }
    }
    if (!any) state += " none";
    return state;
}

std::wstring WindowsPath(const std::string& path) {
    std::wstring wide = Widen(path);
    if (wide.empty() || wide[0] != L'/') return wide;
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return L"Z:" + wide;
}

std::wstring ToolPath() {
    std::wstring path = Environment(L"ZUV_TOOL");
#ifdef ZUV_DEFAULT_TOOL
    if (path.empty()) path = Widen(ZUV_DEFAULT_TOOL);
#endif
    if (path.empty()) return FolderOfThisProgram() + L"\\ZUVPortalSetting.exe";
    return WindowsPath(Narrow(path));
}

std::wstring ArtifactsFolder() {
    std::wstring folder = Environment(L"ZUV_ARTIFACTS");
#ifdef ZUV_DEFAULT_ARTIFACTS
    if (folder.empty()) folder = Widen(ZUV_DEFAULT_ARTIFACTS);
#endif
    folder = folder.empty() ? FolderOfThisProgram() + L"\\artifacts" : WindowsPath(Narrow(folder));
    CreateDirectoryW(folder.c_str(), nullptr);
    return folder;
}

std::wstring WindowText(HWND hwnd) {
    // Asked from the window itself: for a control of another process GetWindowText would give
    // the text the control was created with, not the one it shows.
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 5000, &length)) {
        return {};
    }
    std::wstring text(length + 1, L'\0');
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(hwnd, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data()),
                             SMTO_ABORTIFHUNG, 5000, &copied)) {
        return {};
    }
    text.resize(std::min<std::size_t>(copied, length));
    return text;
}

std::wstring ClassName(HWND hwnd) {
    wchar_t name[256] = {};
    GetClassNameW(hwnd, name, 256);
    return name;
}

namespace {

std::vector<HWND> TopLevelWindowsOf(DWORD processId) {
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(hwnd, &owner);
            if (owner == s->processId && IsWindowVisible(hwnd)) s->found.push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> Descendants(HWND parent) {
    std::vector<HWND> found;
    EnumChildWindows(
        parent,
        [](HWND hwnd, LPARAM param) -> BOOL {
            reinterpret_cast<std::vector<HWND>*>(param)->push_back(hwnd);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&found));
    return found;
}

bool IsGroupBox(HWND hwnd) {
    return (GetWindowLongPtrW(hwnd, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX;
}

}  // namespace

Tool::~Tool() {
    if (process_.hProcess) {
        if (Running()) {
            // A test that stopped half-way: close the program, or end it when it cannot close.
            if (window_ && IsWindow(window_)) PostMessageW(window_, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process_.hProcess, 5000) != WAIT_OBJECT_0) {
                TerminateProcess(process_.hProcess, 99);
                WaitForSingleObject(process_.hProcess, 5000);
            }
        }
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
}

std::wstring QuoteArgument(std::wstring_view argument) {
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count double before a quote, which itself is escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');  // before the closing quote
    return quoted + L"\"";
}

namespace {

std::wstring CommandLine(const std::wstring& exe, const std::vector<std::wstring>& arguments) {
    std::wstring line = L"\"" + exe + L"\"";
    for (const std::wstring& argument : arguments) line += L" " + QuoteArgument(argument);
    return line;
}

}  // namespace

std::optional<Finished> RunToEnd(const std::vector<std::wstring>& arguments, std::string& error,
                                 Duration timeout) {
    return RunToEnd(ToolPath(), arguments, error, timeout);
}

std::optional<Finished> RunToEnd(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                                 std::string& error, Duration timeout) {
    SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        error = "cannot make a pipe: error " + std::to_string(GetLastError());
        return std::nullopt;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    std::wstring commandLine = CommandLine(exe, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    // A program named without a folder (reg.exe, msiexec.exe) is found as a command line finds it.
    const bool named = exe.find_first_of(L"\\/") == std::wstring::npos;
    const BOOL started = CreateProcessW(named ? nullptr : exe.c_str(), commandLine.data(), nullptr, nullptr,
                                        TRUE, 0, nullptr, nullptr, &startup, &process);
    const DWORD startError = GetLastError();
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        error = LaunchFailure(exe, startError);
        return std::nullopt;
    }
    // The pipe is emptied while the program runs, so a long output cannot stall it, and once
    // more after it ended. Only what is there is read: a process the program started that
    // still holds the pipe's other end cannot keep this waiting.
    std::string bytes;
    const auto drain = [&] {
        DWORD available = 0;
        while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
            char buffer[4096];
            DWORD got = 0;
            const DWORD wanted = available < sizeof buffer ? available : static_cast<DWORD>(sizeof buffer);
            if (!ReadFile(readEnd, buffer, wanted, &got, nullptr) || got == 0) return;
            bytes.append(buffer, got);
        }
    };
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool ended = false;
    while (!(ended = WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) &&
           std::chrono::steady_clock::now() < deadline) {
        drain();
    }
    std::optional<Finished> finished;
    if (ended) {
        finished.emplace();
        GetExitCodeProcess(process.hProcess, &finished->exitCode);
    } else {
        error = "the program did not end within " + std::to_string(timeout.count()) + " ms";
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    drain();
    CloseHandle(readEnd);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (finished) finished->output = Narrow(WideFrom(CP_ACP, bytes));
    return finished;
}

DWORD Reg(const std::wstring& arguments) {
    std::wstring command = L"reg.exe " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return GetLastError();
    }
    DWORD code = WAIT_TIMEOUT;
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

std::string Sorted(const std::vector<std::wstring>& files) {
    std::vector<std::string> lines;
    for (const std::wstring& file : files) {
        std::ifstream in(Narrow(file), std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::wstring wide(raw.size() / 2, L'\0');
        std::copy_n(raw.data(), wide.size() * 2, reinterpret_cast<char*>(wide.data()));
        std::string text = Narrow(wide);
        for (std::size_t at = 0; (at = text.find("\\\r\n", at)) != std::string::npos;) {
            text.erase(at, text.find_first_not_of(' ', at + 3) - at);
        }
        std::string key;
        for (std::size_t at = 0, end = 0; at < text.size(); at = end + 2) {
            end = std::min(text.find("\r\n", at), text.size());
            const std::string line = text.substr(at, end - at);
            if (line.rfind('[', 0) == 0) key = line;
            if (!line.empty()) lines.push_back(key + (line == key ? "" : " " + line));
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
}

bool Tool::Launch(std::string& error, const std::vector<std::wstring>& arguments) {
    const std::wstring exe = ToolPath();
    std::wstring commandLine = CommandLine(exe, arguments);
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &process_)) {
        error = LaunchFailure(exe, GetLastError());
        process_ = {};
        return false;
    }
    const std::wstring className = Widen(layout::kWindowClass);
    const bool found = WaitUntil(
        [&] {
            for (HWND hwnd : TopLevelWindowsOf(process_.dwProcessId)) {
                if (ClassName(hwnd) == className) {
                    window_ = hwnd;
                    return true;
                }
            }
            return !Running();
        },
        kStartTimeout);
    if (!found || !window_) {
        error = Running() ? "the program showed no window" : "the program ended at start";
        return false;
    }
    threadId_ = GetWindowThreadProcessId(window_, nullptr);
    return true;
}

HWND Tool::Control(const layout::ControlInfo& info) const {
    const std::wstring text = Widen(info.text);
    for (HWND hwnd : Descendants(window_)) {
        const std::wstring cls = ClassName(hwnd);
        switch (info.kind) {
        case layout::ControlKind::TextBox:
            if (_wcsicmp(cls.c_str(), L"Edit") == 0) return hwnd;
            break;
        case layout::ControlKind::Label:
            if (_wcsicmp(cls.c_str(), L"Static") == 0 && WindowText(hwnd) == text) return hwnd;
            break;
        case layout::ControlKind::Frame:
            if (_wcsicmp(cls.c_str(), L"Button") == 0 && IsGroupBox(hwnd) &&
                WindowText(hwnd) == text) {
                return hwnd;
            }
            break;
        case layout::ControlKind::Button:
            if (_wcsicmp(cls.c_str(), L"Button") == 0 && !IsGroupBox(hwnd) &&
                WindowText(hwnd) == text) {
                return hwnd;
            }
            break;
        }
    }
    return nullptr;
}

HWND Tool::Control(std::string_view name, int index) const {
    const layout::ControlInfo* info = layout::Find(name, index);
    return info ? Control(*info) : nullptr;
}

HWND Tool::Focus() const {
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    if (!GetGUIThreadInfo(threadId_, &info)) return nullptr;
    return info.hwndFocus;
}

bool Tool::WaitForFocus(HWND expected, Duration timeout) const {
    return WaitUntil([&] { return Focus() == expected; }, timeout);
}

std::optional<MessageBoxInfo> Tool::FindMessageBox() const {
    for (HWND hwnd : TopLevelWindowsOf(process_.dwProcessId)) {
        if (ClassName(hwnd) != L"#32770") continue;
        MessageBoxInfo box;
        box.hwnd = hwnd;
        box.caption = WindowText(hwnd);
        // The message text is the static control with the identifier 0xFFFF.
        box.text = WindowText(GetDlgItem(hwnd, 0xFFFF));
        box.owner = GetWindow(hwnd, GW_OWNER);
        return box;
    }
    return std::nullopt;
}

std::optional<MessageBoxInfo> Tool::WaitForMessageBox(Duration timeout) const {
    std::optional<MessageBoxInfo> box;
    WaitUntil(
        [&] {
            box = FindMessageBox();
            return box.has_value() || !Running();
        },
        timeout);
    return box;
}

bool Tool::AnswerMessageBox(const MessageBoxInfo& box) const {
    PostMessageW(box.hwnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box.hwnd, IDOK)));
    return WaitUntil([&] { return !IsWindow(box.hwnd) || !IsWindowVisible(box.hwnd); });
}

bool Tool::Sync() const {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &result) != 0;
}

void Tool::Release() {
    if (process_.hProcess) {
        CloseHandle(process_.hThread);
        CloseHandle(process_.hProcess);
    }
    process_ = {};
}

bool Tool::Running() const {
    return process_.hProcess && WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> Tool::WaitForExit(Duration timeout) const {
    if (!process_.hProcess) return std::nullopt;
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(timeout.count())) !=
        WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(process_.hProcess, &code)) return std::nullopt;
    return code;
}

Keyboard::Keyboard(const Tool& tool) : tool_(tool) {
    // AttachThreadInput needs a message queue on this thread too.
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    attached_ = AttachThreadInput(GetCurrentThreadId(), tool.ThreadId(), TRUE) != FALSE;
    SetForegroundWindow(tool.Window());
    attached_ = attached_ && WaitUntil([&] { return GetForegroundWindow() == tool.Window(); });
}

Keyboard::~Keyboard() { AttachThreadInput(GetCurrentThreadId(), tool_.ThreadId(), FALSE); }

bool Keyboard::FocusOn(HWND control) {
    // With Tab, as a person would: at most once round all controls.
    for (int step = 0; step < 8; ++step) {
        const HWND before = tool_.Focus();
        if (before == control) return true;
        Press(VK_TAB);
        if (!WaitUntil([&] { return tool_.Focus() != before; })) return false;
    }
    return tool_.Focus() == control;
}

namespace {

INPUT Key(WORD virtualKey, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtualKey;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(virtualKey, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

}  // namespace

void Keyboard::Press(WORD virtualKey, bool shift) {
    std::vector<INPUT> keys;
    if (shift) keys.push_back(Key(VK_SHIFT, false));
    keys.push_back(Key(virtualKey, false));
    keys.push_back(Key(virtualKey, true));
    if (shift) keys.push_back(Key(VK_SHIFT, true));
    SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

void Keyboard::Type(std::wstring_view text) {
    std::vector<INPUT> keys;
    for (wchar_t c : text) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wScan = static_cast<WORD>(c);
        input.ki.dwFlags = KEYEVENTF_UNICODE;
        keys.push_back(input);
        input.ki.dwFlags |= KEYEVENTF_KEYUP;
        keys.push_back(input);
    }
    if (!keys.empty()) SendInput(static_cast<UINT>(keys.size()), keys.data(), sizeof(INPUT));
}

namespace reg {

namespace {

class Key {
public:
    Key(const std::wstring& path, REGSAM access, HKEY root = HKEY_CURRENT_USER) {
        if (RegOpenKeyExW(root, path.c_str(), 0, access, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~Key() {
        if (key_) RegCloseKey(key_);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY Get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::wstring Folded(std::wstring text) {
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
    return text;
}

void DumpKey(HKEY root, const std::wstring& path, const std::wstring& shownPath, std::string& out) {
    Key key(path, KEY_READ, root);
    if (!key.Get()) return;
    out += "[" + Narrow(shownPath) + "]\n";

    std::map<std::wstring, std::string> values;
    // Buffers as large as the key's longest value name and data, not the largest there can be:
    // a dump walks thousands of keys.
    DWORD longestName = 0;
    DWORD longestData = 0;
    RegQueryInfoKeyW(key.Get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &longestName, &longestData, nullptr, nullptr);
    std::vector<wchar_t> nameBuffer(std::size_t{longestName} + 1);
    std::vector<BYTE> data(std::max<std::size_t>(longestData, 1));
    for (DWORD index = 0;; ++index) {
        wchar_t* name = nameBuffer.data();
        auto nameLength = static_cast<DWORD>(nameBuffer.size());
        DWORD type = 0;
        auto size = static_cast<DWORD>(data.size());
        const LONG result = RegEnumValueW(key.Get(), index, name, &nameLength, nullptr, &type,
                                          data.data(), &size);
        if (result == ERROR_MORE_DATA) {  // grown since the key was asked: again, larger
            nameBuffer.resize(nameBuffer.size() * 2 + 256);
            data.resize(std::max<std::size_t>(size, data.size() * 2));
            --index;
            continue;
        }
        if (result != ERROR_SUCCESS) break;
        std::string line(1, '"');
        line.append(Narrow(std::wstring(name, nameLength)));
        line.append("\" type ").append(std::to_string(type)).append(" =");
        static const char digits[] = "0123456789ABCDEF";
        for (DWORD i = 0; i < size; ++i) {
            line += ' ';
            line += digits[data[i] >> 4];
            line += digits[data[i] & 15];
        }
        values.emplace(Folded(std::wstring(name, nameLength)), line + "\n");
    }
    for (const auto& [folded, line] : values) out += line;

    std::map<std::wstring, std::wstring> subKeys;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD nameLength = 256;
        if (RegEnumKeyExW(key.Get(), index, name, &nameLength, nullptr, nullptr, nullptr,
                          nullptr) != ERROR_SUCCESS) {
            break;
        }
        const std::wstring subKey(name, nameLength);
        subKeys.emplace(Folded(subKey), subKey);
    }
    for (const auto& [folded, name] : subKeys) {
        DumpKey(root, path + L"\\" + name, shownPath + L"\\" + name, out);
    }
}

}  // namespace

bool KeyExists(const std::wstring& path) { return Key(path, KEY_READ).Get() != nullptr; }

bool DeleteTree(const std::wstring& path) {
    const LONG result = RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str());
    if (result != ERROR_SUCCESS && result != ERROR_FILE_NOT_FOUND) return false;
    return RegDeleteKeyW(HKEY_CURRENT_USER, path.c_str()) == ERROR_SUCCESS ||
           !KeyExists(path);
}

std::optional<DWORD> ReadDword(const std::wstring& path, const std::wstring& name) {
    Key key(path, KEY_READ);
    if (!key.Get()) return std::nullopt;
    DWORD type = 0;
    DWORD value = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(value)) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::wstring> ReadString(const std::wstring& path, const std::wstring& name) {
    Key key(path, KEY_READ);
    if (!key.Get()) return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    std::wstring text(size / sizeof(wchar_t) + 1, L'\0');
    DWORD capacity = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    if (RegQueryValueExW(key.Get(), name.c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &capacity) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    text.resize(capacity / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    return text;
}

std::string Dump(const std::wstring& path, HKEY root) {
    std::string out;
    DumpKey(root, path, path, out);
    return out;
}

void RemoveProgramOutput() {
    const std::wstring zoneMap = std::wstring(kInternetSettings) + L"\\ZoneMap\\";
    for (const wchar_t* tree : {L"Domains", L"EscDomains", L"Ranges", L"EscRanges"}) {
        DeleteTree(zoneMap + tree);
    }
    DeleteTree(kTrustedZone);
    DeleteTree(std::wstring(kBrowser) + L"\\New Windows");
    DeleteTree(std::wstring(kBrowser) + L"\\PhishingFilter");
}

}  // namespace reg

namespace {

struct Image {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> bgra;  // top-down rows

    std::size_t Offset(int x, int y) const {
        return (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                static_cast<std::size_t>(x)) * 4;
    }
};

// The client area of the window as it is on screen.
bool CaptureClient(HWND window, Image& image) {
    RECT client{};
    if (!GetClientRect(window, &client)) return false;
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    image.width = client.right;
    image.height = client.bottom;
    if (image.width <= 0 || image.height <= 0) return false;

    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, image.width, image.height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    const BOOL copied = BitBlt(memory, 0, 0, image.width, image.height, screen, origin.x,
                               origin.y, SRCCOPY | CAPTUREBLT);
    SelectObject(memory, old);

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = image.width;
    info.bmiHeader.biHeight = -image.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    image.bgra.assign(image.Offset(0, image.height), 0);
    const int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(image.height),
                               image.bgra.data(), &info, DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return copied && rows == image.height;
}

std::uint32_t Crc32(const std::uint8_t* data, std::size_t size, std::uint32_t crc = 0) {
    static const auto table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t n = 0; n < 256; ++n) {
            std::uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < size; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void PutChunk(std::vector<std::uint8_t>& out, const char* type,
              const std::vector<std::uint8_t>& data) {
    PutBigEndian(out, static_cast<std::uint32_t>(data.size()));
    std::vector<std::uint8_t> typed(type, type + 4);
    typed.insert(typed.end(), data.begin(), data.end());
    out.insert(out.end(), typed.begin(), typed.end());
    PutBigEndian(out, Crc32(typed.data(), typed.size()));
}

// An RGB PNG file with the image data in stored (uncompressed) deflate blocks.
std::vector<std::uint8_t> EncodePng(const Image& image) {
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(image.height) * static_cast<std::size_t>(1 + image.width * 3));
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);  // no filter
        for (int x = 0; x < image.width; ++x) {
            const std::size_t at = image.Offset(x, y);
            raw.push_back(image.bgra[at + 2]);
            raw.push_back(image.bgra[at + 1]);
            raw.push_back(image.bgra[at]);
        }
    }
    std::vector<std::uint8_t> zlib{0x78, 0x01};
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (std::uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    std::size_t offset = 0;
    do {
        const std::size_t length = std::min<std::size_t>(65535, raw.size() - offset);
        const bool last = offset + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(length & 0xFF));
        zlib.push_back(static_cast<std::uint8_t>(length >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~length & 0xFF));
        zlib.push_back(static_cast<std::uint8_t>((~length >> 8) & 0xFF));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(offset),
                    raw.begin() + static_cast<std::ptrdiff_t>(offset + length));
        offset += length;
    } while (offset < raw.size());
    PutBigEndian(zlib, (b << 16) | a);

    std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> header;
    PutBigEndian(header, static_cast<std::uint32_t>(image.width));
    PutBigEndian(header, static_cast<std::uint32_t>(image.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    PutChunk(png, "IHDR", header);
    PutChunk(png, "IDAT", zlib);
    PutChunk(png, "IEND", {});
    return png;
}

}  // namespace

bool SaveWindowImage(HWND window, const std::wstring& file, std::string& error) {
    Image image;
    if (!CaptureClient(window, image)) {
        error = "cannot capture the window";
        return false;
    }
    const std::vector<std::uint8_t> png = EncodePng(image);
    std::ofstream out(file.c_str(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    if (!out) {
        error = "cannot write " + Narrow(file);
        return false;
    }
    return true;
}

bool ShowsTextIn(HWND window, const RECT& rect) {
    Image image;
    if (!CaptureClient(window, image)) return false;
    int dark = 0;
    for (int y = std::max<int>(rect.top, 0); y < std::min<int>(rect.bottom, image.height); ++y) {
        for (int x = std::max<int>(rect.left, 0); x < std::min<int>(rect.right, image.width);
             ++x) {
            const std::size_t at = image.Offset(x, y);
            const int luminance = (image.bgra[at] + 6 * image.bgra[at + 1] +
                                   3 * image.bgra[at + 2]) / 10;
            if (luminance < 96) ++dark;
        }
    }
    return dark >= 20;
}

}  // namespace zuv::e2e
