// The browser's own answer for the zone of http://ADDRESS/, from the platform's URL security
// manager (Windows build only).
#pragma once

#include <string>

#include "browser_config/zone_check.h"

namespace zuv {

// Asks the URL security manager (MapUrlToZone) for the zone of CheckUrl(address, protocol), and the zone
// manager for that zone's display name (the machine's Zones key when the zone manager gives
// none). When it cannot be asked, `answered` is false and `error` says which step failed and
// with what result.
UrlZoneAnswer AskUrlZone(const std::string& address, const std::string& protocol = "http");

}  // namespace zuv
