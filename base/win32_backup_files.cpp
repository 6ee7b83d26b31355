#include "base/win32_backup_files.h"

#include <algorithm>

#include "base/win32_handle.h"
#include "base/win32_text.h"

namespace zuv {
namespace {

std::wstring Folder(const std::string& folder) {
    std::wstring wide = Widen(folder);
    while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
    return wide;
}

std::vector<std::string> FileNames(const std::wstring& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE first = FindFirstFileW((folder + L"\\*.reg").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return names;
    const UniqueFind search(first);
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) names.push_back(Narrow(found.cFileName));
    } while (FindNextFileW(search.get(), &found));
    return names;
}

// Makes the folder and every missing folder above it.
DWORD MakeFolder(const std::wstring& folder) {
    for (std::size_t at = folder.find(L'\\'); at != std::wstring::npos; at = folder.find(L'\\', at + 1)) {
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    }
    if (CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) {
        return ERROR_SUCCESS;
    }
    return GetLastError();
}

bool WriteAll(HANDLE file, const std::vector<unsigned char>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return FlushFileBuffers(file) != 0;
}

}  // namespace

WrittenBackup WriteBackupFile(const std::string& folder, BackupTime now,
                              const std::vector<unsigned char>& bytes) {
    const std::wstring wideFolder = Folder(folder);
    if (const DWORD code = MakeFolder(wideFolder)) {
        return {{}, "无法创建备份文件夹 " + folder + "：" + SystemErrorText(code)};
    }
    std::vector<std::string> names = FileNames(wideFolder);
    // The file is written whole under a name of its own, flushed, and only then given its
    // backup name, in one step: a program ended half-way leaves no backup cut short.
    // Another apply may take the same name in between: then the next one.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = NextBackupName(now, names);
        const std::wstring path = wideFolder + L"\\" + Widen(name);
        const std::wstring partial = path + L".partial";
        UniqueHandle file = Owned(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr,
                                              CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) {
            const DWORD code = GetLastError();
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
                names.push_back(name);
                continue;
            }
            return {{}, "无法写入备份文件 " + Narrow(path) + "：" + SystemErrorText(code)};
        }
        const bool written = WriteAll(file.get(), bytes);
        DWORD code = written ? ERROR_SUCCESS : GetLastError();
        if (!written && code == ERROR_SUCCESS) code = ERROR_WRITE_FAULT;
        // Closed before the rename; a close that fails is a backup not known to be whole.
        if (!CloseHandle(file.release()) && written) code = GetLastError();
        if (code == ERROR_SUCCESS) {
            if (MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) {
                return {Narrow(path), {}};
            }
            code = GetLastError();
            if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) {
                DeleteFileW(partial.c_str());
                names.push_back(name);
                continue;
            }
        }
        DeleteFileW(partial.c_str());  // a backup cut short is none
        return {{}, "无法写入备份文件 " + Narrow(path) + "：" + SystemErrorText(code)};
    }
    return {{}, "无法写入备份文件：文件夹 " + folder + " 中找不到可用的文件名"};
}

std::string PruneBackups(const std::string& folder, std::size_t keep) {
    const std::wstring wideFolder = Folder(folder);
    std::string error;
    for (const std::string& name : BackupsToPrune(FileNames(wideFolder), keep)) {
        const std::wstring path = wideFolder + L"\\" + Widen(name);
        if (!DeleteFileW(path.c_str()) && error.empty()) {
            error = "无法删除旧的备份文件 " + Narrow(path) + "：" + SystemErrorText(GetLastError());
        }
    }
    return error;
}

BackupTime LocalNow() {
    SYSTEMTIME now{};
    GetLocalTime(&now);
    using namespace std::chrono;
    const year_month_day date{year{now.wYear}, month{now.wMonth}, day{now.wDay}};
    return local_days{date} + hours{now.wHour} + minutes{now.wMinute} + seconds{now.wSecond} +
           milliseconds{now.wMilliseconds};
}

}  // namespace zuv
