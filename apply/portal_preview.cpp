#include "apply/portal_preview.h"

#include "backup/backup_document.h"
#include "backup/backup_plan.h"
#include "backup/plan_changes.h"
#include "browser_config/address_rule.h"
#include "browser_config/browser_config.h"

namespace zuv {

RunReport PreviewPortal(const ProgramRegistry& registry, mdlReg& reg, const PreviewRequest& request,
                        ApplyHost& host) {
    const std::string& address = request.address;
    if (const auto why = WhyAddressRefused(address)) {
        ApplyOutcome refused;
        refused.RefuseAddress(*why);
        return {MessageText(refused, NameLength::Short) + "\n", kExitNotUnderstood};
    }
    std::string text = "预演（不写入注册表，不备份，不写日志）：\n";
    BackupPlan plan;
    Result<PlanChanges> found = Failure{"原因不明"};
    if (const auto error = RunTrapped([&] {
            plan = PlanApply(registry.api, registry.codePage, DetectBrowserGeneration(reg), address,
                             request.protocols);
            found = ChangesOf(plan.writes, registry.stored);
        })) {
        found = Failure{error->description};
    }
    if (!found) return {text + "无法得知设置将更改什么：" + found.Error() + "\n", kExitApplyFailed};
    const PlanChanges& changes = found.Value();
    const std::string lines = ChangesText(changes);
    text += lines.empty() ? std::string("没有要更改的值。\n") : lines;
    if (changes.unchanged > 0) {
        text += "（另有 " + std::to_string(changes.unchanged) + " 个值将以原有的类型和数据写入，不算更改）\n";
    }
    text += "设置的结果将是：" + MessageText(plan.outcome, NameLength::Short) + "\n";
    bool exported = true;
    if (request.exportFile) {
        const Result<BackupDocument> document = MakeResultDocument(plan.writes, registry.stored);
        const Result<> written = document
                                     ? host.WriteWholeFile(*request.exportFile, document.Value().bytes)
                                     : Result<>(Failure{document.Error()});
        if (written) {
            text += "已导出到 " + *request.exportFile + "\n";
        } else {
            text += "未能导出到 " + *request.exportFile + "：" + written.Error() + "\n";
            exported = false;
        }
    }
    return {text, plan.outcome.Succeeded() && exported ? kExitSuccess : kExitApplyFailed};
}

}  // namespace zuv
