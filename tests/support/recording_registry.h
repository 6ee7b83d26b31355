// A RegistryApi that forwards every call to another one and keeps a record of it: which
// function, on which key (handles are resolved back to the full path they were opened
// with), which value, what data went in or came out, and the result code. The record can
// be read as structured calls or as a text log, one line per call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "registry/codepage.h"
#include "tests/doubles/memory_registry.h"
#include "registry/registry_api.h"

namespace zuv::test {

struct RecordedCall {
    RegCall function = RegCall::CloseKey;
    RegKey root = 0;          // the predefined root the key lies under (0 when unknown)
    std::string path;         // full key path, UTF-8, e.g. "HKCU\Software\X\" as passed
    std::string name;         // value name, sub-key name or key class (UTF-8)
    std::uint32_t access = 0;
    std::uint32_t type = 0;   // value type written, or read back
    bool nullData = false;    // SetValueEx with no data pointer; QueryValueEx asking the size
    std::vector<unsigned char> data;  // data written, or read back
    std::uint32_t size = 0;   // buffer size handed in (queries, listings); size out for size queries
    std::uint32_t index = 0;  // listings
    std::uint32_t counts[4] = {0, 0, 0, 0};  // QueryInfoKey results
    std::uint32_t disposition = 0;
    long result = 0;
    bool threw = false;
    std::string exception;        // what was thrown, when threw
    std::size_t handlesOpenBefore = 0;  // from the probe, for opening calls

    bool Succeeded() const { return !threw && result == kErrorSuccess; }
};

// Root prefixes in the log: "HKCU" and "HKLM".
std::string RootPrefix(RegKey root);
const char* TypeName(std::uint32_t type);
std::string Hex(const std::vector<unsigned char>& bytes);

class RecordingRegistry : public RegistryApi {
public:
    // `codePage` turns the ANSI names crossing the boundary back into UTF-8 for the record.
    RecordingRegistry(RegistryApi& inner, const AnsiCodePage& codePage)
        : inner_(inner), codePage_(codePage) {}

    // Shortens paths in the text log: each prefix (longest first) is replaced by its token.
    void SetAbbreviations(std::vector<std::pair<std::string, std::string>> abbreviations);
    // Asked before each opening call, to record how many keys were open at that moment.
    void SetOpenHandleProbe(std::function<std::size_t()> probe) { probe_ = std::move(probe); }

    const std::vector<RecordedCall>& Calls() const { return calls_; }
    // One line per call, each ending in '\n'.
    std::string Log() const;
    std::string Format(const RecordedCall& call) const;
    void Clear() { calls_.clear(); }

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

private:
    struct Opened {
        RegKey root;
        std::string path;
    };
    RecordedCall Start(RegCall function, RegKey key) const;
    // Path and root of a key given as a root or handle plus a sub-key (ANSI).
    Opened Below(RegKey key, const std::string& ansiSubKey) const;
    std::string Utf8(const std::string& ansi) const { return codePage_.ToUtf8(ansi); }
    // Runs the forwarded call, recording a throw and passing it on.
    template <typename F>
    long Forward(RecordedCall& call, F&& f);
    std::string Abbreviate(const std::string& path) const;

    RegistryApi& inner_;
    const AnsiCodePage& codePage_;
    std::map<RegKey, Opened> open_;
    std::vector<RecordedCall> calls_;
    std::vector<std::pair<std::string, std::string>> abbreviations_;
    std::function<std::size_t()> probe_;
};

}  // namespace zuv::test
