#include "backup/document_restore.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

#include "base/runtime_error.h"
#include "base/text.h"
#include "registry/unique_hkey.h"

namespace zuv {
namespace {

std::string KeyText(RegKey root, const std::string& path) {
    return std::string(RootName(root)) + "\\" + path;
}

class Restorer {
public:
    Restorer(RegistryApi& registry, const AnsiCodePage& codePage)
        : registry_(registry), codePage_(codePage) {}

    void Key(const DocumentKey& key) {
        std::string path;
        if (!Ansi(key.path, KeyText(key.root, key.path), path)) return;
        if (key.remove) {
            const long rc = RemoveTree(key.root, path);
            if (rc != kErrorSuccess && rc != kErrorFileNotFound) Refused("无法删除注册表项 " + KeyText(key.root, key.path), rc);
            return;
        }
        UniqueHKey handle(registry_);
        std::uint32_t disposition = 0;
        const long rc = registry_.CreateKeyEx(key.root, path, {}, kWriteAccess, false, handle.Put(), &disposition);
        if (rc != kErrorSuccess) {
            Refused("无法打开或创建注册表项 " + KeyText(key.root, key.path), rc);
            return;
        }
        for (const DocumentEntry& entry : key.entries) Entry(handle.Get(), key, entry);
        (void)handle.Close();  // what was written stays written
    }

    void RemoveIfEmpty(const KeyPlace& key) {
        std::string path;
        if (!Ansi(key.path, KeyText(key.root, key.path), path)) return;
        UniqueHKey handle(registry_);
        if (registry_.OpenKeyEx(key.root, path, kKeyQueryValue, handle.Put()) != kErrorSuccess) return;
        std::uint32_t subKeys = 0;
        std::uint32_t values = 0;
        const long info = registry_.QueryInfoKey(handle.Get(), &subKeys, nullptr, &values, nullptr);
        (void)handle.Close();
        if (info != kErrorSuccess || subKeys != 0 || values != 0) return;  // the user's now, or in use
        const long rc = registry_.DeleteKey(key.root, path);
        if (rc != kErrorSuccess && rc != kErrorFileNotFound) Refused("无法删除空的注册表项 " + KeyText(key.root, key.path), rc);
    }

    std::vector<std::string> problems;

private:
    bool Ansi(const std::string& utf8, const std::string& shown, std::string& ansi) {
        try {
            ansi = codePage_.FromUtf8(utf8);
            return true;
        } catch (const RuntimeError& error) {
            problems.push_back("无法写入 " + shown + "：" + error.ShortDescription());
            return false;
        }
    }

    void Refused(const std::string& what, long rc) {
        problems.push_back(what + "（错误代码 " + std::to_string(rc) + "：" + registry_.ErrorText(rc) + "）");
    }

    // The data as the ANSI function takes it: text in the code page, anything else unchanged.
    bool Data(const StoredValue& value, const std::string& shown, std::vector<unsigned char>& data) {
        if (value.type != kRegSz && value.type != kRegExpandSz && value.type != kRegMultiSz) {
            data = value.data;
            return true;
        }
        std::u16string units;
        for (std::size_t i = 0; i + 1 < value.data.size(); i += 2) {
            units.push_back(static_cast<char16_t>(value.data[i] | value.data[i + 1] << 8));
        }
        // Each NUL-ended string in turn, the NULs kept as they are.
        std::string ansi;
        std::size_t begin = 0;
        while (begin < units.size()) {
            std::size_t nul = units.find(u'\0', begin);
            if (nul == std::u16string::npos) nul = units.size();
            std::string piece;
            if (!Ansi(Utf8FromUtf16(std::u16string_view(units).substr(begin, nul - begin)), shown, piece)) return false;
            ansi += piece;
            if (nul < units.size()) ansi.push_back('\0');
            begin = nul + 1;
        }
        data.assign(ansi.begin(), ansi.end());
        return true;
    }

    void Entry(RegKey handle, const DocumentKey& key, const DocumentEntry& entry) {
        const std::string shown = KeyText(key.root, key.path) + "\\" + (entry.name.empty() ? "（默认）" : "“" + entry.name + "”");
        std::string name;
        if (!Ansi(entry.name, shown, name)) return;
        if (!entry.value) {
            const long rc = registry_.DeleteValue(handle, name);
            if (rc != kErrorSuccess && rc != kErrorFileNotFound) Refused("无法删除值 " + shown, rc);
            return;
        }
        std::vector<unsigned char> data;
        if (!Data(*entry.value, shown, data)) return;
        const long rc = registry_.SetValueEx(handle, name, entry.value->type, data.data(),
                                             static_cast<std::uint32_t>(data.size()));
        if (rc != kErrorSuccess) Refused("无法写入值 " + shown, rc);
    }

    long RemoveTree(RegKey root, const std::string& path) {
        UniqueHKey handle(registry_);
        long rc = registry_.OpenKeyEx(root, path, kKeyQueryValue | kKeyEnumerateSubKeys, handle.Put());
        if (rc != kErrorSuccess) return rc;
        std::vector<std::string> children;
        for (std::uint32_t i = 0;; ++i) {
            char name[256];
            std::uint32_t length = sizeof name;
            if (registry_.EnumKeyEx(handle.Get(), i, name, &length) != kErrorSuccess) break;
            children.emplace_back(name, length);
        }
        (void)handle.Close();
        for (const std::string& child : children) {
            std::string below = path;
            below += '\\';
            rc = RemoveTree(root, below += child);
            if (rc != kErrorSuccess && rc != kErrorFileNotFound) return rc;
        }
        return registry_.DeleteKey(root, path);
    }

    RegistryApi& registry_;
    const AnsiCodePage& codePage_;
};

}  // namespace

RegDocument EarliestOf(const std::vector<RegDocument>& oldestFirst) {
    RegDocument merged;
    // Each key of `merged` by its name as the registry compares it, with the names of the values
    // it holds so far: every entry is looked up once, so the merge grows with the entries alone.
    struct Merged {
        std::size_t index = 0;  // in merged.keys
        std::set<std::u32string> names;
    };
    std::map<std::pair<RegKey, std::u32string>, Merged> keys;
    std::set<std::pair<RegKey, std::u32string>> created;
    for (const RegDocument& document : oldestFirst) {
        for (const DocumentKey& key : document.keys) {
            const auto id = std::make_pair(key.root, FoldedKey(key.path));
            auto found = keys.find(id);
            if (found == keys.end()) {
                found = keys.emplace(id, Merged{merged.keys.size(), {}}).first;
                merged.keys.push_back({key.root, key.path, key.remove, {}});
            }
            DocumentKey& into = merged.keys[found->second.index];
            if (into.remove) continue;  // gone before: nothing later comes back in it
            for (const DocumentEntry& entry : key.entries) {
                if (found->second.names.insert(FoldedKey(entry.name)).second) into.entries.push_back(entry);
            }
        }
        for (const KeyPlace& key : document.createdKeys) {
            if (created.insert({key.root, FoldedKey(key.path)}).second) merged.createdKeys.push_back(key);
        }
    }
    return merged;
}

std::vector<std::string> RestoreDocument(RegistryApi& registry, const AnsiCodePage& codePage,
                                         const RegDocument& document) {
    Restorer restorer(registry, codePage);
    for (const DocumentKey& key : document.keys) restorer.Key(key);
    // Sub-keys before the keys above them.
    std::vector<KeyPlace> created = document.createdKeys;
    std::stable_sort(created.begin(), created.end(),
                     [](const KeyPlace& a, const KeyPlace& b) { return a.path.size() > b.path.size(); });
    for (const KeyPlace& key : created) restorer.RemoveIfEmpty(key);
    return std::move(restorer.problems);
}

}  // namespace zuv
