#include "program/program.h"

#include <cstdio>
#include <exception>
#include <utility>

#include "base/runtime_error.h"
#include "base/text.h"
#include "browser_config/address_rule.h"
#include "browser_config/browser_check.h"
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

// Each line of `text` with its invisible characters written out: whoever reads the output line
// by line sees the lines the program meant, and nothing that reorders or hides text.
std::string VisibleLines(const std::string& text) {
    std::string out;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find('\n', begin);
        out += EscapeInvisible(std::string_view(text).substr(begin, end - begin));
        if (end == std::string::npos) break;
        out += '\n';
        begin = end + 1;
    }
    return out;
}

int RunQuiet(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
             mdlReg& reg) {
    NoWindow noWindow(*invocation.address);
    ApplyRecords records(host, registry, StartedFrom::Quiet, invocation.logFile);
    ZUVPortalSetting logic(noWindow, reg, &records);
    if (invocation.https) logic.Protocols = SiteProtocols::HttpAndHttps;
    // The same start-up and the same apply as the window's.
    logic.Form_Load();
    const ApplyOutcome outcome = logic.RunApply(noWindow.AddressText());
    std::string output = MessageText(outcome, NameLength::Short) + "\n";
    for (const std::string& problem : records.Problems()) output += problem + "\n";
    host.WriteOutput(VisibleLines(output));
    if (outcome.AddressRefusal()) return kExitNotUnderstood;
    return outcome.Succeeded() ? kExitSuccess : kExitApplyFailed;
}

int RunCheck(const std::string& address, const std::string& protocol, ProgramHost& host,
             mdlReg& reg, const std::function<void(const std::string&)>& tell) {
    if (const auto why = WhyAddressRefused(address)) {
        tell("无法检查地址：" + *why + "\n");
        return kExitNotUnderstood;
    }
    ZoneCheck check;
    try {
        check = CheckZoneMap(reg, address, protocol);
    } catch (const RuntimeError& error) {
        // An address the tool could not write cannot be checked either.
        tell("无法检查地址：" + error.ShortDescription() + "\n");
        return kExitNotUnderstood;
    }
    const UrlZoneAnswer answer = host.AskUrlZone(address, protocol);
    // What today's browser makes of the site is told after the zone's conclusion; it never
    // changes the exit code.
    tell(CheckReportText(check, answer) + BrowserFindingsText(FindBrowserSettings(reg, address)));
    return CheckExitCode(check, answer) == kCheckTrusted ? kExitSuccess : kExitNotTrusted;
}

}  // namespace

std::string LogLine(const LogEntry& entry) {
    std::string started = entry.startedFrom == StartedFrom::Quiet ? "quiet" : "window";
    if (entry.https) started += " https";
    std::string line = TimeText(entry.time);
    std::string address(1, '"');
    address += EscapeInvisible(entry.address, true);
    address += '"';
    for (const std::string& field : {EscapeInvisible(entry.user), EscapeInvisible(entry.computer),
                                     started, address, EscapeInvisible(entry.outcome),
                                     EscapeInvisible(entry.backup), ProgramVersion()}) {
        line += '\t';
        line += field;
    }
    return line;
}

void ApplyRecords::BeforeApply(const std::string& address, IeGeneration generation,
                               SiteProtocols protocols) {
    https_ = protocols == SiteProtocols::HttpAndHttps;
    // The apply runs first against a view of the registry that only records its writes; what
    // it recorded, as the registry holds it now, goes into the backup.
    std::string error;
    try {
        const BackupPlan plan =
            PlanApply(registry_.api, registry_.codePage, generation, address, protocols);
        const BackupDocument document = MakeBackupDocument(plan.writes, registry_.stored);
        if (document.error.empty() && !document.changes) {
            // The same values written again, as at every logon: nothing to undo, and a backup
            // of the tool's own values would only push older ones out.
            backup_ = kNothingToBackUp;
            return;
        }
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
    const bool https = std::exchange(https_, false);
    std::string error;
    std::string file = logFile_.value_or(std::string());
    if (!logFile_) file = host_.DefaultLogFile(error);
    if (!file.empty()) {
        std::string backup = std::exchange(backup_, {});
        // A refused address ends before its backup: nothing was written, nothing to undo.
        if (outcome.AddressRefusal()) backup = "无需备份：未写入任何值";
        const LogEntry entry{host_.Now(),  host_.UserName(), host_.ComputerName(),
                             startedFrom_, address,          MessageText(outcome, NameLength::Whole),
                             std::move(backup), https};
        if (host_.AppendLogLine(file, LogLine(entry), error)) return;
    }
    std::string problem = "日志未写入：";
    if (!file.empty()) problem += file + "：";
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
        if (!host.WriteOutput(VisibleLines(text)) && !invocation.quietAsked) host.ShowMessage(text);
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
        return RunCheck(*invocation.checkAddress, invocation.https ? "https" : "http", host, reg,
                        tell);
    }
    if (invocation.mode == RunMode::Quiet) return RunQuiet(invocation, host, registry, reg);
    ApplyRecords records(host, registry, StartedFrom::Window, invocation.logFile);
    return openWindow(reg, records);
}

}  // namespace zuv
