// The checks of an apply catch what they are meant to catch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browser_config/browser_config.h"
#include "tests/support/apply_audit.h"
#include "tests/support/apply_rig.h"

namespace zuv::test {
namespace {

bool Mentions(const std::vector<std::string>& problems, const std::string& text) {
    for (const auto& p : problems) {
        if (p.find(text) != std::string::npos) return true;
    }
    return false;
}

class Audit : public ::testing::Test {
protected:
    ApplyRig rig;
    std::vector<Seed> foreign;
    Snapshot before;

    void SetUp() override {
        foreign = ForeignValues(*rig.codePage, "portal");
        rig.Put(foreign);
        before = TakeSnapshot(rig.memory, *rig.codePage);
    }
    std::vector<std::string> Check() {
        const Snapshot after = TakeSnapshot(rig.memory, *rig.codePage);
        AuditInput input = AuditInputFor(rig, before, after);
        input.foreign = &foreign;
        return AuditApply(input);
    }
};

TEST_F(Audit, ACleanApplyPasses) {
    rig.Apply("portal");
    EXPECT_EQ(Check(), std::vector<std::string>{});
}

TEST_F(Audit, AChangedUserValueIsCaught) {
    rig.Apply("portal");
    rig.Put(Seed{kHkeyCurrentUser, kTrustedZoneKey, "1803", kRegDword, DwordBytes(3)});
    const auto problems = Check();
    EXPECT_TRUE(Mentions(problems, "never wrote")) << ::testing::PrintToString(problems);
    EXPECT_TRUE(Mentions(problems, "user value not kept")) << ::testing::PrintToString(problems);
}

TEST_F(Audit, ALostWriteAWrongMessageAndAnOpenKeyAreCaught) {
    rig.Apply("portal");
    RegKey key = 0;
    ASSERT_EQ(rig.memory.OpenKeyEx(kHkeyCurrentUser, kTrustedZoneKey, kWriteAccess, &key), 0);
    ASSERT_EQ(rig.memory.DeleteValue(key, "1400"), 0);  // left open on purpose
    rig.ui.messages.push_back(rig.ui.messages.front());
    const auto problems = Check();
    EXPECT_TRUE(Mentions(problems, "written value lost")) << ::testing::PrintToString(problems);
    EXPECT_TRUE(Mentions(problems, "2 messages")) << ::testing::PrintToString(problems);
    EXPECT_TRUE(Mentions(problems, "left open")) << ::testing::PrintToString(problems);
}

TEST_F(Audit, DeletingAValueTheToolDoesNotWriteIsCaught) {
    rig.Apply("portal");
    rig.recorder.Clear();
    ASSERT_TRUE(rig.reg.DeleteEntry(kHkeyCurrentUser, kInternetSettingsKey, "ProxyEnable"));
    const auto problems = Check();
    EXPECT_TRUE(Mentions(problems, "does not write")) << ::testing::PrintToString(problems);
    EXPECT_TRUE(Mentions(problems, "user value not kept")) << ::testing::PrintToString(problems);
}

TEST_F(Audit, ARefusedWriteReportedAsSuccessIsCaught) {
    rig.memory.SetFaultHook([](RegCall call, std::uint64_t) {
        return call == RegCall::SetValueEx ? kErrorAccessDenied : kErrorSuccess;
    });
    rig.Apply("portal");
    rig.ui.messages.front().text = kSuccessMessage;
    EXPECT_TRUE(Mentions(Check(), "reported as")) << ::testing::PrintToString(Check());
}

}  // namespace
}  // namespace zuv::test
