// Contract cases against the real registry functions. The cases need the Chinese ANSI code
// page, so the run stops at once when Wine (or Windows) was started with another one.
#include <windows.h>

#include <cstdio>

#include <gtest/gtest.h>

#include "registry/win32_registry.h"
#include "tests/contract/contract_backend.h"

namespace zuv::contract {

namespace {

class Win32Backend : public ContractBackend {
public:
    Win32Backend() : codePage_(MakeSystemCodePage()) {}
    RegistryApi& Api() override { return registry_; }
    const AnsiCodePage& CodePage() const override { return *codePage_; }
    std::size_t OpenHandles() const override { return registry_.OpenHandleCount(); }

    std::optional<std::string> KeyClass(RegKey root, const std::string& ansiPath) override {
        const auto parent =
            reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
        HKEY key = nullptr;
        if (RegOpenKeyExA(parent, ansiPath.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        char buffer[1024] = {};
        DWORD length = sizeof buffer;
        const LONG rc = RegQueryInfoKeyA(key, buffer, &length, nullptr, nullptr, nullptr, nullptr,
                                         nullptr, nullptr, nullptr, nullptr, nullptr);
        RegCloseKey(key);
        if (rc != ERROR_SUCCESS) return std::nullopt;
        return std::string(buffer, length);
    }

private:
    Win32Registry registry_;
    std::unique_ptr<AnsiCodePage> codePage_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeRegistryBackend() { return std::make_unique<Win32Backend>(); }

}  // namespace zuv::contract

int main(int argc, char** argv) {
    const UINT acp = GetACP();
    if (acp != 936) {
        std::fprintf(stderr,
                     "contract tests need ANSI code page 936, this process has %u "
                     "(run through scripts/wine-run after scripts/wine-setup)\n",
                     acp);
        return 1;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
