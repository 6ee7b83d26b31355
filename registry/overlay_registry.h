// A copy-on-write view of a registry. Reads go through to the registry beneath, which the view
// only ever opens for reading; writes change the view alone, are seen by later reads through
// it, and are recorded. Running an apply against a view tells what the apply will write or
// delete before anything is written.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "registry/codepage.h"
#include "registry/registry_api.h"
#include "registry/stored_registry.h"

namespace zuv {

// A key: `path` in UTF-8, levels separated by single backslashes, none at either end.
struct KeyPlace {
    RegKey root = 0;
    std::string path;
};

// A value of a key; the default value has the empty name.
struct ValuePlace {
    RegKey root = 0;
    std::string path;
    std::string name;
};

// What the places of a plan hold once all its writes are done, item for item.
struct PlannedEnd {
    // Each value as the registry would store it (text in UTF-16LE); nothing when it ends
    // deleted, or its key does.
    std::vector<std::optional<StoredValue>> values;
    // Whether each created key, and each deleted key, is there at the end (a deleted key may be
    // created again, a created one deleted again).
    std::vector<bool> createdKeys;
    std::vector<bool> deletedKeys;
};

// What the writes made through a view would change in the registry beneath it.
struct PlannedWrites {
    // Values set or deleted, each once, in the order first written.
    std::vector<ValuePlace> values;
    // Keys created that the registry beneath does not have: every level created, parents first.
    std::vector<KeyPlace> createdKeys;
    // Keys of the registry beneath that were deleted, with every value in them.
    std::vector<KeyPlace> deletedKeys;
    // The net effect, as the view holds it after the writes; a plan made otherwise has none and
    // counts as changing everything it names.
    std::optional<PlannedEnd> end;
};

class OverlayRegistry : public RegistryApi {
public:
    OverlayRegistry(RegistryApi& inner, const AnsiCodePage& codePage);
    OverlayRegistry(const OverlayRegistry&) = delete;
    OverlayRegistry& operator=(const OverlayRegistry&) = delete;
    // Closes every key still open beneath.
    ~OverlayRegistry() override;

    // Key classes and the inherit flag are not kept: nothing reads them back.
    long CreateKeyEx(RegKey root, const std::string& subKey, const std::string& keyClass,
                     std::uint32_t access, bool inheritHandle, RegKey* result,
                     std::uint32_t* disposition) override;
    long OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                   RegKey* result) override;
    long CloseKey(RegKey key) override;
    long SetValueEx(RegKey key, const std::string& valueName, std::uint32_t type,
                    const unsigned char* data, std::uint32_t size) override;
    long QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size) override;
    long DeleteValue(RegKey key, const std::string& valueName) override;
    long DeleteKey(RegKey key, const std::string& subKey) override;
    long QueryInfoKey(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                      std::uint32_t* values, std::uint32_t* maxValueNameLen) override;
    long EnumKeyEx(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) override;
    long EnumValue(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen,
                   std::uint32_t* type) override;
    std::string ErrorText(long code) override { return inner_.ErrorText(code); }

    // What the writes so far would change, with what they leave at the end.
    PlannedWrites Planned() const;
    std::size_t OpenHandleCount() const { return handles_.size(); }

private:
    using Levels = std::vector<std::string>;  // ANSI names
    struct Value {
        std::string name;  // ANSI, as first written
        std::uint32_t type = 0;
        std::vector<unsigned char> data;
    };
    // A key some write went to.
    struct Node {
        std::string name;          // its last level, ANSI, for listings
        bool beneath = false;      // the registry beneath has the key
        bool exists = true;        // the view has it
        bool hidesBeneath = false;  // deleted in the view: what beneath holds in it no longer shows
        std::uint64_t generation = 0;  // counts deletions; keys opened before one refuse work
        std::map<std::u32string, std::optional<Value>> values;  // written, or deleted (none)
    };
    // Names (ANSI) in listing order, values with their types.
    struct Listing {
        std::vector<std::pair<std::string, std::uint32_t>> subKeys;
        std::vector<std::pair<std::string, std::uint32_t>> values;
    };
    // Names by NameKey, so in listing order, with their value types.
    using NameMap = std::map<std::u32string, std::pair<std::string, std::uint32_t>>;
    struct Handle {
        RegKey root = 0;
        Levels levels;
        std::u32string id;  // the levels by NameKey, joined with backslashes
        std::uint32_t access = 0;
        RegKey beneath = 0;  // the key opened for reading beneath; 0 when not there or hidden
        std::uint64_t generation = 0;
        bool listed = false;
        std::uint64_t listedVersion = 0;
        Listing listing;
    };
    using NodeId = std::pair<RegKey, std::u32string>;

    // The open key behind `key` (a predefined root or a handle of this view), or null.
    Handle* Resolve(RegKey key, long& error);
    // The key `subKey` names below `base` in the view, with its key beneath opened.
    long Locate(const Handle& base, const std::string& subKey, Handle& found);
    long Create(const Handle& base, const std::string& subKey, Handle& found, bool& created);
    long List(Handle& handle, const Listing*& listing);
    // The listing behind `key` for EnumKeyEx and EnumValue once their checks have passed, or
    // null with `error` set.
    const Listing* ListingFor(RegKey key, std::uint32_t right, const char* name,
                              const std::uint32_t* nameLen, long& error);
    long ListBeneath(RegKey key, bool values, NameMap& names);
    // The value as the view holds it, as RegQueryValueExA hands it out.
    long Read(const Handle& handle, const std::string& ansiName, std::uint32_t* type,
              unsigned char* data, std::uint32_t* size);
    Node* Find(RegKey root, const std::u32string& id);
    const Node* Find(RegKey root, const std::u32string& id) const;
    Node& NodeOf(const Handle& handle);
    std::u32string Fold(const std::string& ansiName) const;
    std::u32string ChildId(const std::u32string& id, const std::string& ansiLevel) const;
    std::string PathText(const Levels& levels) const;
    RegKey Remember(Handle handle);
    void CloseBeneath(RegKey& key);
    void NoteValue(const Handle& handle, const std::string& ansiName);
    void NoteKey(std::vector<KeyPlace>& list, std::vector<NodeId>& ids, std::set<NodeId>& seen,
                 const Handle& handle);

    RegistryApi& inner_;
    const AnsiCodePage& codePage_;
    Handle roots_[2];
    std::map<RegKey, Handle> handles_;
    RegKey nextHandle_ = 0x100;
    std::map<NodeId, Node> nodes_;
    std::uint64_t version_ = 0;  // changes with every write, so listings are made again
    PlannedWrites planned_;
    using ValueId = std::tuple<RegKey, std::u32string, std::u32string>;  // root, key, name
    std::set<ValueId> notedValues_;
    std::set<NodeId> notedCreated_;
    std::set<NodeId> notedDeleted_;
    // The nodes behind planned_'s lists, item for item.
    std::vector<ValueId> valueIds_;
    std::vector<NodeId> createdIds_;
    std::vector<NodeId> deletedIds_;
};

}  // namespace zuv
