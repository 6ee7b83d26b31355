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
        EXPECT_EQ(e.Kind(), ErrorKind::InvalidArgument);
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
