// The report of every user (/report) under Wine: the real profile list with the signed-in user
// (whose hive is loaded under HKEY_USERS as HKEY_CURRENT_USER), other profiles made by the test
// (their hive read from the NTUSER.DAT file, or loaded under HKEY_USERS), and the machine
// settings as the package writes them. The records are written as the per-user run writes them.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

#include "base/win32_file.h"
#include "driver.h"

namespace zuv::e2e {
namespace {

constexpr const wchar_t* kMachine = L"SOFTWARE\\ZUVPortalSetting";
constexpr const wchar_t* kRecord = L"Software\\ZUVPortalSetting";
constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\";
constexpr const wchar_t* kHiveMaking = L"Software\\ZUVReportTestHive";  // a hive put together before it is saved
const std::string kTime = "时间 2026-12-09 12:00:00 +08:00";

bool Set(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    return RegSetKeyValueW(root, path.c_str(), name, REG_SZ, text.c_str(),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
bool Set(HKEY root, const std::wstring& path, const wchar_t* name, DWORD number) {
    return RegSetKeyValueW(root, path.c_str(), name, REG_DWORD, &number, sizeof number) == ERROR_SUCCESS;
}
void DeleteTree(HKEY root, const std::wstring& path) {
    RegDeleteTreeW(root, path.c_str());
    RegDeleteKeyW(root, path.c_str());
}

// The record as the per-user run writes it.
struct Record {
    std::wstring settings;
    std::wstring result;
    DWORD exitCode = 0;
    std::wstring message = L"恭喜你，设置成功！";
};
bool Write(HKEY root, const std::wstring& path, const Record& r) {
    return Set(root, path, L"Settings", r.settings) && Set(root, path, L"Result", r.result) &&
           Set(root, path, L"ExitCode", r.exitCode) && Set(root, path, L"Address", L"portal.example.com") &&
           Set(root, path, L"Time", L"2026-12-09 12:00:00 +08:00") && Set(root, path, L"Version", L"1.0.0") &&
           Set(root, path, L"Message", r.message);
}

// This process's user as the report names it: "DOMAIN\name（SID）".
std::string CurrentUser() {
    HANDLE token = nullptr;
    std::vector<unsigned char> buffer(512);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    const bool got = GetTokenInformation(token, TokenUser, buffer.data(), size, &size);
    CloseHandle(token);
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    wchar_t name[256], domain[256], *text = nullptr;
    DWORD nameLength = 256, domainLength = 256;
    SID_NAME_USE use{};
    if (!got || !LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use) ||
        !ConvertSidToStringSidW(sid, &text)) {
        return {};
    }
    const std::string user = Narrow(domain) + "\\" + Narrow(name) + "（" + Narrow(text) + "）";
    LocalFree(text);
    return user;
}

// What the report should not leave behind: a hive under HKEY_USERS, a scratch folder.
std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    wchar_t name[MAX_PATH + 1];
    for (DWORD index = 0, length = 256; RegEnumKeyExW(HKEY_USERS, index, name, &length, nullptr, nullptr, nullptr,
                                                      nullptr) == ERROR_SUCCESS;
         ++index, length = 256) {
        if (std::wstring(name).starts_with(L"ZUVPortalSetting")) found.push_back(Narrow(name));
    }
    GetTempPathW(MAX_PATH + 1, name);
    WIN32_FIND_DATAW entry{};
    const HANDLE search = FindFirstFileW((std::wstring(name) + L"ZUVPortalSetting-report-*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        found.push_back(Narrow(entry.cFileName));
        FindClose(search);
    }
    return found;
}

// Another user's profile, made by the test and taken away afterwards: its entry in the profile
// list and its folder C:\users\NAME (none when `folderName` is empty).
class OtherProfile {
public:
    OtherProfile(std::wstring sid, const std::wstring& folderName)
        : sid_(std::move(sid)), folder_(folderName.empty() ? L"" : L"C:\\users\\" + folderName) {
        if (!folder_.empty()) CreateDirectoryW(folder_.c_str(), nullptr);
        Set(HKEY_LOCAL_MACHINE, kProfileList + sid_, folderName.empty() ? L"Flags" : L"ProfileImagePath", folder_);
    }
    ~OtherProfile() {
        if (loaded_) RegUnLoadKeyW(HKEY_USERS, sid_.c_str());
        DeleteTree(HKEY_LOCAL_MACHINE, kProfileList + sid_);
        if (folder_.empty()) return;
        DeleteFileW(Hive().c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    OtherProfile(const OtherProfile&) = delete;
    OtherProfile& operator=(const OtherProfile&) = delete;

    std::wstring Hive() const { return folder_ + L"\\NTUSER.DAT"; }
    std::optional<std::vector<unsigned char>> HiveBytes() const {
        std::vector<unsigned char> bytes;
        if (ReadWholeFile(Hive(), bytes, 16 << 20) != ERROR_SUCCESS) return std::nullopt;
        return bytes;
    }
    // Saves a hive holding `record` (none: a hive without one) as the profile's NTUSER.DAT.
    bool SaveHive(const std::optional<Record>& record) const {
        const std::wstring below = std::wstring(kHiveMaking) + L"\\" + (record ? kRecord : L"Software\\Other");
        bool made = record ? Write(HKEY_CURRENT_USER, below, *record) : Set(HKEY_CURRENT_USER, below, L"x", 1);
        HKEY key = nullptr;
        made = made && RegOpenKeyExW(HKEY_CURRENT_USER, kHiveMaking, 0, KEY_READ, &key) == ERROR_SUCCESS;
        DeleteFileW(Hive().c_str());
        made = made && RegSaveKeyW(key, Hive().c_str(), nullptr) == ERROR_SUCCESS;
        if (key) RegCloseKey(key);
        DeleteTree(HKEY_CURRENT_USER, kHiveMaking);
        return made;
    }
    // Loads the hive under HKEY_USERS, as when the user is signed in (the test holds the backup
    // and restore privileges: see SetUp).
    bool LoadHive() { return loaded_ = RegLoadKeyW(HKEY_USERS, sid_.c_str(), Hive().c_str()) == ERROR_SUCCESS; }

private:
    std::wstring sid_;
    std::wstring folder_;
    bool loaded_ = false;
};

class ReportUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        HANDLE token = nullptr;
        ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES, &token));
        for (const wchar_t* privilege : {SE_RESTORE_NAME, SE_BACKUP_NAME}) {
            TOKEN_PRIVILEGES enable{1, {{{}, SE_PRIVILEGE_ENABLED}}};
            EXPECT_TRUE(LookupPrivilegeValueW(nullptr, privilege, &enable.Privileges[0].Luid) &&
                        AdjustTokenPrivileges(token, FALSE, &enable, 0, nullptr, nullptr));
        }
        CloseHandle(token);
        TearDown();
        ASSERT_FALSE(me.empty());
        ASSERT_TRUE(Set(HKEY_LOCAL_MACHINE, kMachine, L"Address", L"portal.example.com") &&
                    Set(HKEY_LOCAL_MACHINE, kMachine, L"Https", 0) && Set(HKEY_LOCAL_MACHINE, kMachine, L"IeMode", 0) &&
                    Set(HKEY_LOCAL_MACHINE, kMachine, L"Retire", 0) &&
                    Set(HKEY_LOCAL_MACHINE, kMachine, L"Settings", L"1,0,0,3"));
    }
    void TearDown() override {
        DeleteTree(HKEY_LOCAL_MACHINE, kMachine);
        DeleteTree(HKEY_CURRENT_USER, kRecord);
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
    // The report run to its end: the exit code, then its lines.
    static std::vector<std::string> Report() {
        std::string error;
        const auto run = RunToEnd({L"/report"}, error);
        if (!run) return {error};
        std::vector<std::string> lines{"exit " + std::to_string(run->exitCode)};
        for (std::size_t begin = 0, end; (end = run->output.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
            lines.push_back(run->output.substr(begin, end - begin));
        }
        return lines;
    }

    const std::string me = CurrentUser();
};

TEST_F(ReportUnderWine, TheSignedInUsersRecordDecidesTheExitCode) {
    const std::vector<std::string> none = Report();
    EXPECT_EQ(none, (std::vector<std::string>{"exit 3", "本机的设置 1,0,0,3：门户地址 portal.example.com",
                                              "尚未完成：" + me + "：没有记录（该用户登录后才会设置）",
                                              "共 1 个用户：已完成 0，失败 0，尚未完成 1，暂时无法读取 0（按尚未完成计）"}));
    struct Row {
        Record record;
        DWORD retire;
        std::string line;
    };
    const Row rows[] = {
        {{L"1,0,0,3", L"applied"}, 0, "exit 0 已完成：" + me + "：已设置 portal.example.com，版本 1.0.0，" + kTime},
        {{L"1,0,0,3", L"failed", 1, L"设置出错，原因：无法写入注册表 HKEY_CURRENT_USER\\Software"}, 0,
         "exit 1 失败：" + me + "：设置出错，原因：无法写入注册表 HKEY_CURRENT_USER\\Software（failed，退出代码 1，" + kTime + "）"},
        {{L"1,0,0,2", L"applied"}, 0,
         "exit 3 尚未完成：" + me + "：记录的是设置 1,0,0,2（applied，" + kTime + "），不是本机当前的设置"},
        {{L"1,0,0,3", L"retired"}, 1, "exit 0 已完成：" + me + "：已撤回该用户的设置，" + kTime},
    };
    for (const Row& row : rows) {
        ASSERT_TRUE(Write(HKEY_CURRENT_USER, kRecord, row.record) && Set(HKEY_LOCAL_MACHINE, kMachine, L"Retire", row.retire));
        const std::vector<std::string> lines = Report();
        ASSERT_EQ(lines.size(), 4u) << lines[0];
        EXPECT_EQ(lines[0] + " " + lines[2], row.line);
    }
}

// A second user, not signed in: the record is read from the profile's NTUSER.DAT, and the file
// is the same, byte for byte, afterwards. A third, signed in: read from the hive under
// HKEY_USERS (the file is gone once it is loaded).
TEST_F(ReportUnderWine, OtherProfilesAreReadFromTheirHiveFileOrTheLoadedHive) {
    ASSERT_TRUE(Write(HKEY_CURRENT_USER, kRecord, {L"1,0,0,3", L"applied"}));
    OtherProfile second(L"S-1-5-21-0-0-0-1001", L"zuv-report-second");
    ASSERT_TRUE(second.SaveHive(Record{L"1,0,0,3", L"failed", 1, L"设置出错，原因：第二个用户的原因"}));
    OtherProfile third(L"S-1-5-21-0-0-0-1002", L"zuv-report-loaded");
    ASSERT_TRUE(third.SaveHive(Record{L"1,0,0,3", L"applied"}) && third.LoadHive());
    ASSERT_TRUE(DeleteFileW(third.Hive().c_str()));
    const auto before = second.HiveBytes();
    ASSERT_TRUE(before);
    EXPECT_EQ(Report(), (std::vector<std::string>{
                            "exit 1", "本机的设置 1,0,0,3：门户地址 portal.example.com",
                            "已完成：" + me + "：已设置 portal.example.com，版本 1.0.0，" + kTime,
                            "失败：zuv-report-second（S-1-5-21-0-0-0-1001）：设置出错，原因：第二个用户的原因（failed，退出代码 1，" +
                                kTime + "）",
                            "已完成：zuv-report-loaded（S-1-5-21-0-0-0-1002）：已设置 portal.example.com，版本 1.0.0，" + kTime,
                            "共 3 个用户：已完成 2，失败 1，尚未完成 0，暂时无法读取 0（按尚未完成计）"}));
    EXPECT_EQ(second.HiveBytes(), before);

    ASSERT_TRUE(second.SaveHive(std::nullopt));
    const auto empty = second.HiveBytes();
    EXPECT_EQ(Report().at(3), "尚未完成：zuv-report-second（S-1-5-21-0-0-0-1001）：没有记录（该用户登录后才会设置）");
    EXPECT_EQ(second.HiveBytes(), empty);
}

// Profiles whose hive cannot be read now: said why, counted as not yet, never as failed.
TEST_F(ReportUnderWine, AProfileThatCannotBeReadIsNotYetWithTheReason) {
    ASSERT_TRUE(Write(HKEY_CURRENT_USER, kRecord, {L"1,0,0,3", L"applied"}));
    OtherProfile noFile(L"S-1-5-21-0-0-0-1003", L"zuv-report-nofile");
    OtherProfile notAHive(L"S-1-5-21-0-0-0-1004", L"zuv-report-garbage");
    const HANDLE file = CreateFileW(notAHive.Hive().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(file, "not a hive\r\n", 12, &written, nullptr) && CloseHandle(file));
    OtherProfile noFolder(L"S-1-5-21-0-0-0-1005", L"");
    OtherProfile service(L"S-1-5-19", L"zuv-report-service");  // not a user's: left out
    const std::vector<std::string> lines = Report();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], "exit 3");
    EXPECT_TRUE(lines[3].starts_with("暂时无法读取：zuv-report-nofile（S-1-5-21-0-0-0-1003）：该用户未登录，其注册表文件 "
                                     "C:\\users\\zuv-report-nofile\\NTUSER.DAT 无法读取（"))
        << lines[3];
    EXPECT_TRUE(lines[4].starts_with("暂时无法读取：zuv-report-garbage（S-1-5-21-0-0-0-1004）：无法载入 "
                                     "C:\\users\\zuv-report-garbage\\NTUSER.DAT 的副本（"))
        << lines[4];
    EXPECT_EQ(lines[5], "暂时无法读取：（未知用户）（S-1-5-21-0-0-0-1005）：该用户未登录，且配置文件列表中没有其文件夹"
                        "（ProfileImagePath）");
    EXPECT_EQ(lines[6], "共 4 个用户：已完成 1，失败 0，尚未完成 0，暂时无法读取 3（按尚未完成计）");
    EXPECT_EQ(notAHive.HiveBytes(), std::optional(std::vector<unsigned char>{'n', 'o', 't', ' ', 'a', ' ', 'h', 'i',
                                                                              'v', 'e', '\r', '\n'}));

    DeleteTree(HKEY_LOCAL_MACHINE, kMachine);
    EXPECT_EQ(Report(), (std::vector<std::string>{"exit 2", "无法报告：本机没有 ZUVPortalSetting 的设置（HKEY_LOCAL_MACHINE\\"
                                                            "SOFTWARE\\ZUVPortalSetting 不存在）：安装包尚未安装。请先安装 "
                                                            "ZUVPortalSetting 的安装包（msiexec … PORTALADDRESS=地址）"}));
}

}  // namespace
}  // namespace zuv::e2e
