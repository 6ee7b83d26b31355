// The actions of the trusted-sites zone (zone 2), as the list of the tool's own places names them.
#include "browser_config/browser_config.h"
#include "browser_config/own_places.h"

namespace zuv {

void ApplyTrustedZonePolicy(mdlReg& reg, ApplyOutcome& outcome) {
    for (const ZoneAction& action : kTrustedZoneActions) {
        WriteValue(reg, outcome, kHkeyCurrentUser, kTrustedZoneKey, action.name, action.policy,
                   kRegDword);
    }
}

}  // namespace zuv
