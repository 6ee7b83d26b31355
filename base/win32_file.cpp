#include "base/win32_file.h"

#include <algorithm>

#include "base/local_time.h"
#include "base/win32_handle.h"

namespace zuv {

bool WriteAll(HANDLE file, const void* data, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes + done, chunk, &written, nullptr)) return false;
        if (written == 0) {
            SetLastError(ERROR_WRITE_FAULT);
            return false;
        }
        done += written;
    }
    return true;
}

DWORD ReplaceWholeFile(const std::wstring& path, const void* data, std::size_t size) {
    // A name of its own beside the file: never one that is there already.
    std::wstring partial;
    UniqueHandle file;
    DWORD code = ERROR_SUCCESS;
    for (int attempt = 0; attempt < 100 && !file; ++attempt) {
        partial = path + L"." + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(attempt) +
                  L".partial";
        file = Owned(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        code = file ? ERROR_SUCCESS : GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) break;
    }
    if (!file) return code;
    if (GetFileType(file.get()) != FILE_TYPE_DISK) {
        code = kNotADiskFile;
    } else if (!WriteAll(file.get(), data, size) || !FlushFileBuffers(file.get())) {
        code = GetLastError();
        if (code == ERROR_SUCCESS) code = ERROR_WRITE_FAULT;
    }
    // Closed before the rename; a close that fails is a file not known to be whole.
    if (!CloseHandle(file.release()) && code == ERROR_SUCCESS) code = GetLastError();
    if (code == ERROR_SUCCESS &&
        !MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        code = GetLastError();
    }
    if (code != ERROR_SUCCESS) DeleteFileW(partial.c_str());
    return code;
}

DWORD ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes,
                    unsigned long long limit) {
    const UniqueHandle file = Owned(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return GetLastError();
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file.get(), &size)) return GetLastError();
    if (static_cast<unsigned long long>(size.QuadPart) > limit) return ERROR_FILE_TOO_LARGE;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), 0);
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        if (!ReadFile(file.get(), bytes.data() + done, chunk, &read, nullptr)) return GetLastError();
        if (read == 0) return ERROR_HANDLE_EOF;
        done += read;
    }
    return ERROR_SUCCESS;
}

LocalTime LocalTimeNow() {
    FILETIME utc{};
    GetSystemTimeAsFileTime(&utc);
    FILETIME local{};
    FileTimeToLocalFileTime(&utc, &local);
    SYSTEMTIME t{};
    FileTimeToSystemTime(&local, &t);
    const auto ticks = [](const FILETIME& f) {
        return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) |
                                      f.dwLowDateTime);
    };
    constexpr long long kTicksPerMinute = 600000000;
    const long long offset = (ticks(local) - ticks(utc)) / kTicksPerMinute;
    return LocalTime{t.wYear,   t.wMonth,  t.wDay,          t.wHour,
                     t.wMinute, t.wSecond, t.wMilliseconds, static_cast<int>(offset)};
}

}  // namespace zuv
