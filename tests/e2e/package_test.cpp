// The machine package under Wine: installed, upgraded and removed by Wine's msiexec as the
// system installs it, and each user's logon played by zuv_active_setup (Windows' Active Setup,
// which Wine lacks), which runs the program's /logon. The packages are this build's, made by
// scripts/msi as the release makes them: the project's version, a higher and a lower one.
#include <gtest/gtest.h>

#include <msxml2.h>
#include <shlobj.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "browser_config/address_rule.h"
#include "browser_config/site_list.h"
#include "driver.h"
#include "package/package_settings.h"

namespace zuv::e2e {
namespace {

using namespace std::chrono_literals;

constexpr const wchar_t* kMachine = L"SOFTWARE\\ZUVPortalSetting";
constexpr const wchar_t* kEntry =
    L"SOFTWARE\\Microsoft\\Active Setup\\Installed Components\\{46196FF7-D154-49D3-AA10-5C25DEBC0A6D}";
constexpr const wchar_t* kRecord = L"Software\\ZUVPortalSetting";
constexpr const wchar_t* kEdge = L"SOFTWARE\\Policies\\Microsoft\\Edge";
constexpr const wchar_t* kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const char* kEntryName = "{46196FF7-D154-49D3-AA10-5C25DEBC0A6D}";
// Exit codes of msiexec. Wine hands a program's exit code on in 8 bits: 1603 arrives as 67.
constexpr DWORD kInstallFailure = 1603;

bool InstallFailed(DWORD code) { return code == kInstallFailure || code == (kInstallFailure & 0xFF); }

std::wstring PackageFile(const char* version) {
    return WindowsPath(ZUV_TEST_PACKAGES) + L"\\ZUVPortalSetting-" + Widen(version) + L"-x64.msi";
}

std::wstring ProgramFolder() {
    PWSTR raw = nullptr;
    SHGetKnownFolderPath(FOLDERID_ProgramFiles, 0, nullptr, &raw);
    const std::wstring folder = raw ? std::wstring(raw) + L"\\ZUVPortalSetting" : std::wstring();
    CoTaskMemFree(raw);
    return folder;
}
std::wstring ProgramFile() { return ProgramFolder() + L"\\ZUVPortalSetting.exe"; }
std::wstring SiteListFile() { return ProgramFolder() + L"\\ZUVPortalSetting-sites.xml"; }
std::wstring SiteListUrl() { return Widen(package::FileUrl(Narrow(SiteListFile()))); }

bool FileThere(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::wstring> Text(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t value[2048];
    DWORD size = sizeof value;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return std::wstring(value);
}
std::optional<DWORD> Dword(HKEY root, const std::wstring& key, const wchar_t* name) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_DWORD, nullptr, &value, &size) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}
bool KeyThere(HKEY root, const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return false;
    RegCloseKey(opened);
    return true;
}
void SetText(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                              static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
}
void SetDword(HKEY root, const std::wstring& key, const wchar_t* name, DWORD value) {
    ASSERT_EQ(RegSetKeyValueW(root, key.c_str(), name, REG_DWORD, &value, sizeof value), ERROR_SUCCESS);
}
std::vector<std::wstring> SubKeys(HKEY root, const std::wstring& key) {
    std::vector<std::wstring> names;
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) return names;
    wchar_t name[256];
    for (DWORD i = 0;; ++i) {
        DWORD length = 256;
        if (RegEnumKeyExW(opened, i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, length);
    }
    RegCloseKey(opened);
    return names;
}

// The uninstall entries of the package (Programs and Features).
std::vector<std::wstring> UninstallEntries() {
    std::vector<std::wstring> entries;
    for (const std::wstring& name : SubKeys(HKEY_LOCAL_MACHINE, kUninstall)) {
        if (Text(HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"\\" + name, L"DisplayName") == L"ZUVPortalSetting") {
            entries.push_back(name);
        }
    }
    return entries;
}

std::string Stamp() { return Narrow(Text(HKEY_LOCAL_MACHINE, kMachine, L"Settings").value_or(L"")); }

struct Installer {
    DWORD exitCode = 0xFFFFFFFF;
    std::string log;  // the installer's log, UTF-8
};

// msiexec with these arguments, quiet, with a verbose log kept in the artefacts folder.
Installer Msiexec(std::vector<std::wstring> arguments, const std::wstring& logName) {
    const std::wstring log = ArtifactsFolder() + L"\\" + logName;
    DeleteFileW(log.c_str());
    arguments.insert(arguments.end(), {L"/qn", L"/l*v", log});
    Installer installer;
    std::string error;
    const auto run = RunToEnd(L"msiexec.exe", arguments, error, 300s);
    if (!run) {
        ADD_FAILURE() << "msiexec: " << error;
        return installer;
    }
    installer.exitCode = run->exitCode;
    std::ifstream in(log.c_str(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    installer.log = Narrow(WideFrom(CP_ACP, bytes));  // the installer writes its log in the ANSI code page
    return installer;
}

// The lines of the log that the package's custom actions wrote, for failure messages.
std::string PackageLines(const std::string& log) {
    std::istringstream in(log);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.find("ZUVPortalSetting：") != std::string::npos || line.find("Zuv") != std::string::npos) out += line + "\n";
    }
    return out;
}

// One logon of the current user, as Windows runs Active Setup: the lines of the stubs run.
std::string LogonPass() {
    std::string error;
    const auto run = RunToEnd(WindowsPath(ZUV_ACTIVE_SETUP), {}, error, 300s);
    if (!run) return "zuv_active_setup: " + error;
    if (run->exitCode != 0) return "zuv_active_setup exit " + std::to_string(run->exitCode) + ": " + run->output;
    return run->output;
}
std::string RanOurs() { return std::string("ran ") + kEntryName + " exit 0: \"" + Narrow(ProgramFile()) + "\" /logon"; }

DWORD Check(const std::wstring& address) {
    std::string error;
    const auto run = RunToEnd({L"/check:" + address}, error);
    return run ? run->exitCode : 0xFFFFFFFF;
}

std::wstring BackupFolder() {
    PWSTR raw = nullptr;
    SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &raw);
    const std::wstring folder = raw ? std::wstring(raw) + L"\\ZUVPortalSetting\\backup" : std::wstring();
    CoTaskMemFree(raw);
    return folder;
}

// The site list as MSXML reads it: empty when it is a schema v.2 list whose one entry opens
// `address` in IE 11 mode, otherwise what is wrong.
std::string SiteListProblem(const std::wstring& file, const std::wstring& address) {
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    CLSID documentClass{};
    if (FAILED(CLSIDFromProgID(L"Msxml2.DOMDocument.3.0", &documentClass))) return "no MSXML";
    IXMLDOMDocument* document = nullptr;
    if (FAILED(CoCreateInstance(documentClass, nullptr, CLSCTX_INPROC_SERVER, IID_IXMLDOMDocument,
                                reinterpret_cast<void**>(&document)))) {
        return "no MSXML document";
    }
    std::string problem;
    const auto node = [&](const std::wstring& query) -> std::optional<std::wstring> {
        IXMLDOMNode* found = nullptr;
        BSTR text = SysAllocString(query.c_str());
        const HRESULT hr = document->selectSingleNode(text, &found);
        SysFreeString(text);
        if (hr != S_OK || found == nullptr) return std::nullopt;
        BSTR value = nullptr;
        found->get_text(&value);
        std::wstring result = value ? value : L"";
        SysFreeString(value);
        found->Release();
        return result;
    };
    document->put_async(VARIANT_FALSE);
    VARIANT source;
    VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = SysAllocString(file.c_str());
    VARIANT_BOOL loaded = VARIANT_FALSE;
    document->load(source, &loaded);
    VariantClear(&source);
    if (loaded != VARIANT_TRUE) {
        problem = "not well-formed XML";
    } else if (const auto version = node(L"/site-list/@version");
               !version || version->empty() || version->find_first_not_of(L"0123456789") != std::wstring::npos) {
        problem = "no <site-list version=\"N\">";
    } else if (IXMLDOMNodeList* sites = nullptr;
               document->selectNodes(SysAllocString(L"/site-list/site"), &sites) != S_OK || sites == nullptr) {
        problem = "no <site>";
    } else {
        long count = 0;
        sites->get_length(&count);
        sites->Release();
        if (count != 1) problem = std::to_string(count) + " <site> entries";
        if (!node(L"/site-list/site[@url='" + address + L"'][compat-mode='Default'][open-in='IE11']")) {
            problem += " no <site url=\"" + Narrow(address) + "\"> in IE11 with compat-mode Default";
        }
    }
    document->Release();
    return problem;
}

// Every test starts and ends on a machine without the package and a user it never reached.
class Package : public ::testing::Test {
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }

    static void Clean() {
        for (const std::wstring& product : UninstallEntries()) {
            const Installer removed = Msiexec({L"/x", product}, L"package-cleanup.log");
            EXPECT_EQ(removed.exitCode, 0u) << Narrow(product) << "\n" << PackageLines(removed.log);
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kMachine);
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, kEntry);
        for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            RegDeleteKeyValueW(root, kEdge, L"InternetExplorerIntegrationLevel");
            RegDeleteKeyValueW(root, kEdge, L"InternetExplorerIntegrationSiteList");
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kEntry);
        RegDeleteTreeW(HKEY_CURRENT_USER, kRecord);
        reg::RemoveProgramOutput();
        // The user's backups: the first apply of each test makes the original.
        WIN32_FIND_DATAW found{};
        const std::wstring folder = BackupFolder();
        HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do {
                if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
                    DeleteFileW((folder + L"\\" + found.cFileName).c_str());
                }
            } while (FindNextFileW(search, &found));
            FindClose(search);
        }
    }

    static void Install(const char* version, std::vector<std::wstring> properties, const wchar_t* log) {
        properties.insert(properties.begin(), {L"/i", PackageFile(version)});
        const Installer installed = Msiexec(properties, log);
        ASSERT_EQ(installed.exitCode, 0u) << PackageLines(installed.log);
    }
};

TEST_F(Package, InstallPutsTheProgramTheLogonEntryAndTheUninstallEntryInPlace) {
    const Installer installed = Msiexec({L"/i", PackageFile(ZUV_PROJECT_VERSION), L"PORTALADDRESS=portal.example.com"},
                                        L"package-install.log");
    ASSERT_EQ(installed.exitCode, 0u) << PackageLines(installed.log);
    EXPECT_TRUE(FileThere(ProgramFile())) << Narrow(ProgramFile());
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kEntry, L""), L"ZUVPortalSetting");
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kEntry, L"StubPath"), L"\"" + ProgramFile() + L"\" /logon");
    EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, kEntry, L"IsInstalled"), 1u);
    const std::string stamp = Stamp();
    EXPECT_TRUE(package::ParseStamp(stamp)) << stamp;
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kEntry, L"Version"), Widen(stamp));
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachine, L"Address"), L"portal.example.com");
    for (const wchar_t* name : {L"Https", L"IeMode", L"Retire"}) {
        EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, kMachine, name), 0u) << Narrow(name);
    }
    const std::vector<std::wstring> entries = UninstallEntries();
    ASSERT_EQ(entries.size(), 1u);
    const std::wstring entry = std::wstring(kUninstall) + L"\\" + entries[0];
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion"), Widen(ZUV_PROJECT_VERSION));
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, entry, L"Publisher"), L"ZUV");
    EXPECT_NE(installed.log.find("ZUVPortalSetting：门户地址 portal.example.com，HTTPS=0，IEMODE=0，RETIRE=0；设置标记 " +
                                 stamp + "（新的标记"),
              std::string::npos)
        << PackageLines(installed.log);
}

TEST_F(Package, APackageWithItsAddressBuiltInNeedsNoProperties) {
    const std::wstring builtIn = WindowsPath(ZUV_TEST_PACKAGES) + L"\\ZUVPortalSetting-" +
                                 Widen(ZUV_PROJECT_VERSION) + L"-x64-gpo.example.com.msi";
    const Installer installed = Msiexec({L"/i", builtIn}, L"package-built-in.log");
    ASSERT_EQ(installed.exitCode, 0u) << PackageLines(installed.log);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachine, L"Address"), L"gpo.example.com");
    EXPECT_EQ(LogonPass(), RanOurs() + "\r\n");
    EXPECT_EQ(Check(L"gpo.example.com"), 0u);
    // The command line still wins over the address built in.
    const Installer other = Msiexec({L"/i", builtIn, L"PORTALADDRESS=other.example.com"}, L"package-built-in.log");
    ASSERT_EQ(other.exitCode, 0u) << PackageLines(other.log);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachine, L"Address"), L"other.example.com");
}

TEST_F(Package, AnInstallTheCheckRefusesInstallsNothingAndLogsWhy) {
    struct Case {
        std::vector<std::wstring> properties;
        std::string mustSay;
    };
    const Case cases[] = {
        {{}, "没有给出门户地址：请在 msiexec 的命令行中给出 PORTALADDRESS="},
        // the program's own address rule, with its own message
        {{L"PORTALADDRESS=http://portal/app"},
         "门户地址 PORTALADDRESS=“http://portal/app”不能使用：" + *WhyAddressRefused("http://portal/app")},
        {{L"PORTALADDRESS=portal:8080"}, "门户地址 PORTALADDRESS=“portal:8080”不能使用：" + *WhyAddressRefused("portal:8080")},
        {{L"PORTALADDRESS=user@portal"}, "门户地址 PORTALADDRESS=“user@portal”不能使用：" + *WhyAddressRefused("user@portal")},
        {{L"PORTALADDRESS=portal", L"HTTPS=yes"}, "HTTPS=“yes”不能识别：只能是 1（是）或 0（否）"},
        {{L"PORTALADDRESS=portal", L"RETIRE=2"}, "RETIRE=“2”不能识别"},
    };
    for (const Case& c : cases) {
        std::vector<std::wstring> arguments{L"/i", PackageFile(ZUV_PROJECT_VERSION)};
        arguments.insert(arguments.end(), c.properties.begin(), c.properties.end());
        const Installer refused = Msiexec(arguments, L"package-refused.log");
        EXPECT_TRUE(InstallFailed(refused.exitCode)) << c.mustSay << ": exit " << refused.exitCode;
        EXPECT_NE(refused.log.find("ZUVPortalSetting：未安装任何内容：" + c.mustSay), std::string::npos)
            << c.mustSay << "\n" << PackageLines(refused.log);
        EXPECT_FALSE(FileThere(ProgramFolder())) << c.mustSay;
        EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, kMachine)) << c.mustSay;
        EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, kEntry)) << c.mustSay;
        EXPECT_TRUE(UninstallEntries().empty()) << c.mustSay;
    }
}

TEST_F(Package, EachUserIsSetUpOnceAtLogonOrByHandBefore) {
    // Without the package there is nothing to apply: recorded as failed, exit 2.
    std::string error;
    auto logon = RunToEnd({L"/logon"}, error);
    ASSERT_TRUE(logon) << error;
    EXPECT_EQ(logon->exitCode, 2u) << logon->output;
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Result"), L"failed");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Settings"), L"");
    EXPECT_TRUE(Narrow(Text(HKEY_CURRENT_USER, kRecord, L"Message").value_or(L"")).starts_with("未设置：本机没有"));

    Install(ZUV_PROJECT_VERSION, {L"PORTALADDRESS=portal.example.com"}, L"package-logon.log");
    EXPECT_EQ(Check(L"portal.example.com"), 3u) << "not trusted before the logon";
    EXPECT_EQ(LogonPass(), RanOurs() + "\r\n");
    EXPECT_EQ(Check(L"portal.example.com"), 0u) << "trusted after it";
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Settings"), Widen(Stamp()));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Result"), L"applied");
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, kRecord, L"ExitCode"), 0u);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Address"), L"portal.example.com");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Version"), Widen(ZUV_PROJECT_VERSION));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Message"), L"恭喜你，设置成功！");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kEntry, L"Version"), Widen(Stamp()));
    // The next logon runs nothing.
    EXPECT_EQ(LogonPass(), "");

    // A user already signed in, set up by hand with /logon: Active Setup still runs the program
    // at the next logon (the user's entry is new to it), and the program does nothing more.
    RegDeleteTreeW(HKEY_CURRENT_USER, kEntry);
    RegDeleteTreeW(HKEY_CURRENT_USER, kRecord);
    reg::RemoveProgramOutput();
    logon = RunToEnd({L"/logon"}, error);
    ASSERT_TRUE(logon) << error;
    EXPECT_EQ(logon->exitCode, 0u) << logon->output;
    const std::wstring time = Text(HKEY_CURRENT_USER, kRecord, L"Time").value_or(L"");
    const std::string settings = reg::Dump(reg::kInternetSettings);
    EXPECT_EQ(LogonPass(), RanOurs() + "\r\n");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Time"), time) << "the record is not written again";
    EXPECT_EQ(reg::Dump(reg::kInternetSettings), settings);
    logon = RunToEnd({L"/logon"}, error);
    ASSERT_TRUE(logon) << error;
    EXPECT_EQ(logon->exitCode, 0u);
    EXPECT_TRUE(logon->output.starts_with("本机的设置 " + Stamp() + " 已为此用户完成")) << logon->output;
}

TEST_F(Package, AnUpgradeIsAppliedAtTheNextLogonTheSamePackageAgainIsNotAndAnOlderIsRefused) {
    Install(ZUV_PROJECT_VERSION, {L"PORTALADDRESS=portal.example.com"}, L"package-upgrade-1.log");
    EXPECT_EQ(LogonPass(), RanOurs() + "\r\n");
    const auto first = package::ParseStamp(Stamp());

    // The same version from another commit is another product: it replaces this one.
    const std::vector<std::wstring> before = UninstallEntries();
    const Installer rebuilt = Msiexec({L"/i", WindowsPath(ZUV_TEST_PACKAGES) + L"\\ZUVPortalSetting-" +
                                                  Widen(ZUV_PROJECT_VERSION) + L"-x64-rebuilt.msi"},
                                      L"package-rebuilt.log");
    ASSERT_EQ(rebuilt.exitCode, 0u) << PackageLines(rebuilt.log);
    ASSERT_EQ(UninstallEntries().size(), 1u);
    EXPECT_NE(UninstallEntries(), before);
    const auto replaced = package::ParseStamp(Stamp());
    ASSERT_TRUE(first && replaced);
    EXPECT_GT(*replaced, *first);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachine, L"Address"), L"portal.example.com");

    Install(ZUV_HIGHER_VERSION, {L"PORTALADDRESS=portal2.example.com"}, L"package-upgrade-2.log");
    const auto upgraded = package::ParseStamp(Stamp());
    ASSERT_TRUE(upgraded);
    EXPECT_GT(*upgraded, *replaced);
    const std::vector<std::wstring> entries = UninstallEntries();
    ASSERT_EQ(entries.size(), 1u) << "the older version was replaced";
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, std::wstring(kUninstall) + L"\\" + entries[0], L"DisplayVersion"),
              Widen(ZUV_HIGHER_VERSION));
    EXPECT_EQ(LogonPass(), RanOurs() + "\r\n");
    EXPECT_EQ(Check(L"portal2.example.com"), 0u);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Address"), L"portal2.example.com");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Settings"), Widen(Stamp()));

    Install(ZUV_HIGHER_VERSION, {}, L"package-upgrade-3.log");
    EXPECT_EQ(package::ParseStamp(Stamp()), upgraded) << "the same package again keeps the stamp";
    EXPECT_EQ(LogonPass(), "");

    const Installer older = Msiexec({L"/i", PackageFile(ZUV_LOWER_VERSION)}, L"package-downgrade.log");
    EXPECT_TRUE(InstallFailed(older.exitCode)) << older.exitCode;
    EXPECT_NE(older.log.find("ZUVPortalSetting：未安装任何内容：本机已安装更高版本的 ZUVPortalSetting"), std::string::npos)
        << PackageLines(older.log);
    EXPECT_EQ(UninstallEntries(), entries);
    EXPECT_EQ(package::ParseStamp(Stamp()), upgraded);
}

TEST_F(Package, SettingsAreRememberedAndEachChangeRaisesTheStamp) {
    struct Step {
        const char* what;
        std::vector<std::wstring> arguments;
        std::wstring address;
        DWORD https, ieMode, retire;
        bool higher;  // the stamp is higher than the step before's; otherwise the same
    };
    const std::wstring low = PackageFile(ZUV_PROJECT_VERSION);
    const std::wstring high = PackageFile(ZUV_HIGHER_VERSION);
    const Step steps[] = {
        {"first install", {L"/i", low, L"PORTALADDRESS=a.example.com", L"HTTPS=1"}, L"a.example.com", 1, 0, 0, true},
        {"the same package again", {L"/i", low}, L"a.example.com", 1, 0, 0, false},
        {"a repair", {L"/i", low, L"REINSTALL=ALL", L"REINSTALLMODE=omus"}, L"a.example.com", 1, 0, 0, false},
        {"the same package, https off", {L"/i", low, L"HTTPS=0"}, L"a.example.com", 0, 0, 0, true},
        {"an upgrade, nothing given", {L"/i", high}, L"a.example.com", 0, 0, 0, true},
        {"a new address", {L"/i", high, L"PORTALADDRESS=b.example.com"}, L"b.example.com", 0, 0, 0, true},
        {"ie mode on", {L"/i", high, L"IEMODE=1"}, L"b.example.com", 0, 1, 0, true},
        {"retire", {L"/i", high, L"RETIRE=1"}, L"b.example.com", 0, 1, 1, true},
        {"retire given as it is", {L"/i", high, L"RETIRE=1", L"IEMODE=1"}, L"b.example.com", 0, 1, 1, false},
    };
    std::optional<package::Stamp> before;
    for (const Step& step : steps) {
        const Installer installed = Msiexec(step.arguments, L"package-remember.log");
        ASSERT_EQ(installed.exitCode, 0u) << step.what << "\n" << PackageLines(installed.log);
        EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kMachine, L"Address"), step.address) << step.what;
        EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, kMachine, L"Https"), step.https) << step.what;
        EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, kMachine, L"IeMode"), step.ieMode) << step.what;
        EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, kMachine, L"Retire"), step.retire) << step.what;
        const auto stamp = package::ParseStamp(Stamp());
        ASSERT_TRUE(stamp) << step.what << ": " << Stamp();
        EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kEntry, L"Version"), Widen(Stamp())) << step.what;
        if (before && step.higher) {
            EXPECT_GT(*stamp, *before) << step.what;
        } else if (before) {
            EXPECT_EQ(*stamp, *before) << step.what;
        }
        before = stamp;
    }
    // Removed, then installed again with other settings: higher still.
    ASSERT_EQ(Msiexec({L"/x", high}, L"package-remember.log").exitCode, 0u);
    EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, kMachine));
    Install(ZUV_HIGHER_VERSION, {L"PORTALADDRESS=c.example.com"}, L"package-remember.log");
    const auto again = package::ParseStamp(Stamp());
    ASSERT_TRUE(again);
    EXPECT_GT(*again, *before);
    EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, kMachine, L"IeMode"), 0u) << "nothing remembered after an uninstall";
}

TEST_F(Package, IeModeWithoutASiteListSetsBothPoliciesToTheListItInstalls) {
    const Installer installed = Msiexec({L"/i", PackageFile(ZUV_PROJECT_VERSION), L"PORTALADDRESS=portal.example.com", L"IEMODE=1"},
                                        L"package-iemode.log");
    ASSERT_EQ(installed.exitCode, 0u) << PackageLines(installed.log);
    EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, kEdge, L"InternetExplorerIntegrationLevel"), 1u);
    EXPECT_EQ(Text(HKEY_LOCAL_MACHINE, kEdge, L"InternetExplorerIntegrationSiteList"), SiteListUrl());
    EXPECT_EQ(SiteListProblem(SiteListFile(), L"portal.example.com"), "");
    EXPECT_NE(installed.log.find("ZUVPortalSetting：IEMODE=1：设置 "), std::string::npos) << PackageLines(installed.log);
    // The check names the list the package set.
    std::string error;
    const auto check = RunToEnd({L"/check:portal.example.com"}, error);
    ASSERT_TRUE(check) << error;
    EXPECT_NE(check->output.find(Narrow(SiteListUrl())), std::string::npos) << check->output;

    ASSERT_EQ(Msiexec({L"/x", PackageFile(ZUV_PROJECT_VERSION)}, L"package-iemode-remove.log").exitCode, 0u);
    EXPECT_FALSE(Dword(HKEY_LOCAL_MACHINE, kEdge, L"InternetExplorerIntegrationLevel"));
    EXPECT_FALSE(Text(HKEY_LOCAL_MACHINE, kEdge, L"InternetExplorerIntegrationSiteList"));
    EXPECT_FALSE(FileThere(SiteListFile()));
}

TEST_F(Package, IeModeLeavesAnOrganisationsSiteListAsItIs) {
    const std::wstring theirs = L"https://intranet.example.com/sites.xml";
    for (const HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
        const std::string where = root == HKEY_LOCAL_MACHINE ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
        SetText(root, kEdge, L"InternetExplorerIntegrationSiteList", theirs);
        SetDword(root, kEdge, L"InternetExplorerIntegrationLevel", 2);
        const Installer installed = Msiexec(
            {L"/i", PackageFile(ZUV_PROJECT_VERSION), L"PORTALADDRESS=portal.example.com", L"IEMODE=1"}, L"package-theirs.log");
        ASSERT_EQ(installed.exitCode, 0u) << where << "\n" << PackageLines(installed.log);
        EXPECT_NE(installed.log.find(where + "\\Software\\Policies\\Microsoft\\Edge 的 InternetExplorerIntegrationSiteList = “" +
                                     Narrow(theirs) + "”），本安装包不更改"),
                  std::string::npos)
            << PackageLines(installed.log);
        EXPECT_NE(installed.log.find("请在该列表中加入：" + SiteListEntry("portal.example.com")), std::string::npos)
            << PackageLines(installed.log);
        EXPECT_EQ(Dword(HKEY_LOCAL_MACHINE, kMachine, L"IeMode"), 1u) << "the request is remembered";
        // The check gives the same entry to add.
        std::string error;
        const auto check = RunToEnd({L"/check:portal.example.com"}, error);
        ASSERT_TRUE(check) << error;
        EXPECT_NE(check->output.find(Narrow(theirs) + "\"：该站点是否用 IE 模式打开，由这个列表中是否有它决定；"
                                     "要让 Edge 用 IE 模式打开该站点，列表中须有这一项：" +
                                     SiteListEntry("portal.example.com")),
                  std::string::npos)
            << check->output;
        for (const HKEY policyRoot : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
            const bool set = policyRoot == root;
            EXPECT_EQ(Text(policyRoot, kEdge, L"InternetExplorerIntegrationSiteList"),
                      set ? std::optional<std::wstring>(theirs) : std::nullopt) << where;
            EXPECT_EQ(Dword(policyRoot, kEdge, L"InternetExplorerIntegrationLevel"),
                      set ? std::optional<DWORD>(2) : std::nullopt) << where;
        }
        EXPECT_FALSE(FileThere(SiteListFile())) << where;
        ASSERT_EQ(Msiexec({L"/x", PackageFile(ZUV_PROJECT_VERSION)}, L"package-theirs-remove.log").exitCode, 0u);
        EXPECT_EQ(Text(root, kEdge, L"InternetExplorerIntegrationSiteList"), theirs) << where;
        EXPECT_EQ(Dword(root, kEdge, L"InternetExplorerIntegrationLevel"), 2u) << where;
        Clean();
    }
}

TEST_F(Package, AnUninstallRemovesWhatThePackageWroteAndKeepsEachUsersSettings) {
    Install(ZUV_PROJECT_VERSION, {L"PORTALADDRESS=portal.example.com", L"IEMODE=1"}, L"package-remove-1.log");
    EXPECT_EQ(LogonPass(), RanOurs() + "\r\n");
    const std::string settings = reg::Dump(reg::kInternetSettings) + reg::Dump(reg::kBrowser);
    const std::string record = reg::Dump(kRecord);

    const Installer removed = Msiexec({L"/x", PackageFile(ZUV_PROJECT_VERSION)}, L"package-remove-2.log");
    ASSERT_EQ(removed.exitCode, 0u) << PackageLines(removed.log);
    EXPECT_FALSE(FileThere(ProgramFile()));
    EXPECT_FALSE(FileThere(SiteListFile()));
    EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, kEntry));
    EXPECT_FALSE(KeyThere(HKEY_LOCAL_MACHINE, kMachine));
    EXPECT_FALSE(Dword(HKEY_LOCAL_MACHINE, kEdge, L"InternetExplorerIntegrationLevel"));
    EXPECT_FALSE(Text(HKEY_LOCAL_MACHINE, kEdge, L"InternetExplorerIntegrationSiteList"));
    EXPECT_TRUE(UninstallEntries().empty());
    // The user's own settings and record stay.
    EXPECT_EQ(reg::Dump(reg::kInternetSettings) + reg::Dump(reg::kBrowser), settings);
    EXPECT_EQ(reg::Dump(kRecord), record);
    EXPECT_EQ(Check(L"portal.example.com"), 0u);
}

TEST_F(Package, RetireOnAnUpgradeTakesEachUsersSettingsBackToTheOriginal) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::wstring folder = std::wstring(temp) + L"zuv-package-test-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder.c_str(), nullptr);
    const auto exported = [&](const std::wstring& name) {
        std::vector<std::wstring> files;
        for (const wchar_t* key : {reg::kInternetSettings, reg::kBrowser}) {
            files.push_back(folder + L"\\" + name + std::to_wstring(files.size()) + L".reg");
            EXPECT_EQ(Reg(L"export \"HKEY_CURRENT_USER\\" + std::wstring(key) + L"\" \"" + files.back() + L"\" /y"), 0u);
        }
        const std::string sorted = Sorted(files);
        for (const std::wstring& file : files) DeleteFileW(file.c_str());
        return sorted;
    };
    const std::string before = exported(L"before");

    Install(ZUV_PROJECT_VERSION, {L"PORTALADDRESS=portal.example.com", L"HTTPS=1"}, L"package-retire-1.log");
    EXPECT_EQ(LogonPass(), RanOurs() + "\r\n");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Result"), L"applied");
    EXPECT_NE(exported(L"applied"), before);

    Install(ZUV_HIGHER_VERSION, {L"RETIRE=1"}, L"package-retire-2.log");
    EXPECT_EQ(LogonPass(), RanOurs() + "\r\n");
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Result"), L"retired");
    EXPECT_EQ(Dword(HKEY_CURRENT_USER, kRecord, L"ExitCode"), 0u);
    EXPECT_EQ(Text(HKEY_CURRENT_USER, kRecord, L"Settings"), Widen(Stamp()));
    EXPECT_EQ(exported(L"retired"), before);
    EXPECT_EQ(Check(L"portal.example.com"), 3u);
    EXPECT_EQ(LogonPass(), "");
    RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace zuv::e2e
