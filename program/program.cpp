#include "program/program.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <utility>

#include "base/runtime_error.h"
#include "base/text.h"
#include "browser_config/address_rule.h"
#include "browser_config/browser_check.h"
#include "browser_config/zone_check.h"
#include "backup/backup_files.h"
#include "browser_config/browser_config.h"
#include "backup/backup_document.h"
#include "backup/document_restore.h"
#include "backup/plan_changes.h"
#include "backup/backup_plan.h"
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

// A dry run: the apply runs against a view of the registry, and what it would change is told.
int RunWhatIf(const Invocation& invocation, const ProgramRegistry& registry, mdlReg& reg,
              ProgramHost& host, const std::function<void(const std::string&)>& tell) {
    const std::string& address = *invocation.address;
    if (const auto why = WhyAddressRefused(address)) {
        tell(MessageText([&] {
                 ApplyOutcome refused;
                 refused.RefuseAddress(*why);
                 return refused;
             }(), NameLength::Short) + "\n");
        return kExitNotUnderstood;
    }
    const SiteProtocols protocols = invocation.https ? SiteProtocols::HttpAndHttps : SiteProtocols::Http;
    std::string text = "预演（不写入注册表，不备份，不写日志）：\n";
    BackupPlan plan;
    PlanChanges changes;
    try {
        plan = PlanApply(registry.api, registry.codePage, DetectBrowserGeneration(reg), address, protocols);
        changes = ChangesOf(plan.writes, registry.stored);
    } catch (const std::exception& failure) {
        changes.error = failure.what();
    }
    if (!changes.error.empty()) {
        tell(text + "无法得知设置将更改什么：" + changes.error + "\n");
        return kExitApplyFailed;
    }
    const std::string lines = ChangesText(changes);
    text += lines.empty() ? std::string("没有要更改的值。\n") : lines;
    if (changes.unchanged > 0) {
        text += "（另有 " + std::to_string(changes.unchanged) + " 个值将以原有的类型和数据写入，不算更改）\n";
    }
    text += "设置的结果将是：" + MessageText(plan.outcome, NameLength::Short) + "\n";
    bool exported = true;
    if (invocation.exportFile) {
        const BackupDocument document = MakeResultDocument(plan.writes, registry.stored);
        std::string error = document.error;
        if (error.empty() && host.WriteWholeFile(*invocation.exportFile, document.bytes, error)) {
            text += "已导出到 " + *invocation.exportFile + "\n";
        } else {
            text += "未能导出到 " + *invocation.exportFile + "：" + error + "\n";
            exported = false;
        }
    }
    tell(text);
    return plan.outcome.Succeeded() && exported ? kExitSuccess : kExitApplyFailed;
}

BackupTime ClockOf(const LocalTime& t) {
    using namespace std::chrono;
    const year_month_day date{year{t.year}, month{static_cast<unsigned>(t.month)},
                              day{static_cast<unsigned>(t.day)}};
    return local_days{date} + hours{t.hour} + minutes{t.minute} + seconds{t.second} +
           milliseconds{t.millisecond};
}

bool MarkedAsUndo(const RegDocument& document) {
    return std::any_of(document.notes.begin(), document.notes.end(),
                       [](const std::string& note) { return note.rfind(kUndoNote, 0) == 0; });
}

// Restores a backup, taking a backup of its own first, and logs it as an apply is logged.
int RunUndo(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
            const std::function<void(const std::string&)>& tell) {
    const auto nothing = [&](const std::string& why) {
        tell("未撤销：" + why + "\n");
        return kExitNotUnderstood;
    };
    std::vector<std::string> names;
    std::string error;
    if (!host.BackupNames(names, error)) return nothing(error);
    const BackupTime now = ClockOf(host.Now());
    const std::string& target = *invocation.undoTarget;
    const bool toOriginal = target == "original";
    std::string chosen;
    RegDocument document;
    const auto load = [&](const std::string& name) {
        std::vector<unsigned char> bytes;
        if (!host.ReadBackup(name, bytes, error)) return false;
        if (!ParseRegDocument(bytes, document, error)) {
            error = "备份文件 " + name + " " + error;
            return false;
        }
        return true;
    };
    if (toOriginal) {
        const auto original = FindOriginalBackup(names);
        if (!original) return nothing("备份文件夹中没有原始备份（本工具尚未进行过设置）");
        chosen = *original;
        // The original holds what the first apply changed; each later backup, undone or not,
        // what its run changed. What the oldest of them names comes back for every value, so
        // that values first written by later applies go as well.
        std::vector<std::pair<BackupTime, std::string>> later;
        for (const std::string& name : names) {
            std::string dated = name;
            const std::size_t undone = dated.rfind("-undone.reg");
            if (undone != std::string::npos && undone + 11 == dated.size()) dated.replace(undone, 11, ".reg");
            if (const auto time = OwnBackupTime(dated, now)) later.emplace_back(*time, name);
        }
        std::sort(later.begin(), later.end());
        if (!load(chosen)) return nothing(error);
        std::vector<RegDocument> oldestFirst{document};
        for (const auto& entry : later) {
            if (!load(entry.second)) return nothing(error);
            oldestFirst.push_back(document);
        }
        document = EarliestOf(oldestFirst);
    } else if (!target.empty()) {
        const auto found = std::find_if(names.begin(), names.end(),
                                        [&](const std::string& n) { return EqualsNoCase(n, target); });
        if (found == names.end()) return nothing("备份文件夹中没有文件 " + target);
        chosen = *found;
        if (!load(chosen)) return nothing(error);
    } else {
        // The newest of the tool's backups that is not an undo's own.
        std::vector<std::pair<BackupTime, std::string>> own;
        for (const std::string& name : names) {
            if (const auto time = OwnBackupTime(name, now)) own.emplace_back(*time, name);
        }
        std::sort(own.rbegin(), own.rend());
        for (const auto& candidate : own) {
            if (!load(candidate.second)) return nothing(error);
            if (MarkedAsUndo(document)) continue;
            chosen = candidate.second;
            break;
        }
        if (chosen.empty()) return nothing("没有可撤销的设置（所有设置的备份都已撤销）");
    }

    // What the restore will write, found as an apply's is, goes into the undo's own backup.
    const bool marked = target.empty() || toOriginal;
    std::string backup;
    std::vector<std::string> problems;
    try {
        OverlayRegistry view(registry.api, registry.codePage);
        RestoreDocument(view, registry.codePage, document);
        const BackupDocument own = MakeBackupDocument(view.Planned(), registry.stored,
                                                      marked ? std::string(kUndoNote) + " " + chosen : std::string());
        if (!own.error.empty()) {
            error = own.error;
        } else if (!own.changes) {
            backup = kNothingToBackUp;
        } else {
            const SavedBackup saved = host.SaveBackup(own.bytes);
            backup = saved.path;
            error = saved.error;
        }
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    std::string outcome;
    int code = kExitSuccess;
    if (backup.empty()) {
        // Without a backup of its own the undo could not itself be undone: nothing is written.
        backup = "未备份：" + (error.empty() ? std::string("原因不明") : error);
        outcome = "未撤销：无法先备份当前的值：" + error;
        code = kExitApplyFailed;
    } else {
        problems = RestoreDocument(registry.api, registry.codePage, document);
        if (problems.empty()) {
            outcome = "已还原备份 " + chosen;
        } else {
            outcome = "还原备份 " + chosen + " 未完成：" + problems.front();
            if (problems.size() > 1) outcome += "（另有 " + std::to_string(problems.size() - 1) + " 处）";
            code = kExitApplyFailed;
        }
    }
    std::string output = outcome + "\n";
    for (std::size_t i = 1; i < problems.size(); ++i) output += problems[i] + "\n";
    if (code == kExitSuccess && backup != kNothingToBackUp) {
        output += "撤销前的值已备份到 " + backup + "（用 /undo:" + backup.substr(backup.find_last_of("\\/") + 1) +
                  " 可撤销本次撤销）\n";
    }
    if (code == kExitSuccess) {
        // The backups restored are marked as undone: /undo goes on to the one before. The
        // original stays as it is.
        std::vector<std::string> undone;
        if (toOriginal) {
            for (const std::string& name : names) {
                if (OwnBackupTime(name, now)) undone.push_back(name);
            }
        } else if (OwnBackupTime(chosen, now)) {
            undone.push_back(chosen);
        }
        for (const std::string& name : undone) {
            if (!host.RenameBackup(name, UndoneName(name), error)) output += "未能标记为已撤销：" + error + "\n";
        }
    }
    std::string logError;
    std::string file = invocation.logFile.value_or(std::string());
    if (!invocation.logFile) file = host.DefaultLogFile(logError);
    const LogEntry entry{host.Now(), host.UserName(), host.ComputerName(), StartedFrom::Undo,
                         chosen, outcome, backup, false};
    if (file.empty() || !host.AppendLogLine(file, LogLine(entry), logError)) {
        output += "日志未写入：" + (file.empty() ? std::string() : file + "：") + logError + "\n";
    }
    tell(output);
    return code;
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

std::string UndoneName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return name.substr(0, dot) + "-undone" + (dot == std::string::npos ? std::string() : name.substr(dot));
}

std::string LogLine(const LogEntry& entry) {
    std::string started = entry.startedFrom == StartedFrom::Quiet  ? "quiet"
                          : entry.startedFrom == StartedFrom::Undo ? "undo"
                                                                   : "window";
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
    // The backup is this apply's alone, whether its line can be written or not.
    std::string backup = std::exchange(backup_, {});
    std::string error;
    std::string file = logFile_.value_or(std::string());
    if (!logFile_) file = host_.DefaultLogFile(error);
    if (!file.empty()) {
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
    case RunMode::WhatIf:
    case RunMode::Undo:
        break;
    }
    if (const auto refusal = RefusalFor(invocation, host)) {
        return notRun("无法按要求运行：" + *refusal + "\n", kExitNotUnderstood);
    }
    if (invocation.mode == RunMode::Check) {
        return RunCheck(*invocation.checkAddress, invocation.https ? "https" : "http", host, reg,
                        tell);
    }
    if (invocation.mode == RunMode::WhatIf) return RunWhatIf(invocation, registry, reg, host, tell);
    if (invocation.mode == RunMode::Undo) return RunUndo(invocation, host, registry, tell);
    if (invocation.mode == RunMode::Quiet) return RunQuiet(invocation, host, registry, reg);
    ApplyRecords records(host, registry, StartedFrom::Window, invocation.logFile);
    return openWindow(reg, records);
}

}  // namespace zuv
