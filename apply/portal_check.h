// The check of an address (/check): whether PROTOCOL://ADDRESS/ is a trusted site, and why not,
// by the zone map and by the browser's own answer, then what today's browser makes of the site.
// Reads only.
#pragma once

#include <string>

#include "apply/apply_host.h"
#include "apply/run_report.h"
#include "registry/mdlReg.h"

namespace zuv {

// Exit code 0 when the site is trusted, 3 when it is not, 2 when the address cannot be checked.
RunReport CheckPortal(mdlReg& reg, const std::string& address, const std::string& protocol,
                      ApplyHost& host);

}  // namespace zuv
