// Edges where a plausible fault once went unnoticed, one row each: the removal of created keys,
// the merge of /undo:original, the dry run's changes, REG_DWORD shown, the clock slack of backup
// names, the log's started-from column of a refused address, and the two texts of a range of
// another zone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "backup/backup_document.h"
#include "backup/backup_files.h"
#include "backup/document_restore.h"
#include "backup/plan_changes.h"
#include "base/runtime_error.h"
#include "base/text.h"
#include "browser_config/browser_config.h"
#include "program/command_line.h"
#include "program/program.h"
#include "registry/overlay_registry.h"
#include "tests/doubles/fake_host.h"
#include "tests/unit/fixture.h"

namespace zuv::test {
namespace {

using namespace std::chrono;

const std::string kSite = std::string(kZoneMapRoot) + "Domains\\example.com";

class Survivors : public RegistryFixture {
protected:
    MemoryStoredRegistry stored{memory, *codePage};
};

// A key an apply made is removed by the undo only while it holds neither values nor keys: what
// the user put there since stays, and nothing is refused.
TEST_F(Survivors, ACreatedKeyTheUserFilledStays) {
    Put(kSite + "\\values", "mine", kRegDword, Bytes({1, 0, 0, 0}));
    PutKey(kSite + "\\keys\\below");
    PutKey(kSite + "\\empty");
    RegDocument document;
    for (const char* name : {"\\values", "\\keys", "\\empty"}) {
        document.createdKeys.push_back({kHkeyCurrentUser, kSite + name});
    }
    EXPECT_EQ(RestoreDocument(memory, *codePage, document), std::vector<std::string>{});
    EXPECT_EQ(Raw(kSite + "\\values", "mine"), Dword(1)) << "a key with values stays";
    EXPECT_TRUE(HasKey(kSite + "\\keys\\below")) << "a key with keys stays";
    EXPECT_FALSE(HasKey(kSite + "\\empty")) << "an empty one goes";
}

DocumentKey Key(const std::string& path, bool remove, std::vector<std::pair<std::string, std::uint32_t>> values) {
    DocumentKey key{kHkeyCurrentUser, path, remove, {}};
    for (const auto& [name, number] : values) {
        key.entries.push_back({name, StoredValue{name, kRegDword, {static_cast<unsigned char>(number), 0, 0, 0}}});
    }
    return key;
}

// The merge of /undo:original: what the oldest document names wins, names compared as the
// registry compares them, and nothing comes back inside a key removed before.
TEST(OriginalMerge, OldestFirstByRegistryNames) {
    RegDocument older;
    older.keys = {Key(kSite, false, {{"Http", 1}}), Key(kSite + "\\gone", true, {})};
    RegDocument newer;
    newer.keys = {Key(std::string(kZoneMapRoot) + "DOMAINS\\Example.COM", false, {{"http", 2}, {"https", 3}}),
                  Key(kSite + "\\GONE", false, {{"x", 4}})};
    const RegDocument merged = EarliestOf({older, newer});
    ASSERT_EQ(merged.keys.size(), 2u) << "one key per registry name";
    ASSERT_EQ(merged.keys[0].entries.size(), 2u);
    EXPECT_EQ(merged.keys[0].entries[0].name, "Http");
    EXPECT_EQ(merged.keys[0].entries[0].value->data[0], 1) << "the older value wins, whatever its case";
    EXPECT_EQ(merged.keys[0].entries[1].name, "https");
    EXPECT_TRUE(merged.keys[1].remove);
    EXPECT_TRUE(merged.keys[1].entries.empty()) << "nothing comes back in a key removed before";
}

// The dry run's changes: a key deleted and made again is no deleted key; a value of a deleted
// key is gone unless that key's own value is written again, whatever other keys write.
TEST_F(Survivors, WhatIfOfADeletedKey) {
    Put(kSite, "http", kRegDword, Bytes({2, 0, 0, 0}));
    Put(kSite, "1001", kRegDword, Bytes({7, 0, 0, 0}));
    OverlayRegistry view(memory, *codePage);
    mdlReg planned(view, *codePage);
    ASSERT_TRUE(planned.DeleteEntry(kHkeyCurrentUser, kSite, ""));
    ASSERT_TRUE(planned.SetValue(kHkeyCurrentUser, kSite + "\\", "http", 2.0, kRegDword));
    ASSERT_TRUE(planned.SetValue(kHkeyCurrentUser, kTrustedZoneKey, "1001", 0.0, kRegDword));
    const Result<PlanChanges> changes = ChangesOf(view.Planned(), stored);
    ASSERT_TRUE(changes) << changes.Error();
    EXPECT_EQ(ChangesText(changes.Value()),
              "创建项  HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\\n"
              "创建项  HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2\\\n"
              "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2\\  \"1001\"  "
              "（无） -> REG_DWORD 0\n"
              "HKEY_CURRENT_USER\\" + kSite + "\\  \"1001\"  REG_DWORD 7 -> （删除）\n");
    EXPECT_EQ(changes.Value().unchanged, 1u) << "http, written again the same";
    // Deleted for good, it is listed as such.
    OverlayRegistry gone(memory, *codePage);
    mdlReg deleting(gone, *codePage);
    ASSERT_TRUE(deleting.DeleteEntry(kHkeyCurrentUser, kSite, ""));
    const Result<PlanChanges> deleted = ChangesOf(gone.Planned(), stored);
    ASSERT_TRUE(deleted) << deleted.Error();
    EXPECT_EQ(deleted.Value().deletedKeys.size(), 1u);
}

TEST(ValueText, ADwordIsFourBytes) {
    const auto shown = [](std::vector<unsigned char> data) {
        return ValueDataText(StoredValue{"d", kRegDword, std::move(data)});
    };
    EXPECT_EQ(shown({1, 0, 0, 0}), "REG_DWORD 1");
    EXPECT_EQ(shown({1, 0, 0, 0, 5}), "REG_(4) 01 00 00 00 05");
    EXPECT_EQ(shown({1, 0, 0}), "REG_(4) 01 00 00");
}

TEST(BackupNames, TheClockSlackIsTheLastOwnTime) {
    const BackupTime now = local_days{2026y / 12 / 8} + 18h;
    EXPECT_TRUE(OwnBackupTime(BackupFileName(now + kBackupClockSlack), now));
    EXPECT_FALSE(OwnBackupTime(BackupFileName(now + kBackupClockSlack + 1ms), now));
}

class LoggedRuns : public RegistryFixture {
protected:
    FakeHost host;
    MemoryStoredRegistry stored{memory, *codePage};
    ProgramRegistry registry{memory, *codePage, stored};

    int Run(const std::vector<std::string>& arguments) {
        host.output.clear();
        return RunProgram(ParseCommandLine(arguments), host, registry, [](mdlReg&, const ApplyRecords&) { return 99; });
    }
    std::string LastLogLine() { return host.logs[host.defaultLog].back(); }
};

// A refused address wrote nothing over https: its line says "quiet", as any refused address.
TEST_F(LoggedRuns, ARefusedAddressIsNotLoggedAsHttps) {
    ASSERT_EQ(Run({"/quiet", "/https", "/address:http://portal/x"}), kExitNotUnderstood);
    EXPECT_NE(LastLogLine().find("\tquiet\t\"http://portal/x\"\t"), std::string::npos) << LastLogLine();
    ASSERT_EQ(Run({"/quiet", "/https", "/address:portal"}), kExitSuccess);
    EXPECT_NE(LastLogLine().find("\tquiet https\t\"portal\"\t"), std::string::npos) << LastLogLine();
}

// A range of another zone with a long key name: the output names it shortened, the log whole.
TEST_F(LoggedRuns, ARangeConflictIsShortInTheOutputAndWholeInTheLog) {
    const std::string name = "Range" + std::string(70, 'x');
    Put(std::string(kZoneMapRoot) + "Ranges\\" + name, ":Range", kRegSz, TextBytes("192.0.2.10"));
    Put(std::string(kZoneMapRoot) + "Ranges\\" + name, "http", kRegDword, Bytes({4, 0, 0, 0}));
    ASSERT_EQ(Run({"/quiet", "/address:192.0.2.10"}), kExitApplyFailed);
    const std::string firstLine = host.output.substr(0, host.output.find('\n'));
    EXPECT_EQ(firstLine.find(name), std::string::npos) << firstLine;
    EXPECT_NE(firstLine.find(ShortenMiddle(name, kShortNameLength)), std::string::npos) << firstLine;
    EXPECT_NE(LastLogLine().find("Ranges\\" + name + "\\ 的范围内"), std::string::npos) << LastLogLine();
}

}  // namespace
}  // namespace zuv::test
