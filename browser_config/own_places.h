// The tool's own places in the registry: every key and value the steps of an apply write or
// delete, and the keys above them that a write makes when they are missing. All are below
// HKEY_CURRENT_USER. The steps take their value names from here, and the plan of an apply, the
// backup and the undo check against this one list, so that what an undo may change is what an
// apply may change and nothing else.
//
//   ZoneMap\Domains, EscDomains, Ranges, EscRanges   their default values, and any key at any
//                                                    depth below them with any value (a site's
//                                                    key, a range key); keys below them may be
//                                                    removed
//   Zones\2                                          the actions of kTrustedZoneActions
//   Internet Explorer\New Windows                    its default value and kPopupSwitchValue
//   Internet Explorer\New Windows\Allow              any value (one per site)
//   Internet Explorer\PhishingFilter                 its default value and kPhishingFilterValues
//   Internet Explorer\Main, Internet Settings        the values of kBrowserTuning
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "registry/mdlReg.h"
#include "registry/overlay_registry.h"

namespace zuv {

// The actions of the trusted-sites zone (zone 2) the apply sets: 0 enables an action, 3
// disables it.
struct ZoneAction {
    const char* name;
    double policy;
};
inline constexpr ZoneAction kTrustedZoneActions[] = {
    {"1001", 0},          // download signed ActiveX controls
    {"1004", 0},          // download unsigned ActiveX controls
    {"1200", 0},          // run ActiveX controls and plug-ins
    {"1201", 0},          // initialize and script ActiveX controls not marked as safe
    {"1405", 0},          // script ActiveX controls marked safe for scripting
    {"1402", 0},          // scripting of Java applets
    {"1400", 0},          // active scripting
    {"1407", 0},          // programmatic clipboard access
    {"2102", 0},          // script-initiated windows without size or position constraints
    {"2101", 3},          // less privileged zones may navigate into this one: disabled
    {"2100", 0},          // open files based on content, not file extension
    {"2200", 0},          // automatic prompting for file downloads
    {"1406", 0},          // access data sources across domains
    {"CurrentLevel", 0},  // custom level
};

// The pop-up blocker's switch below kPopupKey, and the values of kPhishingFilterKey the apply
// writes beside the default value.
inline constexpr const char* kPopupSwitchValue = "PopupMgr";
inline constexpr const char* kPhishingFilterValues[] = {"Enabled", "ShownVerifyBalloon"};

// The browser-wide settings: extensions, page freshness and connection limits.
struct TuningSetting {
    const char* key;
    const char* name;
    RegValue data;
    std::uint32_t type;
};
extern const TuningSetting kBrowserTuning[4];

// Why the tool may not change the value `name` of the key `path` below `root` (UTF-8, levels
// separated by single backslashes); nothing when it is one of its own.
std::optional<std::string> WhyNotOwnValue(RegKey root, std::string_view path, std::string_view name);
// Why the tool may not make the key when missing and remove it again once it is empty: its own
// keys, keys below the four trees and the keys above them.
std::optional<std::string> WhyNotOwnKeyToCreate(RegKey root, std::string_view path);
// Why the tool may not remove the key with everything in it: only keys below the four trees.
std::optional<std::string> WhyNotOwnKeyToRemove(RegKey root, std::string_view path);

// Each place of `planned` that is not the tool's own, with why; empty when every one is. A key
// it deletes must be one the tool may make (an undo removes those again once they are empty).
// A plan of the apply's steps, or of an undo's restore, always comes out empty: anything else
// is a fault of the program.
std::vector<std::string> PlacesNotOwn(const PlannedWrites& planned);

}  // namespace zuv
