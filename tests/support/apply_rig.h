// One window's apply command wired to an in-memory registry through a RecordingRegistry,
// with a user interface that only remembers what it was asked to show.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "tests/doubles/memory_registry.h"
#include "tests/support/recording_registry.h"
#include "tests/support/remembering_ui.h"
#include "window/ZUVPortalSetting.h"
#include "window/ui_port.h"

namespace zuv::test {

// Log abbreviations: "{IS}" for HKCU\...\Internet Settings\, "{IE}" for HKCU\...\Internet Explorer\.
inline constexpr const char* kInternetSettingsToken = "{IS}";
inline constexpr const char* kInternetExplorerToken = "{IE}";

// A value as seeded or as found in the registry. Paths and names UTF-8.
struct Seed {
    RegKey root = kHkeyCurrentUser;
    std::string path;
    std::string name;
    std::uint32_t type = 0;
    std::vector<unsigned char> data;
};

std::vector<unsigned char> SzBytes(const AnsiCodePage& codePage, const std::string& utf8);
std::vector<unsigned char> DwordBytes(std::uint32_t n);

class ApplyRig {
public:
    ApplyRig();
    ApplyRig(const ApplyRig&) = delete;
    ApplyRig& operator=(const ApplyRig&) = delete;

    std::unique_ptr<AnsiCodePage> codePage;
    MemoryRegistry memory;
    RecordingRegistry recorder;
    mdlReg reg;
    RememberingUi ui;
    ZUVPortalSetting form;

    // Clears the record and the messages, presses the apply button with `address` in the
    // text box and returns the record of that one apply.
    void Apply(const std::string& address);
    // The one message shown, or an empty one when there was not exactly one.
    ShownMessage Message() const;

    // Writes values straight into the in-memory registry, past the recorder.
    void Put(const Seed& seed);
    void Put(const std::vector<Seed>& seeds);
};

}  // namespace zuv::test
