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

constexpr const char* kTime = "时间 2026-12-09 12:00:00 +08:00";

StoredRecord Record(const std::string& settings, const std::string& result,
                    const std::string& message = "恭喜你，设置成功！") {
    return {{{"Settings", settings}, {"Result", result}, {"Address", "portal.example.com"},
             {"Time", "2026-12-09 12:00:00 +08:00"}, {"Version", "1.0.0"}, {"Message", message}},
            result == "applied" ? 0u : 1u};
}

TEST(ReportState, EachRecordAgainstTheCurrentSettingsAndRetire) {
    using enum UserState;
    struct Row {
        const char* result;  // nullptr: no record
        bool current;        // the record's Settings are the machine's
        UserState retire0, retire1;
    };
    const Row rows[] = {
        {nullptr, true, NotYet, NotYet},        {"applied", true, Done, NotYet},
        {"applied", false, NotYet, NotYet},     {"retired", true, NotYet, Done},
        {"retired", false, NotYet, NotYet},     {"failed", true, Failed, Failed},
        {"failed", false, NotYet, NotYet},      {"retire-failed", true, Failed, Failed},
        {"retire-failed", false, NotYet, NotYet},
        // Results the run never writes, and the right ones spelt otherwise.
        {"Applied", true, NotYet, NotYet},      {"retired ", true, NotYet, NotYet},
        {"", true, NotYet, NotYet},
    };
    for (const Row& row : rows) {
        std::optional<StoredRecord> record;
        if (row.result != nullptr) record = Record(row.current ? "1,0,0,3" : "1,0,0,2", row.result);
        const std::string shown = std::string(row.result ? row.result : "none") + (row.current ? " current" : " other");
        EXPECT_EQ(StateOf(record, "1,0,0,3", false), row.retire0) << shown;
        EXPECT_EQ(StateOf(record, "1,0,0,3", true), row.retire1) << shown;
    }
    StoredRecord noSettings = Record("1,0,0,3", "applied");
    noSettings.texts.erase("Settings");
    EXPECT_EQ(StateOf(noSettings, "1,0,0,3", false), NotYet);

    // done/failed/not yet/not readable -> exit code
    const std::pair<ReportCounts, int> mixes[] = {
        {{0, 0, 0, 0}, 0}, {{3, 0, 0, 0}, 0}, {{3, 1, 0, 0}, 1}, {{0, 1, 2, 1}, 1},
        {{2, 0, 1, 0}, 3}, {{2, 0, 0, 1}, 3}, {{0, 0, 0, 1}, 3},
    };
    for (const auto& [counts, exitCode] : mixes) {
        EXPECT_EQ(ReportExitCode(counts), exitCode) << counts.done << counts.failed << counts.notYet << counts.notReadable;
    }
}

TEST(ReportState, UserProfilesAreLocalDomainAndEntraAccounts) {
    for (const char* sid : {"S-1-5-21-0-0-0-1000", "S-1-5-21-3623811015-3361044348-30300820-1013",
                            "S-1-12-1-1234567890-1234567890-1234567890-1234567890"}) {
        EXPECT_TRUE(IsUserProfileSid(sid)) << sid;
    }
    for (const char* sid : {"S-1-5-18", "S-1-5-19", "S-1-5-20", "S-1-5-80-956008885-3418522649-1831038044",
                            "S-1-5-82-3006700770-424185619-1745488364", "S-1-5-21-1-2-3-1000.bak",
                            "S-1-5-21-1-2-3-1000 ", "S-1-5-21-", "S-1-5-21", "S-1-5-21--1000", "S-1-5-21-1-2-3-",
                            "s-1-5-21-1-2-3-1000", "S-1-12-2-1", "S-1-5-211-1", ""}) {
        EXPECT_FALSE(IsUserProfileSid(sid)) << sid;
    }
}

class Report : public RegistryFixture {
protected:
    FakeHost host;
    FakeProfiles& profiles = host.profiles;
    MemoryStoredRegistry stored{memory, *codePage};
    ProgramRegistry registry{memory, *codePage, stored};

    void Machine(const std::string& settings, double retire = 0) {
        ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineSettingsKey, "Address", std::string("portal.example.com"), kRegSz));
        ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineSettingsKey, "Retire", retire, kRegDword));
        ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineSettingsKey, "Settings", settings, kRegSz));
    }
    // The exit code, then the report's lines.
    std::vector<std::string> Lines() {
        const RunReport report = ReportPortal(reg, profiles);
        std::vector<std::string> lines{"exit " + std::to_string(report.exitCode)};
        for (std::size_t begin = 0, end; (end = report.text.find('\n', begin)) != std::string::npos; begin = end + 1) {
            lines.push_back(report.text.substr(begin, end - begin));
        }
        return lines;
    }
    int Run(const std::vector<std::string>& arguments) {
        return RunProgram(ParseCommandLine(arguments), host, registry, [&](mdlReg&, const ApplyRecords&) { return 99; });
    }
};

TEST_F(Report, OneLinePerUserAndTheSummary) {
    Machine("1,0,0,3");
    profiles.Add("S-1-5-18", "C:\\Windows\\system32\\config\\systemprofile", Record("1,0,0,3", "failed"));
    profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\alice", Record("1,0,0,3", "applied"));
    profiles.Add("S-1-5-21-1-2-3-1002", "C:\\Users\\bob", Record("1,0,0,3", "failed", "设置出错，原因：无法写入注册表"),
                 HiveSource::ProfileFile);
    profiles.Add("S-1-5-21-1-2-3-1003", "C:\\Users\\carol", std::nullopt);
    profiles.Add("S-1-5-21-1-2-3-1004", "C:\\Users\\dave", Record("1,0,0,2", "applied"));
    profiles.AddUnreadable("S-1-5-21-1-2-3-1005", "", "找不到文件");
    StoredRecord noResult = Record("1,0,0,3", "applied");
    noResult.texts.erase("Result");  // a key without a result is no record
    profiles.Add("S-1-5-21-1-2-3-1006", "C:\\Users\\frank", noResult);
    profiles.Add("S-1-5-20", "C:\\Windows\\ServiceProfiles\\NetworkService", std::nullopt);
    profiles.accounts = {{"S-1-5-21-1-2-3-1001", "PC01\\alice"}, {"S-1-5-21-1-2-3-1002", "CORP\\bob"}};
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "exit 1", "本机的设置 1,0,0,3：门户地址 portal.example.com",
                           "已完成：PC01\\alice（S-1-5-21-1-2-3-1001）：已设置 portal.example.com，版本 1.0.0，" + std::string(kTime),
                           "失败：CORP\\bob（S-1-5-21-1-2-3-1002）：设置出错，原因：无法写入注册表（failed，退出代码 1，" +
                               std::string(kTime) + "）",
                           "尚未完成：carol（S-1-5-21-1-2-3-1003）：没有记录（该用户登录后才会设置）",
                           "尚未完成：dave（S-1-5-21-1-2-3-1004）：记录的是设置 1,0,0,2（applied，" + std::string(kTime) +
                               "），不是本机当前的设置",
                           "暂时无法读取：（未知用户）（S-1-5-21-1-2-3-1005）：找不到文件",
                           "尚未完成：frank（S-1-5-21-1-2-3-1006）：没有记录（该用户登录后才会设置）",
                           "共 6 个用户：已完成 1，失败 1，尚未完成 3，暂时无法读取 1（按尚未完成计）"}));
    // The service accounts are not asked about.
    EXPECT_EQ(profiles.asked.size(), 6u);
    EXPECT_EQ(profiles.asked.front(), "S-1-5-21-1-2-3-1001");

    profiles.entries.resize(1);  // S-1-5-18 alone: no user left to do
    EXPECT_EQ(Lines().front(), "exit 0");
    Machine("1,0,0,4", 1);
    profiles.Add("S-1-5-21-1-2-3-1007", "C:\\Users\\gina", Record("1,0,0,4", "retired"));
    profiles.Add("S-1-5-21-1-2-3-1008", "C:\\Users\\hal", Record("1,0,0,4", "applied"));
    EXPECT_EQ(Lines(), (std::vector<std::string>{
                           "exit 3", "本机的设置 1,0,0,4：撤回各用户的设置（Retire = 1）",
                           "已完成：gina（S-1-5-21-1-2-3-1007）：已撤回该用户的设置，" + std::string(kTime),
                           "尚未完成：hal（S-1-5-21-1-2-3-1008）：记录的结果为 applied，本机的设置要求 retired（" +
                               std::string(kTime) + "）",
                           "共 2 个用户：已完成 1，失败 0，尚未完成 1，暂时无法读取 0（按尚未完成计）"}));
}

TEST_F(Report, WithoutMachineSettingsOrProfileListThereIsNoReport) {
    profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\alice", Record("1,0,0,3", "applied"));
    const std::string where = "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVPortalSetting";
    EXPECT_EQ(Lines().at(1), "无法报告：本机没有 ZUVPortalSetting 的设置（" + where +
                                 " 不存在）：安装包尚未安装。请先安装 ZUVPortalSetting 的安装包（msiexec … PORTALADDRESS=地址）");
    ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineSettingsKey, "Settings", std::string("1,0,0,3"), kRegSz));
    EXPECT_EQ(Lines().at(1), "无法报告：本机的 ZUVPortalSetting 设置中没有门户地址（" + where +
                                 " 中的 \"Address\"）：请重新安装并给出 PORTALADDRESS");
    Machine("1,0,0,3");
    ASSERT_TRUE(reg.SetValue(kHkeyLocalMachine, kMachineSettingsKey, "Settings", 3.0, kRegDword));
    EXPECT_TRUE(Lines().at(1).starts_with("无法报告：本机的 ZUVPortalSetting 设置中没有设置标记（" + where));
    Machine("1,0,0,3");
    profiles.listFailure = "拒绝访问。";
    EXPECT_EQ(Lines(), (std::vector<std::string>{"exit 2", "无法报告：无法读取配置文件列表 HKEY_LOCAL_MACHINE\\SOFTWARE\\"
                                                           "Microsoft\\Windows NT\\CurrentVersion\\ProfileList（拒绝访问。）"}));
    EXPECT_TRUE(profiles.asked.empty());
}

// Whatever a user's hive holds comes out as one bounded line with its invisible characters
// written out: the record is the user's to write.
TEST_F(Report, RecordTextIsBoundedAndEscaped) {
    Machine("1,0,0,3");
    StoredRecord record = Record("1,0,0,3", "failed", "一\r\n已完成：PC01\\x\x1B[2J\xE2\x80\xAE" "e\xE2\x80\xA8" "f" + std::string(5000, 'x'));
    record.texts["Time"] = "\x7F" "2026";
    profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\al\nice", record);
    profiles.Add("S-1-5-21-1-2-3-1002", "C:\\Users\\bob", Record("1,0,0,3\n", "applied"));
    profiles.accounts["S-1-5-21-1-2-3-1002"] = "CORP\\b\xE2\x80\x8Fob";
    profiles.AddUnreadable("S-1-5-21-1-2-3-1003", "C:\\Users\\carol", "why\nnot" + std::string(5000, 'y'));
    const std::vector<std::string> lines = Lines();
    ASSERT_EQ(lines.size(), 6u);
    for (const std::string& line : lines) {
        EXPECT_EQ(EscapeInvisible(line), line);
        EXPECT_LE(DecodeUtf8(line).size(), 400u) << line;
    }
    EXPECT_TRUE(lines[2].starts_with("失败：al\\x0Aice（S-1-5-21-1-2-3-1001）：一\\x0D\\x0A已完成：PC01\\x\\x1B[2J\\u202Ee\\u2028fxx"))
        << lines[2];
    EXPECT_TRUE(lines[2].ends_with("xx（failed，退出代码 1，时间 \\x7F2026）")) << lines[2];
    EXPECT_EQ(lines[3], "尚未完成：CORP\\b\\u200Fob（S-1-5-21-1-2-3-1002）：记录的是设置 1,0,0,3\\x0A（applied，" +
                            std::string(kTime) + "），不是本机当前的设置");
    EXPECT_TRUE(lines[4].starts_with("暂时无法读取：carol（S-1-5-21-1-2-3-1003）：why\\x0Anotyy")) << lines[4];
}

// Deployment tools run detection and compliance scripts as LocalSystem: the report runs there,
// an apply is still refused, and neither writes anything.
TEST_F(Report, TakenAloneAndAllowedAsLocalSystemWhereTheApplyIsRefused) {
    for (const auto& arguments : std::vector<std::vector<std::string>>{{"/report"}, {"-REPORT"}}) {
        EXPECT_EQ(ParseCommandLine(arguments).mode, RunMode::Report);
    }
    EXPECT_EQ(ParseCommandLine({"/report", "/?"}).mode, RunMode::Usage);
    for (const auto& [arguments, problem] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"/report", "/quiet"}, "选项 /report 不能与其他选项一起使用"},
             {{"/check:portal", "/report"}, "选项 /report 不能与其他选项一起使用"},
             {{"/report", "/log:C:\\report.log"}, "选项 /report 不能与其他选项一起使用"},
             {{"/report", "/report"}, "选项 /report 给出了不止一次"},
             {{"/report:all"}, "选项 /report 不带值"}}) {
        EXPECT_EQ(ParseCommandLine(arguments).problem, problem) << arguments[0];
    }

    Machine("1,0,0,3");
    profiles.Add("S-1-5-21-1-2-3-1001", "C:\\Users\\alice", Record("1,0,0,3", "applied"));
    const std::string before = memory.Dump(kHkeyCurrentUser) + memory.Dump(kHkeyLocalMachine);
    host.localSystem = true;
    EXPECT_EQ(Run({"/report"}), 0);
    EXPECT_TRUE(host.output.starts_with("本机的设置 1,0,0,3：门户地址 portal.example.com\n已完成：alice（")) << host.output;
    host.output.clear();
    EXPECT_EQ(Run({"/quiet", "/address:portal.example.com"}), kExitNotUnderstood);
    EXPECT_TRUE(host.output.starts_with("无法按要求运行：本程序正以 LocalSystem 账户运行")) << host.output;
    EXPECT_EQ(Run({"/report", "/quiet"}), kExitNotUnderstood);
    EXPECT_EQ(profiles.asked.size(), 1u);

    // With nowhere to write, a user sees the report in a box; LocalSystem has nobody to see one.
    host.hasOutput = false;
    EXPECT_EQ(Run({"/report"}), 0);
    EXPECT_TRUE(host.messageBoxes.empty());
    host.localSystem = false;
    EXPECT_EQ(Run({"/report"}), 0);
    ASSERT_EQ(host.messageBoxes.size(), 1u);
    EXPECT_NE(host.messageBoxes[0].find("已完成：alice（S-1-5-21-1-2-3-1001）"), std::string::npos);
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser) + memory.Dump(kHkeyLocalMachine), before);
    EXPECT_TRUE(host.logs.empty());
    EXPECT_TRUE(host.backups.empty());
}

}  // namespace
}  // namespace zuv::test
