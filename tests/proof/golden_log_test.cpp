// The whole ordered conversation with the registry of one apply, per kind of address.
// {IS} stands for HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings\ and
// {IE} for HKCU\Software\Microsoft\Internet Explorer\. Access 2003F is the write access
// every SetValue and DeleteEntry opens with, 20019 the read access of queries and listings.
// A SetValue passes its value type as the key class.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "browser_config/browser_config.h"
#include "tests/support/apply_audit.h"
#include "tests/support/apply_rig.h"

namespace zuv::test {
namespace {

// Zone 2's fourteen actions and the browser tuning, on a registry where Internet Settings
// exists (the zone key lies below it) and Internet Explorer\Main does not.
const std::string kPolicyAndTuning = R"(RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}Zones\2\ "1001" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "1004" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "1200" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "1201" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "1405" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "1402" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "1400" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "1407" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "2102" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "2101" REG_DWORD 03000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "2100" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "2200" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "1406" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegCreateKeyExA {IS}Zones\2\ class "4" access 2003F -> 0 opened
RegSetValueExA {IS}Zones\2\ "CurrentLevel" REG_DWORD 00000000 -> 0
RegCloseKey {IS}Zones\2\ -> 0
RegOpenKeyExA {IE}Main\ access 2003F -> 2
RegCreateKeyExA {IE}Main\ class "1" access 2003F -> 0 created
RegSetValueExA {IE}Main\ "Enable Browser Extensions" REG_SZ 79657300 -> 0
RegCloseKey {IE}Main\ -> 0
RegOpenKeyExA {IS} access 2003F -> 0
RegDeleteValueA {IS} "SyncMode5" -> 2
RegCloseKey {IS} -> 0
RegCreateKeyExA {IS} class "4" access 2003F -> 0 opened
RegSetValueExA {IS} "SyncMode5" REG_DWORD 03000000 -> 0
RegCloseKey {IS} -> 0
RegOpenKeyExA {IS} access 2003F -> 0
RegDeleteValueA {IS} "MaxConnectionsPerServer" -> 2
RegCloseKey {IS} -> 0
RegCreateKeyExA {IS} class "4" access 2003F -> 0 opened
RegSetValueExA {IS} "MaxConnectionsPerServer" REG_DWORD 0A000000 -> 0
RegCloseKey {IS} -> 0
RegOpenKeyExA {IS} access 2003F -> 0
RegDeleteValueA {IS} "MaxConnectionsPer1_0Server" -> 2
RegCloseKey {IS} -> 0
RegCreateKeyExA {IS} class "4" access 2003F -> 0 opened
RegSetValueExA {IS} "MaxConnectionsPer1_0Server" REG_DWORD 0A000000 -> 0
RegCloseKey {IS} -> 0
)";

// Pop-up allowance and phishing filter for a sixth-generation browser; <A> is the address.
const std::string kPopupsIE6 = R"(RegCreateKeyExA {IE}New Windows\ class "1" access 2003F -> 0 created
RegSetValueExA {IE}New Windows\ "" REG_SZ 00 -> 0
RegCloseKey {IE}New Windows\ -> 0
RegCreateKeyExA {IE}New Windows\ class "1" access 2003F -> 0 opened
RegSetValueExA {IE}New Windows\ "PopupMgr" REG_SZ 79657300 -> 0
RegCloseKey {IE}New Windows\ -> 0
RegOpenKeyExA {IE}New Windows\Allow\ access 2003F -> 2
RegCreateKeyExA {IE}New Windows\Allow\ class "3" access 2003F -> 0 created
RegSetValueExA {IE}New Windows\Allow\ "<A>" REG_BINARY null -> 0
RegCloseKey {IE}New Windows\Allow\ -> 0
RegCreateKeyExA {IE}PhishingFilter\ class "1" access 2003F -> 0 created
RegSetValueExA {IE}PhishingFilter\ "" REG_SZ 00 -> 0
RegCloseKey {IE}PhishingFilter\ -> 0
RegCreateKeyExA {IE}PhishingFilter\ class "4" access 2003F -> 0 opened
RegSetValueExA {IE}PhishingFilter\ "Enabled" REG_DWORD 01000000 -> 0
RegCloseKey {IE}PhishingFilter\ -> 0
RegCreateKeyExA {IE}PhishingFilter\ class "4" access 2003F -> 0 opened
RegSetValueExA {IE}PhishingFilter\ "ShownVerifyBalloon" REG_DWORD 01000000 -> 0
RegCloseKey {IE}PhishingFilter\ -> 0
)";

std::string PopupsIE6(const std::string& address) {
    std::string out = kPopupsIE6;
    const std::string marker = "<A>";
    out.replace(out.find(marker), marker.size(), address);
    return out;
}

class GoldenLog : public ::testing::Test {
protected:
    ApplyRig rig;

    void SetUp() override {
        rig.form.Form_Load();  // nothing installed: the sixth generation
        ASSERT_EQ(rig.form.BrowserGeneration, IeGeneration::IE6);
    }

    // Applies and checks the log line by line, the message, and that every key was closed.
    void ExpectApply(const std::string& address, const std::string& expectedLog) {
        const Snapshot before = TakeSnapshot(rig.memory, *rig.codePage);
        rig.Apply(address);
        EXPECT_EQ(rig.Message().text, kSuccessMessage);
        EXPECT_EQ(rig.Message().caption, kMessageCaption);
        EXPECT_EQ(rig.Message().flags, 64u);
        const std::string log = rig.recorder.Log();
        EXPECT_EQ(log, expectedLog);
        // Line by line as well, for a readable first difference.
        std::size_t a = 0;
        std::size_t b = 0;
        for (int line = 1; a < log.size() && b < expectedLog.size(); ++line) {
            const std::size_t ea = log.find('\n', a);
            const std::size_t eb = expectedLog.find('\n', b);
            const std::string got = log.substr(a, ea - a);
            const std::string want = expectedLog.substr(b, eb - b);
            if (got != want) {
                ADD_FAILURE() << "first difference at line " << line << "\n  got:  " << got
                              << "\n  want: " << want;
                break;
            }
            a = ea + 1;
            b = eb + 1;
        }
        EXPECT_EQ(rig.memory.OpenHandleCount(), 0u);
        for (const RecordedCall& call : rig.recorder.Calls()) {
            if (call.function == RegCall::CreateKeyEx || call.function == RegCall::OpenKeyEx) {
                EXPECT_EQ(call.handlesOpenBefore, 0u) << rig.recorder.Format(call);
            }
        }
        const Snapshot after = TakeSnapshot(rig.memory, *rig.codePage);
        for (const std::string& problem : AuditApply(AuditInputFor(rig, before, after))) {
            ADD_FAILURE() << problem;
        }
    }
};

TEST_F(GoldenLog, EmptyAddressWritesOnlyZonePolicyAndTuning) {
    ExpectApply("", kPolicyAndTuning);
}

TEST_F(GoldenLog, MachineNameIsASiteKeyOfItsOwn) {
    const std::string site = R"(RegCreateKeyExA {IS}ZoneMap\EscRanges\ class "1" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\EscRanges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\EscRanges\ -> 0
RegOpenKeyExA {IS}ZoneMap\EscDomains\portal\ access 2003F -> 2
RegCreateKeyExA {IS}ZoneMap\EscDomains\portal\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\EscDomains\portal\ "http" REG_DWORD 02000000 -> 0
RegCloseKey {IS}ZoneMap\EscDomains\portal\ -> 0
RegCreateKeyExA {IS}ZoneMap\Ranges\ class "1" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\Ranges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\Ranges\ -> 0
RegOpenKeyExA {IS}ZoneMap\Domains\portal\ access 2003F -> 2
RegCreateKeyExA {IS}ZoneMap\Domains\portal\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\Domains\portal\ "http" REG_DWORD 02000000 -> 0
RegCloseKey {IS}ZoneMap\Domains\portal\ -> 0
)";
    ExpectApply("portal", site + PopupsIE6("portal") + kPolicyAndTuning);
}

TEST_F(GoldenLog, OneDotNameIsASiteKeyOfItsOwn) {
    const std::string site = R"(RegCreateKeyExA {IS}ZoneMap\EscRanges\ class "1" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\EscRanges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\EscRanges\ -> 0
RegOpenKeyExA {IS}ZoneMap\EscDomains\example.com\ access 2003F -> 2
RegCreateKeyExA {IS}ZoneMap\EscDomains\example.com\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\EscDomains\example.com\ "http" REG_DWORD 02000000 -> 0
RegCloseKey {IS}ZoneMap\EscDomains\example.com\ -> 0
RegCreateKeyExA {IS}ZoneMap\Ranges\ class "1" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\Ranges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\Ranges\ -> 0
RegOpenKeyExA {IS}ZoneMap\Domains\example.com\ access 2003F -> 2
RegCreateKeyExA {IS}ZoneMap\Domains\example.com\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\Domains\example.com\ "http" REG_DWORD 02000000 -> 0
RegCloseKey {IS}ZoneMap\Domains\example.com\ -> 0
)";
    ExpectApply("example.com", site + PopupsIE6("example.com") + kPolicyAndTuning);
}

// With a later browser generation installed the pop-up switch is a number.
TEST_F(GoldenLog, ThreeLabelNameIsFiledUnderItsParentDomain) {
    rig.Put(Seed{kHkeyLocalMachine, kBrowserVersionKey, "Version", kRegSz,
                 SzBytes(*rig.codePage, "8.0.6001.18702")});
    rig.recorder.Clear();
    rig.form.Form_Load();
    EXPECT_EQ(rig.recorder.Log(),
              R"(RegOpenKeyExA HKLM\Software\Microsoft\Internet Explorer\ access 20019 -> 0
RegQueryValueExA HKLM\Software\Microsoft\Internet Explorer\ "Version" -> 0 REG_SZ 382E302E363030312E313837303200
RegCloseKey HKLM\Software\Microsoft\Internet Explorer\ -> 0
)");
    ASSERT_EQ(rig.form.BrowserGeneration, IeGeneration::IE8);

    const std::string expected = R"(RegCreateKeyExA {IS}ZoneMap\EscRanges\ class "1" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\EscRanges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\EscRanges\ -> 0
RegOpenKeyExA {IS}ZoneMap\EscDomains\example.com\www\ access 2003F -> 2
RegCreateKeyExA {IS}ZoneMap\EscDomains\example.com\www\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\EscDomains\example.com\www\ "http" REG_DWORD 02000000 -> 0
RegCloseKey {IS}ZoneMap\EscDomains\example.com\www\ -> 0
RegCreateKeyExA {IS}ZoneMap\Ranges\ class "1" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\Ranges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\Ranges\ -> 0
RegOpenKeyExA {IS}ZoneMap\Domains\example.com\www\ access 2003F -> 2
RegCreateKeyExA {IS}ZoneMap\Domains\example.com\www\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\Domains\example.com\www\ "http" REG_DWORD 02000000 -> 0
RegCloseKey {IS}ZoneMap\Domains\example.com\www\ -> 0
RegCreateKeyExA {IE}New Windows\ class "1" access 2003F -> 0 created
RegSetValueExA {IE}New Windows\ "" REG_SZ 00 -> 0
RegCloseKey {IE}New Windows\ -> 0
RegCreateKeyExA {IE}New Windows\ class "4" access 2003F -> 0 opened
RegSetValueExA {IE}New Windows\ "PopupMgr" REG_DWORD 01000000 -> 0
RegCloseKey {IE}New Windows\ -> 0
RegOpenKeyExA {IE}New Windows\Allow\ access 2003F -> 2
RegCreateKeyExA {IE}New Windows\Allow\ class "3" access 2003F -> 0 created
RegSetValueExA {IE}New Windows\Allow\ "www.example.com" REG_BINARY null -> 0
RegCloseKey {IE}New Windows\Allow\ -> 0
RegCreateKeyExA {IE}PhishingFilter\ class "1" access 2003F -> 0 created
RegSetValueExA {IE}PhishingFilter\ "" REG_SZ 00 -> 0
RegCloseKey {IE}PhishingFilter\ -> 0
RegCreateKeyExA {IE}PhishingFilter\ class "4" access 2003F -> 0 opened
RegSetValueExA {IE}PhishingFilter\ "Enabled" REG_DWORD 01000000 -> 0
RegCloseKey {IE}PhishingFilter\ -> 0
RegCreateKeyExA {IE}PhishingFilter\ class "4" access 2003F -> 0 opened
RegSetValueExA {IE}PhishingFilter\ "ShownVerifyBalloon" REG_DWORD 01000000 -> 0
RegCloseKey {IE}PhishingFilter\ -> 0
)";
    ExpectApply("www.example.com", expected + kPolicyAndTuning);
}

// Each range tree gets its default value, is listed (its sub-keys, then its values), and
// receives Range1 since it holds none.
TEST_F(GoldenLog, IPv4AddressInAnEmptyZoneMapBecomesRange1OfBothTrees) {
    const std::string ranges = R"(RegCreateKeyExA {IS}ZoneMap\EscRanges\ class "1" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\EscRanges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\EscRanges\ -> 0
RegOpenKeyExA {IS}ZoneMap\EscRanges\ access 20019 -> 0
RegQueryInfoKeyA {IS}ZoneMap\EscRanges\ -> 0 keys 0 (longest 0) values 1 (longest 0)
RegEnumValueA {IS}ZoneMap\EscRanges\ #0 -> 0 "" REG_SZ
RegCloseKey {IS}ZoneMap\EscRanges\ -> 0
RegCreateKeyExA {IS}ZoneMap\EscRanges\Range1\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\EscRanges\Range1\ "http" REG_DWORD 02000000 -> 0
RegCloseKey {IS}ZoneMap\EscRanges\Range1\ -> 0
RegCreateKeyExA {IS}ZoneMap\EscRanges\Range1\ class "1" access 2003F -> 0 opened
RegSetValueExA {IS}ZoneMap\EscRanges\Range1\ ":Range" REG_SZ 3139322E302E322E313000 -> 0
RegCloseKey {IS}ZoneMap\EscRanges\Range1\ -> 0
RegCreateKeyExA {IS}ZoneMap\Ranges\ class "1" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\Ranges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\Ranges\ -> 0
RegOpenKeyExA {IS}ZoneMap\Ranges\ access 20019 -> 0
RegQueryInfoKeyA {IS}ZoneMap\Ranges\ -> 0 keys 0 (longest 0) values 1 (longest 0)
RegEnumValueA {IS}ZoneMap\Ranges\ #0 -> 0 "" REG_SZ
RegCloseKey {IS}ZoneMap\Ranges\ -> 0
RegCreateKeyExA {IS}ZoneMap\Ranges\Range1\ class "4" access 2003F -> 0 created
RegSetValueExA {IS}ZoneMap\Ranges\Range1\ "http" REG_DWORD 02000000 -> 0
RegCloseKey {IS}ZoneMap\Ranges\Range1\ -> 0
RegCreateKeyExA {IS}ZoneMap\Ranges\Range1\ class "1" access 2003F -> 0 opened
RegSetValueExA {IS}ZoneMap\Ranges\Range1\ ":Range" REG_SZ 3139322E302E322E313000 -> 0
RegCloseKey {IS}ZoneMap\Ranges\Range1\ -> 0
)";
    ExpectApply("192.0.2.10", ranges + PopupsIE6("192.0.2.10") + kPolicyAndTuning);
}

// EscRanges holds the address in its second key, Ranges in its only one: each tree is read
// up to the key that holds it, whose zone for http is read too, and nothing is added to either.
TEST_F(GoldenLog, IPv4AddressAlreadyInTheZoneMapIsOnlyLookedUp) {
    const std::string zoneMap = kZoneMapRoot;
    rig.Put({
        {kHkeyCurrentUser, zoneMap + "EscRanges\\Range1\\", "http", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "EscRanges\\Range1\\", ":Range", kRegSz,
         SzBytes(*rig.codePage, "10.1.2.3")},
        {kHkeyCurrentUser, zoneMap + "EscRanges\\Range2\\", "http", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "EscRanges\\Range2\\", ":Range", kRegSz,
         SzBytes(*rig.codePage, "192.0.2.10")},
        {kHkeyCurrentUser, zoneMap + "Ranges\\Range1\\", "http", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "Ranges\\Range1\\", ":Range", kRegSz,
         SzBytes(*rig.codePage, "192.0.2.10")},
    });
    const std::string ranges = R"(RegCreateKeyExA {IS}ZoneMap\EscRanges\ class "1" access 2003F -> 0 opened
RegSetValueExA {IS}ZoneMap\EscRanges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\EscRanges\ -> 0
RegOpenKeyExA {IS}ZoneMap\EscRanges\ access 20019 -> 0
RegQueryInfoKeyA {IS}ZoneMap\EscRanges\ -> 0 keys 2 (longest 6) values 1 (longest 0)
RegEnumKeyExA {IS}ZoneMap\EscRanges\ #0 -> 0 "Range1"
RegEnumKeyExA {IS}ZoneMap\EscRanges\ #1 -> 0 "Range2"
RegEnumValueA {IS}ZoneMap\EscRanges\ #0 -> 0 "" REG_SZ
RegCloseKey {IS}ZoneMap\EscRanges\ -> 0
RegOpenKeyExA {IS}ZoneMap\EscRanges\Range1\ access 20019 -> 0
RegQueryValueExA {IS}ZoneMap\EscRanges\Range1\ ":Range" -> 0 REG_SZ 31302E312E322E3300
RegCloseKey {IS}ZoneMap\EscRanges\Range1\ -> 0
RegOpenKeyExA {IS}ZoneMap\EscRanges\Range2\ access 20019 -> 0
RegQueryValueExA {IS}ZoneMap\EscRanges\Range2\ ":Range" -> 0 REG_SZ 3139322E302E322E313000
RegCloseKey {IS}ZoneMap\EscRanges\Range2\ -> 0
RegOpenKeyExA {IS}ZoneMap\EscRanges\Range2\ access 20019 -> 0
RegQueryValueExA {IS}ZoneMap\EscRanges\Range2\ "http" -> 0 REG_DWORD 02000000
RegCloseKey {IS}ZoneMap\EscRanges\Range2\ -> 0
RegCreateKeyExA {IS}ZoneMap\Ranges\ class "1" access 2003F -> 0 opened
RegSetValueExA {IS}ZoneMap\Ranges\ "" REG_SZ 00 -> 0
RegCloseKey {IS}ZoneMap\Ranges\ -> 0
RegOpenKeyExA {IS}ZoneMap\Ranges\ access 20019 -> 0
RegQueryInfoKeyA {IS}ZoneMap\Ranges\ -> 0 keys 1 (longest 6) values 1 (longest 0)
RegEnumKeyExA {IS}ZoneMap\Ranges\ #0 -> 0 "Range1"
RegEnumValueA {IS}ZoneMap\Ranges\ #0 -> 0 "" REG_SZ
RegCloseKey {IS}ZoneMap\Ranges\ -> 0
RegOpenKeyExA {IS}ZoneMap\Ranges\Range1\ access 20019 -> 0
RegQueryValueExA {IS}ZoneMap\Ranges\Range1\ ":Range" -> 0 REG_SZ 3139322E302E322E313000
RegCloseKey {IS}ZoneMap\Ranges\Range1\ -> 0
RegOpenKeyExA {IS}ZoneMap\Ranges\Range1\ access 20019 -> 0
RegQueryValueExA {IS}ZoneMap\Ranges\Range1\ "http" -> 0 REG_DWORD 02000000
RegCloseKey {IS}ZoneMap\Ranges\Range1\ -> 0
)";
    ExpectApply("192.0.2.10", ranges + PopupsIE6("192.0.2.10") + kPolicyAndTuning);
}

// The recorder itself: refused and throwing calls are logged as such.
TEST(RecordingRegistryLog, RefusalsAndThrowsAreLogged) {
    ApplyRig rig;
    rig.memory.SetFaultHook([](RegCall call, std::uint64_t) -> long {
        if (call == RegCall::SetValueEx) return kErrorAccessDenied;
        if (call == RegCall::QueryInfoKey) throw std::bad_alloc();
        return kErrorSuccess;
    });
    rig.Apply("192.0.2.10");
    const auto& calls = rig.recorder.Calls();
    ASSERT_GE(calls.size(), 5u);
    EXPECT_EQ(rig.recorder.Format(calls[1]),
              R"(RegSetValueExA {IS}ZoneMap\EscRanges\ "" REG_SZ 00 -> 5)");
    EXPECT_EQ(rig.recorder.Format(calls[4]), R"(RegQueryInfoKeyA {IS}ZoneMap\EscRanges\ -> threw bad_alloc)");
    EXPECT_EQ(calls.size(), 6u);  // the close on the way out, then nothing more
    EXPECT_EQ(rig.recorder.Format(calls[5]), R"(RegCloseKey {IS}ZoneMap\EscRanges\ -> 0)");
    EXPECT_EQ(rig.Message().text, std::string(kFailurePrefix) + "内存不足");
}

}  // namespace
}  // namespace zuv::test
