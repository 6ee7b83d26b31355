// The list of the tool's own places: what it admits and refuses, and that every apply's plan keeps
// within it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "backup/backup_plan.h"
#include "browser_config/browser_config.h"
#include "browser_config/own_places.h"
#include "tests/unit/fixture.h"

namespace zuv::test {
namespace {

const std::string kZoneMap = std::string(kZoneMapRoot).substr(0, std::string(kZoneMapRoot).size() - 1);
const std::string kZones = std::string(kTrustedZoneKey).substr(0, std::string(kTrustedZoneKey).size() - 1);
const std::string kIe = "Software\\Microsoft\\Internet Explorer";

TEST(OwnPlaces, ValuesKeysAndRemovals) {
    struct Row {
        std::string path;
        const char* value;  // null: the key alone
        bool value_ok;       // WhyNotOwnValue, when a value is named
        bool create_ok;      // WhyNotOwnKeyToCreate
        bool remove_ok;      // WhyNotOwnKeyToRemove
    };
    const Row rows[] = {
        // The four trees: their default values, any key below them with any value.
        {kZoneMap + "\\Domains", "", true, true, false},
        {kZoneMap + "\\Domains", "http", false, true, false},
        {kZoneMap + "\\Domains\\example.com", "anything", true, true, true},
        {kZoneMap + "\\EscDomains\\example.com\\www", "http", true, true, true},
        {kZoneMap + "\\Ranges\\Range1", ":Range", true, true, true},
        {kZoneMap + "\\EscRanges\\Range9\\deeper", "x", true, true, true},
        {kZoneMap + "\\domains\\EXAMPLE.com", "HTTP", true, true, true},  // as the registry compares
        {kZoneMap + "\\DomainsX\\a", "http", false, false, false},          // a name that starts alike
        {kZoneMap + "\\ProtocolDefaults", "http", false, false, false},
        {kZoneMap, "UNCAsIntranet", false, true, false},
        // Zone 2: the actions the apply sets, nothing else.
        {kZones, "1001", true, true, false},
        {kZones, "currentlevel", true, true, false},
        {kZones, "1A00", false, true, false},
        {kZones, "", false, true, false},
        {kZones + "\\Sub", "1001", false, false, false},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\3", "1001", false, false, false},
        // The pop-up keys, the phishing filter, the browser's tuning.
        {kIe + "\\New Windows", "PopupMgr", true, true, false},
        {kIe + "\\New Windows", "", true, true, false},
        {kIe + "\\New Windows", "Other", false, true, false},
        {kIe + "\\New Windows\\Allow", "任何.example", true, true, false},
        {kIe + "\\New Windows\\Allow\\Sub", "x", false, false, false},
        {kIe + "\\PhishingFilter", "ShownVerifyBalloon", true, true, false},
        {kIe + "\\PhishingFilter", "EnabledV8", false, true, false},
        {kIe + "\\Main", "Enable Browser Extensions", true, true, false},
        {kIe + "\\Main", "Start Page", false, true, false},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "MaxConnectionsPer1_0Server", true, true, false},
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings", "ProxyServer", false, true, false},
        // The keys above them may be made (and removed again when empty), never written.
        {"Software", "x", false, true, false},
        {kIe, "", false, true, false},
        {"Software\\Microsoft\\Windows\\CurrentVersion", "x", false, true, false},
        // Everything else.
        {"Software\\Microsoft\\Windows\\CurrentVersion\\Run", "x", false, false, false},
        {"Software\\Classes\\ms-settings\\Shell\\Open\\command", "", false, false, false},
        {"Software\\SomeApp", nullptr, false, false, false},
        {"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl", nullptr, false, false, false},
        // Not plain paths.
        {kZoneMap + "\\Domains\\\\x", "http", false, false, false},
        {"\\" + kZones, "1001", false, false, false},
        {kZones + "\\", "1001", false, false, false},
        {"", "x", false, false, false},
    };
    for (const Row& row : rows) {
        if (row.value != nullptr) {
            EXPECT_EQ(!WhyNotOwnValue(kHkeyCurrentUser, row.path, row.value), row.value_ok) << row.path << " " << row.value;
        }
        EXPECT_EQ(!WhyNotOwnKeyToCreate(kHkeyCurrentUser, row.path), row.create_ok) << row.path;
        EXPECT_EQ(!WhyNotOwnKeyToRemove(kHkeyCurrentUser, row.path), row.remove_ok) << row.path;
        // Nothing of the machine's.
        EXPECT_TRUE(WhyNotOwnValue(kHkeyLocalMachine, row.path, row.value ? row.value : "").has_value()) << row.path;
        EXPECT_TRUE(WhyNotOwnKeyToCreate(kHkeyLocalMachine, row.path).has_value()) << row.path;
    }
    EXPECT_EQ(WhyNotOwnValue(kHkeyCurrentUser, kZones, "1A00"),
              "注册表项 HKEY_CURRENT_USER\\" + kZones + " 中的值“1A00”不是本工具的设置");
    EXPECT_EQ(WhyNotOwnKeyToRemove(kHkeyCurrentUser, "Software\\SomeApp"),
              "注册表项 HKEY_CURRENT_USER\\Software\\SomeApp 不是本工具会删除的项");
}

// Every apply's plan keeps within the list, whatever the address, generation, protocols and the
// registry before it; a plan outside it is found.
class PlansWithinOwnPlaces : public RegistryFixture {};

TEST_F(PlansWithinOwnPlaces, EveryKindOfApply) {
    const auto plan = [&](const std::string& address, IeGeneration generation, SiteProtocols protocols) {
        const std::vector<std::string> foreign =
            PlacesNotOwn(PlanApply(memory, *codePage, generation, address, protocols).writes);
        EXPECT_EQ(foreign, std::vector<std::string>{}) << address;
    };
    const auto all = [&] {
        for (const char* address : {"", "portal", "www.example.com", "example.com", "a.b.example.org",
                                    "192.0.2.10", "门户.example"}) {
            for (const IeGeneration generation : {IeGeneration::IE6, IeGeneration::IE9}) {
                for (const SiteProtocols protocols : {SiteProtocols::Http, SiteProtocols::HttpAndHttps}) {
                    plan(address, generation, protocols);
                }
            }
        }
    };
    all();  // an empty registry: every key made
    // The keys there, a site's key with sub-keys, ranges of this and another zone.
    Put(kZoneMap + "\\Domains\\portal\\sub", "x", kRegDword, Bytes({1, 0, 0, 0}));
    Put(kZoneMap + "\\Domains\\portal", "http", kRegDword, Bytes({2, 0, 0, 0}));
    Put(kZoneMap + "\\Ranges\\Range1", ":Range", kRegSz, TextBytes("192.0.2.10"));
    Put(kZoneMap + "\\Ranges\\Range1", "http", kRegDword, Bytes({2, 0, 0, 0}));
    Put(kZoneMap + "\\EscRanges\\Range1", ":Range", kRegSz, TextBytes("192.0.2.*"));
    Put(kZoneMap + "\\EscRanges\\Range1", "http", kRegDword, Bytes({4, 0, 0, 0}));
    all();

    PlannedWrites outside;
    outside.values = {{kHkeyCurrentUser, kZones, "1A00"}};
    outside.createdKeys = {{kHkeyCurrentUser, "Software\\SomeApp"}};
    // Keys the tool makes may go again (an undo removes them once empty); others never.
    outside.deletedKeys = {{kHkeyCurrentUser, kZones},
                           {kHkeyCurrentUser, kZoneMap + "\\Domains\\x"},
                           {kHkeyCurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"}};
    EXPECT_EQ(PlacesNotOwn(outside),
              (std::vector<std::string>{
                  "注册表项 HKEY_CURRENT_USER\\" + kZones + " 中的值“1A00”不是本工具的设置",
                  "注册表项 HKEY_CURRENT_USER\\Software\\SomeApp 不是本工具的设置",
                  "注册表项 HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run 不是本工具的设置"}));
}

}  // namespace
}  // namespace zuv::test
