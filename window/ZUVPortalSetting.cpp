#include "window/ZUVPortalSetting.h"

namespace zuv {

void ZUVPortalSetting::Form_Load() { BrowserGeneration = DetectBrowserGeneration(reg_); }

ApplyOutcome ZUVPortalSetting::Apply(const std::string& address) {
    return RunApplySteps(reg_, address, BrowserGeneration, Protocols);
}

void ZUVPortalSetting::cmdOK_Click() {
    const ApplyReport report =
        ApplyPortal(reg_, {ui_.AddressText(), BrowserGeneration, Protocols}, records_);
    ui_.ShowMessage(report.message, kMessageFlags, kMessageCaption);
}

void ZUVPortalSetting::cmdCancel_Click() { ui_.Unload(); }

bool ZUVPortalSetting::txtURL_KeyDown(int keyCode) {
    if (keyCode != kKeyReturn) return false;
    ui_.SendTab();
    return true;
}

}  // namespace zuv
