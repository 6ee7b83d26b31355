// The check of an address against the zone map and the zone policy settings. Every registry
// access here is a read (QueryValue and the listings of mdlReg), opened with read rights only.
#include "browser_config/zone_check.h"

#include <algorithm>
#include <iterator>

#include "base/text.h"
#include "browser_config/browser_config.h"

namespace zuv {
namespace {

// A zone number written as decimal digits, as QueryValue gives a DWORD and as the site-to-zone
// list stores its zones.
std::optional<std::uint32_t> ZoneNumber(const std::string& text) {
    if (text.empty() || text.size() > 9) return std::nullopt;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    return static_cast<std::uint32_t>(std::stoul(text));
}

// The value of the protocol ("http", "https") of one zone map key below kZoneMapRoot.
ZoneMapEntry ReadEntry(mdlReg& reg, const std::string& keyPath, const std::string& protocol) {
    ZoneMapEntry entry;
    entry.keyPath = keyPath;
    std::uint32_t type = 0;
    const std::string text =
        reg.QueryValue(kHkeyCurrentUser, std::string(kZoneMapRoot) + keyPath + "\\", protocol, type);
    if (reg.RegStatus == kErrorFileNotFound) return entry;
    if (reg.RegStatus != kErrorSuccess) {
        entry.state = ZoneMapEntry::State::Unreadable;
        entry.status = reg.RegStatus;
        entry.statusText = reg.ErrorText(reg.RegStatus);
        return entry;
    }
    entry.state = ZoneMapEntry::State::Present;
    if (type == kRegDword) entry.zone = ZoneNumber(text);
    return entry;
}

std::string WithoutFinalBackslash(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// The range key of a range tree that covers the address; of several, the first one that
// puts it into the trusted-sites zone, otherwise the first one.
ZoneMapEntry FindCoveringRange(mdlReg& reg, const std::string& address, const char* tree,
                               const std::string& protocol) {
    ZoneMapEntry found;
    found.keyPath = WithoutFinalBackslash(tree);
    // Compared without blanks around it, as the apply looks for an existing range.
    const std::string sought = TrimBlanks(address);
    std::vector<std::string> names;
    const RangeSearch search =
        VisitRangeEntries(reg, tree, names, [&](const std::string& name, const std::string& stored) {
            if (!RangeHoldsAddress(stored, sought)) return false;
            ZoneMapEntry key = ReadEntry(reg, std::string(tree) + name, protocol);
            if (found.state != ZoneMapEntry::State::Present ||
                (key.zone == kTrustedSitesZone && found.zone != kTrustedSitesZone)) {
                key.state = ZoneMapEntry::State::Present;
                key.range = stored;
                found = key;
            }
            return found.zone == kTrustedSitesZone;
        });
    if (search == RangeSearch::Unreadable) {
        found.state = ZoneMapEntry::State::Unreadable;
        found.status = reg.RegStatus;
        found.statusText = reg.ErrorText(reg.RegStatus);
    }
    return found;
}

bool ValueIsOne(mdlReg& reg, RegKey root, const char* valueName) {
    std::uint32_t type = 0;
    const std::string text = reg.QueryValue(root, kZonePolicyKey, valueName, type);
    return reg.RegStatus == kErrorSuccess && text == "1";
}

// The site-to-zone list of one root, when the policy puts it in force.
std::optional<PolicyFinding> FindZoneList(mdlReg& reg, RegKey root, const std::string& address,
                                          const std::string& protocol) {
    if (!ValueIsOne(reg, root, "ListBox_Support_ZoneMapKey")) return std::nullopt;
    PolicyFinding finding{PolicyFinding::Kind::ZoneList, root, "ListBox_Support_ZoneMapKey", {}, {}};
    std::vector<std::string> subKeys;
    std::vector<std::string> entries;
    if (!reg.EnumerateNames(root, kZoneListKey, subKeys, entries)) return finding;
    for (const std::string& entry : entries) {
        if (!ZoneListEntryApplies(entry, address, protocol)) continue;
        std::uint32_t type = 0;
        finding.listEntry = entry;
        finding.listZone = ZoneNumber(reg.QueryValue(root, kZoneListKey, entry, type));
        break;
    }
    return finding;
}

std::string ZoneWithName(std::uint32_t zone, const std::string& displayName = {}) {
    const std::string name = ZoneName(zone, displayName);
    return std::to_string(zone) + (name.empty() ? std::string() : "（" + name + "）");
}

// One tree's line of the report, after its title.
std::string EntryText(const ZoneCheck& check, const ZoneMapEntry& entry) {
    using State = ZoneMapEntry::State;
    const bool range = check.kind == AddressKind::IP;
    switch (entry.state) {
    case State::Unreadable:
        return "无法读取 " + entry.keyPath + "（错误代码 " + std::to_string(entry.status) + "：" +
               entry.statusText + "）";
    case State::Missing:
        if (range) return "没有，" + entry.keyPath + " 下没有包含 " + TrimBlanks(check.address) + " 的范围";
        return "没有，" + entry.keyPath + " 下没有 \"" + check.protocol + "\" 值";
    case State::Present:
        break;
    }
    std::string text = "有，" + entry.keyPath;
    text += range ? "（\":Range\" 为 " + entry.range + "）" : std::string(" ");
    if (!entry.zone) return text + "没有数值的 \"" + check.protocol + "\" 值";
    text += "的 \"" + check.protocol + "\" 为 " + ZoneWithName(*entry.zone);
    if (*entry.zone != kTrustedSitesZone) text += "，不是 " + ZoneWithName(kTrustedSitesZone);
    return text;
}

std::string PolicyText(const PolicyFinding& finding) {
    std::string text = "策略：" + std::string(RootName(finding.root)) + "\\" +
                       WithoutFinalBackslash(kZonePolicyKey) + " 的 " + finding.valueName + " = 1";
    switch (finding.kind) {
    case PolicyFinding::Kind::MachineOnlyZones:
        return text + "（安全区域: 仅使用计算机设置）：只使用计算机的安全区域设置，当前用户的区域映射不起作用";
    case PolicyFinding::Kind::SitesLocked:
        return text + "（安全区域: 不允许用户添加/删除站点）：用户不能在 Internet 选项中添加或删除站点";
    case PolicyFinding::Kind::OptionsLocked:
        return text + "（安全区域: 不允许用户更改策略）：用户不能更改安全区域的设置";
    case PolicyFinding::Kind::ZoneList:
        break;
    }
    text += "（站点到区域分配列表）：站点的区域由该列表决定，当前用户自己的区域映射不起作用；";
    if (finding.listEntry.empty()) return text + "列表中没有该站点";
    text += "列表中的 \"" + finding.listEntry + "\" ";
    if (!finding.listZone) return text + "没有给出区域编号";
    return text + "把该站点分配到区域 " + ZoneWithName(*finding.listZone);
}

// Why the URL is not in the trusted-sites zone, as far as the check found.
std::vector<std::string> NotTrustedReasons(const ZoneCheck& check, const UrlZoneAnswer& answer) {
    std::vector<std::string> reasons;
    if (answer.answered && answer.zone != kTrustedSitesZone) {
        reasons.push_back("浏览器判定为区域 " + ZoneWithName(answer.zone, answer.zoneName));
    }
    const auto tree = [&](const char* title, const ZoneMapEntry& entry) {
        if (entry.state == ZoneMapEntry::State::Unreadable) {
            reasons.push_back(std::string("无法读取") + title);
        } else if (entry.state == ZoneMapEntry::State::Missing) {
            reasons.push_back(std::string(title) + "中没有该地址的项");
        } else if (entry.zone != kTrustedSitesZone) {
            reasons.push_back(std::string(title) + "中的项不是区域 2");
        }
    };
    tree("普通区域映射", check.plain);
    tree("增强的安全配置区域映射", check.enhanced);
    for (const PolicyFinding& finding : check.policies) {
        if (!finding.OverridesZoneMap()) continue;
        if (finding.kind == PolicyFinding::Kind::ZoneList && finding.listZone == kTrustedSitesZone) {
            continue;
        }
        reasons.push_back("策略 " + finding.valueName + "（" + RootName(finding.root) +
                          "）使当前用户的区域映射不起作用");
    }
    return reasons;
}

}  // namespace

std::string CheckUrl(const std::string& address, const std::string& protocol) {
    return protocol + "://" + address + "/";
}

bool ZoneListEntryApplies(std::string_view entry, std::string_view address, std::string_view protocol) {
    if (const auto separator = entry.find("://"); separator != std::string_view::npos) {
        const std::string_view scheme = entry.substr(0, separator);
        if (scheme != "*" && !EqualsNoCase(scheme, protocol)) return false;
        entry.remove_prefix(separator + 3);
    }
    // The address itself, or a range in the browser's syntax that covers an IPv4 address.
    if (RangeHoldsAddress(entry, address)) return true;
    if (ClassifyAddress(address) == AddressKind::IP || entry.substr(0, 2) != "*.") return false;
    const std::string_view domain = entry.substr(1);  // ".example.com"
    return address.size() > domain.size() &&
           EqualsNoCase(address.substr(address.size() - domain.size()), domain);
}

std::vector<PolicyFinding> FindZonePolicies(mdlReg& reg, const std::string& address,
                                            const std::string& protocol) {
    std::vector<PolicyFinding> findings;
    // Documented as machine settings: read below HKEY_LOCAL_MACHINE only.
    const struct {
        PolicyFinding::Kind kind;
        const char* valueName;
    } machineSettings[] = {
        {PolicyFinding::Kind::MachineOnlyZones, "Security_HKLM_only"},
        {PolicyFinding::Kind::SitesLocked, "Security_zones_map_edit"},
        {PolicyFinding::Kind::OptionsLocked, "Security_options_edit"},
    };
    for (const auto& setting : machineSettings) {
        if (ValueIsOne(reg, kHkeyLocalMachine, setting.valueName)) {
            findings.push_back({setting.kind, kHkeyLocalMachine, setting.valueName, {}, {}});
        }
    }
    // A machine and a user setting; the machine's list comes first.
    for (RegKey root : {kHkeyLocalMachine, kHkeyCurrentUser}) {
        if (auto list = FindZoneList(reg, root, address, protocol)) findings.push_back(std::move(*list));
    }
    return findings;
}

ZoneCheck CheckZoneMap(mdlReg& reg, const std::string& address, const std::string& protocol) {
    ZoneCheck check;
    check.address = address;
    check.protocol = protocol;
    check.kind = ClassifyAddress(address);
    switch (check.kind) {
    case AddressKind::None:
        break;
    case AddressKind::IP:
        check.plain = FindCoveringRange(reg, address, kRangesTree, protocol);
        check.enhanced = FindCoveringRange(reg, address, kEscRangesTree, protocol);
        break;
    case AddressKind::Host:
    case AddressKind::Dns: {
        const std::string site = SiteKeyName(address);
        check.plain = ReadEntry(reg, kDomainsTree + site, protocol);
        check.enhanced = ReadEntry(reg, kEscDomainsTree + site, protocol);
        break;
    }
    }
    check.policies = FindZonePolicies(reg, address, protocol);
    return check;
}

std::string ZoneName(std::uint32_t zone, const std::string& displayName) {
    if (!displayName.empty()) return displayName;
    static const char* const kNames[] = {"我的电脑", "本地 Intranet", "受信任的站点", "Internet",
                                         "受限制的站点"};
    return zone < std::size(kNames) ? kNames[zone] : "";
}

int CheckExitCode(const ZoneCheck& check, const UrlZoneAnswer& answer) {
    if (answer.answered) return answer.zone == kTrustedSitesZone ? kCheckTrusted : kCheckNotTrusted;
    // Without the browser's answer: a site-to-zone list in force decides (the machine's before
    // the user's); otherwise the user's own zone map, unless only machine settings count.
    bool trusted =
        check.plain.state == ZoneMapEntry::State::Present && check.plain.zone == kTrustedSitesZone;
    for (const PolicyFinding& finding : check.policies) {
        if (finding.kind == PolicyFinding::Kind::ZoneList) {
            trusted = finding.listZone == kTrustedSitesZone;
            break;
        }
        if (finding.kind == PolicyFinding::Kind::MachineOnlyZones) trusted = false;
    }
    return trusted ? kCheckTrusted : kCheckNotTrusted;
}

std::string CheckReportText(const ZoneCheck& check, const UrlZoneAnswer& answer) {
    const std::string url = CheckUrl(check.address, check.protocol);
    std::string text = "检查地址：" + url + "\n";
    text += "普通区域映射：" + EntryText(check, check.plain) + "\n";
    text += "增强的安全配置区域映射：" + EntryText(check, check.enhanced) + "\n";
    text += "浏览器判定的区域：" +
            (answer.answered ? ZoneWithName(answer.zone, answer.zoneName)
                             : "无法询问（" + answer.error + "）") +
            "\n";
    for (const PolicyFinding& finding : check.policies) text += PolicyText(finding) + "\n";
    if (check.policies.empty()) text += "策略：未发现使区域映射失效或被锁定的策略设置\n";

    if (CheckExitCode(check, answer) == kCheckTrusted) {
        return text + "结论：" + url + " 在受信任的站点区域" +
               (answer.answered ? "" : "（按注册表判断，未能询问浏览器）") + "\n";
    }
    text += "结论：" + url + " 不在受信任的站点区域";
    const std::vector<std::string> reasons = NotTrustedReasons(check, answer);
    for (std::size_t i = 0; i < reasons.size(); ++i) text += (i == 0 ? "。原因：" : "；") + reasons[i];
    return text + "\n";
}

}  // namespace zuv
