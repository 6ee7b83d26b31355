// The one case fold (UpperCase, through FoldedKey and CompareNoCase) and the registry's listing
// order built on it (NameKey): the same names are equal in all three, only the order differs.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "registry/registry_rules.h"

namespace zuv {
namespace {

int Sign(int n) { return n < 0 ? -1 : (n > 0 ? 1 : 0); }

TEST(CaseFold, OneIdentityTwoOrders) {
    const struct {
        const char* a;
        const char* b;
        int compared;  // CompareNoCase: upper-cased code points
        int listed;    // NameKey: Wine's order, ASCII letters taken in lower case
    } rows[] = {
        {"abc", "ABC", 0, 0},
        {"Range10", "Range2", -1, -1},
        {"ab", "abc", -1, -1},
        {"_x", "A", 1, -1},                     // '_' lies between the upper and lower case letters
        {"\xC3\xA4", "\xC3\x84", 0, 0},         // ä, Ä: folded beyond ASCII
        {"a\xC3\xA9", "A\xC3\x89", 0, 0},       // aé, AÉ: the fast path hands over mid-text
        {"stra\xC3\x9F" "e", "STRASSE", 1, 1},  // ß stays one character
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80", 0, 0},
    };
    for (const auto& row : rows) {
        const std::string label = std::string(row.a) + " / " + row.b;
        EXPECT_EQ(Sign(CompareNoCase(row.a, row.b)), row.compared) << label;
        EXPECT_EQ(Sign(CompareNoCase(row.b, row.a)), -row.compared) << label;
        EXPECT_EQ(EqualsNoCase(row.a, row.b), row.compared == 0) << label;
        EXPECT_EQ(FoldedKey(row.a) == FoldedKey(row.b), row.compared == 0) << label;
        const std::u32string na = NameKey(row.a);
        const std::u32string nb = NameKey(row.b);
        EXPECT_EQ(Sign(na.compare(nb)), row.listed) << label;
    }
}

}  // namespace
}  // namespace zuv
