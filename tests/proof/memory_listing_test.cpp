// Listing sub-keys of the in-memory registry index by index gives the sorted names, also
// when the listing skips about, goes back, or keys come and go in between.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "registry/codepage.h"
#include "tests/doubles/memory_registry.h"

namespace zuv::test {
namespace {

class Listing : public ::testing::Test {
protected:
    std::unique_ptr<AnsiCodePage> codePage = MakeSystemCodePage();
    MemoryRegistry memory{*codePage};
    const std::string base = "Software\\ZUVTest\\Listing";

    void Make(const std::string& name) {
        RegKey key = 0;
        ASSERT_EQ(memory.CreateKeyEx(kHkeyCurrentUser, base + "\\" + name, "", kWriteAccess, false,
                                     &key, nullptr),
                  0);
        ASSERT_EQ(memory.CloseKey(key), 0);
    }
    std::string At(RegKey key, std::uint32_t index) {
        char name[256];
        std::uint32_t length = sizeof name;
        const long result = memory.EnumKeyEx(key, index, name, &length);
        if (result != kErrorSuccess) return "<" + std::to_string(result) + ">";
        return std::string(name, length);
    }
};

TEST_F(Listing, IndexesInAnyOrderAndChangesInBetween) {
    for (const char* name : {"b", "d", "f", "h"}) Make(name);
    RegKey key = 0;
    ASSERT_EQ(memory.OpenKeyEx(kHkeyCurrentUser, base, kWriteAccess, &key), 0);
    EXPECT_EQ(At(key, 0), "b");
    EXPECT_EQ(At(key, 1), "d");
    EXPECT_EQ(At(key, 3), "h");  // skipping one
    EXPECT_EQ(At(key, 2), "f");  // going back
    EXPECT_EQ(At(key, 4), "<259>");
    EXPECT_EQ(At(key, 0), "b");

    EXPECT_EQ(At(key, 1), "d");
    Make("a");  // sorts first: every later index moves on by one
    EXPECT_EQ(At(key, 2), "d");
    EXPECT_EQ(At(key, 3), "f");
    ASSERT_EQ(memory.DeleteKey(key, "d"), 0);
    EXPECT_EQ(At(key, 3), "h");
    EXPECT_EQ(At(key, 4), "<259>");

    // A second handle on the same key lists on its own.
    RegKey other = 0;
    ASSERT_EQ(memory.OpenKeyEx(kHkeyCurrentUser, base, kReadAccess, &other), 0);
    EXPECT_EQ(At(key, 1), "b");
    EXPECT_EQ(At(other, 0), "a");
    EXPECT_EQ(At(key, 2), "f");
    EXPECT_EQ(At(other, 3), "h");
    EXPECT_EQ(memory.CloseKey(other), 0);
    EXPECT_EQ(memory.CloseKey(key), 0);
}

TEST_F(Listing, ReadOnlyMachineRootRefusesCreationAndWritesButNotReading) {
    RegKey key = 0;
    ASSERT_EQ(memory.CreateKeyEx(kHkeyLocalMachine, "Software\\Vendor", "", kWriteAccess, false,
                                 &key, nullptr),
              0);
    ASSERT_EQ(memory.CloseKey(key), 0);
    memory.SetRootReadOnly(kHkeyLocalMachine, true);

    EXPECT_EQ(memory.CreateKeyEx(kHkeyLocalMachine, "Software\\New", "", kReadAccess, false, &key,
                                 nullptr),
              kErrorAccessDenied);
    EXPECT_EQ(memory.CreateKeyEx(kHkeyLocalMachine, "Software\\Vendor", "", kWriteAccess, false,
                                 &key, nullptr),
              kErrorAccessDenied);
    EXPECT_EQ(memory.OpenKeyEx(kHkeyLocalMachine, "Software\\Vendor", kWriteAccess, &key),
              kErrorAccessDenied);
    // Opened for reading, the key still refuses a write through that handle.
    ASSERT_EQ(memory.OpenKeyEx(kHkeyLocalMachine, "Software\\Vendor", kReadAccess, &key), 0);
    const unsigned char one = 1;
    EXPECT_EQ(memory.SetValueEx(key, "v", kRegBinary, &one, 1), kErrorAccessDenied);
    EXPECT_EQ(memory.CloseKey(key), 0);
    EXPECT_EQ(memory.FindKey(kHkeyLocalMachine, "Software\\New"), nullptr);

    // The user's root is not affected.
    ASSERT_EQ(memory.CreateKeyEx(kHkeyCurrentUser, "Software\\New", "", kWriteAccess, false,
                                 &key, nullptr),
              0);
    EXPECT_EQ(memory.CloseKey(key), 0);
}

}  // namespace
}  // namespace zuv::test
