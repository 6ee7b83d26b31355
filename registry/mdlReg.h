// mdlReg: the registry access layer. Every operation opens (or creates) its key, works and
// closes it before returning; results are booleans, the last result code stays in RegStatus.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "registry/codepage.h"
#include "registry/registry_api.h"

namespace zuv {

// A byte array as callers hand it over: `items` is empty (nullopt) for an array that was
// never dimensioned.
struct ByteArray {
    std::optional<std::vector<unsigned char>> items;
};

// The datum handed to SetValue: text, a number, or a byte array.
using RegValue = std::variant<std::string, double, ByteArray>;

// Eight upper-case hexadecimal digits of a whole number from 0 to 4294967295.
std::string DwordToHex(double number);

class mdlReg {
public:
    mdlReg(RegistryApi& api, const AnsiCodePage& codePage) : api_(api), codePage_(codePage) {}

    // Creates the key (with every missing parent) and writes one typed value into it.
    bool SetValue(RegKey root, const std::string& path, const std::string& valueName,
                  const RegValue& value, std::uint32_t type);

    // The value as text: strings as stored, DWORDs in decimal, binary data as upper-case
    // hexadecimal pairs separated by blanks. A missing value reads as the empty text and
    // leaves `type` as preset.
    std::string QueryValue(RegKey root, const std::string& path, const std::string& valueName,
                           std::uint32_t& type);

    // Deletes the named value, or with an empty name the key named by the path's last level.
    bool DeleteEntry(RegKey root, const std::string& path, const std::string& valueName);

    // Lists sub-key names and value names, each sorted without regard to case.
    // Lists whose count is 0 are left as handed in.
    bool EnumerateKey(RegKey root, const std::string& path, std::vector<std::string>& subKeys,
                      std::vector<std::string>& valueNames, std::vector<std::uint32_t>& valueTypes,
                      std::uint32_t& subKeyCount, std::uint32_t& valueCount,
                      std::uint32_t& maxSubKeyLen, std::uint32_t& maxValueNameLen);
    // Sub-key names and value names only.
    bool EnumerateNames(RegKey root, const std::string& path, std::vector<std::string>& subKeys,
                        std::vector<std::string>& valueNames);
    // Sub-key names only.
    bool EnumerateSubKeys(RegKey root, const std::string& path, std::vector<std::string>& subKeys);

    // Result code of the last registry step; 0 is success. SetValue also stores 1 (binary
    // value that is not an array) and 2 (DWORD out of range).
    long RegStatus = 0;

    // The platform's own description of a result code.
    std::string ErrorText(long code) { return api_.ErrorText(code); }

    // Raises the run-time error SetValue would raise for text the code page cannot hold,
    // without touching the registry.
    void RequireRepresentable(const std::string& text) const { (void)codePage_.FromUtf8(text); }

private:
    // Opens a key through `open` (a create or open call handed where to store the key, giving
    // its result code), runs `use` on it when it opened, and closes it before returning on
    // every path. Defined and used in mdlReg.cpp only.
    template <class Open, class Use>
    bool InKey(Open open, Use use);
    bool Write(RegKey key, const std::string& ansiName, const RegValue& value, std::uint32_t type);
    std::string ReadAsText(RegKey key, const std::string& ansiName, std::uint32_t& type);

    RegistryApi& api_;
    const AnsiCodePage& codePage_;
};

// Why SetValue refused to write `value` as `type` when it ended with `status`, in the user's
// words, for the statuses the layer sets itself (1: binary data that is not a byte array,
// 2: a DWORD out of range); empty for a status the platform gave, which ErrorText describes.
std::string RefusalReason(long status, const RegValue& value, std::uint32_t type);

// The order of listed names: code point by code point without regard to case ("Range10"
// before "Range2").
bool NameLess(const std::string& a, const std::string& b);
// Sorts names ascending in that order.
void SortNames(std::vector<std::string>& names);

}  // namespace zuv
