// The dry run with its export, the .reg documents read back, and undoing applies.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "browser_config/browser_config.h"
#include "program/command_line.h"
#include "program/program.h"
#include "backup/backup_document.h"
#include "backup/backup_files.h"
#include "apply/portal_preview.h"
#include "apply/portal_undo.h"
#include "backup/document_restore.h"
#include "registry/overlay_registry.h"
#include "backup/plan_changes.h"
#include "tests/doubles/fake_host.h"
#include "tests/unit/fixture.h"
#include "tests/support/results.h"

namespace zuv::test {
namespace {

using namespace std::string_literals;

std::vector<unsigned char> Utf16(const std::u16string& text) {
    std::vector<unsigned char> out;
    for (const char16_t unit : text) {
        out.push_back(static_cast<unsigned char>(unit & 0xFF));
        out.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return out;
}

// Keys of the tests: below the zone map's Domains tree, where any key and value is the tool's own.
const std::string kT = std::string(kZoneMapRoot) + "Domains\\T";
const std::u16string kZones = u"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2";
const std::u16string kDomains = Utf16FromUtf8(std::string(kZoneMapRoot) + "Domains");
const std::u16string kS = u"HKEY_CURRENT_USER\\" + Utf16FromUtf8(std::string(kZoneMapRoot) + "Domains\\S");

std::vector<unsigned char> Document(const std::u16string& body) {
    return Utf16(u"\xFEFFWindows Registry Editor Version 5.00\r\n" + body);
}

class DocumentTest : public RegistryFixture {};

// Every value the backup writes reads back with the name, type and bytes it was stored with.
TEST_F(DocumentTest, WhatIsWrittenReadsBackExactly) {
    struct Row {
        const char* name;
        std::uint32_t type;
        std::vector<unsigned char> stored;  // as the registry holds it, text in UTF-16LE
    };
    const Row rows[] = {
        {"quote\"and\\slash", kRegSz, Utf16(u"a\"b\\c \"\\\\ 中文\0"s)},
        {"", kRegSz, Utf16(u"default\0"s)},                          // the default value, @
        {"d", kRegDword, Bytes({0x78, 0x56, 0x34, 0x12})},
        {"long", kRegBinary, std::vector<unsigned char>(100, 0xCD)},  // continued over lines
        {"empty", kRegBinary, {}},
        {"exp", kRegExpandSz, Utf16(u"%USERPROFILE%\\x\0"s)},
        {"multi", kRegMultiSz, Utf16(u"一\0two\0\0"s)},
        {"ctrl", kRegSz, Utf16(u"line\r\nbreak\0"s)},                 // carried as hex(1)
        {"odd", 11, Bytes({1, 2, 3})},
        {"[bracket]=", kRegSz, Utf16(u"=-\0"s)},
    };
    const std::string key = kT;
    MemoryStoredRegistry stored(memory, *codePage);
    PlannedWrites planned;
    for (const Row& row : rows) planned.values.push_back({kHkeyCurrentUser, key, row.name});
    planned.values.push_back({kHkeyCurrentUser, key + "\\New", "added"});
    planned.createdKeys = {{kHkeyCurrentUser, key + "\\New"}};
    // What the stored registry hands out is what the file carries: a stored registry of rows.
    struct RowStore final : StoredRegistry {
        std::vector<StoredValue> values;
        long ReadKey(RegKey, const std::string& path, std::vector<StoredValue>& out) override {
            out = path == kT ? values : std::vector<StoredValue>{};
            return path == kT ? kErrorSuccess : kErrorFileNotFound;
        }
        std::string ErrorText(long) override { return "x"; }
    } rowStore;
    for (const Row& row : rows) rowStore.values.push_back({row.name, row.type, row.stored});
    const BackupDocument document = Made(MakeBackupDocument(planned, rowStore, "note text"));
    RegDocument read;
    std::string error;
    ASSERT_TRUE(ParseInto(document.bytes, read, error)) << error;
    ASSERT_EQ(read.keys.size(), 2u);
    EXPECT_EQ(read.keys[0].path, key);
    ASSERT_EQ(read.keys[0].entries.size(), std::size(rows));
    for (const Row& row : rows) {
        const auto found = std::find_if(read.keys[0].entries.begin(), read.keys[0].entries.end(),
                                        [&](const DocumentEntry& e) { return e.name == row.name; });
        ASSERT_NE(found, read.keys[0].entries.end()) << row.name;
        ASSERT_TRUE(found->value) << row.name;
        EXPECT_EQ(found->value->type, row.type) << row.name;
        EXPECT_EQ(found->value->data, row.stored) << row.name;
    }
    EXPECT_EQ(read.keys[1].path, key + "\\New");
    ASSERT_EQ(read.keys[1].entries.size(), 1u);
    EXPECT_EQ(read.keys[1].entries[0].name, "added");
    EXPECT_FALSE(read.keys[1].entries[0].value) << "=- reads back as no value";
    ASSERT_EQ(read.createdKeys.size(), 1u);
    EXPECT_EQ(read.createdKeys[0].path, key + "\\New");
    EXPECT_EQ(read.notes, std::vector<std::string>{"note text"});
}

TEST_F(DocumentTest, AnythingElseIsRefusedWithItsLine) {
    struct Row {
        std::u16string body;
        std::string error;
    };
    const Row rows[] = {
        {u"\r\n\"v\"=dword:00000001\r\n", "第 3 行：值出现在任何注册表项之前"},
        {u"\r\n[" + kS + u"]\r\n\"v\"=dword:0001\r\n", "第 4 行：dword: 后需要 8 位十六进制数"},
        {u"\r\n[" + kS + u"]\r\n\"v\"=hex:0,01\r\n", "第 4 行：十六进制数据中有无法识别的字节"},
        {u"\r\n[" + kS + u"]\r\n\"v\"=hex:01,\\\r\n  zz\r\n", "第 4 行：十六进制数据中有无法识别的字节"},
        {u"\r\n[" + kS + u"]\r\n\"v\"=\"open\r\n", "第 4 行：引号中的文字不完整或其后还有内容"},
        {u"\r\n[" + kS + u"]\r\n\"v\"=\"a\\x\"\r\n", "第 4 行：引号中的文字不完整或其后还有内容"},
        {u"\r\n[" + kS + u"]\r\n\"v\" = 1\r\n", "第 4 行：值的名称后应为 ="},
        {u"\r\n[" + kS + u"]\r\n\"v\"=str:x\r\n", "第 4 行：无法识别的数据"},
        {u"\r\n[" + kS + u"]\r\nv=1\r\n", "第 4 行：无法识别的行"},
        {u"\r\n[HKEY_CLASSES_ROOT\\S]\r\n", "第 3 行：无法识别的注册表项"},
        {u"\r\n[" + kS + u"\r\n", "第 3 行：注册表项缺少 ]"},
        {u"\r\n[-" + kS + u"]\r\n\"v\"=-\r\n", "第 4 行：删除的注册表项下不能有值"},
        // Only the tool's own places: another key, root, value, created or removed key refuses
        // the whole file, naming its line.
        {u"\r\n[" + kS + u"]\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
         u"\"x\"=\"c:\\\\x.exe\"\r\n",
         "第 5 行：注册表项 HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run 不是本工具的设置"},
        {u"\r\n[HKEY_LOCAL_MACHINE\\" + kZones + u"]\r\n",
         "第 3 行：注册表项 HKEY_LOCAL_MACHINE\\" + Utf8FromUtf16(kZones) + " 不在 HKEY_CURRENT_USER 下，不是本工具的设置"},
        {u"\r\n[HKEY_CURRENT_USER\\" + kZones + u"]\r\n\"1001\"=dword:00000000\r\n\"9999\"=dword:00000000\r\n",
         "第 5 行：注册表项 HKEY_CURRENT_USER\\" + Utf8FromUtf16(kZones) + " 中的值“9999”不是本工具的设置"},
        {u"\r\n[HKEY_CURRENT_USER\\" + kZones + u"]\r\n@=\"\"\r\n",
         "第 4 行：注册表项 HKEY_CURRENT_USER\\" + Utf8FromUtf16(kZones) + " 中的默认值不是本工具的设置"},
        {u"\r\n[HKEY_CURRENT_USER\\Software\\Microsoft]\r\n\"x\"=-\r\n",
         "第 4 行：注册表项 HKEY_CURRENT_USER\\Software\\Microsoft 中的值“x”不是本工具的设置"},
        {u"; created: [HKEY_CURRENT_USER\\Software\\SomeApp]\r\n",
         "第 2 行：注册表项 HKEY_CURRENT_USER\\Software\\SomeApp 不是本工具的设置"},
        {u"; created: [HKEY_LOCAL_MACHINE\\Software\\Microsoft]\r\n",
         "第 2 行：注册表项 HKEY_LOCAL_MACHINE\\Software\\Microsoft 不在 HKEY_CURRENT_USER 下，不是本工具的设置"},
        {u"\r\n[-HKEY_CURRENT_USER\\Software\\SomeApp]\r\n",
         "第 3 行：注册表项 HKEY_CURRENT_USER\\Software\\SomeApp 不是本工具会删除的项"},
        {u"\r\n[-HKEY_CURRENT_USER\\" + kDomains + u"]\r\n",
         "第 3 行：注册表项 HKEY_CURRENT_USER\\" + Utf8FromUtf16(kDomains) + " 不是本工具会删除的项"},
        {u"\r\n[-HKEY_CURRENT_USER\\" + kZones + u"]\r\n",
         "第 3 行：注册表项 HKEY_CURRENT_USER\\" + Utf8FromUtf16(kZones) + " 不是本工具会删除的项"},
        {u"\r\n[HKEY_CURRENT_USER\\" + kDomains + u"\\\\x]\r\n",
         "第 3 行：注册表项 HKEY_CURRENT_USER\\" + Utf8FromUtf16(kDomains) + "\\\\x 的路径中有空的一级"},
        // Strict reading: a NUL, a carriage return inside a line or half a surrogate pair.
        {u"\r\n[" + kS + u"]\r\n\"a\0b\"=dword:00000001\r\n"s, "第 4 行：含有 NUL 字符"},
        {u"\r\n[" + kS + u"]\r\n\"a\rb\"=dword:00000001\r\n", "第 4 行：行中含有回车符"},
        {u"\r\n[" + kS + u"\\a\xD800]\r\n", "第 3 行：含有不成对的 UTF-16 代理项"},
        {u"\r\n[" + kS + u"]\r\n\"\xDC00\"=-\r\n", "第 4 行：含有不成对的 UTF-16 代理项"},
        {u"\r\n[" + kS + u"]\r\n\"v\"=\"x\xD83D\"\r\n", "第 4 行：含有不成对的 UTF-16 代理项"},
        {u"\r\n[" + kS + u"]\r\n\"v\"=hex:01,\\\r\n  02\xD800\r\n", "第 5 行：含有不成对的 UTF-16 代理项"},
    };
    for (const Row& row : rows) {
        RegDocument read;
        std::string error;
        EXPECT_FALSE(ParseInto(Document(row.body), read, error)) << row.error;
        EXPECT_EQ(error, row.error);
    }
    RegDocument read;
    std::string error;
    EXPECT_FALSE(ParseInto(Utf16(u"REGEDIT4\r\n"), read, error));
    EXPECT_FALSE(ParseInto(Utf16(u"\xFEFFREGEDIT4\r\n"), read, error));
    EXPECT_EQ(error, "第 1 行：第一行应为“Windows Registry Editor Version 5.00”");
    // Continued hex data, [-KEY] and comments are read.
    ASSERT_TRUE(ParseInto(Document(u"; other\r\n\r\n[-" + kS + u"\\Gone]\r\n\r\n"
                                          u"[" + kS + u"]\r\n@=hex(7):61,00,\\\r\n  00,00,00,00\r\n"),
                                 read, error))
        << error;
    ASSERT_EQ(read.keys.size(), 2u);
    EXPECT_TRUE(read.keys[0].remove);
    ASSERT_EQ(read.keys[1].entries.size(), 1u);
    EXPECT_EQ(read.keys[1].entries[0].value->type, kRegMultiSz);
    EXPECT_EQ(read.keys[1].entries[0].value->data, Bytes({0x61, 0, 0, 0, 0, 0}));
}

// The tool's own places in any case, as the registry compares names; the mark only on the line
// right below the first.
TEST_F(DocumentTest, OwnPlacesInAnyCaseAndTheMark) {
    RegDocument read;
    std::string error;
    ASSERT_TRUE(ParseInto(Document(u"; ZUVPortalSetting backup\r\n; created: [HKEY_CURRENT_USER\\SOFTWARE\\microsoft]\r\n"
                                   u"\r\n[HKEY_CURRENT_USER\\software\\MICROSOFT\\windows\\currentversion\\internet settings\\zones\\2]\r\n"
                                   u"\"currentlevel\"=dword:00000000\r\n"
                                   u"\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\New Windows\\Allow]\r\n"
                                   u"\"任何.example\"=hex:\r\n"
                                   u"\r\n[-" + kS + u"\\deep\\er]\r\n"),
                          read, error))
        << error;
    EXPECT_TRUE(read.marked);
    EXPECT_EQ(read.notes, std::vector<std::string>{});
    ASSERT_TRUE(ParseInto(Document(u"; other\r\n; ZUVPortalSetting backup\r\n"), read, error)) << error;
    EXPECT_FALSE(read.marked) << "the mark is the second line, or none";
    EXPECT_EQ(read.notes, (std::vector<std::string>{"other", "ZUVPortalSetting backup"}));
    ASSERT_TRUE(ParseInto(Document(u"; ZUVPortalSetting backup \r\n"), read, error)) << error;
    EXPECT_FALSE(read.marked);
}

TEST(PlanChangesText, ReadableBeforeAndAfter) {
    PlanChanges changes;
    changes.createdKeys = {{kHkeyCurrentUser, "S\\New"}};
    changes.deletedKeys = {{kHkeyCurrentUser, "S\\Old"}};
    changes.values.push_back({kHkeyCurrentUser, "S\\Zones\\2", "1001", StoredValue{"1001", kRegDword, Bytes({3, 0, 0, 0})},
                              StoredValue{"1001", kRegDword, Bytes({0, 0, 0, 0})}});
    changes.values.push_back({kHkeyCurrentUser, "S", "", std::nullopt, StoredValue{"", kRegSz, Utf16(u"a\"b\0"s)}});
    changes.values.push_back({kHkeyCurrentUser, "S", "m", StoredValue{"m", kRegMultiSz, Utf16(u"x\0y\0\0"s)}, std::nullopt});
    changes.values.push_back({kHkeyCurrentUser, "S", "b", StoredValue{"b", kRegBinary, Bytes({1, 0xAB})},
                              StoredValue{"b", kRegExpandSz, Utf16(u"%x%\0"s)}});
    EXPECT_EQ(ChangesText(changes),
              "创建项  HKEY_CURRENT_USER\\S\\New\\\n"
              "删除项  HKEY_CURRENT_USER\\S\\Old\\\n"
              "HKEY_CURRENT_USER\\S\\Zones\\2\\  \"1001\"  REG_DWORD 3 -> REG_DWORD 0\n"
              "HKEY_CURRENT_USER\\S\\  （默认）  （无） -> REG_SZ \"a\\\"b\"\n"
              "HKEY_CURRENT_USER\\S\\  \"m\"  REG_MULTI_SZ \"x\" \"y\" -> （删除）\n"
              "HKEY_CURRENT_USER\\S\\  \"b\"  REG_BINARY 01 ab -> REG_EXPAND_SZ \"%x%\"\n");
}

// Every value of the current user's registry, from the memory registry's dump.
std::map<std::string, std::string> Values(const MemoryRegistry& memory) {
    std::map<std::string, std::string> values;
    std::istringstream dump(memory.Dump(kHkeyCurrentUser));
    std::string line;
    std::string key;
    while (std::getline(dump, line)) {
        if (line.rfind("[", 0) == 0) {
            key = line.substr(1, line.find(']') - 1);
            values["key " + key] = "";
            continue;
        }
        const std::size_t close = line.find("\" type=");
        values[key + "\\  \"" + line.substr(3, close - 3) + "\""] = line.substr(close + 2);
    }
    return values;
}

std::set<std::string> Differences(const std::map<std::string, std::string>& a,
                                  const std::map<std::string, std::string>& b) {
    std::set<std::string> out;
    for (const auto& [name, data] : a) {
        const auto found = b.find(name);
        if (found == b.end() || found->second != data) out.insert(name);
    }
    for (const auto& [name, data] : b) {
        if (!a.count(name)) out.insert(name);
    }
    return out;
}

const std::string kZonesKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Zones\\2";

// The current user's keys and values; key classes, which no .reg file carries, left out.
std::string State(const MemoryRegistry& memory) {
    std::string dump = memory.Dump(kHkeyCurrentUser);
    std::string out;
    std::istringstream lines(dump);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("[", 0) == 0) line = line.substr(0, line.find(']') + 1);
        out += line + "\n";
    }
    return out;
}

class DryRunAndUndo : public RegistryFixture {
protected:
    FakeHost host;
    MemoryStoredRegistry stored{memory, *codePage};
    ProgramRegistry registry{memory, *codePage, stored};

    int Run(const std::vector<std::string>& arguments) {
        host.output.clear();
        return RunProgram(ParseCommandLine(arguments), host, registry, [](mdlReg&, const ApplyRecords&) { return 99; });
    }
    // The keys and values the dry run's output names, as Values() names them.
    static std::set<std::string> Listed(const std::string& output) {
        std::set<std::string> listed;
        std::istringstream lines(output);
        std::string line;
        const std::string root = "HKEY_CURRENT_USER\\";
        while (std::getline(lines, line)) {
            if (line.rfind("创建项  " + root, 0) == 0 || line.rfind("删除项  " + root, 0) == 0) {
                std::string key = line.substr(std::string("创建项  ").size() + root.size());
                listed.insert("key " + key.substr(0, key.size() - 1));
            } else if (line.rfind(root, 0) == 0) {
                const std::size_t end = line.find("\"  ");
                if (end != std::string::npos) listed.insert(line.substr(root.size(), end + 1 - root.size()));
            }
        }
        return listed;
    }
};

TEST_F(DryRunAndUndo, WhatIfListsExactlyWhatTheApplyThenChanges) {
    // A site applied before, and values of the user's own the apply changes.
    ASSERT_EQ(Run({"/quiet", "/address:old.example.com"}), kExitSuccess);
    Put(kZonesKey, "1001", kRegDword, Bytes({1, 0, 0, 0}));
    Put(std::string(kZoneMapRoot) + "Domains\\portal", "user", kRegDword, Bytes({7, 0, 0, 0}));
    for (const std::vector<std::string>& line : {std::vector<std::string>{"/whatif", "/address:portal"},
                                                {"/whatif", "/address:old.example.com", "/https"},
                                                {"/whatif", "/address:192.0.2.10"}}) {
        const auto before = Values(memory);
        const std::size_t backups = host.backups.size();
        const std::size_t logLines = host.logs[host.defaultLog].size();
        ASSERT_EQ(Run(line), kExitSuccess) << host.output;
        const std::string output = host.output;
        EXPECT_EQ(Values(memory), before) << "the dry run writes nothing";
        EXPECT_EQ(host.backups.size(), backups);
        EXPECT_EQ(host.logs[host.defaultLog].size(), logLines);
        std::vector<std::string> applyLine = line;
        applyLine[0] = "/quiet";
        ASSERT_EQ(Run(applyLine), kExitSuccess);
        const std::set<std::string> changed = Differences(before, Values(memory));
        EXPECT_EQ(Listed(output), changed) << output;
        EXPECT_FALSE(changed.empty());
    }
    // A value written again the same is no change; what it would change is shown as before and after.
    ASSERT_EQ(Run({"/whatif", "/address:192.0.2.10"}), kExitSuccess);
    EXPECT_NE(host.output.find("没有要更改的值。"), std::string::npos) << host.output;
    Put(kZonesKey, "1001", kRegDword, Bytes({3, 0, 0, 0}));
    ASSERT_EQ(Run({"/whatif", "/address:192.0.2.10"}), kExitSuccess);
    EXPECT_NE(host.output.find("HKEY_CURRENT_USER\\" + kZonesKey + "\\  \"1001\"  REG_DWORD 3 -> REG_DWORD 0\n"),
              std::string::npos)
        << host.output;
}

TEST_F(DryRunAndUndo, WhatIfRefusesWhatTheApplyRefuses) {
    EXPECT_EQ(Run({"/whatif", "/address:http://portal/x"}), kExitNotUnderstood);
    EXPECT_EQ(Run({"/whatif"}), kExitNotUnderstood);
    EXPECT_EQ(Run({"/export:x.reg", "/address:portal"}), kExitNotUnderstood);
    EXPECT_EQ(Run({"/whatif", "/address:portal", "/log:x.log"}), kExitNotUnderstood);
    // An export to a device or a stream, however written, is refused before anything is written.
    for (const char* file : {"COM1:", "x.reg:ads", "C:\\out\\CON.txt", "\\\\.\\C:", "nul:"}) {
        EXPECT_EQ(Run({"/whatif", "/address:portal", std::string("/export:") + file}), kExitNotUnderstood) << file;
        EXPECT_NE(host.output.find("不是文件"), std::string::npos) << host.output;
        EXPECT_EQ(PreviewPortal(registry, reg, {"portal", SiteProtocols::Http, file}, host).exitCode,
                  kExitNotUnderstood)
            << file;
    }
    EXPECT_EQ(PreviewPortal(registry, reg, {"portal", SiteProtocols::Http, "x.reg:ads"}, host).text,
              "未导出：“x.reg:ads”是文件的备用数据流（文件名后有“:”），不是文件\n");
    EXPECT_TRUE(host.files.empty());
    host.localSystem = true;
    EXPECT_EQ(Run({"/whatif", "/address:portal"}), kExitNotUnderstood);
    EXPECT_EQ(Run({"/undo"}), kExitNotUnderstood);
    EXPECT_TRUE(host.backups.empty());
}

// Imported into another profile, the exported file gives the values the apply gives.
TEST_F(DryRunAndUndo, ExportGivesTheApplysValues) {
    // This profile and another one start the same: a site applied before, a value of the user's.
    MemoryRegistry other(*codePage);
    const auto prepare = [&](MemoryRegistry& profile) {
        MemoryStoredRegistry profileStored(profile, *codePage);
        FakeHost profileHost;
        ASSERT_EQ(RunProgram(ParseCommandLine({"/quiet", "/address:old.example.com"}), profileHost,
                             {profile, *codePage, profileStored}, [](mdlReg&, const ApplyRecords&) { return 99; }),
                  kExitSuccess);
        RegKey key = 0;
        ASSERT_EQ(profile.CreateKeyEx(kHkeyCurrentUser, std::string(kZoneMapRoot) + "Domains\\portal", "",
                                      kWriteAccess, false, &key, nullptr), 0);
        const auto data = Bytes({7, 0, 0, 0});
        ASSERT_EQ(profile.SetValueEx(key, "user", kRegDword, data.data(), 4), 0);
        profile.CloseKey(key);
    };
    prepare(memory);
    prepare(other);
    ASSERT_EQ(State(other), State(memory));
    ASSERT_EQ(Run({"/whatif", "/address:portal", "/https", "/export:C:\\out\\portal.reg"}), kExitSuccess);
    ASSERT_EQ(host.files.count("C:\\out\\portal.reg"), 1u) << host.output;
    ASSERT_EQ(Run({"/quiet", "/address:portal", "/https"}), kExitSuccess);
    RegDocument read;
    std::string error;
    ASSERT_TRUE(ParseInto(host.files["C:\\out\\portal.reg"], read, error)) << error;
    EXPECT_TRUE(RestoreDocument(other, *codePage, read).empty());
    EXPECT_EQ(State(other), State(memory));

    host.fileFailure = "拒绝访问。";
    EXPECT_EQ(Run({"/whatif", "/address:portal", "/export:C:\\out\\x.reg"}), kExitApplyFailed);
    EXPECT_NE(host.output.find("未能导出到 C:\\out\\x.reg：拒绝访问。"), std::string::npos);
}

TEST_F(DryRunAndUndo, UndoWalksBackThroughTheAppliesAndCanItselfBeUndone) {
    const std::string s0 = State(memory);
    EXPECT_EQ(Run({"/undo"}), kExitNotUnderstood) << "nothing to undo yet";
    EXPECT_EQ(Run({"/undo:original"}), kExitNotUnderstood);
    ASSERT_EQ(Run({"/quiet", "/address:first.example.com"}), kExitSuccess);
    const std::string s1 = State(memory);
    ASSERT_EQ(Run({"/quiet", "/address:portal", "/https"}), kExitSuccess);
    const std::string s2 = State(memory);

    ASSERT_EQ(Run({"/undo"}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s1);
    const std::string firstUndo = host.lastBackupName;
    EXPECT_NE(host.output.find("/undo:" + firstUndo), std::string::npos) << host.output;
    const std::string log = host.logs[host.defaultLog].back();
    EXPECT_NE(log.find("\tundo\t\""), std::string::npos) << log;
    EXPECT_NE(log.find("\t已还原备份 "), std::string::npos) << log;

    ASSERT_EQ(Run({"/undo"}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s0) << "keys the first apply made are gone again";
    const std::string secondUndo = host.lastBackupName;
    EXPECT_EQ(Run({"/undo"}), kExitNotUnderstood) << "both applies are undone";
    EXPECT_EQ(State(memory), s0);

    // Each undo undone: the state it undid comes back.
    ASSERT_EQ(Run({"/undo:" + secondUndo}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s1);
    ASSERT_EQ(Run({"/undo:" + firstUndo}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s2);
    // And what was undone so can be undone by /undo again.
    ASSERT_EQ(Run({"/undo"}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s1);
}

TEST_F(DryRunAndUndo, UndoToTheOriginalAfterTenApplies) {
    Put(std::string(kZoneMapRoot) + "Domains\\mine", "http", kRegDword, Bytes({1, 0, 0, 0}));
    const std::string s0 = State(memory);
    for (int i = 0; i < 10; ++i) {
        ASSERT_EQ(Run({"/quiet", "/address:site" + std::to_string(i) + ".example.com"}), kExitSuccess);
    }
    const std::string s10 = State(memory);
    ASSERT_EQ(Run({"/undo:original"}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s0);
    EXPECT_EQ(Run({"/undo"}), kExitNotUnderstood) << "every apply is undone";
    ASSERT_EQ(Run({"/undo:" + host.lastBackupName}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s10);
}

TEST_F(DryRunAndUndo, UndoThatCannotBeDoneSaysWhy) {
    ASSERT_EQ(Run({"/quiet", "/address:portal"}), kExitSuccess);
    Put(kZonesKey, "1001", kRegDword, Bytes({3, 0, 0, 0}));  // the next apply writes 0 again
    const std::string s1 = State(memory);
    ASSERT_EQ(Run({"/quiet", "/address:other"}), kExitSuccess);
    const std::string s2 = State(memory);
    const std::string name = host.lastBackupName;  // the backup of the second apply

    // A backup that cannot be taken: nothing is written.
    host.backupFailure = "磁盘已满。";
    EXPECT_EQ(Run({"/undo"}), kExitApplyFailed);
    EXPECT_NE(host.output.find("磁盘已满。"), std::string::npos) << host.output;
    EXPECT_EQ(State(memory), s2);
    host.backupFailure.clear();

    // A malformed newest backup: exit 2 naming its line, nothing written.
    const std::vector<unsigned char> saved = host.backupFolder.at(name);
    host.backupFolder[name] = Document(u"\r\n[" + kS + u"]\r\n\"v\"=bogus\r\n");
    EXPECT_EQ(Run({"/undo"}), kExitNotUnderstood);
    EXPECT_EQ(host.output, "未撤销：备份文件 " + name + " 第 4 行：无法识别的数据\n");
    EXPECT_EQ(State(memory), s2);
    host.backupFolder[name] = saved;

    // A write refused: exit 1 naming it; the backup is not marked as undone.
    memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::SetValueEx ? kErrorAccessDenied : kErrorSuccess;
    });
    EXPECT_EQ(Run({"/undo"}), kExitApplyFailed);
    EXPECT_NE(host.output.find("未完成：无法写入值 HKEY_CURRENT_USER\\"), std::string::npos) << host.output;
    EXPECT_NE(host.output.find("拒绝访问"), std::string::npos) << host.output;
    memory.SetFaultHook(nullptr);
    EXPECT_NE(State(memory), s2) << "what could be written was";

    ASSERT_EQ(Run({"/undo"}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s1);

    EXPECT_EQ(Run({"/undo:nosuch.reg"}), kExitNotUnderstood);
    EXPECT_EQ(host.output, "未撤销：备份文件夹中没有文件 nosuch.reg\n");
}

// The file a helper planted in the backup folder: keys and a removal that are not the tool's.
std::vector<unsigned char> Planted() {
    return Document(u"\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run]\r\n"
                    u"\"x\"=\"c:\\\\x.exe\"\r\n"
                    u"\r\n[HKEY_CURRENT_USER\\Software\\Classes\\ms-settings\\Shell\\Open\\command]\r\n"
                    u"@=\"c:\\\\x.exe\"\r\n"
                    u"\r\n[HKEY_LOCAL_MACHINE\\Software\\x]\r\n\"x\"=dword:00000001\r\n"
                    u"\r\n[-HKEY_CURRENT_USER\\Software\\SomeApp]\r\n");
}

// A planted file is refused whole, before anything is written, and logged; it never becomes the
// original; /undo:original restores from the tool's own backups and names what it left.
TEST_F(DryRunAndUndo, AFileThatIsNotTheToolsIsNeverRestored) {
    Put("Software\\SomeApp\\Sub", "mine", kRegDword, Bytes({1, 0, 0, 0}));
    const std::string s0 = State(memory);
    host.backupFolder["20261208-120000-000.reg"] = Planted();  // older than any apply of the test
    EXPECT_EQ(Run({"/undo"}), kExitNotUnderstood);
    const std::string refusal =
        "未撤销：备份文件 20261208-120000-000.reg 第 3 行：注册表项 "
        "HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Run 不是本工具的设置";
    EXPECT_EQ(host.output, refusal + "\n");
    EXPECT_EQ(State(memory), s0);
    ASSERT_EQ(host.logs[host.defaultLog].size(), 1u) << "the refusal is logged";
    const std::string line = host.logs[host.defaultLog].back();
    EXPECT_NE(line.find("\tundo\t\"20261208-120000-000.reg\"\t" + refusal + "\t无需备份：未写入任何值\t"),
              std::string::npos)
        << line;
    EXPECT_EQ(Run({"/undo:20261208-120000-000.reg"}), kExitNotUnderstood);
    EXPECT_EQ(Run({"/undo:original"}), kExitNotUnderstood);
    EXPECT_EQ(host.logs[host.defaultLog].size(), 3u);
    EXPECT_EQ(State(memory), s0);

    // The first apply: its own backup is the original, not the older planted file.
    ASSERT_EQ(Run({"/quiet", "/address:first.example.com"}), kExitSuccess);
    const std::string first = host.lastBackupName;
    EXPECT_EQ(host.backupFolder.count("original-" + first), 1u);
    EXPECT_EQ(host.backupFolder.count("original-20261208-120000-000.reg"), 0u);
    ASSERT_EQ(Run({"/quiet", "/address:192.0.2.10"}), kExitSuccess);
    // A damaged file beside the two real backups, newer than both: the newest apply cannot be
    // told past it, so /undo stops; /undo:original restores from the others and names both.
    host.now.minute += 1;
    host.backupFolder[BackupFileName(host.Clock())] = std::vector<unsigned char>(115, 'x');
    EXPECT_EQ(Run({"/undo"}), kExitNotUnderstood);
    EXPECT_NE(host.output.find("不是 UTF-16LE 编码的 .reg 文件"), std::string::npos) << host.output;
    ASSERT_EQ(Run({"/undo:original"}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s0) << "back to before the first apply; the user's key untouched";
    EXPECT_NE(host.output.find("（另有 2 个文件不是本工具的备份，未使用：20261208-120000-000.reg、" +
                               BackupFileName(host.Clock()) + "）\n"),
              std::string::npos)
        << host.output;
    EXPECT_NE(host.output.find("未使用：备份文件 20261208-120000-000.reg 第 3 行："), std::string::npos) << host.output;
    EXPECT_NE(host.logs[host.defaultLog].back().find("未使用：20261208-120000-000.reg、"), std::string::npos);
    // The files left are left as they were; the two backups used are marked as undone.
    EXPECT_EQ(host.backupFolder.at("20261208-120000-000.reg"), Planted());
    EXPECT_EQ(host.backupFolder.count(BackupFileName(host.Clock())), 1u);
    EXPECT_EQ(host.backupFolder.count(UndoneName(first)), 1u);
}

// Backups an earlier version wrote carry no mark: restored when they name only the tool's places,
// and an original of theirs is still the original.
TEST_F(DryRunAndUndo, AnEarlierVersionsBackupsAreRestored) {
    const std::string s0 = State(memory);
    ASSERT_EQ(Run({"/quiet", "/address:portal"}), kExitSuccess);
    const std::string name = host.lastBackupName;
    // As the earlier version wrote it: the same without the mark's line.
    std::vector<unsigned char>& bytes = host.backupFolder.at(name);
    const std::vector<unsigned char> mark = Utf16(u"; ZUVPortalSetting backup\r\n");
    const auto at = std::search(bytes.begin(), bytes.end(), mark.begin(), mark.end());
    ASSERT_NE(at, bytes.end());
    bytes.erase(at, at + static_cast<std::ptrdiff_t>(mark.size()));
    host.backupFolder["original-" + name] = bytes;
    EXPECT_EQ(KindOfBackup(bytes), BackupKind::Unmarked);
    ASSERT_EQ(Run({"/undo:original"}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), s0);
}

// An undo that removes a key with everything in it, undone again: the key comes back whole, its
// empty sub-keys too.
TEST_F(DryRunAndUndo, ARedoBringsBackEmptySubKeys) {
    const std::string site = std::string(kZoneMapRoot) + "Domains\\example.com";
    Put(site, "http", kRegDword, Bytes({2, 0, 0, 0}));
    PutKey(site + "\\empty");
    PutKey(site + "\\deeper\\still");
    const std::string before = State(memory);
    host.backupFolder["20261208-120000-000.reg"] =
        Document(u"; ZUVPortalSetting backup\r\n\r\n[-HKEY_CURRENT_USER\\" + Utf16FromUtf8(site) + u"]\r\n");
    ASSERT_EQ(Run({"/undo:20261208-120000-000.reg"}), kExitSuccess) << host.output;
    EXPECT_FALSE(HasKey(site));
    ASSERT_EQ(Run({"/undo:" + host.lastBackupName}), kExitSuccess) << host.output;
    EXPECT_EQ(State(memory), before);
}

TEST(UndoCommandLine, Options) {
    EXPECT_EQ(ParseCommandLine({"/undo"}).mode, RunMode::Undo);
    EXPECT_EQ(ParseCommandLine({"/UNDO:Original"}).undoTarget, "original");
    EXPECT_EQ(ParseCommandLine({"-undo:20261208-180655-123.reg", "/quiet", "/log:x"}).mode, RunMode::Undo);
    EXPECT_EQ(ParseCommandLine({"/whatif", "/address:p", "/https", "/export:a.reg"}).mode, RunMode::WhatIf);
    for (const std::vector<std::string>& bad : {std::vector<std::string>{"/undo:"}, {"/undo:..\\x.reg"},
                                               {"/undo", "/address:p"}, {"/undo", "/whatif"},
                                               {"/undo", "/undo"}, {"/whatif", "/check:p"},
                                               {"/whatif:1", "/address:p"}, {"/export", "/whatif", "/address:p"},
                                               {"/whatif", "/address:p", "/export:NUL"}}) {
        EXPECT_EQ(ParseCommandLine(bad).mode, RunMode::Invalid) << testing::PrintToString(bad);
    }
}

}  // namespace
}  // namespace zuv::test
