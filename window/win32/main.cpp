// Program entry: the window ZUVPortalSetting is the start-up object. Creating it starts the
// program, unloading it ends the program.
#include <windows.h>

#include <exception>
#include <memory>
#include <string>

#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "registry/win32_registry.h"
#include "window/ZUVPortalSetting.h"
#include "window/layout.h"
#include "window/win32/portal_window.h"

namespace {

// Last resort for an error that no handler traps (the start-up detection has no trap): tell the
// user and end with a failure code.
int ReportFatal(const std::string& description) {
    const std::wstring title = zuv::Widen(zuv::layout::kWindowTitle);
    MessageBoxW(nullptr, zuv::Widen(description).c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    return 1;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
    try {
        zuv::Win32Registry registry;
        const std::unique_ptr<zuv::AnsiCodePage> codePage = zuv::MakeSystemCodePage();
        zuv::mdlReg reg(registry, *codePage);

        zuv::PortalWindow window(instance);
        zuv::ZUVPortalSetting logic(window, reg);
        if (!window.Create(logic)) return ReportFatal("无法创建窗口。");
        logic.Form_Load();
        window.Show(showCommand);
        return window.RunMessageLoop();
    } catch (const std::exception& error) {
        return ReportFatal(error.what());
    } catch (...) {
        return ReportFatal("意外错误");
    }
}
