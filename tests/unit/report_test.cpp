// The report of every user (/report): where each record puts its user, the exit code of a mix of
// users, which profiles count, the text for untrusted records, and the command line around it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "apply/portal_report.h"
#include "base/text.h"
#include "fixture.h"
#include "program/command_line.h"
#include "program/program.h"
#include "tests/doubles/fake_host.h"

namespace zuv::test {
namespace {

StoredRecord Record(const std::string& settings, const std::string& result,
                    const std::string& message = "恭喜你，设置成功！") {
    StoredRecord record;
    record.texts = {{"Settings", settings},
                    {"Result", result},
                    {"Address", "portal.example.com"},
                    {"Time", "2026-12-09 12:00:00 +08:00"},
                    {"Version", "1.0.0"},
                    {"Message", message}};
    record.exitCode = result == "applied" || result == "retired" ? 0 : 1;
    return record;
}

TEST(ReportState, EachRecordAgainstTheCurrentSettingsAndRetire) {
    using enum UserState;
    struct Row {
        const char* result;  // nullptr: no record
        bool current;        // the record's Settings are the machine's
        bool retire;
        UserState state;
    };
    const Row rows[] = {
        {nullptr, true, false, NotYet},         {nullptr, true, true, NotYet},
        {"applied", true, false, Done},         {"applied", true, true, NotYet},
        {"applied", false, false, NotYet},      {"applied", false, true, NotYet},
        {"retired", true, true, Done},          {"retired", true, false, NotYet},
        {"retired", false, true, NotYet},       {"retired", false, false, NotYet},
        {"failed", true, false, Failed},        {"failed", true, true, Failed},
        {"failed", false, false, NotYet},       {"failed", false, true, NotYet},
        {"retire-failed", true, true, Failed},  {"retire-failed", true, false, Failed},
        {"retire-failed", false, true, NotYet}, {"retire-failed", false, false, NotYet},
        // Results the run never writes, and the right ones spelt otherwise.
        {"Applied", true, false, NotYet},       {"applied ", true, false, NotYet},
        {"", true, false, NotYet},              {"done", true, false, NotYet},
    };
    for (const Row& row : rows) {
        std::optional<StoredRecord> record;
        if (row.result != nullptr) record = Record(row.current ? "1,0,0,3" : "1,0,0,2", row.result);
        EXPECT_EQ(StateOf(record, "1,0,0,3", row.retire), row.state)
            << (row.result ? row.result : "no record") << " current=" << row.current
            << " retire=" << row.retire;
    }
    // A record without its Settings is no record of the current settings.
    StoredRecord noSettings = Record("1,0,0,3", "applied");
    noSettings.texts.erase("Settings");
    EXPECT_EQ(StateOf(noSettings, "1,0,0,3", false), NotYet);
}

TEST(ReportState, ExitCodeOfAMixOfUsers) {
    struct Row {
        ReportCounts counts;
        int exitCode;
    };
    const Row rows[] = {
        {{0, 0, 0, 0}, 0}, {{3, 0, 0, 0}, 0}, {{3, 1, 0, 0}, 1}, {{0, 1, 2, 1}, 1},
        {{2, 0, 1, 0}, 3}, {{2, 0, 0, 1}, 3}, {{0, 0, 1, 0}, 3}, {{0, 0, 0, 1}, 3},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ReportExitCode(row.counts), row.exitCode)
            << row.counts.done << "/" << row.counts.failed << "/" << row.counts.notYet << "/"
            << row.counts.notReadable;
    }
}

TEST(ReportState, UserProfilesAreLocalDomainAndEntraAccounts) {
    for (const char* sid : {"S-1-5-21-0-0-0-1000", "S-1-5-21-3623811015-3361044348-30300820-1013",
                            "S-1-12-1-1234567890-1234567890-1234567890-1234567890", "S-1-5-21-7"}) {
        EXPECT_TRUE(IsUserProfileSid(sid)) << sid;
    }
    for (const char* sid : {"S-1-5-18", "S-1-5-19", "S-1-5-20", "S-1-5-80-956008885-3418522649-1831038044",
                            "S-1-5-82-3006700770-424185619-1745488364", "S-1-5-21-1-2-3-1000.bak",
                            "S-1-5-21-1-2-3-1000 ", "S-1-5-21-", "S-1-5-21", "S-1-5-21--1000",
                            "S-1-5-21-1-2-3-", "s-1-5-21-1-2-3-1000", "S-1-12-2-1", "S-1-5-211-1", "",
                            "S-1-5-21-1-2-3-1000\\x"}) {
        EXPECT_FALSE(IsUserProfileSid(sid)) << sid;
    }
}

class Report : public RegistryFixture {
protected:
    FakeProfiles profiles;

    void Machine(const std::string& settings, int retire = 0) {
        ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineKey, "Address", std::string("portal.example.com"), kRegSz));
        ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineKey, "Https", 0.0, kRegDword));
        ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineKey, "Retire", static_cast<double>(retire), kRegDword));
        ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineKey, "Settings", settings, kRegSz));
    }
    std::vector<std::string> Lines(const std::string& text) const {
        std::vector<std::string> lines;
        std::size_t begin = 0;
        for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos; begin = end + 1) {
            lines.push_back(text.substr(begin, end - begin));
        }
        EXPECT_EQ(begin, text.size()) << "the text ends with a line break";
        return lines;
    }
};

TEST_F(Report, OneLinePerUserAndTheSummary) {
    Machine("1,0,0,3");
    profiles.Add("S-1-5-18", "%systemroot%\\system32\\config\\systemprofile", Record("1,0,0,3", "failed"));
    profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\alice", Record("1,0,0,3", "applied"));
    profiles.Add("S-1-5-21-1-2-3-1002", "C:\\Users\\bob",
                 Record("1,0,0,3", "failed", "设置出错，原因：无法写入注册表"), HiveSource::ProfileFile);
    profiles.Add("S-1-5-21-1-2-3-1003", "C:\\Users\\carol", std::nullopt);
    profiles.Add("S-1-5-21-1-2-3-1004", "C:\\Users\\dave", Record("1,0,0,2", "applied"));
    profiles.AddUnreadable("S-1-5-21-1-2-3-1005", "C:\\Users\\erin",
                           "该用户未登录，其注册表文件 C:\\Users\\erin\\NTUSER.DAT 无法读取（拒绝访问。）");
    profiles.Add("S-1-5-19", "C:\\Windows\\ServiceProfiles\\LocalService", std::nullopt);
    profiles.Add("S-1-5-20", "C:\\Windows\\ServiceProfiles\\NetworkService", std::nullopt);
    profiles.accounts["S-1-5-21-1-2-3-1001"] = "PC01\\alice";
    profiles.accounts["S-1-5-21-1-2-3-1002"] = "CORP\\bob";

    const RunReport report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 1);
    EXPECT_EQ(Lines(report.text),
              (std::vector<std::string>{
                  "本机的设置 1,0,0,3：门户地址 portal.example.com",
                  "已完成：PC01\\alice（S-1-5-21-1-2-3-1001）：已设置 portal.example.com，版本 1.0.0，"
                  "时间 2026-12-09 12:00:00 +08:00",
                  "失败：CORP\\bob（S-1-5-21-1-2-3-1002）：设置出错，原因：无法写入注册表（failed，退出代码 1，"
                  "时间 2026-12-09 12:00:00 +08:00）",
                  "尚未完成：carol（S-1-5-21-1-2-3-1003）：没有记录（该用户登录后才会设置）",
                  "尚未完成：dave（S-1-5-21-1-2-3-1004）：记录的是设置 1,0,0,2（applied，"
                  "时间 2026-12-09 12:00:00 +08:00），不是本机当前的设置",
                  "暂时无法读取：erin（S-1-5-21-1-2-3-1005）：该用户未登录，其注册表文件 "
                  "C:\\Users\\erin\\NTUSER.DAT 无法读取（拒绝访问。）",
                  "共 5 个用户：已完成 1，失败 1，尚未完成 2，暂时无法读取 1（按尚未完成计）",
              }));
    // The service accounts are not asked about.
    EXPECT_EQ(profiles.asked, (std::vector<std::string>{"S-1-5-21-1-2-3-1001", "S-1-5-21-1-2-3-1002",
                                                        "S-1-5-21-1-2-3-1003", "S-1-5-21-1-2-3-1004",
                                                        "S-1-5-21-1-2-3-1005"}));
}

TEST_F(Report, ExitCodeFollowsTheUsersAndTheRetireSwitch) {
    Machine("1,0,0,4", 1);
    profiles.Add("S-1-12-1-10-20-30-40", "C:\\Users\\AzureAD\\frank", Record("1,0,0,4", "retired"));
    RunReport report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 0) << report.text;
    EXPECT_EQ(Lines(report.text),
              (std::vector<std::string>{
                  "本机的设置 1,0,0,4：撤回各用户的设置（Retire = 1）",
                  "已完成：frank（S-1-12-1-10-20-30-40）：已撤回该用户的设置，时间 2026-12-09 12:00:00 +08:00",
                  "共 1 个用户：已完成 1，失败 0，尚未完成 0，暂时无法读取 0（按尚未完成计）",
              }));

    // Applied, while the machine now retires the settings: not done yet, and said why.
    profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\alice", Record("1,0,0,4", "applied"));
    report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 3);
    EXPECT_NE(report.text.find("尚未完成：alice（S-1-5-21-1-2-3-1001）：记录的结果为 applied，本机的设置要求 "
                               "retired（时间 2026-12-09 12:00:00 +08:00）\n"),
              std::string::npos)
        << report.text;

    // A record key without a result is no record; a profile that cannot be read counts as not
    // yet, never as failed.
    profiles.entries.clear();
    StoredRecord partial = Record("1,0,0,4", "retired");
    partial.texts.erase("Result");
    profiles.Add("S-1-5-21-1-2-3-1002", "C:\\Users\\bob", partial);
    profiles.AddUnreadable("S-1-5-21-1-2-3-1003", "", "该用户未登录，且配置文件列表中没有其文件夹（ProfileImagePath）");
    report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 3);
    EXPECT_NE(report.text.find("尚未完成：bob（S-1-5-21-1-2-3-1002）：没有记录"), std::string::npos) << report.text;
    EXPECT_NE(report.text.find("暂时无法读取：（未知用户）（S-1-5-21-1-2-3-1003）："), std::string::npos)
        << report.text;

    // No user profile at all: nobody is left to do.
    profiles.entries = {{"S-1-5-18", ""}};
    report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 0);
    EXPECT_TRUE(report.text.ends_with("共 0 个用户：已完成 0，失败 0，尚未完成 0，暂时无法读取 0（按尚未完成计）\n"));
}

TEST_F(Report, WithoutMachineSettingsOrProfileListThereIsNoReport) {
    profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\alice", Record("1,0,0,3", "applied"));
    RunReport report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 2);
    EXPECT_EQ(report.text, "无法报告：本机没有 ZUVPortalSetting 的设置（HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVPortalSetting "
                           "不存在）：安装包尚未安装。请先安装 ZUVPortalSetting 的安装包（msiexec … PORTALADDRESS=地址）\n");

    // The key without an address, or without the stamp the records are compared with.
    ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineKey, "Settings", std::string("1,0,0,3"), kRegSz));
    report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 2);
    EXPECT_TRUE(report.text.starts_with("无法报告：本机的 ZUVPortalSetting 设置中没有门户地址")) << report.text;
    Machine("1,0,0,3");
    ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineKey, "Settings", 3.0, kRegDword));
    report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 2);
    EXPECT_TRUE(report.text.starts_with("无法报告：本机的 ZUVPortalSetting 设置中没有设置标记")) << report.text;
    EXPECT_TRUE(profiles.asked.empty());

    Machine("1,0,0,3");
    profiles.listFailure = "拒绝访问。";
    report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 2);
    EXPECT_EQ(report.text, "无法报告：无法读取配置文件列表 HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\"
                           "CurrentVersion\\ProfileList（拒绝访问。）\n");
    EXPECT_TRUE(profiles.asked.empty());
}

// Whatever a user's hive holds comes out as one bounded line with its invisible characters
// written out: the record is the user's to write.
TEST_F(Report, RecordTextIsBoundedAndEscaped) {
    Machine("1,0,0,3");
    const std::string hidden = "行一\r\n已完成：PC01\\admin\x1B[2J\xE2\x80\xAE" "evil\xE2\x80\xA8" "end";
    const std::string longText(5000, 'x');
    StoredRecord record = Record("1,0,0,3", "failed", hidden + longText);
    record.texts["Time"] = "\x7F" "2026";
    profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\al\nice", record);
    profiles.Add("S-1-5-21-1-2-3-1002", "C:\\Users\\bob", Record("1,0,0,3\n", "applied"));
    profiles.accounts["S-1-5-21-1-2-3-1002"] = "CORP\\b\xE2\x80\x8Fob";
    profiles.AddUnreadable("S-1-5-21-1-2-3-1003", "C:\\Users\\carol", "why\nnot" + longText);

    const RunReport report = ReportPortal(reg, profiles);
    EXPECT_EQ(report.exitCode, 1);
    const std::vector<std::string> lines = Lines(report.text);
    ASSERT_EQ(lines.size(), 5u) << report.text;
    for (const std::string& line : lines) {
        EXPECT_EQ(EscapeInvisible(line), line) << line;
        EXPECT_LE(DecodeUtf8(line).size(), 520u) << line;
    }
    EXPECT_TRUE(lines[1].starts_with("失败：al\\x0Aice（S-1-5-21-1-2-3-1001）：行一\\x0D\\x0A已完成：PC01\\admin"
                                     "\\x1B[2J\\u202Eevil\\u2028endxxx"))
        << lines[1];
    EXPECT_NE(lines[1].find("…"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find("时间 \\x7F2026）"), std::string::npos) << lines[1];
    EXPECT_EQ(lines[2], "尚未完成：CORP\\b\\u200Fob（S-1-5-21-1-2-3-1002）：记录的是设置 1,0,0,3\\x0A（applied，"
                        "时间 2026-12-09 12:00:00 +08:00），不是本机当前的设置");
    EXPECT_TRUE(lines[3].starts_with("暂时无法读取：carol（S-1-5-21-1-2-3-1003）：why\\x0Anot")) << lines[3];
}

class ReportRun : public RegistryFixture {
protected:
    FakeHost host;
    MemoryStoredRegistry stored{memory, *codePage};
    ProgramRegistry registry{memory, *codePage, stored};

    int Run(const std::vector<std::string>& arguments) {
        return RunProgram(ParseCommandLine(arguments), host, registry,
                          [&](mdlReg&, const ApplyRecords&) { return 99; });
    }
};

TEST_F(ReportRun, TheReportTakesNoOtherOption) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{{"/report"}, {"-REPORT"}, {"/Report"}}) {
        EXPECT_EQ(ParseCommandLine(arguments).mode, RunMode::Report) << arguments[0];
    }
    EXPECT_EQ(ParseCommandLine({"/report", "/?"}).mode, RunMode::Usage);
    struct Case {
        std::vector<std::string> arguments;
        const char* problem;
    };
    const Case cases[] = {
        {{"/report", "/quiet"}, "选项 /report 不能与其他选项一起使用"},
        {{"/report", "/address:portal"}, "选项 /report 不能与其他选项一起使用"},
        {{"/check:portal", "/report"}, "选项 /report 不能与其他选项一起使用"},
        {{"/report", "/log:C:\\report.log"}, "选项 /report 不能与其他选项一起使用"},
        {{"/report", "/undo"}, "选项 /report 不能与其他选项一起使用"},
        {{"/report", "/report"}, "选项 /report 给出了不止一次"},
        {{"/report:all"}, "选项 /report 不带值"},
    };
    for (const Case& c : cases) {
        const Invocation parsed = ParseCommandLine(c.arguments);
        EXPECT_EQ(parsed.mode, RunMode::Invalid) << testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.problem, c.problem) << testing::PrintToString(c.arguments);
    }
    EXPECT_NE(UsageText().find("ZUVPortalSetting.exe /report\n"), std::string::npos);
}

// Deployment tools run detection and compliance scripts as LocalSystem: the report runs there,
// an apply is still refused, and neither writes anything.
TEST_F(ReportRun, AllowedAsLocalSystemWhereTheApplyIsRefused) {
    ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineKey, "Address", std::string("portal.example.com"), kRegSz));
    ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineKey, "Settings", std::string("1,0,0,3"), kRegSz));
    host.profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\alice", Record("1,0,0,3", "applied"));
    const std::string before = memory.Dump(kHkeyCurrentUser) + memory.Dump(kHkeyLocalMachine);

    host.localSystem = true;
    EXPECT_EQ(Run({"/report"}), 0) << host.output;
    EXPECT_TRUE(host.output.starts_with("本机的设置 1,0,0,3：门户地址 portal.example.com\n已完成：alice（")) << host.output;
    host.output.clear();
    EXPECT_EQ(Run({"/quiet", "/address:portal.example.com"}), kExitNotUnderstood);
    EXPECT_TRUE(host.output.starts_with("无法按要求运行：本程序正以 LocalSystem 账户运行")) << host.output;
    EXPECT_EQ(host.profiles.asked.size(), 1u);

    // Not understood, the report is not made.
    host.output.clear();
    EXPECT_EQ(Run({"/report", "/quiet"}), kExitNotUnderstood);
    EXPECT_TRUE(host.output.starts_with("命令行无法识别：选项 /report 不能与其他选项一起使用\n")) << host.output;
    EXPECT_EQ(host.profiles.asked.size(), 1u);

    // With nowhere to write, a user sees the report in a box; LocalSystem has nobody to see one.
    host.hasOutput = false;
    EXPECT_EQ(Run({"/report"}), 0);
    EXPECT_TRUE(host.messageBoxes.empty());
    host.localSystem = false;
    host.profiles.Add("S-1-5-21-1-2-3-1002", "C:\\Users\\bob", std::nullopt);
    EXPECT_EQ(Run({"/report"}), 3);
    ASSERT_EQ(host.messageBoxes.size(), 1u);
    EXPECT_NE(host.messageBoxes[0].find("尚未完成：bob（S-1-5-21-1-2-3-1002）：没有记录"), std::string::npos);

    EXPECT_EQ(memory.Dump(kHkeyCurrentUser) + memory.Dump(kHkeyLocalMachine), before);
    EXPECT_TRUE(host.logs.empty());
    EXPECT_TRUE(host.backups.empty());
}

}  // namespace
}  // namespace zuv::test
