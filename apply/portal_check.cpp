#include "apply/portal_check.h"

#include "browser_config/address_rule.h"
#include "browser_config/browser_check.h"
#include "browser_config/browser_config.h"
#include "browser_config/zone_check.h"

namespace zuv {

RunReport CheckPortal(mdlReg& reg, const std::string& address, const std::string& protocol,
                      ApplyHost& host) {
    if (const auto why = WhyAddressRefused(address)) {
        return {"无法检查地址：" + *why + "\n", kExitNotUnderstood};
    }
    ZoneCheck check;
    if (const auto error = RunTrapped([&] { check = CheckZoneMap(reg, address, protocol); })) {
        // An address the tool could not write cannot be checked either.
        return {"无法检查地址：" + error->shortDescription + "\n", kExitNotUnderstood};
    }
    const UrlZoneAnswer answer = host.AskUrlZone(address, protocol);
    // What today's browser makes of the site is told after the zone's conclusion; it never
    // changes the exit code.
    return {CheckReportText(check, answer) + BrowserFindingsText(FindBrowserSettings(reg, address)),
            CheckExitCode(check, answer) == kCheckTrusted ? kExitSuccess : kExitNotTrusted};
}

}  // namespace zuv
