// The settings of today's browser for a site, read with read rights only (QueryValue).
#include "browser_config/browser_check.h"

#include <algorithm>
#include <cstdio>

#include "base/text.h"
#include "browser_config/browser_config.h"
#include "browser_config/site_list.h"

namespace zuv {
namespace {

std::string WithoutFinalBackslash(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

ReadSetting Read(mdlReg& reg, RegKey root, const char* key, const char* valueName) {
    ReadSetting setting;
    setting.root = root;
    setting.key = WithoutFinalBackslash(key);
    setting.valueName = valueName;
    std::uint32_t type = 0;
    const std::string data = reg.QueryValue(root, key, valueName, type);
    if (reg.RegStatus != kErrorSuccess) return setting;
    setting.present = true;
    setting.type = type;
    setting.data = data;
    return setting;
}

// An Edge policy: the machine's when it sets it, otherwise the user's. When neither does, the
// machine's (missing) value, so that the report names where it looked.
ReadSetting ReadEdgePolicy(mdlReg& reg, const char* valueName) {
    ReadSetting machine = Read(reg, kHkeyLocalMachine, kEdgePolicyKey, valueName);
    if (machine.present) return machine;
    ReadSetting user = Read(reg, kHkeyCurrentUser, kEdgePolicyKey, valueName);
    return user.present ? user : machine;
}

std::string Hex(std::uint32_t number) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(number));
    return text;
}

// "HKEY_LOCAL_MACHINE\Software\Policies\Microsoft\Edge 的 NAME = DATA"
std::string Named(const ReadSetting& setting, bool hex = false) {
    std::string text = std::string(RootName(setting.root)) + "\\" + setting.key + " 的 \"" +
                       setting.valueName + "\" = ";
    if (const auto number = setting.Number()) return text + (hex ? Hex(*number) : setting.data);
    return text + "\"" + setting.data + "\"";
}

// Where a missing Edge policy was looked for.
std::string MissingPolicy(const ReadSetting& setting) {
    return "HKEY_LOCAL_MACHINE 和 HKEY_CURRENT_USER 的 " + WithoutFinalBackslash(kEdgePolicyKey) +
           " 下都没有 \"" + setting.valueName + "\"（未配置）";
}

std::string MissingZoneValue(const ReadSetting& setting) {
    return std::string(RootName(setting.root)) + "\\" + setting.key + " 下没有 \"" +
           setting.valueName + "\"（未设置，按该区域的安全级别决定）";
}

std::string IeModeLines(const BrowserFindings& findings) {
    std::string text = "Microsoft Edge 的 Internet Explorer 模式：";
    const auto level = findings.ieLevel.Number();
    if (!findings.ieLevel.present) {
        text += MissingPolicy(findings.ieLevel) +
                "：Edge 只在用户自己允许“在 Internet Explorer 模式下重新加载网站”时才可能用 IE 模式打开站点";
    } else if (level == 0U) {
        text += Named(findings.ieLevel) + "（无）：Edge 不用 IE 模式打开任何站点";
    } else if (level == 1U) {
        text += Named(findings.ieLevel) + "（Internet Explorer 模式）：企业模式站点列表中的站点在 Edge 的 IE 模式中打开";
    } else if (level == 2U) {
        text += Named(findings.ieLevel) +
                "（Internet Explorer 11）：站点列表中的站点交给独立的 Internet Explorer 11 打开（已停用 IE 11 的 Windows 上不再可用）";
    } else {
        text += Named(findings.ieLevel) + "：不是文档中的值（0 无、1 Internet Explorer 模式、2 Internet Explorer 11）";
    }
    text += "\n";

    text += "企业模式站点列表：";
    if (findings.siteList.present) {
        // The entry to add, as the machine package's log gives it when it finds such a list.
        text += Named(findings.siteList) + "：该站点是否用 IE 模式打开，由这个列表中是否有它决定；"
                "要让 Edge 用 IE 模式打开该站点，列表中须有这一项：" + SiteListEntry(TrimBlanks(findings.address));
    } else {
        text += MissingPolicy(findings.siteList) + "：没有站点按列表用 IE 模式打开";
    }
    text += "\n";

    text += "在 IE 模式下重新加载：";
    const auto reload = findings.reloadAllowed.Number();
    if (!findings.reloadAllowed.present) {
        text += MissingPolicy(findings.reloadAllowed) + "：由用户在 Edge 的设置中决定";
    } else if (reload == 1U) {
        text += Named(findings.reloadAllowed) + "：用户可以把站点在 IE 模式下重新加载";
    } else if (reload == 0U) {
        text += Named(findings.reloadAllowed) + "：用户不能把站点在 IE 模式下重新加载";
    } else {
        text += Named(findings.reloadAllowed) + "：不是文档中的值（0 不允许、1 允许）";
    }
    text += "\n";

    // What the tool's zone settings are worth in Edge, as far as the policies tell.
    const bool listed = level == 1U && findings.siteList.present;
    const bool neverIeMode = (findings.ieLevel.present && level == 0U) ||
                             (!listed && findings.reloadAllowed.present && reload == 0U);
    text += "ActiveX 等设置：本工具写入受信任的站点区域的 ActiveX、脚本、剪贴板和弹出窗口设置只在 IE 模式中起作用，"
            "Edge 不用 IE 模式打开站点时它们不起作用";
    if (neverIeMode) {
        text += "；按上述策略，Edge 不会用 IE 模式打开该站点，这些设置对它不起作用";
    } else if (listed) {
        text += "；该站点在企业模式站点列表中时才起作用";
    }
    return text + "\n";
}

std::string LogonMeaning(std::uint32_t value) {
    switch (value) {
    case 0x00000:
        return "自动使用当前用户名和密码登录";
    case 0x10000:
        return "提示输入用户名和密码";
    case 0x20000:
        return "只在 Intranet 区域自动登录（在受信任的站点区域会提示输入用户名和密码）";
    case 0x30000:
        return "匿名登录（不使用 Windows 凭据）";
    default:
        return "不是文档中的值";
    }
}

std::string SignInLines(const BrowserFindings& findings) {
    std::string text = "自动登录（IE 模式和 Windows 安全区域）：";
    const auto logon = findings.logon.Number();
    if (!findings.logon.present) {
        text += MissingZoneValue(findings.logon);
    } else if (logon) {
        text += Named(findings.logon, true) + "（" + LogonMeaning(*logon) + "）";
    } else {
        text += Named(findings.logon) + "：不是 DWORD，不起作用";
    }
    text += "\n";

    const bool listed =
        findings.authAllowlist.present && ServerListNames(findings.authAllowlist.data, findings.address);
    text += "自动登录（Edge 不用 IE 模式时）：";
    if (!findings.authAllowlist.present) {
        text += MissingPolicy(findings.authAllowlist) +
                "：Edge 只对它判断为 Intranet 的服务器使用 Windows 集成身份验证";
    } else {
        text += Named(findings.authAllowlist) + "：" + (listed ? "包含 " : "不包含 ") +
                TrimBlanks(findings.address);
    }
    text += "\n";

    text += "自动登录合起来：IE 模式中";
    if (logon == 0U) {
        text += "用当前用户的 Windows 凭据自动登录该站点";
    } else if (logon) {
        text += "不自动用 Windows 凭据登录该站点（\"1A00\" 为 " + LogonMeaning(*logon) + "）";
    } else {
        text += "由受信任的站点区域的安全级别决定";
    }
    text += "；Edge 不用 IE 模式时";
    if (listed) {
        text += "对该站点使用 Windows 集成身份验证（AuthServerAllowlist 包含它）";
    } else if (findings.authAllowlist.present) {
        text += "不对该站点使用 Windows 集成身份验证（AuthServerAllowlist 不包含它）";
    } else {
        text += "只在 Edge 判断该站点在 Intranet 上时使用 Windows 集成身份验证";
    }
    return text + "\n";
}

std::string DownloadLine(const BrowserFindings& findings) {
    std::string text = "下载（启动应用程序和不安全的文件）：";
    const auto launching = findings.launching.Number();
    if (!findings.launching.present) return text + MissingZoneValue(findings.launching) + "\n";
    text += Named(findings.launching);
    if (launching == 0U) return text + "（启用）：从该站点打开应用程序和不安全的文件时不提示\n";
    if (launching == 1U) return text + "（提示）：从该站点打开应用程序和不安全的文件前先提示\n";
    if (launching == 3U) return text + "（禁用）：不能从该站点打开应用程序和不安全的文件\n";
    return text + "：不是文档中的值（0 启用、1 提示、3 禁用）\n";
}

}  // namespace

std::optional<std::uint32_t> ReadSetting::Number() const {
    if (!present || type != kRegDword || data.empty() || data.size() > 10) return std::nullopt;
    if (!std::all_of(data.begin(), data.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const unsigned long long number = std::stoull(data);
    if (number > 0xFFFFFFFFULL) return std::nullopt;
    return static_cast<std::uint32_t>(number);
}

BrowserFindings FindBrowserSettings(mdlReg& reg, const std::string& address) {
    BrowserFindings findings;
    findings.address = address;
    findings.ieLevel = ReadEdgePolicy(reg, "InternetExplorerIntegrationLevel");
    findings.siteList = ReadEdgePolicy(reg, "InternetExplorerIntegrationSiteList");
    findings.reloadAllowed = ReadEdgePolicy(reg, "InternetExplorerIntegrationReloadInIEModeAllowed");
    findings.authAllowlist = ReadEdgePolicy(reg, "AuthServerAllowlist");
    findings.logon = Read(reg, kHkeyCurrentUser, kTrustedZoneKey, "1A00");
    findings.launching = Read(reg, kHkeyCurrentUser, kTrustedZoneKey, "1806");
    return findings;
}

bool ServerListNames(std::string_view list, std::string_view host) {
    const std::string sought = TrimBlanks(host);
    if (sought.empty()) return false;
    std::size_t begin = 0;
    while (begin <= list.size()) {
        const std::size_t end = std::min(list.find(',', begin), list.size());
        const std::string entry = TrimBlanks(list.substr(begin, end - begin));
        if (entry == "*") return true;
        if (!entry.empty() && entry[0] == '*') {
            const std::string_view ending = std::string_view(entry).substr(1);
            if (sought.size() >= ending.size() &&
                EqualsNoCase(std::string_view(sought).substr(sought.size() - ending.size()), ending)) {
                return true;
            }
        } else if (!entry.empty() && EqualsNoCase(entry, sought)) {
            return true;
        }
        begin = end + 1;
    }
    return false;
}

std::string BrowserFindingsText(const BrowserFindings& findings) {
    return IeModeLines(findings) + SignInLines(findings) + DownloadLine(findings);
}

}  // namespace zuv
