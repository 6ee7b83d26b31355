// The contract cases run against the copy-on-write view over the platform's registry: the view
// must answer every case as the registry itself does, while the registry beneath, behind a
// guard that lets only reading through, is never written.
#include <gtest/gtest.h>

#include "registry/overlay_registry.h"
#include "tests/contract/contract_backend.h"
#include "tests/doubles/read_only_registry.h"

namespace zuv::contract {
namespace {

class ViewBackend : public ContractBackend {
public:
    ViewBackend()
        : beneath_(MakeRegistryBackend()),
          guard_(beneath_->Api()),
          view_(guard_, beneath_->CodePage()) {}
    ~ViewBackend() override { EXPECT_EQ(guard_.Refused(), std::vector<std::string>{}); }
    ViewBackend(const ViewBackend&) = delete;
    ViewBackend& operator=(const ViewBackend&) = delete;

    RegistryApi& Api() override { return view_; }
    const AnsiCodePage& CodePage() const override { return beneath_->CodePage(); }
    std::optional<std::string> KeyClass(RegKey, const std::string&) override { return std::nullopt; }
    const char* ScratchRoot() const override { return "Software\\ZUVContractViewTests"; }
    std::size_t OpenHandles() const override {
        return view_.OpenHandleCount() + beneath_->OpenHandles();
    }

private:
    std::unique_ptr<ContractBackend> beneath_;
    ReadOnlyRegistry guard_;
    OverlayRegistry view_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() { return std::make_unique<ViewBackend>(); }

}  // namespace zuv::contract
