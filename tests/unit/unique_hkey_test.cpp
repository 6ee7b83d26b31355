// UniqueHKey: a key closed once, its close's result handed to the owner who closes it, and a
// key left open on the way out of an error closed by the destructor without a second error.
#include <new>
#include <stdexcept>

#include "fixture.h"
#include "registry/unique_hkey.h"

namespace zuv::test {
namespace {

class OwnedKey : public RegistryFixture {
protected:
    void SetUp() override { Put("Software\\ZUVTest\\Owned\\", "v", kRegSz, TextBytes("x")); }
    // Opens the test key into `key`; the open must succeed.
    void Open(UniqueHKey& key) {
        ASSERT_EQ(memory.OpenKeyEx(kHkeyCurrentUser, "Software\\ZUVTest\\Owned", kReadAccess, key.Put()),
                  kErrorSuccess);
        ASSERT_NE(key.Get(), 0u);
    }
    // The next close is answered with `code`, or throws when `code` is 0.
    void FailNextClose(long code) {
        memory.SetFaultHook([code](RegCall call, std::uint64_t) -> long {
            if (call != RegCall::CloseKey) return kErrorSuccess;
            if (code == 0) throw std::bad_alloc();
            return code;
        });
    }
};

TEST_F(OwnedKey, CloseHandsBackTheResultAndClosesOnce) {
    UniqueHKey key(memory);
    Open(key);
    const std::uint64_t calls = memory.CallCount();
    EXPECT_EQ(key.Close(), kErrorSuccess);
    EXPECT_EQ(memory.CallCount(), calls + 1);
    EXPECT_EQ(key.Get(), 0u);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
    // Nothing open: no call, and nothing to report.
    EXPECT_EQ(key.Close(), kErrorSuccess);
    EXPECT_EQ(memory.CallCount(), calls + 1);
}

TEST_F(OwnedKey, ARefusedCloseIsReportedAndTheKeyCountsAsClosed) {
    UniqueHKey key(memory);
    Open(key);
    FailNextClose(kErrorAccessDenied);
    EXPECT_EQ(key.Close(), kErrorAccessDenied);
    EXPECT_EQ(key.Get(), 0u);
    memory.SetFaultHook(nullptr);
    const std::uint64_t calls = memory.CallCount();
    EXPECT_EQ(key.Close(), kErrorSuccess);
    EXPECT_EQ(memory.CallCount(), calls);  // not closed a second time
}

TEST_F(OwnedKey, AThrowingCloseReachesTheOwnerOnlyOnTheNormalPath) {
    {
        UniqueHKey key(memory);
        Open(key);
        FailNextClose(0);
        EXPECT_THROW((void)key.Close(), std::bad_alloc);
        EXPECT_EQ(key.Get(), 0u);
        memory.SetFaultHook(nullptr);
    }
    // Left open on the way out of an error: closed by the destructor, whose own failure is
    // dropped so that the first error is the one the caller sees.
    const auto leave = [&] {
        UniqueHKey key(memory);
        Open(key);
        FailNextClose(0);
        throw std::runtime_error("first");
    };
    EXPECT_THROW(leave(), std::runtime_error);
    memory.SetFaultHook(nullptr);
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

TEST_F(OwnedKey, PutClosesTheKeyHeldBefore) {
    UniqueHKey key(memory);
    Open(key);
    const RegKey first = key.Get();
    Open(key);
    EXPECT_NE(key.Get(), first);
    EXPECT_EQ(memory.OpenHandleCount(), 1u);
}

}  // namespace
}  // namespace zuv::test
