// Trusted-site registration in the zone map.
#include <string>
#include <vector>

#include "base/runtime_error.h"
#include "base/text.h"
#include "browser_config/browser_config.h"
#include "browser_config/mdlFunc.h"

namespace zuv {
namespace {

constexpr double kTrustedZone = 2;

void RegisterSite(mdlReg& reg, ApplyOutcome& outcome, const std::string& siteName) {
    const std::string root = kZoneMapRoot;
    const std::string escSite = root + kEscDomainsTree + siteName + "\\";
    const std::string site = root + kDomainsTree + siteName + "\\";
    WriteValue(reg, outcome, kHkeyCurrentUser, root + kEscRangesTree, "", std::string(), kRegSz);
    reg.DeleteEntry(kHkeyCurrentUser, escSite, "");
    WriteValue(reg, outcome, kHkeyCurrentUser, escSite, "http", kTrustedZone, kRegDword);
    WriteValue(reg, outcome, kHkeyCurrentUser, root + kRangesTree, "", std::string(), kRegSz);
    reg.DeleteEntry(kHkeyCurrentUser, site, "");
    WriteValue(reg, outcome, kHkeyCurrentUser, site, "http", kTrustedZone, kRegDword);
}

void RegisterRange(mdlReg& reg, ApplyOutcome& outcome, const std::string& address) {
    for (const char* subTree : {kEscRangesTree, kRangesTree}) {
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

RangeSearch VisitRangeEntries(
    mdlReg& reg, const std::string& subTree, std::vector<std::string>& names,
    const std::function<bool(const std::string& name, const std::string& storedRange)>& visit) {
    const std::string treePath = std::string(kZoneMapRoot) + subTree;
    if (!reg.EnumerateSubKeys(kHkeyCurrentUser, treePath, names)) return RangeSearch::Unreadable;
    for (const std::string& name : names) {
        std::uint32_t type = kRegSz;
        const std::string stored = reg.QueryValue(kHkeyCurrentUser, treePath + name + "\\", ":Range", type);
        if (visit(name, stored)) return RangeSearch::Found;
    }
    return RangeSearch::Absent;
}

RangeSearch FindRangeEntry(mdlReg& reg, const std::string& address, const std::string& subTree,
                           std::vector<std::string>& names) {
    // A stored text reads back without the blanks around it, so the address is compared
    // without them too: otherwise an address typed with blanks is never found again.
    const std::string sought = TrimBlanks(address);
    return VisitRangeEntries(reg, subTree, names, [&](const std::string&, const std::string& stored) {
        return RangeHoldsAddress(stored, sought);
    });
}

std::string SiteKeyName(const std::string& address) {
    if (ClassifyAddress(address) != AddressKind::Dns) return address;
    const std::string parent = ParentDomain(address);
    const auto subLength =
        static_cast<long long>(address.size()) - static_cast<long long>(parent.size()) - 1;
    if (subLength < 0) throw RuntimeError(ErrorKind::InvalidArgument);
    return parent + "\\" + address.substr(0, static_cast<std::size_t>(subLength));
}

void RegisterTrustedSite(mdlReg& reg, ApplyOutcome& outcome, const std::string& address) {
    switch (ClassifyAddress(address)) {
    case AddressKind::None:
        return;
    case AddressKind::IP:
        RegisterRange(reg, outcome, address);
        return;
    case AddressKind::Host:
    case AddressKind::Dns:
        RegisterSite(reg, outcome, SiteKeyName(address));
        return;
    }
}

}  // namespace zuv
