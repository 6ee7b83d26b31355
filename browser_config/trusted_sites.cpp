// Trusted-site registration in the zone map.
#include <string>
#include <vector>

#include "base/runtime_error.h"
#include "base/text.h"
#include "browser_config/browser_config.h"
#include "browser_config/mdlFunc.h"

namespace zuv {
namespace {

constexpr const char* kEscDomains = "EscDomains\\";
constexpr const char* kDomains = "Domains\\";
constexpr const char* kEscRanges = "EscRanges\\";
constexpr const char* kRanges = "Ranges\\";
constexpr double kTrustedZone = 2;

void RegisterSite(mdlReg& reg, ApplyOutcome& outcome, const std::string& siteName) {
    const std::string root = kZoneMapRoot;
    const std::string escSite = root + kEscDomains + siteName + "\\";
    const std::string site = root + kDomains + siteName + "\\";
    WriteValue(reg, outcome, kHkeyCurrentUser, root + kEscRanges, "", std::string(), kRegSz);
    reg.DeleteEntry(kHkeyCurrentUser, escSite, "");
    WriteValue(reg, outcome, kHkeyCurrentUser, escSite, "http", kTrustedZone, kRegDword);
    WriteValue(reg, outcome, kHkeyCurrentUser, root + kRanges, "", std::string(), kRegSz);
    reg.DeleteEntry(kHkeyCurrentUser, site, "");
    WriteValue(reg, outcome, kHkeyCurrentUser, site, "http", kTrustedZone, kRegDword);
}

void RegisterRange(mdlReg& reg, ApplyOutcome& outcome, const std::string& address) {
    for (const char* subTree : {kEscRanges, kRanges}) {
        const std::string treePath = std::string(kZoneMapRoot) + subTree;
        WriteValue(reg, outcome, kHkeyCurrentUser, treePath, "", std::string(), kRegSz);
        std::vector<std::string> names;
        switch (FindRangeEntry(reg, address, subTree, names)) {
        case RangeSearch::Found:
            continue;
        case RangeSearch::Unreadable:
            // No name is known to be free: writing a guess could replace another site's
            // range. Leave this tree alone and say so.
            outcome.NoteRefusal(RefusedWrite{kHkeyCurrentUser, treePath, "", reg.RegStatus, {},
                                             "无法读取已有的 IP 地址范围，未添加新的范围"});
            continue;
        case RangeSearch::Absent:
            break;
        }
        // A new range is written whole or not at all: an address the code page cannot hold
        // raises its error before "http" is written, not after.
        reg.RequireRepresentable(address);
        const std::string rangePath = treePath + NextRangeName(names) + "\\";
        WriteValue(reg, outcome, kHkeyCurrentUser, rangePath, "http", kTrustedZone, kRegDword);
        WriteValue(reg, outcome, kHkeyCurrentUser, rangePath, ":Range", address, kRegSz);
    }
}

}  // namespace

RangeSearch FindRangeEntry(mdlReg& reg, const std::string& address, const std::string& subTree,
                           std::vector<std::string>& names) {
    const std::string treePath = std::string(kZoneMapRoot) + subTree;
    if (!reg.EnumerateSubKeys(kHkeyCurrentUser, treePath, names)) return RangeSearch::Unreadable;
    // A stored text reads back without the blanks around it, so the address is compared
    // without them too: otherwise an address typed with blanks is never found again.
    const std::string sought = TrimBlanks(address);
    for (const std::string& name : names) {
        std::uint32_t type = kRegSz;
        const std::string stored = reg.QueryValue(kHkeyCurrentUser, treePath + name + "\\", ":Range", type);
        if (RangeHoldsAddress(stored, sought)) return RangeSearch::Found;
    }
    return RangeSearch::Absent;
}

void RegisterTrustedSite(mdlReg& reg, ApplyOutcome& outcome, const std::string& address) {
    switch (ClassifyAddress(address)) {
    case AddressKind::None:
        return;
    case AddressKind::IP:
        RegisterRange(reg, outcome, address);
        return;
    case AddressKind::Host:
        RegisterSite(reg, outcome, address);
        return;
    case AddressKind::Dns: {
        const std::string parent = ParentDomain(address);
        const auto subLength = static_cast<long long>(address.size()) -
                               static_cast<long long>(parent.size()) - 1;
        if (subLength < 0) throw RuntimeError(ErrorKind::InvalidArgument);
        RegisterSite(reg, outcome,
                     parent + "\\" + address.substr(0, static_cast<std::size_t>(subLength)));
        return;
    }
    }
}

}  // namespace zuv
