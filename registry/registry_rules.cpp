#include "registry/registry_rules.h"

#include <cstring>
#include <exception>

#include "base/text.h"
#include "registry/registry_api.h"

namespace zuv {
namespace {

// Wine takes key names of up to 256 characters, and sub-key paths of up to 260 through the
// ANSI functions (they convert into a MAX_PATH buffer; a longer path gives ERROR_MORE_DATA).
constexpr std::size_t kMaxKeyNameChars = 256;
constexpr std::size_t kMaxSubKeyPathChars = 260;
constexpr std::size_t kMaxValueNameChars = 16383;

bool IsStringType(std::uint32_t type) {
    return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// No character takes fewer ANSI bytes than UTF-16 units: only a long text needs counting.
bool LongerThan(const AnsiCodePage& codePage, const std::string& ansi, std::size_t chars) {
    return ansi.size() > chars && Utf16Length(DecodeUtf8(codePage.ToUtf8(ansi))) > chars;
}

}  // namespace

std::u32string NameKey(std::string_view utf8) {
    std::u32string key = FoldedKey(utf8);
    for (char32_t& c : key) {
        if (c >= U'A' && c <= U'Z') c += U'a' - U'A';
    }
    return key;
}

std::size_t Utf16Length(std::u32string_view text) {
    std::size_t n = 0;
    for (char32_t c : text) n += c > 0xFFFF ? 2 : 1;
    return n;
}

std::vector<unsigned char> StoredData(const AnsiCodePage& codePage, std::uint32_t type,
                                      const std::vector<unsigned char>& ansiData) {
    if (!IsStringType(type)) return ansiData;
    const std::string ansi(ansiData.begin(), ansiData.end());
    std::vector<unsigned char> stored;
    for (const char16_t unit : Utf16FromUtf8(codePage.ToUtf8(ansi))) {
        stored.push_back(static_cast<unsigned char>(unit & 0xFF));
        stored.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return stored;
}

long SplitKeyPath(const AnsiCodePage& codePage, const std::string& ansiPath,
                  std::vector<std::string>& levels) {
    levels.clear();
    if (LongerThan(codePage, ansiPath, kMaxSubKeyPathChars)) return kErrorMoreData;
    if (!ansiPath.empty() && ansiPath.front() == '\\') return kErrorBadPathname;
    const bool ascii = IsAscii(ansiPath);
    const std::string text = ascii ? ansiPath : codePage.ToUtf8(ansiPath);
    std::string level;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i < text.size() && text[i] != '\\') {
            level.push_back(text[i]);
            continue;
        }
        if (!level.empty()) {
            if (level.size() > kMaxKeyNameChars &&
                Utf16Length(DecodeUtf8(level)) > kMaxKeyNameChars) {
                return kErrorInvalidParameter;
            }
            if (ascii) {
                levels.push_back(level);
            } else {
                try {
                    levels.push_back(codePage.FromUtf8(level));
                } catch (const std::exception&) {
                    return kErrorInvalidParameter;  // bytes that are no text of the code page
                }
            }
        }
        level.clear();
    }
    return kErrorSuccess;
}

long CheckValueName(const AnsiCodePage& codePage, const std::string& ansiName) {
    return LongerThan(codePage, ansiName, kMaxValueNameChars) ? kErrorInvalidParameter
                                                              : kErrorSuccess;
}

long CopyValueOut(std::uint32_t storedType, const std::vector<unsigned char>& stored,
                  std::uint32_t* type, unsigned char* data, std::uint32_t* size) {
    if (type != nullptr) *type = storedType;
    if (size == nullptr) return kErrorSuccess;
    const auto length = static_cast<std::uint32_t>(stored.size());
    if (data == nullptr) {
        *size = length;
        return kErrorSuccess;
    }
    if (*size < length) {
        *size = length;
        return kErrorMoreData;
    }
    if (length != 0) std::memcpy(data, stored.data(), length);
    if (IsStringType(storedType) && length < *size && (length == 0 || stored.back() != 0)) {
        data[length] = 0;
    }
    *size = length;
    return kErrorSuccess;
}

long CopyNameOut(const std::string& ansiName, char* name, std::uint32_t* nameLen) {
    if (ansiName.size() + 1 > *nameLen) return kErrorMoreData;
    std::memcpy(name, ansiName.data(), ansiName.size());
    name[ansiName.size()] = '\0';
    *nameLen = static_cast<std::uint32_t>(ansiName.size());
    return kErrorSuccess;
}

}  // namespace zuv
