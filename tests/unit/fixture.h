// An in-memory registry with the program's registry layer on top, and ways to look inside.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "browser_config/apply_outcome.h"
#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "tests/doubles/memory_registry.h"

namespace zuv::test {

struct RawValue {
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
    bool operator==(const RawValue&) const = default;
};

inline std::vector<unsigned char> Bytes(std::initializer_list<int> list) {
    std::vector<unsigned char> out;
    for (int b : list) out.push_back(static_cast<unsigned char>(b));
    return out;
}

inline std::vector<unsigned char> TextBytes(const std::string& text) {
    std::vector<unsigned char> out(text.begin(), text.end());
    out.push_back(0);
    return out;
}

class RegistryFixture : public ::testing::Test {
protected:
    std::unique_ptr<AnsiCodePage> codePage = MakeSystemCodePage();
    MemoryRegistry memory{*codePage};
    mdlReg reg{memory, *codePage};
    // Where the configuration steps under test note refused writes.
    ApplyOutcome outcome;

    // The value as stored, or nothing when the key or value is missing. Paths and names UTF-8.
    std::optional<RawValue> Raw(const std::string& path, const std::string& name,
                                RegKey root = kHkeyCurrentUser) const {
        const MemoryRegistry::Key* key = memory.FindKey(root, path);
        if (key == nullptr) return std::nullopt;
        const std::string ansi = codePage->FromUtf8(name);
        for (const auto& v : key->values) {
            if (CompareKey(v.name, ansi)) return RawValue{v.type, v.data};
        }
        return std::nullopt;
    }
    bool HasKey(const std::string& path, RegKey root = kHkeyCurrentUser) const {
        return memory.FindKey(root, path) != nullptr;
    }
    std::vector<std::string> SubKeys(const std::string& path) const {
        std::vector<std::string> out;
        if (const auto* key = memory.FindKey(kHkeyCurrentUser, path)) {
            for (const auto& entry : key->subKeys) out.push_back(codePage->ToUtf8(entry.second->name));
        }
        return out;
    }
    std::size_t ValueCount(const std::string& path) const {
        const auto* key = memory.FindKey(kHkeyCurrentUser, path);
        return key == nullptr ? 0 : key->values.size();
    }
    RawValue Dword(std::uint32_t n) const {
        return RawValue{kRegDword, Bytes({static_cast<int>(n & 0xFF), static_cast<int>((n >> 8) & 0xFF),
                                          static_cast<int>((n >> 16) & 0xFF),
                                          static_cast<int>(n >> 24)})};
    }
    RawValue Sz(const std::string& utf8) const { return RawValue{kRegSz, TextBytes(codePage->FromUtf8(utf8))}; }

    // Writes a value directly, bypassing the layer under test.
    void Put(const std::string& path, const std::string& name, std::uint32_t type,
             const std::vector<unsigned char>& data, RegKey root = kHkeyCurrentUser) {
        RegKey key = 0;
        ASSERT_EQ(memory.CreateKeyEx(root, codePage->FromUtf8(path), "", kWriteAccess, false, &key, nullptr), 0);
        ASSERT_EQ(memory.SetValueEx(key, codePage->FromUtf8(name), type, data.data(),
                                    static_cast<std::uint32_t>(data.size())), 0);
        ASSERT_EQ(memory.CloseKey(key), 0);
    }
    void PutKey(const std::string& path) {
        RegKey key = 0;
        ASSERT_EQ(memory.CreateKeyEx(kHkeyCurrentUser, codePage->FromUtf8(path), "", kWriteAccess, false, &key, nullptr), 0);
        ASSERT_EQ(memory.CloseKey(key), 0);
    }

private:
    bool CompareKey(const std::string& a, const std::string& b) const;
};

}  // namespace zuv::test
