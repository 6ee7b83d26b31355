#include "browser_config/browser_config.h"
#include "fixture.h"

namespace zuv::test {
namespace {

const std::string kZone2 = kTrustedZoneKey;
const std::string kPopup = kPopupKey;
const std::string kAllow = kPopupAllowKey;
const std::string kPhishing = kPhishingFilterKey;
const std::string kMain = kBrowserMainKey;
const std::string kSettings = kInternetSettingsKey;

using BrowserSettings = RegistryFixture;

TEST_F(BrowserSettings, GenerationFromTheFirstCharacterOfTheVersion) {
    using enum IeGeneration;
    const struct {
        const char* version;  // nullptr: no value at all
        IeGeneration generation;
    } cases[] = {
        {"6.0.2900.5512", IE6}, {"7.0.5730.13", IE7}, {"8.0.6001.18702", IE8},
        {"9.11.9600.18376", IE9}, {"5.5", IE6}, {"0", IE6}, {"10.0.9200", IE6},
        {"11.0", IE6}, {"", IE6}, {nullptr, IE6}, {"x9", IE6}, {" 9", IE9},
        {"-9", IE6},
    };
    for (const auto& c : cases) {
        MemoryRegistry fresh(*codePage);
        mdlReg freshReg(fresh, *codePage);
        if (c.version != nullptr) {
            RegKey key = 0;
            ASSERT_EQ(fresh.CreateKeyEx(kHkeyLocalMachine, kBrowserVersionKey, "", kWriteAccess, false, &key, nullptr), 0);
            const auto data = TextBytes(c.version);
            ASSERT_EQ(fresh.SetValueEx(key, "Version", kRegSz, data.data(), static_cast<std::uint32_t>(data.size())), 0);
            fresh.CloseKey(key);
        }
        fresh.SetRootReadOnly(kHkeyLocalMachine, true);
        EXPECT_EQ(DetectBrowserGeneration(freshReg), c.generation)
            << (c.version ? c.version : "(none)");
    }
}

TEST_F(BrowserSettings, ZonePolicyWritesTheFourteenActions) {
    Put(kZone2, "1609", kRegDword, Bytes({1, 0, 0, 0}));      // not ours: kept
    Put(kZone2, "1001", kRegSz, TextBytes("3"));              // ours with another type: replaced
    ApplyTrustedZonePolicy(reg, outcome);
    const char* enabled[] = {"1001", "1004", "1200", "1201", "1405", "1402", "1400",
                             "1407", "2102", "2100", "2200", "1406", "CurrentLevel"};
    for (const char* name : enabled) EXPECT_EQ(Raw(kZone2, name), Dword(0)) << name;
    EXPECT_EQ(Raw(kZone2, "2101"), Dword(3));
    EXPECT_EQ(Raw(kZone2, "1609"), Dword(1));
    EXPECT_EQ(ValueCount(kZone2), 15u);
    const std::string once = memory.Dump(kHkeyCurrentUser);
    ApplyTrustedZonePolicy(reg, outcome);
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), once);
}

TEST_F(BrowserSettings, PopupSwitchFollowsTheGeneration) {
    AllowSitePopups(reg, outcome, "portal", IeGeneration::IE6);
    EXPECT_EQ(Raw(kPopup, "PopupMgr"), Sz("yes"));
    for (IeGeneration later : {IeGeneration::IE7, IeGeneration::IE8, IeGeneration::IE9}) {
        AllowSitePopups(reg, outcome, "portal", later);
        EXPECT_EQ(Raw(kPopup, "PopupMgr"), Dword(1)) << static_cast<int>(later);
    }
}

TEST_F(BrowserSettings, PopupAllowanceAndPhishingFilter) {
    Put(kPopup, "", kRegSz, TextBytes("old default"));
    Put(kPhishing, "", kRegDword, Bytes({9, 0, 0, 0}));
    Put(kAllow, "192.0.2.10", kRegSz, TextBytes("something"));
    AllowSitePopups(reg, outcome, "192.0.2.10", IeGeneration::IE8);
    EXPECT_EQ(Raw(kPopup, ""), Sz(""));
    EXPECT_EQ(Raw(kAllow, "192.0.2.10"), (RawValue{kRegBinary, {}}));
    EXPECT_EQ(Raw(kPhishing, ""), Sz(""));
    EXPECT_EQ(Raw(kPhishing, "Enabled"), Dword(1));
    EXPECT_EQ(Raw(kPhishing, "ShownVerifyBalloon"), Dword(1));

    AllowSitePopups(reg, outcome, "192.0.2.10", IeGeneration::IE8);
    AllowSitePopups(reg, outcome, "www.example.com", IeGeneration::IE8);
    EXPECT_EQ(ValueCount(kAllow), 2u);
    EXPECT_EQ(Raw(kAllow, "www.example.com"), (RawValue{kRegBinary, {}}));
}

TEST_F(BrowserSettings, PopupsForEmptyAndBlankAddresses) {
    AllowSitePopups(reg, outcome, "", IeGeneration::IE8);
    EXPECT_EQ(memory.CallCount(), 0u);
    AllowSitePopups(reg, outcome, "   ", IeGeneration::IE8);
    EXPECT_EQ(Raw(kAllow, "   "), (RawValue{kRegBinary, {}}));
    EXPECT_EQ(Raw(kPhishing, "Enabled"), Dword(1));
}

TEST_F(BrowserSettings, TuningReplacesWhateverWasThere) {
    Put(kMain, "Enable Browser Extensions", kRegSz, TextBytes("no"));
    Put(kSettings, "SyncMode5", kRegSz, TextBytes("1"));
    Put(kSettings, "MaxConnectionsPerServer", kRegBinary, Bytes({4}));
    Put(kSettings, "ProxyEnable", kRegDword, Bytes({1, 0, 0, 0}));
    Put(kMain, "Start Page", kRegSz, TextBytes("about:blank"));
    ApplyBrowserTuning(reg, outcome);
    EXPECT_EQ(Raw(kMain, "Enable Browser Extensions"), Sz("yes"));
    EXPECT_EQ(Raw(kSettings, "SyncMode5"), Dword(3));
    EXPECT_EQ(Raw(kSettings, "MaxConnectionsPerServer"), Dword(10));
    EXPECT_EQ(Raw(kSettings, "MaxConnectionsPer1_0Server"), Dword(10));
    EXPECT_EQ(Raw(kSettings, "ProxyEnable"), Dword(1));
    EXPECT_EQ(Raw(kMain, "Start Page"), Sz("about:blank"));
    const std::string once = memory.Dump(kHkeyCurrentUser);
    ApplyBrowserTuning(reg, outcome);
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), once);
}

}  // namespace
}  // namespace zuv::test
