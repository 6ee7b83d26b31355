// Pop-up blocker allowance for the portal and the phishing-filter values.
#include "browser_config/browser_config.h"
#include "browser_config/own_places.h"

namespace zuv {

void AllowSitePopups(mdlReg& reg, ApplyOutcome& outcome, const std::string& address,
                     IeGeneration generation) {
    if (address.empty()) return;
    const auto write = [&](const char* path, const std::string& name, const RegValue& value,
                           std::uint32_t type) {
        WriteValue(reg, outcome, kHkeyCurrentUser, path, name, value, type);
    };
    write(kPopupKey, "", std::string(), kRegSz);
    // The sixth generation keeps the switch as text, later ones as a number.
    if (generation == IeGeneration::IE6) {
        write(kPopupKey, kPopupSwitchValue, std::string("yes"), kRegSz);
    } else {
        write(kPopupKey, kPopupSwitchValue, 1.0, kRegDword);
    }
    reg.DeleteEntry(kHkeyCurrentUser, kPopupAllowKey, address);
    write(kPopupAllowKey, address, ByteArray{}, kRegBinary);
    write(kPhishingFilterKey, "", std::string(), kRegSz);
    for (const char* name : kPhishingFilterValues) write(kPhishingFilterKey, name, 1.0, kRegDword);
}

}  // namespace zuv
