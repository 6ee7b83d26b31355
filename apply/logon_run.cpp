#include "apply/logon_run.h"

#include "apply/apply_log.h"
#include "apply/portal_undo.h"
#include "backup/backup_files.h"
#include "browser_config/browser_config.h"

namespace zuv {
namespace {

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

// The machine retires the user's settings: the undo to the original, as /undo:original, when the
// tool ever set this user up; otherwise there is nothing to take back.
RunReport Retire(const ApplyRecords& records) {
    const Result<std::vector<std::string>> names = records.host.BackupNames();
    // Only a name of the original's form is looked at here; whether that file is the tool's own
    // is for the undo to find out (and refuse).
    if (names && !FindOriginalBackup(names.Value(), [](const std::string&) { return BackupKind::Marked; })) {
        return {"无需撤销：本工具从未为此用户设置过（备份文件夹中没有原始备份）。\n", kExitSuccess};
    }
    return UndoPortal(records.registry, {"original", records.logFile}, records.host);
}

}  // namespace

std::optional<LogonRecord> ReadLogonRecord(mdlReg& reg) {
    const auto result = ReadTextValue(reg, kHkeyCurrentUser, kLogonRecordKey, "Result");
    if (!result) return std::nullopt;
    LogonRecord record;
    record.result = *result;
    record.settings = ReadTextValue(reg, kHkeyCurrentUser, kLogonRecordKey, "Settings").value_or("");
    record.address = ReadTextValue(reg, kHkeyCurrentUser, kLogonRecordKey, "Address").value_or("");
    record.time = ReadTextValue(reg, kHkeyCurrentUser, kLogonRecordKey, "Time").value_or("");
    record.version = ReadTextValue(reg, kHkeyCurrentUser, kLogonRecordKey, "Version").value_or("");
    record.message = ReadTextValue(reg, kHkeyCurrentUser, kLogonRecordKey, "Message").value_or("");
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

RunReport RunLogon(mdlReg& reg, const ApplyRecords& records) {
    RunReport report;
    LogonRecord record;
    record.version = ProgramVersion();
    const Result<MachineSettings> machine = ReadMachineSettings(reg);
    if (!machine) {
        report.exitCode = kExitNotUnderstood;
        report.text = "未设置：" + machine.Error() + "\n";
        record.result = kRecordFailed;
    } else {
        const MachineSettings& settings = machine.Value();
        const char* wanted = settings.retire ? kRecordRetired : kRecordApplied;
        // Done once for these settings (by hand, or at an earlier logon): nothing more to do.
        if (const auto done = ReadLogonRecord(reg);
            done && !settings.stamp.empty() && done->settings == settings.stamp && done->result == wanted) {
            report.text = "本机的设置 " + settings.stamp + " 已为此用户完成（" + done->time + "），无需再次运行。\n";
            return report;
        }
        record.settings = settings.stamp;
        record.address = settings.address;
        if (settings.retire) {
            report = Retire(records);
            record.result = report.exitCode == kExitSuccess ? kRecordRetired : kRecordRetireFailed;
        } else {
            ApplyRecords logon = records;
            logon.startedFrom = StartedFrom::Logon;
            const ApplyRequest request{settings.address, DetectBrowserGeneration(reg),
                                       settings.https ? SiteProtocols::HttpAndHttps : SiteProtocols::Http};
            const ApplyReport applied = ApplyPortal(reg, request, &logon);
            report.exitCode = applied.exitCode;
            report.text = applied.OutputText();
            record.result = applied.exitCode == kExitSuccess ? kRecordApplied : kRecordFailed;
        }
    }
    record.exitCode = static_cast<std::uint32_t>(report.exitCode);
    record.message = FirstLine(report.text);
    record.time = LogTimeText(records.host.Now());
    if (const Result<> written = WriteLogonRecord(reg, record); !written) {
        report.text += "记录未写入：" + written.Error() + "\n";
    }
    return report;
}

}  // namespace zuv
