#include "window/ZUVPortalSetting.h"

#include <new>

#include "base/runtime_error.h"

namespace zuv {
namespace {

std::string RootName(RegKey root) {
    if (root == kHkeyCurrentUser) return "HKEY_CURRENT_USER";
    if (root == kHkeyLocalMachine) return "HKEY_LOCAL_MACHINE";
    return "?";
}

std::string DescribeRefusal(const RefusedWrite& refused) {
    std::string text = "无法写入注册表 " + RootName(refused.root) + "\\" + refused.path;
    if (!refused.valueName.empty()) {
        text += " 中的值“" + refused.valueName + "”";
    } else if (refused.reason.empty()) {
        text += " 的默认值";
    }
    if (!refused.reason.empty()) return text + "（" + refused.reason + "）";
    return text + "（错误代码 " + std::to_string(refused.code) + "：" + refused.systemText + "）";
}

}  // namespace

std::string MessageText(const ApplyOutcome& outcome) {
    // A run-time error stopped the steps: that is what the user learns, even when a write
    // was refused before it.
    if (const auto& error = outcome.Error()) return kFailurePrefix + *error;
    if (const auto& refused = outcome.Refusal()) return kFailurePrefix + DescribeRefusal(*refused);
    return kSuccessMessage;
}

void ZUVPortalSetting::Form_Load() { BrowserGeneration = DetectBrowserGeneration(reg_); }

ApplyOutcome ZUVPortalSetting::Apply(const std::string& address) {
    ApplyOutcome outcome;
    try {
        if (!address.empty()) {
            RegisterTrustedSite(reg_, outcome, address);
            AllowSitePopups(reg_, outcome, address, BrowserGeneration);
        }
        ApplyTrustedZonePolicy(reg_, outcome);
        ApplyBrowserTuning(reg_, outcome);
    } catch (const RuntimeError& error) {
        outcome.Stop(error.Description());
    } catch (const std::bad_alloc&) {
        outcome.Stop(StandardDescription(ErrorKind::OutOfMemory));
    } catch (const std::exception& error) {
        outcome.Stop(StandardDescription(ErrorKind::Unexpected) + "：" + error.what());
    } catch (...) {
        outcome.Stop(StandardDescription(ErrorKind::Unexpected));
    }
    return outcome;
}

void ZUVPortalSetting::cmdOK_Click() {
    const ApplyOutcome outcome = Apply(ui_.AddressText());
    ui_.ShowMessage(MessageText(outcome), kMessageFlags, kMessageCaption);
}

void ZUVPortalSetting::cmdCancel_Click() { ui_.Unload(); }

bool ZUVPortalSetting::txtURL_KeyDown(int keyCode) {
    if (keyCode != kKeyReturn) return false;
    ui_.SendTab();
    return true;
}

}  // namespace zuv
