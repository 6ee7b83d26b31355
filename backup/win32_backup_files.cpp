#include "backup/win32_backup_files.h"

#include <algorithm>

#include <shlobj.h>

#include <memory>

#include "backup/backup_document.h"
#include "base/win32_file.h"
#include "base/win32_handle.h"
#include "base/win32_text.h"

namespace zuv {
namespace {

std::wstring Folder(const std::string& folder) {
    std::wstring wide = Widen(folder);
    while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
    return wide;
}

// The names in the folder: its files only, or every entry (folders too).
std::vector<std::string> Names(const std::wstring& folder, bool filesOnly) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found{};
    HANDLE first = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (first == INVALID_HANDLE_VALUE) return names;
    const UniqueFind search(first);
    do {
        const std::wstring_view name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!filesOnly || !isFolder) names.push_back(Narrow(name));
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

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Whether a file could not be made at `path` because something is there already: a file, a
// folder (which Windows refuses as access denied) or a file another program has open.
bool Taken(DWORD code, const std::wstring& path) {
    return code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS ||
           ((code == ERROR_ACCESS_DENIED || code == ERROR_SHARING_VIOLATION) && Exists(path));
}

enum class Outcome { Written, NameTaken, Failed };

// Writes `bytes` as the new file `name` of the folder: whole, under a name of its own, flushed,
// and only then given `name`, in one step, so that a program ended half-way leaves no file cut
// short under it. NameTaken when something has that name (or took the file in between).
Outcome WriteNewFile(const std::wstring& folder, const std::string& name,
                     const std::vector<unsigned char>& bytes, DWORD& code) {
    const std::wstring path = folder + L"\\" + Widen(name);
    const std::wstring partial = path + L".partial";
    code = ERROR_SUCCESS;
    if (Exists(path)) return Outcome::NameTaken;
    UniqueHandle file = Owned(CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
        code = GetLastError();
        return Taken(code, partial) ? Outcome::NameTaken : Outcome::Failed;
    }
    const bool written = WriteAll(file.get(), bytes.data(), bytes.size()) && FlushFileBuffers(file.get());
    code = written ? ERROR_SUCCESS : GetLastError();
    if (!written && code == ERROR_SUCCESS) code = ERROR_WRITE_FAULT;
    // Closed before the rename; a close that fails is a file not known to be whole.
    if (!CloseHandle(file.release()) && written) code = GetLastError();
    if (code == ERROR_SUCCESS) {
        if (MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH)) return Outcome::Written;
        code = GetLastError();
        // The name was taken in between, or another apply took this unfinished file for a
        // leftover: again under another name.
        const bool again = Taken(code, path) || code == ERROR_FILE_NOT_FOUND;
        DeleteFileW(partial.c_str());
        return again ? Outcome::NameTaken : Outcome::Failed;
    }
    DeleteFileW(partial.c_str());  // a file cut short is none
    return Outcome::Failed;
}

// The kind of each file of the folder, read when asked. A file too large for any backup of the
// tool's, or one that cannot be read, is Foreign.
KindOfFile KindsIn(const std::wstring& folder) {
    return [folder](const std::string& name) {
        std::vector<unsigned char> bytes;
        if (ReadWholeFile(folder + L"\\" + Widen(name), bytes, kLargestBackup) != ERROR_SUCCESS) {
            return BackupKind::Foreign;
        }
        return KindOfBackup(bytes);
    };
}

}  // namespace

Result<std::string> ProgramFolder() {
    PWSTR raw = nullptr;
    const HRESULT found = SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw);
    const std::unique_ptr<wchar_t, decltype(&CoTaskMemFree)> path(raw, &CoTaskMemFree);
    if (FAILED(found) || !path) {
        return Failure{"找不到当前用户的本地应用数据文件夹（" +
                       SystemErrorText(static_cast<DWORD>(found)) + "）"};
    }
    const std::wstring folder = std::wstring(path.get()) + L"\\ZUVPortalSetting";
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
        return Failure{"无法创建文件夹 " + Narrow(folder) + "（" + SystemErrorText(GetLastError()) + "）"};
    }
    return Narrow(folder);
}

Result<std::string> BackupFolder() {
    Result<std::string> folder = ProgramFolder();
    if (!folder) return folder;
    return std::move(folder).Value() + "\\backup";
}

Result<std::string> WriteBackupFile(const std::string& folder, BackupTime now,
                                    const std::vector<unsigned char>& bytes) {
    const std::wstring wideFolder = Folder(folder);
    if (const DWORD code = MakeFolder(wideFolder)) {
        return Failure{"无法创建备份文件夹 " + folder + "：" + SystemErrorText(code)};
    }
    for (const std::string& name : Names(wideFolder, true)) {
        if (IsUnfinishedBackup(name)) DeleteFileW((wideFolder + L"\\" + Widen(name)).c_str());
    }
    // Every name in the folder, folders too, is one a new backup cannot have.
    std::vector<std::string> names = Names(wideFolder, false);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = NextBackupName(now, names);
        DWORD code = ERROR_SUCCESS;
        switch (WriteNewFile(wideFolder, name, bytes, code)) {
        case Outcome::Written:
            return Narrow(wideFolder + L"\\" + Widen(name));
        case Outcome::NameTaken:
            names.push_back(name);
            continue;
        case Outcome::Failed:
            return Failure{"无法写入备份文件 " + Narrow(wideFolder + L"\\" + Widen(name)) + "：" +
                           SystemErrorText(code)};
        }
    }
    return Failure{"无法写入备份文件：文件夹 " + folder + " 中找不到可用的文件名"};
}

Result<> KeepOriginalBackup(const std::string& folder, BackupTime now) {
    const std::wstring wideFolder = Folder(folder);
    const auto source = BackupToKeepAsOriginal(Names(wideFolder, true), now, KindsIn(wideFolder));
    if (!source) return Done{};
    const std::wstring sourcePath = wideFolder + L"\\" + Widen(*source);
    std::vector<unsigned char> bytes;
    DWORD code = ReadWholeFile(sourcePath, bytes, kLargestBackup);
    if (code != ERROR_SUCCESS) {
        return Failure{"无法读取备份文件 " + Narrow(sourcePath) + "：" + SystemErrorText(code)};
    }
    const std::string name = OriginalBackupFileName(*BackupFileTime(*source));
    // Taken: another apply kept the same original just now; an original is never replaced.
    if (WriteNewFile(wideFolder, name, bytes, code) == Outcome::Failed) {
        return Failure{"无法写入备份文件 " + Narrow(wideFolder + L"\\" + Widen(name)) + "：" +
                       SystemErrorText(code)};
    }
    return Done{};
}

std::string OriginalBackupPath(const std::string& folder) {
    const std::wstring wideFolder = Folder(folder);
    const auto original = FindOriginalBackup(Names(wideFolder, true), KindsIn(wideFolder));
    return original ? Narrow(wideFolder + L"\\" + Widen(*original)) : std::string();
}

Result<> PruneBackups(const std::string& folder, BackupTime now, std::size_t keep) {
    const std::wstring wideFolder = Folder(folder);
    std::string error;
    for (const std::string& name : BackupsToPrune(Names(wideFolder, true), now, keep)) {
        const std::wstring path = wideFolder + L"\\" + Widen(name);
        if (!DeleteFileW(path.c_str()) && error.empty()) {
            error = "无法删除旧的备份文件 " + Narrow(path) + "：" + SystemErrorText(GetLastError());
        }
    }
    if (error.empty()) return Done{};
    return Failure{error};
}

}  // namespace zuv
