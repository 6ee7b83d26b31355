// The machine package's custom actions: a DLL that the package carries in its Binary table and
// msiexec calls by the entry points package/ZUVPortalSetting.wxs names. Each one reads the
// installer's properties, lets package_settings.h decide, writes what it must, and tells the
// installer's log what it did and why. A refusal ends the install before anything is installed.
#include <windows.h>

#include <msi.h>
#include <msiquery.h>

#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "base/win32_file.h"
#include "base/win32_handle.h"
#include "base/text.h"
#include "base/win32_text.h"
#include "browser_config/browser_check.h"
#include "browser_config/site_list.h"
#include "package/package_settings.h"
#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "registry/win32_registry.h"

namespace {

using namespace zuv;
using namespace zuv::package;

// The site list the package installs, beside the program.
constexpr const wchar_t* kSiteListName = L"ZUVPortalSetting-sites.xml";
constexpr const char* kLevelPolicy = "InternetExplorerIntegrationLevel";
constexpr const char* kListPolicy = "InternetExplorerIntegrationSiteList";
// Between the fields of the data a deferred action is handed; no path, URL or list holds it.
constexpr char kField = '\t';

// One handle of the installer, closed with its owner.
class MsiHandle {
public:
    explicit MsiHandle(MSIHANDLE handle) : handle_(handle) {}
    MsiHandle(const MsiHandle&) = delete;
    MsiHandle& operator=(const MsiHandle&) = delete;
    ~MsiHandle() {
        if (handle_ != 0) MsiCloseHandle(handle_);
    }
    MSIHANDLE Get() const { return handle_; }

private:
    MSIHANDLE handle_;
};

std::string Property(MSIHANDLE install, const wchar_t* name) {
    wchar_t none[1] = L"";
    DWORD size = 0;
    if (MsiGetPropertyW(install, name, none, &size) != ERROR_MORE_DATA) return {};
    std::wstring value(size + 1, L'\0');
    size = static_cast<DWORD>(value.size());
    if (MsiGetPropertyW(install, name, value.data(), &size) != ERROR_SUCCESS) return {};
    value.resize(size);
    return Narrow(value);
}

void SetProperty(MSIHANDLE install, const wchar_t* name, const std::string& value) {
    MsiSetPropertyW(install, name, Widen(value).c_str());
}

// A line in the installer's log; an error is also shown when the install has a user interface.
void Tell(MSIHANDLE install, const std::string& text, INSTALLMESSAGE kind = INSTALLMESSAGE_INFO) {
    const MsiHandle record(MsiCreateRecord(1));
    MsiRecordSetStringW(record.Get(), 0, L"[1]");
    MsiRecordSetStringW(record.Get(), 1, Widen("ZUVPortalSetting：" + text).c_str());
    const UINT style = kind == INSTALLMESSAGE_ERROR ? MB_OK | MB_ICONERROR : 0U;
    MsiProcessMessage(install, static_cast<INSTALLMESSAGE>(static_cast<UINT>(kind) | style), record.Get());
}

UINT Refuse(MSIHANDLE install, const std::string& why) {
    Tell(install, "未安装任何内容：" + why, INSTALLMESSAGE_ERROR);
    return ERROR_INSTALL_FAILURE;
}

UtcTime UtcNow() {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

std::vector<std::string> Fields(const std::string& data) {
    std::vector<std::string> fields;
    std::size_t begin = 0;
    for (std::size_t end; (end = data.find(kField, begin)) != std::string::npos; begin = end + 1) {
        fields.push_back(data.substr(begin, end - begin));
    }
    fields.push_back(data.substr(begin));
    return fields;
}

// The registry as the program reaches it.
struct Registry {
    Win32Registry api;
    std::unique_ptr<AnsiCodePage> codePage = MakeSystemCodePage();
    mdlReg reg{api, *codePage};

    std::optional<std::string> Text(RegKey root, const char* name) {
        std::uint32_t type = 0;
        std::string data = reg.QueryValue(root, kEdgePolicyKey, name, type);
        if (reg.RegStatus != kErrorSuccess || (type != kRegSz && type != kRegExpandSz)) return std::nullopt;
        return data;
    }
    std::optional<std::uint32_t> Number(RegKey root, const char* name) {
        std::uint32_t type = 0;
        const std::string data = reg.QueryValue(root, kEdgePolicyKey, name, type);
        if (reg.RegStatus != kErrorSuccess || type != kRegDword) return std::nullopt;
        return static_cast<std::uint32_t>(std::stoul(data));
    }
};

// Takes back the package's own IE mode policies and its site list: the list policy only while
// it still names the package's list, the level only while it is 1 beside it.
void RemoveIeMode(MSIHANDLE install) {
    const std::vector<std::string> fields = Fields(Property(install, L"CustomActionData"));
    if (fields.size() != 2) return;
    const std::string& path = fields[0];
    const std::string& url = fields[1];
    Registry registry;
    const auto list = registry.Text(kHkeyLocalMachine, kListPolicy);
    if (list && EqualsNoCase(*list, url)) {
        if (registry.Number(kHkeyLocalMachine, kLevelPolicy) == 1U &&
            !registry.reg.DeleteEntry(kHkeyLocalMachine, kEdgePolicyKey, kLevelPolicy)) {
            Tell(install, std::string("未能删除 ") + kLevelPolicy + "：" + registry.reg.ErrorText(registry.reg.RegStatus));
        }
        if (!registry.reg.DeleteEntry(kHkeyLocalMachine, kEdgePolicyKey, kListPolicy)) {
            Tell(install, std::string("未能删除 ") + kListPolicy + "：" + registry.reg.ErrorText(registry.reg.RegStatus));
        }
    }
    if (!DeleteFileW(Widen(path).c_str()) && GetLastError() != ERROR_FILE_NOT_FOUND) {
        Tell(install, "未能删除站点列表 " + path + "：" + SystemErrorText(GetLastError()));
    }
}

template <class Action>
UINT Trapped(MSIHANDLE install, Action action) {
    try {
        return action();
    } catch (const std::exception& error) {
        return Refuse(install, error.what());
    } catch (...) {
        return Refuse(install, "意外错误");
    }
}

}  // namespace

// Immediate, before costing: the settings of this install, checked, remembered ones filled in
// by the package before; the downgrade refused; the settings stamp; the switches as 0 or 1 for
// the registry values. Not run when the product is removed.
extern "C" __declspec(dllexport) UINT __stdcall ZuvCheckSettings(MSIHANDLE install) {
    return Trapped(install, [&]() -> UINT {
        if (const std::string newer = Property(install, L"ZUV_NEWER_INSTALLED"); !newer.empty()) {
            return Refuse(install, "本机已安装更高版本的 ZUVPortalSetting（产品代码 " + newer +
                                       "），不能用较旧的版本替换它。确需换回旧版本时，请先卸载已安装的版本。");
        }
        const PackageProperties properties{Property(install, L"PORTALADDRESS"), Property(install, L"HTTPS"),
                                           Property(install, L"IEMODE"), Property(install, L"RETIRE")};
        const Result<PackageSettings> checked = CheckProperties(properties);
        if (!checked) return Refuse(install, checked.Error());
        const PackageSettings& settings = checked.Value();
        const auto remembered =
            RememberedSettings(Property(install, L"ZUV_OLD_ADDRESS"), Property(install, L"ZUV_OLD_HTTPS"),
                               Property(install, L"ZUV_OLD_IEMODE"), Property(install, L"ZUV_OLD_RETIRE"));
        const auto rememberedStamp = ParseStamp(Property(install, L"ZUV_OLD_SETTINGS"));
        const bool replaces = !Property(install, L"ZUV_OLDER_INSTALLED").empty();
        const Stamp stamp = SettingsStamp(settings, remembered, rememberedStamp, replaces, UtcNow());
        const bool same = rememberedStamp == stamp;

        SetProperty(install, L"ZUV_HTTPS", settings.https ? "1" : "0");
        SetProperty(install, L"ZUV_IEMODE", settings.ieMode ? "1" : "0");
        SetProperty(install, L"ZUV_RETIRE", settings.retire ? "1" : "0");
        SetProperty(install, L"ZUV_SETTINGS", StampText(stamp));
        // The same product again with other settings: its registry values are written again.
        if (!same && !Property(install, L"Installed").empty() && Property(install, L"REINSTALL").empty()) {
            SetProperty(install, L"REINSTALL", "ALL");
            if (Property(install, L"REINSTALLMODE").empty()) SetProperty(install, L"REINSTALLMODE", "omus");
        }
        Tell(install, "门户地址 " + settings.address + "，HTTPS=" + (settings.https ? "1" : "0") +
                          "，IEMODE=" + (settings.ieMode ? "1" : "0") + "，RETIRE=" + (settings.retire ? "1" : "0") +
                          "；设置标记 " + StampText(stamp) +
                          (same ? "（与已安装的相同：用户登录时不再运行）"
                                : "（新的标记：每个用户下次登录时运行一次 ZUVPortalSetting.exe /logon）"));
        return ERROR_SUCCESS;
    });
}

// Immediate, after costing (the install folder is known): what this run does about Edge's
// Internet Explorer mode, handed to the deferred actions below as their data.
extern "C" __declspec(dllexport) UINT __stdcall ZuvPlanIeMode(MSIHANDLE install) {
    return Trapped(install, [&]() -> UINT {
        // The product removed by an upgrade leaves the policies to the product replacing it.
        if (!Property(install, L"UPGRADINGPRODUCTCODE").empty()) return ERROR_SUCCESS;
        const bool removing = EqualsNoCase(Property(install, L"REMOVE"), "ALL");
        PackageSettings settings;
        settings.address = Property(install, L"PORTALADDRESS");
        settings.ieMode = Property(install, L"ZUV_IEMODE") == "1";
        const std::string path = Property(install, L"INSTALLDIR") + Narrow(kSiteListName);
        const std::string url = FileUrl(path);
        Registry registry;
        IeModePolicies found;
        found.machineList = registry.Text(kHkeyLocalMachine, kListPolicy);
        found.userList = registry.Text(kHkeyCurrentUser, kListPolicy);
        found.machineLevel = registry.Number(kHkeyLocalMachine, kLevelPolicy);
        const IeModePlan plan = PlanIeMode(removing, settings, found, url);
        if (!plan.message.empty()) Tell(install, plan.message);
        if (plan.write) {
            const auto stamp = ParseStamp(Property(install, L"ZUV_SETTINGS"));
            const std::string document = SiteListDocument(
                settings.address, stamp ? SiteListVersion(*stamp) : 1, "ZUVPortalSetting", Property(install, L"ProductVersion"));
            SetProperty(install, L"ZuvWriteIeMode", path + kField + url + kField + document);
            if (plan.undoOnRollback) SetProperty(install, L"ZuvUndoIeMode", path + kField + url);
        }
        if (plan.remove) SetProperty(install, L"ZuvRemoveIeMode", path + kField + url);
        return ERROR_SUCCESS;
    });
}

// Deferred, as the system: writes the site list and sets both policies.
extern "C" __declspec(dllexport) UINT __stdcall ZuvWriteIeMode(MSIHANDLE install) {
    return Trapped(install, [&]() -> UINT {
        const std::vector<std::string> fields = Fields(Property(install, L"CustomActionData"));
        if (fields.size() != 3) return Refuse(install, "IE 模式的设置数据不完整");
        const std::string& path = fields[0];
        const std::string& document = fields[2];
        const UniqueHandle file = Owned(CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file || !WriteAll(file.get(), document.data(), document.size())) {
            return Refuse(install, "无法写入站点列表 " + path + "：" + SystemErrorText(GetLastError()));
        }
        Registry registry;
        if (!registry.reg.SetValue(kHkeyLocalMachine, kEdgePolicyKey, kLevelPolicy, 1.0, kRegDword) ||
            !registry.reg.SetValue(kHkeyLocalMachine, kEdgePolicyKey, kListPolicy, fields[1], kRegSz)) {
            return Refuse(install, "无法写入 Edge 的策略：" + registry.reg.ErrorText(registry.reg.RegStatus));
        }
        return ERROR_SUCCESS;
    });
}

// Deferred as the system on removal (and when IEMODE=0 takes them back), and as the rollback of
// ZuvWriteIeMode: never fails the run it is part of.
extern "C" __declspec(dllexport) UINT __stdcall ZuvRemoveIeMode(MSIHANDLE install) {
    try {
        RemoveIeMode(install);
    } catch (const std::exception& error) {
        Tell(install, std::string("未能取回 IE 模式的设置：") + error.what());
    } catch (...) {
        Tell(install, "未能取回 IE 模式的设置：意外错误");
    }
    return ERROR_SUCCESS;
}
