#include "apply/portal_report.h"

#include <cstdint>
#include <vector>

#include "apply/portal_apply.h"
#include "base/text.h"
#include "browser_config/browser_config.h"

namespace zuv {
namespace {

// How much of a text read from a user's hive or from the profile list is shown: enough for any
// honest value, short enough that one line stays a line.
constexpr std::size_t kShownMessage = 200;
constexpr std::size_t kShownField = 80;
constexpr std::size_t kShownName = 120;
constexpr std::size_t kShownReason = 300;

// Text from outside the program, bounded and with its invisible characters written out, so that
// each profile's line stays one line and shows what is stored.
std::string Shown(std::string_view text, std::size_t maxChars) {
    return EscapeInvisible(ShortenMiddle(text, maxChars));
}

// The machine settings, with the stamp every record is set against.
Result<MachineSettings> ReadMachine(mdlReg& reg) {
    Result<MachineSettings> machine = ReadMachineSettings(reg);
    if (machine && machine.Value().stamp.empty()) {
        return Failure{"本机的 ZUVPortalSetting 设置中没有设置标记（HKEY_LOCAL_MACHINE\\" + std::string(kMachineSettingsKey) +
                       " 中的 \"Settings\"），无法判断各用户的记录是否属于当前的设置：请重新安装"};
    }
    return machine;
}

bool DigitsAfter(std::string_view sid, std::string_view prefix) {
    if (!sid.starts_with(prefix)) return false;
    // One or more sub-authorities, each of digits, after the prefix's last dash.
    std::string_view rest = sid.substr(prefix.size());
    if (rest.empty()) return false;
    bool digit = false;
    for (const char c : rest) {
        if (c == '-') {
            if (!digit) return false;
            digit = false;
        } else if (c >= '0' && c <= '9') {
            digit = true;
        } else {
            return false;
        }
    }
    return digit;
}

std::string TextOf(const StoredRecord& record, const char* name) {
    const auto found = record.texts.find(name);
    return found == record.texts.end() ? std::string() : found->second;
}

// A field of the record as shown: bounded, escaped, "（无）" when empty.
std::string FieldOf(const StoredRecord& record, const char* name, std::size_t maxChars = kShownField) {
    const std::string text = TextOf(record, name);
    return text.empty() ? std::string("（无）") : Shown(text, maxChars);
}

const char* StateName(UserState state) {
    switch (state) {
    case UserState::Done: return "已完成";
    case UserState::Failed: return "失败";
    case UserState::NotYet: return "尚未完成";
    case UserState::NotReadable: return "暂时无法读取";
    }
    return "?";
}

// What the line says after the state, for a record that could be read.
std::string RecordDetails(UserState state, const std::optional<StoredRecord>& record,
                          const MachineSettings& machine) {
    if (!record) return "没有记录（该用户登录后才会设置）";
    const std::string time = "时间 " + FieldOf(*record, "Time");
    const std::string result = TextOf(*record, "Result");
    switch (state) {
    case UserState::Done:
        if (machine.retire) return "已撤回该用户的设置，" + time;
        return "已设置 " + FieldOf(*record, "Address") + "，版本 " + FieldOf(*record, "Version") + "，" + time;
    case UserState::Failed:
        return FieldOf(*record, "Message", kShownMessage) + "（" + FieldOf(*record, "Result") + "，退出代码 " +
               (record->exitCode ? std::to_string(*record->exitCode) : std::string("（无）")) + "，" +
               time + "）";
    case UserState::NotYet:
    case UserState::NotReadable:
        break;
    }
    if (TextOf(*record, "Settings") != machine.stamp) {
        return "记录的是设置 " + FieldOf(*record, "Settings") + "（" + FieldOf(*record, "Result") + "，" + time +
               "），不是本机当前的设置";
    }
    return std::string("记录的结果为 ") + FieldOf(*record, "Result") + "，本机的设置要求 " +
           (machine.retire ? kRecordRetired : kRecordApplied) + "（" + time + "）";
}

// The profile's name as the report shows it: the account, else the profile folder's name.
std::string WhoOf(const ProfileEntry& profile, ProfileHost& profiles) {
    std::string name;
    if (const auto account = profiles.AccountName(profile.sid)) {
        name = *account;
    } else {
        const std::size_t slash = profile.folder.find_last_of("\\/");
        name = slash == std::string::npos ? profile.folder : profile.folder.substr(slash + 1);
    }
    if (name.empty()) name = "（未知用户）";
    return Shown(name, kShownName) + "（" + Shown(profile.sid, kShownName) + "）";
}

}  // namespace

bool IsUserProfileSid(std::string_view sid) {
    return DigitsAfter(sid, "S-1-5-21-") || DigitsAfter(sid, "S-1-12-1-");
}

UserState StateOf(const std::optional<StoredRecord>& record, const std::string& machineSettings,
                  bool retire) {
    if (!record) return UserState::NotYet;
    const auto result = record->texts.find("Result");
    const auto settings = record->texts.find("Settings");
    if (result == record->texts.end() || settings == record->texts.end() ||
        settings->second != machineSettings) {
        return UserState::NotYet;
    }
    if (result->second == kRecordFailed || result->second == kRecordRetireFailed) return UserState::Failed;
    if (result->second == (retire ? kRecordRetired : kRecordApplied)) return UserState::Done;
    return UserState::NotYet;
}

int ReportExitCode(const ReportCounts& counts) {
    if (counts.failed > 0) return kExitApplyFailed;
    if (counts.notYet > 0 || counts.notReadable > 0) return kExitNotAllDone;
    return kExitSuccess;
}

RunReport ReportPortal(mdlReg& reg, ProfileHost& profiles) {
    const Result<MachineSettings> machine = ReadMachine(reg);
    if (!machine) return {"无法报告：" + machine.Error() + "\n", kExitNotUnderstood};
    const Result<std::vector<ProfileEntry>> entries = profiles.Profiles();
    if (!entries) {
        return {"无法报告：无法读取配置文件列表 HKEY_LOCAL_MACHINE\\" + std::string(kProfileListKey) + "（" +
                    Shown(entries.Error(), kShownReason) + "）\n",
                kExitNotUnderstood};
    }
    const MachineSettings& settings = machine.Value();
    std::string text = "本机的设置 " + Shown(settings.stamp, kShownField) +
                       (settings.retire ? "：撤回各用户的设置（Retire = 1）\n"
                                        : "：门户地址 " + Shown(settings.address, kShownField) + "\n");
    ReportCounts counts;
    int users = 0;
    for (const ProfileEntry& profile : entries.Value()) {
        if (!IsUserProfileSid(profile.sid)) continue;
        ++users;
        const Result<ProfileRecord> read = profiles.ReadRecord(profile);
        UserState state = UserState::NotReadable;
        std::string details;
        if (read) {
            std::optional<StoredRecord> record = read.Value().record;
            // A key without a result is no record: the run that made it did not finish it.
            if (record && record->texts.count("Result") == 0) record.reset();
            state = StateOf(record, settings.stamp, settings.retire);
            details = RecordDetails(state, record, settings);
        } else {
            details = Shown(read.Error(), kShownReason);
        }
        switch (state) {
        case UserState::Done: ++counts.done; break;
        case UserState::Failed: ++counts.failed; break;
        case UserState::NotYet: ++counts.notYet; break;
        case UserState::NotReadable: ++counts.notReadable; break;
        }
        text += std::string(StateName(state)) + "：" + WhoOf(profile, profiles) + "：" + details + "\n";
    }
    text += "共 " + std::to_string(users) + " 个用户：已完成 " + std::to_string(counts.done) + "，失败 " +
            std::to_string(counts.failed) + "，尚未完成 " + std::to_string(counts.notYet) + "，暂时无法读取 " +
            std::to_string(counts.notReadable) + "（按尚未完成计）\n";
    return {text, ReportExitCode(counts)};
}

}  // namespace zuv
