// The backup file of an apply: its text, and the names and pruning of the backup folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "backup/backup_files.h"
#include "base/text.h"
#include "browser_config/browser_config.h"
#include "backup/backup_document.h"
#include "registry/mdlReg.h"
#include "registry/overlay_registry.h"
#include "tests/unit/fixture.h"
#include "tests/support/results.h"

namespace zuv::test {
namespace {

using namespace std::chrono;

// A key of the tests: one below a tree of the zone map, where any key and value is the tool's own.
const std::string kT = std::string(kZoneMapRoot) + "Domains\\T";

class BackupDocumentTest : public RegistryFixture {};

TEST_F(BackupDocumentTest, EachTypeAsWindowsToolsWriteIt) {
    const std::string key = kT;
    Put(key, "s", kRegSz, TextBytes(codePage->FromUtf8("a\"b\\c 中")));
    Put(key, "d", kRegDword, Bytes({0x78, 0x56, 0x34, 0x12}));
    Put(key, "", kRegBinary, std::vector<unsigned char>(30, 0xAB));
    Put(key, "x", kRegExpandSz, TextBytes("%x%"));
    Put(key, "n", 0, {});
    Put(key, "bare", kRegSz, Bytes({'a', 'b'}));
    Put(key, "q", 11, Bytes({1, 0, 0, 0, 0, 0, 0, 0}));
    Put(key, "untouched", kRegDword, Bytes({1, 0, 0, 0}));
    // Text with a control in it: a line break would end the quoted line.
    Put(key, "crlf", kRegSz, TextBytes("a\r\nb"));
    Put(key, "cr", kRegSz, TextBytes("a\rb"));
    Put(key, "lf", kRegSz, TextBytes("\n"));
    Put(key, "tab", kRegSz, TextBytes("a\tb"));
    // A dword of another length than four bytes is kept byte for byte.
    Put(key, "d8", kRegDword, Bytes({1, 2, 3, 4, 5, 6, 7, 8}));
    Put(key, "d3", kRegDword, Bytes({1, 2, 3}));
    // Stored in another case than the apply writes it: the same value.
    Put(key, "popupmgr", kRegDword, Bytes({1, 0, 0, 0}));
    PlannedWrites planned;
    for (const char* name : {"s", "d", "", "x", "n", "bare", "q", "crlf", "cr", "lf", "tab", "d8",
                             "d3", "PopupMgr", "missing"}) {
        planned.values.push_back({kHkeyCurrentUser, key, name});
    }
    planned.values.push_back({kHkeyCurrentUser, key + "\\New\\Deeper", "v"});
    planned.createdKeys = {{kHkeyCurrentUser, key + "\\New"}, {kHkeyCurrentUser, key + "\\New\\Deeper"}};
    MemoryStoredRegistry stored(memory, *codePage);
    const BackupDocument document = Made(MakeBackupDocument(planned, stored));
    ASSERT_GE(document.bytes.size(), 2u);
    std::u16string text;
    for (std::size_t i = 0; i + 1 < document.bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(document.bytes[i] | document.bytes[i + 1] << 8));
    }
    EXPECT_EQ(Utf8FromUtf16(text),
              "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
              "; ZUVPortalSetting backup\r\n"
              "; created: [HKEY_CURRENT_USER\\" + kT + "\\New]\r\n"
              "; created: [HKEY_CURRENT_USER\\" + kT + "\\New\\Deeper]\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\" + kT + "]\r\n"
              "@=hex:ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,ab,\\\r\n"
              "  ab,ab,ab,ab,ab,ab\r\n"
              "\"bare\"=hex(1):61,00,62,00\r\n"
              "\"cr\"=hex(1):61,00,0d,00,62,00,00,00\r\n"
              "\"crlf\"=hex(1):61,00,0d,00,0a,00,62,00,00,00\r\n"
              "\"d\"=dword:12345678\r\n"
              "\"d3\"=hex(4):01,02,03\r\n"
              "\"d8\"=hex(4):01,02,03,04,05,06,07,08\r\n"
              "\"lf\"=hex(1):0a,00,00,00\r\n"
              "\"n\"=hex(0):\r\n"
              "\"popupmgr\"=dword:00000001\r\n"
              "\"q\"=hex(b):01,00,00,00,00,00,00,00\r\n"
              "\"s\"=\"a\\\"b\\\\c 中\"\r\n"
              "\"tab\"=hex(1):61,00,09,00,62,00,00,00\r\n"
              "\"x\"=hex(2):25,00,78,00,25,00,00,00\r\n"
              "\"missing\"=-\r\n"
              "\r\n"
              "[HKEY_CURRENT_USER\\" + kT + "\\New\\Deeper]\r\n"
              "\"v\"=-\r\n"
              "\r\n");
    EXPECT_TRUE(document.changes) << "a plan whose end is not known changes what it names";
}

// The text of a document after its byte-order mark and header, as UTF-8.
std::string Body(const BackupDocument& document) {
    std::u16string text;
    for (std::size_t i = 2; i + 1 < document.bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(document.bytes[i] | document.bytes[i + 1] << 8));
    }
    const std::string utf8 = Utf8FromUtf16(text);
    const std::string header = "Windows Registry Editor Version 5.00\r\n";
    return utf8.rfind(header, 0) == 0 ? utf8.substr(header.size()) : "no header: " + utf8;
}

// Steps run against a view of the fixture's registry, and the backup of what they planned.
class PlannedBackupTest : public RegistryFixture {
protected:
    BackupDocument Plan(const std::function<void(mdlReg&)>& steps) {
        OverlayRegistry view(memory, *codePage);
        mdlReg planned(view, *codePage);
        steps(planned);
        MemoryStoredRegistry stored(memory, *codePage);
        return Made(MakeBackupDocument(view.Planned(), stored));
    }
};

TEST_F(PlannedBackupTest, UndoesOnlyWhatTheApplyWrites) {
    Put(kT, "old", kRegDword, Bytes({1, 0, 0, 0}));
    Put(kT + "\\Gone", "a", kRegSz, TextBytes(codePage->FromUtf8("旧")));
    Put(kT + "\\Gone", "b", kRegBinary, Bytes({1, 2}));
    Put(kT + "\\Lone", "z", kRegDword, Bytes({5, 0, 0, 0}));
    const BackupDocument document = Plan([](mdlReg& r) {
        EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, kT + "\\", "old", 2.0, kRegDword));
        EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, kT + "\\", "added", 2.0, kRegDword));
        // A key deleted and written again, as the site procedure does it.
        EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, kT + "\\Gone", ""));
        EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, kT + "\\Gone\\", "a", std::string("新"), kRegSz));
        EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, kT + "\\Gone\\", "c", 1.0, kRegDword));
        // A key deleted for good.
        EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, kT + "\\Lone", ""));
        // Keys made, with a value in the deepest; a value written and deleted again.
        EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, kT + "\\New\\Deeper\\", "v", 1.0, kRegDword));
        EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, kT + "\\", "brief", 1.0, kRegDword));
        EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, kT + "\\", "brief"));
    });
    EXPECT_TRUE(document.changes);
    // No key is removed: what is put below the new keys later stays when this is imported. The
    // keys made are named on comment lines, which importers skip.
    EXPECT_EQ(Body(document),
              "; ZUVPortalSetting backup\r\n"
              "; created: [HKEY_CURRENT_USER\\" + kT + "\\New]\r\n"
              "; created: [HKEY_CURRENT_USER\\" + kT + "\\New\\Deeper]\r\n"
              "\r\n[HKEY_CURRENT_USER\\" + kT + "]\r\n"
              "\"old\"=dword:00000001\r\n"
              "\"added\"=-\r\n"
              "\r\n[HKEY_CURRENT_USER\\" + kT + "\\Gone]\r\n"
              "\"a\"=\"旧\"\r\n"
              "\"b\"=hex:01,02\r\n"
              "\"c\"=-\r\n"
              "\r\n[HKEY_CURRENT_USER\\" + kT + "\\Lone]\r\n"
              "\"z\"=dword:00000005\r\n"
              "\r\n[HKEY_CURRENT_USER\\" + kT + "\\New\\Deeper]\r\n"
              "\"v\"=-\r\n"
              "\r\n");
}

// Whether a plan changes anything is its net effect, value for value and key for key.
TEST_F(PlannedBackupTest, NoChangeIsTheSameTypeAndDataAtTheEnd) {
    const std::string key = kT + "\\";
    struct Case {
        const char* name;
        std::function<void(mdlReg&)> steps;
        bool changes;
    };
    const auto dword = [&](const char* name, double n, std::uint32_t type = kRegDword) {
        return [=](mdlReg& r) { EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, key, name, n, type)); };
    };
    const auto text = [&](const char* name, const char* utf8, std::uint32_t type = kRegSz) {
        return [=](mdlReg& r) { EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, key, name, std::string(utf8), type)); };
    };
    const auto rewriteSite = [&](bool both) {
        return [=](mdlReg& r) {
            EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, key + "Site", ""));
            EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, key + "Site\\", "http", 2.0, kRegDword));
            if (both) {
                EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, key + "Site\\", "https", 2.0, kRegDword));
            }
        };
    };
    const Case cases[] = {
        {"the same dword again", dword("d", 3), false},
        {"the same dword again, its name in another case", dword("D", 3), false},
        {"another number", dword("d", 4), true},
        {"a dword over binary of the same bytes", dword("bin", 3), true},
        {"the same text again", text("s", "门户"), false},
        {"other text", text("s", "门"), true},
        {"the same text as another text type", text("s", "门户", kRegExpandSz), true},
        {"a new value", dword("new", 1), true},
        {"a value deleted", [&](mdlReg& r) { EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, key, "d")); }, true},
        {"a new value deleted again",
         [&](mdlReg& r) {
             dword("new", 1)(r);
             EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, key, "new"));
         },
         false},
        {"a value changed and changed back",
         [&](mdlReg& r) {
             dword("d", 9)(r);
             dword("d", 3)(r);
         },
         false},
        {"a key deleted and written again whole", rewriteSite(true), false},
        {"a key deleted and written again without a value", rewriteSite(false), true},
        {"a key deleted", [&](mdlReg& r) { EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, key + "Site", "")); }, true},
        {"a key made, left empty",
         [&](mdlReg& r) {
             EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, key + "Empty\\", "x", 1.0, kRegDword));
             EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, key + "Empty\\", "x"));
         },
         true},
        {"a key made and deleted again",
         [&](mdlReg& r) {
             EXPECT_TRUE(r.SetValue(kHkeyCurrentUser, key + "Brief\\", "x", 1.0, kRegDword));
             EXPECT_TRUE(r.DeleteEntry(kHkeyCurrentUser, key + "Brief", ""));
         },
         false},
        {"the default value, empty, again", text("", ""), false},
    };
    Put(key, "d", kRegDword, Bytes({3, 0, 0, 0}));
    Put(key, "bin", kRegBinary, Bytes({3, 0, 0, 0}));
    Put(key, "s", kRegSz, TextBytes(codePage->FromUtf8("门户")));
    Put(key, "", kRegSz, TextBytes(""));
    Put(key + "Site", "http", kRegDword, Bytes({2, 0, 0, 0}));
    Put(key + "Site", "https", kRegDword, Bytes({2, 0, 0, 0}));
    const std::string before = memory.Dump(kHkeyCurrentUser);
    for (const Case& c : cases) {
        const BackupDocument document = Plan(c.steps);
        EXPECT_EQ(document.changes, c.changes) << c.name << "\n" << Body(document);
        ASSERT_EQ(memory.Dump(kHkeyCurrentUser), before) << c.name << ": the plan wrote";
    }
}

class OverlayViewTest : public RegistryFixture {
protected:
    // The names EnumValue lists through `view` for `key`, and the count QueryInfoKey gives.
    static std::vector<std::string> Listed(RegistryApi& view, RegKey key, std::uint32_t& counted) {
        std::vector<std::string> names;
        for (std::uint32_t index = 0;; ++index) {
            char name[64];
            std::uint32_t length = sizeof name;
            std::uint32_t type = 0;
            const long rc = view.EnumValue(key, index, name, &length, &type);
            if (rc != kErrorSuccess) {
                EXPECT_EQ(rc, kErrorNoMoreItems);
                break;
            }
            names.emplace_back(name, length);
        }
        counted = 99;
        EXPECT_EQ(view.QueryInfoKey(key, nullptr, nullptr, &counted, nullptr), kErrorSuccess);
        return names;
    }
};

// A value the registry beneath holds, deleted through the view: every later read and listing
// through the view, on the handle it was deleted with and on one opened afterwards, goes
// without it, while the registry beneath keeps it; written again, it is back.
TEST_F(OverlayViewTest, AValueDeletedInTheViewIsGoneFromReadsAndListings) {
    Put(kT, "keep", kRegDword, Bytes({1, 0, 0, 0}));
    Put(kT, "Drop", kRegSz, TextBytes("old"));
    const std::string before = memory.Dump(kHkeyCurrentUser);
    OverlayRegistry view(memory, *codePage);
    RegKey key = 0;
    ASSERT_EQ(view.OpenKeyEx(kHkeyCurrentUser, kT, kWriteAccess, &key), kErrorSuccess);
    std::uint32_t counted = 0;
    ASSERT_EQ(Listed(view, key, counted), (std::vector<std::string>{"Drop", "keep"}));
    ASSERT_EQ(view.DeleteValue(key, "DROP"), kErrorSuccess);

    RegKey later = 0;
    ASSERT_EQ(view.OpenKeyEx(kHkeyCurrentUser, kT, kReadAccess, &later), kErrorSuccess);
    for (const RegKey handle : {key, later}) {
        std::uint32_t type = 0;
        std::uint32_t size = 0;
        EXPECT_EQ(view.QueryValueEx(handle, "Drop", &type, nullptr, &size), kErrorFileNotFound) << handle;
        EXPECT_EQ(view.QueryValueEx(handle, "drop", nullptr, nullptr, nullptr), kErrorFileNotFound) << handle;
        EXPECT_EQ(Listed(view, handle, counted), std::vector<std::string>{"keep"}) << handle;
        EXPECT_EQ(counted, 1u) << handle;
        EXPECT_EQ(view.QueryValueEx(handle, "keep", nullptr, nullptr, &size), kErrorSuccess) << handle;
    }
    EXPECT_EQ(view.DeleteValue(key, "Drop"), kErrorFileNotFound) << "it is gone already";
    mdlReg through(view, *codePage);
    std::uint32_t type = 0;
    through.QueryValue(kHkeyCurrentUser, kT + "\\", "Drop", type);
    EXPECT_EQ(through.RegStatus, kErrorFileNotFound);
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), before) << "the registry beneath is never written";

    const PlannedWrites planned = view.Planned();
    ASSERT_EQ(planned.values.size(), 1u);
    EXPECT_EQ(planned.values[0].name, "DROP");
    ASSERT_TRUE(planned.end);
    EXPECT_EQ(planned.end->values[0], std::nullopt) << "it ends deleted";

    // Written again through the view, the new value shows, once.
    const auto data = TextBytes("new");
    ASSERT_EQ(view.SetValueEx(key, "drop", kRegSz, data.data(), static_cast<std::uint32_t>(data.size())),
              kErrorSuccess);
    std::vector<unsigned char> read(16);
    auto size = static_cast<std::uint32_t>(read.size());
    ASSERT_EQ(view.QueryValueEx(later, "Drop", &type, read.data(), &size), kErrorSuccess);
    EXPECT_EQ(std::vector<unsigned char>(read.begin(), read.begin() + size), data);
    EXPECT_EQ(Listed(view, later, counted).size(), 2u);
    EXPECT_EQ(counted, 2u);
    EXPECT_EQ(view.CloseKey(key), kErrorSuccess);
    EXPECT_EQ(view.CloseKey(later), kErrorSuccess);
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

TEST(BackupFiles, NamesOfOthersNeverHoldBackTheNext) {
    const BackupTime now = local_days{2026y / 12 / 8} + 18h + 6min + 55s + 123ms;
    const std::string own = "20261208-180655-123.reg";
    struct Case {
        std::vector<std::string> existing;
        std::string next;
    };
    const Case cases[] = {
        {{"99991231-235959-999.reg"}, own},                      // far in the future: not the tool's
        {{BackupFileName(now + 49h)}, own},                      // beyond what a clock set back explains
        {{BackupFileName(now + 47h)}, BackupFileName(now + 47h + 1ms)},  // a time zone further east
        {{BackupFileName(now + 1h)}, BackupFileName(now + 1h + 1ms)},    // summer time ended
        {{own}, "20261208-180655-124.reg"},                      // a file, or a folder, of that name
        {{"original-20261208-180655-123.reg", "20261208-180655-123.reg.partial", "x.reg",
          "20261208-180655-123.REG", "20261208-180655-1234.reg", "20261208-180655-12a.reg"},
         own},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NextBackupName(now, c.existing), c.next) << testing::PrintToString(c.existing);
    }
}

TEST(BackupFiles, PruningKeepsTheNewestAndOtherFiles) {
    const BackupTime t = local_days{2026y / 12 / 31} + 23h + 59min + 59s + 990ms;
    const BackupTime now = t + 1s;
    std::vector<std::string> names{"notes.reg", "backup.txt", "99991231-235959-999.reg",
                                   OriginalBackupFileName(t - 1h), BackupFileName(t) + ".partial"};
    for (int i = 32; i >= 0; --i) names.push_back(BackupFileName(t + milliseconds{i}));
    EXPECT_EQ(BackupsToPrune(names, now, 30),
              (std::vector<std::string>{"20261231-235959-990.reg", "20261231-235959-991.reg",
                                        "20261231-235959-992.reg"}));
    EXPECT_EQ(BackupsToPrune(names, now, 40), std::vector<std::string>{});
    EXPECT_EQ(BackupsToPrune(names, now, 0).size(), 33u) << "the original and foreign files stay";

    // As the program prunes: the newest thirty stay, beside the original and the other files.
    std::vector<std::string> folder(names.begin(), names.begin() + 5);
    for (int i = 0; i < 40; ++i) {
        folder.push_back(BackupFileName(t + milliseconds{i}));
        std::vector<std::string> kept = folder;
        for (const std::string& pruned : BackupsToPrune(folder, now)) {
            kept.erase(std::find(kept.begin(), kept.end(), pruned));
        }
        EXPECT_EQ(kept.size(), 5 + static_cast<std::size_t>(std::min(i + 1, 30))) << i + 1 << " backups";
        EXPECT_EQ(std::count(kept.begin(), kept.end(), OriginalBackupFileName(t - 1h)), 1) << i + 1;
        EXPECT_EQ(kept.back(), BackupFileName(t + milliseconds{i})) << "the newest stays";
        if (i + 1 > 30) {
            EXPECT_EQ(kept[5], BackupFileName(t + milliseconds{i - 29})) << "the oldest kept";
        }
        folder = kept;
    }
}

TEST(BackupFiles, TheOriginalIsTheOldestOfTheToolsOwnAndIsKeptOnce) {
    const BackupTime t = local_days{2026y / 12 / 8} + 18h + 6min + 55s + 123ms;
    const std::string first = BackupFileName(t);
    const std::string later = BackupFileName(t + 1min);
    const std::string last = BackupFileName(t + 2min);
    const std::string older = "original-20261208-180555-123.reg";  // a minute before `first`
    EXPECT_EQ(OriginalBackupFileName(t), "original-20261208-180655-123.reg");
    struct Case {
        std::vector<std::string> names;
        std::map<std::string, BackupKind> kinds;  // Marked unless named here
        std::optional<std::string> original;
        std::optional<std::string> toKeep;
    };
    using enum BackupKind;
    const Case cases[] = {
        {{}, {}, std::nullopt, std::nullopt},
        {{first}, {}, std::nullopt, first},  // the first apply's backup
        {{later, first, "99991231-235959-999.reg"}, {}, std::nullopt, first},
        {{"99991231-235959-999.reg", "notes.reg"}, {}, std::nullopt, std::nullopt},
        {{later, "original-20261208-180755-123.reg"}, {}, "original-20261208-180755-123.reg", std::nullopt},
        {{"original-20261208-180755-123.reg", "original-20261208-180655-123.reg", first}, {},
         "original-20261208-180655-123.reg", std::nullopt},  // two first applies at once: the older
        {{"original-x.reg", "original-20261308-180655-123.reg", "original-" + first + ".partial", later},
         {}, std::nullopt, later},
        // Only a backup this version wrote becomes the original: never a file merely named so
        // (a planted or damaged one), nor one without the mark, however old.
        {{first, later, last}, {{first, Foreign}, {later, Unmarked}}, std::nullopt, last},
        {{first, later}, {{first, Unmarked}, {later, Unmarked}}, std::nullopt, std::nullopt},
        {{first, later}, {{first, Foreign}, {later, Foreign}}, std::nullopt, std::nullopt},
        // An original that is not the tool's is none: the tool keeps its own beside it.
        {{older, later}, {{older, Foreign}}, std::nullopt, later},
        // An original without the mark is an earlier version's: it stays the original, but one
        // this version wrote comes first, however old the other.
        {{older, later}, {{older, Unmarked}}, older, std::nullopt},
        {{older, "original-" + later, later}, {{older, Unmarked}}, "original-" + later, std::nullopt},
    };
    for (const Case& c : cases) {
        const std::string names = testing::PrintToString(c.names);
        const KindOfFile kindOf = [&](const std::string& name) {
            const auto found = c.kinds.find(name);
            return found == c.kinds.end() ? Marked : found->second;
        };
        EXPECT_EQ(FindOriginalBackup(c.names, kindOf), c.original) << names;
        EXPECT_EQ(BackupToKeepAsOriginal(c.names, t + 1h, kindOf), c.toKeep) << names;
    }
}

TEST(BackupFiles, UnfinishedBackupsAreTheToolsOwnNamesOnly) {
    for (const char* name : {"20261208-180655-123.reg.partial", "original-20261208-180655-123.reg.partial",
                             "99991231-235959-999.reg.partial"}) {
        EXPECT_TRUE(IsUnfinishedBackup(name)) << name;
    }
    for (const char* name : {"20261208-180655-123.reg", "notes.partial", ".partial", "x.reg.partial",
                             "20261208-180655-123.reg.partial.txt", "20261208-180655-123.partial"}) {
        EXPECT_FALSE(IsUnfinishedBackup(name)) << name;
    }
}

}  // namespace
}  // namespace zuv::test
