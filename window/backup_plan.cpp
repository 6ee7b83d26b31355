#include "window/backup_plan.h"

#include "registry/mdlReg.h"
#include "window/ZUVPortalSetting.h"
#include "window/ui_port.h"

namespace zuv {

BackupPlan PlanApply(RegistryApi& registry, const AnsiCodePage& codePage, IeGeneration generation,
                     const std::string& address, SiteProtocols protocols) {
    OverlayRegistry view(registry, codePage);
    mdlReg reg(view, codePage);
    // The apply itself shows nothing.
    NoWindow ui;
    ZUVPortalSetting form(ui, reg);
    form.BrowserGeneration = generation;
    form.Protocols = protocols;
    BackupPlan plan;
    plan.outcome = form.Apply(address);
    plan.writes = view.Planned();
    return plan;
}

}  // namespace zuv
