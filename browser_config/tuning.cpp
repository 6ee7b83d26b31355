// Browser-wide tuning: extensions, page freshness and connection limits.
#include "browser_config/browser_config.h"

namespace zuv {

void ApplyBrowserTuning(mdlReg& reg, ApplyOutcome& outcome) {
    struct Setting {
        const char* key;
        const char* name;
        RegValue data;
        std::uint32_t type;
    };
    const Setting settings[] = {
        {kBrowserMainKey, "Enable Browser Extensions", std::string("yes"), kRegSz},
        {kInternetSettingsKey, "SyncMode5", 3.0, kRegDword},  // check on every visit
        {kInternetSettingsKey, "MaxConnectionsPerServer", 10.0, kRegDword},
        {kInternetSettingsKey, "MaxConnectionsPer1_0Server", 10.0, kRegDword},
    };
    for (const Setting& s : settings) {
        reg.DeleteEntry(kHkeyCurrentUser, s.key, s.name);
        WriteValue(reg, outcome, kHkeyCurrentUser, s.key, s.name, s.data, s.type);
    }
}

}  // namespace zuv
