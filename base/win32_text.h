// Conversions between the program's UTF-8 text and the UTF-16 and ANSI text of Windows.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zuv {

// Text in `codePage` to UTF-16; empty when the conversion fails.
std::wstring WideFrom(UINT codePage, std::string_view text, DWORD flags = 0);
// UTF-16 to text in `codePage`; empty when the conversion fails.
std::string BytesFrom(UINT codePage, std::wstring_view wide, DWORD flags = 0,
                      BOOL* usedDefault = nullptr);

inline std::wstring Widen(std::string_view utf8) { return WideFrom(CP_UTF8, utf8); }
inline std::string Narrow(std::wstring_view utf16) { return BytesFrom(CP_UTF8, utf16); }

// The system's description of an error code (GetLastError, or a registry result), UTF-8,
// without trailing line breaks; "错误 <code>" when the system has none.
std::string SystemErrorText(DWORD code);

}  // namespace zuv
