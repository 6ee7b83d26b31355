// The apply command on the real registry of the current user (Win32Registry), for Wine or
// Windows. Not a test: it measures and prints, and fails only when something it measures did
// not work (an apply that reported an error, a window that never showed).
//
//   1. With 0, 100, 1000 and 10000 range keys in each range tree (EscRanges and Ranges, each
//      key with "http" and a ":Range" of another address), the time of one apply of a new
//      IPv4 address, through the same mdlReg and Win32Registry the program uses.
//   2. The floor under that: the fewest registry calls that can tell whether a tree already
//      holds the address (open the tree, ask its size, list every key, open it, read
//      ":Range" once, close), for both trees.
//   3. The time from CreateProcess of ZUVPortalSetting.exe to its window being shown, five
//      runs after one that warms Wine up.
//   4. (--undo) The time of "/undo:original" with one key of 0, 10000, 20000 and 40000
//      values (New Windows\Allow): the original and one later backup name every value, the
//      registry holds them all with other data; the program run whole, from CreateProcess to
//      its exit.
//
// Between apply and floor two more times tell where the difference goes: the apply's range
// search alone, and the registry calls of that search made directly, without mdlReg. The
// calls of one apply and of the floor are counted too.
//
// Each time is the median of 3 to 15 rounds (see kMaxRounds). The range trees are emptied
// before and after the run; what a round adds (the new range key in each tree, the pop-up
// allowance) is removed again, untimed, so every round starts from the same registry.
//
//   zuv_wine_bench [PROGRAM]     PROGRAM: ZUVPortalSetting.exe (Windows or Unix path);
//                                default: beside this program
//   zuv_wine_bench --no-startup  the registry measurements only
//   zuv_wine_bench --undo [PROGRAM]  the undo to the original alone. The user's backup folder
//                                is moved aside for it and put back; the Allow key is emptied
//                                before and after.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "backup/backup_files.h"
#include "backup/win32_backup_files.h"
#include "base/local_time.h"
#include "base/win32_text.h"
#include "browser_config/browser_config.h"
#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "registry/registry_api.h"
#include "registry/win32_registry.h"
#include "window/ZUVPortalSetting.h"
#include "window/layout.h"
#include "window/ui_port.h"

namespace {

using namespace zuv;

// ---------------------------------------------------------------------------------------
// Time

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) * 1000.0 / frequency;  // milliseconds
}

double Median(std::vector<double> samples) {
    if (samples.empty()) return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t mid = samples.size() / 2;
    return samples.size() % 2 == 1 ? samples[mid] : (samples[mid - 1] + samples[mid]) / 2;
}

void Require(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what);
}

void RequireSuccess(LONG rc, const std::string& what) {
    Require(rc == ERROR_SUCCESS, what + ": error " + std::to_string(rc));
}

// ---------------------------------------------------------------------------------------
// The apply as the program runs it

class QuietUi : public UiPort {
public:
    std::string address;
    std::string lastMessage;
    std::string AddressText() override { return address; }
    void ShowMessage(const std::string& text, unsigned, const std::string&) override {
        lastMessage = text;
    }
    void SendTab() override {}
    void Unload() override {}
};

// Forwards to another backend and counts the calls.
class CountingRegistry : public RegistryApi {
public:
    explicit CountingRegistry(RegistryApi& inner) : inner_(inner) {}
    long calls = 0;

    long CreateKeyEx(RegKey root, const std::string& subKey, const std::string& keyClass,
                     std::uint32_t access, bool inheritHandle, RegKey* result,
                     std::uint32_t* disposition) override {
        ++calls;
        return inner_.CreateKeyEx(root, subKey, keyClass, access, inheritHandle, result,
                                  disposition);
    }
    long OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                   RegKey* result) override {
        ++calls;
        return inner_.OpenKeyEx(root, subKey, access, result);
    }
    long CloseKey(RegKey key) override {
        ++calls;
        return inner_.CloseKey(key);
    }
    long SetValueEx(RegKey key, const std::string& valueName, std::uint32_t type,
                    const unsigned char* data, std::uint32_t size) override {
        ++calls;
        return inner_.SetValueEx(key, valueName, type, data, size);
    }
    long QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                      unsigned char* data, std::uint32_t* size) override {
        ++calls;
        return inner_.QueryValueEx(key, valueName, type, data, size);
    }
    long DeleteValue(RegKey key, const std::string& valueName) override {
        ++calls;
        return inner_.DeleteValue(key, valueName);
    }
    long DeleteKey(RegKey key, const std::string& subKey) override {
        ++calls;
        return inner_.DeleteKey(key, subKey);
    }
    long QueryInfoKey(RegKey key, std::uint32_t* subKeys, std::uint32_t* maxSubKeyLen,
                      std::uint32_t* values, std::uint32_t* maxValueNameLen) override {
        ++calls;
        return inner_.QueryInfoKey(key, subKeys, maxSubKeyLen, values, maxValueNameLen);
    }
    long EnumKeyEx(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen) override {
        ++calls;
        return inner_.EnumKeyEx(key, index, name, nameLen);
    }
    long EnumValue(RegKey key, std::uint32_t index, char* name, std::uint32_t* nameLen,
                   std::uint32_t* type) override {
        ++calls;
        return inner_.EnumValue(key, index, name, nameLen, type);
    }
    std::string ErrorText(long code) override { return inner_.ErrorText(code); }

private:
    RegistryApi& inner_;
};

const std::string kTrees[] = {std::string(kZoneMapRoot) + "EscRanges",
                              std::string(kZoneMapRoot) + "Ranges"};

// "10.a.b.c" for the n-th existing range: never an address applied here.
std::string OtherAddress(long n) {
    return "10." + std::to_string(n / 65536 % 256) + "." + std::to_string(n / 256 % 256) + "." +
           std::to_string(n % 256);
}

// A new address for every round: 192.0.2.1 ... 192.0.2.254, then 198.51.100.x, 203.0.113.x.
std::string NewAddress() {
    static int next = 0;
    const char* nets[] = {"192.0.2.", "198.51.100.", "203.0.113."};
    const int n = next++;
    Require(n < 3 * 254, "out of fresh addresses");  // 4 sizes * (15 + 1) rounds
    return nets[n / 254] + std::to_string(n % 254 + 1);
}

// Adds Range<from> ... Range<to> to both trees with the raw API, one key at a time.
void Seed(long from, long to) {
    const BYTE http[4] = {2, 0, 0, 0};
    for (const std::string& tree : kTrees) {
        HKEY treeKey = nullptr;
        RequireSuccess(RegCreateKeyExA(HKEY_CURRENT_USER, tree.c_str(), 0, nullptr, 0,
                                       KEY_ALL_ACCESS, nullptr, &treeKey, nullptr),
                       "create " + tree);
        for (long i = from; i <= to; ++i) {
            const std::string name = "Range" + std::to_string(i);
            const std::string range = OtherAddress(i);
            HKEY key = nullptr;
            RequireSuccess(RegCreateKeyExA(treeKey, name.c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                           nullptr, &key, nullptr),
                           "create " + name);
            RequireSuccess(RegSetValueExA(key, "http", 0, REG_DWORD, http, sizeof http), "set http");
            RequireSuccess(RegSetValueExA(key, ":Range", 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(range.c_str()),
                                          static_cast<DWORD>(range.size() + 1)),
                           "set :Range");
            RegCloseKey(key);
        }
        RegCloseKey(treeKey);
    }
}

void EmptyRangeTrees() {
    for (const std::string& tree : kTrees) {
        const LONG rc = RegDeleteTreeA(HKEY_CURRENT_USER, tree.c_str());
        Require(rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND,
                "cannot empty " + tree + ": error " + std::to_string(rc));
    }
}

// After an apply of `address` with `keys` keys per tree: Range<keys+1> must hold it in both
// trees. Removes it, and the pop-up allowance for the address, so the registry is as before.
void CheckAndUndoApply(const std::string& address, long keys) {
    const std::string added = "Range" + std::to_string(keys + 1);
    for (const std::string& tree : kTrees) {
        HKEY treeKey = nullptr;
        RequireSuccess(RegOpenKeyExA(HKEY_CURRENT_USER, tree.c_str(), 0, KEY_ALL_ACCESS, &treeKey),
                       "open " + tree);
        HKEY key = nullptr;
        RequireSuccess(RegOpenKeyExA(treeKey, added.c_str(), 0, KEY_QUERY_VALUE, &key),
                       "the apply added no " + added + " to " + tree);
        char data[64] = {};
        DWORD size = sizeof data - 1;
        const LONG rc = RegQueryValueExA(key, ":Range", nullptr, nullptr,
                                         reinterpret_cast<BYTE*>(data), &size);
        RegCloseKey(key);
        Require(rc == ERROR_SUCCESS && address == data, added + " does not hold " + address);
        RequireSuccess(RegDeleteKeyA(treeKey, added.c_str()), "delete " + added);
        RegCloseKey(treeKey);
    }
    HKEY allow = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kPopupAllowKey, 0, KEY_SET_VALUE, &allow) == ERROR_SUCCESS) {
        RegDeleteValueA(allow, address.c_str());
        RegCloseKey(allow);
    }
}

struct Apply {
    std::unique_ptr<AnsiCodePage> codePage = MakeSystemCodePage();
    Win32Registry win32;
    CountingRegistry counting{win32};
    mdlReg reg{win32, *codePage};
    mdlReg countedReg{counting, *codePage};
    QuietUi ui;
    ZUVPortalSetting form{ui, reg};
    ZUVPortalSetting countedForm{ui, countedReg};

    Apply() {
        form.Form_Load();
        countedForm.BrowserGeneration = form.BrowserGeneration;
    }

    // One press of the apply button; returns milliseconds.
    double Run(ZUVPortalSetting& which, const std::string& address) {
        ui.address = address;
        ui.lastMessage.clear();
        const double start = Now();
        which.cmdOK_Click();
        const double took = Now() - start;
        Require(ui.lastMessage == kSuccessMessage, "apply of " + address + " failed: " + ui.lastMessage);
        Require(win32.OpenHandleCount() == 0, "the apply left keys open");
        return took;
    }

    // The range search of the apply alone, both trees, as the apply runs it; milliseconds.
    double Search(const std::string& address) {
        const double start = Now();
        for (const char* subTree : {"EscRanges\\", "Ranges\\"}) {
            std::vector<std::string> names;
            Require(FindRangeEntry(reg, address, subTree, names) == RangeSearch::Absent,
                    "the address is already there, or the tree cannot be read");
        }
        return Now() - start;
    }
};

// ---------------------------------------------------------------------------------------
// The floor: the fewest calls that answer "does a range tree hold the address?"

// Returns whether a ":Range" equals the address; adds the calls made to `calls`.
bool FloorSearch(const std::string& tree, const std::string& address, long& calls) {
    HKEY treeKey = nullptr;
    ++calls;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, tree.c_str(), 0, KEY_READ, &treeKey) != ERROR_SUCCESS) {
        return false;
    }
    DWORD subKeys = 0;
    DWORD maxLen = 0;
    ++calls;
    RequireSuccess(RegQueryInfoKeyA(treeKey, nullptr, nullptr, nullptr, &subKeys, &maxLen, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr),
                   "query " + tree);
    std::vector<char> name(maxLen + 1);
    bool found = false;
    for (DWORD i = 0; i < subKeys && !found; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        ++calls;
        RequireSuccess(RegEnumKeyExA(treeKey, i, name.data(), &length, nullptr, nullptr, nullptr,
                                     nullptr),
                       "list " + tree);
        HKEY key = nullptr;
        ++calls;
        if (RegOpenKeyExA(treeKey, name.data(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) continue;
        char data[256] = {};
        DWORD size = sizeof data - 1;
        ++calls;
        if (RegQueryValueExA(key, ":Range", nullptr, nullptr, reinterpret_cast<BYTE*>(data),
                             &size) == ERROR_SUCCESS) {
            found = address == data;
        }
        ++calls;
        RegCloseKey(key);
    }
    ++calls;
    RegCloseKey(treeKey);
    return found;
}

double Floor(const std::string& address, long& calls) {
    calls = 0;
    const double start = Now();
    for (const std::string& tree : kTrees) Require(!FloorSearch(tree, address, calls), "found");
    return Now() - start;
}

// ---------------------------------------------------------------------------------------
// Between floor and apply, to tell where the difference goes

// The raw calls the apply's range search makes, in the same order, without mdlReg around
// them: the tree opened from HKEY_CURRENT_USER, listed and closed, then every key opened by
// its whole path from HKEY_CURRENT_USER and ":Range" read with one query into a 1024-byte
// buffer.
bool ShapedSearch(const std::string& tree, const std::string& address) {
    HKEY treeKey = nullptr;
    const std::string treePath = tree + "\\";
    if (RegOpenKeyExA(HKEY_CURRENT_USER, treePath.c_str(), 0, KEY_READ, &treeKey) != ERROR_SUCCESS) {
        return false;
    }
    DWORD subKeys = 0;
    DWORD maxLen = 0;
    RequireSuccess(RegQueryInfoKeyA(treeKey, nullptr, nullptr, nullptr, &subKeys, &maxLen, nullptr,
                                    nullptr, nullptr, nullptr, nullptr, nullptr),
                   "query " + tree);
    std::vector<std::string> names;
    names.reserve(subKeys);
    std::vector<char> name(std::max<DWORD>(514, maxLen * 2 + 2));
    for (DWORD i = 0; i < subKeys; ++i) {
        DWORD length = static_cast<DWORD>(name.size());
        RequireSuccess(RegEnumKeyExA(treeKey, i, name.data(), &length, nullptr, nullptr, nullptr,
                                     nullptr),
                       "list " + tree);
        names.emplace_back(name.data(), length);
    }
    RegCloseKey(treeKey);
    for (const std::string& each : names) {
        const std::string path = treePath + each + "\\";
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
            continue;
        }
        DWORD type = REG_SZ;
        std::vector<char> data(1024, 0);
        DWORD got = static_cast<DWORD>(data.size() - 1);
        if (RegQueryValueExA(key, ":Range", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &got) == ERROR_SUCCESS &&
            address == data.data()) {
            RegCloseKey(key);
            return true;
        }
        RegCloseKey(key);
    }
    return false;
}

double Shaped(const std::string& address) {
    const double start = Now();
    for (const std::string& tree : kTrees) Require(!ShapedSearch(tree, address), "found");
    return Now() - start;
}

// ---------------------------------------------------------------------------------------
// Start-up

std::wstring BenchFolder() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    const auto slash = folder.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : folder.substr(0, slash);
}

bool Exists(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The shown top-level window of the window class that belongs to the process, or nullptr.
HWND ShownWindowOf(DWORD processId, const std::wstring& className) {
    HWND hwnd = nullptr;
    while ((hwnd = FindWindowExW(nullptr, hwnd, className.c_str(), nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(hwnd, &owner);
        if (owner == processId && IsWindowVisible(hwnd)) return hwnd;
    }
    return nullptr;
}

// Starts the program, waits (at most 30 s) for its window, closes it and waits for the exit.
// Returns the milliseconds from CreateProcess to the shown window.
double StartToWindow(const std::wstring& exe) {
    const std::string layoutClass(layout::kWindowClass);
    const std::wstring className(layoutClass.begin(), layoutClass.end());
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    const double start = Now();
    Require(CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           nullptr, &startup, &process) != FALSE,
            "cannot start the program: error " + std::to_string(GetLastError()));
    HWND window = nullptr;
    double shown = 0;
    while (true) {
        window = ShownWindowOf(process.dwProcessId, className);
        shown = Now();
        if (window != nullptr) break;
        if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0 || shown - start > 30000) break;
        Sleep(1);
    }
    if (window != nullptr) PostMessageW(window, WM_CLOSE, 0, 0);
    if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    Require(window != nullptr, "the program showed no window");
    Require(exitCode == 0, "the program ended with " + std::to_string(exitCode));
    return shown - start;
}

// ---------------------------------------------------------------------------------------

// Rounds per number of keys: at least kMinRounds, then more while the rounds so far took
// less than kRoundsBudgetMs, up to kMaxRounds. Slow rounds (many keys, a slow machine) stop
// early; quick ones give a steadier median.
constexpr int kMinRounds = 3;
constexpr int kMaxRounds = 15;
constexpr double kRoundsBudgetMs = 15000;

struct Row {
    long keys = 0;
    int rounds = 0;
    double seedMs = 0;
    double applyMs = 0;
    double searchMs = 0;
    double shapedMs = 0;
    double floorMs = 0;
    long applyCalls = 0;
    long floorCalls = 0;
};

int Run(const std::wstring& exe) {
    const long sizes[] = {0, 100, 1000, 10000};
    std::vector<Row> rows;
    Apply apply;

    EmptyRangeTrees();
    long seeded = 0;
    std::printf("# apply KEYS ROUNDS SEED_MS APPLY_MS SEARCH_MS SHAPED_MS FLOOR_MS APPLY_CALLS "
                "FLOOR_CALLS\n"
                "#   KEYS range keys per tree; times are medians of ROUNDS rounds:\n"
                "#   APPLY whole apply, SEARCH its range search alone (FindRangeEntry, both trees),\n"
                "#   SHAPED the same registry calls as that search, made directly,\n"
                "#   FLOOR the fewest calls that answer the search; CALLS registry calls made\n");
    std::fflush(stdout);
    for (const long keys : sizes) {
        Row row;
        row.keys = keys;
        const double seedStart = Now();
        Seed(seeded + 1, keys);
        seeded = keys;
        row.seedMs = Now() - seedStart;

        // One untimed round with counted calls; it also warms the server for this size.
        {
            const std::string address = NewAddress();
            apply.counting.calls = 0;
            apply.Run(apply.countedForm, address);
            row.applyCalls = apply.counting.calls;
            CheckAndUndoApply(address, keys);
            Floor(address, row.floorCalls);
        }
        // The measurements take turns, so a slower or faster spell of the machine falls on
        // all of them alike.
        std::vector<double> applyTimes;
        std::vector<double> searchTimes;
        std::vector<double> shapedTimes;
        std::vector<double> floorTimes;
        const double roundsStart = Now();
        while (row.rounds < kMinRounds ||
               (row.rounds < kMaxRounds && Now() - roundsStart < kRoundsBudgetMs)) {
            ++row.rounds;
            const std::string address = NewAddress();
            applyTimes.push_back(apply.Run(apply.form, address));
            CheckAndUndoApply(address, keys);
            searchTimes.push_back(apply.Search(address));
            shapedTimes.push_back(Shaped(address));
            long calls = 0;
            floorTimes.push_back(Floor(address, calls));
        }
        row.applyMs = Median(applyTimes);
        row.searchMs = Median(searchTimes);
        row.shapedMs = Median(shapedTimes);
        row.floorMs = Median(floorTimes);
        rows.push_back(row);
        std::printf("apply %ld %d %.1f %.2f %.2f %.2f %.2f %ld %ld\n", row.keys, row.rounds,
                    row.seedMs, row.applyMs, row.searchMs, row.shapedMs, row.floorMs,
                    row.applyCalls, row.floorCalls);
        std::fflush(stdout);
    }
    EmptyRangeTrees();

    // Where the time goes: calls per range key in a tree, and the cost of one call.
    const Row& big = rows.back();
    const Row& none = rows.front();
    const double keysBoth = 2.0 * static_cast<double>(big.keys);
    const double applyPerKey = static_cast<double>(big.applyCalls - none.applyCalls) / keysBoth;
    const double floorPerKey = static_cast<double>(big.floorCalls - none.floorCalls) / keysBoth;
    std::printf("calls per range key: apply %.2f, floor %.2f (ratio %.2f)\n", applyPerKey,
                floorPerKey, applyPerKey / floorPerKey);
    std::printf("microseconds per registry call at %ld keys: apply %.1f, floor %.1f\n", big.keys,
                big.applyMs * 1000.0 / static_cast<double>(big.applyCalls),
                big.floorMs * 1000.0 / static_cast<double>(big.floorCalls));
    std::printf("fixed part of the apply (no range keys): %ld calls, %.2f ms\n", none.applyCalls,
                none.applyMs);
    std::fflush(stdout);

    // Start-up: one run to warm Wine, then five measured.
    if (!exe.empty()) {
        StartToWindow(exe);
        std::vector<double> times;
        for (int run = 0; run < 5; ++run) times.push_back(StartToWindow(exe));
        std::printf("# startup RUNS MEDIAN_MS MIN_MS MAX_MS: CreateProcess to the window shown\n");
        std::printf("startup %zu %.1f %.1f %.1f\n", times.size(), Median(times),
                    *std::min_element(times.begin(), times.end()),
                    *std::max_element(times.begin(), times.end()));
    }
    return 0;
}

// ---------------------------------------------------------------------------------------
// Undo to the original, one key of many values

constexpr const wchar_t* kAllowKey = L"Software\\Microsoft\\Internet Explorer\\New Windows\\Allow";

std::wstring ValueName(long i) {
    wchar_t name[16];
    std::swprintf(name, 16, L"v%06ld", i);
    return name;
}

// A backup as the tool writes it (UTF-16LE, the mark on the second line): the Allow key with
// `values` values of one byte, `data`.
std::vector<unsigned char> BackupBytes(long values, int data) {
    std::wstring text = L"\xFEFFWindows Registry Editor Version 5.00\r\n; ZUVPortalSetting backup\r\n\r\n"
                        L"[HKEY_CURRENT_USER\\Software\\Microsoft\\Internet Explorer\\New Windows\\Allow]\r\n";
    wchar_t hex[8];
    std::swprintf(hex, 8, L"hex:%02x", data);
    for (long i = 0; i < values; ++i) text += L"\"" + ValueName(i) + L"\"=" + hex + L"\r\n";
    text += L"\r\n";
    std::vector<unsigned char> bytes;
    bytes.reserve(text.size() * 2);
    for (const wchar_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return bytes;
}

void WriteBytes(const std::wstring& path, const std::vector<unsigned char>& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    Require(file != INVALID_HANDLE_VALUE, "cannot write a backup: error " + std::to_string(GetLastError()));
    DWORD written = 0;
    const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                    written == bytes.size();
    CloseHandle(file);
    Require(ok, "cannot write a backup");
}

// Removes every file of the folder.
void EmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found{};
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

// The user's backup folder, moved aside while the benchmark fills its own, and put back.
class OwnBackupFolder {
public:
    OwnBackupFolder() {
        const Result<std::string> folder = BackupFolder();
        Require(folder.Ok(), "no backup folder: " + (folder.Ok() ? std::string() : folder.Error()));
        folder_ = Widen(folder.Value());
        saved_ = folder_ + L".bench-saved";
        Require(GetFileAttributesW(saved_.c_str()) == INVALID_FILE_ATTRIBUTES,
                "a backup folder moved aside by an earlier run is still there: " + Narrow(saved_));
        moved_ = MoveFileW(folder_.c_str(), saved_.c_str()) != FALSE;
        CreateDirectoryW(folder_.c_str(), nullptr);
    }
    ~OwnBackupFolder() {
        EmptyFolder(folder_);
        RemoveDirectoryW(folder_.c_str());
        if (moved_) MoveFileW(saved_.c_str(), folder_.c_str());
    }
    OwnBackupFolder(const OwnBackupFolder&) = delete;
    OwnBackupFolder& operator=(const OwnBackupFolder&) = delete;
    const std::wstring& Path() const { return folder_; }

private:
    std::wstring folder_;
    std::wstring saved_;
    bool moved_ = false;
};

// Runs the program with `arguments`, its output going nowhere, and waits (at most 10 minutes)
// for it to end; its exit code.
DWORD RunProgram(const std::wstring& exe, const std::wstring& arguments) {
    std::wstring commandLine = L"\"" + exe + L"\" " + arguments;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE nowhere = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                       OPEN_EXISTING, 0, nullptr);
    Require(nowhere != INVALID_HANDLE_VALUE, "cannot open NUL");
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nowhere;
    startup.hStdOutput = nowhere;
    startup.hStdError = nowhere;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                        nullptr, nullptr, &startup, &process);
    const DWORD error = GetLastError();
    CloseHandle(nowhere);
    Require(started != FALSE, "cannot start the program: error " + std::to_string(error));
    if (WaitForSingleObject(process.hProcess, 600000) != WAIT_OBJECT_0) {
        TerminateProcess(process.hProcess, 99);
        WaitForSingleObject(process.hProcess, 5000);
    }
    DWORD exitCode = 99;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exitCode;
}

std::vector<unsigned char> AllowValue(long i) {
    std::vector<unsigned char> data(16);
    DWORD size = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, kAllowKey, ValueName(i).c_str(), RRF_RT_ANY, &type, data.data(), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    data.resize(size);
    return data;
}

struct UndoRow {
    long values = 0;
    int rounds = 0;
    double seedMs = 0;
    std::vector<double> times;
};

// One round: the registry holds `values` values with data 1, the original names them with 2 and a
// later backup with 3; "/undo:original" must leave all of them at 2.
double UndoRound(const std::wstring& exe, const OwnBackupFolder& folder, long values, double& seedMs) {
    const double seedStart = Now();
    RegDeleteTreeW(HKEY_CURRENT_USER, kAllowKey);
    HKEY key = nullptr;
    RequireSuccess(RegCreateKeyExW(HKEY_CURRENT_USER, kAllowKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
                   "create the Allow key");
    const BYTE one = 1;
    for (long i = 0; i < values; ++i) {
        RequireSuccess(RegSetValueExW(key, ValueName(i).c_str(), 0, REG_BINARY, &one, 1), "seed a value");
    }
    RegCloseKey(key);
    EmptyFolder(folder.Path());
    const BackupTime now = BackupTimeOf(LocalTimeNow());
    WriteBytes(folder.Path() + L"\\" + Widen(OriginalBackupFileName(now - std::chrono::hours(2))), BackupBytes(values, 2));
    WriteBytes(folder.Path() + L"\\" + Widen(BackupFileName(now - std::chrono::hours(1))), BackupBytes(values, 3));
    seedMs = Now() - seedStart;
    const std::wstring log = folder.Path() + L"\\bench-undo.log";
    const double start = Now();
    const DWORD exitCode = RunProgram(exe, L"/quiet /undo:original \"/log:" + log + L"\"");
    const double took = Now() - start;
    Require(exitCode == 0, "/undo:original ended with " + std::to_string(exitCode));
    for (const long i : {0L, values / 2, values - 1}) {
        if (i >= 0 && values > 0) Require(AllowValue(i) == std::vector<unsigned char>{2}, "a value not restored");
    }
    return took;
}

int RunUndo(const std::wstring& exe) {
    Require(!exe.empty(), "--undo needs the program");
    const OwnBackupFolder folder;
    std::printf("# undo VALUES ROUNDS SEED_MS UNDO_MS MIN_MS MAX_MS\n"
                "#   VALUES values of one key, named by the original and a later backup alike;\n"
                "#   UNDO the median of ROUNDS runs of \"/undo:original\", CreateProcess to exit\n");
    std::fflush(stdout);
    RunProgram(exe, L"/?");  // warms Wine up for the program
    for (const long values : {0L, 10000L, 20000L, 40000L}) {
        UndoRow row;
        row.values = values;
        for (row.rounds = 0; row.rounds < kMinRounds; ++row.rounds) {
            double seedMs = 0;
            row.times.push_back(UndoRound(exe, folder, values, seedMs));
            row.seedMs = std::max(row.seedMs, seedMs);
        }
        std::printf("undo %ld %d %.1f %.1f %.1f %.1f\n", row.values, row.rounds, row.seedMs, Median(row.times),
                    *std::min_element(row.times.begin(), row.times.end()),
                    *std::max_element(row.times.begin(), row.times.end()));
        std::fflush(stdout);
    }
    RegDeleteTreeW(HKEY_CURRENT_USER, kAllowKey);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const bool undo = argc > 1 && std::wstring(argv[1]) == L"--undo";
    if (undo) {
        --argc;
        ++argv;
    }
    std::wstring exe = argc > 1 ? std::wstring(argv[1]) : BenchFolder() + L"\\ZUVPortalSetting.exe";
    if (argc > 1 && exe == L"--no-startup") exe.clear();
    if (!exe.empty() && exe.front() == L'/') {
        // A Unix path, as Wine's drive Z: shows it.
        std::replace(exe.begin(), exe.end(), L'/', L'\\');
        exe = L"Z:" + exe;
    }
    if (!exe.empty() && !Exists(exe)) {
        std::fprintf(stderr, "zuv_wine_bench: program not found: %ls\n", exe.c_str());
        return 2;
    }
    try {
        return undo ? RunUndo(exe) : Run(exe);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "zuv_wine_bench: %s\n", error.what());
        try {
            EmptyRangeTrees();
        } catch (...) {
        }
        return 1;
    }
}
