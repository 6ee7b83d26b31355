// How the raw registry functions behave, as far as the program relies on it. The Windows
// build runs these against advapi32 under Wine; the native build against MemoryRegistry.
#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

#include "tests/contract/contract_fixture.h"

namespace zuv::contract {
namespace {

using Names = std::vector<std::string>;

TEST_F(RegistryContract, CreatesEveryMissingLevelInOneCall) {
    std::uint32_t how = 0;
    ASSERT_EQ(Create(Path("a\\b\\c"), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegCreatedNewKey);
    EXPECT_TRUE(KeyExists(Path("a")));
    EXPECT_TRUE(KeyExists(Path("a\\b")));
    EXPECT_TRUE(KeyExists(Path("a\\b\\c")));

    EXPECT_EQ(Create(Path("a\\b\\c"), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegOpenedExistingKey);
    EXPECT_EQ(Create(Path("a\\b"), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegOpenedExistingKey);
    EXPECT_EQ(Create(Path("a\\b\\d"), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegCreatedNewKey);
    EXPECT_EQ(SubKeyNames(Path("a\\b")), (Names{"c", "d"}));
}

TEST_F(RegistryContract, TrailingBackslashNamesTheSameKey) {
    std::uint32_t how = 0;
    ASSERT_EQ(Create(Path("x\\"), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegCreatedNewKey);
    EXPECT_EQ(SubKeyNames(Path()), (Names{"x"}));
    EXPECT_TRUE(KeyExists(Path("x")));
    EXPECT_TRUE(KeyExists(Path("x\\")));
    EXPECT_EQ(Create(Path("x"), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegOpenedExistingKey);

    ASSERT_EQ(Write(Path("x\\"), "v", kRegDword, {7, 0, 0, 0}), kErrorSuccess);
    EXPECT_EQ(Read(Path("x"), "v"), (Bytes{7, 0, 0, 0}));
}

TEST_F(RegistryContract, LeadingBackslashIsABadPath) {
    RegKey key = 0;
    std::uint32_t how = 0;
    std::string leading = Path("lead");
    leading.insert(leading.begin(), '\\');
    EXPECT_EQ(api.CreateKeyEx(kHkeyCurrentUser, leading, "", kWriteAccess, false, &key, &how),
              kErrorBadPathname);
    EXPECT_EQ(api.OpenKeyEx(kHkeyCurrentUser, "\\Software", kReadAccess, &key), kErrorBadPathname);
    EXPECT_FALSE(KeyExists(Path("lead")));
}

TEST_F(RegistryContract, DoubleBackslashInAPath) {
    std::uint32_t how = 0;
    const long rc = Create(Path("p\\\\q"), &how);
    EXPECT_EQ(rc, kErrorSuccess);
    EXPECT_EQ(SubKeyNames(Path()), (Names{"p"}));
    EXPECT_EQ(SubKeyNames(Path("p")), (Names{"q"}));
    EXPECT_TRUE(KeyExists(Path("p\\\\q")));
}

TEST_F(RegistryContract, KeyNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    ASSERT_EQ(Create(Path("MixedCase")), kErrorSuccess);
    EXPECT_TRUE(KeyExists(Path("mixedcase")));
    EXPECT_TRUE(KeyExists(Path("MIXEDCASE")));
    std::uint32_t how = 0;
    EXPECT_EQ(Create(Path("mIXEDcASE\\Child"), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegCreatedNewKey);
    EXPECT_EQ(SubKeyNames(Path()), (Names{"MixedCase"}));
    EXPECT_EQ(SubKeyNames(Path("MIXEDCASE")), (Names{"Child"}));
}

TEST_F(RegistryContract, ValueNamesIgnoreCaseAndKeepTheirFirstSpelling) {
    ASSERT_EQ(Write(Path(), "Value", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "VALUE", kRegDword, {2, 0, 0, 0}), kErrorSuccess);
    EXPECT_EQ(ValueNames(Path()), (Names{"Value"}));
    EXPECT_EQ(Read(Path(), "vAlUe"), (Bytes{2, 0, 0, 0}));
}

TEST_F(RegistryContract, ChineseKeyNamesTravelAsCodePageBytes) {
    const std::string name = Ansi("门户设置");
    ASSERT_EQ(name, "\xC3\xC5\xBB\xA7\xC9\xE8\xD6\xC3");
    ASSERT_EQ(Create(Path(name)), kErrorSuccess);
    EXPECT_EQ(SubKeyNames(Path()), (Names{name}));
    EXPECT_TRUE(KeyExists(Path(name)));
    EXPECT_EQ(cp.ToUtf8(SubKeyNames(Path()).at(0)), "门户设置");
}

TEST_F(RegistryContract, NonAsciiKeyNamesIgnoreCase) {
    // Full-width Latin and Cyrillic letters exist in code page 936 in both cases.
    ASSERT_EQ(Create(Path(Ansi("ＡＢＣ"))), kErrorSuccess);
    EXPECT_TRUE(KeyExists(Path(Ansi("ａｂｃ"))));
    ASSERT_EQ(Create(Path(Ansi("Дом"))), kErrorSuccess);
    std::uint32_t how = 0;
    EXPECT_EQ(Create(Path(Ansi("дОМ")), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegOpenedExistingKey);
    EXPECT_EQ(SubKeyNames(Path()).size(), 2u);
}

TEST_F(RegistryContract, NonAsciiValueNamesIgnoreCase) {
    const std::string name = Ansi("服务器Сервер");
    ASSERT_EQ(Write(Path(), name, kRegSz, BytesOf(Ansi("地址") + '\0')), kErrorSuccess);
    EXPECT_EQ(Read(Path(), Ansi("服务器СЕРВЕР")), BytesOf(Ansi("地址") + '\0'));
    ASSERT_EQ(Write(Path(), Ansi("服务器сервер"), kRegDword, {5, 0, 0, 0}), kErrorSuccess);
    EXPECT_EQ(ValueNames(Path()), (Names{name}));
    std::uint32_t type = 0;
    EXPECT_EQ(Read(Path(), name, &type), (Bytes{5, 0, 0, 0}));
    EXPECT_EQ(type, kRegDword);
}

TEST_F(RegistryContract, CreateSetsTheClassOfANewKey) {
    std::uint32_t how = 0;
    ASSERT_EQ(Create(Path("k"), &how, "4"), kErrorSuccess);
    ASSERT_EQ(how, kRegCreatedNewKey);
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("k")), "4");
    ASSERT_EQ(Create(Path(Ansi("中")), &how, Ansi("类")), kErrorSuccess);
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path(Ansi("中"))), Ansi("类"));
}

// Windows documents the class as applying to new keys only. Under Wine, which the program
// runs under, the key a call names takes the class of that call even when it exists (an
// empty class clears it), and keys created on the way get it too.
TEST_F(RegistryContract, CreateSetsTheClassOfTheKeyItNames) {
    std::uint32_t how = 0;
    ASSERT_EQ(Create(Path("outer\\inner"), &how, "3"), kErrorSuccess);
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer\\inner")), "3");
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer")), "3");

    ASSERT_EQ(Create(Path("outer\\inner"), &how, "1"), kErrorSuccess);
    ASSERT_EQ(how, kRegOpenedExistingKey);
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer\\inner")), "1");
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer")), "3");

    ASSERT_EQ(Create(Path("outer"), &how, ""), kErrorSuccess);
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer")), "");
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer\\inner")), "1");
}

// When two or more levels are missing, the levels are created one by one and every level
// the path names takes the class, existing ones too.
TEST_F(RegistryContract, CreateOfSeveralMissingLevelsSetsTheClassOfEach) {
    auto scratch = CreateOpen(Path());
    ASSERT_TRUE(scratch);
    ASSERT_EQ(Create(Path("outer"), nullptr, "X"), kErrorSuccess);
    ASSERT_EQ(Create(Path("side"), nullptr, "S"), kErrorSuccess);
    RegKey key = 0;
    std::uint32_t how = 0;
    ASSERT_EQ(api.CreateKeyEx(scratch->Get(), "outer\\new\\leaf", "Y", kWriteAccess, false, &key, &how),
              kErrorSuccess);
    api.CloseKey(key);
    EXPECT_EQ(how, kRegCreatedNewKey);
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer")), "Y");
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer\\new")), "Y");
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("outer\\new\\leaf")), "Y");
    EXPECT_EQ(backend->KeyClass(kHkeyCurrentUser, Path("side")), "S");
}

TEST_F(RegistryContract, ValuesKeepTheirTypeAndBytes) {
    struct Case {
        const char* name;
        std::uint32_t type;
        Bytes data;
    };
    const std::vector<Case> cases = {
        {"binary", kRegBinary, {0x00, 0x01, 0xFF, 0x00}},
        {"empty binary", kRegBinary, {}},
        {"dword", kRegDword, {0x03, 0x00, 0x00, 0x00}},
        {"big endian", 5, {0x00, 0x00, 0x00, 0x03}},
        {"expand", kRegExpandSz, BytesOf(std::string("%TEMP%\\x", 9))},
        {"multi", kRegMultiSz, BytesOf(std::string("a\0b\0\0", 5))},
        {"none", 0, {0x09}},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(Write(Path(), c.name, c.type, c.data), kErrorSuccess) << c.name;
    }
    for (const Case& c : cases) {
        std::uint32_t type = 0;
        long rc = -1;
        EXPECT_EQ(Read(Path(), c.name, &type, &rc), c.data) << c.name;
        EXPECT_EQ(rc, kErrorSuccess) << c.name;
        EXPECT_EQ(type, c.type) << c.name;
    }
}

TEST_F(RegistryContract, StringWithOneNulReadsBackItsBytes) {
    const Bytes yes = BytesOf(std::string("yes", 4));
    ASSERT_EQ(Write(Path(), "ascii", kRegSz, yes), kErrorSuccess);
    std::uint32_t type = 0;
    EXPECT_EQ(Read(Path(), "ascii", &type), yes);
    EXPECT_EQ(type, kRegSz);

    const Bytes chinese = BytesOf(Ansi("中文") + '\0');
    ASSERT_EQ(chinese.size(), 5u);
    ASSERT_EQ(Write(Path(), "chinese", kRegSz, chinese), kErrorSuccess);
    EXPECT_EQ(Read(Path(), "chinese"), chinese);
}

TEST_F(RegistryContract, SizeQueryWithoutBufferGivesTheStoredSize) {
    ASSERT_EQ(Write(Path(), "ascii", kRegSz, BytesOf(std::string("yes", 4))), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "chinese", kRegSz, BytesOf(Ansi("中文") + '\0')), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "binary", kRegBinary, {1, 2, 3}), kErrorSuccess);
    auto key = Open(Path(), kReadAccess);
    ASSERT_TRUE(key);
    for (const auto& [name, expected] :
         std::vector<std::pair<std::string, std::uint32_t>>{{"ascii", 4}, {"chinese", 5}, {"binary", 3}}) {
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        EXPECT_EQ(api.QueryValueEx(key->Get(), name, &type, nullptr, &size), kErrorSuccess) << name;
        EXPECT_EQ(size, expected) << name;
    }
}

TEST_F(RegistryContract, EmptyStringHasNoBytes) {
    ASSERT_EQ(Write(Path(), "empty", kRegSz, {}), kErrorSuccess);
    std::uint32_t type = 0;
    long rc = -1;
    EXPECT_EQ(Read(Path(), "empty", &type, &rc), Bytes{});
    EXPECT_EQ(rc, kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
}

// Text stored without its NUL reads back as stored; when the buffer has room the ANSI
// function puts a NUL after it, which the size does not count. Binary data gets none.
// (The byte after the written data is a letter here on purpose: writing text whose count
// leaves out a NUL that follows in memory stores that NUL too.)
TEST_F(RegistryContract, StringWithoutNulGetsOneWhenThereIsRoom) {
    auto key = CreateOpen(Path());
    ASSERT_TRUE(key);
    const unsigned char written[] = {'a', 'b', 'c', 'X'};
    ASSERT_EQ(api.SetValueEx(key->Get(), "bare", kRegSz, written, 3), kErrorSuccess);
    ASSERT_EQ(api.SetValueEx(key->Get(), "binary", kRegBinary, written, 3), kErrorSuccess);

    std::uint32_t type = 0;
    std::uint32_t size = 0;
    EXPECT_EQ(api.QueryValueEx(key->Get(), "bare", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(size, 3u);
    unsigned char data[8];
    std::fill(std::begin(data), std::end(data), 0xCC);
    size = sizeof data;
    EXPECT_EQ(api.QueryValueEx(key->Get(), "bare", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(Bytes(data, data + 5), (Bytes{'a', 'b', 'c', 0x00, 0xCC}));

    std::fill(std::begin(data), std::end(data), 0xCC);
    size = 3;
    EXPECT_EQ(api.QueryValueEx(key->Get(), "bare", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{'a', 'b', 'c', 0xCC}));

    std::fill(std::begin(data), std::end(data), 0xCC);
    size = sizeof data;
    EXPECT_EQ(api.QueryValueEx(key->Get(), "binary", &type, data, &size), kErrorSuccess);
    EXPECT_EQ(size, 3u);
    EXPECT_EQ(Bytes(data, data + 4), (Bytes{'a', 'b', 'c', 0xCC}));
}

TEST_F(RegistryContract, StringWithSeveralNulsKeepsThem) {
    const Bytes data = BytesOf(std::string("ab\0\0\0", 5));
    ASSERT_EQ(Write(Path(), "padded", kRegSz, data), kErrorSuccess);
    EXPECT_EQ(Read(Path(), "padded"), data);
}

TEST_F(RegistryContract, MissingKeysAndValuesAreNotFound) {
    RegKey key = 0;
    EXPECT_EQ(api.OpenKeyEx(kHkeyCurrentUser, Path("missing"), kReadAccess, &key),
              kErrorFileNotFound);
    ASSERT_EQ(Create(Path()), kErrorSuccess);
    long rc = -1;
    Read(Path(), "missing", nullptr, &rc);
    EXPECT_EQ(rc, kErrorFileNotFound);
    auto opened = Open(Path());
    ASSERT_TRUE(opened);
    EXPECT_EQ(api.DeleteValue(opened->Get(), "missing"), kErrorFileNotFound);
    EXPECT_EQ(api.DeleteKey(opened->Get(), "missing"), kErrorFileNotFound);
    EXPECT_EQ(api.DeleteKey(kHkeyCurrentUser, Path("missing\\deeper")), kErrorFileNotFound);
}

TEST_F(RegistryContract, DeleteValueRemovesOnlyThatValue) {
    ASSERT_EQ(Write(Path(), "keep", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "drop", kRegDword, {2, 0, 0, 0}), kErrorSuccess);
    auto key = Open(Path());
    ASSERT_TRUE(key);
    EXPECT_EQ(api.DeleteValue(key->Get(), "DROP"), kErrorSuccess);
    EXPECT_EQ(api.DeleteValue(key->Get(), "drop"), kErrorFileNotFound);
    EXPECT_EQ(ValueNames(Path()), (Names{"keep"}));
}

// Sub-keys and values both come out sorted, letters compared in lower case (so "_" comes
// before the letters), whatever the order of creation.
TEST_F(RegistryContract, SubKeysEnumerateSortedWithoutRegardToCase) {
    for (const char* name : {"b", "A", "c", "Range2", "Range10", "_x", "a1"}) {
        ASSERT_EQ(Create(Path(name)), kErrorSuccess) << name;
    }
    EXPECT_EQ(SubKeyNames(Path()), (Names{"_x", "A", "a1", "b", "c", "Range10", "Range2"}));
}

TEST_F(RegistryContract, ValuesEnumerateSortedWithoutRegardToCase) {
    for (const char* name : {"b", "A", "c", "Range2", "Range10", "_x", "a1"}) {
        ASSERT_EQ(Write(Path(), name, kRegDword, {0, 0, 0, 0}), kErrorSuccess) << name;
    }
    EXPECT_EQ(ValueNames(Path()), (Names{"_x", "A", "a1", "b", "c", "Range10", "Range2"}));
}

TEST_F(RegistryContract, EnumerationEndsWithNoMoreItems) {
    ASSERT_EQ(Create(Path("only")), kErrorSuccess);
    auto key = Open(Path(), kReadAccess);
    ASSERT_TRUE(key);
    char name[256];
    std::uint32_t length = sizeof name;
    std::uint32_t type = 0;
    EXPECT_EQ(api.EnumKeyEx(key->Get(), 1, name, &length), kErrorNoMoreItems);
    length = sizeof name;
    EXPECT_EQ(api.EnumValue(key->Get(), 0, name, &length, &type), kErrorNoMoreItems);
    auto empty = Open(Path("only"), kReadAccess);
    ASSERT_TRUE(empty);
    length = sizeof name;
    EXPECT_EQ(api.EnumKeyEx(empty->Get(), 0, name, &length), kErrorNoMoreItems);
}

TEST_F(RegistryContract, SmallBuffersGiveMoreData) {
    ASSERT_EQ(Create(Path("abcdef")), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "ghijkl", kRegBinary, {1, 2, 3, 4, 5, 6}), kErrorSuccess);
    auto key = Open(Path(), kReadAccess);
    ASSERT_TRUE(key);

    // Six characters need seven places.
    char name[16] = {};
    std::uint32_t length = 6;
    EXPECT_EQ(api.EnumKeyEx(key->Get(), 0, name, &length), kErrorMoreData);
    EXPECT_EQ(length, 6u);
    length = 7;
    EXPECT_EQ(api.EnumKeyEx(key->Get(), 0, name, &length), kErrorSuccess);
    EXPECT_EQ(std::string(name, length), "abcdef");

    std::uint32_t type = 0;
    length = 6;
    EXPECT_EQ(api.EnumValue(key->Get(), 0, name, &length, &type), kErrorMoreData);
    EXPECT_EQ(length, 6u);
    length = 7;
    EXPECT_EQ(api.EnumValue(key->Get(), 0, name, &length, &type), kErrorSuccess);
    EXPECT_EQ(std::string(name, length), "ghijkl");
    EXPECT_EQ(type, kRegBinary);

    unsigned char data[8] = {};
    std::uint32_t size = 5;
    EXPECT_EQ(api.QueryValueEx(key->Get(), "ghijkl", &type, data, &size), kErrorMoreData);
    EXPECT_EQ(size, 6u);
}

// QueryInfoKey counts the longest names in characters, not in code-page bytes, so a
// buffer of that size is too small for Chinese names.
TEST_F(RegistryContract, LongestNamesAreCountedInCharacters) {
    const std::string key = Ansi("门户");
    const std::string value = Ansi("地址值");
    ASSERT_EQ(Create(Path(key)), kErrorSuccess);
    ASSERT_EQ(Write(Path(), value, kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    auto opened = Open(Path(), kReadAccess);
    ASSERT_TRUE(opened);
    std::uint32_t subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0;
    ASSERT_EQ(api.QueryInfoKey(opened->Get(), &subKeys, &maxSubKeyLen, &values, &maxValueNameLen),
              kErrorSuccess);
    EXPECT_EQ(subKeys, 1u);
    EXPECT_EQ(values, 1u);
    EXPECT_EQ(maxSubKeyLen, 2u);
    EXPECT_EQ(maxValueNameLen, 3u);

    std::vector<char> name(16);
    std::uint32_t length = maxSubKeyLen + 1;
    EXPECT_EQ(api.EnumKeyEx(opened->Get(), 0, name.data(), &length), kErrorMoreData);
    length = static_cast<std::uint32_t>(key.size() + 1);
    EXPECT_EQ(api.EnumKeyEx(opened->Get(), 0, name.data(), &length), kErrorSuccess);
    EXPECT_EQ(std::string(name.data(), length), key);

    std::uint32_t type = 0;
    length = maxValueNameLen + 1;
    EXPECT_EQ(api.EnumValue(opened->Get(), 0, name.data(), &length, &type), kErrorMoreData);
    length = static_cast<std::uint32_t>(value.size() + 1);
    EXPECT_EQ(api.EnumValue(opened->Get(), 0, name.data(), &length, &type), kErrorSuccess);
    EXPECT_EQ(std::string(name.data(), length), value);
}

TEST_F(RegistryContract, QueryInfoKeyCountsAndLongestNames) {
    ASSERT_EQ(Create(Path("ab")), kErrorSuccess);
    ASSERT_EQ(Create(Path("abcde")), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "v", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "value", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    ASSERT_EQ(Write(Path(), "val", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    auto key = Open(Path(), kReadAccess);
    ASSERT_TRUE(key);
    std::uint32_t subKeys = 0, maxSubKeyLen = 0, values = 0, maxValueNameLen = 0;
    ASSERT_EQ(api.QueryInfoKey(key->Get(), &subKeys, &maxSubKeyLen, &values, &maxValueNameLen),
              kErrorSuccess);
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(maxSubKeyLen, 5u);
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(maxValueNameLen, 5u);

    auto empty = Open(Path("ab"), kReadAccess);
    ASSERT_TRUE(empty);
    ASSERT_EQ(api.QueryInfoKey(empty->Get(), &subKeys, &maxSubKeyLen, &values, &maxValueNameLen),
              kErrorSuccess);
    EXPECT_EQ(subKeys, 0u);
    EXPECT_EQ(maxSubKeyLen, 0u);
    EXPECT_EQ(values, 0u);
    EXPECT_EQ(maxValueNameLen, 0u);
}

// One level may have 256 characters here (Windows stops at 255).
TEST_F(RegistryContract, KeyNamesAreLimitedTo256Characters) {
    auto parent = CreateOpen(Path());
    ASSERT_TRUE(parent);
    const std::string longest(256, 'k');
    RegKey key = 0;
    std::uint32_t how = 0;
    ASSERT_EQ(api.CreateKeyEx(parent->Get(), longest, "", kWriteAccess, false, &key, &how),
              kErrorSuccess);
    api.CloseKey(key);
    EXPECT_EQ(api.CreateKeyEx(parent->Get(), longest + "k", "", kWriteAccess, false, &key, &how),
              kErrorInvalidParameter);
    EXPECT_EQ(api.OpenKeyEx(parent->Get(), longest + "k", kReadAccess, &key), kErrorInvalidParameter);
    EXPECT_EQ(api.OpenKeyEx(parent->Get(), longest, kReadAccess, &key), kErrorSuccess);
    api.CloseKey(key);
    EXPECT_EQ(SubKeyNames(Path()), (Names{longest}));
    EXPECT_EQ(api.DeleteKey(parent->Get(), longest), kErrorSuccess);
}

// The ANSI functions take sub-key paths of at most 260 characters.
TEST_F(RegistryContract, SubKeyPathsAreLimitedTo260Characters) {
    auto parent = CreateOpen(Path());
    ASSERT_TRUE(parent);
    const std::string level(200, 'p');
    const std::string fits = level + "\\" + std::string(59, 'q');
    const std::string tooLong = fits + "q";
    ASSERT_EQ(fits.size(), 260u);
    RegKey key = 0;
    std::uint32_t how = 0;
    ASSERT_EQ(api.CreateKeyEx(parent->Get(), fits, "", kWriteAccess, false, &key, &how),
              kErrorSuccess);
    api.CloseKey(key);
    EXPECT_EQ(api.OpenKeyEx(parent->Get(), fits, kReadAccess, &key), kErrorSuccess);
    api.CloseKey(key);
    EXPECT_EQ(api.CreateKeyEx(parent->Get(), tooLong, "", kWriteAccess, false, &key, &how),
              kErrorMoreData);
    EXPECT_EQ(api.OpenKeyEx(parent->Get(), tooLong, kReadAccess, &key), kErrorMoreData);
    EXPECT_EQ(api.DeleteKey(parent->Get(), tooLong), kErrorMoreData);
    EXPECT_EQ(api.OpenKeyEx(parent->Get(), level, kReadAccess, &key), kErrorSuccess);
    std::uint32_t subKeys = 0;
    EXPECT_EQ(api.QueryInfoKey(key, &subKeys, nullptr, nullptr, nullptr), kErrorSuccess);
    EXPECT_EQ(subKeys, 1u);
    api.CloseKey(key);
    EXPECT_EQ(api.DeleteKey(parent->Get(), fits), kErrorSuccess);
}

TEST_F(RegistryContract, ValueNamesAreLimitedTo16383Characters) {
    auto key = CreateOpen(Path());
    ASSERT_TRUE(key);
    const unsigned char data[4] = {1, 0, 0, 0};
    const std::string longest(16383, 'v');
    EXPECT_EQ(api.SetValueEx(key->Get(), longest, kRegDword, data, 4), kErrorSuccess);
    EXPECT_EQ(api.SetValueEx(key->Get(), longest + "v", kRegDword, data, 4), kErrorInvalidParameter);
    EXPECT_EQ(ValueNames(Path()), (Names{longest}));
    EXPECT_EQ(api.DeleteValue(key->Get(), longest + "v"), kErrorFileNotFound);
}

TEST_F(RegistryContract, KeyWithSubKeysIsNotDeleted) {
    ASSERT_EQ(Create(Path("parent\\child")), kErrorSuccess);
    EXPECT_EQ(api.DeleteKey(kHkeyCurrentUser, Path("parent")), kErrorAccessDenied);
    EXPECT_TRUE(KeyExists(Path("parent\\child")));
    EXPECT_EQ(api.DeleteKey(kHkeyCurrentUser, Path("parent\\child")), kErrorSuccess);
    EXPECT_EQ(api.DeleteKey(kHkeyCurrentUser, Path("parent")), kErrorSuccess);
    EXPECT_FALSE(KeyExists(Path("parent")));
}

TEST_F(RegistryContract, DeleteKeyWithEmptyNameDeletesTheOpenedKey) {
    ASSERT_EQ(Write(Path("leaf"), "v", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    {
        auto key = Open(Path("leaf"));
        ASSERT_TRUE(key);
        EXPECT_EQ(api.DeleteKey(key->Get(), ""), kErrorSuccess);
    }
    EXPECT_FALSE(KeyExists(Path("leaf")));
    EXPECT_TRUE(KeyExists(Path()));
}

TEST_F(RegistryContract, DeleteKeyWithEmptyNameKeepsAKeyWithSubKeys) {
    ASSERT_EQ(Create(Path("branch\\twig")), kErrorSuccess);
    auto key = Open(Path("branch"));
    ASSERT_TRUE(key);
    EXPECT_EQ(api.DeleteKey(key->Get(), ""), kErrorAccessDenied);
    EXPECT_TRUE(KeyExists(Path("branch\\twig")));
}

TEST_F(RegistryContract, DeleteKeyRemovesItsValues) {
    ASSERT_EQ(Write(Path("gone"), "v", kRegDword, {1, 0, 0, 0}), kErrorSuccess);
    EXPECT_EQ(api.DeleteKey(kHkeyCurrentUser, Path("gone")), kErrorSuccess);
    std::uint32_t how = 0;
    ASSERT_EQ(Create(Path("gone"), &how), kErrorSuccess);
    EXPECT_EQ(how, kRegCreatedNewKey);
    EXPECT_FALSE(ValueExists(Path("gone"), "v"));
}

TEST_F(RegistryContract, PathsAsDeleteKeyTakesThem) {
    auto parent = CreateOpen(Path());
    ASSERT_TRUE(parent);
    ASSERT_EQ(Create(Path("trailing")), kErrorSuccess);
    ASSERT_EQ(Create(Path("double\\inner")), kErrorSuccess);
    ASSERT_EQ(Create(Path("lead")), kErrorSuccess);
    EXPECT_EQ(api.DeleteKey(parent->Get(), "trailing\\"), kErrorSuccess);
    EXPECT_EQ(api.DeleteKey(parent->Get(), "double\\\\inner"), kErrorSuccess);
    EXPECT_EQ(api.DeleteKey(parent->Get(), "\\lead"), kErrorBadPathname);
    EXPECT_EQ(SubKeyNames(Path()), (Names{"double", "lead"}));
}

TEST_F(RegistryContract, HandleOfADeletedKeyRefusesWork) {
    constexpr long kErrorKeyDeleted = 1018;
    auto key = CreateOpen(Path("doomed"));
    ASSERT_TRUE(key);
    ASSERT_EQ(api.DeleteKey(kHkeyCurrentUser, Path("doomed")), kErrorSuccess);
    const unsigned char data[4] = {1, 0, 0, 0};
    EXPECT_EQ(api.SetValueEx(key->Get(), "v", kRegDword, data, 4), kErrorKeyDeleted);
    RegKey child = 0;
    std::uint32_t how = 0;
    EXPECT_EQ(api.CreateKeyEx(key->Get(), "c", "", kWriteAccess, false, &child, &how),
              kErrorKeyDeleted);
    EXPECT_FALSE(KeyExists(Path("doomed")));
}

TEST_F(RegistryContract, UnknownHandlesAreInvalid) {
    RegKey key = 0;
    ASSERT_EQ(api.CreateKeyEx(kHkeyCurrentUser, Path(), "", kWriteAccess, false, &key, nullptr),
              kErrorSuccess);
    EXPECT_EQ(api.CloseKey(key), kErrorSuccess);
    EXPECT_EQ(api.CloseKey(key), kErrorInvalidHandle);
    const unsigned char data[4] = {1, 0, 0, 0};
    EXPECT_EQ(api.SetValueEx(key, "v", kRegDword, data, 4), kErrorInvalidHandle);
}

TEST_F(RegistryContract, ErrorTextDescribesACode) {
    EXPECT_FALSE(api.ErrorText(kErrorAccessDenied).empty());
    const std::string text = api.ErrorText(kErrorFileNotFound);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.back(), '\n');
    EXPECT_NE(text.back(), '\r');
}

}  // namespace
}  // namespace zuv::contract
