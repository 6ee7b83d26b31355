// Contract cases against the in-memory registry, with the same code page (936) the
// Windows run has.
#include <gtest/gtest.h>

#include "tests/doubles/memory_registry.h"
#include "tests/contract/contract_backend.h"

namespace zuv::contract {

namespace {

class MemoryBackend : public ContractBackend {
public:
    MemoryBackend() : codePage_(MakeSystemCodePage()), registry_(*codePage_) {}
    RegistryApi& Api() override { return registry_; }
    const AnsiCodePage& CodePage() const override { return *codePage_; }
    std::size_t OpenHandles() const override { return registry_.OpenHandleCount(); }

    std::optional<std::string> KeyClass(RegKey root, const std::string& ansiPath) override {
        const MemoryRegistry::Key* key = registry_.FindKey(root, codePage_->ToUtf8(ansiPath));
        if (key == nullptr) return std::nullopt;
        return key->keyClass;
    }

private:
    std::unique_ptr<AnsiCodePage> codePage_;
    MemoryRegistry registry_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeRegistryBackend() {
    return std::make_unique<MemoryBackend>();
}

}  // namespace zuv::contract

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
