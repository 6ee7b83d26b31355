// The backup before an apply on Wine's registry, read back by Wine's own reg.exe: after four
// applies (an IPv4 address among a few hundred ranges, a machine name, a domain name, the empty
// address), each backed up to a file first, importing the backups newest first leaves the
// settings keys exactly as "reg export" showed them before.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/win32_backup_files.h"
#include "base/win32_text.h"
#include "registry/backup_document.h"
#include "registry/mdlReg.h"
#include "registry/win32_registry.h"
#include "tests/support/remembering_ui.h"
#include "window/ZUVPortalSetting.h"
#include "window/backup_plan.h"

namespace zuv {
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

// Runs reg.exe and waits a bounded time for it to end; its exit code.
DWORD Reg(const std::wstring& arguments) {
    std::wstring command = L"reg.exe " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return GetLastError();
    }
    DWORD code = WAIT_TIMEOUT;
    if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    } else {
        TerminateProcess(process.hProcess, 1);
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The keys and values of reg.exe's exports (UTF-16LE), continued lines joined, one line per
// value prefixed with its key, sorted: equal texts mean equal contents.
std::string Sorted(const std::vector<std::wstring>& files) {
    std::vector<std::string> lines;
    for (const std::wstring& file : files) {
        std::ifstream in(Narrow(file), std::ios::binary);
        const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::wstring wide(raw.size() / 2, L'\0');
        std::copy_n(raw.data(), wide.size() * 2, reinterpret_cast<char*>(wide.data()));
        std::string text = Narrow(wide);
        for (std::size_t at = 0; (at = text.find("\\\r\n", at)) != std::string::npos;) {
            text.erase(at, text.find_first_not_of(' ', at + 3) - at);
        }
        std::string key;
        for (std::size_t at = 0, end = 0; at < text.size(); at = end + 2) {
            end = std::min(text.find("\r\n", at), text.size());
            const std::string line = text.substr(at, end - at);
            if (line.rfind('[', 0) == 0) key = line;
            if (!line.empty()) lines.push_back(key + (line == key ? "" : " " + line));
        }
    }
    std::sort(lines.begin(), lines.end());
    std::string out;
    for (const std::string& line : lines) out += line + "\n";
    return out;
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

    const auto codePage = MakeSystemCodePage();
    Win32Registry registry;
    Win32StoredRegistry stored;
    mdlReg reg(registry, *codePage);
    test::RememberingUi ui;
    ZUVPortalSetting form(ui, reg);
    form.Form_Load();
    const std::string backups = Narrow(folder_ + L"\\backups");
    std::vector<std::wstring> written;
    for (const char* address : {"192.0.2.10", "appserver", "www.example.com", ""}) {
        const BackupPlan plan = PlanApply(registry, *codePage, form.BrowserGeneration, address);
        EXPECT_TRUE(plan.outcome.Succeeded()) << address;
        const BackupDocument document = MakeBackupDocument(plan.writes, stored);
        ASSERT_EQ(document.error, "") << address;
        const WrittenBackup file = WriteBackupFile(backups, LocalNow(), document.bytes);
        ASSERT_EQ(file.error, "") << address;
        written.push_back(Widen(file.path));
        EXPECT_TRUE(form.Apply(address).Succeeded()) << address;
    }
    EXPECT_EQ(registry.OpenHandleCount(), 0u);
    ASSERT_TRUE(std::is_sorted(written.begin(), written.end()));

    for (auto file = written.rbegin(); file != written.rend(); ++file) {
        EXPECT_EQ(Reg(L"import \"" + *file + L"\""), 0u) << Narrow(*file);
    }
    EXPECT_EQ(Export(L"after"), before);

    EXPECT_EQ(PruneBackups(backups, 2), "");
    EXPECT_EQ(GetFileAttributesW(written[1].c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesW(written[2].c_str()), INVALID_FILE_ATTRIBUTES);
    for (const std::wstring& file : written) DeleteFileW(file.c_str());
    RemoveDirectoryW(Widen(backups).c_str());
}

}  // namespace
}  // namespace zuv
