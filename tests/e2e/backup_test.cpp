// The program's backup before each apply, on Wine's registry, read back by Wine's own reg.exe:
// after four quiet applies (the empty address, an IPv4 address among a few hundred ranges, a
// machine name, a domain name), importing their backups newest first leaves the settings
// keys exactly as "reg export" showed them before (the keys the applies made stay, empty); an
// apply killed at any moment leaves a backup that gives back the state from before it, or
// nothing changed at all; importing a backup leaves what others put below the keys the apply
// made; the original stays restorable through any number of logon re-applies, which add no
// backups; and names in the folder that are not the tool's never stop a backup.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "backup/backup_files.h"
#include "driver.h"
#include "program/command_line.h"

namespace zuv::e2e {
namespace {

using Bytes = std::vector<unsigned char>;

const std::wstring kSettings = L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";
const std::wstring kBrowser = L"Software\\Microsoft\\Internet Explorer";
const std::wstring kZoneMap = kSettings + L"\\ZoneMap\\";

Bytes Sz(const std::wstring& text) {
    const auto* begin = reinterpret_cast<const unsigned char*>(text.c_str());
    return Bytes(begin, begin + (text.size() + 1) * sizeof(wchar_t));
}

void Put(const std::wstring& path, const std::wstring& name, DWORD type, const Bytes& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                              &key, nullptr), ERROR_SUCCESS) << Narrow(path);
    EXPECT_EQ(RegSetValueExW(key, name.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS) << Narrow(name);
    RegCloseKey(key);
}

// The program's backup folder of this user.
std::wstring BackupFolder() {
    PWSTR raw = nullptr;
    SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw);
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> path(raw, &CoTaskMemFree);
    return path ? std::wstring(path.get()) + L"\\ZUVPortalSetting\\backup" : std::wstring();
}

// The files of the folder matching `pattern`, sorted by name.
std::vector<std::wstring> FilesLike(const std::wstring& pattern) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW found{};
    const std::wstring folder = BackupFolder();
    HANDLE search = FindFirstFileW((folder + L"\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return files;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            files.push_back(folder + L"\\" + found.cFileName);
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(files.begin(), files.end());
    return files;
}

// The backup files of the folder (named by date and time), sorted by name, that is in the
// order the applies ran.
std::vector<std::wstring> Backups() { return FilesLike(L"2*.reg"); }
// The originals of the folder ("original-" and a backup's name).
std::vector<std::wstring> Originals() { return FilesLike(L"original-*.reg"); }

// Removes every file of the backup folder, so that a test starts without an original.
void ClearBackupFolder() {
    for (const std::wstring& file : FilesLike(L"*")) DeleteFileW(file.c_str());
}

Bytes FileBytes(const std::wstring& file) {
    std::ifstream in(Narrow(file), std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

// `after` (a text of Sorted or reg::Dump) without the lines of keys that `before` lacks and
// that hold no values: importing a backup leaves the keys the apply made, empty.
std::string WithoutNewEmptyKeys(const std::string& after, const std::string& before) {
    const std::vector<std::string> lines = Lines(after);
    const std::vector<std::string> old = Lines(before);
    const std::set<std::string> known(old.begin(), old.end());
    std::string out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        const bool keyLine = line.size() > 2 && line.front() == '[' && line.back() == ']';
        // A value of the key follows it: the next line of a dump, a line of the sorted text
        // that begins with the key.
        const bool holds =
            (i + 1 < lines.size() && !lines[i + 1].empty() && lines[i + 1].front() != '[') ||
            std::any_of(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(line + " ", 0) == 0; });
        if (keyLine && !holds && known.count(line) == 0) continue;
        out += line + "\n";
    }
    return out;
}

bool HasValue(const std::wstring& path, const std::wstring& name) {
    return RegGetValueW(HKEY_CURRENT_USER, path.c_str(), name.c_str(), RRF_RT_ANY, nullptr, nullptr,
                        nullptr) == ERROR_SUCCESS;
}

std::vector<std::wstring> NewSince(const std::vector<std::wstring>& before) {
    std::vector<std::wstring> added;
    for (const std::wstring& file : Backups()) {
        if (std::find(before.begin(), before.end(), file) == before.end()) added.push_back(file);
    }
    return added;
}

// Keeps the settings keys the test changes as they were before it, in exports of reg.exe.
class WineBackupTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::wstring(temp) + L"zuv-backup-test-" + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(folder_.c_str(), nullptr);
        ASSERT_NE(Export(L"pristine"), std::string());
    }
    void TearDown() override {
        for (std::size_t i = 0; i < 2; ++i) {
            RegDeleteTreeW(HKEY_CURRENT_USER, kExported[i].c_str());
            EXPECT_EQ(Reg(L"import \"" + Files(L"pristine")[i] + L"\""), 0u);
        }
        for (const wchar_t* name : {L"pristine", L"before", L"after"}) {
            for (const std::wstring& file : Files(name)) DeleteFileW(file.c_str());
        }
        RemoveDirectoryW(folder_.c_str());
    }

    std::vector<std::wstring> Files(const std::wstring& name) const {
        return {folder_ + L"\\" + name + L"-settings.reg", folder_ + L"\\" + name + L"-browser.reg"};
    }
    // The two keys exported as `name`, sorted; empty when reg.exe failed.
    std::string Export(const std::wstring& name) const {
        for (std::size_t i = 0; i < 2; ++i) {
            if (Reg(L"export \"HKEY_CURRENT_USER\\" + kExported[i] + L"\" \"" + Files(name)[i] + L"\" /y") != 0) {
                return {};
            }
        }
        return Sorted(Files(name));
    }

    const std::wstring kExported[2] = {kSettings, kBrowser};
    std::wstring folder_;
};

TEST_F(WineBackupTest, ImportingTheBackupsNewestFirstRestoresEverything) {
    // Every type of value, beside the tool's values and in their place, and two range trees of
    // three hundred keys each; the escaped tree already holds the address. (Text values all end
    // in a NUL here: Wine's reg import adds one to hexadecimal text data that lacks it, and
    // garbles text of an odd number of bytes.)
    const std::wstring zone2 = kSettings + L"\\Zones\\2";
    Put(zone2, L"1001", REG_SZ, Sz(L"3"));
    Put(zone2, L"2101", REG_BINARY, {0, 1, 2});
    Put(zone2, L"CurrentLevel", REG_DWORD_BIG_ENDIAN, {0, 0, 0, 1});
    Put(zone2, L"1200", REG_QWORD, {1, 2, 3, 4, 5, 6, 7, 8});
    Put(zone2, L"1201", REG_NONE, {9});
    Put(zone2, L"1405", REG_MULTI_SZ, Sz(std::wstring(L"a\0b\0", 4)));
    Put(zone2, L"1402", REG_EXPAND_SZ, Sz(L"%TEMP%\\x"));
    Put(zone2, L"2100", REG_SZ, Sz(std::wstring(L"a\0b", 3)));
    Put(zone2, L"2200", 0x100, {7, 7});
    Put(zone2, L"1406", REG_SZ, Sz(L"line\r\nbreak"));
    Put(zone2, L"1803", REG_SZ, Sz(L"受信任的站点"));
    Put(kSettings, L"SyncMode5", REG_SZ, Sz(L"say \"yes\" \\ 是 \U0001F600"));
    Put(kSettings, L"MaxConnectionsPerServer", REG_SZ, Sz(std::wstring(1, wchar_t(0xD800)) + L"x"));
    Put(kSettings, L"MaxConnectionsPer1_0Server", REG_DWORD, {5, 0, 0, 0});
    Put(kSettings, L"ProxyEnable", REG_DWORD, {0, 0, 0, 0});
    Put(kBrowser + L"\\Main", L"Enable Browser Extensions", REG_SZ, Sz(L"no"));
    Put(kBrowser + L"\\Main", L"Start Page", REG_SZ, Sz(L"http://portal/"));
    Put(kBrowser + L"\\New Windows", L"", REG_SZ, Sz(L"x\"y\\z"));
    Put(kBrowser + L"\\New Windows", L"PopupMgr", REG_SZ, Sz(L"是"));
    Put(kBrowser + L"\\New Windows\\Allow", L"www.example.com", REG_DWORD, {1, 0, 0, 0});
    Put(kBrowser + L"\\PhishingFilter", L"", REG_DWORD, {7, 0, 0, 0});
    Put(kBrowser + L"\\PhishingFilter", L"Enabled", REG_BINARY, {});
    Put(kBrowser + L"\\PhishingFilter", L"ShownVerifyBalloon", REG_BINARY, Bytes(200, 0xAB));
    Put(kZoneMap + L"Domains\\appserver", L"https", REG_DWORD, {2, 0, 0, 0});
    Put(kZoneMap + L"Domains\\appserver", L"*", REG_SZ, Sz(L"门户"));
    Put(kZoneMap + L"EscDomains\\appserver\\sub", L"x", REG_DWORD, {2, 0, 0, 0});
    Put(kZoneMap + L"Domains\\example.com", L"https", REG_DWORD, {2, 0, 0, 0});
    for (int i = 1; i <= 300; ++i) {
        for (const wchar_t* tree : {L"Ranges\\Range", L"EscRanges\\Range"}) {
            const std::wstring range = kZoneMap + tree + std::to_wstring(i);
            const bool holds = i == 150 && tree[0] == L'E';
            Put(range, L":Range", REG_SZ, Sz(holds ? L"192.0.2.*" : L"10.0." + std::to_wstring(i) + L".1"));
            Put(range, L"http", REG_DWORD, {2, 0, 0, 0});
        }
    }
    ASSERT_FALSE(HasFatalFailure());
    const std::string before = Export(L"before");
    ASSERT_NE(before, "");

    // Old backups beyond the thirty the program keeps: the oldest go.
    CreateDirectoryW(BackupFolder().substr(0, BackupFolder().rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(BackupFolder().c_str(), nullptr);
    for (int i = 10; i < 45; ++i) {
        const std::wstring old = BackupFolder() + L"\\20200101-0000" + std::to_wstring(i) + L"-000.reg";
        std::ofstream(Narrow(old)) << "";
    }
    const std::vector<std::wstring> seeded = Backups();

    const std::wstring log = BackupFolder() + L"\\..\\backup-test.log";
    DeleteFileW(log.c_str());
    // The empty address first: it writes only what the others write too, so after them it
    // would change nothing and need no backup.
    for (const wchar_t* address : {L"", L"192.0.2.10", L"appserver", L"www.example.com"}) {
        std::string error;
        const auto run = RunToEnd({L"/quiet", std::wstring(L"/address:") + address, L"/log:" + log}, error);
        ASSERT_TRUE(run) << error;
        EXPECT_EQ(run->exitCode, 0u) << Narrow(address) << ": " << run->output;
    }
    const std::vector<std::wstring> written = NewSince(seeded);
    // Each apply's log line names its backup, in the order the applies ran.
    std::ifstream in(Narrow(log), std::ios::binary);
    const std::string logged((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(written.size(), 4u) << logged;
    std::size_t at = 0;
    for (const std::wstring& file : written) {
        // Built step by step: "\t" + Narrow(file) trips a false -Wstringop-overflow of GCC 12.
        std::string line(1, '\t');
        line += Narrow(file);
        line += '\t';
        line += ProgramVersion();
        at = logged.find(line += "\r\n", at);
        EXPECT_NE(at, std::string::npos) << Narrow(file) << " in\n" << logged;
    }
    DeleteFileW(log.c_str());

    for (auto file = written.rbegin(); file != written.rend(); ++file) {
        EXPECT_EQ(Reg(L"import \"" + *file + L"\""), 0u) << Narrow(*file);
    }
    EXPECT_EQ(WithoutNewEmptyKeys(Export(L"after"), before), before);

    // The newest thirty stay: the four new ones and the newest 26 of the old.
    const std::vector<std::wstring> kept = Backups();
    EXPECT_EQ(kept.size(), 30u);
    EXPECT_EQ(std::vector<std::wstring>(kept.end() - 4, kept.end()), written);
    EXPECT_EQ(kept.front(), seeded[seeded.size() - 26]);
    ClearBackupFolder();
}

// An apply of a new IPv4 address, slowed by two range trees of 300 keys each, killed at twenty
// moments spread over the time it takes: whenever it was killed, the newest backup gives back
// the state before it, and when it left no backup it had written nothing.
TEST_F(WineBackupTest, AnApplyKilledAtAnyMomentLeavesAFullBackup) {
    for (int i = 1; i <= 300; ++i) {
        for (const wchar_t* tree : {L"Ranges\\Range", L"EscRanges\\Range"}) {
            const std::wstring range = kZoneMap + tree + std::to_wstring(i);
            Put(range, L":Range", REG_SZ, Sz(L"10.0." + std::to_wstring(i % 250) + L"." + std::to_wstring(i / 250)));
            Put(range, L"http", REG_DWORD, {2, 0, 0, 0});
        }
    }
    Put(kSettings + L"\\Zones\\2", L"1001", REG_DWORD, {3, 0, 0, 0});
    ASSERT_FALSE(HasFatalFailure());
    const auto state = [] { return reg::Dump(kSettings) + reg::Dump(kBrowser); };
    const std::string before = state();
    const std::vector<std::wstring> earlier = Backups();

    // How long one whole apply takes here, and when its backup appears; then it is put back
    // from that backup.
    const std::wstring exe = ToolPath();
    const auto start = [&](PROCESS_INFORMATION& process) {
        std::wstring commandLine = L"\"" + exe + L"\" /quiet /address:192.0.2.200";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        if (CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &process)) {
            return true;
        }
        ADD_FAILURE() << LaunchFailure(exe, GetLastError());
        return false;
    };
    using std::chrono::milliseconds;
    const auto since = [](std::chrono::steady_clock::time_point from) {
        return std::chrono::duration_cast<milliseconds>(std::chrono::steady_clock::now() - from);
    };
    PROCESS_INFORMATION whole{};
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(start(whole));
    milliseconds backedUp{0};
    while (WaitForSingleObject(whole.hProcess, 1) == WAIT_TIMEOUT && since(began) < milliseconds(60000)) {
        if (backedUp.count() == 0 && !NewSince(earlier).empty()) backedUp = since(began);
    }
    const milliseconds took = since(began);
    DWORD code = 99;
    GetExitCodeProcess(whole.hProcess, &code);
    CloseHandle(whole.hThread);
    CloseHandle(whole.hProcess);
    ASSERT_EQ(code, 0u);
    ASSERT_EQ(NewSince(earlier).size(), 1u);
    if (backedUp.count() == 0) backedUp = took;
    ASSERT_EQ(Reg(L"import \"" + NewSince(earlier).back() + L"\""), 0u);
    ASSERT_EQ(WithoutNewEmptyKeys(state(), before), before);

    int withBackup = 0;
    for (int kill = 0; kill < 20; ++kill) {
        const std::vector<std::wstring> known = Backups();
        PROCESS_INFORMATION process{};
        ASSERT_TRUE(start(process));
        // The moments: four spread over the time before the backup was there, sixteen over the
        // time after it, while the apply writes.
        const milliseconds moment =
            kill < 4 ? backedUp * (kill + 1) / 5 : backedUp + (took - backedUp) * (kill - 3) / 17;
        WaitForSingleObject(process.hProcess, static_cast<DWORD>(moment.count()));
        TerminateProcess(process.hProcess, 99);
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 30000), WAIT_OBJECT_0);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);

        const std::vector<std::wstring> added = NewSince(known);
        ASSERT_LE(added.size(), 1u);
        if (!added.empty()) {
            ++withBackup;
            ASSERT_EQ(Reg(L"import \"" + added.back() + L"\""), 0u) << "kill " << kill;
        }
        ASSERT_EQ(WithoutNewEmptyKeys(state(), before), before) << "killed after " << moment.count() << " ms of " << took.count()
                                   << (added.empty() ? " without a backup" : "");
    }
    // The moments reach past the backup into the writes.
    EXPECT_GT(withBackup, 0);
    std::printf("one apply: %lld ms, its backup after %lld ms; killed 20 times, %d of them "
                "after the backup was saved\n",
                static_cast<long long>(took.count()), static_cast<long long>(backedUp.count()),
                withBackup);
    ClearBackupFolder();
}

// A quiet apply of `address` logging to `log`; its output.
std::string QuietApply(const std::wstring& address, const std::wstring& log) {
    std::string error;
    const auto run = RunToEnd({L"/quiet", L"/address:" + address, L"/log:" + log}, error);
    if (!run) {
        ADD_FAILURE() << error;
        return {};
    }
    EXPECT_EQ(run->exitCode, 0u) << Narrow(address) << ": " << run->output;
    return run->output;
}

std::vector<std::string> LogLines(const std::wstring& log) {
    std::ifstream in(Narrow(log), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> lines;
    for (std::string line : Lines(text)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

// The backup column: the last but one, before the program's version.
std::string BackupColumn(const std::string& line) {
    const std::size_t version = line.rfind('\t');
    if (version == std::string::npos || version == 0) return {};
    const std::size_t backup = line.rfind('\t', version - 1);
    return backup == std::string::npos ? std::string() : line.substr(backup + 1, version - backup - 1);
}

// Another site's pop-up entry and the user's own sub-key of the site's domain, put there after
// the apply made the keys they are in, are still there when the apply's backup is imported;
// the apply's own values are gone.
TEST_F(WineBackupTest, ImportingABackupLeavesWhatOthersPutBelowTheKeysTheApplyMade) {
    const std::wstring allow = kBrowser + L"\\New Windows\\Allow";
    const std::wstring domain = kZoneMap + L"Domains\\example.net";
    ASSERT_TRUE(reg::DeleteTree(allow));
    ASSERT_TRUE(reg::DeleteTree(domain));
    const std::vector<std::wstring> earlier = Backups();
    const std::wstring log = BackupFolder() + L"\\..\\backup-test.log";
    EXPECT_EQ(QuietApply(L"portal.example.net", log), "恭喜你，设置成功！\r\n");
    DeleteFileW(log.c_str());
    const std::vector<std::wstring> added = NewSince(earlier);
    ASSERT_EQ(added.size(), 1u);
    ASSERT_TRUE(HasValue(allow, L"portal.example.net"));
    ASSERT_EQ(reg::ReadDword(domain + L"\\portal", L"http"), 2u);

    Put(allow, L"other.example.org", REG_BINARY, {});
    Put(domain + L"\\mail", L"https", REG_DWORD, {2, 0, 0, 0});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(Reg(L"import \"" + added.back() + L"\""), 0u);

    EXPECT_TRUE(HasValue(allow, L"other.example.org"));
    EXPECT_EQ(reg::ReadDword(domain + L"\\mail", L"https"), 2u);
    EXPECT_FALSE(HasValue(allow, L"portal.example.net"));
    EXPECT_FALSE(HasValue(domain + L"\\portal", L"http"));
    ClearBackupFolder();
}

// A logon script applies the same address at every logon. The first apply keeps its backup as
// the original too; the re-applies change nothing and add no backup; when later applies that
// do change something push the first backup out, the original stays, and importing it gives
// back the values from before the first apply.
TEST_F(WineBackupTest, TheOriginalOutlivesAnyNumberOfReapplies) {
    ClearBackupFolder();
    const std::wstring zone2 = kSettings + L"\\Zones\\2";
    Put(zone2, L"1001", REG_DWORD, {3, 0, 0, 0});
    Put(zone2, L"1200", REG_SZ, Sz(L"用户的"));
    Put(kSettings, L"SyncMode5", REG_BINARY, {1, 2, 3});
    Put(kBrowser + L"\\New Windows", L"PopupMgr", REG_SZ, Sz(L"no"));
    Put(kZoneMap + L"Domains\\example.com", L"https", REG_DWORD, {2, 0, 0, 0});
    Put(kZoneMap + L"Domains\\example.com\\portal", L"*", REG_DWORD, {4, 0, 0, 0});
    ASSERT_FALSE(HasFatalFailure());
    const std::string before = Export(L"before");
    ASSERT_NE(before, "");

    const std::wstring log = BackupFolder() + L"\\..\\backup-test.log";
    DeleteFileW(log.c_str());
    for (int logon = 0; logon < 35; ++logon) {
        EXPECT_EQ(QuietApply(L"portal.example.com", log), "恭喜你，设置成功！\r\n") << "logon " << logon;
    }
    const std::vector<std::wstring> backups = Backups();
    ASSERT_EQ(backups.size(), 1u) << "re-applies that change nothing add no backup";
    const std::vector<std::wstring> originals = Originals();
    ASSERT_EQ(originals.size(), 1u);
    const std::wstring first = backups.front().substr(backups.front().rfind(L'\\') + 1);
    EXPECT_EQ(originals.front(), BackupFolder() + L"\\original-" + first);
    EXPECT_EQ(FileBytes(originals.front()), FileBytes(backups.front()));
    const std::vector<std::string> logged = LogLines(log);
    ASSERT_EQ(logged.size(), 35u);
    EXPECT_EQ(BackupColumn(logged[0]), Narrow(backups.front()));
    for (std::size_t i = 1; i < logged.size(); ++i) {
        EXPECT_EQ(BackupColumn(logged[i]), "无需备份：没有要更改的值") << logged[i];
    }
    DeleteFileW(log.c_str());

    // Forty backups after the first one, then an apply that changes a value back: the newest
    // thirty are kept, the first is gone, the original is not.
    const auto firstTime = BackupFileTime(Narrow(first));
    ASSERT_TRUE(firstTime);
    for (int i = 1; i <= 40; ++i) {
        const std::wstring later = BackupFolder() + L"\\" +
                                   Widen(BackupFileName(*firstTime + std::chrono::milliseconds{i}));
        std::ofstream(Narrow(later)) << "";
    }
    Put(zone2, L"1001", REG_DWORD, {3, 0, 0, 0});
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(QuietApply(L"portal.example.com", log), "恭喜你，设置成功！\r\n");
    DeleteFileW(log.c_str());
    const std::vector<std::wstring> kept = Backups();
    EXPECT_EQ(kept.size(), 30u);
    EXPECT_EQ(std::count(kept.begin(), kept.end(), backups.front()), 0);
    ASSERT_EQ(Originals(), originals);

    ASSERT_EQ(Reg(L"import \"" + originals.front() + L"\""), 0u);
    EXPECT_EQ(WithoutNewEmptyKeys(Export(L"after"), before), before);
    ClearBackupFolder();
}

// A file named far in the future, a folder and another file named like backups, and what a
// killed apply left: each apply still makes its backup, and the leftover is gone.
TEST_F(WineBackupTest, NamesOfOthersAndLeftoversNeverStopABackup) {
    ClearBackupFolder();
    const std::wstring folder = BackupFolder();
    CreateDirectoryW(folder.substr(0, folder.rfind(L'\\')).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
    const std::wstring future = folder + L"\\99991231-235959-999.reg";
    const std::wstring leftover = folder + L"\\20200101-000000-001.reg.partial";
    const std::wstring leftoverOriginal = folder + L"\\original-20200101-000000-001.reg.partial";
    const std::wstring notes = folder + L"\\notes.reg";
    const std::wstring aFolder = folder + L"\\20200101-000000-002.reg";
    for (const std::wstring& file : {future, leftover, leftoverOriginal, notes}) {
        std::ofstream(Narrow(file)) << "x";
    }
    ASSERT_TRUE(CreateDirectoryW(aFolder.c_str(), nullptr));

    const std::wstring log = folder + L"\\..\\backup-test.log";
    DeleteFileW(log.c_str());
    // Two applies that change something: before, every apply after the first one failed.
    for (const wchar_t* address : {L"192.0.2.77", L"intranet77", L"192.0.2.77"}) {
        Put(kSettings + L"\\Zones\\2", L"1001", REG_DWORD, {3, 0, 0, 0});
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(QuietApply(address, log), "恭喜你，设置成功！\r\n") << Narrow(address);
    }
    const std::vector<std::string> logged = LogLines(log);
    DeleteFileW(log.c_str());
    ASSERT_EQ(logged.size(), 3u);
    std::vector<std::wstring> expected;
    for (const std::wstring& file : Backups()) {
        if (file != future) expected.push_back(file);
    }
    ASSERT_EQ(expected.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(BackupColumn(logged[i]), Narrow(expected[i]));
    EXPECT_EQ(GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetFileAttributesW(leftoverOriginal.c_str()), INVALID_FILE_ATTRIBUTES);
    for (const std::wstring& kept : {future, notes, aFolder}) {
        EXPECT_NE(GetFileAttributesW(kept.c_str()), INVALID_FILE_ATTRIBUTES) << Narrow(kept);
    }
    EXPECT_EQ(FilesLike(L"*.partial"), std::vector<std::wstring>{});
    RemoveDirectoryW(aFolder.c_str());
    ClearBackupFolder();
}

// The keys and values of a Sorted text that differ from another's, each as "[KEY]" or
// "[KEY] NAME" (NAME as the export writes it: "name" or @).
std::set<std::string> ChangedEntries(const std::string& before, const std::string& after) {
    const auto entries = [](const std::string& text) {
        std::set<std::string> lines;
        for (const std::string& line : Lines(text)) {
            if (line.rfind('[', 0) == 0) lines.insert(line);  // not the files' first lines
        }
        return lines;
    };
    const std::set<std::string> a = entries(before);
    const std::set<std::string> b = entries(after);
    std::set<std::string> changed;
    const auto note = [&](const std::string& line) {
        const std::size_t close = line.find("] ");
        if (close == std::string::npos) {
            changed.insert(line);
            return;
        }
        const std::string value = line.substr(close + 2);
        const std::size_t end = value[0] == '@' ? 1 : value.find("\"=") + 1;
        changed.insert(line.substr(0, close + 2) + value.substr(0, end));
    };
    for (const std::string& line : a) {
        if (!b.count(line)) note(line);
    }
    for (const std::string& line : b) {
        if (!a.count(line)) note(line);
    }
    // A key line that is in both is no change; a value line of it may be.
    return changed;
}

// The keys and values the dry run's output names, as ChangedEntries names them.
std::set<std::string> ListedEntries(const std::string& output) {
    std::set<std::string> listed;
    for (std::string line : Lines(output)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        for (const std::string prefix : {"创建项  ", "删除项  "}) {
            if (line.rfind(prefix, 0) != 0) continue;
            std::string key(1, '[');
            key.append(line, prefix.size(), line.size() - prefix.size() - 1);
            listed.insert(key.append(1, ']'));
        }
        if (line.rfind("HKEY_CURRENT_USER\\", 0) != 0) continue;
        const std::size_t gap = line.find("\\  ");
        std::string key(1, '[');
        key.append(line, 0, gap).append("] ");
        const std::string rest = line.substr(gap + 3);
        if (rest.rfind("（默认）", 0) == 0) {
            listed.insert(key + "@");
        } else {
            listed.insert(key + rest.substr(0, rest.find("\"  ") + 1));
        }
    }
    return listed;
}

// The backup name the undo's output offers for undoing it ("/undo:NAME").
std::wstring UndoOffered(const std::string& output) {
    const std::size_t at = output.find("/undo:");
    if (at == std::string::npos) return {};
    const std::size_t end = output.find(".reg", at);
    return Widen(output.substr(at + 6, end + 4 - at - 6));
}

TEST_F(WineBackupTest, WhatIfListsWhatTheApplyChangesAndItsExportGivesTheSameValues) {
    ClearBackupFolder();
    Put(kSettings + L"\\Zones\\2", L"1001", REG_DWORD, {3, 0, 0, 0});
    Put(kZoneMap + L"Domains\\portal", L"http", REG_DWORD, {1, 0, 0, 0});
    Put(kZoneMap + L"Domains\\portal", L"mine", REG_SZ, Sz(L"是 \"x\""));
    Put(kBrowser + L"\\Main", L"Enable Browser Extensions", REG_SZ, Sz(L"no"));
    ASSERT_FALSE(HasFatalFailure());
    const std::string before = Export(L"before");
    ASSERT_NE(before, "");
    const std::wstring exported = folder_ + L"\\result.reg";

    std::string error;
    const auto whatIf = RunToEnd({L"/whatif", L"/address:portal", L"/https", L"/export:" + exported}, error);
    ASSERT_TRUE(whatIf) << error;
    EXPECT_EQ(whatIf->exitCode, 0u) << whatIf->output;
    EXPECT_EQ(Export(L"after"), before) << "the dry run writes nothing";
    EXPECT_EQ(Backups(), std::vector<std::wstring>{}) << "and takes no backup";
    EXPECT_NE(whatIf->output.find("Zones\\2\\  \"1001\"  REG_DWORD 3 -> REG_DWORD 0"), std::string::npos)
        << whatIf->output;

    const auto apply = RunToEnd({L"/quiet", L"/address:portal", L"/https"}, error);
    ASSERT_TRUE(apply) << error;
    ASSERT_EQ(apply->exitCode, 0u) << apply->output;
    const std::string applied = Export(L"after");
    EXPECT_EQ(ListedEntries(whatIf->output), ChangedEntries(before, applied)) << whatIf->output;

    // The state from before put back, the exported file imported by reg.exe: the apply's values.
    for (std::size_t i = 0; i < 2; ++i) {
        RegDeleteTreeW(HKEY_CURRENT_USER, kExported[i].c_str());
        ASSERT_EQ(Reg(L"import \"" + Files(L"before")[i] + L"\""), 0u);
    }
    ASSERT_EQ(Export(L"after"), before);
    ASSERT_EQ(Reg(L"import \"" + exported + L"\""), 0u);
    EXPECT_EQ(Export(L"after"), applied);

    // A fresh profile: without the tool's keys, the dry run's file gives what the apply gives.
    for (const std::wstring& key : kExported) RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    const auto fresh = RunToEnd({L"/whatif", L"/address:192.0.2.10", L"/export:" + exported}, error);
    ASSERT_TRUE(fresh) << error;
    EXPECT_EQ(fresh->exitCode, 0u) << fresh->output;
    const auto freshApply = RunToEnd({L"/quiet", L"/address:192.0.2.10"}, error);
    ASSERT_TRUE(freshApply) << error;
    const std::string freshApplied = Export(L"after");
    for (const std::wstring& key : kExported) RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    ASSERT_EQ(Reg(L"import \"" + exported + L"\""), 0u);
    EXPECT_EQ(Export(L"after"), freshApplied);
    EXPECT_EQ(ListedEntries(fresh->output), ChangedEntries("", freshApplied)) << fresh->output;
    DeleteFileW(exported.c_str());
    ClearBackupFolder();
}

TEST_F(WineBackupTest, UndoWalksBackThroughTwoAppliesAndEachUndoCanBeUndone) {
    ClearBackupFolder();
    Put(kSettings + L"\\Zones\\2", L"1001", REG_DWORD, {3, 0, 0, 0});
    Put(kZoneMap + L"Domains\\portal", L"mine", REG_SZ, Sz(L"门户"));
    ASSERT_FALSE(HasFatalFailure());
    const auto state = [] { return reg::Dump(kSettings) + reg::Dump(kBrowser); };
    const auto run = [](const std::vector<std::wstring>& arguments, DWORD expected) {
        std::string error;
        const auto finished = RunToEnd(arguments, error);
        EXPECT_TRUE(finished) << error;
        if (!finished) return std::string();
        EXPECT_EQ(finished->exitCode, expected) << Narrow(arguments[0]) << ": " << finished->output;
        return finished->output;
    };
    const std::string s0 = state();
    run({L"/undo"}, 2);
    run({L"/quiet", L"/address:portal"}, 0);
    Put(kSettings + L"\\Zones\\2", L"1001", REG_DWORD, {1, 0, 0, 0});
    const std::string s1 = state();
    run({L"/quiet", L"/address:192.0.2.10", L"/https"}, 0);
    const std::string s2 = state();

    const std::wstring log = BackupFolder() + L"\\..\\undo-test.log";
    DeleteFileW(log.c_str());
    const std::string firstUndo = run({L"/undo", L"/log:" + log}, 0);
    EXPECT_EQ(state(), s1) << firstUndo;
    const std::string secondUndo = run({L"/undo", L"/log:" + log}, 0);
    EXPECT_EQ(state(), s0) << secondUndo;
    run({L"/undo"}, 2);
    EXPECT_EQ(state(), s0);
    const std::vector<std::string> logged = LogLines(log);
    DeleteFileW(log.c_str());
    ASSERT_EQ(logged.size(), 2u);
    EXPECT_NE(logged[0].find("\tundo\t\""), std::string::npos) << logged[0];
    EXPECT_NE(logged[1].find("\t已还原备份 "), std::string::npos) << logged[1];

    // Undoing each undo brings back what it undid.
    ASSERT_NE(UndoOffered(secondUndo), L"");
    run({L"/undo:" + UndoOffered(secondUndo)}, 0);
    EXPECT_EQ(state(), s1);
    ASSERT_NE(UndoOffered(firstUndo), L"");
    run({L"/undo:" + UndoOffered(firstUndo)}, 0);
    EXPECT_EQ(state(), s2);
    ClearBackupFolder();
}

TEST_F(WineBackupTest, UndoToTheOriginalAfterTenAppliesAndBack) {
    ClearBackupFolder();
    Put(kZoneMap + L"Domains\\mine", L"http", REG_DWORD, {1, 0, 0, 0});
    Put(kSettings + L"\\Zones\\2", L"1001", REG_DWORD, {3, 0, 0, 0});
    ASSERT_FALSE(HasFatalFailure());
    const auto state = [] { return reg::Dump(kSettings) + reg::Dump(kBrowser); };
    const std::string s0 = state();
    std::string error;
    for (int i = 0; i < 10; ++i) {
        const auto apply = RunToEnd({L"/quiet", L"/address:site" + std::to_wstring(i) + L".example.com"}, error);
        ASSERT_TRUE(apply) << error;
        ASSERT_EQ(apply->exitCode, 0u) << apply->output;
        // The user changes a value in between, as policies or users do.
        Put(kSettings + L"\\Zones\\2", L"1001", REG_DWORD, {static_cast<unsigned char>(i + 10), 0, 0, 0});
    }
    const std::string s10 = state();
    const auto undo = RunToEnd({L"/undo:original"}, error);
    ASSERT_TRUE(undo) << error;
    EXPECT_EQ(undo->exitCode, 0u) << undo->output;
    EXPECT_EQ(state(), s0) << undo->output;
    const auto again = RunToEnd({L"/undo:" + UndoOffered(undo->output)}, error);
    ASSERT_TRUE(again) << error;
    EXPECT_EQ(again->exitCode, 0u) << again->output;
    EXPECT_EQ(state(), s10) << again->output;
    ClearBackupFolder();
}

}  // namespace
}  // namespace zuv::e2e
