// What the window logic needs from the user interface, and nothing more.
#pragma once

#include <string>

namespace zuv {

constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbIconInformation = 0x40;
constexpr int kKeyReturn = 13;

class UiPort {
public:
    virtual ~UiPort() = default;
    // The current text of txtURL, UTF-8, exactly as typed.
    virtual std::string AddressText() = 0;
    // A modal message box; returns when the user has closed it.
    virtual void ShowMessage(const std::string& text, unsigned flags, const std::string& caption) = 0;
    // Sends one Tab keystroke to the window.
    virtual void SendTab() = 0;
    // Unloads the window, which ends the program.
    virtual void Unload() = 0;
};

}  // namespace zuv
