// The window ZUVPortalSetting as logic: its event handlers and the apply command, talking to
// the screen only through UiPort.
#pragma once

#include <string>

#include "registry/mdlReg.h"
#include "window/ui_port.h"

namespace zuv {

inline constexpr const char* kMessageCaption = "提示信息";
inline constexpr const char* kSuccessMessage = "恭喜你，设置成功！";
inline constexpr const char* kFailurePrefix = "设置出错，原因：";
constexpr unsigned kMessageFlags = kMbOk | kMbIconInformation;  // 64

class ZUVPortalSetting {
public:
    ZUVPortalSetting(UiPort& ui, mdlReg& reg) : ui_(ui), reg_(reg) {}

    // Start-up: detects the browser generation. Runs before the window is shown.
    void Form_Load();
    // The apply command.
    void cmdOK_Click();
    // Unloads the window; nothing is written or asked.
    void cmdCancel_Click();
    // Returns true when the key was handled here (Enter moves the focus on),
    // false when it is left to the text box.
    bool txtURL_KeyDown(int keyCode);

    std::string BrowserGeneration;

private:
    UiPort& ui_;
    mdlReg& reg_;
};

// The text that tells the user which write the registry refused.
std::string DescribeRefusedWrite(const RefusedWrite& refused, const std::string& errorText);

}  // namespace zuv
