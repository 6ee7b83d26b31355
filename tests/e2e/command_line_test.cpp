// The program started from a command line, as deployment tools start it: the quiet apply with
// its exit code and output, the log, and the window opened with an address.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <shlobj.h>

#include "driver.h"

namespace zuv::e2e {
namespace {

std::string Snapshot() { return reg::Dump(reg::kInternetSettings) + reg::Dump(reg::kBrowser); }

std::string FirstLine(const std::string& text) { return text.substr(0, text.find_first_of("\r\n")); }

// A fresh log file in the artefacts folder, as a Windows path.
std::wstring FreshLog(const wchar_t* name) {
    const std::wstring file = ArtifactsFolder() + L"\\" + name;
    DeleteFileW(file.c_str());
    return file;
}

std::vector<std::string> LogLines(const std::wstring& file) {
    std::ifstream in(file.c_str(), std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    std::vector<std::string> lines;
    if (all.rfind("\xEF\xBB\xBF", 0) != 0) return lines;  // no byte-order mark: not our log
    all.erase(0, 3);
    std::size_t start = 0;
    for (std::size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2) {
        lines.push_back(all.substr(start, end - start));
    }
    if (start != all.size()) lines.push_back("<unterminated> " + all.substr(start));
    return lines;
}

// The registry after the window's apply of `address`, from a clean start.
std::string AfterWindowApply(const std::wstring& address) {
    reg::RemoveProgramOutput();
    Tool tool;
    std::string error;
    if (!tool.Launch(error)) return "launch: " + error;
    SendMessageW(tool.Control("txtURL"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(address.c_str()));
    PostMessageW(tool.Control("cmdOK"), BM_CLICK, 0, 0);
    const auto box = tool.WaitForMessageBox();
    if (!box) return "no message box";
    tool.AnswerMessageBox(*box);
    PostMessageW(tool.Window(), WM_CLOSE, 0, 0);
    tool.WaitForExit();
    return Snapshot();
}

TEST(CommandLine, QuietApplyOfEachKindWritesWhatTheWindowWrites) {
    const std::wstring log = FreshLog(L"quiet.log");
    const std::vector<std::wstring> addresses = {L"192.0.2.10", L"appserver", L"www.example.com",
                                                 L""};
    for (const std::wstring& address : addresses) {
        const std::string byWindow = AfterWindowApply(address);
        reg::RemoveProgramOutput();
        std::string error;
        const auto run = RunToEnd({L"/quiet", L"/address:" + address, L"/log:" + log}, error);
        ASSERT_TRUE(run) << error;
        EXPECT_EQ(run->exitCode, 0u) << Narrow(address) << ": " << run->output;
        EXPECT_EQ(run->output, "恭喜你，设置成功！\r\n") << Narrow(address);
        EXPECT_EQ(Snapshot(), byWindow) << Narrow(address);
    }
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(lines.size(), addresses.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(lines[i].find("\tquiet\t\"" + Narrow(addresses[i]) + "\"\t恭喜你，设置成功！"),
                  std::string::npos)
            << lines[i];
    }
}

TEST(CommandLine, RefusedWriteExitsWithOneAndAShortReadableReason) {
    reg::RemoveProgramOutput();
    // A 580-letter host: no registry key may have a name that long.
    const std::wstring address = L"www." + std::wstring(580, L'a') + L".example.com";
    std::string error;
    const auto run = RunToEnd({L"-QUIET", L"-address:" + address}, error);
    ASSERT_TRUE(run) << error;
    EXPECT_EQ(run->exitCode, 1u) << run->output;
    const std::string line = FirstLine(run->output);
    EXPECT_TRUE(line.starts_with("设置出错，原因：无法写入注册表 HKEY_CURRENT_USER\\")) << line;
    EXPECT_NE(line.find("…"), std::string::npos) << line;
    EXPECT_LE(Widen(line).size(), 220u) << line;
    // The steps after the refusal still ran.
    EXPECT_EQ(reg::ReadDword(reg::kTrustedZone, L"2101"), 3u);
}

TEST(CommandLine, NotUnderstoodExitsWithTwoAndWritesNothing) {
    reg::RemoveProgramOutput();
    const std::string before = Snapshot();
    for (const std::vector<std::wstring>& arguments :
         std::vector<std::vector<std::wstring>>{{L"/quiet", L"/address:appserver", L"/bogus"},
                                                {L"/quiet"},
                                                {L"/address:a", L"/address:b", L"/quiet"}}) {
        std::string error;
        const auto run = RunToEnd(arguments, error);
        ASSERT_TRUE(run) << error;
        EXPECT_EQ(run->exitCode, 2u) << run->output;
        EXPECT_TRUE(run->output.starts_with("命令行无法识别：")) << run->output;
        EXPECT_NE(run->output.find("用法："), std::string::npos) << run->output;
    }
    EXPECT_EQ(Snapshot(), before);

    std::string error;
    const auto usage = RunToEnd({L"/?"}, error);
    ASSERT_TRUE(usage) << error;
    EXPECT_EQ(usage->exitCode, 0u);
    EXPECT_TRUE(usage->output.starts_with("用法：ZUVPortalSetting.exe")) << usage->output;
}

TEST(CommandLine, AddressWithoutQuietOpensTheWindowWithTheAddressAndWaitsForTheUser) {
    reg::RemoveProgramOutput();
    const std::string before = Snapshot();
    const std::wstring log = FreshLog(L"window.log");
    Tool tool;
    std::string error;
    ASSERT_TRUE(tool.Launch(error, {L"/address:www.Example.com", L"/log:" + log})) << error;
    HWND cancel = tool.Control("cmdCancel");
    ASSERT_TRUE(tool.WaitForFocus(cancel)) << "focus at start on the exit button";
    EXPECT_EQ(WindowText(tool.Control("txtURL")), L"www.Example.com");
    ASSERT_TRUE(tool.Sync());
    EXPECT_FALSE(tool.FindMessageBox());
    EXPECT_EQ(Snapshot(), before) << "nothing is written before 确定";
    EXPECT_TRUE(LogLines(log).empty());

    PostMessageW(tool.Control("cmdOK"), BM_CLICK, 0, 0);
    const auto box = tool.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_EQ(Narrow(box->text), "恭喜你，设置成功！");
    ASSERT_TRUE(tool.AnswerMessageBox(*box));
    EXPECT_EQ(reg::ReadDword(std::wstring(reg::kInternetSettings) +
                                 L"\\ZoneMap\\Domains\\Example.com\\www",
                             L"http"),
              2u);
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\twindow\t\"www.Example.com\"\t恭喜你，设置成功！"), std::string::npos)
        << lines[0];
    PostMessageW(tool.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0u);
}

// The backup files of the current user.
std::size_t BackupCount() {
    wchar_t* local = nullptr;
    if (FAILED(SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &local))) return 0;
    const std::wstring pattern = std::wstring(local) + L"\\ZUVPortalSetting\\backup\\*.reg";
    CoTaskMemFree(local);
    std::size_t count = 0;
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return 0;
    do {
        ++count;
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return count;
}

// What cannot name a server is refused before anything is written or backed up, from the
// command line (exit 2, one line of output) and in the window (its failure box), and /check
// refuses it too; the message for a pasted URL says what to type instead.
TEST(CommandLine, AddressesThatCannotNameAServerAreRefusedBeforeAnyWrite) {
    reg::RemoveProgramOutput();
    const std::wstring log = FreshLog(L"refused.log");
    const std::string before = Snapshot();
    const std::size_t backups = BackupCount();
    const std::vector<std::wstring> refused = {L"http://portal.example.com/app", L"portal:8080",
                                               L"portal ", L"\\", L"portal\r\nevil", L"a]b"};
    for (const std::wstring& address : refused) {
        std::string error;
        const auto run = RunToEnd({L"/quiet", L"/address:" + address, L"/log:" + log}, error);
        ASSERT_TRUE(run) << error;
        EXPECT_EQ(run->exitCode, 2u) << run->output;
        EXPECT_TRUE(run->output.starts_with("设置出错，原因：")) << run->output;
        EXPECT_EQ(run->output.find_first_of("\r\n"), run->output.size() - 2) << run->output;
        const auto check = RunToEnd({L"/check:" + address}, error);
        ASSERT_TRUE(check) << error;
        EXPECT_EQ(check->exitCode, 2u) << check->output;
        EXPECT_TRUE(check->output.starts_with("无法检查地址：")) << check->output;
    }
    std::string error;
    const auto url = RunToEnd({L"/quiet", L"/address:http://portal.example.com/app"}, error);
    ASSERT_TRUE(url) << error;
    EXPECT_NE(url->output.find("请只填入服务器地址“portal.example.com”"), std::string::npos)
        << url->output;
    const auto user = RunToEnd({L"/check:attacker.example@portal"}, error);
    ASSERT_TRUE(user) << error;
    EXPECT_EQ(user->exitCode, 2u) << user->output;

    Tool tool;
    ASSERT_TRUE(tool.Launch(error, {L"/address:http://www.example.com/portal", L"/log:" + log}))
        << error;
    PostMessageW(tool.Control("cmdOK"), BM_CLICK, 0, 0);
    const auto box = tool.WaitForMessageBox();
    ASSERT_TRUE(box);
    EXPECT_TRUE(Narrow(box->text).starts_with("设置出错，原因：填入的是完整的网址")) << Narrow(box->text);
    EXPECT_NE(Narrow(box->text).find("“example.com”"), std::string::npos) << Narrow(box->text);
    ASSERT_TRUE(tool.AnswerMessageBox(*box));
    PostMessageW(tool.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0u);

    EXPECT_EQ(Snapshot(), before);
    EXPECT_EQ(BackupCount(), backups);
    // Every refusal is logged, the line break written out.
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(lines.size(), refused.size() + 1);
    EXPECT_NE(lines[4].find("\t\"portal\\x0D\\x0Aevil\"\t设置出错，原因："), std::string::npos) << lines[4];
    EXPECT_NE(lines.back().find("\twindow\t"), std::string::npos) << lines.back();
}

// An IPv4 address inside a range another zone holds: the apply names that range, changes
// nothing of it and does not report success.
TEST(CommandLine, ARangeOfAnotherZoneIsNamedAndLeftAlone) {
    reg::RemoveProgramOutput();
    const std::wstring range = std::wstring(reg::kInternetSettings) + L"\\ZoneMap\\Ranges\\Range1";
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, range.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const wchar_t text[] = L"192.0.2.*";
    const DWORD restricted = 4;
    RegSetValueExW(key, L":Range", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text);
    RegSetValueExW(key, L"http", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&restricted),
                   sizeof restricted);
    RegCloseKey(key);
    const std::string before = reg::Dump(range);

    std::string error;
    const auto run = RunToEnd({L"/quiet", L"/address:192.0.2.10"}, error);
    ASSERT_TRUE(run) << error;
    EXPECT_EQ(run->exitCode, 1u) << run->output;
    const std::string line = FirstLine(run->output);
    EXPECT_TRUE(line.starts_with("设置出错，原因：IP 地址 192.0.2.10 已在 HKEY_CURRENT_USER\\")) << line;
    EXPECT_NE(line.find("ZoneMap\\Ranges\\Range1\\ 的范围内（\":Range\" 为 \"192.0.2.*\"），该范围把它放在区域 4"),
              std::string::npos)
        << line;
    EXPECT_EQ(reg::Dump(range), before);
    EXPECT_EQ(reg::Dump(std::wstring(reg::kInternetSettings) + L"\\ZoneMap\\Ranges\\Range2"), "");
    // The steps after it still ran.
    EXPECT_EQ(reg::ReadDword(reg::kTrustedZone, L"2101"), 3u);
}

// A log named as a device is refused before anything runs; an empty log file made in advance
// gets its byte-order mark with the first line.
TEST(CommandLine, TheLogIsAFileAndAnEmptyOneGetsItsMark) {
    reg::RemoveProgramOutput();
    const std::string before = Snapshot();
    std::string error;
    for (const wchar_t* device : {L"NUL", L"com1", L"C:\\logs\\con.log"}) {
        const auto run = RunToEnd({L"/quiet", L"/address:appserver", std::wstring(L"/log:") + device}, error);
        ASSERT_TRUE(run) << error;
        EXPECT_EQ(run->exitCode, 2u) << run->output;
        EXPECT_NE(run->output.find("是设备，不是文件"), std::string::npos) << run->output;
    }
    EXPECT_EQ(Snapshot(), before);

    const std::wstring log = FreshLog(L"made-in-advance.log");
    CloseHandle(CreateFileW(log.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    const auto run = RunToEnd({L"/quiet", L"/address:appserver", L"/log:" + log}, error);
    ASSERT_TRUE(run) << error;
    EXPECT_EQ(run->output, "恭喜你，设置成功！\r\n");
    const std::vector<std::string> lines = LogLines(log);  // empty without the mark
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("\tquiet\t\"appserver\"\t恭喜你，设置成功！"), std::string::npos) << lines[0];
}

TEST(CommandLine, LongAddressInTheWindowGivesAMessageThatFitsTheScreen) {
    reg::RemoveProgramOutput();
    Tool tool;
    std::string error;
    ASSERT_TRUE(tool.Launch(error, {L"/address:" + std::wstring(600, L'b')})) << error;
    PostMessageW(tool.Control("cmdOK"), BM_CLICK, 0, 0);
    const auto box = tool.WaitForMessageBox();
    ASSERT_TRUE(box);
    const std::string text = Narrow(box->text);
    EXPECT_TRUE(text.starts_with("设置出错，原因：无法写入注册表")) << text;
    EXPECT_LE(box->text.size(), 220u) << text;
    RECT rect{};
    ASSERT_TRUE(GetWindowRect(box->hwnd, &rect));
    EXPECT_LE(rect.right - rect.left, GetSystemMetrics(SM_CXSCREEN)) << text;
    ASSERT_TRUE(tool.AnswerMessageBox(*box));
    PostMessageW(tool.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0u);
}

TEST(CommandLine, CheckTellsWhetherTheSiteIsTrustedAndChangesNothing) {
    reg::RemoveProgramOutput();
    std::string error;
    const auto applied = RunToEnd({L"/quiet", L"/address:appserver"}, error);
    ASSERT_TRUE(applied) << error;
    ASSERT_EQ(applied->exitCode, 0u) << applied->output;
    const std::string before = Snapshot();

    const auto trusted = RunToEnd({L"/check:appserver"}, error);
    ASSERT_TRUE(trusted) << error;
    EXPECT_EQ(trusted->exitCode, 0u) << trusted->output;
    EXPECT_NE(trusted->output.find("浏览器判定的区域：2"), std::string::npos) << trusted->output;
    EXPECT_NE(trusted->output.find("结论：http://appserver/ 在受信任的站点区域"), std::string::npos)
        << trusted->output;

    const auto other = RunToEnd({L"-Check:otherserver"}, error);
    ASSERT_TRUE(other) << error;
    EXPECT_EQ(other->exitCode, 3u) << other->output;
    EXPECT_NE(other->output.find("浏览器判定的区域：3"), std::string::npos) << other->output;
    EXPECT_NE(other->output.find("普通区域映射："), std::string::npos) << other->output;
    EXPECT_NE(other->output.find("不在受信任的站点区域"), std::string::npos) << other->output;
    EXPECT_EQ(Snapshot(), before);
}

// With /https the quiet apply trusts the site over https as well: "https" = 2 beside "http" = 2
// in both trees, for a machine name, a domain name and an IPv4 address; a second run adds
// nothing. Wine's urlmon gives https://NAME/ zone 3 before and zone 2 after (it ignores Ranges,
// so an IPv4 address stays in zone 3 there).
TEST(CommandLine, HttpsIsTrustedInBothTreesAndByTheBrowser) {
    reg::RemoveProgramOutput();
    const std::wstring zoneMap = std::wstring(reg::kInternetSettings) + L"\\ZoneMap\\";
    struct Site {
        std::wstring address;
        std::vector<std::wstring> keys;  // below the zone map
        bool urlmonKnows;
    };
    const Site sites[] = {
        {L"appserver", {L"Domains\\appserver", L"EscDomains\\appserver"}, true},
        {L"www.example.com", {L"Domains\\example.com\\www", L"EscDomains\\example.com\\www"}, true},
        {L"192.0.2.10", {L"Ranges\\Range1", L"EscRanges\\Range1"}, false},
    };
    std::string error;
    for (const Site& site : sites) {
        const std::string name = Narrow(site.address);
        const auto before = RunToEnd({L"/check:" + site.address, L"/https"}, error);
        ASSERT_TRUE(before) << error;
        EXPECT_EQ(before->exitCode, 3u) << name << ": " << before->output;
        EXPECT_NE(before->output.find("检查地址：https://" + name + "/"), std::string::npos) << before->output;
        // Wine's URL security manager gives the Internet zone, or for a machine name over
        // https no zone at all (URLZONE_INVALID), which the check does not take as an answer.
        EXPECT_TRUE(before->output.find("浏览器判定的区域：3") != std::string::npos ||
                    before->output.find("浏览器判定的区域：无法询问（MapUrlToZone 没有给出区域（URLZONE_INVALID））") !=
                        std::string::npos)
            << before->output;

        const auto run = RunToEnd({L"/quiet", L"/https", L"/address:" + site.address}, error);
        ASSERT_TRUE(run) << error;
        EXPECT_EQ(run->exitCode, 0u) << name << ": " << run->output;
        for (const std::wstring& key : site.keys) {
            EXPECT_EQ(reg::ReadDword(zoneMap + key, L"http"), 2u) << Narrow(key);
            EXPECT_EQ(reg::ReadDword(zoneMap + key, L"https"), 2u) << Narrow(key);
        }
        const std::string once = Snapshot();
        const auto again = RunToEnd({L"/quiet", L"/https", L"/address:" + site.address}, error);
        ASSERT_TRUE(again) << error;
        EXPECT_EQ(again->exitCode, 0u) << again->output;
        EXPECT_EQ(Snapshot(), once) << name << ": a second run adds nothing";

        const auto after = RunToEnd({L"/check:" + site.address, L"/https"}, error);
        ASSERT_TRUE(after) << error;
        const std::string zone = site.urlmonKnows ? "浏览器判定的区域：2" : "浏览器判定的区域：3";
        EXPECT_NE(after->output.find(zone), std::string::npos) << name << ": " << after->output;
        EXPECT_EQ(after->exitCode, site.urlmonKnows ? 0u : 3u) << after->output;
        EXPECT_NE(after->output.find("普通区域映射：有，"), std::string::npos) << after->output;
        EXPECT_EQ(Snapshot(), once) << "the check writes nothing";
    }
    EXPECT_EQ(reg::ReadDword(zoneMap + L"Ranges\\Range1", L"https"), 2u);
    EXPECT_FALSE(reg::ReadDword(zoneMap + L"Ranges\\Range2", L"http")) << "no second range";

    const auto alone = RunToEnd({L"/https"}, error);
    ASSERT_TRUE(alone) << error;
    EXPECT_EQ(alone->exitCode, 2u) << alone->output;
    EXPECT_TRUE(alone->output.starts_with("命令行无法识别：选项 /https 需要同时给出")) << alone->output;
}

// Started from a console without redirection, the program writes to that console.
TEST(CommandLine, OutputGoesToTheConsoleOfWhoeverStartedIt) {
    // A console of this test's own, which the program's process is started under.
    FreeConsole();
    ASSERT_TRUE(AllocConsole()) << "error " << GetLastError();
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                 nullptr);
    ASSERT_NE(console, INVALID_HANDLE_VALUE);
    const std::wstring exe = ToolPath();
    std::wstring commandLine = L"\"" + exe + L"\" /?";
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    ASSERT_TRUE(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, &startup, &process))
        << LaunchFailure(exe, GetLastError());
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 99;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    EXPECT_EQ(code, 0u);
    // The console's first rows hold what was written.
    CONSOLE_SCREEN_BUFFER_INFO info{};
    ASSERT_TRUE(GetConsoleScreenBufferInfo(console, &info));
    std::wstring shown(static_cast<std::size_t>(info.dwSize.X) * 3, L' ');
    DWORD read = 0;
    ASSERT_TRUE(ReadConsoleOutputCharacterW(console, shown.data(), static_cast<DWORD>(shown.size()),
                                            COORD{0, 0}, &read));
    CloseHandle(console);
    FreeConsole();
    EXPECT_NE(shown.find(L"用法：ZUVPortalSetting.exe"), std::wstring::npos) << Narrow(shown);
}

// Two programs appending to one log at the same time, hundreds of lines each: every line
// arrives whole, and the file has one byte-order mark.
TEST(CommandLine, ConcurrentLogLinesNeverMix) {
    const std::wstring log = FreshLog(L"shared.log");
    const std::wstring writer = WindowsPath(ZUV_LOG_WRITER);
    constexpr int kLines = 400;
    std::vector<PROCESS_INFORMATION> writers;
    for (const wchar_t* tag : {L"A", L"B"}) {
        std::wstring commandLine = L"\"" + writer + L"\" " + QuoteArgument(log) + L" " +
                                   std::to_wstring(kLines) + L" " + tag;
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(CreateProcessW(writer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0,
                                   nullptr, nullptr, &startup, &process))
            << LaunchFailure(writer, GetLastError());
        writers.push_back(process);
    }
    for (const PROCESS_INFORMATION& process : writers) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        DWORD code = 99;
        GetExitCodeProcess(process.hProcess, &code);
        EXPECT_EQ(code, 0u);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    const std::vector<std::string> lines = LogLines(log);
    ASSERT_EQ(lines.size(), 2u * kLines);
    int next[2] = {0, 0};
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string tag;
        std::string number;
        std::string message;
        words >> tag >> number >> message;
        ASSERT_TRUE((tag == "A" || tag == "B") && message == "恭喜你，设置成功！") << line;
        // Each writer's lines arrive in its own order, each repeating its number.
        int& expected = next[tag == "A" ? 0 : 1];
        ASSERT_EQ(number, std::to_string(expected)) << line;
        ++expected;
        std::string repeated;
        int repeats = 0;
        while (words >> repeated) {
            ASSERT_EQ(repeated, number) << line;
            ++repeats;
        }
        ASSERT_EQ(repeats, 20) << line;
    }

    // And the program itself: quiet applies started two at a time log to the same file.
    reg::RemoveProgramOutput();
    constexpr int kRounds = 3;
    for (int round = 0; round < kRounds; ++round) {
        std::optional<Finished> runs[2];
        std::string errors[2];
        std::thread second([&] {
            runs[1] = RunToEnd({L"/quiet", L"/address:appserver", L"/log:" + log}, errors[1]);
        });
        runs[0] = RunToEnd({L"/quiet", L"/address:192.0.2.10", L"/log:" + log}, errors[0]);
        second.join();
        for (int i = 0; i < 2; ++i) {
            ASSERT_TRUE(runs[i]) << errors[i];
            EXPECT_EQ(runs[i]->exitCode, 0u) << runs[i]->output;
        }
    }
    const std::vector<std::string> all = LogLines(log);
    ASSERT_EQ(all.size(), 2u * kLines + 2u * kRounds);
    for (std::size_t i = 2u * kLines; i < all.size(); ++i) {
        EXPECT_TRUE(all[i].find("\tquiet\t\"192.0.2.10\"\t恭喜你，设置成功！\t") != std::string::npos ||
                    all[i].find("\tquiet\t\"appserver\"\t恭喜你，设置成功！\t") != std::string::npos)
            << all[i];
    }
}

}  // namespace
}  // namespace zuv::e2e
