#include "apply/logon_run.h"

#include "apply/apply_log.h"
#include "apply/portal_undo.h"
#include "backup/backup_files.h"
#include "browser_config/browser_config.h"

namespace zuv {
namespace {

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// A REG_DWORD of the machine settings: 1 is on, anything else (or none) off.
bool Switch(mdlReg& reg, const char* name) {
    std::uint32_t type = 0;
    const std::string data = reg.QueryValue(kHkeyLocalMachine, kMachineSettingsKey, name, type);
    return reg.RegStatus == kErrorSuccess && type == kRegDword && data == "1";
}

// The machine retires the user's settings: the undo to the original, as /undo:original, when the
// tool ever set this user up; otherwise there is nothing to take back.
LogonReport Retire(const ApplyRecords& records) {
    const Result<std::vector<std::string>> names = records.host.BackupNames();
    if (names && !FindOriginalBackup(names.Value())) {
        return {kExitSuccess, "无需撤销：本工具从未为此用户设置过（备份文件夹中没有原始备份）。\n"};
    }
    const RunReport undone = UndoPortal(records.registry, {"original", records.logFile}, records.host);
    return {undone.exitCode, undone.text};
}

std::optional<std::string> Text(mdlReg& reg, RegKey root, const char* key, const char* name) {
    std::uint32_t type = 0;
    std::string data = reg.QueryValue(root, key, name, type);
    if (reg.RegStatus != kErrorSuccess || (type != kRegSz && type != kRegExpandSz)) return std::nullopt;
    return data;
}

}  // namespace

Result<MachineSettings> ReadMachineSettings(mdlReg& reg) {
    const std::string where = std::string("HKEY_LOCAL_MACHINE\\") + kMachineSettingsKey;
    const auto address = Text(reg, kHkeyLocalMachine, kMachineSettingsKey, "Address");
    if (!address) {
        const long status = reg.RegStatus;
        std::vector<std::string> keys, values;
        if (!reg.EnumerateNames(kHkeyLocalMachine, kMachineSettingsKey, keys, values)) {
            return Failure{"本机没有 ZUVPortalSetting 的设置（" + where +
                           " 不存在）：请由管理员安装 ZUVPortalSetting 的安装包（msiexec … PORTALADDRESS=地址）"};
        }
        return Failure{"本机的 ZUVPortalSetting 设置中没有门户地址（" + where + " 中的 \"Address\"" +
                       (status == kErrorSuccess ? " 不是文本" : "") + "）：请由管理员重新安装并给出 PORTALADDRESS"};
    }
    MachineSettings settings;
    settings.address = *address;
    settings.https = Switch(reg, "Https");
    settings.ieMode = Switch(reg, "IeMode");
    settings.retire = Switch(reg, "Retire");
    settings.stamp = Text(reg, kHkeyLocalMachine, kMachineSettingsKey, "Settings").value_or("");
    return settings;
}

std::optional<LogonRecord> ReadLogonRecord(mdlReg& reg) {
    const auto result = Text(reg, kHkeyCurrentUser, kLogonRecordKey, "Result");
    if (!result) return std::nullopt;
    LogonRecord record;
    record.result = *result;
    record.settings = Text(reg, kHkeyCurrentUser, kLogonRecordKey, "Settings").value_or("");
    record.address = Text(reg, kHkeyCurrentUser, kLogonRecordKey, "Address").value_or("");
    record.time = Text(reg, kHkeyCurrentUser, kLogonRecordKey, "Time").value_or("");
    record.version = Text(reg, kHkeyCurrentUser, kLogonRecordKey, "Version").value_or("");
    record.message = Text(reg, kHkeyCurrentUser, kLogonRecordKey, "Message").value_or("");
    std::uint32_t type = 0;
    const std::string code = reg.QueryValue(kHkeyCurrentUser, kLogonRecordKey, "ExitCode", type);
    if (reg.RegStatus == kErrorSuccess && type == kRegDword) record.exitCode = static_cast<std::uint32_t>(std::stoul(code));
    return record;
}

Result<> WriteLogonRecord(mdlReg& reg, const LogonRecord& record) {
    std::optional<std::string> refused;
    const auto write = [&](const char* name, const RegValue& value, std::uint32_t type) {
        if (refused) return;
        if (const auto error = RunTrapped([&] {
                if (!reg.SetValue(kHkeyCurrentUser, kLogonRecordKey, name, value, type)) {
                    refused = std::string("“") + name + "”：" + reg.ErrorText(reg.RegStatus);
                }
            })) {
            refused = std::string("“") + name + "”：" + error->description;
        }
    };
    write("Settings", record.settings, kRegSz);
    write("Result", record.result, kRegSz);
    write("ExitCode", static_cast<double>(record.exitCode), kRegDword);
    write("Address", record.address, kRegSz);
    write("Time", record.time, kRegSz);
    write("Version", record.version, kRegSz);
    write("Message", record.message, kRegSz);
    if (refused) return Failure{"HKEY_CURRENT_USER\\" + std::string(kLogonRecordKey) + " 中的值 " + *refused};
    return Done{};
}

LogonReport RunLogon(mdlReg& reg, const ApplyRecords& records) {
    LogonReport report;
    LogonRecord record;
    record.version = ProgramVersion();
    const Result<MachineSettings> machine = ReadMachineSettings(reg);
    if (!machine) {
        report.exitCode = kExitNotUnderstood;
        report.output = "未设置：" + machine.Error() + "\n";
        record.result = kRecordFailed;
    } else {
        const MachineSettings& settings = machine.Value();
        const char* wanted = settings.retire ? kRecordRetired : kRecordApplied;
        // Done once for these settings (by hand, or at an earlier logon): nothing more to do.
        if (const auto done = ReadLogonRecord(reg);
            done && !settings.stamp.empty() && done->settings == settings.stamp && done->result == wanted) {
            report.output = "本机的设置 " + settings.stamp + " 已为此用户完成（" + done->time + "），无需再次运行。\n";
            return report;
        }
        record.settings = settings.stamp;
        record.address = settings.address;
        if (settings.retire) {
            const LogonReport retired = Retire(records);
            report.exitCode = retired.exitCode;
            report.output = retired.output;
            record.result = retired.exitCode == kExitSuccess ? kRecordRetired : kRecordRetireFailed;
        } else {
            ApplyRecords logon = records;
            logon.startedFrom = StartedFrom::Logon;
            const ApplyRequest request{settings.address, DetectBrowserGeneration(reg),
                                       settings.https ? SiteProtocols::HttpAndHttps : SiteProtocols::Http};
            const ApplyReport applied = ApplyPortal(reg, request, &logon);
            report.exitCode = applied.exitCode;
            report.output = applied.OutputText();
            record.result = applied.exitCode == kExitSuccess ? kRecordApplied : kRecordFailed;
        }
    }
    record.exitCode = static_cast<std::uint32_t>(report.exitCode);
    record.message = FirstLine(report.output);
    record.time = LogTimeText(records.host.Now());
    if (const Result<> written = WriteLogonRecord(reg, record); !written) {
        report.output += "记录未写入：" + written.Error() + "\n";
    }
    return report;
}

}  // namespace zuv
