#include "tests/doubles/memory_registry.h"

#include <algorithm>
#include <iomanip>
#include <sstream>

#include "base/text.h"
#include "registry/registry_rules.h"

namespace zuv {

const char* RegCallName(RegCall call) {
    switch (call) {
    case RegCall::CreateKeyEx: return "RegCreateKeyExA";
    case RegCall::OpenKeyEx: return "RegOpenKeyExA";
    case RegCall::CloseKey: return "RegCloseKey";
    case RegCall::SetValueEx: return "RegSetValueExA";
    case RegCall::QueryValueEx: return "RegQueryValueExA";
    case RegCall::DeleteValue: return "RegDeleteValueA";
    case RegCall::DeleteKey: return "RegDeleteKeyA";
    case RegCall::QueryInfoKey: return "RegQueryInfoKeyA";
    case RegCall::EnumKeyEx: return "RegEnumKeyExA";
    case RegCall::EnumValue: return "RegEnumValueA";
    }
    return "?";
}

MemoryRegistry::MemoryRegistry(const AnsiCodePage& codePage)
    : codePage_(codePage),
      currentUser_(std::make_shared<Key>()),
      localMachine_(std::make_shared<Key>()) {
    currentUser_->name = "HKEY_CURRENT_USER";
    localMachine_->name = "HKEY_LOCAL_MACHINE";
}

MemoryRegistry::~MemoryRegistry() = default;

long MemoryRegistry::Before(RegCall call) {
    ++calls_;
    if (faultHook_) return faultHook_(call, calls_);
    return kErrorSuccess;
}

std::u32string MemoryRegistry::Fold(const std::string& ansiName) const {
    return NameKey(codePage_.ToUtf8(ansiName));
}

bool MemoryRegistry::RootReadOnly(RegKey root) const {
    return (root == kHkeyLocalMachine && hklmReadOnly_) ||
           (root == kHkeyCurrentUser && hkcuReadOnly_);
}

void MemoryRegistry::SetRootReadOnly(RegKey root, bool readOnly) {
    if (root == kHkeyLocalMachine) hklmReadOnly_ = readOnly;
    if (root == kHkeyCurrentUser) hkcuReadOnly_ = readOnly;
}

MemoryRegistry::Key* MemoryRegistry::Resolve(RegKey key, long& error, std::uint32_t* access,
                                             RegKey* root) {
    Key* found = nullptr;
    std::uint32_t rights = 0;
    RegKey rootOf = key;
    if (key == kHkeyCurrentUser) {
        found = currentUser_.get();
        rights = 0xF003F;
    } else if (key == kHkeyLocalMachine) {
        found = localMachine_.get();
        rights = hklmReadOnly_ ? 0x20019 : 0xF003F;
    } else {
        auto it = handles_.find(key);
        if (it == handles_.end()) {
            error = kErrorInvalidHandle;
            return nullptr;
        }
        found = it->second.key.get();
        rights = it->second.access;
        rootOf = it->second.root;
    }
    if (found->deleted) {
        error = kErrorKeyDeleted;
        return nullptr;
    }
    if (access != nullptr) *access = rights;
    if (root != nullptr) *root = rootOf;
    error = kErrorSuccess;
    return found;
}

long MemoryRegistry::StartPath(RegKey key, const std::string& subKey, std::shared_ptr<Key>& start,
                               RegKey& rootOf, std::vector<std::string>& levels) {
    long error = 0;
    Key* base = Resolve(key, error, nullptr, &rootOf);
    if (base == nullptr) return error;
    if (const long bad = SplitKeyPath(codePage_, subKey, levels)) return bad;
    if (base == currentUser_.get()) {
        start = currentUser_;
    } else if (base == localMachine_.get()) {
        start = localMachine_;
    } else {
        start = handles_.at(key).key;
    }
    return kErrorSuccess;
}

long MemoryRegistry::CreateKeyEx(RegKey root, const std::string& subKey, const std::string& keyClass,
                                 std::uint32_t access, bool /*inheritHandle*/, RegKey* result,
                                 std::uint32_t* disposition) {
    if (const long fault = Before(RegCall::CreateKeyEx)) return fault;
    std::shared_ptr<Key> current;
    RegKey rootOf = 0;
    std::vector<std::string> levels;
    if (const long error = StartPath(root, subKey, current, rootOf, levels)) return error;
    const bool wantsWrite = (access & (kKeySetValue | kKeyCreateSubKey | kKeyCreateLink)) != 0;
    if (RootReadOnly(rootOf) && (wantsWrite || !levels.empty())) return kErrorAccessDenied;

    // The class goes to the key the path names, even an existing one. With two or more
    // levels missing the levels are made one at a time, and each level named takes it.
    std::size_t existing = 0;
    {
        const Key* walk = current.get();
        for (const std::string& level : levels) {
            auto it = walk->subKeys.find(Fold(level));
            if (it == walk->subKeys.end()) break;
            walk = it->second.get();
            ++existing;
        }
    }
    const bool levelByLevel = levels.size() - existing >= 2;
    bool created = false;
    for (std::size_t i = 0; i < levels.size(); ++i) {
        auto& slot = current->subKeys[Fold(levels[i])];
        if (!slot) {
            ++current->subKeysVersion;
            slot = std::make_shared<Key>();
            slot->name = levels[i];
            created = true;
        }
        if (levelByLevel || i + 1 == levels.size()) slot->keyClass = keyClass;
        current = slot;
    }
    const RegKey handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = Handle{current, access, rootOf};
    *result = handle;
    if (disposition != nullptr) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    return kErrorSuccess;
}

long MemoryRegistry::OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                               RegKey* result) {
    if (const long fault = Before(RegCall::OpenKeyEx)) return fault;
    std::shared_ptr<Key> current;
    RegKey rootOf = 0;
    std::vector<std::string> levels;
    if (const long error = StartPath(root, subKey, current, rootOf, levels)) return error;
    for (const std::string& level : levels) {
        auto it = current->subKeys.find(Fold(level));
        if (it == current->subKeys.end()) return kErrorFileNotFound;
        current = it->second;
    }
    const bool wantsWrite = (access & (kKeySetValue | kKeyCreateSubKey | kKeyCreateLink)) != 0;
    if (RootReadOnly(rootOf) && wantsWrite) return kErrorAccessDenied;
    const RegKey handle = nextHandle_;
    nextHandle_ += 4;
    handles_[handle] = Handle{current, access, rootOf};
    *result = handle;
    return kErrorSuccess;
}

long MemoryRegistry::CloseKey(RegKey key) {
    // Closing an open handle always releases it, as on Windows; an injected fault only
    // changes what the caller is told (or throws once the handle is gone).
    const bool released = handles_.erase(key) == 1;
    if (const long fault = Before(RegCall::CloseKey)) return fault;
    if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) return kErrorSuccess;
    return released ? kErrorSuccess : kErrorInvalidHandle;
}

MemoryRegistry::Value* MemoryRegistry::FindValue(Key& key, const std::string& ansiName) {
    const std::u32string folded = Fold(ansiName);
    for (Value& v : key.values) {
        if (Fold(v.name) == folded) return &v;
    }
    return nullptr;
}

long MemoryRegistry::SetValueEx(RegKey key, const std::string& valueName, std::uint32_t type,
                                const unsigned char* data, std::uint32_t size) {
    if (const long fault = Before(RegCall::SetValueEx)) return fault;
    long error = 0;
    std::uint32_t access = 0;
    Key* k = Resolve(key, error, &access);
    if (k == nullptr) return error;
    if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
    if (const long bad = CheckValueName(codePage_, valueName)) return bad;
    if (data == nullptr && size != 0) return kErrorInvalidParameter;
    std::vector<unsigned char> bytes(data, data + size);
    if (Value* v = FindValue(*k, valueName)) {
        v->type = type;
        v->data = std::move(bytes);
    } else {
        // Values are kept in name order, as the registry lists them.
        const std::u32string folded = Fold(valueName);
        auto at = std::find_if(k->values.begin(), k->values.end(),
                               [&](const Value& other) { return folded < Fold(other.name); });
        k->values.insert(at, Value{valueName, type, std::move(bytes)});
    }
    return kErrorSuccess;
}

long MemoryRegistry::QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                                  unsigned char* data, std::uint32_t* size) {
    if (const long fault = Before(RegCall::QueryValueEx)) return fault;
    long error = 0;
    std::uint32_t access = 0;
    Key* k = Resolve(key, error, &access);
    if (k == nullptr) return error;
    if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
    if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
    const Value* v = FindValue(*k, valueName);
    if (v == nullptr) return kErrorFileNotFound;
    return CopyValueOut(v->type, v->data, type, data, size);
}

long MemoryRegistry::DeleteValue(RegKey key, const std::string& valueName) {
    if (const long fault = Before(RegCall::DeleteValue)) return fault;
    long error = 0;
    std::uint32_t access = 0;
    Key* k = Resolve(key, error, &access);
    if (k == nullptr) return error;
    if ((access & kKeySetValue) == 0) return kErrorAccessDenied;
    const std::u32string folded = Fold(valueName);
    auto it = std::find_if(k->values.begin(), k->values.end(),
                           [&](const Value& v) { return Fold(v.name) == folded; });
    if (it == k->values.end()) return kErrorFileNotFound;
    k->values.erase(it);
    return kErrorSuccess;
}

long MemoryRegistry::DeleteKey(RegKey key, const std::string& subKey) {
    if (const long fault = Before(RegCall::DeleteKey)) return fault;
    std::shared_ptr<Key> start;
    RegKey rootOf = 0;
    std::vector<std::string> levels;
    if (const long error = StartPath(key, subKey, start, rootOf, levels)) return error;
    Key* base = start.get();
    if (RootReadOnly(rootOf)) return kErrorAccessDenied;
    if (levels.empty()) {
        // An empty name deletes the opened key itself.
        if (base == currentUser_.get() || base == localMachine_.get()) return kErrorAccessDenied;
        if (!base->subKeys.empty()) return kErrorAccessDenied;
        // Find its parent by walking from the root it was opened under.
        Key* root = rootOf == kHkeyLocalMachine ? localMachine_.get() : currentUser_.get();
        std::vector<Key*> stack{root};
        while (!stack.empty()) {
            Key* parent = stack.back();
            stack.pop_back();
            for (auto it = parent->subKeys.begin(); it != parent->subKeys.end(); ++it) {
                if (it->second.get() == base) {
                    base->deleted = true;
                    parent->subKeys.erase(it);
                    ++parent->subKeysVersion;
                    return kErrorSuccess;
                }
                stack.push_back(it->second.get());
            }
        }
        return kErrorFileNotFound;
    }
    Key* parent = base;
    for (std::size_t i = 0; i + 1 < levels.size(); ++i) {
        auto it = parent->subKeys.find(Fold(levels[i]));
        if (it == parent->subKeys.end()) return kErrorFileNotFound;
        parent = it->second.get();
    }
    auto it = parent->subKeys.find(Fold(levels.back()));
    if (it == parent->subKeys.end()) return kErrorFileNotFound;
    if (!it->second->subKeys.empty()) return kErrorAccessDenied;
    it->second->deleted = true;
    parent->subKeys.erase(it);
    ++parent->subKeysVersion;
    return kErrorSuccess;
}

long MemoryRegistry::QueryInfoKey(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                                  std::uint32_t* values, std::uint32_t* maxValueNameLen) {
    if (const long fault = Before(RegCall::QueryInfoKey)) return fault;
    long error = 0;
    std::uint32_t access = 0;
    Key* k = Resolve(key, error, &access);
    if (k == nullptr) return error;
    if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
    std::size_t longestKey = 0;
    for (const auto& entry : k->subKeys) {
        longestKey = std::max(longestKey, Utf16Length(entry.first));
    }
    std::size_t longestValue = 0;
    for (const Value& v : k->values) {
        longestValue = std::max(longestValue, Utf16Length(DecodeUtf8(codePage_.ToUtf8(v.name))));
    }
    if (subKeys != nullptr) *subKeys = static_cast<std::uint32_t>(k->subKeys.size());
    if (maxSubKeyLen != nullptr) *maxSubKeyLen = static_cast<std::uint32_t>(longestKey);
    if (values != nullptr) *values = static_cast<std::uint32_t>(k->values.size());
    if (maxValueNameLen != nullptr) *maxValueNameLen = static_cast<std::uint32_t>(longestValue);
    return kErrorSuccess;
}

long MemoryRegistry::EnumKeyEx(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) {
    if (const long fault = Before(RegCall::EnumKeyEx)) return fault;
    long error = 0;
    std::uint32_t access = 0;
    Key* k = Resolve(key, error, &access);
    if (k == nullptr) return error;
    if ((access & kKeyEnumerateSubKeys) == 0) return kErrorAccessDenied;
    if (name == nullptr || nameLen == nullptr) return kErrorInvalidParameter;
    if (index >= k->subKeys.size()) return kErrorNoMoreItems;
    // Listing goes index after index: carry on from the previous one when nothing changed.
    auto it = k->subKeys.cbegin();
    auto handle = handles_.find(key);
    if (handle != handles_.end() && handle->second.hasListed &&
        handle->second.listedVersion == k->subKeysVersion && handle->second.listedIndex <= index) {
        it = handle->second.listed;
        std::advance(it, index - handle->second.listedIndex);
    } else {
        std::advance(it, index);
    }
    if (handle != handles_.end()) {
        handle->second.hasListed = true;
        handle->second.listedIndex = index;
        handle->second.listedVersion = k->subKeysVersion;
        handle->second.listed = it;
    }
    return CopyNameOut(it->second->name, name, nameLen);
}

long MemoryRegistry::EnumValue(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen,
                               std::uint32_t* type) {
    if (const long fault = Before(RegCall::EnumValue)) return fault;
    long error = 0;
    std::uint32_t access = 0;
    Key* k = Resolve(key, error, &access);
    if (k == nullptr) return error;
    if ((access & kKeyQueryValue) == 0) return kErrorAccessDenied;
    if (name == nullptr || nameLen == nullptr) return kErrorInvalidParameter;
    if (index >= k->values.size()) return kErrorNoMoreItems;
    const Value& v = k->values[index];
    const long copied = CopyNameOut(v.name, name, nameLen);
    if (copied == kErrorSuccess && type != nullptr) *type = v.type;
    return copied;
}

std::string MemoryRegistry::ErrorText(long code) {
    switch (code) {
    case kErrorSuccess: return "操作成功完成。";
    case kErrorFileNotFound: return "系统找不到指定的文件。";
    case kErrorAccessDenied: return "拒绝访问。";
    case kErrorInvalidHandle: return "句柄无效。";
    case kErrorNotEnoughMemory: return "存储空间不足，无法处理此命令。";
    case kErrorInvalidParameter: return "参数错误。";
    case kErrorBadPathname: return "指定的路径无效。";
    case kErrorMoreData: return "有更多数据可用。";
    case kErrorNoMoreItems: return "没有更多数据可用。";
    case kErrorKeyDeleted: return "无法在已标记为删除的注册表项中创建稳定子项。";
    default: break;
    }
    return "错误 " + std::to_string(code);
}

const MemoryRegistry::Key* MemoryRegistry::FindKey(RegKey root, const std::string& utf8Path) const {
    const Key* current = root == kHkeyLocalMachine ? localMachine_.get() : currentUser_.get();
    std::string level;
    for (std::size_t i = 0; i <= utf8Path.size(); ++i) {
        if (i == utf8Path.size() || utf8Path[i] == '\\') {
            if (!level.empty()) {
                auto it = current->subKeys.find(NameKey(level));
                if (it == current->subKeys.end()) return nullptr;
                current = it->second.get();
            }
            level.clear();
        } else {
            level.push_back(utf8Path[i]);
        }
    }
    return current;
}

void MemoryRegistry::DumpKey(const Key& key, const std::string& path, std::string& out) const {
    out += "[" + path + "]";
    if (!key.keyClass.empty()) out += " class=" + codePage_.ToUtf8(key.keyClass);
    out += "\n";
    for (const Value& v : key.values) {
        std::ostringstream line;
        line << "  \"" << codePage_.ToUtf8(v.name) << "\" type=" << v.type << " data=";
        for (unsigned char b : v.data) {
            line << std::hex << std::uppercase << std::setw(2) << std::setfill('0')
                 << static_cast<unsigned>(b);
        }
        out += line.str() + "\n";
    }
    for (const auto& entry : key.subKeys) {
        std::string child = path;
        if (!child.empty()) child += '\\';
        child += codePage_.ToUtf8(entry.second->name);
        DumpKey(*entry.second, child, out);
    }
}

std::string MemoryRegistry::Dump(RegKey root) const {
    std::string out;
    DumpKey(root == kHkeyLocalMachine ? *localMachine_ : *currentUser_, "", out);
    return out;
}

long MemoryStoredRegistry::ReadKey(RegKey root, const std::string& path,
                                   std::vector<StoredValue>& values) {
    values.clear();
    const MemoryRegistry::Key* key = memory_.FindKey(root, path);
    if (key == nullptr) return kErrorFileNotFound;
    for (const MemoryRegistry::Value& v : key->values) {
        values.push_back({codePage_.ToUtf8(v.name), v.type, StoredData(codePage_, v.type, v.data)});
    }
    return kErrorSuccess;
}

}  // namespace zuv
