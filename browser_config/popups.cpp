// Pop-up blocker allowance for the portal and the phishing-filter values.
#include "browser_config/browser_config.h"

namespace zuv {

void AllowSitePopups(mdlReg& reg, const std::string& address, const std::string& browserGeneration) {
    if (address.empty()) return;
    reg.SetValue(kHkeyCurrentUser, kPopupKey, "", std::string(), kRegSz);
    // The sixth generation keeps the switch as text, later ones as a number.
    if (browserGeneration == "IE6") {
        reg.SetValue(kHkeyCurrentUser, kPopupKey, "PopupMgr", std::string("yes"), kRegSz);
    } else {
        reg.SetValue(kHkeyCurrentUser, kPopupKey, "PopupMgr", 1.0, kRegDword);
    }
    reg.DeleteEntry(kHkeyCurrentUser, kPopupAllowKey, address);
    reg.SetValue(kHkeyCurrentUser, kPopupAllowKey, address, ByteArray{}, kRegBinary);
    reg.SetValue(kHkeyCurrentUser, kPhishingFilterKey, "", std::string(), kRegSz);
    reg.SetValue(kHkeyCurrentUser, kPhishingFilterKey, "Enabled", 1.0, kRegDword);
    reg.SetValue(kHkeyCurrentUser, kPhishingFilterKey, "ShownVerifyBalloon", 1.0, kRegDword);
}

}  // namespace zuv
