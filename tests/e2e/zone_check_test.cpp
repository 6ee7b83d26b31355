// The check of an address under Wine: the real registry functions and Wine's own URL security
// manager (urlmon). What Wine's urlmon reads and ignores is pinned here as well, because the
// README tells it: when one of those expectations fails, Wine has changed and the README with it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "browser_config/browser_config.h"
#include "browser_config/url_zone.h"
#include "browser_config/zone_check.h"
#include "driver.h"
#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "registry/win32_registry.h"

namespace zuv::e2e {
namespace {

using State = ZoneMapEntry::State;
using Kind = PolicyFinding::Kind;

std::wstring WithoutFinalBackslash(std::wstring path) {
    if (!path.empty() && path.back() == L'\\') path.pop_back();
    return path;
}

const std::wstring kZoneMap = WithoutFinalBackslash(Widen(kZoneMapRoot));
const std::wstring kPolicyKey = WithoutFinalBackslash(Widen(kZonePolicyKey));

// A key below one root as it is now, put back when this object ends over whatever the test left
// there: its tree is copied aside first (when it exists) and copied back afterwards.
class KeptKey {
public:
    KeptKey(HKEY root, std::wstring path) : root_(root), path_(std::move(path)) {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root_, path_.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
        HKEY copy = nullptr;
        RegDeleteTreeW(root_, copy_.c_str());
        if (RegCreateKeyExW(root_, copy_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &copy, nullptr) ==
            ERROR_SUCCESS) {
            kept_ = RegCopyTreeW(key, nullptr, copy) == ERROR_SUCCESS;
            RegCloseKey(copy);
        }
        RegCloseKey(key);
    }
    KeptKey(const KeptKey&) = delete;
    KeptKey& operator=(const KeptKey&) = delete;
    ~KeptKey() {
        RegDeleteTreeW(root_, path_.c_str());
        RegDeleteKeyW(root_, path_.c_str());
        if (!kept_) return;
        HKEY copy = nullptr;
        HKEY key = nullptr;
        if (RegOpenKeyExW(root_, copy_.c_str(), 0, KEY_READ, &copy) == ERROR_SUCCESS &&
            RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            RegCopyTreeW(copy, nullptr, key);
        }
        if (key) RegCloseKey(key);
        if (copy) RegCloseKey(copy);
        RegDeleteTreeW(root_, copy_.c_str());
        RegDeleteKeyW(root_, copy_.c_str());
    }
    // Whether a copy was taken, that is whether the key existed.
    bool Kept() const { return kept_; }

    bool Set(const std::wstring& below, const wchar_t* name, DWORD value) const {
        return RegSetKeyValueW(root_, (path_ + below).c_str(), name, REG_DWORD, &value,
                               sizeof value) == ERROR_SUCCESS;
    }
    bool Set(const std::wstring& below, const wchar_t* name, const std::wstring& text) const {
        return RegSetKeyValueW(root_, (path_ + below).c_str(), name, REG_SZ, text.c_str(),
                               static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) ==
               ERROR_SUCCESS;
    }

private:
    // Each kept key has a copy of its own: two kept keys of one root must not share it.
    static std::wstring NextCopy() {
        static int copies = 0;
        return L"Software\\ZUVCheckTestCopy" + std::to_wstring(++copies);
    }
    HKEY root_;
    std::wstring path_;
    std::wstring copy_ = NextCopy();
    bool kept_ = false;
};

class ZoneCheckUnderWine : public ::testing::Test {
protected:
    void SetUp() override { ClearZoneMap(); }
    void TearDown() override { ClearZoneMap(); }

    static void ClearZoneMap() {
        for (const wchar_t* tree : {L"Domains", L"EscDomains", L"Ranges", L"EscRanges"}) {
            ASSERT_TRUE(reg::DeleteTree(kZoneMap + L"\\" + tree));
        }
    }
    // Puts the address into the zone map as an apply does.
    void Register(const std::string& address) {
        ApplyOutcome outcome;
        RegisterTrustedSite(registry, outcome, address);
        ASSERT_TRUE(outcome.Succeeded()) << address;
    }
    // Everything the check reads, of both roots, for comparisons before and after.
    static std::string Snapshot() {
        const std::wstring settings = reg::kInternetSettings;
        return reg::Dump(settings) + reg::Dump(L"Software\\Policies") +
               reg::Dump(settings, HKEY_LOCAL_MACHINE) +
               reg::Dump(L"Software\\Policies", HKEY_LOCAL_MACHINE);
    }
    // The display name the registry holds for a zone: the user's, otherwise the machine's.
    std::string DisplayName(std::uint32_t zone) {
        std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\";
        key += std::to_string(zone);
        key += '\\';
        std::uint32_t type = 0;
        std::string name = registry.QueryValue(kHkeyCurrentUser, key, "DisplayName", type);
        if (name.empty()) name = registry.QueryValue(kHkeyLocalMachine, key, "DisplayName", type);
        return name;
    }

    Win32Registry api;
    std::unique_ptr<AnsiCodePage> codePage = MakeSystemCodePage();
    mdlReg registry{api, *codePage};
};

TEST_F(ZoneCheckUnderWine, RegisteredNameIsTrustedAndAnUnregisteredOneIsNot) {
    Register("zuvcheck-portal");
    Register("192.0.2.77");
    ASSERT_TRUE(registry.SetValue(kHkeyCurrentUser, std::string(kZoneMapRoot) +
                                  "EscDomains\\zuvcheck-esc\\", "http", 2.0, kRegDword));
    {
        // Wine's zone manager names a zone only from the user's Zones key (which a user may
        // lack); the machine's name is taken then.
        const std::wstring userZone = std::wstring(reg::kInternetSettings) + L"\\Zones\\2";
        const KeptKey kept(HKEY_CURRENT_USER, userZone);
        ASSERT_TRUE(reg::DeleteTree(userZone));
        const UrlZoneAnswer answer = AskUrlZone("zuvcheck-portal");
        EXPECT_EQ(answer.zone, kTrustedSitesZone);
        EXPECT_FALSE(answer.zoneName.empty());
        EXPECT_EQ(answer.zoneName, DisplayName(kTrustedSitesZone));
    }
    const std::string before = Snapshot();

    const ZoneCheck registered = CheckZoneMap(registry, "zuvcheck-portal");
    EXPECT_EQ(registered.plain.state, State::Present);
    EXPECT_EQ(registered.plain.zone, kTrustedSitesZone);
    EXPECT_EQ(registered.enhanced.keyPath, "EscDomains\\zuvcheck-portal");
    EXPECT_EQ(registered.enhanced.zone, kTrustedSitesZone);
    const UrlZoneAnswer trusted = AskUrlZone("zuvcheck-portal");
    ASSERT_TRUE(trusted.answered) << trusted.error;
    EXPECT_EQ(trusted.zone, kTrustedSitesZone);
    // The zone manager names the zone as the registry does.
    EXPECT_FALSE(trusted.zoneName.empty());
    EXPECT_EQ(trusted.zoneName, DisplayName(kTrustedSitesZone));
    EXPECT_EQ(CheckExitCode(registered, trusted), kCheckTrusted);
    EXPECT_NE(CheckReportText(registered, trusted)
                  .find("\n浏览器判定的区域：2（" + trusted.zoneName + "）\n"),
              std::string::npos);

    const ZoneCheck unknown = CheckZoneMap(registry, "zuvcheck-unknown");
    const UrlZoneAnswer internet = AskUrlZone("zuvcheck-unknown");
    ASSERT_TRUE(internet.answered) << internet.error;
    EXPECT_EQ(internet.zone, kInternetZone);
    EXPECT_EQ(CheckExitCode(unknown, internet), kCheckNotTrusted);
    const std::string report = CheckReportText(unknown, internet);
    EXPECT_NE(report.find("\n普通区域映射：没有，Domains\\zuvcheck-unknown 下没有 \"http\" 值\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("不在受信任的站点区域。原因：浏览器判定为区域 3（"), std::string::npos)
        << report;

    // The check finds the range the apply wrote; Wine's urlmon reads neither the range trees
    // nor the enhanced-security trees.
    const ZoneCheck range = CheckZoneMap(registry, "192.0.2.77");
    EXPECT_EQ(range.plain.state, State::Present);
    EXPECT_EQ(range.plain.keyPath, "Ranges\\Range1");
    EXPECT_EQ(range.enhanced.keyPath, "EscRanges\\Range1");
    EXPECT_EQ(AskUrlZone("192.0.2.77").zone, kInternetZone) << "Wine reads Ranges now";
    EXPECT_EQ(CheckZoneMap(registry, "zuvcheck-esc").enhanced.zone, kTrustedSitesZone);
    EXPECT_EQ(AskUrlZone("zuvcheck-esc").zone, kInternetZone) << "Wine reads EscDomains now";

    EXPECT_EQ(Snapshot(), before);
}

TEST_F(ZoneCheckUnderWine, PolicySettingsAreReportedAndPutBack) {
    Register("zuvcheck-portal");
    const std::string machineBefore = reg::Dump(L"Software\\Policies", HKEY_LOCAL_MACHINE);
    const std::string userBefore = reg::Dump(L"Software\\Policies");
    {
        // The whole Policies key is kept and put back, with the levels the test makes below it.
        const std::wstring policies = L"Software\\Policies";
        const std::wstring below = kPolicyKey.substr(policies.size());
        const KeptKey machine(HKEY_LOCAL_MACHINE, policies);
        const KeptKey user(HKEY_CURRENT_USER, policies);
        ASSERT_TRUE(machine.Set(below, L"Security_HKLM_only", 1));
        ASSERT_TRUE(machine.Set(below, L"ListBox_Support_ZoneMapKey", 1));
        ASSERT_TRUE(machine.Set(below + L"\\ZoneMapKey", L"zuvcheck-portal", L"4"));
        ASSERT_TRUE(user.Set(below, L"ListBox_Support_ZoneMapKey", 1));
        ASSERT_TRUE(user.Set(below + L"\\ZoneMapKey", L"http://zuvcheck-portal", L"2"));
        const std::string before = Snapshot();

        const ZoneCheck check = CheckZoneMap(registry, "zuvcheck-portal");
        ASSERT_EQ(check.policies.size(), 3u);
        EXPECT_EQ(check.policies[0].kind, Kind::MachineOnlyZones);
        EXPECT_EQ(check.policies[1].kind, Kind::ZoneList);
        EXPECT_EQ(check.policies[1].root, kHkeyLocalMachine);
        EXPECT_EQ(check.policies[1].listZone, kRestrictedSitesZone);
        EXPECT_EQ(check.policies[2].root, kHkeyCurrentUser);
        EXPECT_EQ(check.policies[2].listZone, kTrustedSitesZone);
        // Windows would put the site into the restricted zone; Wine's urlmon ignores the
        // machine-only setting and both lists and still reads the user's own entry.
        const UrlZoneAnswer answer = AskUrlZone("zuvcheck-portal");
        EXPECT_EQ(answer.zone, kTrustedSitesZone) << "Wine honours zone policies now";
        EXPECT_EQ(CheckExitCode(check, UrlZoneAnswer{}), kCheckNotTrusted);

        const std::string report = CheckReportText(check, answer);
        const std::string key = "\\Software\\Policies\\Microsoft\\Windows\\CurrentVersion\\Internet Settings 的 ";
        for (const std::string& line : std::vector<std::string>{
                 "策略：HKEY_LOCAL_MACHINE" + key + "Security_HKLM_only = 1（安全区域: 仅使用计算机设置）",
                 "策略：HKEY_LOCAL_MACHINE" + key + "ListBox_Support_ZoneMapKey = 1",
                 "列表中的 \"zuvcheck-portal\" 把该站点分配到区域 4（受限制的站点）\n",
                 "策略：HKEY_CURRENT_USER" + key + "ListBox_Support_ZoneMapKey = 1",
                 "列表中的 \"http://zuvcheck-portal\" 把该站点分配到区域 2（受信任的站点）\n"}) {
            EXPECT_NE(report.find(line), std::string::npos) << line << "\n" << report;
        }
        EXPECT_EQ(Snapshot(), before);
    }
    EXPECT_EQ(reg::Dump(L"Software\\Policies", HKEY_LOCAL_MACHINE), machineBefore);
    EXPECT_EQ(reg::Dump(L"Software\\Policies"), userBefore);
}

// The program's check reports Microsoft Edge's policies of both roots and the trusted zone's
// logon and launching settings, each with the value it read, and changes nothing; the exit
// code stays the zone's.
TEST_F(ZoneCheckUnderWine, CheckReportsEdgeSignInAndDownloadsAndPutsThemBack) {
    Register("zuvcheck-portal");
    const std::wstring policies = L"Software\\Policies";
    const std::wstring zones = std::wstring(reg::kInternetSettings) + L"\\Zones";
    const std::string policiesBefore =
        reg::Dump(policies, HKEY_LOCAL_MACHINE) + reg::Dump(policies) + reg::Dump(zones);
    const std::string edge = "\\Software\\Policies\\Microsoft\\Edge 的 ";
    const std::string zone2 = "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2 的 ";
    {
        const KeptKey machine(HKEY_LOCAL_MACHINE, policies);
        const KeptKey user(HKEY_CURRENT_USER, policies);
        const KeptKey userZones(HKEY_CURRENT_USER, zones);
        struct Setup {
            DWORD machineLevel;
            DWORD userLevel;
            DWORD logon;
            DWORD launching;
            std::vector<std::string> lines;
        };
        const Setup setups[] = {
            {1, 0, 0x20000, 3,
             {"Microsoft Edge 的 Internet Explorer 模式：HKEY_LOCAL_MACHINE" + edge +
                  "\"InternetExplorerIntegrationLevel\" = 1（Internet Explorer 模式）",
              "企业模式站点列表：HKEY_LOCAL_MACHINE" + edge +
                  "\"InternetExplorerIntegrationSiteList\" = \"https://intranet.example/sites.xml\"",
              "在 IE 模式下重新加载：HKEY_CURRENT_USER" + edge +
                  "\"InternetExplorerIntegrationReloadInIEModeAllowed\" = 1：用户可以",
              "自动登录（IE 模式和 Windows 安全区域）：" + zone2 + "\"1A00\" = 0x00020000（只在 Intranet 区域自动登录",
              "自动登录（Edge 不用 IE 模式时）：HKEY_CURRENT_USER" + edge +
                  "\"AuthServerAllowlist\" = \"*example.org,zuvcheck-portal\"：包含 zuvcheck-portal",
              "下载（启动应用程序和不安全的文件）：" + zone2 + "\"1806\" = 3（禁用）"}},
            {0, 1, 0, 1,
             {"Microsoft Edge 的 Internet Explorer 模式：HKEY_LOCAL_MACHINE" + edge +
                  "\"InternetExplorerIntegrationLevel\" = 0（无）",
              "Edge 不会用 IE 模式打开该站点，这些设置对它不起作用",
              "自动登录合起来：IE 模式中用当前用户的 Windows 凭据自动登录该站点",
              "下载（启动应用程序和不安全的文件）：" + zone2 + "\"1806\" = 1（提示）"}},
        };
        for (const Setup& setup : setups) {
            const std::wstring below = L"\\Microsoft\\Edge";
            ASSERT_TRUE(machine.Set(below, L"InternetExplorerIntegrationLevel", setup.machineLevel));
            ASSERT_TRUE(user.Set(below, L"InternetExplorerIntegrationLevel", setup.userLevel));
            ASSERT_TRUE(machine.Set(below, L"InternetExplorerIntegrationSiteList",
                                    std::wstring(L"https://intranet.example/sites.xml")));
            ASSERT_TRUE(user.Set(below, L"InternetExplorerIntegrationReloadInIEModeAllowed", 1));
            ASSERT_TRUE(user.Set(below, L"AuthServerAllowlist", std::wstring(L"*example.org,zuvcheck-portal")));
            ASSERT_TRUE(userZones.Set(L"\\2", L"1A00", setup.logon));
            ASSERT_TRUE(userZones.Set(L"\\2", L"1806", setup.launching));
            const std::string before = Snapshot();
            std::string error;
            const auto run = RunToEnd({L"/check:zuvcheck-portal"}, error);
            ASSERT_TRUE(run) << error;
            EXPECT_EQ(run->exitCode, 0u) << "the zone decides the exit code: " << run->output;
            for (const std::string& line : setup.lines) {
                EXPECT_NE(run->output.find(line), std::string::npos) << line << "\n" << run->output;
            }
            EXPECT_EQ(Snapshot(), before) << "the check writes nothing";
        }
    }
    EXPECT_EQ(reg::Dump(policies, HKEY_LOCAL_MACHINE) + reg::Dump(policies) + reg::Dump(zones),
              policiesBefore);
}

}  // namespace
}  // namespace zuv::e2e
