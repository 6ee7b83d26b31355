#include "backup/backup_plan.h"

#include "registry/mdlReg.h"

namespace zuv {

BackupPlan PlanApply(RegistryApi& registry, const AnsiCodePage& codePage, IeGeneration generation,
                     const std::string& address, SiteProtocols protocols) {
    OverlayRegistry view(registry, codePage);
    mdlReg reg(view, codePage);
    BackupPlan plan;
    plan.outcome = RunApplySteps(reg, address, generation, protocols);
    plan.writes = view.Planned();
    return plan;
}

}  // namespace zuv
