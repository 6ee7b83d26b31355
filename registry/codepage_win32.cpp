// The ANSI code page of Windows (CP_ACP), converted with the system's own tables.
#include <windows.h>

#include <string>

#include "registry/codepage.h"
#include "registry/runtime_error.h"

namespace zuv {

namespace {

std::wstring Widen(UINT codePage, std::string_view text, DWORD flags) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int length = MultiByteToWideChar(codePage, flags, text.data(), size, nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(codePage, flags, text.data(), size, wide.data(), length);
    return wide;
}

std::string Narrow(UINT codePage, std::wstring_view wide, DWORD flags, BOOL* usedDefault) {
    if (wide.empty()) return {};
    const int size = static_cast<int>(wide.size());
    const int length =
        WideCharToMultiByte(codePage, flags, wide.data(), size, nullptr, 0, nullptr, usedDefault);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(codePage, flags, wide.data(), size, text.data(), length, nullptr,
                        usedDefault);
    return text;
}

class Win32CodePage : public AnsiCodePage {
public:
    unsigned Number() const override { return GetACP(); }

    std::string FromUtf8(std::string_view utf8) const override {
        const std::wstring wide = Widen(CP_UTF8, utf8, 0);
        const UINT acp = GetACP();
        if (acp == CP_UTF8) return Narrow(CP_UTF8, wide, 0, nullptr);
        BOOL usedDefault = FALSE;
        std::string ansi = Narrow(CP_ACP, wide, WC_NO_BEST_FIT_CHARS, &usedDefault);
        if (usedDefault || (ansi.empty() && !wide.empty())) {
            throw RuntimeError(ErrorKind::Unrepresentable,
                               "文本“" + std::string(utf8) + "”含有代码页 " + std::to_string(acp) +
                                   " 无法表示的字符");
        }
        return ansi;
    }

    std::string ToUtf8(std::string_view ansi) const override {
        std::wstring wide;
        if (!ansi.empty()) {
            wide = Widen(CP_ACP, ansi, MB_ERR_INVALID_CHARS);
            // Some byte is not a character of the code page: convert piece by piece, so
            // each bad byte (or bad pair) alone becomes U+FFFD.
            if (wide.empty()) wide = WidenLeniently(ansi);
        }
        return Narrow(CP_UTF8, wide, 0, nullptr);
    }

private:
    static std::wstring WidenLeniently(std::string_view ansi) {
        std::wstring wide;
        std::size_t i = 0;
        while (i < ansi.size()) {
            std::size_t length = 1;
            if (IsDBCSLeadByte(static_cast<BYTE>(ansi[i])) && i + 1 < ansi.size()) length = 2;
            std::wstring piece = Widen(CP_ACP, ansi.substr(i, length), MB_ERR_INVALID_CHARS);
            if (piece.empty() && length == 2) {
                length = 1;
                piece = Widen(CP_ACP, ansi.substr(i, 1), MB_ERR_INVALID_CHARS);
            }
            wide += piece.empty() ? std::wstring(1, L'\xFFFD') : piece;
            i += length;
        }
        return wide;
    }
};

}  // namespace

std::unique_ptr<AnsiCodePage> MakeSystemCodePage() { return std::make_unique<Win32CodePage>(); }

}  // namespace zuv
