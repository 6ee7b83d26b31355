// The machine package's decisions: the properties it takes, the settings stamp that makes each
// user's logon run again, the site list and Edge's IE mode policies.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser_config/address_rule.h"
#include "browser_config/site_list.h"
#include "package/package_settings.h"

namespace zuv::test {
namespace {

using namespace zuv::package;

PackageProperties Given(std::string address, std::string https = "", std::string ieMode = "",
                        std::string retire = "") {
    return {std::move(address), std::move(https), std::move(ieMode), std::move(retire)};
}

TEST(PackageProperties, TheSwitchesAreZeroOrOneAndTheAddressPassesTheProgramsRule) {
    const Result<PackageSettings> all = CheckProperties(Given("portal.example.com", "1", "1", "1"));
    ASSERT_TRUE(all) << all.Error();
    EXPECT_EQ(all.Value(), (PackageSettings{"portal.example.com", true, true, true}));
    const Result<PackageSettings> none = CheckProperties(Given("门户.example.cn", "0", "", "0"));
    ASSERT_TRUE(none) << none.Error();
    EXPECT_EQ(none.Value(), (PackageSettings{"门户.example.cn", false, false, false}));
}

TEST(PackageProperties, EachRefusalSaysWhatIsWrong) {
    struct Case {
        PackageProperties given;
        std::string mustSay;
    };
    const std::string ruleMessage = *WhyAddressRefused("http://portal/app");
    const Case cases[] = {
        {Given(""), "没有给出门户地址：请在 msiexec 的命令行中给出 PORTALADDRESS="},
        // the program's own rule and its own message, after the property and the address
        {Given("http://portal/app"), "PORTALADDRESS=“http://portal/app”不能使用：" + ruleMessage},
        {Given("portal:8080"), *WhyAddressRefused("portal:8080")},
        {Given(" portal"), *WhyAddressRefused(" portal")},
        {Given("por\ttal"), "PORTALADDRESS=“por\\x09tal”"},
        {Given("portal", "yes"), "HTTPS=“yes”不能识别：只能是 1（是）或 0（否）"},
        {Given("portal", "", "2"), "IEMODE=“2”不能识别"},
        {Given("portal", "", "", "true"), "RETIRE=“true”不能识别"},
        {Given("portal", " 1"), "HTTPS=“ 1”不能识别"},
        {Given("portal", "#1"), "HTTPS=“#1”不能识别"},
    };
    for (const Case& c : cases) {
        const Result<PackageSettings> checked = CheckProperties(c.given);
        ASSERT_FALSE(checked) << c.given.address;
        EXPECT_NE(checked.Error().find(c.mustSay), std::string::npos) << checked.Error();
    }
}

TEST(PackageProperties, RememberedSwitchesAreTheRegistrySearchsDwords) {
    EXPECT_EQ(RememberedSettings("portal", "#1", "#0", "#1"), (PackageSettings{"portal", true, false, true}));
    EXPECT_EQ(RememberedSettings("portal", "", "", ""), (PackageSettings{"portal", false, false, false}));
    EXPECT_EQ(RememberedSettings("portal", "1", "#10", "#01"), (PackageSettings{"portal", false, false, false}));
    EXPECT_EQ(RememberedSettings("", "#1", "#1", "#1"), std::nullopt);
}

TEST(SettingsStamp, ReadsOnlyFourNumbersUpTo65535) {
    EXPECT_EQ(ParseStamp("2026,1209,1530,42123"), (Stamp{2026, 1209, 1530, 42123}));
    EXPECT_EQ(ParseStamp("0,0,0,0"), (Stamp{0, 0, 0, 0}));
    EXPECT_EQ(ParseStamp("65535,65535,65535,65535"), (Stamp{65535, 65535, 65535, 65535}));
    EXPECT_EQ(ParseStamp("00001,2,3,4"), (Stamp{1, 2, 3, 4}));
    for (const char* bad : {"", "1,2,3", "1,2,3,4,5", "1,,3,4", ",1,2,3", "1,2,3,", "65536,0,0,0",
                            "0,0,0,100000", "000001,2,3,4", "1.2.3.4", " 1,2,3,4", "1,2,3,4 ", "a,b,c,d",
                            "-1,2,3,4", "#1"}) {
        EXPECT_EQ(ParseStamp(bad), std::nullopt) << bad;
    }
    EXPECT_EQ(StampText({2026, 1209, 1530, 42123}), "2026,1209,1530,42123");
    EXPECT_EQ(ParseStamp(StampText({7, 0, 65535, 1})), (Stamp{7, 0, 65535, 1}));
}

TEST(SettingsStamp, LaterMomentsGiveHigherStampsReadableAsTheMoment) {
    EXPECT_EQ(StampAt({2026, 12, 9, 15, 30, 42, 123}), (Stamp{2026, 1209, 1530, 42123}));
    // In order: each a moment after the one before, across every boundary of a field.
    const std::vector<UtcTime> moments = {
        {2025, 12, 31, 23, 59, 59, 999}, {2026, 1, 1, 0, 0, 0, 0},    {2026, 1, 1, 0, 0, 0, 1},
        {2026, 1, 1, 0, 0, 1, 0},        {2026, 1, 1, 0, 1, 0, 0},    {2026, 1, 1, 1, 0, 0, 0},
        {2026, 1, 1, 23, 59, 59, 999},   {2026, 1, 2, 0, 0, 0, 0},    {2026, 1, 31, 12, 0, 0, 0},
        {2026, 2, 1, 0, 0, 0, 0},        {2026, 9, 30, 0, 0, 0, 0},   {2026, 10, 1, 0, 0, 0, 0},
        {2026, 12, 31, 23, 59, 59, 999}, {2027, 1, 1, 0, 0, 0, 0},    {2100, 1, 1, 0, 0, 0, 0}};
    for (std::size_t i = 1; i < moments.size(); ++i) {
        EXPECT_LT(StampAt(moments[i - 1]), StampAt(moments[i])) << i;
        // the site list counts whole seconds
        EXPECT_LE(SiteListVersion(StampAt(moments[i - 1])), SiteListVersion(StampAt(moments[i]))) << i;
        for (const std::uint32_t part : StampAt(moments[i])) {
            EXPECT_LE(part, kStampPartMax);
        }
    }
}

TEST(SettingsStamp, KeptForTheSameSettingsNewAndHigherForAnyChange) {
    const PackageSettings installed{"portal.example.com", false, true, false};
    const Stamp before{2026, 1209, 1530, 42123};
    const UtcTime later{2026, 12, 10, 8, 0, 0, 0};
    const Stamp fresh{2026, 1210, 800, 0};
    // A repair or the same package again: the stamp stays, nobody runs again.
    EXPECT_EQ(SettingsStamp(installed, installed, before, false, later), before);
    struct Case {
        const char* what;
        PackageSettings settings;
        std::optional<PackageSettings> remembered;
        std::optional<Stamp> rememberedStamp;
        bool replaces;
    };
    const Case changes[] = {
        {"address", {"portal2.example.com", false, true, false}, installed, before, false},
        {"address's case", {"Portal.example.com", false, true, false}, installed, before, false},
        {"https", {"portal.example.com", true, true, false}, installed, before, false},
        {"ie mode", {"portal.example.com", false, false, false}, installed, before, false},
        {"retire", {"portal.example.com", false, true, true}, installed, before, false},
        {"another product (an upgrade)", installed, installed, before, true},
        {"nothing remembered (a first install, or after an uninstall)", installed, std::nullopt, std::nullopt, false},
        {"settings without a stamp", installed, installed, std::nullopt, false},
        {"a stamp without settings", installed, std::nullopt, before, false},
    };
    for (const Case& c : changes) {
        const Stamp stamp = SettingsStamp(c.settings, c.remembered, c.rememberedStamp, c.replaces, later);
        EXPECT_EQ(stamp, fresh) << c.what;
        if (c.rememberedStamp) {
            EXPECT_GT(stamp, *c.rememberedStamp) << c.what;
        }
    }
}

TEST(SettingsStamp, AClockBehindTheRememberedStampStillGivesAHigherOne) {
    const PackageSettings changed{"portal2", false, false, false};
    const PackageSettings old{"portal", false, false, false};
    const UtcTime earlier{2026, 1, 1, 0, 0, 0, 0};
    struct Case {
        Stamp remembered;
        Stamp expected;
    };
    const Case cases[] = {
        {{2026, 1209, 1530, 42123}, {2026, 1209, 1530, 42124}},
        {{2026, 1209, 1530, 65535}, {2026, 1209, 1531, 0}},
        {{2026, 1209, 65535, 65535}, {2026, 1210, 0, 0}},
        {{2026, 65535, 65535, 65535}, {2027, 0, 0, 0}},
        // the same moment again is not higher either
        {{2026, 101, 0, 0}, {2026, 101, 0, 1}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SettingsStamp(changed, old, c.remembered, false, earlier), c.expected) << StampText(c.remembered);
        EXPECT_EQ(SettingsStamp(old, old, c.remembered, true, earlier), c.expected) << StampText(c.remembered);
    }
}

TEST(SiteList, VersionIsTheSecondsSince2000OfTheStamp) {
    EXPECT_EQ(SiteListVersion({2000, 101, 0, 0}), 0u);
    EXPECT_EQ(SiteListVersion({2000, 102, 0, 999}), 86400u);
    EXPECT_EQ(SiteListVersion({2000, 301, 0, 0}), 60u * 86400u);  // 2000 is a leap year
    EXPECT_EQ(SiteListVersion({2026, 1209, 1530, 42123}), 850145442u);
}

TEST(SiteList, TheEntryAndTheDocumentEscapeTheAddress) {
    EXPECT_EQ(SiteListEntry("portal.example.com"),
              "<site url=\"portal.example.com\"><compat-mode>Default</compat-mode><open-in>IE11</open-in></site>");
    EXPECT_EQ(EscapeXml("a&b'c<d>e\"f"), "a&amp;b&apos;c&lt;d&gt;e&quot;f");
    EXPECT_EQ(SiteListEntry("r&d.example.com"),
              "<site url=\"r&amp;d.example.com\"><compat-mode>Default</compat-mode><open-in>IE11</open-in></site>");
    const std::string document = SiteListDocument("门户&.cn", 42, "Tool<&>", "1.0.0");
    EXPECT_EQ(document.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<site-list version=\"42\">\r\n", 0), 0u)
        << document;
    EXPECT_NE(document.find("<tool>Tool&lt;&amp;&gt;</tool>"), std::string::npos) << document;
    EXPECT_NE(document.find("  " + SiteListEntry("门户&.cn") + "\r\n</site-list>\r\n"), std::string::npos) << document;
}

TEST(SiteList, FileUrlsOfPaths) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\Program Files\\ZUVPortalSetting\\ZUVPortalSetting-sites.xml",
         "file:///C:/Program%20Files/ZUVPortalSetting/ZUVPortalSetting-sites.xml"},
        {"D:\\程序\\a b#%.xml", "file:///D:/%E7%A8%8B%E5%BA%8F/a%20b%23%25.xml"},
        {"\\\\server\\share$\\list.xml", "file://server/share%24/list.xml"},
        {"C:\\x(86)\\a&b.xml", "file:///C:/x%2886%29/a%26b.xml"},
    };
    for (const auto& [path, url] : cases) EXPECT_EQ(FileUrl(path), url) << path;
}

TEST(IeMode, ThePackageSetsIeModeOnlyWhereNoOrganisationsListIs) {
    const std::string ours = "file:///C:/Program%20Files/ZUVPortalSetting/ZUVPortalSetting-sites.xml";
    const PackageSettings wanted{"portal.example.com", false, true, false};
    const PackageSettings notWanted{"portal.example.com", false, false, false};
    const std::string theirs = "https://intranet.example.com/sites.xml";
    struct Case {
        const char* what;
        bool removing;
        PackageSettings settings;
        IeModePolicies found;
        bool write, undoOnRollback, remove;
        std::string mustSay;
    };
    const Case cases[] = {
        {"no list anywhere", false, wanted, {}, true, true, false, "设置 HKEY_LOCAL_MACHINE"},
        {"an older level alone", false, wanted, {std::nullopt, std::nullopt, 0U}, true, true, false, "= 1 和"},
        {"our own list (an upgrade, a repair)", false, wanted, {ours, std::nullopt, 1U}, true, false, false, ours},
        {"our own list, another level", false, wanted, {ours, std::nullopt, 2U}, true, true, false, ours},
        {"ours in other case", false, wanted, {"FILE:///c:/program%20files/zuvportalsetting/zuvportalsetting-sites.xml", std::nullopt, 1U}, true, false, false, ""},
        {"the machine's list", false, wanted, {theirs, std::nullopt, 1U}, false, false, false,
         "HKEY_LOCAL_MACHINE\\Software\\Policies\\Microsoft\\Edge 的 InternetExplorerIntegrationSiteList = “" + theirs +
             "”），本安装包不更改"},
        {"the user's list", false, wanted, {std::nullopt, theirs, std::nullopt}, false, false, false,
         "HKEY_CURRENT_USER\\Software\\Policies\\Microsoft\\Edge 的 InternetExplorerIntegrationSiteList"},
        {"the user's list beside ours", false, wanted, {ours, theirs, 1U}, false, false, false, "请在该列表中加入：" + SiteListEntry("portal.example.com")},
        {"not wanted, ours there: taken back", false, notWanted, {ours, std::nullopt, 1U}, false, false, true, "IEMODE=0：删除"},
        {"not wanted, theirs there", false, notWanted, {theirs, std::nullopt, 1U}, false, false, false, ""},
        {"not wanted, none", false, notWanted, {}, false, false, false, ""},
        {"uninstall, ours", true, wanted, {ours, std::nullopt, 1U}, false, false, true, "卸载：删除"},
        {"uninstall, theirs now: only the file goes", true, wanted, {theirs, std::nullopt, 1U}, false, false, true, ""},
        {"uninstall, none", true, notWanted, {}, false, false, true, ""},
    };
    for (const Case& c : cases) {
        const IeModePlan plan = PlanIeMode(c.removing, c.settings, c.found, ours);
        EXPECT_EQ(plan.write, c.write) << c.what;
        EXPECT_EQ(plan.undoOnRollback, c.undoOnRollback) << c.what;
        EXPECT_EQ(plan.remove, c.remove) << c.what;
        if (c.mustSay.empty()) {
            EXPECT_EQ(plan.message.empty(), !c.write && !(c.remove && c.found.machineList == ours)) << c.what << ": " << plan.message;
        } else {
            EXPECT_NE(plan.message.find(c.mustSay), std::string::npos) << c.what << ": " << plan.message;
        }
    }
}

}  // namespace
}  // namespace zuv::test
