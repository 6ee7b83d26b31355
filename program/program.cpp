#include "program/program.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "apply/logon_run.h"
#include "backup/backup_document.h"
#include "backup/backup_files.h"
#include "backup/backup_plan.h"
#include "backup/document_restore.h"
#include "backup/plan_changes.h"
#include "base/text.h"
#include "browser_config/address_rule.h"
#include "browser_config/browser_check.h"
#include "browser_config/browser_config.h"
#include "browser_config/zone_check.h"

namespace zuv {
namespace {

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

SiteProtocols ProtocolsOf(const Invocation& invocation) {
    return invocation.https ? SiteProtocols::HttpAndHttps : SiteProtocols::Http;
}

int RunQuiet(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
             mdlReg& reg) {
    const ApplyRecords records{registry, host.Apply(), StartedFrom::Quiet, invocation.logFile};
    // The same start-up detection and the same apply as the window's.
    const ApplyRequest request{*invocation.address, DetectBrowserGeneration(reg),
                               ProtocolsOf(invocation)};
    const ApplyReport report = ApplyPortal(reg, request, &records);
    // A quiet run has no one else to tell: output that cannot be written changes nothing of
    // the apply or its exit code.
    (void)host.WriteOutput(VisibleLines(report.OutputText()));
    return report.exitCode;
}

// The machine package's per-user run: as quiet as the quiet apply.
int RunLogonRun(ProgramHost& host, const ProgramRegistry& registry, mdlReg& reg) {
    const ApplyRecords records{registry, host.Apply(), StartedFrom::Logon, std::nullopt};
    const LogonReport report = RunLogon(reg, records);
    // Started by Windows at logon there is no one to tell: the record keeps what happened.
    (void)host.WriteOutput(VisibleLines(report.output));
    return report.exitCode;
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
    std::string text = "预演（不写入注册表，不备份，不写日志）：\n";
    BackupPlan plan;
    Result<PlanChanges> found = Failure{"原因不明"};
    if (const auto error = RunTrapped([&] {
            plan = PlanApply(registry.api, registry.codePage, DetectBrowserGeneration(reg), address,
                             ProtocolsOf(invocation));
            found = ChangesOf(plan.writes, registry.stored);
        })) {
        found = Failure{error->description};
    }
    if (!found) {
        tell(text + "无法得知设置将更改什么：" + found.Error() + "\n");
        return kExitApplyFailed;
    }
    const PlanChanges& changes = found.Value();
    const std::string lines = ChangesText(changes);
    text += lines.empty() ? std::string("没有要更改的值。\n") : lines;
    if (changes.unchanged > 0) {
        text += "（另有 " + std::to_string(changes.unchanged) + " 个值将以原有的类型和数据写入，不算更改）\n";
    }
    text += "设置的结果将是：" + MessageText(plan.outcome, NameLength::Short) + "\n";
    bool exported = true;
    if (invocation.exportFile) {
        const Result<BackupDocument> document = MakeResultDocument(plan.writes, registry.stored);
        const Result<> written = document
                                     ? host.WriteWholeFile(*invocation.exportFile, document.Value().bytes)
                                     : Result<>(Failure{document.Error()});
        if (written) {
            text += "已导出到 " + *invocation.exportFile + "\n";
        } else {
            text += "未能导出到 " + *invocation.exportFile + "：" + written.Error() + "\n";
            exported = false;
        }
    }
    tell(text);
    return plan.outcome.Succeeded() && exported ? kExitSuccess : kExitApplyFailed;
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
    const Result<std::vector<std::string>> listed = host.BackupNames();
    if (!listed) return nothing(listed.Error());
    const std::vector<std::string>& names = listed.Value();
    ApplyHost& records = host.Apply();
    const BackupTime now = BackupTimeOf(records.Now());
    std::string error;
    const std::string& target = *invocation.undoTarget;
    const bool toOriginal = target == "original";
    std::string chosen;
    RegDocument document;
    const auto load = [&](const std::string& name) {
        const Result<std::vector<unsigned char>> bytes = host.ReadBackup(name);
        if (!bytes) {
            error = bytes.Error();
            return false;
        }
        Result<RegDocument> parsed = ParseRegDocument(bytes.Value());
        if (!parsed) {
            error = "备份文件 " + name + " " + parsed.Error();
            return false;
        }
        document = std::move(parsed).Value();
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
    const auto failure = RunTrapped([&] {
        OverlayRegistry view(registry.api, registry.codePage);
        RestoreDocument(view, registry.codePage, document);
        const Result<std::string> saved =
            SaveBackupOf(view.Planned(), registry.stored, records,
                         marked ? std::string(kUndoNote) + " " + chosen : std::string());
        if (saved) {
            backup = saved.Value();
        } else {
            error = saved.Error();
        }
    });
    if (failure) error = failure->description;
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
            const Result<> renamed = host.RenameBackup(name, UndoneName(name));
            if (!renamed) output += "未能标记为已撤销：" + renamed.Error() + "\n";
        }
    }
    if (const auto problem = WriteLogLine(records, invocation.logFile, StartedFrom::Undo, false,
                                          chosen, outcome, backup)) {
        output += *problem + "\n";
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
    if (const auto error = RunTrapped([&] { check = CheckZoneMap(reg, address, protocol); })) {
        // An address the tool could not write cannot be checked either.
        tell("无法检查地址：" + error->shortDescription + "\n");
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
    case RunMode::Logon:
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
    if (invocation.mode == RunMode::Logon) return RunLogonRun(host, registry, reg);
    const ApplyRecords records{registry, host.Apply(), StartedFrom::Window, invocation.logFile};
    return openWindow(reg, records);
}

}  // namespace zuv
