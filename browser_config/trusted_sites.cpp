// Trusted-site registration in the zone map.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/runtime_error.h"
#include "base/text.h"
#include "browser_config/browser_config.h"
#include "browser_config/mdlFunc.h"
#include "browser_config/zone_check.h"

namespace zuv {
namespace {

constexpr double kTrustedZone = 2;

void RegisterSite(mdlReg& reg, ApplyOutcome& outcome, const std::string& siteName,
                  SiteProtocols protocols) {
    const bool https = protocols == SiteProtocols::HttpAndHttps;
    const std::string root = kZoneMapRoot;
    const std::string escSite = root + kEscDomainsTree + siteName + "\\";
    const std::string site = root + kDomainsTree + siteName + "\\";
    WriteValue(reg, outcome, kHkeyCurrentUser, root + kEscRangesTree, "", std::string(), kRegSz);
    reg.DeleteEntry(kHkeyCurrentUser, escSite, "");
    WriteValue(reg, outcome, kHkeyCurrentUser, escSite, "http", kTrustedZone, kRegDword);
    if (https) WriteValue(reg, outcome, kHkeyCurrentUser, escSite, "https", kTrustedZone, kRegDword);
    WriteValue(reg, outcome, kHkeyCurrentUser, root + kRangesTree, "", std::string(), kRegSz);
    reg.DeleteEntry(kHkeyCurrentUser, site, "");
    WriteValue(reg, outcome, kHkeyCurrentUser, site, "http", kTrustedZone, kRegDword);
    if (https) WriteValue(reg, outcome, kHkeyCurrentUser, site, "https", kTrustedZone, kRegDword);
}

// The zone a zone map key gives sites of a protocol: its value named after the protocol
// ("http", "https"), or else its "*" value (every protocol), when that is a number.
struct HttpZone {
    bool readable = true;  // false: a value could not be read (not: is not there)
    std::optional<std::uint32_t> zone;
};

HttpZone ReadHttpZone(mdlReg& reg, const std::string& keyPath, const char* scheme = "http") {
    for (const char* protocol : {scheme, "*"}) {
        std::uint32_t type = 0;
        const std::string text = reg.QueryValue(kHkeyCurrentUser, keyPath, protocol, type);
        if (reg.RegStatus == kErrorFileNotFound) continue;
        if (reg.RegStatus != kErrorSuccess) return {false, std::nullopt};
        if (type != kRegDword || text.empty() || text.size() > 10) return {};
        for (const char c : text) {
            if (c < '0' || c > '9') return {};
        }
        return {true, static_cast<std::uint32_t>(std::stoull(text))};
    }
    return {};
}

// A range that covers the address but puts it into another zone than the trusted sites.
struct OtherZoneRange {
    std::string keyPath;
    std::string range;
    std::optional<std::uint32_t> zone;
    const char* protocol = "http";  // the protocol the range gives another zone
};

RefusedWrite OtherZoneConflict(const OtherZoneRange& other, const std::string& address) {
    const auto describe = [&](std::size_t longest) {
        const auto cut = [&](const std::string& name) {
            return longest == 0 ? name : ShortenMiddle(name, longest);
        };
        std::string text = "IP 地址 " + cut(address) + " 已在 " + RootName(kHkeyCurrentUser) +
                           "\\" + (longest == 0 ? other.keyPath : ShortenLevels(other.keyPath, longest)) +
                           " 的范围内（\":Range\" 为 \"" + cut(other.range) + "\"），该范围";
        if (other.zone) {
            const std::string name = ZoneName(*other.zone);
            text += std::string(other.protocol) == "http" ? "把它" : "把它的 " + std::string(other.protocol) + " 访问";
            text += "放在区域 " + std::to_string(*other.zone) + (name.empty() ? "" : "（" + name + "）");
        } else {
            text += "没有给出 http 的区域";
        }
        return text + "，而不是区域 2（受信任的站点）。本工具不更改已有的范围：请先在“Internet 选项”中"
                      "删除或更改这个范围，再重新设置";
    };
    RefusedWrite refused{kHkeyCurrentUser, other.keyPath, other.protocol, 0, {}, {}, {}, {}};
    refused.conflict = describe(0);
    refused.shortConflict = describe(kShortNameLength);
    return refused;
}

void RegisterRange(mdlReg& reg, ApplyOutcome& outcome, const std::string& address,
                   SiteProtocols protocols) {
    const bool https = protocols == SiteProtocols::HttpAndHttps;
    const std::string sought = TrimBlanks(address);
    for (const char* subTree : {kEscRangesTree, kRangesTree}) {
        const std::string treePath = std::string(kZoneMapRoot) + subTree;
        WriteValue(reg, outcome, kHkeyCurrentUser, treePath, "", std::string(), kRegSz);
        std::vector<std::string> names;
        // A range that holds the address already decides its zone: a trusted one is the entry,
        // one of another zone is not the tool's to widen or change.
        std::optional<OtherZoneRange> other;
        // With https: a range of this address alone, trusted for http but giving https no zone
        // (written by an apply without https), is completed rather than repeated.
        std::optional<std::string> ownHttpOnly;
        const RangeSearch search = VisitRangeEntries(
            reg, subTree, names, [&](const std::string& name, const std::string& stored) {
                if (!RangeHoldsAddress(stored, sought)) return false;
                const std::string keyPath = treePath + name + "\\";
                const HttpZone zone = ReadHttpZone(reg, keyPath);
                // A zone that cannot be read is taken as the entry, as before: a refused read
                // alone changes nothing.
                const bool httpTrusted = !zone.readable || zone.zone == 2U;
                if (!httpTrusted) {
                    if (!other) other = OtherZoneRange{keyPath, stored, zone.zone, "http"};
                    return false;
                }
                if (!https) return true;
                const HttpZone secure = ReadHttpZone(reg, keyPath, "https");
                if (!secure.readable || secure.zone == 2U) return true;
                if (secure.zone) {
                    if (!other) other = OtherZoneRange{keyPath, stored, secure.zone, "https"};
                } else if (!ownHttpOnly && TrimBlanks(stored) == sought) {
                    ownHttpOnly = keyPath;
                }
                return false;
            });
        if (search == RangeSearch::Absent && other) {
            outcome.NoteRefusal(OtherZoneConflict(*other, address));
            continue;
        }
        switch (search) {
        case RangeSearch::Found:
            continue;
        case RangeSearch::Unreadable:
            // No name is known to be free: writing a guess could replace another site's
            // range. Leave this tree alone and say so.
            outcome.NoteRefusal(RefusedWrite{kHkeyCurrentUser, treePath, "", reg.RegStatus, {},
                                             "无法读取已有的 IP 地址范围，未添加新的范围", {}, {}});
            continue;
        case RangeSearch::Absent:
            break;
        }
        if (ownHttpOnly) {
            WriteValue(reg, outcome, kHkeyCurrentUser, *ownHttpOnly, "https", kTrustedZone, kRegDword);
            continue;
        }
        // A new range is written whole or not at all: an address the code page cannot hold
        // raises its error before "http" is written, not after. ":Range" comes last: a key
        // left without it by an apply cut short covers no address.
        reg.RequireRepresentable(address);
        const std::string rangePath = treePath + NextRangeName(names) + "\\";
        WriteValue(reg, outcome, kHkeyCurrentUser, rangePath, "http", kTrustedZone, kRegDword);
        if (https) WriteValue(reg, outcome, kHkeyCurrentUser, rangePath, "https", kTrustedZone, kRegDword);
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
    RegisterTrustedSite(reg, outcome, address, SiteProtocols::Http);
}

void RegisterTrustedSite(mdlReg& reg, ApplyOutcome& outcome, const std::string& address,
                         SiteProtocols protocols) {
    switch (ClassifyAddress(address)) {
    case AddressKind::None:
        return;
    case AddressKind::IP:
        RegisterRange(reg, outcome, address, protocols);
        return;
    case AddressKind::Host:
    case AddressKind::Dns:
        RegisterSite(reg, outcome, SiteKeyName(address), protocols);
        return;
    }
}

}  // namespace zuv
