// The actions of the trusted-sites zone (zone 2): 0 enables an action, 3 disables it.
#include "browser_config/browser_config.h"

namespace zuv {

void ApplyTrustedZonePolicy(mdlReg& reg, ApplyOutcome& outcome) {
    struct Action {
        const char* name;
        double policy;
    };
    static constexpr Action kActions[] = {
        {"1001", 0},  // download signed ActiveX controls
        {"1004", 0},  // download unsigned ActiveX controls
        {"1200", 0},  // run ActiveX controls and plug-ins
        {"1201", 0},  // initialize and script ActiveX controls not marked as safe
        {"1405", 0},  // script ActiveX controls marked safe for scripting
        {"1402", 0},  // scripting of Java applets
        {"1400", 0},  // active scripting
        {"1407", 0},  // programmatic clipboard access
        {"2102", 0},  // script-initiated windows without size or position constraints
        {"2101", 3},  // less privileged zones may navigate into this one: disabled
        {"2100", 0},  // open files based on content, not file extension
        {"2200", 0},  // automatic prompting for file downloads
        {"1406", 0},  // access data sources across domains
        {"CurrentLevel", 0},  // custom level
    };
    for (const Action& action : kActions) {
        WriteValue(reg, outcome, kHkeyCurrentUser, kTrustedZoneKey, action.name, action.policy,
                   kRegDword);
    }
}

}  // namespace zuv
