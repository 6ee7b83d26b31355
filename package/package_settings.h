// What the machine package takes from msiexec's command line, checks before anything is
// installed, and remembers between installs; the stamp that makes each user's logon run the
// program once more; and what the package does about Edge's Internet Explorer mode.
// Platform-free: the custom action DLL (package/msi_actions.cpp) reads and writes the
// installer's properties and the registry, this decides.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/result.h"

namespace zuv::package {

// The package's settings, as the machine settings key holds them.
struct PackageSettings {
    std::string address;
    bool https = false;
    bool ieMode = false;
    bool retire = false;

    bool operator==(const PackageSettings&) const = default;
};

// The public properties as the check finds them: what the command line gave, or else what the
// package remembered from the install before (the package's own custom actions of type 51 fill
// those in before the check runs).
struct PackageProperties {
    std::string address;  // PORTALADDRESS
    std::string https;    // HTTPS: "", "0" or "1"
    std::string ieMode;   // IEMODE
    std::string retire;   // RETIRE
};

// The settings, or why the install must stop, in the administrator's words: no address, an
// address the program's address rule refuses (with the rule's own message), or a switch that is
// neither 0 nor 1.
Result<PackageSettings> CheckProperties(const PackageProperties& properties);

// The remembered settings, from the values the package's registry search read: text as stored,
// REG_DWORD values as the installer gives them ("#1"). Nothing when there is no address.
std::optional<PackageSettings> RememberedSettings(std::string_view address, std::string_view https,
                                                  std::string_view ieMode, std::string_view retire);

// The settings stamp: the Active Setup entry's Version and the machine settings' Settings,
// "a,b,c,d". Active Setup runs a user's StubPath when the user's Version is missing or lower,
// comparing the four numbers in turn; each stays at most 65535, as in a file version.
using Stamp = std::array<std::uint32_t, 4>;
inline constexpr std::uint32_t kStampPartMax = 65535;

std::optional<Stamp> ParseStamp(std::string_view text);
std::string StampText(const Stamp& stamp);

// A moment in UTC.
struct UtcTime {
    int year = 2000;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// The stamp of a moment, readable as it stands: year, month and day (1209), hour and minute
// (1530), second and millisecond (42123); "2026,1209,1530,42123". Later moments give higher
// stamps.
Stamp StampAt(const UtcTime& time);

// The stamp for the settings being installed. The remembered stamp when the settings are the
// remembered ones and no other product is being replaced (a repair, the same package again);
// otherwise the stamp of `now`, or one above the remembered stamp when the clock is behind it.
Stamp SettingsStamp(const PackageSettings& settings, const std::optional<PackageSettings>& remembered,
                    const std::optional<Stamp>& rememberedStamp, bool replacesOtherProduct,
                    const UtcTime& now);

// The version of the site list made for the settings of `stamp`: the seconds from 2000-01-01
// to the stamp's moment, so a newer stamp gives a newer list.
unsigned long long SiteListVersion(const Stamp& stamp);

// A file's path as a file:/// URL: backslashes as slashes, every byte outside letters, digits
// and - . _ ~ / : percent-encoded ("file:///C:/Program%20Files/…"); a UNC path
// (\\server\share\…) as file://server/share/….
std::string FileUrl(std::string_view path);

// Edge's policies for the site list as found before the install.
struct IeModePolicies {
    std::optional<std::string> machineList;  // HKLM ...\Edge InternetExplorerIntegrationSiteList
    std::optional<std::string> userList;     // HKCU ...\Edge InternetExplorerIntegrationSiteList
    std::optional<std::uint32_t> machineLevel;  // HKLM ...\Edge InternetExplorerIntegrationLevel
};

// What the package does about Internet Explorer mode in this run.
struct IeModePlan {
    bool write = false;           // set both policies and write the site list
    bool undoOnRollback = false;  // with write: a rolled-back install takes them back
    bool remove = false;          // delete the package's site list, take back its own policies
    std::string message;          // for the installer's log; empty when there is nothing to say
};

// `removing`: the product is being uninstalled (not replaced by an upgrade). `ourList`: the
// URL of the package's own site list. The package's policies are the machine's
// InternetExplorerIntegrationSiteList when it is `ourList`, with InternetExplorerIntegrationLevel;
// any other site list, of the machine or of the user, is an organisation's, and the package
// changes neither policy then.
IeModePlan PlanIeMode(bool removing, const PackageSettings& settings, const IeModePolicies& found,
                      const std::string& ourList);

}  // namespace zuv::package
