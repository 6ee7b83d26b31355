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

// Writes `size` bytes at `data` as the whole file `path`, made new or replaced: into a new file
// beside it, which must turn out to be a file on a disk, flushed and closed, and only then
// renamed over `path` in one step. A failure leaves `path` as it was and no other file behind.
// ERROR_SUCCESS, kNotADiskFile, or the system's error code.
inline constexpr DWORD kNotADiskFile = ERROR_BAD_DEVICE;
DWORD ReplaceWholeFile(const std::wstring& path, const void* data, std::size_t size);

// Reads the whole file `path` into `bytes`. ERROR_SUCCESS, or the system's error code
// (ERROR_FILE_TOO_LARGE for a file over `limit` bytes, ERROR_HANDLE_EOF for one that ended
// before its size).
DWORD ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes,
                    unsigned long long limit);

}  // namespace zuv
