// One apply per registry call: the call is refused (access denied), or throws (out of
// memory), and the apply must still end in one honest message, leave the user's values
// alone, keep what it wrote before the fault, and close every key.
#include <gtest/gtest.h>

#include <new>
#include <ostream>
#include <string>
#include <vector>

#include "browser_config/browser_config.h"
#include "base/runtime_error.h"
#include "tests/support/apply_audit.h"
#include "tests/support/apply_rig.h"

namespace zuv::test {
namespace {

struct AddressCase {
    const char* label;
    const char* address;
    const char* site;       // the site key below ZoneMap\Domains\, when there is one
    bool rangeAlreadyHeld;  // the zone map already holds the address
};

const AddressCase kCases[] = {
    {"empty", "", "", false},
    {"machine name", "portal", "portal", false},
    {"one-dot name", "example.com", "example.com", false},
    {"three-label name", "www.example.com", "example.com\\www", false},
    {"IPv4, new", "192.0.2.10", "", false},
    {"IPv4, already held", "192.0.2.10", "", true},
};

enum class Fault { None, Refuse, Throw };

struct Outcome {
    std::vector<RecordedCall> calls;
    std::vector<std::string> problems;
    ShownMessage message;
    std::uint64_t callCount = 0;
};

// One apply on a fresh registry. `withUserValues` seeds the user's own values around and
// inside the tool's keys (and a browser version, so the later pop-up switch is used).
Outcome ApplyOnce(const AddressCase& c, bool withUserValues, Fault fault, std::uint64_t callNumber,
                  const std::vector<RecordedCall>* cleanCalls = nullptr) {
    ApplyRig rig;
    std::vector<Seed> foreign;
    if (withUserValues) foreign = ForeignValues(*rig.codePage, c.site);
    rig.Put(foreign);
    if (c.rangeAlreadyHeld) {
        const std::string zoneMap = kZoneMapRoot;
        rig.Put({
            {kHkeyCurrentUser, zoneMap + "EscRanges\\Range2\\", ":Range", kRegSz,
             SzBytes(*rig.codePage, "10.1.2.3")},
            {kHkeyCurrentUser, zoneMap + "EscRanges\\Range3\\", ":Range", kRegSz,
             SzBytes(*rig.codePage, "192.0.2.10")},
            {kHkeyCurrentUser, zoneMap + "EscRanges\\Range3\\", "http", kRegDword, DwordBytes(2)},
            {kHkeyCurrentUser, zoneMap + "Ranges\\Range2\\", ":Range", kRegSz,
             SzBytes(*rig.codePage, "192.0.2.10")},
            {kHkeyCurrentUser, zoneMap + "Ranges\\Range2\\", "http", kRegDword, DwordBytes(2)},
        });
    }
    rig.form.Form_Load();
    const Snapshot before = TakeSnapshot(rig.memory, *rig.codePage);
    const std::uint64_t target = rig.memory.CallCount() + callNumber;
    if (fault != Fault::None) {
        rig.memory.SetFaultHook([target, fault](RegCall, std::uint64_t seq) -> long {
            if (seq != target) return kErrorSuccess;
            if (fault == Fault::Throw) throw std::bad_alloc();
            return kErrorAccessDenied;
        });
    }
    const std::uint64_t start = rig.memory.CallCount();
    rig.Apply(c.address);
    rig.memory.SetFaultHook(nullptr);

    Outcome run;
    run.calls = rig.recorder.Calls();
    run.message = rig.Message();
    run.callCount = rig.memory.CallCount() - start;
    const Snapshot after = TakeSnapshot(rig.memory, *rig.codePage);
    AuditInput audit = AuditInputFor(rig, before, after);
    audit.calls = &run.calls;
    audit.cleanCalls = cleanCalls;
    audit.foreign = &foreign;
    audit.runTimeErrorExpected = AddressRaises(*rig.codePage, c.address);
    run.problems = AuditApply(audit);
    return run;
}

std::string Label(const AddressCase& c, bool withUserValues) {
    return std::string(c.label) + (withUserValues ? ", with user values" : ", bare");
}

struct SweepParam {
    const AddressCase* address;
    bool withUserValues;
};

void PrintTo(const SweepParam& p, std::ostream* out) {
    *out << Label(*p.address, p.withUserValues);
}

class FaultSweep : public ::testing::TestWithParam<SweepParam> {};

TEST_P(FaultSweep, EveryCallRefusedOrThrowingOnce) {
    const AddressCase& c = *GetParam().address;
    const bool withUserValues = GetParam().withUserValues;
    const std::string failurePrefix = kFailurePrefix;
    const std::string label = Label(c, withUserValues);
    const Outcome clean = ApplyOnce(c, withUserValues, Fault::None, 0);
    EXPECT_EQ(clean.message.text, kSuccessMessage) << label;
    for (const auto& p : clean.problems) ADD_FAILURE() << label << ", clean: " << p;
    ASSERT_EQ(clean.callCount, clean.calls.size()) << label;
    ASSERT_GT(clean.callCount, 50u) << label;

    int reported = 0;
    int quiet = 0;
    for (std::uint64_t n = 1; n <= clean.callCount; ++n) {
        const RecordedCall& hit = clean.calls[n - 1];
        const std::string where = label + ", call " + std::to_string(n) + " (" +
                                  RegCallName(hit.function) + " " + hit.path + ")";

        const Outcome refused = ApplyOnce(c, withUserValues, Fault::Refuse, n, &clean.calls);
        ASSERT_GE(refused.calls.size(), n) << where;
        EXPECT_EQ(refused.calls[n - 1].function, hit.function) << where;
        EXPECT_EQ(refused.calls[n - 1].result, kErrorAccessDenied) << where;
        // Refused writes and refused range-tree listings are reported; a refused read,
        // delete, close or other listing alone is not.
        const bool mustFail = IsWrite(hit) || IsRangeTreeListing(hit);
        const bool failed = refused.message.text.rfind(failurePrefix, 0) == 0;
        EXPECT_EQ(failed, mustFail) << where << " refused: " << refused.message.text;
        if (!mustFail) {
            EXPECT_EQ(refused.message.text, kSuccessMessage) << where;
        }
        (mustFail ? reported : quiet) += 1;
        for (const auto& p : refused.problems) ADD_FAILURE() << where << " refused: " << p;

        const Outcome thrown = ApplyOnce(c, withUserValues, Fault::Throw, n, &clean.calls);
        ASSERT_GE(thrown.calls.size(), n) << where;
        EXPECT_TRUE(thrown.calls[n - 1].threw) << where;
        EXPECT_EQ(thrown.message.text, failurePrefix + StandardDescription(ErrorKind::OutOfMemory))
            << where;
        for (const auto& p : thrown.problems) ADD_FAILURE() << where << " throwing: " << p;
    }
    // Both kinds of call occur in every apply.
    EXPECT_GT(reported, 0) << label;
    EXPECT_GT(quiet, 0) << label;
}

std::vector<SweepParam> AllSweeps() {
    std::vector<SweepParam> out;
    for (const bool withUserValues : {false, true}) {
        for (const AddressCase& c : kCases) out.push_back({&c, withUserValues});
    }
    return out;
}

INSTANTIATE_TEST_SUITE_P(Apply, FaultSweep, ::testing::ValuesIn(AllSweeps()),
                         [](const ::testing::TestParamInfo<SweepParam>& param) {
                             std::string name;
                             for (const char* p = param.param.address->label; *p != 0; ++p) {
                                 const char ch = *p;
                                 if ((ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') ||
                                     (ch >= '0' && ch <= '9')) {
                                     name += ch;
                                 }
                             }
                             return name + (param.param.withUserValues ? "_WithUserValues" : "_Bare");
                         });

}  // namespace
}  // namespace zuv::test
