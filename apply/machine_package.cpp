#include "apply/machine_package.h"

#include <cstdint>
#include <vector>

#include "browser_config/browser_config.h"

namespace zuv {
namespace {

// A REG_DWORD of the machine settings: 1 is on, anything else (or none) off.
bool Switch(mdlReg& reg, const char* name) {
    std::uint32_t type = 0;
    const std::string data = reg.QueryValue(kHkeyLocalMachine, kMachineSettingsKey, name, type);
    return reg.RegStatus == kErrorSuccess && type == kRegDword && data == "1";
}

}  // namespace

std::optional<std::string> ReadTextValue(mdlReg& reg, RegKey root, const char* key, const char* name) {
    std::uint32_t type = 0;
    std::string data;
    // A text the code page cannot read is no text: it was not written by the package or the tool.
    if (RunTrapped([&] { data = reg.QueryValue(root, key, name, type); })) return std::nullopt;
    if (reg.RegStatus != kErrorSuccess || (type != kRegSz && type != kRegExpandSz)) return std::nullopt;
    return data;
}

Result<MachineSettings> ReadMachineSettings(mdlReg& reg) {
    const std::string where = std::string("HKEY_LOCAL_MACHINE\\") + kMachineSettingsKey;
    const auto address = ReadTextValue(reg, kHkeyLocalMachine, kMachineSettingsKey, "Address");
    if (!address) {
        const long status = reg.RegStatus;
        std::vector<std::string> keys, values;
        if (!reg.EnumerateNames(kHkeyLocalMachine, kMachineSettingsKey, keys, values)) {
            return Failure{"本机没有 ZUVPortalSetting 的设置（" + where +
                           " 不存在）：安装包尚未安装。请先安装 ZUVPortalSetting 的安装包（msiexec … PORTALADDRESS=地址）"};
        }
        return Failure{"本机的 ZUVPortalSetting 设置中没有门户地址（" + where + " 中的 \"Address\"" +
                       (status == kErrorSuccess ? " 不是文本" : "") + "）：请重新安装并给出 PORTALADDRESS"};
    }
    MachineSettings settings;
    settings.address = *address;
    settings.https = Switch(reg, "Https");
    settings.ieMode = Switch(reg, "IeMode");
    settings.retire = Switch(reg, "Retire");
    settings.stamp = ReadTextValue(reg, kHkeyLocalMachine, kMachineSettingsKey, "Settings").value_or("");
    return settings;
}

}  // namespace zuv
