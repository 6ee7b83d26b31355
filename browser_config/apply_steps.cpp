#include <exception>
#include <new>

#include "base/runtime_error.h"
#include "browser_config/browser_config.h"

namespace zuv {

void TrapRunTimeErrors(ApplyOutcome& outcome, const std::function<void()>& work) {
    try {
        work();
    } catch (const RuntimeError& error) {
        outcome.Stop(error.Description(), error.ShortDescription());
    } catch (const std::bad_alloc&) {
        outcome.Stop(StandardDescription(ErrorKind::OutOfMemory));
    } catch (const std::exception& error) {
        outcome.Stop(StandardDescription(ErrorKind::Unexpected) + "：" + error.what());
    } catch (...) {
        outcome.Stop(StandardDescription(ErrorKind::Unexpected));
    }
}

std::optional<ApplyOutcome::StopError> RunTrapped(const std::function<void()>& work) {
    ApplyOutcome trapped;
    TrapRunTimeErrors(trapped, work);
    return trapped.Error();
}

ApplyOutcome RunApplySteps(mdlReg& reg, const std::string& address, IeGeneration generation,
                           SiteProtocols protocols) {
    ApplyOutcome outcome;
    TrapRunTimeErrors(outcome, [&] {
        if (!address.empty()) {
            RegisterTrustedSite(reg, outcome, address, protocols);
            AllowSitePopups(reg, outcome, address, generation);
        }
        ApplyTrustedZonePolicy(reg, outcome);
        ApplyBrowserTuning(reg, outcome);
    });
    return outcome;
}

}  // namespace zuv
