// The fixture every contract case uses: a backend, its code page, an mdlReg on it, and a
// scratch key HKCU\<ScratchRoot>\<case name> (one scratch root per program, see
// ContractBackend) that is removed before and after the case.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "registry/mdlReg.h"
#include "tests/contract/contract_backend.h"

namespace zuv::contract {

using Bytes = std::vector<unsigned char>;

inline Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// An open key of the backend, closed when the scope ends.
class OpenedKey {
public:
    OpenedKey(RegistryApi& api, RegKey key) : api_(api), key_(key) {}
    OpenedKey(const OpenedKey&) = delete;
    OpenedKey& operator=(const OpenedKey&) = delete;
    ~OpenedKey() { api_.CloseKey(key_); }
    RegKey Get() const { return key_; }

private:
    RegistryApi& api_;
    RegKey key_;
};

class RegistryContract : public ::testing::Test {
protected:
    RegistryContract();
    void SetUp() override;
    void TearDown() override;

    // The scratch key, or a path below it ("" gives the scratch key itself).
    std::string Path(const std::string& below = "") const;
    // UTF-8 text in the code page the API speaks.
    std::string Ansi(const std::string& utf8) const { return cp.FromUtf8(utf8); }

    // CreateKeyEx below HKCU with write rights; the handle is closed again.
    long Create(const std::string& path, std::uint32_t* disposition = nullptr,
                const std::string& keyClass = "");
    // CreateKeyEx that keeps the handle open; fails the case when it does not succeed.
    std::unique_ptr<OpenedKey> CreateOpen(const std::string& path);
    // OpenKeyEx below HKCU; fails the case when it does not succeed.
    std::unique_ptr<OpenedKey> Open(const std::string& path, std::uint32_t access = kWriteAccess);
    bool KeyExists(const std::string& path);

    long Write(const std::string& path, const std::string& name, std::uint32_t type,
               const Bytes& data);
    // QueryValueEx with a buffer of `capacity` bytes; `rc` receives the result code.
    Bytes Read(const std::string& path, const std::string& name, std::uint32_t* type = nullptr,
               long* rc = nullptr, std::uint32_t capacity = 4096);
    bool ValueExists(const std::string& path, const std::string& name);

    std::vector<std::string> SubKeyNames(const std::string& path);
    // The sub-key names of an open key, in the order the backend lists them.
    std::vector<std::string> SubKeysOf(RegKey key);
    std::vector<std::string> ValueNames(const std::string& path);

    // Removes a key with everything below it, through the API only.
    void DeleteTree(const std::string& path);
    void DeleteTreeBelow(RegKey parent, const std::string& name);

    std::unique_ptr<ContractBackend> backend;
    RegistryApi& api;
    const AnsiCodePage& cp;
    mdlReg reg;
    std::string base;
};

}  // namespace zuv::contract
