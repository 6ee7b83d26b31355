// Every registry operation closes what it opened before it returns, whatever the registry
// answers: each platform call of each operation is refused once, and made to throw once.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "tests/doubles/memory_registry.h"

namespace zuv::test {
namespace {

const std::string kBase = "Software\\ZUVTest\\Handles\\";

struct Operation {
    const char* label;
    std::function<void(mdlReg&)> run;
};

std::vector<Operation> Operations() {
    std::vector<Operation> ops;
    ops.push_back({"SetValue text, new key", [](mdlReg& r) {
                       r.SetValue(kHkeyCurrentUser, kBase + "New\\", "s", std::string("x"), kRegSz);
                   }});
    ops.push_back({"SetValue number", [](mdlReg& r) {
                       r.SetValue(kHkeyCurrentUser, kBase, "d", 7.0, kRegDword);
                   }});
    ops.push_back({"SetValue empty byte array", [](mdlReg& r) {
                       r.SetValue(kHkeyCurrentUser, kBase, "b", ByteArray{}, kRegBinary);
                   }});
    ops.push_back({"QueryValue", [](mdlReg& r) {
                       std::uint32_t type = kRegSz;
                       (void)r.QueryValue(kHkeyCurrentUser, kBase, "text", type);
                   }});
    ops.push_back({"QueryValue, missing value", [](mdlReg& r) {
                       std::uint32_t type = kRegSz;
                       (void)r.QueryValue(kHkeyCurrentUser, kBase, "none", type);
                   }});
    ops.push_back({"DeleteEntry value", [](mdlReg& r) {
                       r.DeleteEntry(kHkeyCurrentUser, kBase, "text");
                   }});
    ops.push_back({"DeleteEntry key", [](mdlReg& r) {
                       r.DeleteEntry(kHkeyCurrentUser, kBase + "Leaf", "");
                   }});
    ops.push_back({"DeleteEntry path ending in a backslash", [](mdlReg& r) {
                       r.DeleteEntry(kHkeyCurrentUser, kBase + "Leaf\\", "");
                   }});
    ops.push_back({"EnumerateKey", [](mdlReg& r) {
                       std::vector<std::string> names;
                       r.EnumerateSubKeys(kHkeyCurrentUser, kBase, names);
                   }});
    return ops;
}

class Handles : public ::testing::Test {
protected:
    std::unique_ptr<AnsiCodePage> codePage = MakeSystemCodePage();

    // A registry holding a key with two values and two sub-keys.
    std::unique_ptr<MemoryRegistry> Fresh() const {
        auto memory = std::make_unique<MemoryRegistry>(*codePage);
        for (const char* sub : {"", "Leaf", "Other"}) {
            RegKey key = 0;
            EXPECT_EQ(memory->CreateKeyEx(kHkeyCurrentUser, kBase + sub, "", kWriteAccess, false,
                                          &key, nullptr),
                      0);
            const unsigned char text[] = {'a', 0};
            EXPECT_EQ(memory->SetValueEx(key, "text", kRegSz, text, 2), 0);
            EXPECT_EQ(memory->CloseKey(key), 0);
        }
        return memory;
    }
};

TEST_F(Handles, NoOperationLeavesAKeyOpenWhateverTheRegistrySays) {
    int faultedRuns = 0;
    for (const Operation& op : Operations()) {
        auto clean = Fresh();
        const std::uint64_t offset = clean->CallCount();
        mdlReg cleanReg(*clean, *codePage);
        op.run(cleanReg);
        const std::uint64_t count = clean->CallCount() - offset;
        EXPECT_EQ(clean->OpenHandleCount(), 0u) << op.label;
        ASSERT_GT(count, 0u) << op.label;
        for (std::uint64_t n = 1; n <= count; ++n) {
            for (const bool throws : {false, true}) {
                auto memory = Fresh();
                const std::uint64_t target = memory->CallCount() + n;
                memory->SetFaultHook([target, throws](RegCall, std::uint64_t seq) -> long {
                    if (seq != target) return kErrorSuccess;
                    if (throws) throw std::bad_alloc();
                    return kErrorAccessDenied;
                });
                mdlReg reg(*memory, *codePage);
                bool thrown = false;
                try {
                    op.run(reg);
                } catch (const std::bad_alloc&) {
                    thrown = true;
                }
                EXPECT_EQ(thrown, throws) << op.label << ", call " << n;
                EXPECT_EQ(memory->OpenHandleCount(), 0u)
                    << op.label << ", call " << n << (throws ? " throwing" : " refused");
                ++faultedRuns;
            }
        }
    }
    EXPECT_GT(faultedRuns, 40);
}

}  // namespace
}  // namespace zuv::test
