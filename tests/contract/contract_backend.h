// The registry a contract test runs against: the in-memory backend natively, the real
// advapi32 one (under Wine) in the Windows build. Both run the same cases, directly and
// through the copy-on-write view an apply is planned on.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "registry/codepage.h"
#include "registry/registry_api.h"

namespace zuv::contract {

class ContractBackend {
public:
    virtual ~ContractBackend() = default;
    virtual RegistryApi& Api() = 0;
    virtual const AnsiCodePage& CodePage() const = 0;
    // What RegistryApi cannot tell: the class stored on a key (ANSI bytes), or nullopt
    // when the key cannot be opened.
    virtual std::optional<std::string> KeyClass(RegKey root, const std::string& ansiPath) = 0;
    // Handles handed out by Api() and not yet closed.
    virtual std::size_t OpenHandles() const = 0;
    // The key below HKEY_CURRENT_USER the cases work in. Programs that may run at the same
    // time on one registry (under Wine) each have their own.
    virtual const char* ScratchRoot() const { return "Software\\ZUVContractTests"; }
};

// The platform's registry: in-memory natively, advapi32 in the Windows build.
std::unique_ptr<ContractBackend> MakeRegistryBackend();
// What the cases run against: that registry, or the view over it.
std::unique_ptr<ContractBackend> MakeContractBackend();

}  // namespace zuv::contract
