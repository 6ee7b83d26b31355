#include "apply/portal_apply.h"

#include "backup/backup_document.h"
#include "backup/backup_plan.h"
#include "base/runtime_error.h"
#include "base/text.h"
#include "browser_config/address_rule.h"

namespace zuv {
namespace {

std::string DescribeRefusal(const RefusedWrite& refused, NameLength names) {
    const bool shorten = names == NameLength::Short;
    if (!refused.conflict.empty()) return shorten ? refused.shortConflict : refused.conflict;
    const std::string path = shorten ? ShortenLevels(refused.path, kShortNameLength) : refused.path;
    const std::string valueName =
        shorten ? ShortenMiddle(refused.valueName, kShortNameLength) : refused.valueName;
    std::string text = std::string("无法写入注册表 ") + RootName(refused.root) + "\\" + path;
    if (!refused.valueName.empty()) {
        text += " 中的值“" + valueName + "”";
    } else if (refused.reason.empty()) {
        text += " 的默认值";
    }
    if (!refused.reason.empty()) return text + "（" + refused.reason + "）";
    return text + "（错误代码 " + std::to_string(refused.code) + "：" + refused.systemText + "）";
}

// The backup of what the apply of `request` will write, found by running its steps on a view
// of the registry that only records their writes: the log's backup column, and a problem to
// tell when there is no backup.
std::string BackUpBefore(const ApplyRequest& request, const ApplyRecords& records,
                         std::vector<std::string>& problems) {
    Result<std::string> saved = Failure{"原因不明"};
    if (const auto error = RunTrapped([&] {
            const BackupPlan plan = PlanApply(records.registry.api, records.registry.codePage,
                                              request.generation, request.address, request.protocols);
            saved = SaveBackupOf(plan.writes, records.registry.stored, records.host);
        })) {
        saved = Failure{error->description};
    }
    if (saved) return saved.Value();
    std::string column = "未备份：" + (saved.Error().empty() ? std::string("原因不明") : saved.Error());
    problems.push_back(column);
    return column;
}

}  // namespace

std::string MessageText(const ApplyOutcome& outcome, NameLength names) {
    if (const auto& why = outcome.AddressRefusal()) return kFailurePrefix + *why;
    // A run-time error stopped the steps: that is what the user learns, even when a write
    // was refused before it.
    if (const auto& error = outcome.Error()) {
        return kFailurePrefix +
               (names == NameLength::Short ? error->shortDescription : error->description);
    }
    if (const auto& refused = outcome.Refusal()) {
        return kFailurePrefix + DescribeRefusal(*refused, names);
    }
    return kSuccessMessage;
}

std::string ApplyReport::OutputText() const {
    std::string text = message + "\n";
    for (const std::string& problem : problems) text += problem + "\n";
    return text;
}

Result<std::string> SaveBackupOf(const PlannedWrites& planned, StoredRegistry& stored,
                                 ApplyHost& host, const std::string& note) {
    const Result<BackupDocument> document = MakeBackupDocument(planned, stored, note);
    if (!document) return Failure{document.Error()};
    if (!document.Value().changes) return std::string(kNothingToBackUp);
    return host.SaveBackup(document.Value().bytes);
}

ApplyReport ApplyPortal(mdlReg& reg, const ApplyRequest& request, const ApplyRecords* records) {
    ApplyReport report;
    // An address that cannot name a server is refused before anything is written or backed
    // up; the log still hears of it.
    if (auto why = WhyAddressRefused(request.address)) {
        report.outcome.RefuseAddress(std::move(*why));
        report.backup = kNothingWritten;
    } else {
        if (records) report.backup = BackUpBefore(request, *records, report.problems);
        report.outcome = RunApplySteps(reg, request.address, request.generation, request.protocols);
    }
    report.message = MessageText(report.outcome, NameLength::Short);
    report.exitCode = report.outcome.AddressRefusal() ? kExitNotUnderstood
                      : report.outcome.Succeeded()    ? kExitSuccess
                                                      : kExitApplyFailed;
    if (records) {
        // A line that cannot be written is told, and changes nothing of the apply.
        const bool https = !report.outcome.AddressRefusal() &&
                           request.protocols == SiteProtocols::HttpAndHttps;
        std::optional<std::string> problem;
        if (const auto error = RunTrapped([&] {
                problem = WriteLogLine(records->host, records->logFile, records->startedFrom, https,
                                       request.address, MessageText(report.outcome, NameLength::Whole),
                                       report.backup);
            })) {
            problem = "日志未写入：" + error->description;
        }
        if (problem) report.problems.push_back(std::move(*problem));
    }
    return report;
}

}  // namespace zuv
