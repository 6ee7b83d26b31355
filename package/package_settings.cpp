#include "package/package_settings.h"

#include <cstdio>
#include <tuple>

#include "base/text.h"
#include "browser_config/address_rule.h"
#include "browser_config/browser_check.h"
#include "browser_config/site_list.h"

namespace zuv::package {
namespace {

// A switch as the command line gives it: "" (not given), "0" or "1".
Result<bool> SwitchOf(const char* name, const std::string& value) {
    if (value.empty() || value == "0") return false;
    if (value == "1") return true;
    return Failure{std::string(name) + "=“" + EscapeInvisible(value) +
                   "”不能识别：只能是 1（是）或 0（否），不给出时为 0（或上次安装时的值）。"};
}

// Days from 2000-01-01 to the date (proleptic Gregorian calendar).
long long DaysSince2000(long long year, long long month, long long day) {
    year -= month <= 2 ? 1 : 0;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const long long yearOfEra = year - era * 400;
    const long long dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 730425;  // 730425: 0000-03-01 to 2000-01-01
}

std::string PolicyName(const char* root, const char* value) {
    std::string key = kEdgePolicyKey;
    key.pop_back();
    return std::string(root) + "\\" + key + " 的 " + value;
}

}  // namespace

Result<PackageSettings> CheckProperties(const PackageProperties& properties) {
    if (properties.address.empty()) {
        return Failure{"没有给出门户地址：请在 msiexec 的命令行中给出 PORTALADDRESS=服务器地址，"
                       "如 PORTALADDRESS=portal.example.com。"};
    }
    if (const auto why = WhyAddressRefused(properties.address)) {
        return Failure{"门户地址 PORTALADDRESS=“" + EscapeInvisible(properties.address) + "”不能使用：" + *why};
    }
    PackageSettings settings;
    settings.address = properties.address;
    for (const auto& [name, value, target] :
         {std::tuple{"HTTPS", &properties.https, &settings.https},
          std::tuple{"IEMODE", &properties.ieMode, &settings.ieMode},
          std::tuple{"RETIRE", &properties.retire, &settings.retire}}) {
        const Result<bool> on = SwitchOf(name, *value);
        if (!on) return Failure{on.Error()};
        *target = on.Value();
    }
    return settings;
}

std::optional<PackageSettings> RememberedSettings(std::string_view address, std::string_view https,
                                                  std::string_view ieMode, std::string_view retire) {
    if (address.empty()) return std::nullopt;
    return PackageSettings{std::string(address), https == "#1", ieMode == "#1", retire == "#1"};
}

std::optional<Stamp> ParseStamp(std::string_view text) {
    Stamp stamp{};
    std::size_t part = 0;
    std::size_t digits = 0;
    for (const char c : text) {
        if (c == ',') {
            if (digits == 0 || ++part == stamp.size()) return std::nullopt;
            digits = 0;
        } else if (c >= '0' && c <= '9' && digits < 5) {
            stamp[part] = stamp[part] * 10 + static_cast<std::uint32_t>(c - '0');
            ++digits;
        } else {
            return std::nullopt;
        }
    }
    if (digits == 0 || part + 1 != stamp.size()) return std::nullopt;
    for (const std::uint32_t number : stamp) {
        if (number > kStampPartMax) return std::nullopt;
    }
    return stamp;
}

std::string StampText(const Stamp& stamp) {
    return std::to_string(stamp[0]) + "," + std::to_string(stamp[1]) + "," + std::to_string(stamp[2]) +
           "," + std::to_string(stamp[3]);
}

Stamp StampAt(const UtcTime& time) {
    const auto part = [](int number) {
        return static_cast<std::uint32_t>(number < 0 ? 0 : number > 65535 ? 65535 : number);
    };
    return {part(time.year), part(time.month * 100 + time.day), part(time.hour * 100 + time.minute),
            part(time.second * 1000 + time.millisecond)};
}

Stamp SettingsStamp(const PackageSettings& settings, const std::optional<PackageSettings>& remembered,
                    const std::optional<Stamp>& rememberedStamp, bool replacesOtherProduct,
                    const UtcTime& now) {
    if (rememberedStamp && remembered && *remembered == settings && !replacesOtherProduct) {
        return *rememberedStamp;
    }
    const Stamp fresh = StampAt(now);
    if (!rememberedStamp || fresh > *rememberedStamp) return fresh;
    // The clock is behind the stamp remembered: one above it, carried like a counter.
    Stamp next = *rememberedStamp;
    for (std::size_t i = next.size(); i-- > 0;) {
        if (next[i] < kStampPartMax) {
            ++next[i];
            return next;
        }
        next[i] = 0;
    }
    return *rememberedStamp;  // 65535,65535,65535,65535 has nothing above it
}

unsigned long long SiteListVersion(const Stamp& stamp) {
    const long long days = DaysSince2000(stamp[0], stamp[1] / 100, stamp[1] % 100);
    const long long seconds =
        days * 86400 + (stamp[2] / 100) * 3600LL + (stamp[2] % 100) * 60LL + stamp[3] / 1000;
    return seconds > 0 ? static_cast<unsigned long long>(seconds) : 0ULL;
}

std::string FileUrl(std::string_view path) {
    std::string url = "file://";
    if (path.size() >= 2 && (path.substr(0, 2) == "\\\\" || path.substr(0, 2) == "//")) {
        path.remove_prefix(2);  // \\server\share\…: the server is the URL's host
    } else {
        url += '/';
    }
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\') {
            url += '/';
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                   c == '-' || c == '.' || c == '_' || c == '~' || c == '/' || c == ':') {
            url += c;
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned>(byte));
            url += escaped;
        }
    }
    return url;
}

IeModePlan PlanIeMode(bool removing, const PackageSettings& settings, const IeModePolicies& found,
                      const std::string& ourList) {
    IeModePlan plan;
    const bool oursOnMachine = found.machineList && EqualsNoCase(*found.machineList, ourList);
    const std::string level = PolicyName("HKEY_LOCAL_MACHINE", "InternetExplorerIntegrationLevel");
    const std::string list = PolicyName("HKEY_LOCAL_MACHINE", "InternetExplorerIntegrationSiteList");
    if (removing || !settings.ieMode) {
        // On removal the list file goes in any case; the policies only while they are ours.
        plan.remove = removing || oursOnMachine;
        if (!oursOnMachine) return plan;
        plan.message = std::string(removing ? "卸载" : "IEMODE=0") + "：删除本安装包设置的 " + list + "（" +
                       ourList + "）、" + level + "（值为 1 时）和站点列表文件。";
        return plan;
    }
    const bool otherMachine = found.machineList && !oursOnMachine;
    const bool otherUser = found.userList && !EqualsNoCase(*found.userList, ourList);
    if (otherMachine || otherUser) {
        const std::string where =
            otherMachine ? list : PolicyName("HKEY_CURRENT_USER", "InternetExplorerIntegrationSiteList");
        plan.message = "IEMODE=1：已配置了单位自己的企业模式站点列表（" + where + " = “" +
                       EscapeInvisible(otherMachine ? *found.machineList : *found.userList) +
                       "”），本安装包不更改 InternetExplorerIntegrationLevel 和 InternetExplorerIntegrationSiteList。"
                       "要让 Edge 用 IE 模式打开门户，请在该列表中加入：" +
                       SiteListEntry(settings.address);
        return plan;
    }
    plan.write = true;
    plan.undoOnRollback = !(oursOnMachine && found.machineLevel == 1U);
    plan.message = "IEMODE=1：设置 " + level + " = 1 和 " + list + " = " + ourList +
                   "（本安装包安装的站点列表，其中门户在 IE 模式中打开：" + SiteListEntry(settings.address) + "）。";
    return plan;
}

}  // namespace zuv::package
