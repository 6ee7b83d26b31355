#include "base/text.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <windows.h>
#else
#include <clocale>
#include <cwctype>
#include <locale.h>  // NOLINT(modernize-deprecated-headers): newlocale is POSIX, not in <clocale>
#endif

namespace zuv {

std::u32string DecodeUtf8(std::string_view utf8) {
    std::u32string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        std::size_t len = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            len = 1;
            cp = b;
        } else if ((b & 0xE0) == 0xC0) {
            len = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4;
            cp = b & 0x07;
        }
        bool ok = len != 0 && i + len <= utf8.size();
        for (std::size_t k = 1; ok && k < len; ++k) {
            const auto c = static_cast<unsigned char>(utf8[i + k]);
            if ((c & 0xC0) != 0x80) {
                ok = false;
            } else {
                cp = (cp << 6) | (c & 0x3F);
            }
        }
        static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
        if (ok && (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) {
            ok = false;
        }
        if (!ok) {
            out.push_back(0xFFFD);
            ++i;
        } else {
            out.push_back(cp);
            i += len;
        }
    }
    return out;
}

std::string EncodeUtf8(std::u32string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) c = 0xFFFD;
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::u16string Utf16FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    for (char32_t c : DecodeUtf8(utf8)) {
        if (c < 0x10000) {
            out.push_back(static_cast<char16_t>(c));
        } else {
            c -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
        }
    }
    return out;
}

std::string Utf8FromUtf16(std::u16string_view utf16) {
    std::u32string text;
    text.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char16_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            const char32_t high = char32_t{c} - char32_t{0xD800};
            const char32_t low = char32_t{utf16[i + 1]} - char32_t{0xDC00};
            text.push_back(char32_t{0x10000} + (high << 10U) + low);
            ++i;
        } else {
            text.push_back(c >= 0xD800 && c <= 0xDFFF ? char32_t{0xFFFD} : char32_t{c});
        }
    }
    return EncodeUtf8(text);
}

char32_t UpperCase(char32_t c) {
    if (c < 0x80) return (c >= 'a' && c <= 'z') ? c - 0x20 : c;
    // The registry folds UTF-16 code units; characters outside the BMP stay as they are.
    if (c > 0xFFFF) return c;
#ifdef _WIN32
    WCHAR w = static_cast<WCHAR>(c);
    CharUpperBuffW(&w, 1);
    return w;
#else
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (utf8 == static_cast<locale_t>(nullptr)) return c;
    return static_cast<char32_t>(towupper_l(static_cast<wint_t>(c), utf8));
#endif
}

std::u32string FoldedKey(std::string_view utf8) {
    std::u32string s = DecodeUtf8(utf8);
    for (char32_t& c : s) c = UpperCase(c);
    return s;
}

int CompareNoCase(std::string_view a, std::string_view b) {
    // Fast path for ASCII, which is what almost every name is.
    std::size_t i = 0;
    const std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[i]);
        if (ca >= 0x80 || cb >= 0x80) break;
        const char32_t ua = UpperCase(ca);
        const char32_t ub = UpperCase(cb);
        if (ua != ub) return ua < ub ? -1 : 1;
    }
    if (i == n) return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
    const std::u32string fa = FoldedKey(a.substr(i));
    const std::u32string fb = FoldedKey(b.substr(i));
    return fa.compare(fb) < 0 ? -1 : (fa == fb ? 0 : 1);
}

bool EqualsNoCase(std::string_view a, std::string_view b) { return CompareNoCase(a, b) == 0; }

}  // namespace zuv

namespace zuv {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the decimal number at the start of `s` (sign, digits, point, fraction,
// exponent), or 0 when there is none. Needs at least one digit in the mantissa.
std::size_t NumberPrefix(std::string_view s) {
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < s.size() && IsDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && IsDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0) return 0;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) ++j;
        const std::size_t expStart = j;
        while (j < s.size() && IsDigit(s[j])) ++j;
        if (j > expStart) i = j;
    }
    return i;
}

}  // namespace

bool IsNumericText(std::string_view text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    const std::string_view core = text.substr(begin, end - begin);
    if (core.empty()) return false;
    return NumberPrefix(core) == core.size();
}

double ValueOfText(std::string_view text) {
    // Blanks anywhere inside the number are skipped.
    std::string compact;
    compact.reserve(text.size());
    for (char c : text) {
        if (!IsBlank(c)) compact.push_back(c);
    }
    const std::size_t n = NumberPrefix(compact);
    if (n == 0) return 0.0;
    std::string number = compact.substr(0, n);
    // strtod would also take hexadecimal and "inf"; the prefix holds only decimal forms.
    return std::strtod(number.c_str(), nullptr);
}

bool IsAscii(std::string_view text) {
    for (const char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

std::string TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string NumberToText(double number) {
    // The range first: converting NaN, an infinity or a number beyond long long is undefined.
    if (number > -1e18 && number < 1e18 &&
        number == static_cast<double>(static_cast<long long>(number))) {
        return std::to_string(static_cast<long long>(number));
    }
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.15g", number);
    return buffer;
}

bool IsInvisibleControl(char32_t c) {
    return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x2028 || c == 0x2029 ||
           c == 0x061C || c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

bool IsBlankCharacter(char32_t c) {
    return c == 0x20 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) ||
           c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

std::string EscapeInvisible(std::string_view utf8, bool quoted) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t at = 0;
    while (at < utf8.size()) {
        // One character at a time, so that a byte that is not UTF-8 is told apart from U+FFFD.
        std::size_t length = 1;
        const auto lead = static_cast<unsigned char>(utf8[at]);
        if (lead >= 0xF0) {
            length = 4;
        } else if (lead >= 0xE0) {
            length = 3;
        } else if (lead >= 0xC0) {
            length = 2;
        }
        const std::string_view piece = utf8.substr(at, length);
        const std::u32string decoded = DecodeUtf8(piece);
        char hex[16];
        if (decoded.size() != 1 || (decoded[0] == 0xFFFD && piece != "\xEF\xBF\xBD")) {
            std::snprintf(hex, sizeof hex, "\\x%02X", lead);
            out += hex;
            ++at;
            continue;
        }
        const char32_t c = decoded[0];
        if (c < 0x20 || c == 0x7F) {
            std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned>(c));
            out += hex;
        } else if (IsInvisibleControl(c)) {
            std::snprintf(hex, sizeof hex, "\\u%04X", static_cast<unsigned>(c));
            out += hex;
        } else {
            if (quoted && (c == '"' || c == '\\')) out += '\\';
            out += piece;
        }
        at += length;
    }
    return out;
}

std::string ShortenMiddle(std::string_view utf8, std::size_t maxChars) {
    const std::u32string text = DecodeUtf8(utf8);
    if (text.size() <= maxChars || maxChars < 3) return std::string(utf8);
    const std::size_t kept = maxChars - 1;  // room for the ellipsis
    const std::size_t head = (kept + 1) / 2;
    const std::size_t tail = kept - head;
    return EncodeUtf8(text.substr(0, head)) + "…" + EncodeUtf8(text.substr(text.size() - tail));
}

std::string ShortenLevels(std::string_view utf8, std::size_t maxChars) {
    std::string out;
    for (;;) {
        const std::size_t end = utf8.find('\\');
        out += ShortenMiddle(utf8.substr(0, end), maxChars);
        if (end == std::string_view::npos) return out;
        out += '\\';
        utf8.remove_prefix(end + 1);
    }
}

}  // namespace zuv
