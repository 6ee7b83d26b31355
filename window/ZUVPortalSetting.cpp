#include "window/ZUVPortalSetting.h"

#include <new>

#include "browser_config/browser_config.h"
#include "registry/runtime_error.h"

namespace zuv {
namespace {

std::string RootName(RegKey root) {
    if (root == kHkeyCurrentUser) return "HKEY_CURRENT_USER";
    if (root == kHkeyLocalMachine) return "HKEY_LOCAL_MACHINE";
    return "?";
}

}  // namespace

std::string DescribeRefusedWrite(const RefusedWrite& refused, const std::string& errorText) {
    std::string text = "无法写入注册表 " + RootName(refused.root) + "\\" + refused.path;
    if (!refused.valueName.empty()) {
        text += " 中的值“" + refused.valueName + "”";
    } else if (refused.reason.empty()) {
        text += " 的默认值";
    }
    if (!refused.reason.empty()) return text + "（" + refused.reason + "）";
    return text + "（错误代码 " + std::to_string(refused.code) + "：" + errorText + "）";
}

void ZUVPortalSetting::Form_Load() { BrowserGeneration = DetectBrowserGeneration(reg_); }

void ZUVPortalSetting::cmdOK_Click() {
    const std::string address = ui_.AddressText();
    std::string failure;
    reg_.ResetRefusals();
    try {
        if (!address.empty()) {
            RegisterTrustedSite(reg_, address);
            AllowSitePopups(reg_, address, BrowserGeneration);
        }
        ApplyTrustedZonePolicy(reg_);
        ApplyBrowserTuning(reg_);
        if (const auto& refused = reg_.FirstRefusedWrite()) {
            failure = DescribeRefusedWrite(*refused, reg_.ErrorText(refused->code));
        }
    } catch (const RuntimeError& error) {
        failure = error.Description();
    } catch (const std::bad_alloc&) {
        failure = StandardDescription(ErrorKind::OutOfMemory);
    } catch (const std::exception& error) {
        failure = StandardDescription(ErrorKind::Unexpected) + "：" + error.what();
    } catch (...) {
        failure = StandardDescription(ErrorKind::Unexpected);
    }
    if (failure.empty()) {
        ui_.ShowMessage(kSuccessMessage, kMessageFlags, kMessageCaption);
    } else {
        ui_.ShowMessage(kFailurePrefix + failure, kMessageFlags, kMessageCaption);
    }
}

void ZUVPortalSetting::cmdCancel_Click() { ui_.Unload(); }

bool ZUVPortalSetting::txtURL_KeyDown(int keyCode) {
    if (keyCode != kKeyReturn) return false;
    ui_.SendTab();
    return true;
}

}  // namespace zuv
