#include "tests/contract/contract_fixture.h"

namespace zuv::contract {

RegistryContract::RegistryContract()
    : backend(MakeContractBackend()), api(backend->Api()), cp(backend->CodePage()), reg(api, cp) {}

void RegistryContract::SetUp() {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    base = std::string(backend->ScratchRoot()) + "\\" + info->test_suite_name() + "." + info->name();
    DeleteTree(base);
    ASSERT_FALSE(KeyExists(base)) << "scratch key left over: " << base;
}

void RegistryContract::TearDown() {
    DeleteTree(base);
    EXPECT_FALSE(KeyExists(base));
    // The common parent goes once the last case has gone; while others remain it stays.
    api.DeleteKey(kHkeyCurrentUser, backend->ScratchRoot());
    // Neither the case nor the module under test may leave a handle open.
    EXPECT_EQ(backend->OpenHandles(), 0u);
}

std::string RegistryContract::Path(const std::string& below) const {
    return below.empty() ? base : base + "\\" + below;
}

long RegistryContract::Create(const std::string& path, std::uint32_t* disposition,
                              const std::string& keyClass) {
    RegKey key = 0;
    std::uint32_t how = 0;
    const long rc = api.CreateKeyEx(kHkeyCurrentUser, path, keyClass, kWriteAccess, false, &key, &how);
    if (rc == kErrorSuccess) api.CloseKey(key);
    if (disposition != nullptr) *disposition = how;
    return rc;
}

std::unique_ptr<OpenedKey> RegistryContract::CreateOpen(const std::string& path) {
    RegKey key = 0;
    std::uint32_t how = 0;
    const long rc = api.CreateKeyEx(kHkeyCurrentUser, path, "", kWriteAccess, false, &key, &how);
    EXPECT_EQ(rc, kErrorSuccess) << "CreateKeyEx " << path;
    return rc == kErrorSuccess ? std::make_unique<OpenedKey>(api, key) : nullptr;
}

std::unique_ptr<OpenedKey> RegistryContract::Open(const std::string& path, std::uint32_t access) {
    RegKey key = 0;
    const long rc = api.OpenKeyEx(kHkeyCurrentUser, path, access, &key);
    EXPECT_EQ(rc, kErrorSuccess) << "OpenKeyEx " << path;
    return rc == kErrorSuccess ? std::make_unique<OpenedKey>(api, key) : nullptr;
}

bool RegistryContract::KeyExists(const std::string& path) {
    RegKey key = 0;
    if (api.OpenKeyEx(kHkeyCurrentUser, path, kReadAccess, &key) != kErrorSuccess) return false;
    api.CloseKey(key);
    return true;
}

long RegistryContract::Write(const std::string& path, const std::string& name, std::uint32_t type,
                             const Bytes& data) {
    RegKey key = 0;
    long rc = api.CreateKeyEx(kHkeyCurrentUser, path, "", kWriteAccess, false, &key, nullptr);
    if (rc != kErrorSuccess) return rc;
    rc = api.SetValueEx(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
    api.CloseKey(key);
    return rc;
}

Bytes RegistryContract::Read(const std::string& path, const std::string& name, std::uint32_t* type,
                             long* rc, std::uint32_t capacity) {
    long result = 0;
    Bytes data;
    RegKey key = 0;
    result = api.OpenKeyEx(kHkeyCurrentUser, path, kReadAccess, &key);
    if (result == kErrorSuccess) {
        data.assign(capacity, 0xCC);
        std::uint32_t size = capacity;
        std::uint32_t valueType = 0xFFFF;
        result = api.QueryValueEx(key, name, &valueType, data.data(), &size);
        api.CloseKey(key);
        if (type != nullptr) *type = valueType;
        data.resize(result == kErrorSuccess ? size : 0);
    }
    if (rc != nullptr) *rc = result;
    return data;
}

bool RegistryContract::ValueExists(const std::string& path, const std::string& name) {
    long rc = 0;
    Read(path, name, nullptr, &rc);
    return rc == kErrorSuccess;
}

std::vector<std::string> RegistryContract::SubKeyNames(const std::string& path) {
    RegKey key = 0;
    if (api.OpenKeyEx(kHkeyCurrentUser, path, kReadAccess, &key) != kErrorSuccess) return {};
    std::vector<std::string> names = SubKeysOf(key);
    api.CloseKey(key);
    return names;
}

std::vector<std::string> RegistryContract::SubKeysOf(RegKey key) {
    std::vector<std::string> names;
    for (std::uint32_t i = 0;; ++i) {
        char name[1024];
        std::uint32_t length = sizeof name;
        const long rc = api.EnumKeyEx(key, i, name, &length);
        if (rc != kErrorSuccess) {
            EXPECT_EQ(rc, kErrorNoMoreItems);
            break;
        }
        names.emplace_back(name, length);
    }
    return names;
}

std::vector<std::string> RegistryContract::ValueNames(const std::string& path) {
    std::vector<std::string> names;
    RegKey key = 0;
    if (api.OpenKeyEx(kHkeyCurrentUser, path, kReadAccess, &key) != kErrorSuccess) return names;
    for (std::uint32_t i = 0;; ++i) {
        char name[17000];
        std::uint32_t length = sizeof name;
        std::uint32_t type = 0;
        const long rc = api.EnumValue(key, i, name, &length, &type);
        if (rc != kErrorSuccess) {
            EXPECT_EQ(rc, kErrorNoMoreItems);
            break;
        }
        names.emplace_back(name, length);
    }
    api.CloseKey(key);
    return names;
}

void RegistryContract::DeleteTree(const std::string& path) { DeleteTreeBelow(kHkeyCurrentUser, path); }

// Works from open handles, so that paths deeper than the ANSI functions take can go too.
void RegistryContract::DeleteTreeBelow(RegKey parent, const std::string& name) {
    RegKey key = 0;
    const long opened = api.OpenKeyEx(parent, name, kWriteAccess, &key);
    if (opened == kErrorFileNotFound) return;
    ASSERT_EQ(opened, kErrorSuccess) << "OpenKeyEx " << name;
    for (const std::string& child : SubKeysOf(key)) DeleteTreeBelow(key, child);
    api.CloseKey(key);
    const long rc = api.DeleteKey(parent, name);
    ASSERT_TRUE(rc == kErrorSuccess || rc == kErrorFileNotFound) << "DeleteKey " << name << ": " << rc;
}

}  // namespace zuv::contract
