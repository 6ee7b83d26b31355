// Program entry. Without arguments the window ZUVPortalSetting is the start-up object:
// creating it starts the program, unloading it ends the program. The command line can ask for
// more (see UsageText).
#include <windows.h>
#include <shellapi.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "base/win32_text.h"
#include "program/command_line.h"
#include "program/program.h"
#include "program/win32/win32_host.h"
#include "registry/codepage.h"
#include "registry/win32_registry.h"
#include "window/ZUVPortalSetting.h"
#include "window/window_identity.h"
#include "window/win32/portal_window.h"

namespace {

// Last resort for an error that no handler traps (the start-up detection has no trap): tell the
// user and end with a failure code.
int ReportFatal(const std::string& description) {
    const std::wstring title = zuv::Widen(zuv::layout::kWindowTitle);
    MessageBoxW(nullptr, zuv::Widen(description).c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    return 1;
}

// The arguments after the program's name, split as CommandLineToArgvW splits them.
std::vector<std::string> Arguments() {
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    std::vector<std::string> arguments;
    for (int i = 1; argv && i < count; ++i) arguments.push_back(zuv::Narrow(argv.get()[i]));
    return arguments;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    try {
        const zuv::Invocation invocation = zuv::ParseCommandLine(Arguments());
        zuv::Win32Host host;
        zuv::Win32Registry registry;
        zuv::Win32StoredRegistry stored;
        const std::unique_ptr<zuv::AnsiCodePage> codePage = zuv::MakeSystemCodePage();

        const zuv::ProgramRegistry reached{registry, *codePage, stored};
        return zuv::RunProgram(invocation, host, reached, [&](zuv::mdlReg& reg,
                                                              const zuv::ApplyRecords& records) {
            zuv::PortalWindow window(instance);
            zuv::ZUVPortalSetting logic(window, reg, &records);
            if (invocation.https) logic.Protocols = zuv::SiteProtocols::HttpAndHttps;
            if (!window.Create(logic)) return ReportFatal("无法创建窗口。");
            logic.Form_Load();
            if (invocation.address) window.SetAddressText(*invocation.address);
            window.Show(showCommand);
            return window.RunMessageLoop();
        });
    } catch (const std::exception& error) {
        return ReportFatal(error.what());
    } catch (...) {
        return ReportFatal("意外错误");
    }
}
