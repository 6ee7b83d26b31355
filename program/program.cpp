#include "program/program.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "base/runtime_error.h"
#include "browser_config/zone_check.h"
#include "registry/backup_document.h"
#include "window/backup_plan.h"
#include "window/ui_port.h"

namespace zuv {
namespace {

std::string TwoDigits(int n) {
    char text[8];
    std::snprintf(text, sizeof text, "%02d", n);
    return text;
}

std::string TimeText(const LocalTime& t) {
    char date[40];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    const int offset = t.offsetMinutes < 0 ? -t.offsetMinutes : t.offsetMinutes;
    return std::string(date) + (t.offsetMinutes < 0 ? " -" : " +") + TwoDigits(offset / 60) + ":" +
           TwoDigits(offset % 60);
}

// Control characters as \xHH; with `quoted`, also '"' and '\' escaped.
std::string Escaped(const std::string& text, bool quoted) {
    std::string out;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            out += hex;
        } else if (quoted && (c == '"' || c == '\\')) {
            out += '\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

int RunQuiet(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
             mdlReg& reg) {
    NoWindow noWindow(*invocation.address);
    ApplyRecords records(host, registry, StartedFrom::Quiet, invocation.logFile);
    ZUVPortalSetting logic(noWindow, reg, &records);
    // The same start-up and the same apply as the window's.
    logic.Form_Load();
    const ApplyOutcome outcome = logic.RunApply(noWindow.AddressText());
    std::string output = MessageText(outcome, NameLength::Short) + "\n";
    for (const std::string& problem : records.Problems()) output += problem + "\n";
    host.WriteOutput(output);
    return outcome.Succeeded() ? kExitSuccess : kExitApplyFailed;
}

int RunCheck(const std::string& address, ProgramHost& host, mdlReg& reg,
             const std::function<void(const std::string&)>& tell) {
    ZoneCheck check;
    try {
        check = CheckZoneMap(reg, address);
    } catch (const RuntimeError& error) {
        // An address the tool could not write cannot be checked either.
        tell("无法检查地址：" + error.ShortDescription() + "\n");
        return kExitNotUnderstood;
    }
    const UrlZoneAnswer answer = host.AskUrlZone(address);
    tell(CheckReportText(check, answer));
    return CheckExitCode(check, answer) == kCheckTrusted ? kExitSuccess : kExitNotTrusted;
}

}  // namespace

std::string LogLine(const LogEntry& entry) {
    const char* started = entry.startedFrom == StartedFrom::Quiet ? "quiet" : "window";
    std::string line = TimeText(entry.time);
    std::string address(1, '"');
    address += Escaped(entry.address, true);
    address += '"';
    for (const std::string& field : {Escaped(entry.user, false), Escaped(entry.computer, false),
                                     std::string(started), address, Escaped(entry.outcome, false),
                                     Escaped(entry.backup, false), ProgramVersion()}) {
        line += '\t';
        line += field;
    }
    return line;
}

void ApplyRecords::BeforeApply(const std::string& address, IeGeneration generation) {
    // The apply runs first against a view of the registry that only records its writes; what
    // it recorded, as the registry holds it now, goes into the backup.
    std::string error;
    try {
        const BackupPlan plan = PlanApply(registry_.api, registry_.codePage, generation, address);
        const BackupDocument document = MakeBackupDocument(plan.writes, registry_.stored);
        if (document.error.empty()) {
            const SavedBackup saved = host_.SaveBackup(document.bytes);
            backup_ = saved.path;
            error = saved.error;
        } else {
            error = document.error;
        }
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    if (backup_.empty()) {
        backup_ = "未备份：";
        backup_ += error.empty() ? std::string("原因不明") : error;
        problems_.push_back(backup_);
    }
}

void ApplyRecords::AfterApply(const std::string& address, const ApplyOutcome& outcome) {
    std::string error;
    std::string file = logFile_.value_or(std::string());
    if (!logFile_) file = host_.DefaultLogFile(error);
    if (!file.empty()) {
        const LogEntry entry{host_.Now(),  host_.UserName(), host_.ComputerName(),
                             startedFrom_, address,          MessageText(outcome, NameLength::Whole),
                             std::exchange(backup_, {})};
        if (host_.AppendLogLine(file, LogLine(entry), error)) return;
    }
    std::string problem = "无法写入日志";
    if (!file.empty()) problem += " " + file;
    problem += "：";
    problem += error;
    problems_.push_back(std::move(problem));
}

std::optional<std::string> RefusalFor(const Invocation& invocation, ProgramHost& host) {
    if (!invocation.hasArguments || invocation.mode == RunMode::Usage ||
        invocation.mode == RunMode::Invalid) {
        return std::nullopt;
    }
    if (host.RunsAsLocalSystem()) {
        return "本程序正以 LocalSystem 账户运行，读写的将是该系统账户自己的设置，而不是任何用户的。"
               "请在要设置的用户的上下文中运行（例如登录脚本，或部署工具中“以用户身份运行”）。";
    }
    return std::nullopt;
}

int RunProgram(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
               const OpenWindow& openWindow) {
    mdlReg reg(registry.api, registry.codePage);
    // What a run that opens no window has to say goes to the output, or into a message box
    // when there is no output and the run was not asked to be quiet.
    const auto tell = [&](const std::string& text) {
        if (!host.WriteOutput(text) && !invocation.quietAsked) host.ShowMessage(text);
    };
    const auto notRun = [&](const std::string& text, int exitCode) {
        tell(text);
        return exitCode;
    };
    switch (invocation.mode) {
    case RunMode::Usage:
        return notRun(UsageText(), kExitSuccess);
    case RunMode::Invalid:
        return notRun("命令行无法识别：" + invocation.problem + "\n\n" + UsageText(),
                      kExitNotUnderstood);
    case RunMode::Quiet:
    case RunMode::Window:
    case RunMode::Check:
        break;
    }
    if (const auto refusal = RefusalFor(invocation, host)) {
        return notRun("无法按要求运行：" + *refusal + "\n", kExitNotUnderstood);
    }
    if (invocation.mode == RunMode::Check) {
        return RunCheck(*invocation.checkAddress, host, reg, tell);
    }
    if (invocation.mode == RunMode::Quiet) return RunQuiet(invocation, host, registry, reg);
    ApplyRecords records(host, registry, StartedFrom::Window, invocation.logFile);
    return openWindow(reg, records);
}

}  // namespace zuv
