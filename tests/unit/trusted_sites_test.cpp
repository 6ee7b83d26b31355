#include <set>

#include "browser_config/browser_config.h"
#include "fixture.h"
#include "base/runtime_error.h"

namespace zuv::test {
namespace {

const std::string kZoneMap = kZoneMapRoot;
const std::string kEscRanges = kZoneMap + "EscRanges\\";
const std::string kRanges = kZoneMap + "Ranges\\";

class TrustedSites : public RegistryFixture {
protected:
    void ExpectSite(const std::string& sitePath) {
        EXPECT_EQ(Raw(kZoneMap + "EscDomains\\" + sitePath, "http"), Dword(2)) << sitePath;
        EXPECT_EQ(Raw(kZoneMap + "Domains\\" + sitePath, "http"), Dword(2)) << sitePath;
        EXPECT_EQ(Raw(kEscRanges, ""), Sz(""));
        EXPECT_EQ(Raw(kRanges, ""), Sz(""));
    }
    void PutRange(const std::string& tree, const std::string& name, const std::string& range) {
        Put(tree + name, "http", kRegDword, Bytes({2, 0, 0, 0}));
        Put(tree + name, ":Range", kRegSz, TextBytes(range));
    }
    // The ":Range" texts of a tree, by key name.
    std::map<std::string, std::string> Ranges(const std::string& tree) {
        std::map<std::string, std::string> out;
        for (const std::string& name : SubKeys(tree)) {
            const auto raw = Raw(tree + name, ":Range");
            out[name] = raw ? std::string(raw->data.begin(), raw->data.end() - 1) : "<none>";
        }
        return out;
    }
};

TEST_F(TrustedSites, EmptyAddressWritesNothing) {
    RegisterTrustedSite(reg, outcome, "");
    EXPECT_EQ(memory.CallCount(), 0u);
}

TEST_F(TrustedSites, MachineNamesAndOneDotNamesAreSiteKeys) {
    RegisterTrustedSite(reg, outcome, "portal");
    ExpectSite("portal");
    RegisterTrustedSite(reg, outcome, "example.com");
    ExpectSite("example.com");
    EXPECT_EQ(SubKeys(kZoneMap + "Domains\\"), (std::vector<std::string>{"example.com", "portal"}));
    EXPECT_TRUE(SubKeys(kEscRanges).empty());
}

TEST_F(TrustedSites, DomainNamesAreFiledUnderTheirParentDomain) {
    RegisterTrustedSite(reg, outcome, "www.example.com");
    ExpectSite("example.com\\www");
    RegisterTrustedSite(reg, outcome, "a.b.example.com");
    ExpectSite("example.com\\a.b");
    EXPECT_EQ(SubKeys(kZoneMap + "Domains\\example.com\\"), (std::vector<std::string>{"a.b", "www"}));
}

TEST_F(TrustedSites, ExistingSiteKeyKeepsItsOtherValues) {
    Put(kZoneMap + "Domains\\example.com\\www", "https", kRegDword, Bytes({2, 0, 0, 0}));
    RegisterTrustedSite(reg, outcome, "www.example.com");
    EXPECT_EQ(Raw(kZoneMap + "Domains\\example.com\\www", "https"), Dword(2));
    ExpectSite("example.com\\www");
}

TEST_F(TrustedSites, DomainWithoutSubPartIsAnInvalidArgumentAndWritesNothing) {
    try {
        RegisterTrustedSite(reg, outcome, "example.com.");
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Description(), "无效的过程调用或参数");
    }
    EXPECT_EQ(memory.CallCount(), 0u);
}

TEST_F(TrustedSites, FirstAddressInAnEmptyZoneMapIsRange1InBothTrees) {
    RegisterTrustedSite(reg, outcome, "192.0.2.10");
    for (const auto& tree : {kEscRanges, kRanges}) {
        EXPECT_EQ(Raw(tree, ""), Sz(""));
        EXPECT_EQ(Raw(tree + "Range1", "http"), Dword(2));
        EXPECT_EQ(Raw(tree + "Range1", ":Range"), Sz("192.0.2.10"));
        EXPECT_EQ(SubKeys(tree), std::vector<std::string>{"Range1"});
    }
    EXPECT_FALSE(HasKey(kZoneMap + "Domains"));
}

TEST_F(TrustedSites, NewRangeTakesTheNextFreeNumber) {
    for (int i = 1; i <= 3; ++i) PutRange(kRanges, "Range" + std::to_string(i), "10.1.1." + std::to_string(i));
    RegisterTrustedSite(reg, outcome, "192.0.2.10");
    EXPECT_EQ(Raw(kRanges + "Range4", ":Range"), Sz("192.0.2.10"));
    EXPECT_EQ(Raw(kEscRanges + "Range1", ":Range"), Sz("192.0.2.10"));
}

TEST_F(TrustedSites, TwelveRangesGetRange13AndNoneIsOverwritten) {
    std::map<std::string, std::string> before;
    for (int i = 1; i <= 12; ++i) {
        const std::string name = "Range" + std::to_string(i);
        PutRange(kEscRanges, name, "10.1.1." + std::to_string(i));
        before[name] = "10.1.1." + std::to_string(i);
    }
    PutKey(kEscRanges + "Zzz");  // a foreign sub-key that sorts last is ignored
    before["Zzz"] = "<none>";
    RegisterTrustedSite(reg, outcome, "192.0.2.10");
    auto after = Ranges(kEscRanges);
    EXPECT_EQ(after["Range13"], "192.0.2.10");
    after.erase("Range13");
    EXPECT_EQ(after, before);
}

TEST_F(TrustedSites, AddressIsPresentOnlyWhenARangeReallyHoldsIt) {
    PutRange(kEscRanges, "Range1", "10.0.0.12");
    PutRange(kEscRanges, "Range2", "110.0.0.1");
    PutRange(kRanges, "Range1", "10.0.0.1-50");
    RegisterTrustedSite(reg, outcome, "10.0.0.1");
    EXPECT_EQ(Raw(kEscRanges + "Range3", ":Range"), Sz("10.0.0.1"));
    EXPECT_EQ(SubKeys(kRanges), std::vector<std::string>{"Range1"});
}

TEST_F(TrustedSites, TreesAreSearchedIndependently) {
    PutRange(kRanges, "Range1", "192.0.2.10");
    RegisterTrustedSite(reg, outcome, "192.0.2.10");
    EXPECT_EQ(SubKeys(kEscRanges), std::vector<std::string>{"Range1"});
    EXPECT_EQ(SubKeys(kRanges), std::vector<std::string>{"Range1"});
}

TEST_F(TrustedSites, RegisteringTwiceChangesNothing) {
    for (const char* address : {"192.0.2.10", "portal", "www.example.com", "example.com"}) {
        RegisterTrustedSite(reg, outcome, address);
        const std::string once = memory.Dump(kHkeyCurrentUser);
        RegisterTrustedSite(reg, outcome, address);
        EXPECT_EQ(memory.Dump(kHkeyCurrentUser), once) << address;
    }
}

TEST_F(TrustedSites, ARangeOfAnotherZoneIsNamedAndLeftAlone) {
    // Restricted in the plain tree; trusted in the enhanced one by a second covering range.
    PutRange(kRanges, "Range1", "192.0.2.*");
    Put(kRanges + "Range1", "http", kRegDword, Bytes({4, 0, 0, 0}));
    PutRange(kEscRanges, "Range1", "192.0.2.1-20");
    Put(kEscRanges + "Range1", "http", kRegDword, Bytes({3, 0, 0, 0}));
    PutRange(kEscRanges, "Range2", "192.0.2.10");
    const auto plain = Ranges(kRanges);
    const auto enhanced = Ranges(kEscRanges);
    RegisterTrustedSite(reg, outcome, "192.0.2.10");
    EXPECT_EQ(Ranges(kRanges), plain) << "no range is added, widened or changed";
    EXPECT_EQ(Ranges(kEscRanges), enhanced);
    EXPECT_EQ(Raw(kRanges + "Range1", "http"), Dword(4));
    EXPECT_EQ(Raw(kEscRanges + "Range1", "http"), Dword(3));
    ASSERT_TRUE(outcome.Refusal().has_value());
    EXPECT_EQ(outcome.Refusal()->conflict,
              "IP 地址 192.0.2.10 已在 HKEY_CURRENT_USER\\" + kRanges +
                  "Range1\\ 的范围内（\":Range\" 为 \"192.0.2.*\"），该范围把它放在区域 4（受限制的站点），"
                  "而不是区域 2（受信任的站点）。本工具不更改已有的范围：请先在“Internet 选项”中删除或更改这个范围，再重新设置");

    // A covering range that gives no zone for http (a "*" value counts for every protocol).
    struct Case {
        std::string valueName;
        RawValue value;
        bool trusted;
    };
    const Case cases[] = {
        {"*", Dword(2), true},
        {"*", Dword(1), false},
        {"http", Sz("2"), false},     // not a number the browser reads
        {"other", Dword(2), false},   // nothing for http
    };
    int subnet = 10;
    for (const Case& c : cases) {
        const std::string range = "10.0." + std::to_string(subnet) + ".*";
        const std::string name = "Range" + std::to_string(subnet);
        for (const std::string& tree : {kRanges, kEscRanges}) {
            Put(tree + name, ":Range", kRegSz, TextBytes(range));
            Put(tree + name, c.valueName, c.value.type, c.value.data);
        }
        const std::size_t keys = SubKeys(kRanges).size();
        ApplyOutcome fresh;
        RegisterTrustedSite(reg, fresh, "10.0." + std::to_string(subnet) + ".7");
        EXPECT_EQ(fresh.Succeeded(), c.trusted) << c.valueName;
        EXPECT_EQ(SubKeys(kRanges).size(), keys) << c.valueName;
        ++subnet;
    }
}

TEST_F(TrustedSites, HttpsNamesGetBothValuesInBothTreesAndASecondRunAddsNothing) {
    for (const char* address : {"portal", "www.example.com", "example.org"}) {
        RegisterTrustedSite(reg, outcome, address, SiteProtocols::HttpAndHttps);
        const std::string once = memory.Dump(kHkeyCurrentUser);
        RegisterTrustedSite(reg, outcome, address, SiteProtocols::HttpAndHttps);
        EXPECT_EQ(memory.Dump(kHkeyCurrentUser), once) << address;
    }
    for (const std::string site : {"portal", "example.com\\www", "example.org"}) {
        ExpectSite(site);
        for (const char* tree : {"Domains\\", "EscDomains\\"}) {
            EXPECT_EQ(Raw(kZoneMap + tree + site, "https"), Dword(2)) << tree << site;
            EXPECT_EQ(ValueCount(kZoneMap + tree + site), 2u) << tree << site;
        }
    }
    EXPECT_TRUE(outcome.Succeeded());
    // Without https nothing of it is written, as before.
    RegisterTrustedSite(reg, outcome, "plain");
    EXPECT_FALSE(Raw(kZoneMap + "Domains\\plain", "https").has_value());
}

TEST_F(TrustedSites, HttpsNewRangeTakesTheNextNumberAndAnApplyCutShortLeavesNoHalfRange) {
    for (int i = 1; i <= 3; ++i) PutRange(kRanges, "Range" + std::to_string(i), "10.1.1." + std::to_string(i));
    RegisterTrustedSite(reg, outcome, "192.0.2.10", SiteProtocols::HttpAndHttps);
    for (const std::string& key : {kRanges + "Range4", kEscRanges + "Range1"}) {
        EXPECT_EQ(Raw(key, "http"), Dword(2)) << key;
        EXPECT_EQ(Raw(key, "https"), Dword(2)) << key;
        EXPECT_EQ(Raw(key, ":Range"), Sz("192.0.2.10")) << key;
        EXPECT_EQ(ValueCount(key), 3u) << key;
    }
    const std::string once = memory.Dump(kHkeyCurrentUser);
    RegisterTrustedSite(reg, outcome, "192.0.2.10", SiteProtocols::HttpAndHttps);
    RegisterTrustedSite(reg, outcome, "192.0.2.10");  // http alone is trusted already
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), once);
    EXPECT_TRUE(outcome.Succeeded());

    // The apply killed after each of its writes: every range key that covers the address
    // (one with ":Range") is whole, trusted for both protocols.
    for (int kept = 0; kept <= 8; ++kept) {
        MemoryRegistry cut(*codePage);
        mdlReg cutReg(cut, *codePage);
        int writes = 0;
        cut.SetFaultHook([&](RegCall call, std::uint64_t) {
            if (call == RegCall::SetValueEx && ++writes > kept) return kErrorAccessDenied;
            return kErrorSuccess;
        });
        ApplyOutcome ignored;
        RegisterTrustedSite(cutReg, ignored, "192.0.2.10", SiteProtocols::HttpAndHttps);
        cut.SetFaultHook(nullptr);
        for (const std::string& tree : {kRanges, kEscRanges}) {
            const MemoryRegistry::Key* treeKey = cut.FindKey(kHkeyCurrentUser, tree);
            if (treeKey == nullptr) continue;
            for (const auto& entry : treeKey->subKeys) {
                std::set<std::string> names;
                for (const auto& value : entry.second->values) names.insert(value.name);
                if (names.count(":Range") == 0) continue;
                EXPECT_EQ(names, (std::set<std::string>{"http", "https", ":Range"}))
                    << "cut after " << kept << " writes: " << tree << entry.second->name;
            }
        }
    }
}

// A range an apply without https wrote for the address gets "https"; a wider range trusted for
// http only is not the tool's to widen: the address gets a range of its own; a range trusted for
// every protocol ("*") is enough.
TEST_F(TrustedSites, HttpsCompletesTheAddressOwnRangeAndLeavesWiderOnesAlone) {
    RegisterTrustedSite(reg, outcome, "192.0.2.10");
    RegisterTrustedSite(reg, outcome, "192.0.2.10", SiteProtocols::HttpAndHttps);
    for (const std::string& tree : {kRanges, kEscRanges}) {
        EXPECT_EQ(SubKeys(tree), std::vector<std::string>{"Range1"}) << tree;
        EXPECT_EQ(Raw(tree + "Range1", "https"), Dword(2)) << tree;
    }

    PutRange(kRanges, "Range5", "198.51.100.*");
    PutRange(kEscRanges, "Range5", "198.51.100.*");
    Put(kEscRanges + "Range5", "*", kRegDword, Bytes({2, 0, 0, 0}));
    RegisterTrustedSite(reg, outcome, "198.51.100.7", SiteProtocols::HttpAndHttps);
    EXPECT_EQ(Ranges(kRanges)["Range6"], "198.51.100.7");
    EXPECT_EQ(Raw(kRanges + "Range5", "https"), std::nullopt) << "the wider range is not widened";
    EXPECT_EQ(Raw(kRanges + "Range6", "https"), Dword(2));
    EXPECT_EQ(SubKeys(kEscRanges), (std::vector<std::string>{"Range1", "Range5"}))
        << "\"*\" = 2 trusts https too";
    EXPECT_TRUE(outcome.Succeeded());
}

TEST_F(TrustedSites, HttpsOfAnotherZoneIsNamedAndLeftAlone) {
    for (const std::string& tree : {kRanges, kEscRanges}) {
        PutRange(tree, "Range1", "192.0.2.1-20");
        Put(tree + "Range1", "https", kRegDword, Bytes({3, 0, 0, 0}));
    }
    // The ranges of both trees with their values.
    const auto state = [&] {
        std::string text;
        for (const std::string& tree : {kRanges, kEscRanges}) {
            for (const auto& [name, range] : Ranges(tree)) {
                text += tree + name + "=" + range + " values=" + std::to_string(ValueCount(tree + name)) +
                        (Raw(tree + name, "https") == Dword(3) ? " https=3" : "") +
                        (Raw(tree + name, "http") == Dword(2) ? " http=2" : "") + "\n";
            }
        }
        return text;
    };
    const std::string before = state();
    RegisterTrustedSite(reg, outcome, "192.0.2.10", SiteProtocols::HttpAndHttps);
    EXPECT_EQ(state(), before);
    ASSERT_TRUE(outcome.Refusal().has_value());
    EXPECT_EQ(outcome.Refusal()->valueName, "https");
    EXPECT_EQ(outcome.Refusal()->conflict,
              "IP 地址 192.0.2.10 已在 HKEY_CURRENT_USER\\" + kEscRanges +
                  "Range1\\ 的范围内（\":Range\" 为 \"192.0.2.1-20\"），该范围把它的 https 访问放在区域 3（Internet），"
                  "而不是区域 2（受信任的站点）。本工具不更改已有的范围：请先在“Internet 选项”中删除或更改这个范围，再重新设置");
    // Without https the same range is the address's trusted entry.
    ApplyOutcome http;
    RegisterTrustedSite(reg, http, "192.0.2.10");
    EXPECT_TRUE(http.Succeeded());
    EXPECT_EQ(state(), before);
}

TEST_F(TrustedSites, UnlistableTreeGetsNoGuessedRange) {
    PutRange(kEscRanges, "Range1", "10.9.9.9");
    memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::QueryInfoKey ? kErrorAccessDenied : kErrorSuccess;
    });
    RegisterTrustedSite(reg, outcome, "192.0.2.10");
    memory.SetFaultHook(nullptr);
    EXPECT_EQ(Ranges(kEscRanges), (std::map<std::string, std::string>{{"Range1", "10.9.9.9"}}));
    ASSERT_TRUE(outcome.Refusal().has_value());
    EXPECT_EQ(outcome.Refusal()->path, kEscRanges);
    EXPECT_EQ(outcome.Refusal()->code, kErrorAccessDenied);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace zuv::test
