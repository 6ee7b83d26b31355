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
constexpr const wchar_t* kProfileList = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
// Where a second user's hive is put together before it is saved as a file.
constexpr const wchar_t* kHiveMaking = L"Software\\ZUVReportTestHive";
constexpr const char* kTime = "2026-12-09 12:00:00 +08:00";

bool SetText(HKEY root, const std::wstring& path, const wchar_t* name, const std::wstring& text) {
    return RegSetKeyValueW(root, path.c_str(), name, REG_SZ, text.c_str(),
                           static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}
bool SetNumber(HKEY root, const std::wstring& path, const wchar_t* name, DWORD number) {
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

bool WriteRecord(HKEY root, const std::wstring& path, const Record& record) {
    return SetText(root, path, L"Settings", record.settings) && SetText(root, path, L"Result", record.result) &&
           SetNumber(root, path, L"ExitCode", record.exitCode) &&
           SetText(root, path, L"Address", L"portal.example.com") && SetText(root, path, L"Time", Widen(kTime)) &&
           SetText(root, path, L"Version", L"1.0.0") && SetText(root, path, L"Message", record.message);
}

// The SID of this process's user, as text.
std::string CurrentSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return {};
    std::vector<unsigned char> buffer(512);
    DWORD size = static_cast<DWORD>(buffer.size());
    std::string sid;
    if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        wchar_t* text = nullptr;
        if (ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid, &text)) {
            sid = Narrow(text);
            LocalFree(text);
        }
    }
    CloseHandle(token);
    return sid;
}

// DOMAIN\name of this process's user, as LookupAccountSidW gives it.
std::string CurrentAccount() {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameLength = 256;
    DWORD domainLength = 256;
    SID_NAME_USE use{};
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(Widen(CurrentSid()).c_str(), &sid)) return {};
    const bool found = LookupAccountSidW(nullptr, sid, name, &nameLength, domain, &domainLength, &use);
    LocalFree(sid);
    return found ? Narrow(domain) + "\\" + Narrow(name) : std::string();
}

std::optional<std::vector<unsigned char>> FileBytes(const std::wstring& path) {
    std::vector<unsigned char> bytes;
    if (ReadWholeFile(path, bytes, 16 << 20) != ERROR_SUCCESS) return std::nullopt;
    return bytes;
}

// What the report leaves behind that it should not: a hive of its own under HKEY_USERS, or a
// scratch folder in the temporary folder.
std::vector<std::string> Leftovers() {
    std::vector<std::string> found;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(HKEY_USERS, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (std::wstring(name).starts_with(L"ZUVPortalSetting")) found.push_back("HKEY_USERS\\" + Narrow(name));
    }
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    WIN32_FIND_DATAW entry{};
    HANDLE search = FindFirstFileW((std::wstring(temp) + L"ZUVPortalSetting-report-*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do found.push_back(Narrow(temp) + Narrow(entry.cFileName));
        while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    return found;
}

// The restore and backup privileges, enabled for this process: loading a hive needs them.
bool EnableHivePrivileges() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    bool enabled = true;
    for (const wchar_t* name : {SE_RESTORE_NAME, SE_BACKUP_NAME}) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        enabled = enabled && LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) &&
                  AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
                  GetLastError() == ERROR_SUCCESS;
    }
    CloseHandle(token);
    return enabled;
}

// Another user's profile, made by the test and taken away afterwards: its entry in the profile
// list and its folder below C:\users.
class OtherProfile {
public:
    OtherProfile(std::string sid, const std::wstring& folderName, bool withFolder = true)
        : sid_(std::move(sid)), folder_(withFolder ? L"C:\\users\\" + folderName : L"") {
        if (withFolder) {
            CreateDirectoryW(folder_.c_str(), nullptr);
            SetText(HKEY_LOCAL_MACHINE, Entry(), L"ProfileImagePath", folder_);
        } else {
            SetNumber(HKEY_LOCAL_MACHINE, Entry(), L"Flags", 0);
        }
    }
    ~OtherProfile() {
        if (loaded_) RegUnLoadKeyW(HKEY_USERS, Widen(sid_).c_str());
        DeleteTree(HKEY_LOCAL_MACHINE, Entry());
        if (folder_.empty()) return;
        DeleteFileW(Hive().c_str());
        RemoveDirectoryW(folder_.c_str());
    }
    OtherProfile(const OtherProfile&) = delete;
    OtherProfile& operator=(const OtherProfile&) = delete;

    std::wstring Hive() const { return folder_ + L"\\NTUSER.DAT"; }
    const std::string& Sid() const { return sid_; }

    // Saves a hive holding `record` (none: a hive without one) as the profile's NTUSER.DAT.
    bool SaveHive(const std::optional<Record>& record) const {
        DeleteTree(HKEY_CURRENT_USER, kHiveMaking);
        const std::wstring below = std::wstring(kHiveMaking) + L"\\" + kRecord;
        bool made = record ? WriteRecord(HKEY_CURRENT_USER, below, *record)
                           : SetText(HKEY_CURRENT_USER, std::wstring(kHiveMaking) + L"\\Software\\Other", L"x", L"y");
        HKEY key = nullptr;
        made = made && RegOpenKeyExW(HKEY_CURRENT_USER, kHiveMaking, 0, KEY_READ, &key) == ERROR_SUCCESS;
        DeleteFileW(Hive().c_str());
        made = made && RegSaveKeyW(key, Hive().c_str(), nullptr) == ERROR_SUCCESS;
        if (key) RegCloseKey(key);
        DeleteTree(HKEY_CURRENT_USER, kHiveMaking);
        return made;
    }
    // Loads the profile's hive under HKEY_USERS, as when the user is signed in, until the end.
    bool LoadHive() {
        loaded_ = RegLoadKeyW(HKEY_USERS, Widen(sid_).c_str(), Hive().c_str()) == ERROR_SUCCESS;
        return loaded_;
    }
    bool WriteFile(const std::string& bytes) const {
        const HANDLE file = CreateFileW(Hive().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        const bool ok = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(file);
        return ok && written == bytes.size();
    }

private:
    std::wstring Entry() const { return std::wstring(kProfileList) + L"\\" + Widen(sid_); }

    std::string sid_;
    std::wstring folder_;
    bool loaded_ = false;
};

class ReportUnderWine : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(EnableHivePrivileges());
        ClearAll();
        sid = CurrentSid();
        account = CurrentAccount();
        ASSERT_FALSE(sid.empty());
        ASSERT_FALSE(account.empty());
        // The signed-in user's profile is in the list, and its hive is loaded: HKEY_CURRENT_USER.
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, (std::wstring(kProfileList) + L"\\" + Widen(sid)).c_str(), 0,
                                KEY_READ, &key),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kMachine, L"Address", L"portal.example.com"));
        ASSERT_TRUE(SetNumber(HKEY_LOCAL_MACHINE, kMachine, L"Https", 0));
        ASSERT_TRUE(SetNumber(HKEY_LOCAL_MACHINE, kMachine, L"IeMode", 0));
        ASSERT_TRUE(SetNumber(HKEY_LOCAL_MACHINE, kMachine, L"Retire", 0));
        ASSERT_TRUE(SetText(HKEY_LOCAL_MACHINE, kMachine, L"Settings", L"1,0,0,3"));
    }
    void TearDown() override {
        ClearAll();
        EXPECT_EQ(Leftovers(), std::vector<std::string>{});
    }
    static void ClearAll() {
        DeleteTree(HKEY_LOCAL_MACHINE, kMachine);
        DeleteTree(HKEY_CURRENT_USER, kRecord);
        DeleteTree(HKEY_CURRENT_USER, kHiveMaking);
    }

    // The report, run to its end.
    Finished Report() {
        std::string error;
        const auto run = RunToEnd({L"/report"}, error);
        EXPECT_TRUE(run) << error;
        return run.value_or(Finished{99, error});
    }
    // The lines of a report, without their line breaks.
    static std::vector<std::string> Lines(const std::string& output) {
        std::vector<std::string> lines;
        std::size_t begin = 0;
        for (std::size_t end; (end = output.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
            lines.push_back(output.substr(begin, end - begin));
        }
        return lines;
    }
    std::string Me() const { return account + "（" + sid + "）"; }

    std::string sid;
    std::string account;
};

TEST_F(ReportUnderWine, TheSignedInUsersRecordDecidesTheExitCode) {
    // No record yet.
    Finished run = Report();
    EXPECT_EQ(run.exitCode, 3u) << run.output;
    EXPECT_EQ(Lines(run.output),
              (std::vector<std::string>{"本机的设置 1,0,0,3：门户地址 portal.example.com",
                                        "尚未完成：" + Me() + "：没有记录（该用户登录后才会设置）",
                                        "共 1 个用户：已完成 0，失败 0，尚未完成 1，暂时无法读取 0（按尚未完成计）"}));

    ASSERT_TRUE(WriteRecord(HKEY_CURRENT_USER, kRecord, {L"1,0,0,3", L"applied"}));
    run = Report();
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Lines(run.output).at(1), "已完成：" + Me() + "：已设置 portal.example.com，版本 1.0.0，时间 " + kTime);

    ASSERT_TRUE(WriteRecord(HKEY_CURRENT_USER, kRecord,
                            {L"1,0,0,3", L"failed", 1, L"设置出错，原因：无法写入注册表 HKEY_CURRENT_USER\\Software"}));
    run = Report();
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    EXPECT_EQ(Lines(run.output).at(1), "失败：" + Me() + "：设置出错，原因：无法写入注册表 HKEY_CURRENT_USER\\Software"
                                       "（failed，退出代码 1，时间 " + kTime + "）");

    ASSERT_TRUE(WriteRecord(HKEY_CURRENT_USER, kRecord, {L"1,0,0,2", L"applied"}));
    run = Report();
    EXPECT_EQ(run.exitCode, 3u) << run.output;
    EXPECT_EQ(Lines(run.output).at(1), "尚未完成：" + Me() + "：记录的是设置 1,0,0,2（applied，时间 " +
                                           std::string(kTime) + "），不是本机当前的设置");

    // The machine retires the settings: the user's record must say so for these settings.
    ASSERT_TRUE(SetNumber(HKEY_LOCAL_MACHINE, kMachine, L"Retire", 1));
    ASSERT_TRUE(WriteRecord(HKEY_CURRENT_USER, kRecord, {L"1,0,0,3", L"retired"}));
    run = Report();
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    EXPECT_EQ(Lines(run.output).at(1), "已完成：" + Me() + "：已撤回该用户的设置，时间 " + std::string(kTime));
}

// A second user who is not signed in: the record is read from the profile's NTUSER.DAT, and the
// file is the same, byte for byte, afterwards.
TEST_F(ReportUnderWine, ASecondProfileIsReadFromItsHiveFileWhichStaysAsItWas) {
    ASSERT_TRUE(WriteRecord(HKEY_CURRENT_USER, kRecord, {L"1,0,0,3", L"applied"}));
    OtherProfile other("S-1-5-21-0-0-0-1001", L"zuv-report-second");
    ASSERT_TRUE(other.SaveHive(Record{L"1,0,0,3", L"failed", 1, L"设置出错，原因：第二个用户的原因"}));
    const auto before = FileBytes(other.Hive());
    ASSERT_TRUE(before);

    const Finished run = Report();
    EXPECT_EQ(run.exitCode, 1u) << run.output;
    const std::vector<std::string> lines = Lines(run.output);
    ASSERT_EQ(lines.size(), 4u) << run.output;
    // Listed in the order of the profile list.
    EXPECT_EQ(lines[1], "已完成：" + Me() + "：已设置 portal.example.com，版本 1.0.0，时间 " + kTime);
    EXPECT_EQ(lines[2], "失败：zuv-report-second（S-1-5-21-0-0-0-1001）：设置出错，原因：第二个用户的原因"
                        "（failed，退出代码 1，时间 " + std::string(kTime) + "）");
    EXPECT_EQ(lines[3], "共 2 个用户：已完成 1，失败 1，尚未完成 0，暂时无法读取 0（按尚未完成计）");
    EXPECT_EQ(FileBytes(other.Hive()), before);

    // A hive without a record: not yet; the file still as it was.
    ASSERT_TRUE(other.SaveHive(std::nullopt));
    const auto empty = FileBytes(other.Hive());
    const Finished second = Report();
    EXPECT_EQ(second.exitCode, 3u) << second.output;
    EXPECT_EQ(Lines(second.output).at(2),
              "尚未完成：zuv-report-second（S-1-5-21-0-0-0-1001）：没有记录（该用户登录后才会设置）");
    EXPECT_EQ(FileBytes(other.Hive()), empty);
}

// A second user signed in: the hive loaded under HKEY_USERS is read there, not from the file
// (which is gone once the hive is loaded).
TEST_F(ReportUnderWine, ASecondProfileLoadedUnderHkeyUsersIsReadThere) {
    ASSERT_TRUE(WriteRecord(HKEY_CURRENT_USER, kRecord, {L"1,0,0,3", L"applied"}));
    OtherProfile other("S-1-5-21-0-0-0-1002", L"zuv-report-loaded");
    ASSERT_TRUE(other.SaveHive(Record{L"1,0,0,3", L"applied"}));
    ASSERT_TRUE(other.LoadHive());
    ASSERT_TRUE(DeleteFileW(other.Hive().c_str()));

    const Finished run = Report();
    EXPECT_EQ(run.exitCode, 0u) << run.output;
    const std::vector<std::string> lines = Lines(run.output);
    ASSERT_EQ(lines.size(), 4u) << run.output;
    EXPECT_EQ(lines[2], "已完成：zuv-report-loaded（S-1-5-21-0-0-0-1002）：已设置 portal.example.com，版本 1.0.0，时间 " +
                            std::string(kTime));
}

// Profiles whose hive cannot be read now: said why, counted as not yet, never as failed.
TEST_F(ReportUnderWine, AProfileThatCannotBeReadIsNotYetWithTheReason) {
    ASSERT_TRUE(WriteRecord(HKEY_CURRENT_USER, kRecord, {L"1,0,0,3", L"applied"}));
    OtherProfile noFile("S-1-5-21-0-0-0-1003", L"zuv-report-nofile");
    OtherProfile notAHive("S-1-5-21-0-0-0-1004", L"zuv-report-garbage");
    ASSERT_TRUE(notAHive.WriteFile("not a registry hive\r\n"));
    OtherProfile noFolder("S-1-5-21-0-0-0-1005", L"", false);
    // A service account's profile is not a user's: it is left out.
    OtherProfile service("S-1-5-19", L"zuv-report-service");

    const Finished run = Report();
    EXPECT_EQ(run.exitCode, 3u) << run.output;
    const std::vector<std::string> lines = Lines(run.output);
    ASSERT_EQ(lines.size(), 6u) << run.output;
    EXPECT_TRUE(lines[2].starts_with("暂时无法读取：zuv-report-nofile（S-1-5-21-0-0-0-1003）：该用户未登录，其注册表文件 "
                                     "C:\\users\\zuv-report-nofile\\NTUSER.DAT 无法读取（"))
        << lines[2];
    EXPECT_TRUE(lines[3].starts_with("暂时无法读取：zuv-report-garbage（S-1-5-21-0-0-0-1004）：无法载入 "
                                     "C:\\users\\zuv-report-garbage\\NTUSER.DAT 的副本（"))
        << lines[3];
    EXPECT_EQ(lines[4], "暂时无法读取：（未知用户）（S-1-5-21-0-0-0-1005）：该用户未登录，且配置文件列表中没有其文件夹"
                        "（ProfileImagePath）");
    EXPECT_EQ(lines[5], "共 4 个用户：已完成 1，失败 0，尚未完成 0，暂时无法读取 3（按尚未完成计）");
    EXPECT_EQ(FileBytes(notAHive.Hive()), std::optional(std::vector<unsigned char>(
                                              {'n', 'o', 't', ' ', 'a', ' ', 'r', 'e', 'g', 'i', 's', 't', 'r',
                                               'y', ' ', 'h', 'i', 'v', 'e', '\r', '\n'})));
}

TEST_F(ReportUnderWine, WithoutTheMachineSettingsThereIsNoReport) {
    ASSERT_TRUE(WriteRecord(HKEY_CURRENT_USER, kRecord, {L"1,0,0,3", L"applied"}));
    DeleteTree(HKEY_LOCAL_MACHINE, kMachine);
    const Finished run = Report();
    EXPECT_EQ(run.exitCode, 2u) << run.output;
    EXPECT_TRUE(run.output.starts_with("无法报告：本机没有 ZUVPortalSetting 的设置（HKEY_LOCAL_MACHINE\\SOFTWARE\\"
                                       "ZUVPortalSetting 不存在）"))
        << run.output;
}

}  // namespace
}  // namespace zuv::e2e
