// The configuration steps the apply command runs, and the start-up detection.
#pragma once

#include <string>
#include <vector>

#include "registry/mdlReg.h"

namespace zuv {

inline constexpr const char* kZoneMapRoot =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMap\\";
inline constexpr const char* kTrustedZoneKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2\\";
inline constexpr const char* kPopupKey = "Software\\Microsoft\\Internet Explorer\\New Windows\\";
inline constexpr const char* kPopupAllowKey =
    "Software\\Microsoft\\Internet Explorer\\New Windows\\Allow\\";
inline constexpr const char* kPhishingFilterKey =
    "Software\\Microsoft\\Internet Explorer\\PhishingFilter\\";
inline constexpr const char* kBrowserMainKey = "Software\\Microsoft\\Internet Explorer\\Main\\";
inline constexpr const char* kInternetSettingsKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";
inline constexpr const char* kBrowserVersionKey = "Software\\Microsoft\\Internet Explorer\\";

// Puts the address into the trusted-sites zone (zone map "Domains"/"Ranges" trees).
void RegisterTrustedSite(mdlReg& reg, const std::string& address);
// Fills `names` with the sorted sub-key names of the range sub-tree and tells whether one
// of those keys already holds the address.
bool FindRangeEntry(mdlReg& reg, const std::string& address, const std::string& subTree,
                    std::vector<std::string>& names);

// The fourteen actions of the trusted-sites zone.
void ApplyTrustedZonePolicy(mdlReg& reg);

// Pop-up blocker switch, allow-list entry for the address and the phishing-filter values.
void AllowSitePopups(mdlReg& reg, const std::string& address, const std::string& browserGeneration);

// Extensions, page freshness and connection limits.
void ApplyBrowserTuning(mdlReg& reg);

// "IE6", or "IE7"/"IE8"/"IE9" from the first character of the installed version.
std::string DetectBrowserGeneration(mdlReg& reg);

}  // namespace zuv
