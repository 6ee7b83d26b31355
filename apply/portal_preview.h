// The dry run of an apply (/whatif): the apply's plan on a copy-on-write view of the registry,
// told value by value, and, when asked, its result exported as a .reg file. Writes nothing to
// the registry, takes no backup and logs nothing.
#pragma once

#include <optional>
#include <string>

#include "apply/apply_host.h"
#include "apply/portal_apply.h"
#include "apply/run_report.h"
#include "registry/mdlReg.h"

namespace zuv {

struct PreviewRequest {
    std::string address;                      // exactly as typed
    SiteProtocols protocols = SiteProtocols::Http;
    std::optional<std::string> exportFile;    // where the result goes as a .reg file
};

// The browser generation is detected through `reg` as at start-up, inside the plan's trap.
// Exit code 0 when the apply would succeed (and the export, if asked, was written), 1 when it
// would fail or the export could not be written, 2 when the address rule refuses the address.
RunReport PreviewPortal(const ProgramRegistry& registry, mdlReg& reg, const PreviewRequest& request,
                        ApplyHost& host);

}  // namespace zuv
