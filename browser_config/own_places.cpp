#include "browser_config/own_places.h"

#include <algorithm>
#include <set>

#include "base/text.h"
#include "browser_config/browser_config.h"

namespace zuv {

const TuningSetting kBrowserTuning[4] = {
    {kBrowserMainKey, "Enable Browser Extensions", std::string("yes"), kRegSz},
    {kInternetSettingsKey, "SyncMode5", 3.0, kRegDword},  // check on every visit
    {kInternetSettingsKey, "MaxConnectionsPerServer", 10.0, kRegDword},
    {kInternetSettingsKey, "MaxConnectionsPer1_0Server", 10.0, kRegDword},
};

namespace {

// A key of the list, folded as the registry compares names.
struct OwnKey {
    std::u32string path;               // without a backslash at either end
    std::set<std::u32string> values;   // the value names it may have changed
    bool anyValue = false;             // any value name
};

std::u32string Folded(std::string_view path) {
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    return FoldedKey(path);
}

struct OwnList {
    std::vector<OwnKey> keys;
    std::vector<std::u32string> trees;    // keys below these, at any depth, are the tool's
    std::set<std::u32string> above;       // the keys above all of them

    OwnList() {
        const auto add = [&](std::string_view path, const std::vector<std::string>& values, bool anyValue = false) {
            OwnKey key{Folded(path), {}, anyValue};
            for (const std::string& name : values) key.values.insert(FoldedKey(name));
            keys.push_back(std::move(key));
        };
        for (const char* tree : {kDomainsTree, kEscDomainsTree, kRangesTree, kEscRangesTree}) {
            const std::string path = std::string(kZoneMapRoot) + tree;
            add(path, {""});
            trees.push_back(Folded(path));
        }
        std::vector<std::string> actions;
        for (const ZoneAction& action : kTrustedZoneActions) actions.emplace_back(action.name);
        add(kTrustedZoneKey, actions);
        add(kPopupKey, {"", kPopupSwitchValue});
        add(kPopupAllowKey, {}, true);
        std::vector<std::string> phishing{""};
        for (const char* name : kPhishingFilterValues) phishing.emplace_back(name);
        add(kPhishingFilterKey, phishing);
        for (const TuningSetting& setting : kBrowserTuning) {
            const std::u32string path = Folded(setting.key);
            auto found = std::find_if(keys.begin(), keys.end(), [&](const OwnKey& k) { return k.path == path; });
            if (found == keys.end()) {
                keys.push_back({path, {}, false});
                found = keys.end() - 1;
            }
            found->values.insert(FoldedKey(setting.name));
        }
        for (const OwnKey& key : keys) {
            for (std::size_t at = key.path.find(U'\\'); at != std::u32string::npos; at = key.path.find(U'\\', at + 1)) {
                above.insert(key.path.substr(0, at));
            }
        }
    }

    const OwnKey* Key(const std::u32string& path) const {
        for (const OwnKey& key : keys) {
            if (key.path == path) return &key;
        }
        return nullptr;
    }

    bool BelowTree(const std::u32string& path) const {
        for (const std::u32string& tree : trees) {
            if (path.size() > tree.size() + 1 && path.compare(0, tree.size(), tree) == 0 &&
                path[tree.size()] == U'\\') {
                return true;
            }
        }
        return false;
    }
};

const OwnList& List() {
    static const OwnList list;
    return list;
}

std::string KeyText(RegKey root, std::string_view path) {
    return std::string(RootName(root)) + "\\" + std::string(path);
}

// Why `path` below `root` cannot be one of the tool's keys at all: another root, or a path
// that is not a plain sequence of names.
std::optional<std::string> WhyNotAPlace(RegKey root, std::string_view path) {
    if (root != kHkeyCurrentUser) {
        return "注册表项 " + KeyText(root, path) + " 不在 HKEY_CURRENT_USER 下，不是本工具的设置";
    }
    if (path.empty() || path.front() == '\\' || path.back() == '\\' ||
        path.find("\\\\") != std::string_view::npos) {
        return "注册表项 " + KeyText(root, path) + " 的路径中有空的一级";
    }
    return std::nullopt;
}

std::string ValueText(std::string_view name) {
    return name.empty() ? std::string("默认值") : "值“" + std::string(name) + "”";
}

}  // namespace

std::optional<std::string> WhyNotOwnValue(RegKey root, std::string_view path, std::string_view name) {
    if (auto why = WhyNotAPlace(root, path)) return why;
    const std::u32string folded = Folded(path);
    if (List().BelowTree(folded)) return std::nullopt;
    const OwnKey* key = List().Key(folded);
    if (key != nullptr && (key->anyValue || key->values.count(FoldedKey(name)) != 0)) return std::nullopt;
    return "注册表项 " + KeyText(root, path) + " 中的" + ValueText(name) + "不是本工具的设置";
}

std::optional<std::string> WhyNotOwnKeyToCreate(RegKey root, std::string_view path) {
    if (auto why = WhyNotAPlace(root, path)) return why;
    const std::u32string folded = Folded(path);
    if (List().Key(folded) != nullptr || List().BelowTree(folded) || List().above.count(folded) != 0) {
        return std::nullopt;
    }
    return "注册表项 " + KeyText(root, path) + " 不是本工具的设置";
}

std::optional<std::string> WhyNotOwnKeyToRemove(RegKey root, std::string_view path) {
    if (auto why = WhyNotAPlace(root, path)) return why;
    if (List().BelowTree(Folded(path))) return std::nullopt;
    return "注册表项 " + KeyText(root, path) + " 不是本工具会删除的项";
}

std::vector<std::string> PlacesNotOwn(const PlannedWrites& planned) {
    std::vector<std::string> found;
    for (const ValuePlace& value : planned.values) {
        if (auto why = WhyNotOwnValue(value.root, value.path, value.name)) found.push_back(std::move(*why));
    }
    for (const KeyPlace& key : planned.createdKeys) {
        if (auto why = WhyNotOwnKeyToCreate(key.root, key.path)) found.push_back(std::move(*why));
    }
    // An undo removes the keys an apply made once they are empty again, and below the four
    // trees whatever a document removes: a key the tool may make is one it may delete.
    for (const KeyPlace& key : planned.deletedKeys) {
        if (auto why = WhyNotOwnKeyToCreate(key.root, key.path)) found.push_back(std::move(*why));
    }
    return found;
}

}  // namespace zuv
