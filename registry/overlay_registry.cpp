#include "registry/overlay_registry.h"

#include <algorithm>

#include "base/text.h"
#include "registry/registry_rules.h"

namespace zuv {
namespace {

constexpr std::uint32_t kAllAccess = 0xF003F;

bool Allows(std::uint32_t access, std::uint32_t right) { return (access & right) != 0; }

std::size_t LongestName(const AnsiCodePage& codePage, const std::string& ansi, std::size_t longest) {
    return std::max(longest, Utf16Length(DecodeUtf8(codePage.ToUtf8(ansi))));
}

}  // namespace

OverlayRegistry::OverlayRegistry(RegistryApi& inner, const AnsiCodePage& codePage)
    : inner_(inner), codePage_(codePage) {
    roots_[0].root = roots_[0].beneath = kHkeyCurrentUser;
    roots_[1].root = roots_[1].beneath = kHkeyLocalMachine;
    for (Handle& root : roots_) root.access = kAllAccess;
}

OverlayRegistry::~OverlayRegistry() {
    for (auto& entry : handles_) CloseBeneath(entry.second.beneath);
}

std::u32string OverlayRegistry::Fold(const std::string& ansiName) const {
    return NameKey(codePage_.ToUtf8(ansiName));
}

std::u32string OverlayRegistry::ChildId(const std::u32string& id, const std::string& ansiLevel) const {
    return id.empty() ? Fold(ansiLevel) : id + U'\\' + Fold(ansiLevel);
}

std::string OverlayRegistry::PathText(const Levels& levels) const {
    std::string path;
    for (const std::string& level : levels) {
        if (!path.empty()) path += '\\';
        path += level;
    }
    return codePage_.ToUtf8(path);
}

OverlayRegistry::Node* OverlayRegistry::Find(RegKey root, const std::u32string& id) {
    const auto found = nodes_.find({root, id});
    return found == nodes_.end() ? nullptr : &found->second;
}

const OverlayRegistry::Node* OverlayRegistry::Find(RegKey root, const std::u32string& id) const {
    const auto found = nodes_.find({root, id});
    return found == nodes_.end() ? nullptr : &found->second;
}

OverlayRegistry::Node& OverlayRegistry::NodeOf(const Handle& handle) {
    auto [at, added] = nodes_.try_emplace({handle.root, handle.id});
    if (added) {
        // An open key the view has no node for is one of the registry beneath.
        at->second.beneath = true;
        if (!handle.levels.empty()) at->second.name = handle.levels.back();
    }
    return at->second;
}

void OverlayRegistry::CloseBeneath(RegKey& key) {
    if (key != 0 && key != kHkeyCurrentUser && key != kHkeyLocalMachine) inner_.CloseKey(key);
    key = 0;
}

RegKey OverlayRegistry::Remember(Handle handle) {
    const RegKey id = nextHandle_;
    nextHandle_ += 4;
    handles_.emplace(id, std::move(handle));
    return id;
}

OverlayRegistry::Handle* OverlayRegistry::Resolve(RegKey key, long& error) {
    error = kErrorSuccess;
    if (key == kHkeyCurrentUser) return &roots_[0];
    if (key == kHkeyLocalMachine) return &roots_[1];
    const auto found = handles_.find(key);
    if (found == handles_.end()) {
        error = kErrorInvalidHandle;
        return nullptr;
    }
    const Node* node = Find(found->second.root, found->second.id);
    if ((node != nullptr ? node->generation : 0) != found->second.generation) {
        error = kErrorKeyDeleted;
        return nullptr;
    }
    return &found->second;
}

long OverlayRegistry::Locate(const Handle& base, const std::string& subKey, Handle& found) {
    Levels levels;
    if (const long bad = SplitKeyPath(codePage_, subKey, levels)) return bad;
    found.root = base.root;
    found.levels = base.levels;
    found.id = base.id;
    for (const std::string& level : levels) {
        found.id = ChildId(found.id, level);
        found.levels.push_back(level);
    }
    long beneath = kErrorFileNotFound;
    if (base.beneath != 0) beneath = inner_.OpenKeyEx(base.beneath, subKey, kReadAccess, &found.beneath);
    if (beneath != kErrorSuccess) found.beneath = 0;
    if (const Node* node = Find(found.root, found.id)) {
        if (!node->exists || node->hidesBeneath) CloseBeneath(found.beneath);
        if (!node->exists) return kErrorFileNotFound;
        found.generation = node->generation;
        return kErrorSuccess;
    }
    return beneath;
}

long OverlayRegistry::Create(const Handle& base, const std::string& subKey, Handle& found,
                             bool& created) {
    created = false;
    const long located = Locate(base, subKey, found);
    if (located != kErrorFileNotFound) return located;
    // Some level is missing: walk down level by level, making the missing ones in the view.
    Levels levels;
    SplitKeyPath(codePage_, subKey, levels);
    found.levels = base.levels;
    found.id = base.id;
    RegKey current = base.beneath;
    bool owned = false;
    for (const std::string& level : levels) {
        found.levels.push_back(level);
        found.id = ChildId(found.id, level);
        RegKey next = 0;
        long beneath = kErrorFileNotFound;
        if (current != 0) beneath = inner_.OpenKeyEx(current, level, kReadAccess, &next);
        if (owned) CloseBeneath(current);
        owned = true;
        if (beneath != kErrorSuccess) next = 0;
        if (beneath != kErrorSuccess && beneath != kErrorFileNotFound) return beneath;
        Node* node = Find(found.root, found.id);
        if (node == nullptr && next == 0) {
            node = &nodes_[{found.root, found.id}];
            node->name = level;
            node->exists = false;
            NoteKey(planned_.createdKeys, createdIds_, notedCreated_, found);
        }
        if (node != nullptr) {
            if (!node->exists) {
                node->exists = true;
                created = true;
                ++version_;
            }
            if (node->hidesBeneath) CloseBeneath(next);
        }
        found.generation = node != nullptr ? node->generation : 0;
        current = next;
    }
    found.beneath = current;
    return kErrorSuccess;
}

long OverlayRegistry::CreateKeyEx(RegKey root, const std::string& subKey,
                                  const std::string& /*keyClass*/, std::uint32_t access,
                                  bool /*inheritHandle*/, RegKey* result,
                                  std::uint32_t* disposition) {
    long error = 0;
    const Handle* base = Resolve(root, error);
    if (base == nullptr) return error;
    Handle found;
    bool created = false;
    if (const long failed = Create(*base, subKey, found, created)) return failed;
    found.access = access;
    *result = Remember(std::move(found));
    if (disposition != nullptr) *disposition = created ? kRegCreatedNewKey : kRegOpenedExistingKey;
    return kErrorSuccess;
}

long OverlayRegistry::OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                                RegKey* result) {
    long error = 0;
    const Handle* base = Resolve(root, error);
    if (base == nullptr) return error;
    Handle found;
    if (const long failed = Locate(*base, subKey, found)) return failed;
    found.access = access;
    *result = Remember(std::move(found));
    return kErrorSuccess;
}

long OverlayRegistry::CloseKey(RegKey key) {
    if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) return kErrorSuccess;
    const auto found = handles_.find(key);
    if (found == handles_.end()) return kErrorInvalidHandle;
    CloseBeneath(found->second.beneath);
    handles_.erase(found);
    return kErrorSuccess;
}

void OverlayRegistry::NoteValue(const Handle& handle, const std::string& ansiName) {
    ValueId id{handle.root, handle.id, Fold(ansiName)};
    if (notedValues_.insert(id).second) {
        planned_.values.push_back(
            {handle.root, PathText(handle.levels), codePage_.ToUtf8(ansiName)});
        valueIds_.push_back(std::move(id));
    }
}

void OverlayRegistry::NoteKey(std::vector<KeyPlace>& list, std::vector<NodeId>& ids,
                              std::set<NodeId>& seen, const Handle& handle) {
    if (seen.emplace(handle.root, handle.id).second) {
        list.push_back({handle.root, PathText(handle.levels)});
        ids.emplace_back(handle.root, handle.id);
    }
}

PlannedWrites OverlayRegistry::Planned() const {
    PlannedWrites planned = planned_;
    PlannedEnd& end = planned.end.emplace();
    for (std::size_t i = 0; i < valueIds_.size(); ++i) {
        const auto& [root, id, name] = valueIds_[i];
        // A noted value has its slot in its key's node, unless the key was deleted since,
        // which takes every value along (and hides those beneath when made again).
        std::optional<StoredValue> value;
        if (const Node* node = Find(root, id); node != nullptr && node->exists) {
            const auto slot = node->values.find(name);
            if (slot != node->values.end() && slot->second) {
                value = StoredValue{planned.values[i].name, slot->second->type,
                                    StoredData(codePage_, slot->second->type, slot->second->data)};
            }
        }
        end.values.push_back(std::move(value));
    }
    const auto there = [&](const NodeId& id) {
        const Node* node = Find(id.first, id.second);
        return node != nullptr && node->exists;
    };
    for (const NodeId& id : createdIds_) end.createdKeys.push_back(there(id));
    for (const NodeId& id : deletedIds_) end.deletedKeys.push_back(there(id));
    return planned;
}

long OverlayRegistry::SetValueEx(RegKey key, const std::string& valueName, std::uint32_t type,
                                 const unsigned char* data, std::uint32_t size) {
    long error = 0;
    const Handle* handle = Resolve(key, error);
    if (handle == nullptr) return error;
    if (!Allows(handle->access, kKeySetValue)) return kErrorAccessDenied;
    if (const long bad = CheckValueName(codePage_, valueName)) return bad;
    if (data == nullptr && size != 0) return kErrorInvalidParameter;
    std::optional<Value>& slot = NodeOf(*handle).values[Fold(valueName)];
    const std::string spelling = slot ? slot->name : valueName;
    slot = Value{spelling, type, std::vector<unsigned char>(data, data + size)};
    NoteValue(*handle, valueName);
    ++version_;
    return kErrorSuccess;
}

long OverlayRegistry::Read(const Handle& handle, const std::string& ansiName, std::uint32_t* type,
                           unsigned char* data, std::uint32_t* size) {
    if (const Node* node = Find(handle.root, handle.id); node != nullptr && !node->values.empty()) {
        const auto written = node->values.find(Fold(ansiName));
        if (written != node->values.end()) {
            if (!written->second) return kErrorFileNotFound;
            return CopyValueOut(written->second->type, written->second->data, type, data, size);
        }
    }
    if (handle.beneath == 0) return kErrorFileNotFound;
    return inner_.QueryValueEx(handle.beneath, ansiName, type, data, size);
}

long OverlayRegistry::QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                                   unsigned char* data, std::uint32_t* size) {
    long error = 0;
    const Handle* handle = Resolve(key, error);
    if (handle == nullptr) return error;
    if (!Allows(handle->access, kKeyQueryValue)) return kErrorAccessDenied;
    if (data != nullptr && size == nullptr) return kErrorInvalidParameter;
    return Read(*handle, valueName, type, data, size);
}

long OverlayRegistry::DeleteValue(RegKey key, const std::string& valueName) {
    long error = 0;
    const Handle* handle = Resolve(key, error);
    if (handle == nullptr) return error;
    if (!Allows(handle->access, kKeySetValue)) return kErrorAccessDenied;
    if (const long missing = Read(*handle, valueName, nullptr, nullptr, nullptr)) return missing;
    NodeOf(*handle).values[Fold(valueName)] = std::nullopt;
    NoteValue(*handle, valueName);
    ++version_;
    return kErrorSuccess;
}

long OverlayRegistry::DeleteKey(RegKey key, const std::string& subKey) {
    long error = 0;
    const Handle* base = Resolve(key, error);
    if (base == nullptr) return error;
    Handle target;
    if (const long failed = Locate(*base, subKey, target)) return failed;
    const Listing* listing = nullptr;
    long result = target.levels.empty() ? kErrorAccessDenied : List(target, listing);
    if (result == kErrorSuccess && !listing->subKeys.empty()) result = kErrorAccessDenied;
    if (result == kErrorSuccess) {
        Node& node = NodeOf(target);
        if (node.beneath && !node.hidesBeneath) NoteKey(planned_.deletedKeys, deletedIds_, notedDeleted_, target);
        node.exists = false;
        node.hidesBeneath = node.beneath;
        node.values.clear();
        ++node.generation;
        ++version_;
    }
    CloseBeneath(target.beneath);
    return result;
}

long OverlayRegistry::ListBeneath(RegKey key, bool values, NameMap& names) {
    std::vector<char> buffer(1024);
    for (std::uint32_t index = 0;;) {
        auto length = static_cast<std::uint32_t>(buffer.size());
        std::uint32_t type = 0;
        const long rc = values ? inner_.EnumValue(key, index, buffer.data(), &length, &type)
                               : inner_.EnumKeyEx(key, index, buffer.data(), &length);
        if (rc == kErrorNoMoreItems) return kErrorSuccess;
        if (rc == kErrorMoreData && buffer.size() < 0x20000) {
            buffer.resize(buffer.size() * 4);
            continue;
        }
        if (rc != kErrorSuccess) return rc;
        std::string name(buffer.data(), length);
        std::u32string folded = Fold(name);
        names.emplace(std::move(folded), std::make_pair(std::move(name), type));
        ++index;
    }
}

long OverlayRegistry::List(Handle& handle, const Listing*& listing) {
    listing = &handle.listing;
    if (handle.listed && handle.listedVersion == version_) return kErrorSuccess;
    NameMap subKeys;
    NameMap values;
    if (handle.beneath != 0) {
        if (const long rc = ListBeneath(handle.beneath, false, subKeys)) return rc;
        if (const long rc = ListBeneath(handle.beneath, true, values)) return rc;
    }
    // Sub-keys: those beneath the view has not deleted, and those it created.
    const std::u32string prefix = handle.id.empty() ? std::u32string() : handle.id + U'\\';
    for (auto at = nodes_.lower_bound({handle.root, prefix});
         at != nodes_.end() && at->first.first == handle.root &&
         at->first.second.compare(0, prefix.size(), prefix) == 0;
         ++at) {
        std::u32string child = at->first.second.substr(prefix.size());
        if (child.find(U'\\') != std::u32string::npos) continue;
        if (!at->second.exists) {
            subKeys.erase(child);
        } else {
            subKeys.try_emplace(std::move(child), at->second.name, 0);
        }
    }
    // Values: those written in the view replace or join those beneath; deleted ones go.
    if (const Node* node = Find(handle.root, handle.id)) {
        for (const auto& [folded, value] : node->values) {
            if (!value) {
                values.erase(folded);
                continue;
            }
            auto [at, added] = values.try_emplace(folded, value->name, value->type);
            if (!added) at->second.second = value->type;
        }
    }
    handle.listing.subKeys.clear();
    handle.listing.values.clear();
    for (auto& entry : subKeys) handle.listing.subKeys.push_back(std::move(entry.second));
    for (auto& entry : values) handle.listing.values.push_back(std::move(entry.second));
    handle.listed = true;
    handle.listedVersion = version_;
    return kErrorSuccess;
}

long OverlayRegistry::QueryInfoKey(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                                   std::uint32_t* values, std::uint32_t* maxValueNameLen) {
    long error = 0;
    Handle* handle = Resolve(key, error);
    if (handle == nullptr) return error;
    if (!Allows(handle->access, kKeyQueryValue)) return kErrorAccessDenied;
    const Listing* listing = nullptr;
    if (const long rc = List(*handle, listing)) return rc;
    std::size_t longestKey = 0;
    for (const auto& entry : listing->subKeys) longestKey = LongestName(codePage_, entry.first, longestKey);
    std::size_t longestValue = 0;
    for (const auto& entry : listing->values) longestValue = LongestName(codePage_, entry.first, longestValue);
    if (subKeys != nullptr) *subKeys = static_cast<std::uint32_t>(listing->subKeys.size());
    if (maxSubKeyLen != nullptr) *maxSubKeyLen = static_cast<std::uint32_t>(longestKey);
    if (values != nullptr) *values = static_cast<std::uint32_t>(listing->values.size());
    if (maxValueNameLen != nullptr) *maxValueNameLen = static_cast<std::uint32_t>(longestValue);
    return kErrorSuccess;
}

const OverlayRegistry::Listing* OverlayRegistry::ListingFor(RegKey key, std::uint32_t right,
                                                           const char* name,
                                                           const std::uint32_t* nameLen,
                                                           long& error) {
    Handle* handle = Resolve(key, error);
    if (handle == nullptr) return nullptr;
    error = !Allows(handle->access, right)             ? kErrorAccessDenied
            : (name == nullptr || nameLen == nullptr) ? kErrorInvalidParameter
                                                      : kErrorSuccess;
    const Listing* listing = nullptr;
    if (error == kErrorSuccess) error = List(*handle, listing);
    return error == kErrorSuccess ? listing : nullptr;
}

long OverlayRegistry::EnumKeyEx(RegKey key, std::uint32_t index, char* name,
                                std::uint32_t* nameLen) {
    long error = 0;
    const Listing* listing = ListingFor(key, kKeyEnumerateSubKeys, name, nameLen, error);
    if (listing == nullptr) return error;
    if (index >= listing->subKeys.size()) return kErrorNoMoreItems;
    return CopyNameOut(listing->subKeys[index].first, name, nameLen);
}

long OverlayRegistry::EnumValue(RegKey key, std::uint32_t index, char* name,
                                std::uint32_t* nameLen, std::uint32_t* type) {
    long error = 0;
    const Listing* listing = ListingFor(key, kKeyQueryValue, name, nameLen, error);
    if (listing == nullptr) return error;
    if (index >= listing->values.size()) return kErrorNoMoreItems;
    const auto& [listedName, listedType] = listing->values[index];
    const long copied = CopyNameOut(listedName, name, nameLen);
    if (copied == kErrorSuccess && type != nullptr) *type = listedType;
    return copied;
}

}  // namespace zuv
