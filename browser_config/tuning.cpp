// Browser-wide tuning: extensions, page freshness and connection limits (kBrowserTuning).
#include "browser_config/browser_config.h"
#include "browser_config/own_places.h"

namespace zuv {

void ApplyBrowserTuning(mdlReg& reg, ApplyOutcome& outcome) {
    for (const TuningSetting& s : kBrowserTuning) {
        reg.DeleteEntry(kHkeyCurrentUser, s.key, s.name);
        WriteValue(reg, outcome, kHkeyCurrentUser, s.key, s.name, s.data, s.type);
    }
}

}  // namespace zuv
