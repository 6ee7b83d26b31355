#include "browser_config/zone_check.h"

#include "browser_config/browser_check.h"

#include "browser_config/browser_config.h"
#include "fixture.h"

namespace zuv::test {
namespace {

using State = ZoneMapEntry::State;
using Kind = PolicyFinding::Kind;

const std::string kZoneMap = kZoneMapRoot;
const std::string kPolicy = kZonePolicyKey;
const std::string kList = kZoneListKey;

const UrlZoneAnswer kTrustedAnswer{true, kTrustedSitesZone, "", ""};
const UrlZoneAnswer kInternetAnswer{true, kInternetZone, "Internet 区域", ""};
const UrlZoneAnswer kNoAnswer{false, 0, "", "CoInternetCreateSecurityManager 失败，错误代码 0x80004005"};

class ZoneCheckTest : public RegistryFixture {
protected:
    void PutDword(const std::string& path, const std::string& name, int value,
                  RegKey root = kHkeyCurrentUser) {
        Put(path, name, kRegDword, Bytes({value, 0, 0, 0}), root);
    }
    void PutText(const std::string& path, const std::string& name, const std::string& text,
                 RegKey root = kHkeyCurrentUser) {
        Put(path, name, kRegSz, TextBytes(text), root);
    }
    void PutRange(const std::string& tree, const std::string& name, const std::string& range,
                  int zone) {
        PutDword(kZoneMap + tree + name, "http", zone);
        PutText(kZoneMap + tree + name, ":Range", range);
    }
};

void ExpectEntry(const ZoneMapEntry& entry, const std::string& keyPath, std::uint32_t zone,
                 const std::string& range = "") {
    EXPECT_EQ(entry.state, State::Present) << keyPath;
    EXPECT_EQ(entry.keyPath, keyPath);
    EXPECT_EQ(entry.zone, zone) << keyPath;
    EXPECT_EQ(entry.range, range) << keyPath;
}

// What the apply writes for a machine name, a host inside a domain and an IPv4 address is
// found in both trees, and the check neither writes nor deletes anything.
TEST_F(ZoneCheckTest, FindsWhatTheApplyRegisteredAndWritesNothing) {
    for (const char* address : {"portal", "www.example.com", "192.0.2.10"}) {
        RegisterTrustedSite(reg, outcome, address);
    }
    ASSERT_TRUE(outcome.Succeeded());
    PutRange("Ranges\\", "Range7", "198.51.100.*", 4);  // another site's range, covering nothing
    const std::string userBefore = memory.Dump(kHkeyCurrentUser);
    const std::string machineBefore = memory.Dump(kHkeyLocalMachine);
    int changes = 0;
    memory.SetFaultHook([&](RegCall call, std::uint64_t) {
        changes += call == RegCall::CreateKeyEx || call == RegCall::SetValueEx ||
                   call == RegCall::DeleteValue || call == RegCall::DeleteKey;
        return kErrorSuccess;
    });

    const ZoneCheck name = CheckZoneMap(reg, "portal");
    ExpectEntry(name.plain, "Domains\\portal", 2);
    ExpectEntry(name.enhanced, "EscDomains\\portal", 2);
    const ZoneCheck domain = CheckZoneMap(reg, "www.example.com");
    ExpectEntry(domain.plain, "Domains\\example.com\\www", 2);
    ExpectEntry(domain.enhanced, "EscDomains\\example.com\\www", 2);
    const ZoneCheck ip = CheckZoneMap(reg, "192.0.2.10");
    ExpectEntry(ip.plain, "Ranges\\Range1", 2, "192.0.2.10");
    ExpectEntry(ip.enhanced, "EscRanges\\Range1", 2, "192.0.2.10");
    for (const ZoneCheck* check : {&name, &domain, &ip}) {
        EXPECT_TRUE(check->policies.empty());
        EXPECT_EQ(CheckExitCode(*check, kTrustedAnswer), kCheckTrusted);
        EXPECT_EQ(CheckExitCode(*check, kNoAnswer), kCheckTrusted);
        // The browser's answer decides over the zone map.
        EXPECT_EQ(CheckExitCode(*check, kInternetAnswer), kCheckNotTrusted);
    }
    EXPECT_EQ(CheckReportText(domain, kTrustedAnswer),
              "检查地址：http://www.example.com/\n"
              "普通区域映射：有，Domains\\example.com\\www 的 \"http\" 为 2（受信任的站点）\n"
              "增强的安全配置区域映射：有，EscDomains\\example.com\\www 的 \"http\" 为 2（受信任的站点）\n"
              "浏览器判定的区域：2（受信任的站点）\n"
              "策略：未发现使区域映射失效或被锁定的策略设置\n"
              "结论：http://www.example.com/ 在受信任的站点区域\n");
    EXPECT_EQ(CheckReportText(ip, kNoAnswer),
              "检查地址：http://192.0.2.10/\n"
              "普通区域映射：有，Ranges\\Range1（\":Range\" 为 192.0.2.10）的 \"http\" 为 2（受信任的站点）\n"
              "增强的安全配置区域映射：有，EscRanges\\Range1（\":Range\" 为 192.0.2.10）的 \"http\" 为 2（受信任的站点）\n"
              "浏览器判定的区域：无法询问（CoInternetCreateSecurityManager 失败，错误代码 0x80004005）\n"
              "策略：未发现使区域映射失效或被锁定的策略设置\n"
              "结论：http://192.0.2.10/ 在受信任的站点区域（按注册表判断，未能询问浏览器）\n");

    EXPECT_EQ(changes, 0);
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), userBefore);
    EXPECT_EQ(memory.Dump(kHkeyLocalMachine), machineBefore);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

// An entry missing from one tree, an entry of another zone, a range that covers the address
// rather than naming it, and a range tree that cannot be listed.
TEST_F(ZoneCheckTest, ReportsMissingEntriesOtherZonesAndCoveringRanges) {
    PutDword(kZoneMap + "EscDomains\\portal", "http", 4);
    const ZoneCheck name = CheckZoneMap(reg, "portal");
    EXPECT_EQ(name.plain.state, State::Missing);
    EXPECT_EQ(name.plain.keyPath, "Domains\\portal");
    ExpectEntry(name.enhanced, "EscDomains\\portal", 4);
    EXPECT_EQ(CheckExitCode(name, kNoAnswer), kCheckNotTrusted);
    EXPECT_EQ(CheckReportText(name, kInternetAnswer),
              "检查地址：http://portal/\n"
              "普通区域映射：没有，Domains\\portal 下没有 \"http\" 值\n"
              "增强的安全配置区域映射：有，EscDomains\\portal 的 \"http\" 为 4（受限制的站点），不是 2（受信任的站点）\n"
              "浏览器判定的区域：3（Internet 区域）\n"
              "策略：未发现使区域映射失效或被锁定的策略设置\n"
              "结论：http://portal/ 不在受信任的站点区域。原因：浏览器判定为区域 3（Internet 区域）；"
              "普通区域映射中没有该地址的项；增强的安全配置区域映射中的项不是区域 2\n");

    // Of two ranges covering the address, the one giving the trusted zone counts; a range
    // key without a number in "http" still covers it.
    PutRange("Ranges\\", "Range1", "192.0.2.1-50", 4);
    PutRange("Ranges\\", "Range12", "192.0.2.*", 2);
    PutText(kZoneMap + "EscRanges\\Range3", ":Range", "192.0.*.10");
    const ZoneCheck ip = CheckZoneMap(reg, " 192.0.2.10 ");
    ExpectEntry(ip.plain, "Ranges\\Range12", 2, "192.0.2.*");
    EXPECT_EQ(ip.enhanced.state, State::Present);
    EXPECT_EQ(ip.enhanced.keyPath, "EscRanges\\Range3");
    EXPECT_EQ(ip.enhanced.zone, std::nullopt);
    EXPECT_EQ(CheckZoneMap(reg, "192.0.3.10").plain.state, State::Missing);

    memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::QueryInfoKey ? kErrorAccessDenied : kErrorSuccess;
    });
    const ZoneCheck unreadable = CheckZoneMap(reg, "192.0.2.10");
    EXPECT_EQ(unreadable.plain.state, State::Unreadable);
    EXPECT_EQ(unreadable.plain.status, kErrorAccessDenied);
    memory.SetFaultHook({});
    EXPECT_EQ(CheckReportText(unreadable, kNoAnswer),
              "检查地址：http://192.0.2.10/\n"
              "普通区域映射：无法读取 Ranges（错误代码 5：拒绝访问。）\n"
              "增强的安全配置区域映射：无法读取 EscRanges（错误代码 5：拒绝访问。）\n"
              "浏览器判定的区域：无法询问（CoInternetCreateSecurityManager 失败，错误代码 0x80004005）\n"
              "策略：未发现使区域映射失效或被锁定的策略设置\n"
              "结论：http://192.0.2.10/ 不在受信任的站点区域。原因：无法读取普通区域映射；"
              "无法读取增强的安全配置区域映射\n");
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

// Each documented setting is reported from the root it is documented for: the machine-only
// settings below HKEY_LOCAL_MACHINE, the site-to-zone list below both roots.
TEST_F(ZoneCheckTest, ReportsThePolicySettingsThatOverrideOrLockTheZoneMap) {
    RegisterTrustedSite(reg, outcome, "www.example.com");
    PutDword(kPolicy, "Security_HKLM_only", 1, kHkeyLocalMachine);
    PutDword(kPolicy, "Security_zones_map_edit", 0, kHkeyLocalMachine);  // not in force
    PutDword(kPolicy, "Security_options_edit", 1, kHkeyLocalMachine);
    PutDword(kPolicy, "ListBox_Support_ZoneMapKey", 1, kHkeyLocalMachine);
    PutText(kList, "https://www.example.com", "2", kHkeyLocalMachine);  // another scheme
    PutText(kList, "*.example.com", "4", kHkeyLocalMachine);
    PutText(kList, "www.example.org", "2", kHkeyLocalMachine);
    PutDword(kPolicy, "Security_HKLM_only", 1);  // a machine setting: no effect here
    PutDword(kPolicy, "ListBox_Support_ZoneMapKey", 1);
    PutText(kList, "http://WWW.example.com", "2");

    const ZoneCheck check = CheckZoneMap(reg, "www.example.com");
    // The machine's list comes before the user's, and it puts the site elsewhere.
    EXPECT_EQ(CheckExitCode(check, kNoAnswer), kCheckNotTrusted);
    const std::string key = "\\Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings 的 ";
    EXPECT_EQ(CheckReportText(check, kInternetAnswer),
              "检查地址：http://www.example.com/\n"
              "普通区域映射：有，Domains\\example.com\\www 的 \"http\" 为 2（受信任的站点）\n"
              "增强的安全配置区域映射：有，EscDomains\\example.com\\www 的 \"http\" 为 2（受信任的站点）\n"
              "浏览器判定的区域：3（Internet 区域）\n"
              "策略：HKEY_LOCAL_MACHINE" + key + "Security_HKLM_only = 1（安全区域: 仅使用计算机设置）："
              "只使用计算机的安全区域设置，当前用户的区域映射不起作用\n"
              "策略：HKEY_LOCAL_MACHINE" + key + "Security_options_edit = 1（安全区域: 不允许用户更改策略）："
              "用户不能更改安全区域的设置\n"
              "策略：HKEY_LOCAL_MACHINE" + key + "ListBox_Support_ZoneMapKey = 1（站点到区域分配列表）："
              "站点的区域由该列表决定，当前用户自己的区域映射不起作用；列表中的 \"*.example.com\" "
              "把该站点分配到区域 4（受限制的站点）\n"
              "策略：HKEY_CURRENT_USER" + key + "ListBox_Support_ZoneMapKey = 1（站点到区域分配列表）："
              "站点的区域由该列表决定，当前用户自己的区域映射不起作用；列表中的 \"http://WWW.example.com\" "
              "把该站点分配到区域 2（受信任的站点）\n"
              "结论：http://www.example.com/ 不在受信任的站点区域。原因：浏览器判定为区域 3（Internet 区域）；"
              "策略 Security_HKLM_only（HKEY_LOCAL_MACHINE）使当前用户的区域映射不起作用；"
              "策略 ListBox_Support_ZoneMapKey（HKEY_LOCAL_MACHINE）使当前用户的区域映射不起作用\n");

    // Without the machine's list the user's list decides; without any list, machine-only
    // zones leave the user's own entry out of use; the lock alone changes nothing.
    PutDword(kPolicy, "ListBox_Support_ZoneMapKey", 0, kHkeyLocalMachine);
    EXPECT_EQ(CheckExitCode(CheckZoneMap(reg, "www.example.com"), kNoAnswer), kCheckTrusted);
    PutDword(kPolicy, "ListBox_Support_ZoneMapKey", 0);
    EXPECT_EQ(CheckExitCode(CheckZoneMap(reg, "www.example.com"), kNoAnswer), kCheckNotTrusted);
    PutDword(kPolicy, "Security_HKLM_only", 0, kHkeyLocalMachine);
    PutDword(kPolicy, "Security_zones_map_edit", 1, kHkeyLocalMachine);
    const ZoneCheck locked = CheckZoneMap(reg, "www.example.com");
    ASSERT_EQ(locked.policies.size(), 2u);
    EXPECT_EQ(locked.policies[0].kind, Kind::SitesLocked);
    EXPECT_NE(CheckReportText(locked, kTrustedAnswer)
                  .find("Security_zones_map_edit = 1（安全区域: 不允许用户添加/删除站点）："
                        "用户不能在 Internet 选项中添加或删除站点\n"),
              std::string::npos);
    EXPECT_EQ(CheckExitCode(locked, kNoAnswer), kCheckTrusted);

    // A list in force that does not name the site.
    PutDword(kPolicy, "ListBox_Support_ZoneMapKey", 1);
    EXPECT_NE(CheckReportText(CheckZoneMap(reg, "portal"), kNoAnswer).find("列表中没有该站点"),
              std::string::npos);
}

TEST(ZoneListEntry, AppliesToTheSiteItNamesOverHttp) {
    const struct {
        const char* entry;
        const char* address;
        bool applies;
    } cases[] = {
        {"portal", "PORTAL", true},
        {"http://portal", "portal", true},
        {"*://portal", "portal", true},
        {"https://portal", "portal", false},
        {"portal2", "portal", false},
        {"*.example.com", "a.b.example.com", true},
        {"*.example.com", "badexample.com", false},
        {"*.example.com", ".example.com", false},   // nothing before the domain: no name in it
        {"*.example.com", "example.com", false},    // the domain itself is not below itself
        {"*.example.com", "x.example.com", true},
        {"*.EXAMPLE.com", "WWW.example.COM", true},
        {"http://*.example.com", "www.example.com", true},
        {"HTTP://portal", "portal", true},          // the scheme without regard to case
        {"Http://portal", "portal", true},
        {"HTTPS://portal", "portal", false},
        {"example.com", "www.example.com", false},
        {"192.0.2.10", "192.0.2.10", true},
        {"http://192.0.2.1-50", "192.0.2.10", true},
        {"192.0.2.11-50", "192.0.2.10", false},
        {"*.2.10", "192.0.2.10", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ZoneListEntryApplies(c.entry, c.address), c.applies) << c.entry << " " << c.address;
    }
}

// The check of https://ADDRESS/ reads the "https" values of the same entries: an apply with
// https is found, one without is not, and the site-to-zone list is matched by its scheme.
TEST_F(ZoneCheckTest, HttpsChecksTheHttpsValuesOfTheSameEntries) {
    RegisterTrustedSite(reg, outcome, "portal", SiteProtocols::HttpAndHttps);
    RegisterTrustedSite(reg, outcome, "192.0.2.10", SiteProtocols::HttpAndHttps);
    RegisterTrustedSite(reg, outcome, "www.example.com");
    ASSERT_TRUE(outcome.Succeeded());

    const ZoneCheck name = CheckZoneMap(reg, "portal", "https");
    ExpectEntry(name.plain, "Domains\\portal", 2);
    ExpectEntry(name.enhanced, "EscDomains\\portal", 2);
    const ZoneCheck ip = CheckZoneMap(reg, "192.0.2.10", "https");
    ExpectEntry(ip.plain, "Ranges\\Range1", 2, "192.0.2.10");
    EXPECT_EQ(CheckExitCode(ip, kNoAnswer), kCheckTrusted);
    const ZoneCheck httpOnly = CheckZoneMap(reg, "www.example.com", "https");
    EXPECT_EQ(httpOnly.plain.state, State::Missing);
    EXPECT_EQ(CheckExitCode(httpOnly, kNoAnswer), kCheckNotTrusted);
    const std::string report = CheckReportText(httpOnly, kInternetAnswer);
    EXPECT_TRUE(report.starts_with("检查地址：https://www.example.com/\n"
                                   "普通区域映射：没有，Domains\\example.com\\www 下没有 \"https\" 值\n"))
        << report;
    EXPECT_NE(report.find("结论：https://www.example.com/ 不在受信任的站点区域"), std::string::npos)
        << report;

    EXPECT_TRUE(ZoneListEntryApplies("https://portal", "portal", "https"));
    EXPECT_TRUE(ZoneListEntryApplies("HTTPS://portal", "portal", "https"));
    EXPECT_FALSE(ZoneListEntryApplies("HTTP://portal", "portal", "https"));
    EXPECT_TRUE(ZoneListEntryApplies("*://portal", "portal", "https"));
    EXPECT_TRUE(ZoneListEntryApplies("portal", "portal", "https"));
    EXPECT_FALSE(ZoneListEntryApplies("http://portal", "portal", "https"));
    EXPECT_FALSE(ZoneListEntryApplies("https://portal", "portal"));
}

class BrowserCheckTest : public ZoneCheckTest {
protected:
    const std::string kEdge = kEdgePolicyKey;
    std::string Text(const std::string& address = "portal.example.com") {
        return BrowserFindingsText(FindBrowserSettings(reg, address));
    }
    // The report's line that begins with `title`, without it; empty when there is none.
    std::string Line(const std::string& text, const std::string& title) {
        const std::size_t at = text.find(title);
        if (at == std::string::npos) return {};
        const std::size_t begin = at + title.size();
        return text.substr(begin, text.find('\n', begin) - begin);
    }
};

TEST_F(BrowserCheckTest, NothingConfiguredNamesWhereItLooked) {
    const std::string before = memory.Dump(kHkeyCurrentUser) + memory.Dump(kHkeyLocalMachine);
    const std::string text = Text();
    EXPECT_EQ(Line(text, "Microsoft Edge 的 Internet Explorer 模式："),
              "HKEY_LOCAL_MACHINE 和 HKEY_CURRENT_USER 的 Software\\Policies\\Microsoft\\Edge 下都没有 "
              "\"InternetExplorerIntegrationLevel\"（未配置）：Edge 只在用户自己允许“在 Internet Explorer "
              "模式下重新加载网站”时才可能用 IE 模式打开站点");
    EXPECT_EQ(Line(text, "自动登录（IE 模式和 Windows 安全区域）："),
              "HKEY_CURRENT_USER\\" + std::string(kTrustedZoneKey).substr(0, std::string(kTrustedZoneKey).size() - 1) +
                  " 下没有 \"1A00\"（未设置，按该区域的安全级别决定）");
    EXPECT_NE(Line(text, "ActiveX 等设置：").find("只在 IE 模式中起作用"), std::string::npos) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8) << text;
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser) + memory.Dump(kHkeyLocalMachine), before);
}

TEST_F(BrowserCheckTest, EdgePoliciesOfTheMachineWinOverTheUsers) {
    struct Case {
        int machineLevel;  // -1: not set
        int userLevel;
        std::string expected;  // the IE mode line after its title
    };
    const std::string machine = "HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Edge 的 "
                                "\"InternetExplorerIntegrationLevel\" = ";
    const std::string user = "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Edge 的 "
                             "\"InternetExplorerIntegrationLevel\" = ";
    const Case cases[] = {
        {1, -1, machine + "1（Internet Explorer 模式）：企业模式站点列表中的站点在 Edge 的 IE 模式中打开"},
        {-1, 0, user + "0（无）：Edge 不用 IE 模式打开任何站点"},
        {0, 1, machine + "0（无）：Edge 不用 IE 模式打开任何站点"},
        {2, -1, machine + "2（Internet Explorer 11）：站点列表中的站点交给独立的 Internet Explorer 11 打开（已停用 IE 11 的 Windows 上不再可用）"},
        {7, -1, machine + "7：不是文档中的值（0 无、1 Internet Explorer 模式、2 Internet Explorer 11）"},
    };
    for (const Case& c : cases) {
        reg.DeleteEntry(kHkeyLocalMachine, kEdge, "InternetExplorerIntegrationLevel");
        reg.DeleteEntry(kHkeyCurrentUser, kEdge, "InternetExplorerIntegrationLevel");
        if (c.machineLevel >= 0) PutDword(kEdge, "InternetExplorerIntegrationLevel", c.machineLevel, kHkeyLocalMachine);
        if (c.userLevel >= 0) PutDword(kEdge, "InternetExplorerIntegrationLevel", c.userLevel);
        EXPECT_EQ(Line(Text(), "Microsoft Edge 的 Internet Explorer 模式："), c.expected) << c.machineLevel;
    }
    // IE mode off: the tool's ActiveX settings are said to do nothing for the site.
    PutDword(kEdge, "InternetExplorerIntegrationLevel", 0, kHkeyLocalMachine);
    EXPECT_NE(Line(Text(), "ActiveX 等设置：").find("Edge 不会用 IE 模式打开该站点"), std::string::npos);

    PutDword(kEdge, "InternetExplorerIntegrationLevel", 1, kHkeyLocalMachine);
    PutText(kEdge, "InternetExplorerIntegrationSiteList", "https://intranet.example.com/sites.xml",
            kHkeyLocalMachine);
    PutDword(kEdge, "InternetExplorerIntegrationReloadInIEModeAllowed", 0);
    const std::string text = Text();
    EXPECT_EQ(Line(text, "企业模式站点列表："),
              "HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Edge 的 \"InternetExplorerIntegrationSiteList\" = "
              "\"https://intranet.example.com/sites.xml\"：该站点是否用 IE 模式打开，由这个列表中是否有它决定；"
              "要让 Edge 用 IE 模式打开该站点，列表中须有这一项：<site url=\"portal.example.com\"><compat-mode>Default"
              "</compat-mode><open-in>IE11</open-in></site>");
    EXPECT_NE(Line(Text("r&d.example.com"), "企业模式站点列表：").find("<site url=\"r&amp;d.example.com\">"),
              std::string::npos);
    EXPECT_EQ(Line(text, "在 IE 模式下重新加载："),
              "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Edge 的 "
              "\"InternetExplorerIntegrationReloadInIEModeAllowed\" = 0：用户不能把站点在 IE 模式下重新加载");
    EXPECT_NE(Line(text, "ActiveX 等设置：").find("该站点在企业模式站点列表中时才起作用"), std::string::npos)
        << text;
}

TEST_F(BrowserCheckTest, SignInAndDownloadsOfTheTrustedZone) {
    const std::string zone = std::string("HKEY_CURRENT_USER\\") + kTrustedZoneKey;
    struct Logon {
        int value;
        std::string meaning;
    };
    for (const Logon& c : {Logon{0x00000, "0x00000000（自动使用当前用户名和密码登录）"},
                           Logon{0x10000, "0x00010000（提示输入用户名和密码）"},
                           Logon{0x20000, "0x00020000（只在 Intranet 区域自动登录（在受信任的站点区域会提示输入用户名和密码））"},
                           Logon{0x30000, "0x00030000（匿名登录（不使用 Windows 凭据））"}}) {
        Put(kTrustedZoneKey, "1A00", kRegDword,
            Bytes({c.value & 0xFF, (c.value >> 8) & 0xFF, (c.value >> 16) & 0xFF, 0}));
        EXPECT_EQ(Line(Text(), "自动登录（IE 模式和 Windows 安全区域）："),
                  zone.substr(0, zone.size() - 1) + " 的 \"1A00\" = " + c.meaning);
    }
    struct Launch {
        int value;
        std::string meaning;
    };
    for (const Launch& c : {Launch{0, "0（启用）：从该站点打开应用程序和不安全的文件时不提示"},
                            Launch{1, "1（提示）：从该站点打开应用程序和不安全的文件前先提示"},
                            Launch{3, "3（禁用）：不能从该站点打开应用程序和不安全的文件"},
                            Launch{2, "2：不是文档中的值（0 启用、1 提示、3 禁用）"}}) {
        PutDword(kTrustedZoneKey, "1806", c.value);
        EXPECT_EQ(Line(Text(), "下载（启动应用程序和不安全的文件）："),
                  zone.substr(0, zone.size() - 1) + " 的 \"1806\" = " + c.meaning);
    }

    // Automatic logon in IE mode, and an allow list that does or does not name the server.
    PutDword(kTrustedZoneKey, "1A00", 0);
    PutText(kEdge, "AuthServerAllowlist", "*example.com, intranet", kHkeyLocalMachine);
    EXPECT_EQ(Line(Text(), "自动登录合起来："),
              "IE 模式中用当前用户的 Windows 凭据自动登录该站点；Edge 不用 IE 模式时对该站点使用 Windows "
              "集成身份验证（AuthServerAllowlist 包含它）");
    Put(kTrustedZoneKey, "1A00", kRegDword, Bytes({0, 0, 3, 0}));  // 0x30000
    EXPECT_EQ(Line(Text("other.example.org"), "自动登录合起来："),
              "IE 模式中不自动用 Windows 凭据登录该站点（\"1A00\" 为 匿名登录（不使用 Windows 凭据））；"
              "Edge 不用 IE 模式时不对该站点使用 Windows 集成身份验证（AuthServerAllowlist 不包含它）");
    EXPECT_EQ(Line(Text("intranet"), "自动登录（Edge 不用 IE 模式时）："),
              "HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Edge 的 \"AuthServerAllowlist\" = "
              "\"*example.com, intranet\"：包含 intranet");
}

TEST(ServerList, EntriesWildcardsAndCase) {
    struct Case {
        const char* list;
        const char* host;
        bool names;
    };
    const Case cases[] = {
        {"portal", "portal", true},        {"PORTAL", "portal", true},
        {"portal", "portal2", false},      {"*example.com", "www.example.com", true},
        {"*example.com", "example.com", true}, {"*.example.com", "example.com", false},
        {"*", "anything", true},           {"a, b ,portal", "portal", true},
        {"a,,b", "portal", false},         {"", "portal", false},
        {"example.com", "www.example.com", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ServerListNames(c.list, c.host), c.names) << c.list << " / " << c.host;
    }
}

}  // namespace
}  // namespace zuv::test
