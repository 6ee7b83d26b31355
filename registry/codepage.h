// Conversion between the program's UTF-8 text and the ANSI code page that the registry's
// A functions speak.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace zuv {

class AnsiCodePage {
public:
    virtual ~AnsiCodePage() = default;
    // Throws RuntimeError when the text holds a character the code page cannot represent
    // (no best-fit substitution, no '?').
    virtual std::string FromUtf8(std::string_view utf8) const = 0;
    // Bytes that are not valid in the code page become U+FFFD.
    virtual std::string ToUtf8(std::string_view ansi) const = 0;
};

// The code page the registry functions of this platform use: CP_ACP on Windows,
// code page 936 (GBK) elsewhere.
std::unique_ptr<AnsiCodePage> MakeSystemCodePage();

}  // namespace zuv
