// What one apply will write or delete, found before it writes anything: the apply's steps run
// unchanged against a copy-on-write view of the registry, which records their writes.
#pragma once

#include <string>

#include "browser_config/apply_outcome.h"
#include "browser_config/browser_config.h"
#include "registry/codepage.h"
#include "registry/overlay_registry.h"
#include "registry/registry_api.h"

namespace zuv {

struct BackupPlan {
    PlannedWrites writes;
    // How the apply came out in the view. The real apply comes out the same unless the
    // registry refuses one of its writes or changes in between.
    ApplyOutcome outcome;
};

// Runs the steps of an apply of `address` (RunApplySteps) with `generation` and `protocols`
// against a view of `registry`; nothing is written to `registry`, which is only opened for
// reading.
BackupPlan PlanApply(RegistryApi& registry, const AnsiCodePage& codePage, IeGeneration generation,
                     const std::string& address, SiteProtocols protocols = SiteProtocols::Http);

}  // namespace zuv
