// The check of an address: whether the current user's zone map holds the entry the tool writes
// for it, which policy settings make that zone map ineffective or locked, and what the
// browser's own URL security manager answers for http://ADDRESS/. Reads only; writes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "browser_config/mdlFunc.h"
#include "registry/mdlReg.h"

namespace zuv {

// The security zones of the browser.
inline constexpr std::uint32_t kLocalMachineZone = 0;
inline constexpr std::uint32_t kIntranetZone = 1;
inline constexpr std::uint32_t kTrustedSitesZone = 2;
inline constexpr std::uint32_t kInternetZone = 3;
inline constexpr std::uint32_t kRestrictedSitesZone = 4;

// The policy key of the browser's security zones, below HKEY_LOCAL_MACHINE and
// HKEY_CURRENT_USER, and the site-to-zone list below it.
inline constexpr const char* kZonePolicyKey =
    "Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\";
inline constexpr const char* kZoneListKey =
    "Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\ZoneMapKey\\";

// What one tree of the current user's zone map holds for the address.
struct ZoneMapEntry {
    enum class State {
        Missing,     // no entry for the address
        Present,     // an entry: for a name its key, for an IPv4 address a range covering it
        Unreadable,  // the range tree could not be listed
    };
    State state = State::Missing;
    // Below kZoneMapRoot, without a final backslash. A name: the key the tool writes
    // ("Domains\example.com\www"), also when it is missing. An IPv4 address: the range key
    // that covers it ("Ranges\Range3"), or the tree when none does or it cannot be listed.
    std::string keyPath;
    std::string range;                   // the covering key's ":Range" text (IPv4 addresses)
    std::optional<std::uint32_t> zone;   // the entry's value of the protocol, when a number
    long status = 0;                     // the registry's result code when Unreadable
    std::string statusText;              // its description
};

// A policy setting that makes the user's zone map ineffective or locks it.
struct PolicyFinding {
    enum class Kind {
        MachineOnlyZones,  // Security_HKLM_only = 1: only the machine's zone settings count
        SitesLocked,       // Security_zones_map_edit = 1: users cannot add or remove sites
        OptionsLocked,     // Security_options_edit = 1: users cannot change zone settings
        ZoneList,          // ListBox_Support_ZoneMapKey = 1: the site-to-zone list is in force
    };
    Kind kind = Kind::MachineOnlyZones;
    RegKey root = kHkeyLocalMachine;
    std::string valueName;
    // ZoneList: the first entry of the list that applies to http://ADDRESS/, and its zone.
    std::string listEntry;
    std::optional<std::uint32_t> listZone;

    // Whether the setting takes the user's zone map out of use (not merely out of reach of the
    // user's own changes).
    bool OverridesZoneMap() const { return kind == Kind::MachineOnlyZones || kind == Kind::ZoneList; }
};

// What the current user's registry holds for the address.
struct ZoneCheck {
    std::string address;
    std::string protocol = "http";  // the URL's scheme, and the zone map value read
    AddressKind kind = AddressKind::None;
    ZoneMapEntry plain;     // the Domains or Ranges tree
    ZoneMapEntry enhanced;  // the EscDomains or EscRanges tree
    std::vector<PolicyFinding> policies;
};

// The browser's own answer for http://ADDRESS/.
struct UrlZoneAnswer {
    bool answered = false;
    std::uint32_t zone = 0;
    std::string zoneName;  // the zone's display name, as the platform gives it; may be empty
    std::string error;     // why the platform could not be asked, when not answered
};

// The URL the check asks about: "http://ADDRESS/" (or with another protocol).
std::string CheckUrl(const std::string& address, const std::string& protocol = "http");

// Reads the zone map entries for the address in both trees and the policy settings, with read
// rights only. `address` is not empty. Raises the run-time error an apply of the same address
// would raise (a name whose host part is empty, text the code page cannot hold).
// `protocol` names the value read from each entry ("http", or "https" for https://ADDRESS/).
ZoneCheck CheckZoneMap(mdlReg& reg, const std::string& address, const std::string& protocol = "http");

// The policy settings found (Security_HKLM_only, Security_zones_map_edit and
// Security_options_edit below HKEY_LOCAL_MACHINE; the site-to-zone list below both roots),
// in that order.
std::vector<PolicyFinding> FindZonePolicies(mdlReg& reg, const std::string& address,
                                            const std::string& protocol = "http");

// Whether an entry of the site-to-zone list applies to http://ADDRESS/: an optional scheme
// ("http://", "*://"), then the address itself (without regard to case), a range covering an
// IPv4 address ("192.0.2.1-50", "192.0.2.*"), or "*." and a domain the name lies in.
// With another protocol, its scheme takes the place of "http".
bool ZoneListEntryApplies(std::string_view entry, std::string_view address,
                          std::string_view protocol = "http");

// The name of a zone: the platform's display name when given, otherwise the browser's usual
// Chinese name of zones 0 to 4, otherwise empty.
std::string ZoneName(std::uint32_t zone, const std::string& displayName = {});

// Exit codes of the check.
inline constexpr int kCheckTrusted = 0;
inline constexpr int kCheckNotTrusted = 3;

// 0 when http://ADDRESS/ is in the trusted-sites zone, 3 when not. The browser's answer
// decides; when it could not be asked, the plain tree's entry with zone 2 does, unless a
// policy takes the user's zone map out of use.
int CheckExitCode(const ZoneCheck& check, const UrlZoneAnswer& answer);

// The report of the check, one line per finding, in the user's language.
std::string CheckReportText(const ZoneCheck& check, const UrlZoneAnswer& answer);

}  // namespace zuv
