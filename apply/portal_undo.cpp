#include "apply/portal_undo.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "backup/backup_document.h"
#include "backup/backup_files.h"
#include "backup/document_restore.h"
#include "base/text.h"
#include "browser_config/browser_config.h"
#include "registry/overlay_registry.h"

namespace zuv {
namespace {

bool MarkedAsUndo(const RegDocument& document) {
    return std::any_of(document.notes.begin(), document.notes.end(),
                       [](const std::string& note) { return note.rfind(kUndoNote, 0) == 0; });
}

}  // namespace

std::string UndoneName(const std::string& name) {
    const std::size_t dot = name.rfind('.');
    return name.substr(0, dot) + "-undone" + (dot == std::string::npos ? std::string() : name.substr(dot));
}

// Restores a backup, taking a backup of its own first, and logs it as an apply is logged.
RunReport UndoPortal(const ProgramRegistry& registry, const UndoRequest& request, ApplyHost& host) {
    const auto nothing = [](const std::string& why) {
        return RunReport{"未撤销：" + why + "\n", kExitNotUnderstood};
    };
    const Result<std::vector<std::string>> listed = host.BackupNames();
    if (!listed) return nothing(listed.Error());
    const std::vector<std::string>& names = listed.Value();
    const BackupTime now = BackupTimeOf(host.Now());
    std::string error;
    const std::string& target = request.target;
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
            SaveBackupOf(view.Planned(), registry.stored, host,
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
    if (const auto problem = WriteLogLine(host, request.logFile, StartedFrom::Undo, false,
                                          chosen, outcome, backup)) {
        output += *problem + "\n";
    }
    return {output, code};
}

}  // namespace zuv
