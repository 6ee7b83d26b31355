// Which generation of Internet Explorer is installed.
#include "browser_config/browser_config.h"

namespace zuv {

std::string DetectBrowserGeneration(mdlReg& reg) {
    std::uint32_t type = kRegSz;
    const std::string version = reg.QueryValue(kHkeyLocalMachine, kBrowserVersionKey, "Version", type);
    if (version.empty()) return "IE6";
    // Only the first character counts. One that is not a digit gives no later generation.
    const char first = version.front();
    if (first < '7' || first > '9') return "IE6";
    return std::string("IE") + first;
}

}  // namespace zuv
