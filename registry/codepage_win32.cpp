// The ANSI code page of Windows (CP_ACP), converted with the system's own tables.
#include <windows.h>

#include <string>

#include "registry/codepage.h"
#include "base/runtime_error.h"
#include "base/text.h"
#include "base/win32_text.h"

namespace zuv {

namespace {

class Win32CodePage : public AnsiCodePage {
public:
    std::string FromUtf8(std::string_view utf8) const override {
        // Seven-bit text is the same in UTF-8 and in every ANSI code page.
        if (IsAscii(utf8)) return std::string(utf8);
        const std::wstring wide = WideFrom(CP_UTF8, utf8, 0);
        const UINT acp = GetACP();
        if (acp == CP_UTF8) return BytesFrom(CP_UTF8, wide, 0, nullptr);
        BOOL usedDefault = FALSE;
        std::string ansi = BytesFrom(CP_ACP, wide, WC_NO_BEST_FIT_CHARS, &usedDefault);
        if (usedDefault || (ansi.empty() && !wide.empty())) {
            throw UnrepresentableText(utf8, acp);
        }
        return ansi;
    }

    std::string ToUtf8(std::string_view ansi) const override {
        if (IsAscii(ansi)) return std::string(ansi);
        std::wstring wide;
        if (!ansi.empty()) {
            wide = WideFrom(CP_ACP, ansi, MB_ERR_INVALID_CHARS);
            // Some byte is not a character of the code page: convert piece by piece, so
            // each bad byte (or bad pair) alone becomes U+FFFD.
            if (wide.empty()) wide = WidenLeniently(ansi);
        }
        return BytesFrom(CP_UTF8, wide, 0, nullptr);
    }

private:
    static std::wstring WidenLeniently(std::string_view ansi) {
        std::wstring wide;
        std::size_t i = 0;
        while (i < ansi.size()) {
            std::size_t length = 1;
            if (IsDBCSLeadByte(static_cast<BYTE>(ansi[i])) && i + 1 < ansi.size()) length = 2;
            std::wstring piece = WideFrom(CP_ACP, ansi.substr(i, length), MB_ERR_INVALID_CHARS);
            if (piece.empty() && length == 2) {
                length = 1;
                piece = WideFrom(CP_ACP, ansi.substr(i, 1), MB_ERR_INVALID_CHARS);
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
