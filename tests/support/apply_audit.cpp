#include "tests/support/apply_audit.h"

#include <optional>
#include <set>
#include <sstream>
#include <utility>

#include "browser_config/browser_config.h"
#include "browser_config/mdlFunc.h"
#include "base/runtime_error.h"
#include "base/text.h"

namespace zuv::test {
namespace {

void Walk(const MemoryRegistry::Key& key, const std::string& path, const AnsiCodePage& codePage,
          Snapshot& out) {
    StoredKey stored;
    stored.path = path;
    for (const auto& v : key.values) {
        const std::string name = codePage.ToUtf8(v.name);
        stored.values[FoldedKey(name)] = StoredValue{name, v.type, v.data};
    }
    out[FoldPath(path)] = std::move(stored);
    for (const auto& entry : key.subKeys) {
        Walk(*entry.second, path + "\\" + codePage.ToUtf8(entry.second->name), codePage, out);
    }
}

std::string Describe(const std::string& path, const std::string& name) {
    return path + " \"" + name + "\"";
}

std::string Show(const StoredValue& v) {
    return std::string(TypeName(v.type)) + " " + Hex(v.data);
}

bool IsPrefixPath(const std::u32string& prefix, const std::u32string& path) {
    return path == prefix ||
           (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
            path[prefix.size()] == U'\\');
}

std::string RangeTree(const char* tree) {
    return "HKCU\\" + std::string(kZoneMapRoot) + tree;
}

}  // namespace

std::u32string FoldPath(const std::string& utf8Path) {
    std::string normal;
    std::string level;
    for (std::size_t i = 0; i <= utf8Path.size(); ++i) {
        if (i == utf8Path.size() || utf8Path[i] == '\\') {
            if (!level.empty()) {
                if (!normal.empty()) normal += '\\';
                normal += level;
            }
            level.clear();
        } else {
            level.push_back(utf8Path[i]);
        }
    }
    return FoldedKey(normal);
}

std::string RootedPath(RegKey root, const std::string& path) {
    return RootPrefix(root) + "\\" + path;
}

Snapshot TakeSnapshot(const MemoryRegistry& memory, const AnsiCodePage& codePage) {
    Snapshot out;
    for (RegKey root : {kHkeyCurrentUser, kHkeyLocalMachine}) {
        const MemoryRegistry::Key* top = memory.FindKey(root, "");
        if (top != nullptr) Walk(*top, RootPrefix(root), codePage, out);
    }
    return out;
}

std::vector<Seed> ForeignValues(const AnsiCodePage& codePage, const std::string& sitePath) {
    const std::string is = kInternetSettingsKey;
    const std::string ie = kBrowserVersionKey;
    const std::string zoneMap = kZoneMapRoot;
    auto sz = [&](const std::string& text) { return SzBytes(codePage, text); };
    std::vector<Seed> seeds = {
        {kHkeyCurrentUser, is, "ProxyEnable", kRegDword, DwordBytes(0)},
        {kHkeyCurrentUser, is, "User Agent", kRegSz, sz("Mozilla/4.0 (compatible; MSIE 8.0)")},
        {kHkeyCurrentUser, zoneMap, "ProxyBypass", kRegDword, DwordBytes(1)},
        {kHkeyCurrentUser, zoneMap + "Domains\\other.org\\", "http", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "Domains\\other.org\\", "*", kRegDword, DwordBytes(1)},
        {kHkeyCurrentUser, zoneMap + "EscDomains\\other.org\\", "https", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "EscRanges\\Range1\\", ":Range", kRegSz, sz("10.9.8.7")},
        {kHkeyCurrentUser, zoneMap + "EscRanges\\Range1\\", "https", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "Ranges\\Range1\\", ":Range", kRegSz, sz("10.9.8.7")},
        {kHkeyCurrentUser, zoneMap + "Ranges\\Range1\\", "*", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, zoneMap + "Ranges\\Range5\\", ":Range", kRegSz, sz("198.51.100.1-99")},
        {kHkeyCurrentUser, zoneMap + "Ranges\\Range5\\", "http", kRegDword, DwordBytes(2)},
        {kHkeyCurrentUser, kTrustedZoneKey, "1803", kRegDword, DwordBytes(0)},
        {kHkeyCurrentUser, kTrustedZoneKey, "DisplayName", kRegSz, sz("受信任的站点")},
        {kHkeyCurrentUser, kTrustedZoneKey, "Flags", kRegDword, DwordBytes(0x43)},
        {kHkeyCurrentUser, is + "Zones\\3\\", "1400", kRegDword, DwordBytes(3)},
        {kHkeyCurrentUser, is + "Zones\\3\\", "CurrentLevel", kRegDword, DwordBytes(0x11500)},
        {kHkeyCurrentUser, kBrowserMainKey, "Start Page", kRegSz, sz("http://portal/")},
        {kHkeyCurrentUser, ie + "Main\\WindowsSearch\\", "Version", kRegSz, sz("6.0")},
        {kHkeyCurrentUser, kPopupKey, "UseTimerMethod", kRegDword, DwordBytes(0)},
        {kHkeyCurrentUser, kPopupAllowKey, "other.org", kRegBinary, {}},
        {kHkeyCurrentUser, kPhishingFilterKey, "EnabledV8", kRegDword, DwordBytes(1)},
        {kHkeyCurrentUser, "Software\\ZUVOther\\", "Keep", kRegBinary, {1, 2, 3}},
        {kHkeyLocalMachine, ie, "Version", kRegSz, sz("8.0.6001.18702")},
        {kHkeyLocalMachine, zoneMap + "Domains\\corp\\", "http", kRegDword, DwordBytes(2)},
    };
    if (!sitePath.empty()) {
        seeds.push_back({kHkeyCurrentUser, zoneMap + "Domains\\" + sitePath + "\\", "https",
                         kRegDword, DwordBytes(2)});
        seeds.push_back({kHkeyCurrentUser, zoneMap + "EscDomains\\" + sitePath + "\\", "https",
                         kRegDword, DwordBytes(1)});
    }
    return seeds;
}

bool IsWrite(const RecordedCall& call) {
    return call.function == RegCall::CreateKeyEx || call.function == RegCall::SetValueEx;
}

bool IsRangeTreeListing(const RecordedCall& call) {
    const bool listing = (call.function == RegCall::OpenKeyEx && call.access == kReadAccess) ||
                         call.function == RegCall::QueryInfoKey ||
                         call.function == RegCall::EnumKeyEx || call.function == RegCall::EnumValue;
    if (!listing) return false;
    static const std::u32string escRanges = FoldPath(RangeTree("EscRanges\\"));
    static const std::u32string ranges = FoldPath(RangeTree("Ranges\\"));
    const std::u32string path = FoldPath(call.path);
    return path == escRanges || path == ranges;
}

bool AddressRaises(const AnsiCodePage& codePage, const std::string& address) {
    if (address.empty()) return false;
    try {
        (void)codePage.FromUtf8(address);
    } catch (const RuntimeError&) {
        return true;
    }
    return ClassifyAddress(address) == AddressKind::Dns && ParentDomain(address).size() >= address.size();
}

AuditInput AuditInputFor(ApplyRig& rig, const Snapshot& before, const Snapshot& after) {
    AuditInput input;
    input.before = &before;
    input.after = &after;
    input.calls = &rig.recorder.Calls();
    input.openHandles = rig.memory.OpenHandleCount();
    input.messages = rig.ui.messages;
    return input;
}

std::vector<std::string> AuditApply(const AuditInput& input) {
    std::vector<std::string> problems;
    // The same few paths come up again and again.
    std::map<std::string, std::u32string> folded;
    const auto fold = [&folded](const std::string& path) -> const std::u32string& {
        auto it = folded.find(path);
        if (it == folded.end()) it = folded.emplace(path, FoldPath(path)).first;
        return it->second;
    };
    const auto& calls = *input.calls;
    const Snapshot& before = *input.before;
    const Snapshot& after = *input.after;

    // Keys: at most one open at a time, none left over.
    if (input.openHandles != 0) {
        problems.push_back(std::to_string(input.openHandles) + " key(s) left open");
    }
    for (std::size_t i = 0; i < calls.size(); ++i) {
        const auto& call = calls[i];
        if ((call.function == RegCall::CreateKeyEx || call.function == RegCall::OpenKeyEx) &&
            call.handlesOpenBefore != 0) {
            problems.push_back("call " + std::to_string(i + 1) + " opened " + call.path + " while " +
                               std::to_string(call.handlesOpenBefore) + " key(s) were open");
        }
    }

    // The message.
    bool threw = false;
    bool badAlloc = false;
    const RecordedCall* firstRefusal = nullptr;
    for (const auto& call : calls) {
        if (call.threw) {
            threw = true;
            badAlloc = badAlloc || call.exception == "bad_alloc";
            break;  // the remaining steps are abandoned
        }
        if (firstRefusal == nullptr && !call.Succeeded() && (IsWrite(call) || IsRangeTreeListing(call))) {
            firstRefusal = &call;
        }
    }
    if (input.messages.size() != 1) {
        problems.push_back(std::to_string(input.messages.size()) + " messages shown instead of one");
    } else {
        const ShownMessage& m = input.messages.front();
        if (m.caption != kMessageCaption || m.flags != kMessageFlags) {
            problems.push_back("message box caption/flags: " + m.caption + " " + std::to_string(m.flags));
        }
        const std::string prefix = kFailurePrefix;
        const bool failed = m.text.rfind(prefix, 0) == 0;
        if (threw || input.runTimeErrorExpected) {
            if (!failed) problems.push_back("run-time error not reported: " + m.text);
            if (badAlloc && m.text != prefix + StandardDescription(ErrorKind::OutOfMemory)) {
                problems.push_back("out of memory reported as: " + m.text);
            }
        } else if (firstRefusal != nullptr) {
            std::string path = firstRefusal->path;
            const std::string rootPrefix = RootPrefix(firstRefusal->root) + "\\";
            if (path.rfind(rootPrefix, 0) == 0) path = path.substr(rootPrefix.size());
            // The message box shows each name of more than 64 characters shortened.
            const std::string expected = prefix + "无法写入注册表 " +
                                         (firstRefusal->root == kHkeyLocalMachine
                                              ? "HKEY_LOCAL_MACHINE\\"
                                              : "HKEY_CURRENT_USER\\") +
                                         ShortenLevels(path, kShortNameLength);
            if (m.text.rfind(expected, 0) != 0) {
                problems.push_back("refusal of " + std::string(RegCallName(firstRefusal->function)) +
                                   " on " + firstRefusal->path + " reported as: " + m.text);
            }
            if (firstRefusal->function == RegCall::SetValueEx && !firstRefusal->name.empty() &&
                m.text.find("“" + ShortenMiddle(firstRefusal->name, kShortNameLength) + "”") ==
                    std::string::npos) {
                problems.push_back("refused value name missing from: " + m.text);
            }
        } else if (m.text != kSuccessMessage) {
            problems.push_back("success expected, shown: " + m.text);
        }
    }

    // What the tool did, by the record: the last successful write or delete of each value,
    // and the keys it created.
    std::map<std::pair<std::u32string, std::u32string>, std::optional<StoredValue>> touched;
    std::vector<std::u32string> created;
    std::vector<std::u32string> deletedKeys;
    for (const auto& call : calls) {
        if (!call.Succeeded()) continue;
        const std::u32string& path = fold(call.path);
        switch (call.function) {
        case RegCall::SetValueEx:
            touched[{path, FoldedKey(call.name)}] = StoredValue{call.name, call.type, call.data};
            break;
        case RegCall::DeleteValue:
            touched[{path, FoldedKey(call.name)}] = std::nullopt;
            break;
        case RegCall::CreateKeyEx:
            created.push_back(path);
            break;
        case RegCall::DeleteKey:
            deletedKeys.push_back(FoldPath(call.path + "\\" + call.name));
            break;
        default:
            break;
        }
    }

    std::set<std::pair<std::u32string, std::u32string>> owned;
    for (const auto* record : {input.calls, input.cleanCalls}) {
        if (record == nullptr) continue;
        for (const auto& call : *record) {
            if (call.function == RegCall::SetValueEx) owned.insert({fold(call.path), FoldedKey(call.name)});
        }
    }
    for (const auto& [where, value] : touched) {
        if (owned.count(where) == 0) {
            problems.push_back("value deleted that the tool does not write: " +
                               Describe(EncodeUtf8(where.first), EncodeUtf8(where.second)));
        }
    }

    // Every write stayed as written, every delete stayed deleted.
    for (const auto& [where, value] : touched) {
        const auto key = after.find(where.first);
        const StoredValue* found = nullptr;
        if (key != after.end()) {
            const auto v = key->second.values.find(where.second);
            if (v != key->second.values.end()) found = &v->second;
        }
        const std::string label = Describe(EncodeUtf8(where.first), EncodeUtf8(where.second));
        if (value && found == nullptr) problems.push_back("written value lost: " + label);
        if (value && found != nullptr && !(found->type == value->type && found->data == value->data)) {
            problems.push_back("written value changed: " + label + " = " + Show(*found));
        }
        if (!value && found != nullptr) problems.push_back("deleted value back: " + label);
    }

    // Nothing else changed.
    for (const auto& [path, key] : after) {
        const auto old = before.find(path);
        if (old == before.end()) {
            bool made = false;
            for (const auto& c : created) made = made || IsPrefixPath(path, c);
            if (!made) problems.push_back("key appeared without being created: " + key.path);
        }
        for (const auto& [name, value] : key.values) {
            const StoredValue* was = nullptr;
            if (old != before.end()) {
                const auto v = old->second.values.find(name);
                if (v != old->second.values.end()) was = &v->second;
            }
            const bool mine = touched.count({path, name}) != 0 && owned.count({path, name}) != 0;
            if ((was == nullptr || !(*was == value)) && !mine) {
                problems.push_back("value changed that the tool never wrote: " +
                                   Describe(key.path, value.name) + " = " + Show(value));
            }
        }
    }
    for (const auto& [path, key] : before) {
        const auto now = after.find(path);
        if (now == after.end()) {
            bool deleted = false;
            for (const auto& d : deletedKeys) deleted = deleted || IsPrefixPath(d, path);
            if (!deleted) problems.push_back("key vanished: " + key.path);
            continue;
        }
        for (const auto& [name, value] : key.values) {
            if (now->second.values.count(name) == 0 &&
                (touched.count({path, name}) == 0 || owned.count({path, name}) == 0)) {
                problems.push_back("value vanished: " + Describe(key.path, value.name));
            }
        }
    }

    // The user's own values, unless this address makes one of them the tool's.
    if (input.foreign != nullptr) {
        for (const Seed& seed : *input.foreign) {
            const std::u32string& path = fold(RootedPath(seed.root, seed.path));
            const std::u32string name = FoldedKey(seed.name);
            if (owned.count({path, name}) != 0) continue;
            const auto key = after.find(path);
            const StoredValue* found = nullptr;
            if (key != after.end()) {
                const auto v = key->second.values.find(name);
                if (v != key->second.values.end()) found = &v->second;
            }
            if (found == nullptr || found->type != seed.type || found->data != seed.data) {
                problems.push_back("user value not kept: " +
                                   Describe(RootedPath(seed.root, seed.path), seed.name));
            }
        }
    }
    return problems;
}

}  // namespace zuv::test
