// The machine package's per-user run, ZUVPortalSetting.exe /logon: the machine settings applied
// for the user once per stamp, with every promise of the quiet apply, and the record in the
// user's hive.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "apply/logon_run.h"
#include "browser_config/browser_config.h"
#include "fixture.h"
#include "program/command_line.h"
#include "program/program.h"
#include "tests/doubles/fake_host.h"

namespace zuv::test {
namespace {

TEST(CommandLine, LogonStandsAlone) {
    const Invocation logon = ParseCommandLine({"/LOGON"});
    EXPECT_EQ(logon.mode, RunMode::Logon);
    EXPECT_TRUE(logon.quietAsked);
    EXPECT_FALSE(logon.address);
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"/logon", "/address:portal"},
                                               {"/logon", "/quiet"},
                                               {"-logon", "/log:C:\\x.log"},
                                               {"/logon", "/https"},
                                               {"/logon", "/undo:original"},
                                               {"/logon", "/logon"},
                                               {"/logon:portal"},
                                               {"/logon", "portal"}}) {
        const Invocation parsed = ParseCommandLine(arguments);
        EXPECT_EQ(parsed.mode, RunMode::Invalid) << testing::PrintToString(arguments);
        EXPECT_TRUE(parsed.quietAsked) << testing::PrintToString(arguments);  // no message box
    }
    EXPECT_EQ(ParseCommandLine({"/logon", "/address:portal"}).problem,
              "选项 /logon 不能与其他选项一起使用（地址等设置从本机的设置中读取）");
    EXPECT_EQ(ParseCommandLine({"/logon", "/?"}).mode, RunMode::Usage);
    EXPECT_NE(UsageText().find("ZUVPortalSetting.exe /logon\n"), std::string::npos);
}

// A registry and a host of their own; also made by the tests themselves, one per case of a table.
class Logon : public RegistryFixture {
public:
    void TestBody() override {}
    using RegistryFixture::codePage;
    using RegistryFixture::Dword;
    using RegistryFixture::memory;
    using RegistryFixture::Put;
    using RegistryFixture::PutKey;
    using RegistryFixture::Sz;
    using RegistryFixture::Raw;

    FakeHost host;
    MemoryStoredRegistry stored{memory, *codePage};
    ProgramRegistry registry{memory, *codePage, stored};

    int Run(const std::vector<std::string>& arguments = {"/logon"}) {
        host.output.clear();
        return RunProgram(ParseCommandLine(arguments), host, registry,
                          [](mdlReg&, const ApplyRecords&) { return 99; });
    }
    // The machine settings as the package writes them.
    void Machine(const std::string& address, bool https, const std::string& stamp, bool retire = false) {
        Put(kMachineSettingsKey, "Address", kRegSz, TextBytes(address), kHkeyLocalMachine);
        Put(kMachineSettingsKey, "Https", kRegDword, Dword(https ? 1 : 0).data, kHkeyLocalMachine);
        Put(kMachineSettingsKey, "IeMode", kRegDword, Dword(0).data, kHkeyLocalMachine);
        Put(kMachineSettingsKey, "Retire", kRegDword, Dword(retire ? 1 : 0).data, kHkeyLocalMachine);
        Put(kMachineSettingsKey, "Settings", kRegSz, TextBytes(stamp), kHkeyLocalMachine);
    }
    std::optional<RawValue> Record(const std::string& name) const { return Raw(kLogonRecordKey, name); }
    const std::vector<std::string>& DefaultLog() { return host.logs[host.defaultLog]; }
};

TEST_F(Logon, AppliesTheMachinesAddressAsTheQuietApplyWouldAndRecordsIt) {
    Machine("portal.example.com", true, "2026,1209,1530,42123");
    EXPECT_EQ(Run(), kExitSuccess);
    EXPECT_EQ(host.output, "恭喜你，设置成功！\n");
    // What the quiet apply of the same address over https writes, on a registry of its own.
    Logon quiet;
    EXPECT_EQ(quiet.Run({"/quiet", "/address:portal.example.com", "/https"}), kExitSuccess);
    std::string applied = memory.Dump(kHkeyCurrentUser);
    const std::size_t record = applied.find("[Software\\ZUVPortalSetting]");
    ASSERT_NE(record, std::string::npos) << applied;
    applied.erase(record, applied.find("\n[", record + 1) - record);  // the record alone
    EXPECT_EQ(applied, quiet.memory.Dump(kHkeyCurrentUser));
    // The backup first, the log line as started from logon.
    ASSERT_EQ(host.backups.size(), 1u);
    ASSERT_EQ(DefaultLog().size(), 1u);
    EXPECT_EQ(DefaultLog()[0], "2026-12-08 18:06:55.123 +08:00\talice\tPC01\tlogon https\t\"portal.example.com\"\t"
                               "恭喜你，设置成功！\tC:\\Users\\alice\\AppData\\Local\\ZUVPortalSetting\\backup\\" +
                                   host.lastBackupName + "\t" + ProgramVersion());
    EXPECT_EQ(Record("Settings"), Sz("2026,1209,1530,42123"));
    EXPECT_EQ(Record("Result"), Sz("applied"));
    EXPECT_EQ(Record("ExitCode"), Dword(0));
    EXPECT_EQ(Record("Address"), Sz("portal.example.com"));
    EXPECT_EQ(Record("Time"), Sz("2026-12-08 18:06:55.123 +08:00"));
    EXPECT_EQ(Record("Version"), Sz(ProgramVersion()));
    EXPECT_EQ(Record("Message"), Sz("恭喜你，设置成功！"));
    EXPECT_TRUE(host.messageBoxes.empty());
}

TEST_F(Logon, RunsOncePerStampAndAgainForANewOne) {
    Machine("portal", false, "2026,1209,1530,1");
    EXPECT_EQ(Run(), kExitSuccess);
    const std::string after = memory.Dump(kHkeyCurrentUser);
    // By hand, then Active Setup at the next logon: the work is done once.
    host.now.minute = 30;
    EXPECT_EQ(Run(), kExitSuccess);
    EXPECT_EQ(host.output, "本机的设置 2026,1209,1530,1 已为此用户完成（2026-12-08 18:06:55.123 +08:00），无需再次运行。\n");
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), after);
    EXPECT_EQ(DefaultLog().size(), 1u);
    // New settings: applied again, recorded with the new stamp.
    Machine("portal2", false, "2026,1210,800,0");
    EXPECT_EQ(Run(), kExitSuccess);
    EXPECT_EQ(DefaultLog().size(), 2u);
    EXPECT_EQ(Record("Settings"), Sz("2026,1210,800,0"));
    EXPECT_EQ(Record("Address"), Sz("portal2"));
    EXPECT_EQ(Record("Time"), Sz("2026-12-08 18:30:55.123 +08:00"));
    // A record for these settings that failed is no reason to stop: the run tries again.
    Put(kLogonRecordKey, "Result", kRegSz, TextBytes("failed"));
    EXPECT_EQ(Run(), kExitSuccess);
    EXPECT_EQ(Record("Result"), Sz("applied"));
    EXPECT_EQ(DefaultLog().size(), 3u);
}

TEST_F(Logon, EachWayItEndsIsRecorded) {
    struct Case {
        const char* what;
        std::function<void(Logon&)> arrange;
        int exitCode;
        std::string result;
        std::string settings;
        std::string messageStart;
        std::size_t logLines;
    };
    const std::string noKey = "未设置：本机没有 ZUVPortalSetting 的设置（HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVPortalSetting 不存在）";
    const Case cases[] = {
        {"no machine settings", [](Logon&) {}, kExitNotUnderstood, "failed", "", noKey, 0},
        {"settings without an address",
         [](Logon& t) { t.Put(kMachineSettingsKey, "Settings", kRegSz, TextBytes("1,2,3,4"), kHkeyLocalMachine); },
         kExitNotUnderstood, "failed", "",
         "未设置：本机的 ZUVPortalSetting 设置中没有门户地址（HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVPortalSetting 中的 \"Address\"）", 0},
        {"an address that is a number",
         [](Logon& t) { t.Put(kMachineSettingsKey, "Address", kRegDword, t.Dword(5).data, kHkeyLocalMachine); },
         kExitNotUnderstood, "failed", "", "未设置：本机的 ZUVPortalSetting 设置中没有门户地址（HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVPortalSetting 中的 \"Address\" 不是文本）", 0},
        {"an address the rule refuses", [](Logon& t) { t.Machine("http://portal/app", false, "1,2,3,4"); },
         kExitNotUnderstood, "failed", "1,2,3,4", "设置出错，原因：填入的是完整的网址", 1},
        {"an apply that fails: a range of another zone",
         [](Logon& t) {
             t.Machine("192.0.2.10", false, "1,2,3,4");
             const std::string range = std::string(kZoneMapRoot) + "Ranges\\Range1";
             t.Put(range, ":Range", kRegSz, TextBytes("192.0.2.*"));
             t.Put(range, "http", kRegDword, t.Dword(4).data);
         },
         kExitApplyFailed, "failed", "1,2,3,4", "设置出错，原因：", 1},
    };
    for (const Case& c : cases) {
        Logon t;
        c.arrange(t);
        EXPECT_EQ(t.Run(), c.exitCode) << c.what << ": " << t.host.output;
        EXPECT_EQ(t.Record("Result"), t.Sz(c.result)) << c.what;
        EXPECT_EQ(t.Record("Settings"), t.Sz(c.settings)) << c.what;
        EXPECT_EQ(t.Record("ExitCode"), t.Dword(static_cast<std::uint32_t>(c.exitCode))) << c.what;
        const auto message = t.Record("Message");
        ASSERT_TRUE(message) << c.what;
        const std::string text = t.codePage->ToUtf8(std::string(message->data.begin(), message->data.end() - 1));
        EXPECT_TRUE(text.starts_with(c.messageStart)) << c.what << ": " << text;
        EXPECT_TRUE(t.host.output.starts_with(text + "\n")) << c.what << ": " << t.host.output;
        EXPECT_EQ(t.DefaultLog().size(), c.logLines) << c.what;
        EXPECT_TRUE(t.host.messageBoxes.empty()) << c.what;
    }
}

// The user's settings without the record, which no undo touches, and without key classes,
// which backups do not hold.
std::string WithoutRecord(std::string dump) {
    const std::size_t record = dump.find("[Software\\ZUVPortalSetting]");
    if (record != std::string::npos) dump.erase(record, dump.find("\n[", record + 1) - record);
    return std::regex_replace(dump, std::regex(" class=[0-9]+"), "");
}

TEST_F(Logon, RetireTakesTheUsersSettingsBackToTheOriginalOnce) {
    Put(std::string(kTrustedZoneKey), "1001", kRegDword, Dword(3).data);  // the user's own value
    const std::string before = memory.Dump(kHkeyCurrentUser);
    Machine("portal", false, "2026,1209,1530,1");
    ASSERT_EQ(Run(), kExitSuccess);
    ASSERT_NE(memory.Dump(kHkeyCurrentUser), before);

    Machine("portal", false, "2026,1210,900,0", true);
    host.now.minute = 40;  // the undo's own backup gets a name of its own
    EXPECT_EQ(Run(), kExitSuccess);
    EXPECT_TRUE(host.output.starts_with("已还原备份 original-")) << host.output;
    EXPECT_EQ(WithoutRecord(memory.Dump(kHkeyCurrentUser)), WithoutRecord(before));
    EXPECT_EQ(Record("Result"), Sz("retired"));
    EXPECT_EQ(Record("Settings"), Sz("2026,1210,900,0"));
    EXPECT_EQ(Record("ExitCode"), Dword(0));
    ASSERT_EQ(DefaultLog().size(), 2u);
    EXPECT_NE(DefaultLog()[1].find("\tundo\t\"original-"), std::string::npos) << DefaultLog()[1];
    // Done for these settings: nothing more, not even a second undo.
    EXPECT_EQ(Run(), kExitSuccess);
    EXPECT_TRUE(host.output.starts_with("本机的设置 2026,1210,900,0 已为此用户完成")) << host.output;
    EXPECT_EQ(DefaultLog().size(), 2u);
}

TEST_F(Logon, RetireOfAUserNeverSetUpIsDoneAndOneThatCannotBeReadFails) {
    Machine("portal", false, "1,2,3,4", true);
    PutKey("Software");
    const std::string before = memory.Dump(kHkeyCurrentUser);
    EXPECT_EQ(Run(), kExitSuccess);
    EXPECT_EQ(host.output, "无需撤销：本工具从未为此用户设置过（备份文件夹中没有原始备份）。\n");
    EXPECT_EQ(WithoutRecord(memory.Dump(kHkeyCurrentUser)), before);
    EXPECT_EQ(Record("Result"), Sz("retired"));
    EXPECT_TRUE(host.logs.empty());

    Logon unreadable;
    unreadable.Machine("portal", false, "1,2,3,4", true);
    unreadable.host.folderFailure = "拒绝访问。";
    EXPECT_EQ(unreadable.Run(), kExitNotUnderstood);
    EXPECT_EQ(unreadable.host.output, "未撤销：拒绝访问。\n");
    EXPECT_EQ(unreadable.Record("Result"), unreadable.Sz("retire-failed"));
    EXPECT_EQ(unreadable.Record("ExitCode"), unreadable.Dword(2));
    EXPECT_EQ(unreadable.Record("Message"), unreadable.Sz("未撤销：拒绝访问。"));
}

TEST_F(Logon, RefusedAsLocalSystemAndNeverAWindowOrABox) {
    Machine("portal", false, "1,2,3,4");
    host.localSystem = true;
    EXPECT_EQ(Run(), kExitNotUnderstood);
    EXPECT_TRUE(host.output.starts_with("无法按要求运行：本程序正以 LocalSystem 账户运行")) << host.output;
    EXPECT_FALSE(HasKey(kLogonRecordKey));
    EXPECT_TRUE(host.logs.empty());
    // No console at logon: nothing is shown, whatever the run says.
    host.localSystem = false;
    host.hasOutput = false;
    EXPECT_EQ(Run({"/logon", "/quiet"}), kExitNotUnderstood);
    EXPECT_EQ(Run(), kExitSuccess);
    EXPECT_TRUE(host.messageBoxes.empty());
}

TEST_F(Logon, ARecordThatCannotBeWrittenIsTold) {
    Machine("portal", false, "1,2,3,4");
    memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::SetValueEx ? kErrorAccessDenied : kErrorSuccess;
    });
    EXPECT_EQ(Run(), kExitApplyFailed);
    EXPECT_NE(host.output.find("\n记录未写入：HKEY_CURRENT_USER\\Software\\ZUVPortalSetting 中的值 “Settings”："),
              std::string::npos)
        << host.output;
}

}  // namespace
}  // namespace zuv::test
