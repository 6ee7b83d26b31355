#include <cmath>
#include <new>

#include "browser_config/apply_outcome.h"
#include "fixture.h"
#include "base/runtime_error.h"

namespace zuv::test {
namespace {

const std::string kKey = "Software\\ZUVTest\\Writer\\";

using Writer = RegistryFixture;

TEST(DwordToHexTest, EightUpperCaseDigits) {
    EXPECT_EQ(DwordToHex(255), "000000FF");
    EXPECT_EQ(DwordToHex(4294967295.0), "FFFFFFFF");
    EXPECT_EQ(DwordToHex(0), "00000000");
    EXPECT_EQ(DwordToHex(0x1234ABCD), "1234ABCD");
    EXPECT_EQ(DwordToHex(10), "0000000A");
}

TEST_F(Writer, DwordIsStoredLittleEndian) {
    const struct {
        double number;
        std::vector<unsigned char> bytes;
    } cases[] = {
        {3, Bytes({3, 0, 0, 0})},
        {4294967295.0, Bytes({0xFF, 0xFF, 0xFF, 0xFF})},
        {0, Bytes({0, 0, 0, 0})},
        {0x01020304, Bytes({4, 3, 2, 1})},
    };
    for (const auto& c : cases) {
        EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "d", c.number, kRegDword));
        EXPECT_EQ(reg.RegStatus, 0);
        EXPECT_EQ(Raw(kKey, "d"), (RawValue{kRegDword, c.bytes})) << c.number;
    }
}

TEST_F(Writer, DwordOutOfRangeWritesNothingButCreatesTheKey) {
    for (double bad : {4294967296.0, -1.0, std::nan("")}) {
        EXPECT_FALSE(reg.SetValue(kHkeyCurrentUser, kKey, "d", bad, kRegDword));
        EXPECT_EQ(reg.RegStatus, 2);
        EXPECT_TRUE(HasKey(kKey));
        EXPECT_FALSE(Raw(kKey, "d").has_value());
        EXPECT_FALSE(RefusalReason(reg.RegStatus, bad, kRegDword).empty()) << bad;
    }
    // The same status from the platform is the platform's to explain.
    EXPECT_EQ(RefusalReason(2, 1.0, kRegDword), "");
}

TEST_F(Writer, DwordFromNumericTextAndMismatch) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "d", std::string(" 12 "), kRegDword));
    EXPECT_EQ(Raw(kKey, "d"), Dword(12));
    try {
        reg.SetValue(kHkeyCurrentUser, kKey, "e", std::string("abc"), kRegDword);
        FAIL() << "no error raised";
    } catch (const RuntimeError& e) {
        EXPECT_EQ(e.Description(), "类型不匹配");
    }
    EXPECT_FALSE(Raw(kKey, "e").has_value());
}

TEST_F(Writer, TextIsStoredWithOneNul) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "t", std::string("yes"), kRegSz));
    EXPECT_EQ(Raw(kKey, "t"), (RawValue{kRegSz, Bytes({'y', 'e', 's', 0})}));
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "", std::string(), kRegSz));
    EXPECT_EQ(Raw(kKey, ""), (RawValue{kRegSz, Bytes({0})}));
    // Multi-string text gets no second terminator either.
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "m", std::string("ab"), kRegMultiSz));
    EXPECT_EQ(Raw(kKey, "m"), (RawValue{kRegMultiSz, Bytes({'a', 'b', 0})}));
    // Chinese text crosses into code page 936: two bytes per character.
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "名称", std::string("门户"), kRegSz));
    EXPECT_EQ(Raw(kKey, "名称"), (RawValue{kRegSz, Bytes({0xC3, 0xC5, 0xBB, 0xA7, 0})}));
    // A number handed as text is written in decimal.
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "n", 2.0, kRegSz));
    EXPECT_EQ(Raw(kKey, "n"), Sz("2"));
}

TEST_F(Writer, TextTheCodePageCannotHoldIsAnErrorAndWritesNothing) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    const struct {
        std::string path, name, text;
    } cases[] = {
        {kKey, "v", "a" + emoji},
        {kKey, "v" + emoji, "a"},
        {kKey + emoji + "\\", "v", "a"},
    };
    for (const auto& c : cases) {
        try {
            reg.SetValue(kHkeyCurrentUser, c.path, c.name, c.text, kRegSz);
            ADD_FAILURE() << "no error raised";
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.Description().rfind("文本“", 0), 0u) << e.Description();
            EXPECT_NE(e.Description().find("”含有代码页 936 无法表示的字符"), std::string::npos);
        }
    }
    EXPECT_FALSE(HasKey(kKey));
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

TEST_F(Writer, BinaryArrays) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "never", ByteArray{}, kRegBinary));
    EXPECT_EQ(Raw(kKey, "never"), (RawValue{kRegBinary, {}}));
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "three", ByteArray{Bytes({1, 2, 3})}, kRegBinary));
    EXPECT_EQ(Raw(kKey, "three"), (RawValue{kRegBinary, Bytes({1, 2, 3})}));

    EXPECT_FALSE(reg.SetValue(kHkeyCurrentUser, kKey, "text", std::string("x"), kRegBinary));
    EXPECT_EQ(reg.RegStatus, 1);
    EXPECT_FALSE(Raw(kKey, "text").has_value());
}

TEST_F(Writer, OtherTypesCreateTheKeyAndWriteNothing) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "five", 5.0, 5));
    EXPECT_EQ(reg.RegStatus, 0);
    EXPECT_TRUE(HasKey(kKey));
    EXPECT_EQ(ValueCount(kKey), 0u);
}

TEST_F(Writer, NewKeysCarryTheTypeAsClassAndExistingOnesKeepTheirs) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, "Software\\ZUVTest\\A\\B\\", "d", 1.0, kRegDword));
    EXPECT_EQ(memory.FindKey(kHkeyCurrentUser, "Software\\ZUVTest\\A")->keyClass, "4");
    EXPECT_EQ(memory.FindKey(kHkeyCurrentUser, "Software\\ZUVTest\\A\\B")->keyClass, "4");
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, "Software\\ZUVTest\\A\\B\\C\\", "s", std::string(), kRegSz));
    EXPECT_EQ(memory.FindKey(kHkeyCurrentUser, "Software\\ZUVTest\\A\\B")->keyClass, "4");
    EXPECT_EQ(memory.FindKey(kHkeyCurrentUser, "Software\\ZUVTest\\A\\B\\C")->keyClass, "1");
}

TEST_F(Writer, ExistingValueOfAnotherTypeIsReplaced) {
    Put(kKey, "v", kRegSz, TextBytes("old"));
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, kKey, "V", 7.0, kRegDword));
    EXPECT_EQ(Raw(kKey, "v"), Dword(7));
    EXPECT_EQ(ValueCount(kKey), 1u);
}

TEST_F(Writer, StepsNoteTheFirstRefusalInTheOutcome) {
    memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::SetValueEx ? kErrorAccessDenied : kErrorSuccess;
    });
    WriteValue(reg, outcome, kHkeyCurrentUser, kKey, "first", 1.0, kRegDword);
    EXPECT_EQ(reg.RegStatus, kErrorAccessDenied);
    WriteValue(reg, outcome, kHkeyCurrentUser, kKey, "second", 1.0, kRegDword);
    EXPECT_FALSE(outcome.Succeeded());
    ASSERT_TRUE(outcome.Refusal().has_value());
    EXPECT_EQ(outcome.Refusal()->valueName, "first");
    EXPECT_EQ(outcome.Refusal()->code, kErrorAccessDenied);
    EXPECT_EQ(outcome.Refusal()->systemText, "拒绝访问。");
    EXPECT_EQ(memory.OpenHandleCount(), 0u);

    // A key that cannot be created, and the layer's own refusal with its reason.
    memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::CreateKeyEx ? kErrorAccessDenied : kErrorSuccess;
    });
    ApplyOutcome another;
    WriteValue(reg, another, kHkeyCurrentUser, kKey, "third", 1.0, kRegDword);
    EXPECT_EQ(another.Refusal()->valueName, "third");
    memory.SetFaultHook(nullptr);
    ApplyOutcome range;
    WriteValue(reg, range, kHkeyCurrentUser, kKey, "big", 4294967296.0, kRegDword);
    EXPECT_EQ(range.Refusal()->reason, "数值 4294967296 超出 DWORD 的范围（0 到 4294967295）");
    EXPECT_EQ(memory.OpenHandleCount(), 0u);

    ApplyOutcome clean;
    WriteValue(reg, clean, kHkeyCurrentUser, kKey, "fine", 1.0, kRegDword);
    EXPECT_TRUE(clean.Succeeded());
}

TEST_F(Writer, KeyIsClosedWhenAnExceptionPassesThrough) {
    memory.SetFaultHook([](RegCall call, std::uint64_t) -> long {
        if (call == RegCall::SetValueEx) throw std::bad_alloc();
        return kErrorSuccess;
    });
    EXPECT_THROW(reg.SetValue(kHkeyCurrentUser, kKey, "v", 1.0, kRegDword), std::bad_alloc);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace zuv::test
