// Which generation of Internet Explorer is installed.
#include "browser_config/browser_config.h"

namespace zuv {

IeGeneration DetectBrowserGeneration(mdlReg& reg) {
    std::uint32_t type = kRegSz;
    const std::string version = reg.QueryValue(kHkeyLocalMachine, kBrowserVersionKey, "Version", type);
    // Only the first character counts. One that is not a digit gives no later generation.
    switch (version.empty() ? '\0' : version.front()) {
    case '7': return IeGeneration::IE7;
    case '8': return IeGeneration::IE8;
    case '9': return IeGeneration::IE9;
    default: return IeGeneration::IE6;
    }
}

}  // namespace zuv
