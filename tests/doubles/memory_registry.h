// An in-memory registry that behaves like the Windows one for everything this program does:
// the two predefined roots, nested creation, names compared without regard to case,
// key classes, raw typed values, Windows result codes and name-length limits.
// It can refuse chosen calls, for fault tests, and counts open handles.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "registry/codepage.h"
#include "registry/registry_api.h"
#include "registry/stored_registry.h"

namespace zuv {

enum class RegCall {
    CreateKeyEx,
    OpenKeyEx,
    CloseKey,
    SetValueEx,
    QueryValueEx,
    DeleteValue,
    DeleteKey,
    QueryInfoKey,
    EnumKeyEx,
    EnumValue,
};

const char* RegCallName(RegCall call);

class MemoryRegistry : public RegistryApi {
public:
    struct Value {
        std::string name;  // as written (ANSI bytes)
        std::uint32_t type = 0;
        std::vector<unsigned char> data;
    };
    struct Key {
        std::string name;      // as created (ANSI bytes)
        std::string keyClass;  // ANSI bytes
        std::map<std::u32string, std::shared_ptr<Key>> subKeys;  // by folded name: sorted
        std::vector<Value> values;                               // sorted by folded name
        bool deleted = false;
        std::uint64_t subKeysVersion = 0;  // changes whenever a sub-key comes or goes
    };

    // Fault injection: called before each platform call with the call and its 1-based
    // sequence number; a non-zero result is returned instead of doing the call.
    // The hook may also throw, to simulate e.g. memory exhaustion.
    using FaultHook = std::function<long(RegCall, std::uint64_t)>;

    explicit MemoryRegistry(const AnsiCodePage& codePage);
    ~MemoryRegistry() override;

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
    std::string ErrorText(long code) override;

    void SetFaultHook(FaultHook hook) { faultHook_ = std::move(hook); }
    // Keys below this root refuse opening or creating with write rights, as HKLM does for
    // a standard user.
    void SetRootReadOnly(RegKey root, bool readOnly);
    std::size_t OpenHandleCount() const { return handles_.size(); }
    std::uint64_t CallCount() const { return calls_; }

    // Direct access for tests (paths in UTF-8, levels separated by '\').
    const Key* FindKey(RegKey root, const std::string& utf8Path) const;
    // A dump of a whole root, one line per key and value, stable for comparisons.
    std::string Dump(RegKey root) const;

private:
    struct Handle {
        std::shared_ptr<Key> key;
        std::uint32_t access;
        RegKey root;
        // Where the last sub-key listing through this handle stopped, so that listing
        // index after index does not walk the sorted map from its start every time.
        std::uint32_t listedIndex = 0;
        std::uint64_t listedVersion = 0;
        std::map<std::u32string, std::shared_ptr<Key>>::const_iterator listed{};
        bool hasListed = false;
    };
    // The key behind a handle, or null with `error` set.
    Key* Resolve(RegKey key, long& error, std::uint32_t* access = nullptr, RegKey* root = nullptr);
    long Before(RegCall call);
    // What a path-taking call starts from: the key behind `key` (kept alive by `start`), the
    // root it lies under, and the path's levels.
    long StartPath(RegKey key, const std::string& subKey, std::shared_ptr<Key>& start,
                   RegKey& rootOf, std::vector<std::string>& levels);
    Value* FindValue(Key& key, const std::string& ansiName);
    std::u32string Fold(const std::string& ansiName) const;
    bool RootReadOnly(RegKey root) const;
    void DumpKey(const Key& key, const std::string& path, std::string& out) const;

    const AnsiCodePage& codePage_;
    std::shared_ptr<Key> currentUser_;
    std::shared_ptr<Key> localMachine_;
    std::map<RegKey, Handle> handles_;
    RegKey nextHandle_ = 0x100;
    std::uint64_t calls_ = 0;
    FaultHook faultHook_;
    bool hklmReadOnly_ = false;
    bool hkcuReadOnly_ = false;
};

// The in-memory registry as stored: text values come out in UTF-16LE, as Windows holds what
// the ANSI functions wrote.
class MemoryStoredRegistry : public StoredRegistry {
public:
    MemoryStoredRegistry(MemoryRegistry& memory, const AnsiCodePage& codePage)
        : memory_(memory), codePage_(codePage) {}
    long ReadKey(RegKey root, const std::string& path, std::vector<StoredValue>& values) override;
    std::string ErrorText(long code) override { return memory_.ErrorText(code); }

private:
    MemoryRegistry& memory_;
    const AnsiCodePage& codePage_;
};

}  // namespace zuv
