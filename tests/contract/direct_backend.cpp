// The contract cases run against the platform's registry itself.
#include "tests/contract/contract_backend.h"

namespace zuv::contract {

std::unique_ptr<ContractBackend> MakeContractBackend() { return MakeRegistryBackend(); }

}  // namespace zuv::contract
