// Whole files on Windows: written in full, read in full. Paths are UTF-16.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace zuv {

// Writes all `size` bytes at `data` to `file`, in pieces of at most 1 MiB. False, with the
// system's error code in GetLastError(), when a piece is refused or not written.
bool WriteAll(HANDLE file, const void* data, std::size_t size);

// Reads the whole file `path` into `bytes`. ERROR_SUCCESS, or the system's error code
// (ERROR_FILE_TOO_LARGE for a file over `limit` bytes, ERROR_HANDLE_EOF for one that ended
// before its size).
DWORD ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes,
                    unsigned long long limit);

}  // namespace zuv
