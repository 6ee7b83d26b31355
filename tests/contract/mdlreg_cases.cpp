// mdlReg on top of each backend: what the configuration steps get from it, checked through
// the raw API.
#include <cstdint>
#include <string>
#include <vector>

#include "base/runtime_error.h"
#include "tests/contract/contract_fixture.h"

namespace zuv::contract {
namespace {

using Names = std::vector<std::string>;
using Types = std::vector<std::uint32_t>;

class MdlRegContract : public RegistryContract {
protected:
    // The scratch key as mdlReg callers spell paths: with a closing backslash.
    std::string Dir(const std::string& below = "") const { return Path(below) + "\\"; }
};

TEST_F(MdlRegContract, DwordIsWrittenAsFourLittleEndianBytes) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir(), "three", 3.0, kRegDword));
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir(), "max", 4294967295.0, kRegDword));
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir(), "zero", 0.0, kRegDword));
    std::uint32_t type = 0;
    EXPECT_EQ(Read(Path(), "three", &type), (Bytes{0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(Read(Path(), "max"), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Read(Path(), "zero"), (Bytes{0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(reg.RegStatus, kErrorSuccess);
}

TEST_F(MdlRegContract, DwordOutOfRangeIsRefusedButTheKeyIsCreated) {
    ASSERT_EQ(Write(Path("range"), "big", kRegDword, {9, 0, 0, 0}), kErrorSuccess);
    EXPECT_FALSE(reg.SetValue(kHkeyCurrentUser, Dir("range"), "big", 4294967296.0, kRegDword));
    EXPECT_EQ(reg.RegStatus, 2);
    EXPECT_EQ(Read(Path("range"), "big"), (Bytes{9, 0, 0, 0}));

    EXPECT_FALSE(reg.SetValue(kHkeyCurrentUser, Dir("fresh"), "negative", -1.0, kRegDword));
    EXPECT_EQ(reg.RegStatus, 2);
    EXPECT_TRUE(KeyExists(Path("fresh")));
    EXPECT_FALSE(ValueExists(Path("fresh"), "negative"));
}

TEST_F(MdlRegContract, TextIsWrittenWithOneNul) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir(), "text", std::string("yes"), kRegSz));
    std::uint32_t type = 0;
    EXPECT_EQ(Read(Path(), "text", &type), BytesOf(std::string("yes", 4)));
    EXPECT_EQ(type, kRegSz);

    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir(), "中文", std::string("门户"), kRegSz));
    EXPECT_EQ(Read(Path(), Ansi("中文")), BytesOf(Ansi("门户") + '\0'));
}

TEST_F(MdlRegContract, ByteArraysAreWrittenAsBinary) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir(), "never", ByteArray{}, kRegBinary));
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir(), "three",
                             ByteArray{std::vector<unsigned char>{1, 2, 3}}, kRegBinary));
    std::uint32_t type = 0;
    long rc = -1;
    EXPECT_EQ(Read(Path(), "never", &type, &rc), Bytes{});
    EXPECT_EQ(rc, kErrorSuccess);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(Read(Path(), "three", &type), (Bytes{1, 2, 3}));
    EXPECT_EQ(type, kRegBinary);
}

TEST_F(MdlRegContract, OtherTypesCreateTheKeyOnly) {
    EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir("five"), "v", 3.0, 5));
    EXPECT_TRUE(KeyExists(Path("five")));
    EXPECT_EQ(ValueNames(Path("five")), Names{});
}

TEST_F(MdlRegContract, NewKeyCarriesTheTypeAsClass) {
    ASSERT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir("dword"), "v", 1.0, kRegDword));
    ASSERT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir("text"), "v", std::string("x"), kRegSz));
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("dword")), "4");
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("text")), "1");
}

TEST_F(MdlRegContract, MissingValueReadsAsEmptyText) {
    ASSERT_EQ(Create(Path()), kErrorSuccess);
    std::uint32_t type = 77;
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir(), "missing", type), "");
    EXPECT_EQ(type, 77u);
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir("no such key"), "missing", type), "");
    EXPECT_EQ(type, 77u);
}

TEST_F(MdlRegContract, ValuesReadAsText) {
    ASSERT_EQ(Write(Path(), "ten", kRegDword, {10, 0, 0, 0}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "max", kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "binary", kRegBinary, {0x01, 0xAB}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "empty", kRegSz, {}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "text", kRegSz, BytesOf(Ansi("门户") + '\0')), kErrorSuccess);
    std::uint32_t type = 0;
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir(), "ten", type), "10");
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir(), "max", type), "4294967295");
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir(), "binary", type), "01 AB");
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir(), "empty", type), "");
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir(), "text", type), "门户");
}

TEST_F(MdlRegContract, LongTextReadsBackWhole) {
    std::string text;
    for (int i = 0; text.size() < 3000; ++i) text += std::to_string(i) + ";";
    ASSERT_EQ(Write(Path(), "long", kRegSz, BytesOf(text + '\0')), kErrorSuccess);
    std::uint32_t type = 0;
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir(), "long", type), text);
}

TEST_F(MdlRegContract, DeletingAMissingValueChangesNothing) {
    ASSERT_EQ(Write(Path(), "keep", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    EXPECT_FALSE(reg.DeleteEntry(kHkeyCurrentUser, Dir(), "missing"));
    EXPECT_EQ(ValueNames(Path()), (Names{"keep"}));
}

TEST_F(MdlRegContract, DeletingANamedValue) {
    ASSERT_EQ(Write(Path(), "keep", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "drop", kRegDword, {2, 0, 0, 0}), kErrorSuccess);
    EXPECT_TRUE(reg.DeleteEntry(kHkeyCurrentUser, Dir(), "drop"));
    EXPECT_EQ(ValueNames(Path()), (Names{"keep"}));
}

TEST_F(MdlRegContract, EmptyNameWithClosingBackslashDeletesNothing) {
    ASSERT_EQ(Write(Path("stay"), "v", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    EXPECT_FALSE(reg.DeleteEntry(kHkeyCurrentUser, Dir("stay"), ""));
    EXPECT_TRUE(KeyExists(Path("stay")));
    EXPECT_EQ(Read(Path("stay"), "v"), (Bytes{1, 0, 0, 0}));
}

TEST_F(MdlRegContract, EmptyNameDeletesTheLastLevel) {
    ASSERT_EQ(Write(Path("child"), "v", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    EXPECT_TRUE(reg.DeleteEntry(kHkeyCurrentUser, Path("child"), ""));
    EXPECT_FALSE(KeyExists(Path("child")));
    EXPECT_TRUE(KeyExists(Path()));
}

TEST_F(MdlRegContract, ListsAreSortedWithoutRegardToCase) {
    for (const char* name : {"b", "A", "c", "Range2", "Range10"}) {
        ASSERT_EQ(Create(Path(name)), kErrorSuccess);
        ASSERT_EQ(Write(Path(), name, kRegDword, {0, 0, 0, 0}), kErrorSuccess);
    }
    std::vector<std::string> subKeys;
    std::vector<std::string> valueNames;
    std::vector<std::uint32_t> valueTypes;
    std::uint32_t subKeyCount = 0, valueCount = 0, maxSubKeyLen = 0, maxValueNameLen = 0;
    ASSERT_TRUE(reg.EnumerateKey(kHkeyCurrentUser, Dir(), subKeys, valueNames, valueTypes,
                                 subKeyCount, valueCount, maxSubKeyLen, maxValueNameLen));
    EXPECT_EQ(subKeys, (Names{"A", "b", "c", "Range10", "Range2"}));
    EXPECT_EQ(valueNames, (Names{"A", "b", "c", "Range10", "Range2"}));
    EXPECT_EQ(subKeyCount, 5u);
    EXPECT_EQ(valueCount, 5u);
    EXPECT_EQ(maxSubKeyLen, 7u);
    EXPECT_EQ(maxValueNameLen, 7u);

    std::vector<std::string> only;
    ASSERT_TRUE(reg.EnumerateSubKeys(kHkeyCurrentUser, Dir(), only));
    EXPECT_EQ(only, subKeys);
}

TEST_F(MdlRegContract, ChineseSubKeysAreListedAsUtf8) {
    ASSERT_EQ(Create(Path(Ansi("门户"))), kErrorSuccess);
    ASSERT_EQ(Create(Path("abc")), kErrorSuccess);
    std::vector<std::string> subKeys;
    ASSERT_TRUE(reg.EnumerateSubKeys(kHkeyCurrentUser, Dir(), subKeys));
    EXPECT_EQ(subKeys, (Names{"abc", "门户"}));
}

TEST_F(MdlRegContract, LongChineseSubKeyNamesAreListedWhole) {
    // 140 characters are 280 bytes in code page 936: more than a 255-byte buffer holds.
    std::string longName;
    for (int i = 0; i < 140; ++i) longName += "门";
    ASSERT_EQ(Create(Path(Ansi(longName))), kErrorSuccess);
    std::vector<std::string> subKeys;
    ASSERT_TRUE(reg.EnumerateSubKeys(kHkeyCurrentUser, Dir(), subKeys));
    EXPECT_EQ(subKeys, Names{longName});
}

TEST_F(MdlRegContract, TrailByteThatLooksLikeABackslashSeparatesNothing) {
    // "闬" is EA 5C in code page 936: its second byte is the byte of '\'.
    const std::string name = "闬门";
    ASSERT_TRUE(reg.SetValue(kHkeyCurrentUser, Dir(name), "http", 2.0, kRegDword));
    std::vector<std::string> subKeys;
    ASSERT_TRUE(reg.EnumerateSubKeys(kHkeyCurrentUser, Dir(), subKeys));
    EXPECT_EQ(subKeys, Names{name});
    std::uint32_t type = kRegSz;
    EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, Dir(name), "http", type), "2");

    EXPECT_TRUE(reg.DeleteEntry(kHkeyCurrentUser, Path(name), ""));
    subKeys.clear();
    ASSERT_TRUE(reg.EnumerateSubKeys(kHkeyCurrentUser, Dir(), subKeys));
    EXPECT_TRUE(subKeys.empty());
}

TEST_F(MdlRegContract, ListingAnEmptyKeyLeavesTheListsEmpty) {
    ASSERT_EQ(Create(Path()), kErrorSuccess);
    std::vector<std::string> subKeys;
    std::vector<std::string> valueNames;
    std::vector<std::uint32_t> valueTypes;
    std::uint32_t subKeyCount = 9, valueCount = 9, maxSubKeyLen = 9, maxValueNameLen = 9;
    EXPECT_TRUE(reg.EnumerateKey(kHkeyCurrentUser, Dir(), subKeys, valueNames, valueTypes,
                                 subKeyCount, valueCount, maxSubKeyLen, maxValueNameLen));
    EXPECT_TRUE(subKeys.empty());
    EXPECT_TRUE(valueNames.empty());
    EXPECT_TRUE(valueTypes.empty());
    EXPECT_EQ(subKeyCount, 0u);
    EXPECT_EQ(valueCount, 0u);
}

TEST_F(MdlRegContract, UnrepresentableTextIsRefusedBeforeWriting) {
    // U+0E01 (Thai) and U+1F600 (emoji) have no place in code page 936.
    EXPECT_THROW(cp.FromUtf8("\xE0\xB8\x81"), RuntimeError);
    EXPECT_THROW(reg.SetValue(kHkeyCurrentUser, Dir(), "v", std::string("a\xF0\x9F\x98\x80"), kRegSz),
                 RuntimeError);
    EXPECT_FALSE(ValueExists(Path(), "v"));
    try {
        reg.SetValue(kHkeyCurrentUser, Dir(), "\xE0\xB8\x81", std::string("x"), kRegSz);
        ADD_FAILURE() << "no exception";
    } catch (const RuntimeError& error) {
        EXPECT_EQ(error.Description(), "文本“\xE0\xB8\x81”含有代码页 936 无法表示的字符");
    }
    EXPECT_EQ(ValueNames(Path()), Names{});
}

}  // namespace
}  // namespace zuv::contract
