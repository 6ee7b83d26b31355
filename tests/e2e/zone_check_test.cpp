// The check of an address under Wine: the real registry functions and Wine's own URL security
// manager (urlmon). What Wine's urlmon reads and ignores is pinned here as well, because the
// README tells it: when one of those expectations fails, Wine has changed and the README with it.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
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
const std::wstring kListKey = WithoutFinalBackslash(Widen(kZoneListKey));

// Values set below one root for the lifetime of this object. Afterwards every value is put back
// as it was, and every key it had to create is removed again.
class RegistryValues {
public:
    explicit RegistryValues(HKEY root) : root_(root) {}
    RegistryValues(const RegistryValues&) = delete;
    RegistryValues& operator=(const RegistryValues&) = delete;
    ~RegistryValues() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->old) {
                RegSetKeyValueW(root_, it->path.c_str(), it->name.c_str(), it->old->type,
                                it->old->data.data(), static_cast<DWORD>(it->old->data.size()));
            } else {
                RegDeleteKeyValueW(root_, it->path.c_str(), it->name.c_str());
            }
        }
        for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
            RegDeleteKeyW(root_, it->c_str());
        }
    }

    bool SetDword(const std::wstring& path, const std::wstring& name, DWORD value) {
        return Set(path, name, REG_DWORD, {reinterpret_cast<const BYTE*>(&value),
                                           reinterpret_cast<const BYTE*>(&value + 1)});
    }
    bool SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text) {
        const auto* bytes = reinterpret_cast<const BYTE*>(text.c_str());
        return Set(path, name, REG_SZ, {bytes, bytes + (text.size() + 1) * sizeof(wchar_t)});
    }

private:
    struct Data {
        DWORD type = 0;
        std::vector<BYTE> data;
    };
    struct Saved {
        std::wstring path;
        std::wstring name;
        std::optional<Data> old;
    };

    bool Exists(const std::wstring& path) const {
        HKEY key = nullptr;
        if (RegOpenKeyExW(root_, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
        RegCloseKey(key);
        return true;
    }

    bool Set(const std::wstring& path, const std::wstring& name, DWORD type,
             const std::vector<BYTE>& data) {
        for (std::size_t end = path.find(L'\\');; end = path.find(L'\\', end + 1)) {
            const std::wstring level = path.substr(0, end);
            if (!Exists(level)) created_.push_back(level);
            if (end == std::wstring::npos) break;
        }
        Saved saved{path, name, std::nullopt};
        DWORD size = 0;
        DWORD oldType = 0;
        if (RegGetValueW(root_, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, &oldType,
                         nullptr, &size) == ERROR_SUCCESS) {
            Data old{oldType, std::vector<BYTE>(size)};
            RegGetValueW(root_, path.c_str(), name.c_str(), RRF_RT_ANY | RRF_NOEXPAND, nullptr,
                         old.data.data(), &size);
            saved.old = std::move(old);
        }
        saved_.push_back(std::move(saved));
        return RegSetKeyValueW(root_, path.c_str(), name.c_str(), type, data.data(),
                               static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
    }

    HKEY root_;
    std::vector<Saved> saved_;
    std::vector<std::wstring> created_;  // shallowest first
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
        const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\" +
                                std::to_string(zone) + "\\";
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
        RegistryValues machine(HKEY_LOCAL_MACHINE);
        RegistryValues user(HKEY_CURRENT_USER);
        ASSERT_TRUE(machine.SetDword(kPolicyKey, L"Security_HKLM_only", 1));
        ASSERT_TRUE(machine.SetDword(kPolicyKey, L"ListBox_Support_ZoneMapKey", 1));
        ASSERT_TRUE(machine.SetString(kListKey, L"zuvcheck-portal", L"4"));
        ASSERT_TRUE(user.SetDword(kPolicyKey, L"ListBox_Support_ZoneMapKey", 1));
        ASSERT_TRUE(user.SetString(kListKey, L"http://zuvcheck-portal", L"2"));
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

}  // namespace
}  // namespace zuv::e2e
