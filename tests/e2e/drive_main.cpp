// zuv_drive: uses the program the way a person would, for the run command: starts it, types an
// address, saves an image of the window, presses the apply button, prints the message box and
// closes the program. With --type-only it stops after typing and leaves the program to the user.
//
//   zuv_drive [--address TEXT] [--screenshot FILE.png] [--type-only]
#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "driver.h"

using namespace zuv::e2e;

namespace {

int Fail(const std::string& what) {
    std::fprintf(stderr, "zuv_drive: %s\n", what.c_str());
    return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::wstring address = L"192.0.2.10";
    std::wstring screenshot;
    bool typeOnly = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--address" && i + 1 < argc) {
            address = argv[++i];
        } else if (arg == L"--screenshot" && i + 1 < argc) {
            screenshot = WindowsPath(Narrow(argv[++i]));
        } else if (arg == L"--type-only") {
            typeOnly = true;
        } else {
            return Fail("usage: zuv_drive [--address TEXT] [--screenshot FILE.png] [--type-only]");
        }
    }

    Tool tool;
    std::string error;
    if (!tool.Launch(error)) return Fail(error);
    HWND box = tool.Control("txtURL");
    HWND ok = tool.Control("cmdOK");
    if (!box || !ok) return Fail("controls not found");
    if (!tool.WaitForFocus(tool.Control("cmdCancel"))) return Fail("the window is not ready");

    {
        Keyboard keyboard(tool);
        if (!keyboard.Attached()) return Fail("cannot bring the window to the foreground");
        if (!keyboard.FocusOn(box)) return Fail("cannot focus the address box");
        keyboard.Type(address);
        if (!WaitUntil([&] { return WindowText(box) == address; })) {
            return Fail("the address box holds \"" + Narrow(WindowText(box)) + "\"");
        }
        std::printf("typed address: %s\n", Narrow(address).c_str());

        if (!screenshot.empty()) {
            RECT client{};
            GetClientRect(tool.Window(), &client);
            WaitUntil([&] { return ShowsTextIn(tool.Window(), client); });
            if (!SaveWindowImage(tool.Window(), screenshot, error)) return Fail(error);
        }

        if (typeOnly) {
            tool.Release();
            return 0;
        }
        if (!keyboard.FocusOn(ok)) return Fail("cannot focus the apply button");
        keyboard.Press(VK_SPACE);
    }
    const auto message = tool.WaitForMessageBox();
    if (!message) return Fail("no message box after pressing the apply button");
    std::printf("message box [%s]: %s\n", Narrow(message->caption).c_str(),
                Narrow(message->text).c_str());
    if (!tool.AnswerMessageBox(*message)) return Fail("the message box did not close");

    PostMessageW(tool.Window(), WM_CLOSE, 0, 0);
    const auto code = tool.WaitForExit();
    if (!code) return Fail("the program did not end after closing its window");
    std::printf("program ended with exit code %lu\n", *code);
    std::fflush(stdout);
    return *code == 0 ? 0 : 1;
}
