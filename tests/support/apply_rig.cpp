#include "tests/support/apply_rig.h"

#include <stdexcept>

#include "browser_config/browser_config.h"

namespace zuv::test {

std::vector<unsigned char> SzBytes(const AnsiCodePage& codePage, const std::string& utf8) {
    const std::string ansi = codePage.FromUtf8(utf8);
    std::vector<unsigned char> out(ansi.begin(), ansi.end());
    out.push_back(0);
    return out;
}

std::vector<unsigned char> DwordBytes(std::uint32_t n) {
    return {static_cast<unsigned char>(n & 0xFF), static_cast<unsigned char>((n >> 8) & 0xFF),
            static_cast<unsigned char>((n >> 16) & 0xFF), static_cast<unsigned char>(n >> 24)};
}

ApplyRig::ApplyRig()
    : codePage(MakeSystemCodePage()),
      memory(*codePage),
      recorder(memory, *codePage),
      reg(recorder, *codePage),
      form(ui, reg) {
    recorder.SetOpenHandleProbe([this] { return memory.OpenHandleCount(); });
    recorder.SetAbbreviations({
        {"HKCU\\" + std::string(kInternetSettingsKey), kInternetSettingsToken},
        {"HKCU\\" + std::string(kBrowserVersionKey), kInternetExplorerToken},
    });
}

void ApplyRig::Apply(const std::string& address) {
    recorder.Clear();
    ui.messages.clear();
    ui.address = address;
    form.cmdOK_Click();
}

ShownMessage ApplyRig::Message() const {
    return ui.messages.size() == 1 ? ui.messages.front() : ShownMessage{};
}

void ApplyRig::Put(const Seed& seed) {
    RegKey key = 0;
    if (memory.CreateKeyEx(seed.root, codePage->FromUtf8(seed.path), "", kWriteAccess, false, &key,
                           nullptr) != kErrorSuccess) {
        throw std::runtime_error("cannot seed key " + seed.path);
    }
    const long written = memory.SetValueEx(key, codePage->FromUtf8(seed.name), seed.type,
                                           seed.data.data(),
                                           static_cast<std::uint32_t>(seed.data.size()));
    memory.CloseKey(key);
    if (written != kErrorSuccess) throw std::runtime_error("cannot seed value " + seed.name);
}

void ApplyRig::Put(const std::vector<Seed>& seeds) {
    for (const Seed& seed : seeds) Put(seed);
}

}  // namespace zuv::test
