#include "window/backup_plan.h"

#include "registry/mdlReg.h"
#include "window/ZUVPortalSetting.h"
#include "window/ui_port.h"

namespace zuv {
namespace {

// The apply itself shows nothing; the window it would talk to stays blank.
class NoUi : public UiPort {
public:
    std::string AddressText() override { return {}; }
    void ShowMessage(const std::string&, unsigned, const std::string&) override {}
    void SendTab() override {}
    void Unload() override {}
};

}  // namespace

BackupPlan PlanApply(RegistryApi& registry, const AnsiCodePage& codePage, IeGeneration generation,
                     const std::string& address) {
    OverlayRegistry view(registry, codePage);
    mdlReg reg(view, codePage);
    NoUi ui;
    ZUVPortalSetting form(ui, reg);
    form.BrowserGeneration = generation;
    BackupPlan plan;
    plan.outcome = form.Apply(address);
    plan.writes = view.Planned();
    return plan;
}

}  // namespace zuv
