// The window ZUVPortalSetting as logic: its event handlers and the apply command, talking to
// the screen only through UiPort.
#pragma once

#include <string>

#include "browser_config/apply_outcome.h"
#include "browser_config/browser_config.h"
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
    // The apply command: applies the address in txtURL and shows the outcome.
    void cmdOK_Click();
    // Unloads the window; nothing is written or asked.
    void cmdCancel_Click();
    // Returns true when the key was handled here (Enter moves the focus on),
    // false when it is left to the text box.
    bool txtURL_KeyDown(int keyCode);

    // The steps of the apply command for `address`, in their order, inside its single error
    // trap: a run-time error abandons the remaining steps.
    ApplyOutcome Apply(const std::string& address);

    IeGeneration BrowserGeneration = IeGeneration::IE6;

private:
    UiPort& ui_;
    mdlReg& reg_;
};

// The text the user is told for an outcome: the success message, or the failure prefix and
// what went wrong.
std::string MessageText(const ApplyOutcome& outcome);

}  // namespace zuv
