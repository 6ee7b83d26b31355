// How the registry takes key paths, names and value data through its ANSI functions, for the
// registries this program models itself (the copy-on-write view an apply is planned on, and
// the in-memory registry of the tests), so that both answer as Wine's registry does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/codepage.h"

namespace zuv {

// The identity and the listing order of a key or value name (UTF-8): FoldedKey (base/text.h),
// the one case fold, so the same names are equal; its ASCII letters then taken in lower case as
// Wine orders them, so "_x" comes before "A".
std::u32string NameKey(std::string_view utf8);

// Length in UTF-16 code units, which is what the registry counts.
std::size_t Utf16Length(std::u32string_view text);

// Splits a sub-key path (ANSI) into its levels as the registry does: empty levels are skipped
// and the split is made on the text, where the second byte of a double-byte character can look
// like a backslash. Fails with kErrorMoreData for a path over 260 characters, kErrorBadPathname
// for a leading backslash and kErrorInvalidParameter for a level over 256 characters or bytes
// that are no text of the code page.
long SplitKeyPath(const AnsiCodePage& codePage, const std::string& ansiPath,
                  std::vector<std::string>& levels);

// kErrorInvalidParameter for a value name over 16383 characters.
long CheckValueName(const AnsiCodePage& codePage, const std::string& ansiName);

// Hands a stored value to a RegQueryValueExA caller: the type, the size alone when `data` is
// null, kErrorMoreData with the size needed when the buffer is short, and a NUL after text
// stored without one when there is room (the size does not count it).
long CopyValueOut(std::uint32_t storedType, const std::vector<unsigned char>& stored,
                  std::uint32_t* type, unsigned char* data, std::uint32_t* size);

// The data of a value written through the ANSI functions as the registry stores it: text types
// (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ) converted from the code page into UTF-16LE, every other
// type byte for byte.
std::vector<unsigned char> StoredData(const AnsiCodePage& codePage, std::uint32_t type,
                                      const std::vector<unsigned char>& ansiData);

// Copies a listed name into a RegEnumKeyExA/RegEnumValueA caller's buffer: kErrorMoreData,
// leaving the length as handed in, when the name and its NUL do not fit.
long CopyNameOut(const std::string& ansiName, char* name, std::uint32_t* nameLen);

}  // namespace zuv
