// The backup file of an apply: its text, and the names and pruning of the backup folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/backup_files.h"
#include "base/text.h"
#include "registry/backup_document.h"
#include "tests/unit/fixture.h"

namespace zuv::test {
namespace {

using namespace std::chrono;

class BackupDocumentTest : public RegistryFixture {};

TEST_F(BackupDocumentTest, EachTypeAsWindowsToolsWriteIt) {
    const std::string key = "Software\\T";
    Put(key, "s", kRegSz, TextBytes(codePage->FromUtf8("a\"b\\c 中")));
    Put(key, "d", kRegDword, Bytes({0x78, 0x56, 0x34, 0x12}));
    Put(key, "", kRegBinary, std::vector<unsigned char>(30, 0xAB));
    Put(key, "x", kRegExpandSz, TextBytes("%x%"));
    Put(key, "n", 0, {});
    Put(key, "bare", kRegSz, Bytes({'a', 'b'}));
    Put(key, "q", 11, Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
    Put(key, "untouched", kRegDword, Bytes({1, 0, 0, 0}));
    PlannedWrites planned;
    for (const char* name : {"s", "d", "", "x", "n", "bare", "q", "missing"}) {
        planned.values.push_back({kHkeyCurrentUser, key, name});
    }
    planned.values.push_back({kHkeyCurrentUser, key + "\\New\\Deeper", "v"});
    planned.createdKeys = {{kHkeyCurrentUser, key + "\\New"}, {kHkeyCurrentUser, key + "\\New\\Deeper"}};
    MemoryStoredRegistry stored(memory, *codePage);
    const BackupDocument document = MakeBackupDocument(planned, stored);
    ASSERT_EQ(document.error, "");
    ASSERT_GE(document.bytes.size(), 2u);
    std::u16string text;
    for (std::size_t i = 0; i + 1 < document.bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(document.bytes[i] | document.bytes[i + 1] << 8));
    }
    EXPECT_EQ(Utf8FromUtf16(text),
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\Software\\T]\r\n"
              "@=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
              "  ab,ab,ab,ab,ab,ab\r\n"
              "\"bare\"=hex(1):61,00,62,00\r\n"
              "\"d\"=dword:12345678\r\n"
              "\"n\"=hex(0):\r\n"
              "\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
              "\"s\"=\"a\\\"b\\\\c 中\"\r\n"
              "\"x\"=hex(2):25,00,78,00,25,00,00,00\r\n"
              "\"missing\"=-\r\n"
              "\r\n"
              "[-HKEY_CURRENT_USER\\Software\\T\\New]\r\n"
              "\r\n");
}

TEST(BackupFiles, NamesSortInTheOrderTheAppliesRan) {
    const BackupTime t = local_days{2026y / 12 / 8} + 18h + 6min + 55s + 123ms;
    EXPECT_EQ(BackupFileName(t), "20261208-180655-123.reg");
    EXPECT_EQ(BackupFileTime("20261208-180655-123.reg"), t);
    for (const char* other : {"20261308-180655-123.reg", "20261208-180655-123.txt", "x.reg", "20261208-240000-000.reg"}) {
        EXPECT_EQ(BackupFileTime(other), std::nullopt) << other;
    }
    std::vector<std::string> names;
    // Two applies within one millisecond, then one after the clock was set back an hour.
    for (const BackupTime now : {t, t, t - 1h, t + 2ms}) names.push_back(NextBackupName(now, names));
    EXPECT_EQ(names, (std::vector<std::string>{"20261208-180655-123.reg", "20261208-180655-124.reg",
                                                "20261208-180655-125.reg", "20261208-180655-126.reg"}));
}

TEST(BackupFiles, PruningKeepsTheNewestAndOtherFiles) {
    std::vector<std::string> names{"notes.reg", "backup.txt"};
    const BackupTime t = local_days{2026y / 12 / 31} + 23h + 59min + 59s + 990ms;
    for (int i = 32; i >= 0; --i) names.push_back(BackupFileName(t + milliseconds{i}));
    EXPECT_EQ(BackupsToPrune(names, 30),
              (std::vector<std::string>{"20261231-235959-990.reg", "20261231-235959-991.reg",
                                        "20261231-235959-992.reg"}));
    EXPECT_EQ(BackupsToPrune(names, 40), std::vector<std::string>{});
}

}  // namespace
}  // namespace zuv::test
