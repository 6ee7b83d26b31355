#include "window/ZUVPortalSetting.h"

#include "base/runtime_error.h"
#include "base/text.h"
#include "browser_config/address_rule.h"

namespace zuv {
namespace {

std::string DescribeRefusal(const RefusedWrite& refused, NameLength names) {
    const bool shorten = names == NameLength::Short;
    if (!refused.conflict.empty()) return shorten ? refused.shortConflict : refused.conflict;
    const std::string path = shorten ? ShortenLevels(refused.path, kShortNameLength) : refused.path;
    const std::string valueName =
        shorten ? ShortenMiddle(refused.valueName, kShortNameLength) : refused.valueName;
    std::string text = std::string("无法写入注册表 ") + RootName(refused.root) + "\\" + path;
    if (!refused.valueName.empty()) {
        text += " 中的值“" + valueName + "”";
    } else if (refused.reason.empty()) {
        text += " 的默认值";
    }
    if (!refused.reason.empty()) return text + "（" + refused.reason + "）";
    return text + "（错误代码 " + std::to_string(refused.code) + "：" + refused.systemText + "）";
}

}  // namespace

std::string MessageText(const ApplyOutcome& outcome, NameLength names) {
    if (const auto& why = outcome.AddressRefusal()) return kFailurePrefix + *why;
    // A run-time error stopped the steps: that is what the user learns, even when a write
    // was refused before it.
    if (const auto& error = outcome.Error()) {
        return kFailurePrefix +
               (names == NameLength::Short ? error->shortDescription : error->description);
    }
    if (const auto& refused = outcome.Refusal()) {
        return kFailurePrefix + DescribeRefusal(*refused, names);
    }
    return kSuccessMessage;
}

void ZUVPortalSetting::Form_Load() { BrowserGeneration = DetectBrowserGeneration(reg_); }

ApplyOutcome ZUVPortalSetting::Apply(const std::string& address) {
    return RunApplySteps(reg_, address, BrowserGeneration, Protocols);
}

ApplyOutcome ZUVPortalSetting::RunApply(const std::string& address) {
    // An address that cannot name a server is refused before anything is written or backed
    // up; the journal still hears of it.
    if (auto why = WhyAddressRefused(address)) {
        ApplyOutcome refused;
        refused.RefuseAddress(std::move(*why));
        if (journal_) {
            try {
                journal_->AfterApply(address, refused);
            } catch (...) {  // NOLINT(bugprone-empty-catch)
            }
        }
        return refused;
    }
    // The journal keeps its own failures to itself; should one escape, the apply still runs
    // and its outcome stands.
    if (journal_) {
        try {
            journal_->BeforeApply(address, BrowserGeneration, Protocols);
        } catch (...) {  // NOLINT(bugprone-empty-catch)
        }
    }
    ApplyOutcome outcome = Apply(address);
    if (journal_) {
        try {
            journal_->AfterApply(address, outcome);
        } catch (...) {  // NOLINT(bugprone-empty-catch)
        }
    }
    return outcome;
}

void ZUVPortalSetting::cmdOK_Click() {
    const ApplyOutcome outcome = RunApply(ui_.AddressText());
    ui_.ShowMessage(MessageText(outcome, NameLength::Short), kMessageFlags, kMessageCaption);
}

void ZUVPortalSetting::cmdCancel_Click() { ui_.Unload(); }

bool ZUVPortalSetting::txtURL_KeyDown(int keyCode) {
    if (keyCode != kKeyReturn) return false;
    ui_.SendTab();
    return true;
}

}  // namespace zuv
