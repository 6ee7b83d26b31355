#include "fixture.h"

namespace zuv::test {
namespace {

const std::string kKey = "Software\\ZUVTest\\Reader\\";

using Reader = RegistryFixture;

std::string Read(mdlReg& reg, const std::string& path, const std::string& name,
                 RegKey root = kHkeyCurrentUser) {
    std::uint32_t type = kRegSz;
    return reg.QueryValue(root, path, name, type);
}

TEST_F(Reader, ValuesReadBackAsText) {
    Put(kKey, "dw10", kRegDword, Bytes({10, 0, 0, 0}));
    Put(kKey, "dwMax", kRegDword, Bytes({0xFF, 0xFF, 0xFF, 0xFF}));
    Put(kKey, "bin", kRegBinary, Bytes({0x01, 0xAB}));
    Put(kKey, "empty bin", kRegBinary, {});
    Put(kKey, "sz", kRegSz, TextBytes("  padded text  "));
    Put(kKey, "expand", kRegExpandSz, TextBytes("%TEMP%"));
    Put(kKey, "zh", kRegSz, TextBytes(codePage->FromUtf8("门户服务器")));
    Put(kKey, "zero bytes", kRegSz, {});
    Put(kKey, "qword", 11, Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
    const struct {
        const char* name;
        const char* text;
        std::uint32_t type;
    } cases[] = {
        {"dw10", "10", kRegDword},
        {"dwMax", "4294967295", kRegDword},
        {"bin", "01 AB", kRegBinary},
        {"empty bin", "", kRegBinary},
        {"sz", "padded text", kRegSz},
        {"expand", "%TEMP%", kRegExpandSz},
        {"zh", "门户服务器", kRegSz},
        {"zero bytes", "", kRegSz},
        {"qword", "", 11},
        {"missing", "", kRegSz},
    };
    for (const auto& c : cases) {
        std::uint32_t type = kRegSz;
        EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, kKey, c.name, type), c.text) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
    EXPECT_EQ(Read(reg, "Software\\ZUVTest\\NoSuchKey\\", "x"), "");
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

// The one decode of REG_DWORD data, which the reads, the backups and the dry run share.
TEST(DwordFromData, LittleEndianFirstFourBytes) {
    const struct {
        std::vector<unsigned char> data;
        std::uint32_t number;
    } rows[] = {
        {{}, 0},
        {{0x2A}, 42},                                     // a short value: missing bytes are 0
        {{0x78, 0x56, 0x34, 0x12}, 0x12345678},           // least significant first
        {{0xFF, 0xFF, 0xFF, 0xFF}, 4294967295u},
        {{0x01, 0x00, 0x00, 0x80, 0x7F}, 0x80000001u},   // a fifth byte is not part of it
    };
    for (const auto& row : rows) {
        EXPECT_EQ(DwordFromData(row.data), row.number) << row.data.size() << " bytes";
    }
    constexpr unsigned char kTwoBytes[] = {0, 1};
    static_assert(DwordFromData(kTwoBytes) == 256);
}

TEST_F(Reader, LongTextIsReadWhole) {
    std::string longText;
    for (int i = 0; i < 700; ++i) longText += static_cast<char>('a' + i % 26);
    longText += "门户";  // crosses the 1024-byte mark in code page 936 with the rest
    longText += std::string(400, 'z');
    Put(kKey, "long", kRegSz, TextBytes(codePage->FromUtf8(longText)));
    EXPECT_EQ(Read(reg, kKey, "long"), longText);
}

TEST_F(Reader, MachineKeysAreReadWithoutWriteRights) {
    Put("Software\\Microsoft\\Internet Explorer\\", "Version", kRegSz, TextBytes("9.11.9600.0"),
        kHkeyLocalMachine);
    memory.SetRootReadOnly(kHkeyLocalMachine, true);
    EXPECT_EQ(Read(reg, "Software\\Microsoft\\Internet Explorer\\", "Version", kHkeyLocalMachine),
              "9.11.9600.0");
}

TEST_F(Reader, DeleteNamedValue) {
    Put(kKey, "keep", kRegSz, TextBytes("1"));
    Put(kKey, "drop", kRegSz, TextBytes("2"));
    EXPECT_TRUE(reg.DeleteEntry(kHkeyCurrentUser, kKey, "DROP"));
    EXPECT_FALSE(Raw(kKey, "drop").has_value());
    EXPECT_TRUE(Raw(kKey, "keep").has_value());

    EXPECT_FALSE(reg.DeleteEntry(kHkeyCurrentUser, kKey, "drop"));
    EXPECT_EQ(reg.RegStatus, kErrorFileNotFound);
    EXPECT_FALSE(reg.DeleteEntry(kHkeyCurrentUser, "Software\\ZUVTest\\NoSuchKey\\", "x"));
    EXPECT_EQ(ValueCount(kKey), 1u);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

TEST_F(Reader, DeleteKeyByPath) {
    Put(kKey + "Child", "v", kRegSz, TextBytes("1"));
    EXPECT_TRUE(reg.DeleteEntry(kHkeyCurrentUser, kKey + "Child", ""));
    EXPECT_FALSE(HasKey(kKey + "Child"));
    EXPECT_TRUE(HasKey(kKey));
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

TEST_F(Reader, PathEndingInBackslashDeletesNothing) {
    // The split gives no child name; the site key and its other values must survive.
    Put(kKey + "Site", "http", kRegDword, Bytes({2, 0, 0, 0}));
    Put(kKey + "Site", "https", kRegDword, Bytes({2, 0, 0, 0}));
    EXPECT_FALSE(reg.DeleteEntry(kHkeyCurrentUser, kKey + "Site\\", ""));
    EXPECT_NE(reg.RegStatus, 0);
    EXPECT_EQ(ValueCount(kKey + "Site"), 2u);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

TEST_F(Reader, KeyWithChildrenIsNotDeleted) {
    Put(kKey + "Parent\\Child", "v", kRegSz, TextBytes("1"));
    EXPECT_FALSE(reg.DeleteEntry(kHkeyCurrentUser, kKey + "Parent", ""));
    EXPECT_TRUE(HasKey(kKey + "Parent\\Child"));
}

TEST_F(Reader, ListsAreSortedWithoutRegardToCase) {
    for (const char* name : {"b", "A", "c", "Range2", "Range10", "range1"}) PutKey(kKey + name);
    Put(kKey, "zeta", kRegDword, Bytes({1, 0, 0, 0}));
    Put(kKey, "Alpha", kRegSz, TextBytes("x"));
    std::vector<std::string> keys;
    std::vector<std::string> values;
    std::vector<std::uint32_t> types;
    std::uint32_t keyCount = 0, valueCount = 0, longestKey = 0, longestValue = 0;
    EXPECT_TRUE(reg.EnumerateKey(kHkeyCurrentUser, kKey, keys, values, types, keyCount, valueCount,
                                 longestKey, longestValue));
    EXPECT_EQ(keys, (std::vector<std::string>{"A", "b", "c", "range1", "Range10", "Range2"}));
    EXPECT_EQ(values, (std::vector<std::string>{"Alpha", "zeta"}));
    EXPECT_EQ(types, (std::vector<std::uint32_t>{kRegSz, kRegDword}));
    EXPECT_EQ(keyCount, 6u);
    EXPECT_EQ(valueCount, 2u);
    EXPECT_EQ(longestKey, 7u);
    EXPECT_EQ(longestValue, 5u);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

TEST_F(Reader, EmptyKeyLeavesListsAsHandedIn) {
    PutKey(kKey);
    std::vector<std::string> keys;
    EXPECT_TRUE(reg.EnumerateSubKeys(kHkeyCurrentUser, kKey, keys));
    EXPECT_TRUE(keys.empty());
    EXPECT_FALSE(reg.EnumerateSubKeys(kHkeyCurrentUser, kKey + "Missing\\", keys));
}

TEST_F(Reader, ListingFailureIsReported) {
    PutKey(kKey + "a");
    memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::EnumKeyEx ? kErrorNotEnoughMemory : kErrorSuccess;
    });
    std::vector<std::string> keys;
    EXPECT_FALSE(reg.EnumerateSubKeys(kHkeyCurrentUser, kKey, keys));
    EXPECT_EQ(reg.RegStatus, kErrorNotEnoughMemory);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

}  // namespace
}  // namespace zuv::test
