// The registry as it is stored, read exactly, for the backup taken before an apply: each value's
// type and data as the registry holds them (text in UTF-16LE, as Windows stores it whichever
// function wrote it), not as the ANSI functions hand them out.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "registry/registry_api.h"

namespace zuv {

struct StoredValue {
    std::string name;  // UTF-8; empty for the default value
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
};

class StoredRegistry {
public:
    virtual ~StoredRegistry() = default;
    // Every value of the key at `path` (UTF-8) below `root`: kErrorSuccess,
    // kErrorFileNotFound when there is no such key, or the code of what went wrong.
    virtual long ReadKey(RegKey root, const std::string& path, std::vector<StoredValue>& values) = 0;
    // The platform's own description of a result code, UTF-8.
    virtual std::string ErrorText(long code) = 0;
};

}  // namespace zuv
