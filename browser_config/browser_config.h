// The configuration steps an apply runs, and the start-up detection. Each step writes through
// mdlReg and notes a write the registry refuses in the apply's outcome.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "browser_config/apply_outcome.h"
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

// The trees of the zone map below kZoneMapRoot: names and IPv4 ranges, each also in the copy
// the browser reads when its enhanced security configuration is on.
inline constexpr const char* kDomainsTree = "Domains\\";
inline constexpr const char* kEscDomainsTree = "EscDomains\\";
inline constexpr const char* kRangesTree = "Ranges\\";
inline constexpr const char* kEscRangesTree = "EscRanges\\";

// The installed generation of Internet Explorer, as far as the tool tells them apart.
enum class IeGeneration { IE6, IE7, IE8, IE9 };

// The protocols a site is trusted for: the zone map value names its entry gets ("http", and
// with HttpAndHttps also "https").
enum class SiteProtocols { Http, HttpAndHttps };

// Puts the address into the trusted-sites zone (zone map "Domains"/"Ranges" trees) for http.
void RegisterTrustedSite(mdlReg& reg, ApplyOutcome& outcome, const std::string& address);
// The same for the given protocols. With HttpAndHttps a name's keys get "https" = 2 beside
// "http" = 2; an IPv4 address already in a range trusted for both gets nothing new, a range of
// its own (":Range" the address itself) trusted for http only gets "https", and otherwise a
// new range key gets "http", "https" and, last, ":Range". A covering range that gives either
// protocol another zone is named and left alone, as for http.
void RegisterTrustedSite(mdlReg& reg, ApplyOutcome& outcome, const std::string& address,
                         SiteProtocols protocols);

// The key below Domains\ and EscDomains\ that holds the entry of a machine or domain name: the
// name itself ("portal", "example.com"), or for a host inside a domain the parent domain and
// the host part ("example.com\www"). Raises InvalidArgument for a name whose host part is
// empty ("example.com.").
std::string SiteKeyName(const std::string& address);

// How a search of a range tree ended.
enum class RangeSearch {
    Found,       // a range key of the tree already holds the address
    Absent,      // the tree was listed and none does
    Unreadable,  // the tree could not be listed
};
// Fills `names` with the sorted sub-key names of the range sub-tree and looks for a key that
// already holds the address.
RangeSearch FindRangeEntry(mdlReg& reg, const std::string& address, const std::string& subTree,
                           std::vector<std::string>& names);
// Fills `names` as FindRangeEntry does and hands `visit` each key's name and ":Range" text, in
// that order, until it returns true (Found).
RangeSearch VisitRangeEntries(
    mdlReg& reg, const std::string& subTree, std::vector<std::string>& names,
    const std::function<bool(const std::string& name, const std::string& storedRange)>& visit);

// The fourteen actions of the trusted-sites zone.
void ApplyTrustedZonePolicy(mdlReg& reg, ApplyOutcome& outcome);

// Pop-up blocker switch, allow-list entry for the address and the phishing-filter values.
void AllowSitePopups(mdlReg& reg, ApplyOutcome& outcome, const std::string& address,
                     IeGeneration generation);

// Extensions, page freshness and connection limits.
void ApplyBrowserTuning(mdlReg& reg, ApplyOutcome& outcome);

// The steps of an apply of `address` in their order (trusted site and pop-ups when there is an
// address, then the zone's actions and the browser's tuning), inside the apply's error trap.
ApplyOutcome RunApplySteps(mdlReg& reg, const std::string& address, IeGeneration generation,
                           SiteProtocols protocols);

// The apply's error trap: runs `work`; a run-time error (RuntimeError, lack of memory, any other
// exception) ends it and becomes the outcome's error, so the work left is abandoned. The one
// place where run-time errors are caught.
void TrapRunTimeErrors(ApplyOutcome& outcome, const std::function<void()>& work);
// The same trap for work beside the steps (a plan, a backup, a log line, a check): the error
// that ended `work`, or nothing when it ran to its end.
std::optional<ApplyOutcome::StopError> RunTrapped(const std::function<void()>& work);

// From the first character of the installed version: 7, 8 or 9 give that generation, anything
// else (also "10" or "11", or no version at all) the sixth.
IeGeneration DetectBrowserGeneration(mdlReg& reg);

}  // namespace zuv
