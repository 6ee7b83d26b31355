// Beyond its zone, what decides how today's browser treats a site: whether Microsoft Edge opens
// it in Internet Explorer mode (where the zone's ActiveX, scripting, clipboard and pop-up
// settings take effect), automatic sign-in with the user's Windows credentials, and launching
// programs and unsafe files from it. Reads only; writes nothing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "registry/mdlReg.h"

namespace zuv {

// Microsoft Edge's policies, below HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
inline constexpr const char* kEdgePolicyKey = "Software\\Policies\\Microsoft\\Edge\\";

// One registry value as the check read it.
struct ReadSetting {
    RegKey root = kHkeyCurrentUser;
    std::string key;        // the key path, without a final backslash
    std::string valueName;
    bool present = false;   // the value is there and could be read
    std::uint32_t type = 0;
    std::string data;       // as mdlReg gives it: a DWORD in decimal digits, text as stored

    // The DWORD's number; nothing when the value is missing or not a DWORD.
    std::optional<std::uint32_t> Number() const;
};

struct BrowserFindings {
    std::string address;
    // Edge's policies, each as the machine sets it, or else as the user's policies do: the
    // machine's policy wins over the same policy of the user.
    ReadSetting ieLevel;         // InternetExplorerIntegrationLevel (0 none, 1 IE mode, 2 IE 11)
    ReadSetting siteList;        // InternetExplorerIntegrationSiteList
    ReadSetting reloadAllowed;   // InternetExplorerIntegrationReloadInIEModeAllowed
    ReadSetting authAllowlist;   // AuthServerAllowlist
    // The current user's trusted-sites zone (Zones\2).
    ReadSetting logon;           // "1A00": logon with the user's credentials
    ReadSetting launching;       // "1806": launching applications and unsafe files
};

// Reads the settings above for the address.
BrowserFindings FindBrowserSettings(mdlReg& reg, const std::string& address);

// Whether a server list in AuthServerAllowlist's form (names separated by commas, "*" as a
// wildcard: "*example.com,portal") names the host: an entry equal to it, "*" alone, or "*" and
// an ending the host has. Without regard to case; blanks around entries are ignored.
bool ServerListNames(std::string_view list, std::string_view host);

// The report's lines of these findings, each ending in '\n'.
std::string BrowserFindingsText(const BrowserFindings& findings);

}  // namespace zuv
