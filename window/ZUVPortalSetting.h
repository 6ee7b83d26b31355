// The window ZUVPortalSetting as logic: its event handlers and the apply command, talking to
// the screen only through UiPort.
#pragma once

#include <string>

#include "apply/portal_apply.h"
#include "browser_config/apply_outcome.h"
#include "browser_config/browser_config.h"
#include "registry/mdlReg.h"
#include "window/ui_port.h"

namespace zuv {

inline constexpr const char* kMessageCaption = "提示信息";
constexpr unsigned kMessageFlags = kMbOk | kMbIconInformation;  // 64

class ZUVPortalSetting {
public:
    // Every apply of the apply command is one ApplyPortal: with `records` it is backed up and
    // logged as they say; without, it is neither.
    ZUVPortalSetting(UiPort& ui, mdlReg& reg, const ApplyRecords* records = nullptr)
        : ui_(ui), reg_(reg), records_(records) {}

    // Start-up: detects the browser generation. Runs before the window is shown.
    void Form_Load();
    // The apply command: applies the address in txtURL and shows the outcome.
    void cmdOK_Click();
    // Unloads the window; nothing is written or asked.
    void cmdCancel_Click();
    // Returns true when the key was handled here (Enter moves the focus on),
    // false when it is left to the text box.
    bool txtURL_KeyDown(int keyCode);

    // The steps of the apply command for `address` with this window's generation and
    // protocols (RunApplySteps), without the address rule, backup, log or message.
    ApplyOutcome Apply(const std::string& address);

    IeGeneration BrowserGeneration = IeGeneration::IE6;
    // What the site is trusted for. Only the command line asks for https as well.
    SiteProtocols Protocols = SiteProtocols::Http;

private:
    UiPort& ui_;
    mdlReg& reg_;
    const ApplyRecords* records_;
};

}  // namespace zuv
