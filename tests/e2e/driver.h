// Drives the real program under test from another process: starts it, finds its window and
// controls, types keys, reads and answers its message boxes, and reads the registry back.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/win32_text.h"
#include "tests/support/layout_lookup.h"
#include "window/layout.h"

namespace zuv::e2e {

using namespace std::chrono_literals;
using Duration = std::chrono::milliseconds;

// Generous bounds: everything normally happens within a fraction of them.
inline constexpr Duration kStartTimeout = 30s;
inline constexpr Duration kEventTimeout = 10s;

// Polls `condition` until it holds or `timeout` has passed; returns its last answer.
bool WaitUntil(const std::function<bool()>& condition, Duration timeout = kEventTimeout);

using zuv::Narrow;
using zuv::Widen;

// The program to test: ZUV_TOOL from the environment (a Unix or a Windows path).
std::wstring ToolPath();
// Folder for test artefacts: ZUV_ARTIFACTS from the environment, created when missing.
std::wstring ArtifactsFolder();
// A Unix path as Wine sees it (drive Z:); Windows paths are returned unchanged.
std::wstring WindowsPath(const std::string& path);

// The system's text for a Windows error code, in English where the system has it.
std::string ErrorText(DWORD code);
// What the Wine session of this process looks like, for failure messages: the session's own
// programs (wineboot, services, explorer, ...) with their ages, whether its start-up has
// finished, and the server of the shared session when the test run started one (ZUV_WINE_SESSION).
std::string WineSessionState();
// The failure text of a program that could not be started: the program, the Windows error code
// and its text, and the session's state.
std::string LaunchFailure(const std::wstring& program, DWORD code);

std::wstring WindowText(HWND hwnd);
std::wstring ClassName(HWND hwnd);

// A message box of the program under test.
struct MessageBoxInfo {
    HWND hwnd = nullptr;
    std::wstring caption;
    std::wstring text;
    HWND owner = nullptr;
};

class Tool {
public:
    Tool() = default;
    ~Tool();
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // Starts the program with the given command-line arguments and waits for its window to be
    // visible. On failure `error` says why.
    bool Launch(std::string& error, const std::vector<std::wstring>& arguments = {});

    HWND Window() const { return window_; }
    DWORD ThreadId() const { return threadId_; }
    DWORD ProcessId() const { return process_.dwProcessId; }

    // The control described by `info`, found by class and text (the text box by class alone).
    HWND Control(const layout::ControlInfo& info) const;
    HWND Control(std::string_view name, int index = -1) const;

    // The control that has the keyboard focus in the program, or nullptr.
    HWND Focus() const;
    bool WaitForFocus(HWND expected, Duration timeout = kEventTimeout) const;

    // A visible message box of the program, if there is one.
    std::optional<MessageBoxInfo> FindMessageBox() const;
    std::optional<MessageBoxInfo> WaitForMessageBox(Duration timeout = kEventTimeout) const;
    // Presses the OK button of the message box and waits until it is gone.
    bool AnswerMessageBox(const MessageBoxInfo& box) const;

    // Returns once the program's window thread has handled everything sent to it before.
    bool Sync() const;

    bool Running() const;
    // Lets the program run on after this object is gone.
    void Release();
    // The exit code once the program has ended within the timeout.
    std::optional<DWORD> WaitForExit(Duration timeout = kEventTimeout) const;

private:
    PROCESS_INFORMATION process_{};
    HWND window_ = nullptr;
    DWORD threadId_ = 0;
};

// One argument quoted so that CommandLineToArgvW gives it back unchanged.
std::wstring QuoteArgument(std::wstring_view argument);

// A run of the program to its end, with what it wrote to its standard output and error.
struct Finished {
    DWORD exitCode = 0;
    std::string output;  // UTF-8, converted from the ANSI code page the program writes in
};
// Runs the program with these arguments, its standard output and error going into a pipe, and
// waits for it to end. Nothing when it could not be started or did not end in time (`error`
// says which; a program that did not end is ended).
std::optional<Finished> RunToEnd(const std::vector<std::wstring>& arguments, std::string& error,
                                 Duration timeout = kStartTimeout);
// The same for another program: a path, or a name the system finds as a command line does
// ("msiexec.exe", "reg.exe").
std::optional<Finished> RunToEnd(const std::wstring& exe, const std::vector<std::wstring>& arguments,
                                 std::string& error, Duration timeout = kStartTimeout);

// Runs reg.exe with `arguments` (one command-line text) and waits a bounded time for it to end:
// its exit code, or the Windows error code when it could not be started.
DWORD Reg(const std::wstring& arguments);
// The keys and values of reg.exe's exports (UTF-16LE), continued lines joined, one line per
// value prefixed with its key, sorted: equal texts mean equal contents.
std::string Sorted(const std::vector<std::wstring>& files);

// The keyboard, attached to the program's window thread for the lifetime of this object: the
// program's window is brought to the foreground, and keys go to its focused control.
class Keyboard {
public:
    explicit Keyboard(const Tool& tool);
    ~Keyboard();
    Keyboard(const Keyboard&) = delete;
    Keyboard& operator=(const Keyboard&) = delete;

    bool Attached() const { return attached_; }
    // Moves the focus onto a control of the program with Tab and waits until it has it.
    bool FocusOn(HWND control);
    // One key press (down and up) of a virtual key, optionally with Shift held.
    void Press(WORD virtualKey, bool shift = false);
    // Types text as characters.
    void Type(std::wstring_view text);

private:
    const Tool& tool_;
    bool attached_ = false;
};

// The registry of the current user, as the program sees it.
namespace reg {

inline constexpr const wchar_t* kInternetSettings =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
inline constexpr const wchar_t* kTrustedZone =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2";
inline constexpr const wchar_t* kBrowser = L"Software\\Microsoft\\Internet Explorer";

bool KeyExists(const std::wstring& path);
bool DeleteTree(const std::wstring& path);
// The type and number of a value when it is there and of type REG_DWORD.
std::optional<DWORD> ReadDword(const std::wstring& path, const std::wstring& name);
// The text of a value when it is there and of type REG_SZ.
std::optional<std::wstring> ReadString(const std::wstring& path, const std::wstring& name);
// Everything below a key (of the current user unless `root` names another root) as text, one
// line per key and value, sorted: equal texts mean equal contents. A missing key gives the
// empty text.
std::string Dump(const std::wstring& path, HKEY root = HKEY_CURRENT_USER);

// Removes what the program writes, so every test starts from the same state.
void RemoveProgramOutput();

}  // namespace reg

// Captures the window as it is on screen and saves it as a PNG file. Returns false when the
// window could not be captured or the file not written.
bool SaveWindowImage(HWND window, const std::wstring& file, std::string& error);
// Whether the window's image on screen shows text in the given client rectangle (dark pixels on
// the light background), which tells that it has been painted.
bool ShowsTextIn(HWND window, const RECT& clientRect);

}  // namespace zuv::e2e
