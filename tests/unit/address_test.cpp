#include <gtest/gtest.h>

#include "browser_config/mdlFunc.h"
#include "base/text.h"

namespace zuv {
namespace {

struct KindCase {
    const char* address;
    const char* kind;
};

// The kinds as the tool's documentation names them.
std::string KindName(AddressKind kind) {
    switch (kind) {
    case AddressKind::None: return "";
    case AddressKind::IP: return "IP";
    case AddressKind::Host: return "HOST";
    case AddressKind::Dns: return "DNS";
    }
    return "?";
}

void ExpectKinds(std::initializer_list<KindCase> cases) {
    for (const auto& c : cases) {
        EXPECT_EQ(KindName(ClassifyAddress(c.address)), c.kind) << '"' << c.address << '"';
    }
}

TEST(ClassifyAddress, EmptyTextHasNoKind) { ExpectKinds({{"", ""}}); }

TEST(ClassifyAddress, IPv4Accepted) {
    ExpectKinds({
        {"192.0.2.10", "IP"},
        {"0.0.0.0", "IP"},
        {"255.255.255.255", "IP"},
        {"1.2.3.", "IP"},          // the empty tail has the value 0
        {"1.2.3.4abc", "IP"},      // the tail counts by its leading number
        {"1.2.3.7x.5", "IP"},      // a failing fourth part: the tail "7x.5" has the value 7
        {"1.2.3.x.y", "IP"},       // a failing fourth part: only the tail's value counts
        {" 1. 2 .3.4", "IP"},      // blanks around numbers are allowed
        {"+1.2e1.3.4", "IP"},      // sign and exponent are numbers too
        {"1.2.3.-0", "IP"},
    });
}

TEST(ClassifyAddress, IPv4Rejected) {
    ExpectKinds({
        {"1.2.3.256", "DNS"},
        {"1.2.3.-1", "DNS"},
        {"1.2.3.4.5", "DNS"},      // the fourth dot-terminated part is accepted too
        {"1.2.3", "DNS"},          // three numbers, two dots
        {".2.3.4", "DNS"},         // empty first part
        {"1..3.4", "DNS"},         // empty second part
        {"1.2..4", "DNS"},         // empty third part
        {"256.2.3.4", "DNS"},
        {"1.a.3.4", "DNS"},
        {"1.-2.3.4", "DNS"},
        {"1.2.3.1e3", "DNS"},
    });
}

TEST(ClassifyAddress, DotCounting) {
    ExpectKinds({
        {"portal", "HOST"},
        {"example.com", "HOST"},      // one dot: a domain without a host part
        {"www.example.com", "DNS"},
        {"a.b.c.example.com", "DNS"},
        {".example.com", "HOST"},     // the leading dot is not counted
        {"..", "HOST"},
        {"a..", "DNS"},
        {"门户.例子.中国", "DNS"},
        {"http://www.example.com/portal", "DNS"},
    });
    EXPECT_FALSE(HasSubdomainLevels(".a"));
    EXPECT_TRUE(HasSubdomainLevels("a.b."));
    EXPECT_FALSE(HasSubdomainLevels(""));
}

TEST(ParentDomain, LastTwoLabels) {
    const struct {
        const char* address;
        const char* parent;
    } cases[] = {
        {"www.example.com", "example.com"},
        {"a.b.c.example.com", "example.com"},
        {"www.example.com.", "example.com."},  // the final dot stays, one label further left
        {"example.com", "example.com"},
        {"portal", "portal"},
        {"a.b.", "a.b."},
        {"x", "x"},
        {"", ""},
        {".a", ".a"},
        {"a..b", ".b"},
        {"门户.例子.中国", "例子.中国"},
    };
    for (const auto& c : cases) EXPECT_EQ(ParentDomain(c.address), c.parent) << c.address;
}

TEST(NumericText, WholeTextAndLeadingValue) {
    for (const char* yes : {"0", "255", " 12 ", "+3", "-4", "1.5", ".5", "5.", "1e3", "2E-2", "\t7"}) {
        EXPECT_TRUE(IsNumericText(yes)) << yes;
    }
    for (const char* no : {"", " ", "a", "1a", "1.2.3", "e3", "+", ".", "1e", "0x10", "1 2x"}) {
        EXPECT_FALSE(IsNumericText(no)) << no;
    }
    EXPECT_EQ(ValueOfText(""), 0);
    EXPECT_EQ(ValueOfText("abc"), 0);
    EXPECT_EQ(ValueOfText("42abc"), 42);
    EXPECT_EQ(ValueOfText(" 1 2 "), 12);
    EXPECT_EQ(ValueOfText("-7.5x"), -7.5);
    EXPECT_EQ(ValueOfText("3e2"), 300);
    EXPECT_EQ(ValueOfText("1.2.3"), 1.2);
}

TEST(NextRangeName, HighestNumberPlusOne) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(NextRangeName({}), "Range1");
    EXPECT_EQ(NextRangeName(Names{"Range1", "Range2", "Range3"}), "Range4");
    EXPECT_EQ(NextRangeName(Names{"Range1", "Range10", "Range11", "Range2", "Range9"}), "Range12");
    EXPECT_EQ(NextRangeName(Names{"Range1", "Range", "RangeX", "Zebra", "other"}), "Range2");
    EXPECT_EQ(NextRangeName(Names{"RANGE7", "range3"}), "Range8");
    EXPECT_EQ(NextRangeName(Names{"Range007"}), "Range8");
    EXPECT_EQ(NextRangeName(Names{"Range32767"}), "Range32768");
    EXPECT_EQ(NextRangeName(Names{"Range99999999999999999999"}), "Range100000000000000000000");
    EXPECT_EQ(NextRangeName(Names{"Range-5", "Range+5"}), "Range1");
}

TEST(RangeHoldsAddress, EqualityOrCoveringRange) {
    const struct {
        const char* stored;
        const char* address;
        bool holds;
    } cases[] = {
        {"10.0.0.1", "10.0.0.1", true},
        {"10.0.0.12", "10.0.0.1", false},
        {"110.0.0.1", "10.0.0.1", false},
        {"10.0.0.1-50", "10.0.0.1", true},
        {"10.0.0.1-50", "10.0.0.25", true},
        {"10.0.0.1-50", "10.0.0.50", true},  // both ends of a dash range count
        {"10.0.0.1-50", "10.0.0.51", false},
        {"10.0.*.*", "10.0.7.9", true},
        {"10.0.*.*", "10.1.7.9", false},
        {"10.0.0.50-1", "10.0.0.25", false},
        {"10.0.0", "10.0.0.1", false},
        {"", "10.0.0.1", false},
        {"PORTAL", "portal", true},
        {"1.2.3.4abc", "1.2.3.4ABC", true},
        {"1.2.3.*", "1.2.3.4abc", false},  // not a dotted quad: equality only
    };
    for (const auto& c : cases) {
        EXPECT_EQ(RangeHoldsAddress(c.stored, c.address), c.holds) << c.stored << " / " << c.address;
    }
}

}  // namespace
}  // namespace zuv
