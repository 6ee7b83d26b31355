// A user interface that only remembers what the window logic asked of it.
#pragma once

#include <string>
#include <vector>

#include "window/ui_port.h"

namespace zuv::test {

struct ShownMessage {
    std::string text;
    unsigned flags = 0;
    std::string caption;
};

class RememberingUi : public UiPort {
public:
    std::string address;
    std::vector<ShownMessage> messages;
    int tabs = 0;
    int unloads = 0;

    std::string AddressText() override { return address; }
    void ShowMessage(const std::string& text, unsigned flags, const std::string& caption) override {
        messages.push_back({text, flags, caption});
    }
    void SendTab() override { ++tabs; }
    void Unload() override { ++unloads; }
};

}  // namespace zuv::test
