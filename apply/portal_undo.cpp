#include "apply/portal_undo.h"

#include <algorithm>
#include <map>
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

// Restores a backup, taking a backup of its own first, and logs it as an apply is logged. A run
// that restores nothing is logged too.
RunReport UndoPortal(const ProgramRegistry& registry, const UndoRequest& request, ApplyHost& host) {
    const std::string& target = request.target;
    const auto refused = [&](const std::string& file, const std::string& why) {
        const std::string outcome = "未撤销：" + why;
        std::string output = outcome + "\n";
        if (const auto problem = WriteLogLine(host, request.logFile, StartedFrom::Undo, false, file,
                                              outcome, kNothingWritten)) {
            output += *problem + "\n";
        }
        return RunReport{output, kExitNotUnderstood};
    };
    const Result<std::vector<std::string>> listed = host.BackupNames();
    if (!listed) return refused(target, listed.Error());
    const std::vector<std::string>& names = listed.Value();
    const BackupTime now = BackupTimeOf(host.Now());
    const bool toOriginal = target == "original";
    std::string chosen;
    RegDocument document;
    // The document of the file `name`, or why it cannot be restored: it cannot be read, or it is
    // not a document of the tool's own places (the line and what is wrong with it).
    const auto load = [&](const std::string& name, RegDocument& into) -> std::optional<std::string> {
        const Result<std::vector<unsigned char>> bytes = host.ReadBackup(name);
        if (!bytes) return bytes.Error();
        Result<RegDocument> parsed = ParseRegDocument(bytes.Value());
        if (!parsed) return "备份文件 " + name + " " + parsed.Error();
        into = std::move(parsed).Value();
        return std::nullopt;
    };
    // /undo:original: the files named like the tool's backups that are not its own, with why.
    std::vector<std::pair<std::string, std::string>> left;
    std::vector<std::string> usedBackups;  // the dated backups merged with the original
    if (toOriginal) {
        std::map<std::string, RegDocument> originals;
        const auto original = FindOriginalBackup(names, [&](const std::string& name) {
            RegDocument read;
            if (auto why = load(name, read)) {
                left.emplace_back(name, std::move(*why));
                return BackupKind::Foreign;
            }
            const BackupKind kind = read.marked ? BackupKind::Marked : BackupKind::Unmarked;
            originals.emplace(name, std::move(read));
            return kind;
        });
        if (!original) {
            if (!left.empty()) return refused(target, "备份文件夹中没有本工具的原始备份：" + left.front().second);
            return refused(target, "备份文件夹中没有原始备份（本工具尚未进行过设置）");
        }
        chosen = *original;
        // The original holds what the first apply changed; each later backup of the tool's,
        // undone or not, what its run changed. What the oldest of them names comes back for
        // every value, so that values first written by later applies go as well. A file that is
        // not the tool's is left as it is, and named.
        std::vector<std::pair<BackupTime, std::string>> later;
        for (const std::string& name : names) {
            std::string dated = name;
            const std::size_t undone = dated.rfind("-undone.reg");
            if (undone != std::string::npos && undone + 11 == dated.size()) dated.replace(undone, 11, ".reg");
            if (const auto time = OwnBackupTime(dated, now)) later.emplace_back(*time, name);
        }
        std::sort(later.begin(), later.end());
        std::vector<RegDocument> oldestFirst{std::move(originals.at(chosen))};
        std::vector<std::string> used;
        for (const auto& entry : later) {
            RegDocument read;
            if (auto why = load(entry.second, read)) {
                left.emplace_back(entry.second, std::move(*why));
                continue;
            }
            oldestFirst.push_back(std::move(read));
            used.push_back(entry.second);
        }
        document = EarliestOf(oldestFirst);
        usedBackups = std::move(used);
    } else if (!target.empty()) {
        const auto found = std::find_if(names.begin(), names.end(),
                                        [&](const std::string& n) { return EqualsNoCase(n, target); });
        if (found == names.end()) return refused(target, "备份文件夹中没有文件 " + target);
        chosen = *found;
        if (const auto why = load(chosen, document)) return refused(chosen, *why);
    } else {
        // The newest of the tool's backups that is not an undo's own. One that cannot be
        // restored stops the undo: which apply came last is not known past it.
        std::vector<std::pair<BackupTime, std::string>> own;
        for (const std::string& name : names) {
            if (const auto time = OwnBackupTime(name, now)) own.emplace_back(*time, name);
        }
        std::sort(own.rbegin(), own.rend());
        for (const auto& candidate : own) {
            if (const auto why = load(candidate.second, document)) return refused(candidate.second, *why);
            if (MarkedAsUndo(document)) continue;
            chosen = candidate.second;
            break;
        }
        if (chosen.empty()) return refused(target, "没有可撤销的设置（所有设置的备份都已撤销）");
    }

    // What the restore will write, found as an apply's is, goes into the undo's own backup.
    const bool marked = target.empty() || toOriginal;
    std::string error;
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
            if (!left.empty()) {
                outcome += "（另有 " + std::to_string(left.size()) + " 个文件不是本工具的备份，未使用：";
                for (std::size_t i = 0; i < left.size(); ++i) outcome += (i > 0 ? "、" : "") + left[i].first;
                outcome += "）";
            }
        } else {
            outcome = "还原备份 " + chosen + " 未完成：" + problems.front();
            if (problems.size() > 1) outcome += "（另有 " + std::to_string(problems.size() - 1) + " 处）";
            code = kExitApplyFailed;
        }
    }
    std::string output = outcome + "\n";
    for (std::size_t i = 1; i < problems.size(); ++i) output += problems[i] + "\n";
    for (const auto& [name, why] : left) output += "未使用：" + why + "\n";
    if (code == kExitSuccess && backup != kNothingToBackUp) {
        output += "撤销前的值已备份到 " + backup + "（用 /undo:" + backup.substr(backup.find_last_of("\\/") + 1) +
                  " 可撤销本次撤销）\n";
    }
    if (code == kExitSuccess) {
        // The backups restored are marked as undone: /undo goes on to the one before. The
        // original stays as it is, and so does every file that was not used.
        std::vector<std::string> undone;
        if (toOriginal) {
            for (const std::string& name : usedBackups) {
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
