// The backup before an apply, on the in-memory registry: the apply's steps run against the
// copy-on-write view hold exactly the same conversation with it as the real apply has with the
// registry, nothing is written beneath the view, and importing the backup after the real apply
// gives every key and value its state from before, for every kind of address.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/text.h"
#include "browser_config/browser_config.h"
#include "browser_config/own_places.h"
#include "backup/backup_document.h"
#include "tests/doubles/read_only_registry.h"
#include "tests/support/apply_audit.h"
#include "tests/support/apply_rig.h"
#include "backup/backup_plan.h"
#include "tests/support/results.h"

namespace zuv::test {
namespace {

std::u16string Units(const std::vector<unsigned char>& bytes, std::size_t from = 0) {
    std::u16string units;
    for (std::size_t i = from; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    return units;
}

// Imports a backup as "reg import" would: key removals, keys, removed values, and values quoted,
// as dword or as hexadecimal bytes on continued lines.
void Import(const std::vector<unsigned char>& bytes, ApplyRig& rig) {
    ASSERT_TRUE(bytes.size() > 2 && bytes[0] == 0xFF && bytes[1] == 0xFE);
    std::string text = Utf8FromUtf16(Units(bytes, 2));
    for (std::size_t at = 0; (at = text.find("\\\r\n", at)) != std::string::npos;) {
        text.erase(at, text.find_first_not_of(' ', at + 3) - at);
    }
    const std::string header = "Windows Registry Editor Version 5.00\r\n";
    ASSERT_EQ(text.rfind(header, 0), 0u);
    const AnsiCodePage& cp = *rig.codePage;
    const std::function<void(const std::string&)> removeTree = [&](const std::string& path) {
        std::vector<std::string> subKeys;
        rig.reg.EnumerateSubKeys(kHkeyCurrentUser, path, subKeys);
        for (const std::string& sub : subKeys) removeTree(path + "\\" + sub);
        rig.reg.DeleteEntry(kHkeyCurrentUser, path, "");
    };
    const auto unquote = [](const std::string& line, std::size_t& at) {
        std::string out;
        for (++at; line.at(at) != '"'; ++at) out.push_back(line[at] == '\\' ? line.at(++at) : line[at]);
        return out;
    };
    const auto open = [&](const std::string& path) {
        RegKey handle = 0;
        EXPECT_EQ(rig.memory.CreateKeyEx(kHkeyCurrentUser, cp.FromUtf8(path), "", kWriteAccess, false,
                                         &handle, nullptr), kErrorSuccess);
        return handle;
    };
    std::string key;
    for (std::size_t at = header.size(), end = 0; at < text.size(); at = end + 2) {
        end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = text.substr(at, end - at);
        const std::string root = "HKEY_CURRENT_USER\\";
        if (line.rfind("[-" + root, 0) == 0) removeTree(line.substr(root.size() + 2, line.size() - root.size() - 3));
        if (line.rfind("[" + root, 0) == 0) {
            key = line.substr(root.size() + 1, line.size() - root.size() - 2);
            rig.memory.CloseKey(open(key));
        }
        // Comment lines ("; created: …") are skipped, as reg import skips them.
        if (line.empty() || line[0] == '[' || line[0] == ';') continue;
        std::size_t at2 = 0;
        const std::string name = line[0] == '@' ? "" : unquote(line, at2);
        const std::string data = line.substr(line[0] == '@' ? 2 : at2 + 2);
        Seed value{kHkeyCurrentUser, key, name, kRegBinary, {}};
        if (data == "-") {
            const RegKey handle = open(key);
            rig.memory.DeleteValue(handle, cp.FromUtf8(name));
            rig.memory.CloseKey(handle);
            continue;
        }
        if (data[0] == '"') {
            std::size_t start = 0;
            value.type = kRegSz;
            value.data = SzBytes(cp, unquote(data, start));
        } else if (data.rfind("dword:", 0) == 0) {
            value.type = kRegDword;
            value.data = DwordBytes(static_cast<std::uint32_t>(std::stoul(data.substr(6), nullptr, 16)));
        } else {
            if (data.rfind("hex(", 0) == 0) value.type = static_cast<std::uint32_t>(std::stoul(data.substr(4), nullptr, 16));
            for (std::size_t i = data.find(':') + 1; i + 1 < data.size(); i += 3) {
                value.data.push_back(static_cast<unsigned char>(std::stoul(data.substr(i, 2), nullptr, 16)));
            }
            if (value.type == kRegSz || value.type == kRegExpandSz || value.type == kRegMultiSz) {
                const std::string ansi = cp.FromUtf8(Utf8FromUtf16(Units(value.data)));
                value.data.assign(ansi.begin(), ansi.end());
            }
        }
        rig.Put(value);
    }
}

// Every key and value, classes left out: a .reg file carries no key classes.
std::string Text(const Snapshot& snapshot) {
    std::string out;
    for (const auto& [id, key] : snapshot) {
        out += key.path + "\n";
        for (const auto& [folded, v] : key.values) out += "  " + v.name + " " + std::to_string(v.type) + " " + Hex(v.data) + "\n";
    }
    return out;
}

using Steps = std::function<void(mdlReg&)>;

// Runs `steps` against a view over the rig's registry, behind a guard that lets only reading
// through, backs up what they plan from the registry as it is, runs them for real and imports
// the backup: the view must have answered every call as the registry did, and the registry
// must be back as it was. Returns the backup.
std::vector<unsigned char> RoundTrip(ApplyRig& rig, const Steps& steps) {
    const AnsiCodePage& cp = *rig.codePage;
    const Snapshot before = TakeSnapshot(rig.memory, cp);
    ReadOnlyRegistry guard(rig.memory);
    OverlayRegistry view(guard, cp);
    RecordingRegistry seen(view, cp);
    mdlReg planned(seen, cp);
    steps(planned);
    EXPECT_EQ(guard.Refused(), std::vector<std::string>{});
    EXPECT_EQ(view.OpenHandleCount() + rig.memory.OpenHandleCount(), 0u);
    MemoryStoredRegistry stored(rig.memory, cp);
    const PlannedWrites plan = view.Planned();
    EXPECT_EQ(PlacesNotOwn(plan), std::vector<std::string>{}) << "the steps planned outside the tool's places";
    const BackupDocument backup = Made(MakeBackupDocument(plan, stored));
    EXPECT_EQ(Utf8FromUtf16(Units(backup.bytes)).find("[-"), std::string::npos) << "a key removed";

    rig.recorder.Clear();
    rig.recorder.SetAbbreviations({});
    steps(rig.reg);
    EXPECT_EQ(seen.Log(), rig.recorder.Log()) << "the view answered otherwise than the registry";
    Import(backup.bytes, rig);
    // The keys the steps made stay, empty; everything else is as it was.
    std::set<std::u32string> created;
    for (const KeyPlace& key : plan.createdKeys) created.insert(FoldPath(RootedPath(key.root, key.path)));
    Snapshot after = TakeSnapshot(rig.memory, cp);
    for (auto at = after.begin(); at != after.end();) {
        if (before.count(at->first) != 0) {
            ++at;
            continue;
        }
        EXPECT_EQ(created.count(at->first), 1u) << at->second.path << ": new, and not made by the steps";
        EXPECT_TRUE(at->second.values.empty()) << at->second.path << ": values left";
        at = after.erase(at);
    }
    EXPECT_EQ(Text(after), Text(before));
    return backup.bytes;
}

struct Case {
    const char* name;
    const char* address;
};

class BackupTest : public ::testing::TestWithParam<Case> {
protected:
    ApplyRig rig;
};

TEST_P(BackupTest, ImportingTheBackupUndoesTheApply) {
    const AnsiCodePage& cp = *rig.codePage;
    const std::string zoneMap = kZoneMapRoot;
    const std::string settings = kInternetSettingsKey;
    const auto sz = [&](const std::string& text) { return SzBytes(cp, text); };
    rig.Put(ForeignValues(cp, "appserver"));
    // The tool's own values as someone else left them: other types, other data, odd text.
    rig.Put({
        {kHkeyCurrentUser, kTrustedZoneKey, "1001", kRegSz, sz("3")},
        {kHkeyCurrentUser, kTrustedZoneKey, "2101", kRegBinary, {0, 1, 2}},
        {kHkeyCurrentUser, settings, "SyncMode5", kRegSz, sz("say \"yes\" \\ 是")},
        {kHkeyCurrentUser, settings, "MaxConnectionsPerServer", kRegExpandSz, sz("%X%\\y")},
        {kHkeyCurrentUser, settings, "MaxConnectionsPer1_0Server", kRegMultiSz, {'a', 0, 'b', 0, 0}},
        {kHkeyCurrentUser, kBrowserMainKey, "Enable Browser Extensions", kRegSz, {'n', 'o'}},
        {kHkeyCurrentUser, kPhishingFilterKey, "", kRegDword, DwordBytes(7)},
        {kHkeyCurrentUser, kPhishingFilterKey, "Enabled", 0, {9}},
        {kHkeyCurrentUser, kPhishingFilterKey, "ShownVerifyBalloon", 11, std::vector<unsigned char>(100, 0xAB)},
        {kHkeyCurrentUser, kPopupKey, "PopupMgr", kRegSz, sz("是")},
        {kHkeyCurrentUser, kPopupKey, "", kRegSz, sz("x\"y\\z")},
        {kHkeyCurrentUser, kPopupAllowKey, "www.example.com", kRegDword, DwordBytes(1)},
        {kHkeyCurrentUser, zoneMap + "Domains\\example.com\\", "https", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "EscDomains\\appserver\\sub\\", "x", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "Ranges\\Range12\\", ":Range", kRegSz, sz("192.0.2.99")},
        {kHkeyCurrentUser, zoneMap + "EscRanges\\Range3\\", ":Range", kRegSz, sz("192.0.2.*")},
        {kHkeyCurrentUser, zoneMap + "EscRanges\\Range3\\", "http", kRegDword, DwordBytes(2)},
    });
    const std::string address = GetParam().address;
    MemoryStoredRegistry stored(rig.memory, cp);
    const BackupDocument fromPlan =
        Made(MakeBackupDocument(PlanApply(rig.memory, cp, IeGeneration::IE8, address).writes, stored));
    const auto bytes = RoundTrip(rig, [&](mdlReg& reg) {
        RememberingUi ui;
        ZUVPortalSetting form(ui, reg);
        form.BrowserGeneration = IeGeneration::IE8;
        EXPECT_TRUE(form.Apply(address).Succeeded());
    });
    EXPECT_EQ(fromPlan.bytes, bytes);
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfAddress, BackupTest,
                         ::testing::Values(Case{"Ipv4WithRanges", "192.0.2.10"},
                                           Case{"MachineName", "appserver"},
                                           Case{"DomainName", "www.example.com"}, Case{"Empty", ""}),
                         [](const auto& param) { return std::string(param.param.name); });

// What others put below the keys an apply made, after it, survives the undo: another site's
// pop-up entry, the user's own sub-key of the site's domain. Only the apply's values go.
TEST(BackupOfCreatedKeys, ImportingTheBackupLeavesWhatCameLater) {
    ApplyRig rig;
    const AnsiCodePage& cp = *rig.codePage;
    const std::string domain = std::string(kZoneMapRoot) + "Domains\\example.net\\";
    MemoryStoredRegistry stored(rig.memory, cp);
    const BackupDocument backup = Made(
        MakeBackupDocument(PlanApply(rig.memory, cp, IeGeneration::IE8, "portal.example.net").writes, stored));
    RememberingUi ui;
    ZUVPortalSetting form(ui, rig.reg);
    form.BrowserGeneration = IeGeneration::IE8;
    ASSERT_TRUE(form.Apply("portal.example.net").Succeeded());
    ASSERT_EQ(Text(TakeSnapshot(rig.memory, cp)).find("Domains\\example.net\\mail"), std::string::npos);
    rig.Put({
        {kHkeyCurrentUser, kPopupAllowKey, "other.example.org", kRegDword, DwordBytes(1)},
        {kHkeyCurrentUser, domain + "mail\\", "https", kRegDword, DwordBytes(2)},
    });
    const Snapshot later = TakeSnapshot(rig.memory, cp);
    Import(backup.bytes, rig);
    const Snapshot undone = TakeSnapshot(rig.memory, cp);
    const auto value = [&](const Snapshot& snapshot, const std::string& path, const std::string& name) {
        const auto key = snapshot.find(FoldPath(RootedPath(kHkeyCurrentUser, path)));
        if (key == snapshot.end()) return std::string("no key");
        const auto v = key->second.values.find(FoldedKey(name));
        return v == key->second.values.end() ? std::string("none") : Hex(v->second.data);
    };
    EXPECT_EQ(value(undone, kPopupAllowKey, "other.example.org"), "01000000");
    EXPECT_EQ(value(undone, domain + "mail", "https"), "02000000");
    // The apply's own values were there, and are gone.
    EXPECT_EQ(value(later, kPopupAllowKey, "portal.example.net"), "[]");
    EXPECT_EQ(value(later, domain + "portal", "http"), "02000000");
    EXPECT_EQ(value(undone, kPopupAllowKey, "portal.example.net"), "none");
    EXPECT_EQ(value(undone, domain + "portal", "http"), "none");
}

// Deleting keys that are there, which the apply's steps try but never get to do: below a tree of
// the zone map, the only place where the tool may delete a key.
TEST(BackupOfDeletions, ImportingTheBackupUndoesThem) {
    ApplyRig rig;
    const std::string base = std::string(kZoneMapRoot) + "Domains\\ZUVBackup\\";
    rig.Put({
        {kHkeyCurrentUser, base + "Gone\\", "a", kRegSz, SzBytes(*rig.codePage, "旧")},
        {kHkeyCurrentUser, base + "Gone\\", "b", kRegBinary, {1, 2}},
        {kHkeyCurrentUser, base + "Parent\\Child\\", "x", kRegDword, DwordBytes(1)},
        {kHkeyCurrentUser, base + "Keep\\", "k", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, base + "Lone\\", "", kRegSz, SzBytes(*rig.codePage, "z")},
    });
    RoundTrip(rig, [&](mdlReg& reg) {
        EXPECT_TRUE(reg.DeleteEntry(kHkeyCurrentUser, base + "Gone", ""));
        EXPECT_TRUE(reg.DeleteEntry(kHkeyCurrentUser, base + "Lone", ""));
        EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, base + "Gone\\", "a", std::string("新"), kRegSz));
        std::uint32_t type = kRegSz;
        EXPECT_EQ(reg.QueryValue(kHkeyCurrentUser, base + "Gone\\", "b", type), "");
        EXPECT_FALSE(reg.DeleteEntry(kHkeyCurrentUser, base + "Parent", ""));
        EXPECT_TRUE(reg.DeleteEntry(kHkeyCurrentUser, base + "Keep\\", "k"));
        EXPECT_TRUE(reg.SetValue(kHkeyCurrentUser, base + "New\\Deeper\\", "n", 1.0, kRegDword));
        std::vector<std::string> subKeys;
        EXPECT_TRUE(reg.EnumerateSubKeys(kHkeyCurrentUser, base.substr(0, base.size() - 1), subKeys));
    });
}

}  // namespace
}  // namespace zuv::test
