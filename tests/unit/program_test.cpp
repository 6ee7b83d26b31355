// The program's runs beyond the window: the command line, the quiet apply, its output and exit
// code, the log, and the runs that are refused.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "base/text.h"
#include "browser_config/browser_config.h"
#include "fixture.h"
#include "program/command_line.h"
#include "program/program.h"
#include "tests/doubles/fake_host.h"
#include "tests/support/remembering_ui.h"
#include "window/ZUVPortalSetting.h"

namespace zuv::test {
namespace {

TEST(CommandLine, WindowsStyleOptions) {
    struct Case {
        std::vector<std::string> arguments;
        RunMode mode;
        std::optional<std::string> address;
        std::optional<std::string> logFile;
    };
    using enum RunMode;
    const Case cases[] = {
        {{}, Window, std::nullopt, std::nullopt},
        {{"/address:192.0.2.10"}, Window, "192.0.2.10", std::nullopt},
        {{"-ADDRESS: portal ", "/Quiet"}, Quiet, " portal ", std::nullopt},
        {{"/address:"}, Window, "", std::nullopt},
        {{"/quiet", "/address:"}, Quiet, "", std::nullopt},
        {{"/address:a:b"}, Window, "a:b", std::nullopt},
        {{"/LOG:\\\\server\\share\\portal.log", "-address:x", "-quiet"}, Quiet, "x",
         "\\\\server\\share\\portal.log"},
        {{"/?"}, Usage, std::nullopt, std::nullopt},
        {{"-?", "/quiet"}, Usage, std::nullopt, std::nullopt},  // help wins
        {{"/?", "/bogus"}, Usage, std::nullopt, std::nullopt},  // over an unknown option too
        {{"/bogus", "/?"}, Usage, std::nullopt, std::nullopt},
        {{"/?", "/check:a", "/check:b"}, Usage, std::nullopt, std::nullopt},
        {{"/CHECK:portal"}, Check, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        const Invocation parsed = ParseCommandLine(c.arguments);
        const std::string line = testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.mode, c.mode) << line << ": " << parsed.problem;
        EXPECT_EQ(parsed.address, c.address) << line;
        EXPECT_EQ(parsed.logFile, c.logFile) << line;
        EXPECT_EQ(parsed.hasArguments, !c.arguments.empty()) << line;
    }

    const std::vector<std::vector<std::string>> notUnderstood = {
        {"/quiet"},                              // nothing to apply
        {"/bogus"},
        {"portal"},                              // not an option
        {""},
        {"/address:a", "/ADDRESS:b"},            // twice
        {"/quiet", "-quiet", "/address:x"},
        {"/address"},                            // no value
        {"/quiet:yes", "/address:x"},            // a value where none belongs
        {"/log:", "/address:x"},
        {"/log:a", "/log:b"},
        {"/check:"},
        {"/check:a", "/address:a"},              // a check writes nothing and logs nothing
        {"/check:a", "/log:x"},
        {"/check:a", "/check:b"},                // twice
        {"/check:a", "-CHECK:a"},
        {"/check:a", "/quiet"},                  // a check shows its report: never quiet
        {"/quiet", "/check:a", "/https"},
        // a log that is a device, not a file
        {"/quiet", "/address:x", "/log:NUL"},
        {"/quiet", "/address:x", "/log:com1"},
        {"/quiet", "/address:x", "/log:C:\\logs\\Con.txt"},
        {"/quiet", "/address:x", "/log:lpt9.log "},
        {"/quiet", "/address:x", "/log:\\\\.\\pipe\\log"},
        {"/quiet", "/address:x", "/log:\\\\?\\GLOBALROOT\\Device\\Null"},
        {"/quiet", "/address:x", "/log:COM1:"},
        // a stream of a file
        {"/quiet", "/address:x", "/log:C:\\logs\\portal.log:hidden"},
        // an export to a device or a stream
        {"/whatif", "/address:x", "/export:COM1:"},
        {"/whatif", "/address:x", "/export:x.reg:ads"},
        {"/whatif", "/address:x", "/export:\\\\.\\pipe\\x"},
    };
    for (const auto& arguments : notUnderstood) {
        const Invocation parsed = ParseCommandLine(arguments);
        EXPECT_EQ(parsed.mode, Invalid) << testing::PrintToString(arguments);
        EXPECT_FALSE(parsed.problem.empty()) << testing::PrintToString(arguments);
    }
    EXPECT_TRUE(ParseCommandLine({"/quiet", "/bogus"}).quietAsked);
    // Files whose names only look like devices are files.
    for (const char* file : {"console.log", "C:\\logs\\com10.log", "\\\\?\\C:\\logs\\a.log",
                             "\\\\?\\UNC\\server\\logs\\a.log", "nullable.txt", "D:\\auxiliary\\x.log"}) {
        EXPECT_EQ(ParseCommandLine({"/quiet", "/address:x", std::string("/log:") + file}).mode,
                  RunMode::Quiet)
            << file;
    }
}

TEST(CommandLine, HttpsGoesWithAnAddressOrACheck) {
    struct Case {
        std::vector<std::string> arguments;
        RunMode mode;
    };
    using enum RunMode;
    const Case cases[] = {
        {{"/quiet", "/https", "/address:portal"}, Quiet},
        {{"-HTTPS", "/address:portal"}, Window},
        {{"/check:portal", "/https"}, Check},
        {{"/https"}, Invalid},                          // nothing to trust or check
        {{"/https", "/quiet"}, Invalid},
        {{"/https", "/log:x.log"}, Invalid},
        {{"/https", "/https", "/address:portal"}, Invalid},  // twice
        {{"/https:yes", "/address:portal"}, Invalid},         // no value belongs
        {{"/quiet", "/address:portal"}, Quiet},
    };
    for (const Case& c : cases) {
        const Invocation parsed = ParseCommandLine(c.arguments);
        const std::string line = testing::PrintToString(c.arguments);
        EXPECT_EQ(parsed.mode, c.mode) << line << ": " << parsed.problem;
        if (c.mode != Invalid) {
            const bool asked = std::any_of(c.arguments.begin(), c.arguments.end(),
                                           [](const std::string& a) { return EqualsNoCase(a.substr(1), "https"); });
            EXPECT_EQ(parsed.https, asked) << line;
        }
    }
    EXPECT_EQ(ParseCommandLine({"/https"}).problem, "选项 /https 需要同时给出 /address:地址 或 /check:地址");
}

TEST(LogLine, OneLineWithTimeOffsetAndEscapes) {
    LogEntry entry{{2026, 12, 8, 18, 6, 55, 123, 480}, "alice", "PC01", StartedFrom::Quiet,
                   "a\tb\"c\\", "恭喜你，设置成功！", "C:\\backup\\20261208-180655-123.reg"};
    EXPECT_EQ(LogLine(entry),
              "2026-12-08 18:06:55.123 +08:00\talice\tPC01\tquiet\t\"a\\x09b\\\"c\\\\\"\t"
              "恭喜你，设置成功！\tC:\\backup\\20261208-180655-123.reg\t" + ProgramVersion());
    entry.time.offsetMinutes = -330;
    entry.startedFrom = StartedFrom::Window;
    entry.address = "portal";
    entry.outcome = "设置出错，原因：x\r\ny";
    entry.backup = "未备份：拒绝访问。";
    EXPECT_EQ(LogLine(entry),
              "2026-12-08 18:06:55.123 -05:30\talice\tPC01\twindow\t\"portal\"\t"
              "设置出错，原因：x\\x0D\\x0Ay\t未备份：拒绝访问。\t" + ProgramVersion());
    entry.https = true;
    EXPECT_NE(LogLine(entry).find("\tPC01\twindow https\t\"portal\"\t"), std::string::npos);

    // The offset always has its sign; UTC itself is "+00:00".
    const struct {
        int minutes;
        const char* shown;
    } offsets[] = {{0, " +00:00\t"}, {-30, " -00:30\t"}, {30, " +00:30\t"}, {345, " +05:45\t"},
                   {-720, " -12:00\t"}, {840, " +14:00\t"}, {-545, " -09:05\t"},
                   {600, " +10:00\t"}};
    for (const auto& o : offsets) {
        entry.time.offsetMinutes = o.minutes;
        EXPECT_TRUE(LogLine(entry).starts_with(std::string("2026-12-08 18:06:55.123") + o.shown))
            << o.minutes << ": " << LogLine(entry);
    }

    // DEL is a control like the others, in every column, the quoted address among them.
    entry.user = "al\x7Fice";
    entry.computer = "PC\x7F";
    entry.address = "por\x7Ftal";
    entry.outcome = "x\x7F";
    entry.backup = "未备份：\x7F";
    entry.time.offsetMinutes = 0;
    const std::string line = LogLine(entry);
    EXPECT_EQ(line, "2026-12-08 18:06:55.123 +00:00\tal\\x7Fice\tPC\\x7F\twindow https\t"
                    "\"por\\x7Ftal\"\tx\\x7F\t未备份：\\x7F\t" + ProgramVersion());
    EXPECT_EQ(line.find('\x7F'), std::string::npos) << line;
}

TEST(ProgramVersion, TheProjectsVersionInTheUsageAndEveryLogLine) {
    ASSERT_EQ(ProgramVersion(), ZUV_PROJECT_VERSION);
    EXPECT_TRUE(std::regex_match(ProgramVersion(), std::regex(R"([0-9]+\.[0-9]+\.[0-9]+)")))
        << ProgramVersion();
    const std::string usage = UsageText();
    EXPECT_TRUE(usage.ends_with("\n\n版本：" + ProgramVersion() + "\n")) << usage;
    // The version is the last column, after the backup: the columns before it stay in place.
    const LogEntry entry{{2026, 12, 8, 18, 6, 55, 123, 480}, "u", "c", StartedFrom::Quiet,
                         "a", "恭喜你，设置成功！", "b.reg"};
    const std::string line = LogLine(entry);
    EXPECT_EQ(line.substr(line.rfind('\t') + 1), ProgramVersion());
    EXPECT_TRUE(line.ends_with("\tb.reg\t" + ProgramVersion())) << line;
}

class Program : public RegistryFixture {
protected:
    FakeHost host;
    MemoryStoredRegistry stored{memory, *codePage};
    ProgramRegistry registry{memory, *codePage, stored};
    int windowsOpened = 0;

    // Runs the command line; the window, when opened, presses nothing.
    int Run(const std::vector<std::string>& arguments) {
        return RunProgram(ParseCommandLine(arguments), host, registry, [&](mdlReg&, const ApplyRecords&) {
            ++windowsOpened;
            return 0;
        });
    }
    std::string FirstOutputLine() const { return host.output.substr(0, host.output.find('\n')); }
    const std::vector<std::string>& DefaultLog() { return host.logs[host.defaultLog]; }
};

// A registry of its own with the eighth generation installed, as start-up reads it.
struct Machine {
    explicit Machine(const AnsiCodePage& codePage)
        : memory(codePage), reg(memory, codePage), stored(memory, codePage),
          registry{memory, codePage, stored} {
        RegKey key = 0;
        memory.CreateKeyEx(kHkeyLocalMachine, kBrowserVersionKey, "", kWriteAccess, false, &key,
                           nullptr);
        const auto data = TextBytes("8.0.6001");
        memory.SetValueEx(key, "Version", kRegSz, data.data(),
                          static_cast<std::uint32_t>(data.size()));
        memory.CloseKey(key);
    }
    MemoryRegistry memory;
    mdlReg reg;
    MemoryStoredRegistry stored;
    ProgramRegistry registry;
};

TEST_F(Program, QuietApplyWritesWhatTheWindowWritesAndLogsIt) {
    for (const std::string address : {"192.0.2.10", "portal", "www.example.com", ""}) {
        Machine byWindow(*codePage);
        RememberingUi ui;
        ui.address = address;
        ZUVPortalSetting window(ui, byWindow.reg);
        window.Form_Load();
        window.cmdOK_Click();

        Machine quiet(*codePage);
        host.output.clear();
        const int exitCode = RunProgram(ParseCommandLine({"/quiet", "/address:" + address}), host,
                                        quiet.registry, [](mdlReg&, const ApplyRecords&) { return 99; });
        EXPECT_EQ(exitCode, kExitSuccess) << address;
        EXPECT_EQ(host.output, "恭喜你，设置成功！\n") << address;
        EXPECT_EQ(quiet.memory.Dump(kHkeyCurrentUser), byWindow.memory.Dump(kHkeyCurrentUser))
            << address;
        EXPECT_EQ(DefaultLog().back(),
                  "2026-12-08 18:06:55.123 +08:00\talice\tPC01\tquiet\t\"" + address +
                      "\"\t恭喜你，设置成功！\tC:\\Users\\alice\\AppData\\Local\\ZUVPortalSetting\\backup\\" +
                      host.lastBackupName + "\t" + ProgramVersion());
    }
    EXPECT_EQ(DefaultLog().size(), 4u);
    EXPECT_TRUE(host.messageBoxes.empty());
}

TEST_F(Program, QuietFailureExitsWithOneAndTheMessageText) {
    memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::SetValueEx ? kErrorAccessDenied : kErrorSuccess;
    });
    EXPECT_EQ(Run({"/quiet", "/address:portal", "/log:D:\\logs\\portal.log"}), kExitApplyFailed);
    const std::string expected = "设置出错，原因：无法写入注册表 HKEY_CURRENT_USER\\" +
                                 std::string(kZoneMapRoot) + "EscRanges\\ 的默认值（错误代码 5：拒绝访问。）";
    EXPECT_EQ(host.output, expected + "\n");
    ASSERT_EQ(host.logs["D:\\logs\\portal.log"].size(), 1u);
    EXPECT_NE(host.logs["D:\\logs\\portal.log"][0].find("\tquiet\t\"portal\"\t" + expected + "\t"),
              std::string::npos);
    EXPECT_EQ(DefaultLog().size(), 0u);

    // Text the code page cannot hold fails as it does when typed, and nothing of it is written.
    memory.SetFaultHook(nullptr);
    host.output.clear();
    EXPECT_EQ(Run({"/quiet", "/address:p\xF0\x9F\x98\x80"}), kExitApplyFailed);
    EXPECT_EQ(FirstOutputLine(), "设置出错，原因：文本“" + std::string(kZoneMapRoot) +
                                     "EscDomains\\p\xF0\x9F\x98\x80\\”含有代码页 936 无法表示的字符");
    EXPECT_EQ(SubKeys(std::string(kZoneMapRoot) + "EscDomains\\"),
              std::vector<std::string>{"portal"});
}

TEST_F(Program, RunsThatAreNotUnderstoodOrRefusedApplyNothing) {
    struct Case {
        std::vector<std::string> arguments;
        bool localSystem;
        int exitCode;
        const char* outputStart;
    };
    const Case cases[] = {
        {{"/bogus", "/address:portal", "/quiet"}, false, kExitNotUnderstood, "命令行无法识别：无法识别的选项“/bogus”\n"},
        {{"/quiet"}, false, kExitNotUnderstood, "命令行无法识别：选项 /quiet 需要同时给出 /address:地址\n"},
        {{"/check:portal", "/check:other"}, false, kExitNotUnderstood, "命令行无法识别：选项 /check 给出了不止一次\n"},
        {{"/check:portal", "/quiet"}, false, kExitNotUnderstood,
         "命令行无法识别：选项 /check 不能与 /address、/quiet 或 /log 一起使用\n"},
        {{"/?"}, false, kExitSuccess, "用法：ZUVPortalSetting.exe"},
        // Asking for help wins over an option not understood, before or after it.
        {{"/?", "/bogus"}, false, kExitSuccess, "用法：ZUVPortalSetting.exe"},
        {{"/bogus", "-?"}, false, kExitSuccess, "用法：ZUVPortalSetting.exe"},
        {{"/?"}, true, kExitSuccess, "用法：ZUVPortalSetting.exe"},
        {{"/quiet", "/address:portal"}, true, kExitNotUnderstood, "无法按要求运行：本程序正以 LocalSystem 账户运行"},
        {{"/address:portal"}, true, kExitNotUnderstood, "无法按要求运行：本程序正以 LocalSystem 账户运行"},
    };
    for (const Case& c : cases) {
        host.output.clear();
        host.localSystem = c.localSystem;
        EXPECT_EQ(Run(c.arguments), c.exitCode) << testing::PrintToString(c.arguments);
        EXPECT_TRUE(host.output.starts_with(c.outputStart)) << host.output;
    }
    EXPECT_EQ(memory.CallCount(), 0u);
    EXPECT_TRUE(host.zoneQuestions.empty()) << "no check ran";
    EXPECT_EQ(windowsOpened, 0);
    EXPECT_TRUE(host.logs.empty());
    EXPECT_TRUE(host.messageBoxes.empty());

    // Without arguments the window opens, whatever the account.
    EXPECT_EQ(Run({}), 0);
    EXPECT_EQ(windowsOpened, 1);

    // Nowhere to write: a message box, unless the run was to be quiet.
    host.hasOutput = false;
    Run({"/bogus"});
    Run({"/bogus", "/quiet"});
    ASSERT_EQ(host.messageBoxes.size(), 1u);
    EXPECT_TRUE(host.messageBoxes[0].starts_with("命令行无法识别：")) << host.messageBoxes[0];
}

TEST_F(Program, AnAddressThatCannotNameAServerIsRefusedBeforeAnyWrite) {
    const std::string before = memory.Dump(kHkeyCurrentUser);
    for (const std::string address : {"http://portal.example.com/app", "portal:8080", "portal ",
                                      "\\", "com\\evil", "portal\r\nevil", "a]b",
                                      "x\xE2\x80\xA8y", "\xE2\x80\xAE" "lanrop", "por\x7F" "tal"}) {
        const std::string shown = EscapeInvisible(address);
        host.output.clear();
        EXPECT_EQ(Run({"/quiet", "/address:" + address}), kExitNotUnderstood) << shown;
        EXPECT_TRUE(host.output.starts_with("设置出错，原因：")) << host.output;
        EXPECT_EQ(host.output.find('\n'), host.output.size() - 1) << shown << ": one line";
        EXPECT_EQ(EscapeInvisible(host.output.substr(0, host.output.size() - 1)),
                  host.output.substr(0, host.output.size() - 1));
        // Logged as refused, with the address written out and nothing to undo.
        ASSERT_FALSE(DefaultLog().empty());
        const std::string& line = DefaultLog().back();
        EXPECT_NE(line.find("\tquiet\t\"" + EscapeInvisible(address, true) + "\"\t设置出错，原因："),
                  std::string::npos)
            << line;
        EXPECT_TRUE(line.ends_with("\t无需备份：未写入任何值\t" + ProgramVersion())) << line;
        std::string fields = line;
        std::replace(fields.begin(), fields.end(), '\t', ' ');
        EXPECT_EQ(EscapeInvisible(fields), fields) << "only the tabs between the columns";
        EXPECT_EQ(host.output.find('\x7F'), std::string::npos) << shown;
        EXPECT_EQ(line.find('\x7F'), std::string::npos) << shown;

        // The window refuses it alike, in its failure box; /check refuses it too.
        RememberingUi ui;
        ui.address = address;
        ZUVPortalSetting window(ui, reg);
        window.cmdOK_Click();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, FirstOutputLine()) << shown;
        EXPECT_EQ(ui.messages[0].flags, 64u);
        host.output.clear();
        EXPECT_EQ(Run({"/check:" + address}), kExitNotUnderstood) << shown;
        EXPECT_TRUE(host.output.starts_with("无法检查地址：")) << host.output;
    }
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), before);
    EXPECT_TRUE(host.backups.empty());
    EXPECT_TRUE(host.zoneQuestions.empty()) << "the browser is asked about no other host";
}

TEST_F(Program, CheckReportsWithoutWritingAndExitsByTheBrowsersZone) {
    ASSERT_EQ(Run({"/quiet", "/address:www.example.com"}), kExitSuccess);
    const std::string applied = memory.Dump(kHkeyCurrentUser);
    const std::size_t logged = DefaultLog().size();

    host.output.clear();
    host.urlZone = {true, 2, "受信任的站点", ""};
    EXPECT_EQ(Run({"/check:www.example.com"}), kExitSuccess);
    EXPECT_NE(host.output.find("普通区域映射："), std::string::npos) << host.output;
    EXPECT_NE(host.output.find("结论：http://www.example.com/ 在受信任的站点区域"), std::string::npos)
        << host.output;

    host.output.clear();
    host.urlZone = {true, 3, "Internet", ""};
    EXPECT_EQ(Run({"/check:other.example.com"}), kExitNotTrusted);
    EXPECT_NE(host.output.find("不在受信任的站点区域"), std::string::npos) << host.output;
    EXPECT_EQ(host.zoneQuestions, (std::vector<std::string>{"www.example.com", "other.example.com"}));

    // An address the tool could not write cannot be checked; LocalSystem is refused.
    host.output.clear();
    EXPECT_EQ(Run({"/check:example.com."}), kExitNotUnderstood);
    EXPECT_TRUE(host.output.starts_with("无法检查地址：无效的过程调用或参数")) << host.output;
    host.localSystem = true;
    EXPECT_EQ(Run({"/check:www.example.com"}), kExitNotUnderstood);
    EXPECT_EQ(host.zoneQuestions.size(), 2u);

    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), applied);
    EXPECT_EQ(DefaultLog().size(), logged);
}

// The quiet apply with /https: both values in both trees, the backup planned by the same
// apply (the value it adds to an existing key is named, to be removed on undo), the log line
// says so; the check of https://ADDRESS/ asks the browser about https.
TEST_F(Program, HttpsIsAppliedBackedUpLoggedAndChecked) {
    ASSERT_EQ(Run({"/quiet", "/address:portal"}), kExitSuccess);
    ASSERT_EQ(Run({"/quiet", "/https", "/address:portal"}), kExitSuccess);
    EXPECT_EQ(host.output, "恭喜你，设置成功！\n恭喜你，设置成功！\n");
    for (const char* tree : {"Domains\\", "EscDomains\\"}) {
        const std::string key = std::string(kZoneMapRoot) + tree + "portal";
        EXPECT_EQ(Raw(key, "http"), Dword(2)) << tree;
        EXPECT_EQ(Raw(key, "https"), Dword(2)) << tree;
    }
    ASSERT_EQ(host.backups.size(), 2u);
    const std::vector<unsigned char>& document = host.backups[1];
    std::string text;
    for (std::size_t i = 2; i + 1 < document.size(); i += 2) {
        text += document[i] < 0x80 && document[i + 1] == 0 ? static_cast<char>(document[i]) : '?';
    }
    const std::size_t key = text.find("[HKEY_CURRENT_USER\\" + std::string(kZoneMapRoot) + "Domains\\portal]\r\n");
    ASSERT_NE(key, std::string::npos) << text;
    EXPECT_LT(text.find("\"https\"=-", key), std::min(text.find("\r\n\r\n", key), text.size()))
        << "the value the apply adds is removed on undo: " << text;
    ASSERT_EQ(DefaultLog().size(), 2u);
    EXPECT_NE(DefaultLog()[0].find("\tquiet\t\"portal\"\t"), std::string::npos) << DefaultLog()[0];
    EXPECT_NE(DefaultLog()[1].find("\tquiet https\t\"portal\"\t"), std::string::npos) << DefaultLog()[1];

    const std::string applied = memory.Dump(kHkeyCurrentUser);
    host.output.clear();
    host.urlZone = {true, 2, "受信任的站点", ""};
    EXPECT_EQ(Run({"/check:portal", "/https"}), kExitSuccess);
    EXPECT_EQ(host.zoneProtocols, std::vector<std::string>{"https"});
    EXPECT_NE(host.output.find("检查地址：https://portal/\n普通区域映射：有，Domains\\portal 的 \"https\" 为 2"),
              std::string::npos)
        << host.output;
    // Today's browser is reported after the zone's conclusion; it does not change the exit code.
    const std::size_t conclusion = host.output.find("结论：https://portal/ 在受信任的站点区域");
    const std::size_t edge = host.output.find("Microsoft Edge 的 Internet Explorer 模式：");
    ASSERT_NE(conclusion, std::string::npos) << host.output;
    ASSERT_NE(edge, std::string::npos) << host.output;
    EXPECT_LT(conclusion, edge);
    EXPECT_NE(host.output.find("下载（启动应用程序和不安全的文件）："), std::string::npos) << host.output;
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), applied);
    EXPECT_EQ(DefaultLog().size(), 2u) << "a check logs nothing";
}

TEST_F(Program, EveryApplyIsBackedUpBeforeItsFirstWrite) {
    Put(std::string(kZoneMapRoot) + "Ranges\\Range7", ":Range", kRegSz, TextBytes("10.1.1.1"));
    Put(kTrustedZoneKey, "1001", kRegDword, Bytes({3, 0, 0, 0}));
    const std::string before = memory.Dump(kHkeyCurrentUser);
    std::string atBackup;
    host.onBackup = [&] { atBackup = memory.Dump(kHkeyCurrentUser); };
    ASSERT_EQ(Run({"/quiet", "/address:192.0.2.10"}), kExitSuccess);
    EXPECT_EQ(atBackup, before) << "the backup is saved before anything is written";
    ASSERT_EQ(host.backups.size(), 1u);
    // The document, UTF-16LE after its byte-order mark, names what the apply changes: the old
    // value of "1001", and the values of the range key the apply creates beside the user's;
    // that key itself stays when the backup is imported (no removal of keys).
    const std::vector<unsigned char>& document = host.backups[0];
    ASSERT_GE(document.size(), 2u);
    std::u16string text(document.size() / 2 - 1, u'\0');
    std::memcpy(text.data(), document.data() + 2, text.size() * 2);
    std::string utf8;
    for (const char16_t c : text) utf8 += c < 0x80 ? static_cast<char>(c) : '?';
    EXPECT_TRUE(utf8.starts_with("Windows Registry Editor Version 5.00\r\n")) << utf8;
    EXPECT_NE(utf8.find("\"1001\"=dword:00000003\r\n"), std::string::npos) << utf8;
    EXPECT_NE(utf8.find("[HKEY_CURRENT_USER\\" + std::string(kZoneMapRoot) +
                        "Ranges\\Range8]\r\n\"http\"=-\r\n\":Range\"=-\r\n"),
              std::string::npos)
        << utf8;
    EXPECT_EQ(utf8.find("[-"), std::string::npos) << utf8;

    // A backup that cannot be saved: the apply runs all the same, and says so.
    host.output.clear();
    host.backupFailure = "无法写入备份文件 X：磁盘已满。";
    ASSERT_EQ(Run({"/quiet", "/address:portal"}), kExitSuccess);
    EXPECT_EQ(host.output, "恭喜你，设置成功！\n未备份：无法写入备份文件 X：磁盘已满。\n");
    EXPECT_TRUE(DefaultLog().back().ends_with("\t恭喜你，设置成功！\t未备份：无法写入备份文件 X：磁盘已满。\t" +
                                              ProgramVersion()))
        << DefaultLog().back();
    EXPECT_EQ(Raw(std::string(kZoneMapRoot) + "Domains\\portal", "http"), Dword(2));
}

// The logon script applies the same address at every logon: once the values are there, an
// apply changes nothing and adds no backup, which would only push the older ones out.
TEST_F(Program, AnApplyThatChangesNothingAddsNoBackup) {
    for (const std::string address : {"192.0.2.10", "portal", "www.example.com", ""}) {
        Machine machine(*codePage);
        const auto quiet = [&](const std::string& typed) {
            host.output.clear();
            return RunProgram(ParseCommandLine({"/quiet", "/address:" + typed}), host, machine.registry,
                              [](mdlReg&, const ApplyRecords&) { return 99; });
        };
        const std::size_t backups = host.backups.size();
        ASSERT_EQ(quiet(address), kExitSuccess);
        EXPECT_EQ(host.backups.size(), backups + 1) << address;
        const std::string applied = machine.memory.Dump(kHkeyCurrentUser);
        for (int again = 0; again < 3; ++again) {
            ASSERT_EQ(quiet(address), kExitSuccess);
            EXPECT_EQ(host.output, "恭喜你，设置成功！\n") << address;
            EXPECT_TRUE(DefaultLog().back().ends_with(std::string("\t恭喜你，设置成功！\t") + kNothingToBackUp + "\t" + ProgramVersion()))
                << DefaultLog().back();
        }
        EXPECT_EQ(host.backups.size(), backups + 1) << address;
        EXPECT_EQ(machine.memory.Dump(kHkeyCurrentUser), applied) << address;
        // One value given another type by someone else, its bytes kept: the next apply changes
        // it back, and backs it up.
        const MemoryRegistry::Key* zone = machine.memory.FindKey(kHkeyCurrentUser, kTrustedZoneKey);
        ASSERT_NE(zone, nullptr);
        const auto written = std::find_if(zone->values.begin(), zone->values.end(),
                                          [](const MemoryRegistry::Value& v) { return v.name == "1001"; });
        ASSERT_NE(written, zone->values.end());
        ASSERT_EQ(written->type, kRegDword);
        const std::vector<unsigned char> bytes = written->data;
        RegKey key = 0;
        ASSERT_EQ(machine.memory.CreateKeyEx(kHkeyCurrentUser, kTrustedZoneKey, "", kWriteAccess, false, &key, nullptr), 0);
        machine.memory.SetValueEx(key, "1001", kRegBinary, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
        machine.memory.CloseKey(key);
        ASSERT_EQ(quiet(address), kExitSuccess);
        EXPECT_EQ(host.backups.size(), backups + 2) << address << ": a binary value of the same bytes";
        EXPECT_EQ(machine.memory.Dump(kHkeyCurrentUser), applied) << address;
    }
}

TEST_F(Program, ALogThatCannotBeWrittenChangesNothingButIsReportedWhenQuiet) {
    host.logFailure = "拒绝访问。";
    EXPECT_EQ(Run({"/quiet", "/address:portal"}), kExitSuccess);
    EXPECT_EQ(host.output, "恭喜你，设置成功！\n日志未写入：" + host.defaultLog + "：拒绝访问。\n");

    // The window's applies are logged too, as started from the window, and a log that cannot
    // be written is not the user's concern there.
    host.logFailure.clear();
    host.output.clear();
    RememberingUi ui;
    const int exitCode = RunProgram(ParseCommandLine({"/address:x"}), host, registry,
                                    [&](mdlReg& windowReg, const ApplyRecords& records) {
                                        ZUVPortalSetting window(ui, windowReg, &records);
                                        window.Form_Load();
                                        ui.address = "www.example.com";
                                        window.cmdOK_Click();
                                        return 0;
                                    });
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "恭喜你，设置成功！");
    EXPECT_NE(DefaultLog().back().find("\twindow\t\"www.example.com\"\t恭喜你，设置成功！\t"),
              std::string::npos);
    EXPECT_EQ(host.backups.size(), 2u) << "a backup before the window's apply too";
    EXPECT_EQ(host.output, "");
}

// Several applies from one window: each log line names the backup of its own apply, or says
// why there is none, never the file of an apply before it, whether its backup could not be
// made (the registry could not be read for it) or not saved, and whether the log line of the
// apply before could be written or not.
TEST_F(Program, EachApplyOfTheWindowLogsItsOwnBackup) {
    // The registry as stored, which can refuse to be read for the backup.
    class RefusingStored : public StoredRegistry {
    public:
        explicit RefusingStored(StoredRegistry& inner) : inner_(inner) {}
        bool refuse = false;
        long ReadKey(RegKey root, const std::string& path, std::vector<StoredValue>& values) override {
            return refuse ? kErrorAccessDenied : inner_.ReadKey(root, path, values);
        }
        std::string ErrorText(long code) override { return inner_.ErrorText(code); }

    private:
        StoredRegistry& inner_;
    } refusing(stored);
    const std::string folder = "C:\\Users\\alice\\AppData\\Local\\ZUVPortalSetting\\backup\\";
    const std::string log = host.defaultLog;
    RememberingUi ui;
    std::vector<std::string> saved;  // the name of the newest backup after each apply
    const int exitCode = RunProgram(ParseCommandLine({}), host, ProgramRegistry{memory, *codePage, refusing},
                                    [&](mdlReg& windowReg, auto& records) {
                                        ZUVPortalSetting window(ui, windowReg, &records);
                                        window.Form_Load();
                                        const auto press = [&](const std::string& address) {
                                            ui.address = address;
                                            window.cmdOK_Click();
                                            saved.push_back(host.lastBackupName);
                                        };
                                        press("portal");
                                        refusing.refuse = true;
                                        press("www.example.com");
                                        refusing.refuse = false;
                                        host.backupFailure = "无法写入备份文件 X：磁盘已满。";
                                        press("192.0.2.10");
                                        host.backupFailure.clear();
                                        press("192.0.2.10");  // the same values again
                                        press("other");
                                        // No place for the log this once: the next line is right all the same.
                                        host.defaultLog.clear();
                                        press("third");
                                        host.defaultLog = log;
                                        refusing.refuse = true;
                                        press("fourth");
                                        return 0;
                                    });
    EXPECT_EQ(exitCode, 0);
    ASSERT_EQ(ui.messages.size(), 7u);
    for (const auto& message : ui.messages) EXPECT_EQ(message.text, "恭喜你，设置成功！");
    ASSERT_EQ(host.backups.size(), 3u);
    ASSERT_EQ(saved.size(), 7u);
    EXPECT_NE(saved[0], saved[4]);
    const std::string unreadable = "未备份：无法读取注册表 HKEY_CURRENT_USER\\";
    const struct {
        const char* address;
        std::string backup;  // the column, or its beginning
    } expected[] = {
        {"portal", folder + saved[0]},
        {"www.example.com", unreadable},
        {"192.0.2.10", "未备份：无法写入备份文件 X：磁盘已满。"},
        {"192.0.2.10", kNothingToBackUp},
        {"other", folder + saved[4]},
        {"fourth", unreadable},
    };
    const std::vector<std::string>& lines = host.logs[log];
    ASSERT_EQ(lines.size(), std::size(expected));
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string start = std::string("\twindow\t\"") + expected[i].address + "\"\t恭喜你，设置成功！\t";
        const std::size_t at = lines[i].find(start);
        ASSERT_NE(at, std::string::npos) << i << ": " << lines[i];
        const std::string column = lines[i].substr(at + start.size(), lines[i].rfind('\t') - at - start.size());
        if (expected[i].backup == unreadable) {
            EXPECT_TRUE(column.starts_with(unreadable)) << i << ": " << column;
            EXPECT_NE(column.find("（错误代码 5：拒绝访问。）"), std::string::npos) << column;
        } else {
            EXPECT_EQ(column, expected[i].backup) << i;
        }
    }
}

TEST_F(Program, LongNamesAreShortenedOnScreenAndKeptWholeInTheLog) {
    const std::string host600 = std::string(580, 'a') + ".example.com";  // a 580-letter host
    const std::string address = "www." + host600;
    // The registry refuses key paths this long, as Windows refuses names over 255 characters.
    class ShortPathsOnly : public MemoryRegistry {
    public:
        using MemoryRegistry::MemoryRegistry;
        long CreateKeyEx(RegKey root, const std::string& subKey, const std::string& keyClass,
                         std::uint32_t access, bool inherit, RegKey* result,
                         std::uint32_t* disposition) override {
            if (subKey.size() > 300) return kErrorInvalidParameter;
            return MemoryRegistry::CreateKeyEx(root, subKey, keyClass, access, inherit, result,
                                               disposition);
        }
    } shortPaths(*codePage);
    MemoryStoredRegistry shortStored(shortPaths, *codePage);
    ASSERT_EQ(RunProgram(ParseCommandLine({"/quiet", "/address:" + address}), host,
                         ProgramRegistry{shortPaths, *codePage, shortStored},
                         [](mdlReg&, const ApplyRecords&) { return 99; }),
              kExitApplyFailed);
    const std::string shown = FirstOutputLine();
    const std::string logged = DefaultLog().back();
    // About 200 characters: the fixed part of the key path, the one long name cut to 64.
    EXPECT_LE(DecodeUtf8(shown).size(), 220u) << shown;
    const std::string subPart = "www." + std::string(580, 'a');
    EXPECT_NE(shown.find("EscDomains\\example.com\\" + ShortenMiddle(subPart, 64) +
                         "\\ 中的值“http”（错误代码 87：参数错误。）"),
              std::string::npos)
        << shown;
    EXPECT_NE(logged.find("EscDomains\\example.com\\" + subPart + "\\ 中的值"), std::string::npos);

    // A long text the code page cannot hold is shortened the same way.
    host.output.clear();
    ASSERT_EQ(Run({"/quiet", "/address:" + std::string(300, 'x') + "\xE0\xB8\x81"}),
              kExitApplyFailed);
    EXPECT_LE(DecodeUtf8(FirstOutputLine()).size(), 200u) << FirstOutputLine();
    EXPECT_NE(FirstOutputLine().find(ShortenMiddle(std::string(300, 'x') + "\xE0\xB8\x81", 64)),
              std::string::npos);
    EXPECT_NE(DefaultLog().back().find(std::string(300, 'x')), std::string::npos);
}

}  // namespace
}  // namespace zuv::test
