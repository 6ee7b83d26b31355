// Trusted-site registration in the zone map.
#include <string>
#include <vector>

#include "browser_config/browser_config.h"
#include "browser_config/mdlFunc.h"
#include "registry/runtime_error.h"
#include "registry/text.h"

namespace zuv {
namespace {

constexpr const char* kEscDomains = "EscDomains\\";
constexpr const char* kDomains = "Domains\\";
constexpr const char* kEscRanges = "EscRanges\\";
constexpr const char* kRanges = "Ranges\\";
constexpr double kTrustedZone = 2;

void RegisterSite(mdlReg& reg, const std::string& siteName) {
    const std::string root = kZoneMapRoot;
    const std::string escSite = root + kEscDomains + siteName + "\\";
    const std::string site = root + kDomains + siteName + "\\";
    reg.SetValue(kHkeyCurrentUser, root + kEscRanges, "", std::string(), kRegSz);
    reg.DeleteEntry(kHkeyCurrentUser, escSite, "");
    reg.SetValue(kHkeyCurrentUser, escSite, "http", kTrustedZone, kRegDword);
    reg.SetValue(kHkeyCurrentUser, root + kRanges, "", std::string(), kRegSz);
    reg.DeleteEntry(kHkeyCurrentUser, site, "");
    reg.SetValue(kHkeyCurrentUser, site, "http", kTrustedZone, kRegDword);
}

void RegisterRange(mdlReg& reg, const std::string& address) {
    for (const char* subTree : {kEscRanges, kRanges}) {
        const std::string treePath = std::string(kZoneMapRoot) + subTree;
        reg.SetValue(kHkeyCurrentUser, treePath, "", std::string(), kRegSz);
        std::vector<std::string> names;
        if (FindRangeEntry(reg, address, subTree, names)) continue;
        if (reg.RegStatus != kErrorSuccess) {
            // The tree could not be read, so no name is known to be free: writing a guess
            // could replace another site's range. Leave this tree alone and say so.
            reg.NoteRefusal(RefusedWrite{kHkeyCurrentUser, treePath, "", reg.RegStatus,
                                         "无法读取已有的 IP 地址范围，未添加新的范围"});
            continue;
        }
        // A new range is written whole or not at all: an address the code page cannot hold
        // raises its error before "http" is written, not after.
        reg.RequireRepresentable(address);
        const std::string rangePath = treePath + NextRangeName(names) + "\\";
        reg.SetValue(kHkeyCurrentUser, rangePath, "http", kTrustedZone, kRegDword);
        reg.SetValue(kHkeyCurrentUser, rangePath, ":Range", address, kRegSz);
    }
}

}  // namespace

bool FindRangeEntry(mdlReg& reg, const std::string& address, const std::string& subTree,
                    std::vector<std::string>& names) {
    const std::string treePath = std::string(kZoneMapRoot) + subTree;
    if (!reg.EnumerateSubKeys(kHkeyCurrentUser, treePath, names)) return false;
    if (names.empty()) return false;
    // A stored text reads back without the blanks around it, so the address is compared
    // without them too: otherwise an address typed with blanks is never found again.
    const std::string sought = TrimBlanks(address);
    for (const std::string& name : names) {
        std::uint32_t type = kRegSz;
        const std::string stored = reg.QueryValue(kHkeyCurrentUser, treePath + name + "\\", ":Range", type);
        if (RangeHoldsAddress(stored, sought)) return true;
    }
    reg.RegStatus = kErrorSuccess;  // the listing worked; a missing ":Range" is no failure
    return false;
}

void RegisterTrustedSite(mdlReg& reg, const std::string& address) {
    if (address.empty()) return;
    const std::string kind = ClassifyAddress(address);
    if (kind == kKindIp) {
        RegisterRange(reg, address);
    } else if (kind == kKindHost) {
        RegisterSite(reg, address);
    } else {
        const std::string parent = ParentDomain(address);
        const auto subLength = static_cast<long long>(address.size()) -
                               static_cast<long long>(parent.size()) - 1;
        if (subLength < 0) throw RuntimeError(ErrorKind::InvalidArgument);
        RegisterSite(reg, parent + "\\" + address.substr(0, static_cast<std::size_t>(subLength)));
    }
}

}  // namespace zuv
