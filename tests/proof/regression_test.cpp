// Behaviour found wrong by the fuzzers and the fault sweep, kept right.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include <string>
#include <vector>

#include "browser_config/browser_config.h"
#include "base/text.h"
#include "tests/support/apply_rig.h"

namespace zuv::test {
namespace {

std::vector<std::string> SubKeys(const ApplyRig& rig, const std::string& path) {
    std::vector<std::string> out;
    if (const auto* key = rig.memory.FindKey(kHkeyCurrentUser, path)) {
        for (const auto& entry : key->subKeys) out.push_back(rig.codePage->ToUtf8(entry.second->name));
    }
    return out;
}

// An address typed with blanks around it once got a range of its own that it was never found
// in again (the ":Range" text reads back without the blanks), one more on every press. Blanks
// are refused now, before anything is written, with the place of the blank.
TEST(Regression, AddressWithBlanksAroundIsRefusedAndAddsNoRange) {
    for (const char* address : {"192.0.2.10 ", " 192.0.2.10", "  192.0.2.10  "}) {
        ApplyRig rig;
        rig.Apply(address);
        EXPECT_EQ(rig.Message().text.rfind(std::string(kFailurePrefix) + "地址的开头或末尾有空格", 0), 0u)
            << rig.Message().text;
        rig.Apply(address);
        for (const char* tree : {"EscRanges\\", "Ranges\\"}) {
            EXPECT_EQ(SubKeys(rig, std::string(kZoneMapRoot) + tree), std::vector<std::string>{})
                << '"' << address << "\" " << tree;
        }
    }
}

// An address that reads as IPv4 but holds a character code page 936 cannot represent
// raises its error; it must not leave a range key with "http" and no ":Range" behind
// (one more on every press).
TEST(Regression, UnrepresentableIPv4AddressLeavesNoHalfWrittenRange) {
    for (const char* address : {"1.2.3.4\xF0\x9F\x98\x80", "192.0.2.11www.example\xE9\xBF\xBD"}) {
        ApplyRig rig;
        rig.Apply(address);
        EXPECT_EQ(rig.Message().text.rfind(kFailurePrefix, 0), 0u) << rig.Message().text;
        const std::string once = rig.memory.Dump(kHkeyCurrentUser);
        rig.Apply(address);
        EXPECT_EQ(rig.memory.Dump(kHkeyCurrentUser), once) << address;
        for (const char* tree : {"EscRanges\\", "Ranges\\"}) {
            EXPECT_EQ(SubKeys(rig, std::string(kZoneMapRoot) + tree), std::vector<std::string>{})
                << address << " " << tree;
        }
    }
}

// Numbers no long long holds are written in floating form; converting them first was
// undefined (reported by the sanitizer build for NaN from an out-of-range DWORD).
TEST(Regression, NumbersBeyondLongLongAsText) {
    EXPECT_EQ(NumberToText(std::nan("")), "nan");
    EXPECT_EQ(NumberToText(std::numeric_limits<double>::infinity()), "inf");
    EXPECT_EQ(NumberToText(-std::numeric_limits<double>::infinity()), "-inf");
    EXPECT_EQ(NumberToText(1e300), "1e+300");
    EXPECT_EQ(NumberToText(-9.3e18), "-9.3e+18");
    EXPECT_EQ(NumberToText(4294967296.0), "4294967296");
    EXPECT_EQ(NumberToText(-2.5), "-2.5");
}

}  // namespace
}  // namespace zuv::test
