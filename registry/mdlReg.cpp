#include "registry/mdlReg.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "base/runtime_error.h"
#include "base/text.h"
#include "registry/unique_hkey.h"

namespace zuv {
namespace {

constexpr double kDwordMax = 4294967295.0;
constexpr long kStatusNotArray = 1;
constexpr long kStatusOutOfRange = 2;

std::string TextOf(const RegValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* number = std::get_if<double>(&value)) return NumberToText(*number);
    throw RuntimeError(ErrorKind::TypeMismatch);
}

double NumberOf(const RegValue& value) {
    if (const auto* number = std::get_if<double>(&value)) return *number;
    if (const auto* text = std::get_if<std::string>(&value)) {
        if (IsNumericText(*text)) return ValueOfText(*text);
    }
    throw RuntimeError(ErrorKind::TypeMismatch);
}

const char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

std::string DwordToHex(double number) {
    std::string hex(8, ' ');
    for (int k = 1; k <= 8; ++k) {
        const double d = number - std::floor(number / 16) * 16;
        char digit = ' ';
        if (d == 10 || d == 11 || d == 12 || d == 13 || d == 14 || d == 15) {
            digit = static_cast<char>('A' + static_cast<int>(d) - 10);
        } else {
            digit = NumberToText(d).front();
        }
        hex[static_cast<std::size_t>(8 - k)] = digit;
        number = std::floor(number / 16);
    }
    return hex;
}

bool NameLess(const std::string& a, const std::string& b) { return CompareNoCase(a, b) < 0; }

void SortNames(std::vector<std::string>& names) {
    std::stable_sort(names.begin(), names.end(), NameLess);
}

std::string RefusalReason(long status, const RegValue& value, std::uint32_t type) {
    if (status == kStatusNotArray && type == kRegBinary && !std::holds_alternative<ByteArray>(value)) {
        return "二进制数据不是字节数组";
    }
    if (status == kStatusOutOfRange && type == kRegDword) {
        const double number = NumberOf(value);
        if (!(number >= 0 && number <= kDwordMax)) {
            return "数值 " + NumberToText(number) + " 超出 DWORD 的范围（0 到 4294967295）";
        }
    }
    return {};
}

template <class Open, class Use>
bool mdlReg::InKey(Open open, Use use) {
    UniqueHKey key(api_);
    RegStatus = open(key.Put());
    if (RegStatus != kErrorSuccess) return false;
    const bool done = use(key.Get());
    // Closed on the normal path here, so that a close that throws is reported as any call is.
    // Its result code is not RegStatus: a key that does not close undoes nothing done in it.
    (void)key.Close();
    return done;
}

bool mdlReg::SetValue(RegKey root, const std::string& path, const std::string& valueName,
                      const RegValue& value, std::uint32_t type) {
    // Every conversion happens before the registry is touched, so a value that cannot be
    // written leaves nothing behind.
    const std::string ansiPath = codePage_.FromUtf8(path);
    const std::string ansiName = codePage_.FromUtf8(valueName);
    RegValue prepared = value;
    if (type == kRegSz || type == kRegExpandSz || type == kRegMultiSz) {
        prepared = codePage_.FromUtf8(TextOf(value));
    } else if (type == kRegDword) {
        prepared = NumberOf(value);
    }

    std::uint32_t disposition = 0;
    return InKey(
        [&](RegKey* key) {
            return api_.CreateKeyEx(root, ansiPath, std::to_string(type), kWriteAccess, true, key,
                                    &disposition);
        },
        [&](RegKey key) { return Write(key, ansiName, prepared, type); });
}

bool mdlReg::Write(RegKey key, const std::string& ansiName, const RegValue& value,
                   std::uint32_t type) {
    switch (type) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz: {
        const auto& text = std::get<std::string>(value);
        std::vector<unsigned char> data(text.begin(), text.end());
        data.push_back(0);
        RegStatus = api_.SetValueEx(key, ansiName, type, data.data(),
                                    static_cast<std::uint32_t>(data.size()));
        break;
    }
    case kRegBinary: {
        RegStatus = kStatusNotArray;
        const auto* array = std::get_if<ByteArray>(&value);
        if (array == nullptr) break;
        if (!array->items) {
            RegStatus = api_.SetValueEx(key, ansiName, kRegBinary, nullptr, 0);
        } else {
            const auto& bytes = *array->items;
            RegStatus = api_.SetValueEx(key, ansiName, kRegBinary, bytes.data(),
                                        static_cast<std::uint32_t>(bytes.size()));
        }
        break;
    }
    case kRegDword: {
        double number = std::get<double>(value);
        if (!(number >= 0 && number <= kDwordMax)) {
            RegStatus = kStatusOutOfRange;
            break;
        }
        number = std::floor(number);  // callers pass whole numbers; a fraction is dropped
        const std::string h = DwordToHex(number);
        unsigned char buffer[4];
        for (std::size_t i = 0; i < 4; ++i) {
            const std::string pair = h.substr(6 - 2 * i, 2);
            buffer[i] = static_cast<unsigned char>(std::stoul(pair, nullptr, 16));
        }
        RegStatus = api_.SetValueEx(key, ansiName, kRegDword, buffer, 4);
        break;
    }
    default:
        // Other types are accepted and write nothing.
        break;
    }
    return RegStatus == kErrorSuccess;
}

std::string mdlReg::QueryValue(RegKey root, const std::string& path, const std::string& valueName,
                               std::uint32_t& type) {
    const std::string ansiPath = codePage_.FromUtf8(path);
    const std::string ansiName = codePage_.FromUtf8(valueName);
    std::string text;
    // Reading needs no write rights: HKEY_LOCAL_MACHINE is read-only for a standard user.
    InKey([&](RegKey* key) { return api_.OpenKeyEx(root, ansiPath, kReadAccess, key); },
          [&](RegKey key) {
              text = TrimBlanks(ReadAsText(key, ansiName, type));
              return true;
          });
    return text;
}

std::string mdlReg::ReadAsText(RegKey key, const std::string& ansiName, std::uint32_t& type) {
    // Read the whole value, however long: one query into a 1024-byte buffer, which holds
    // nearly every value; when the value is longer, again with the size the query told.
    std::uint32_t heldType = type;
    std::vector<unsigned char> data(1024);
    for (int attempt = 0; attempt < 4; ++attempt) {
        auto got = static_cast<std::uint32_t>(data.size());
        std::uint32_t readType = heldType;
        RegStatus = api_.QueryValueEx(key, ansiName, &readType, data.data(), &got);
        if (RegStatus == kErrorMoreData) {
            // The value may still grow before the next query: leave room for a terminator.
            data.assign(std::max<std::size_t>(got, data.size()) + 2, 0);
            continue;
        }
        if (RegStatus != kErrorSuccess) return {};
        heldType = readType;
        data.resize(got);
        break;
    }
    if (RegStatus != kErrorSuccess) return {};
    type = heldType;

    switch (heldType) {
    case kRegSz:
    case kRegExpandSz:
    case kRegMultiSz: {
        std::string text(data.begin(), data.end());
        if (heldType == kRegMultiSz) {
            while (!text.empty() && text.back() == '\0') text.pop_back();
        } else {
            if (const auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
        }
        return codePage_.ToUtf8(text);
    }
    case kRegBinary: {
        std::string hex;
        hex.reserve(data.size() * 3);
        for (unsigned char b : data) {
            hex.push_back(kHexDigits[b >> 4]);
            hex.push_back(kHexDigits[b & 0x0F]);
            hex.push_back(' ');
        }
        return hex;
    }
    case kRegDword:
        return std::to_string(DwordFromData(data));
    default:
        return {};
    }
}

bool mdlReg::DeleteEntry(RegKey root, const std::string& path, const std::string& valueName) {
    const std::string ansiPath = codePage_.FromUtf8(path);
    const std::string ansiName = codePage_.FromUtf8(valueName);
    const auto openForWriting = [&](const std::string& ansiKeyPath) {
        return [this, root, &ansiKeyPath](RegKey* key) {
            return api_.OpenKeyEx(root, ansiKeyPath, kWriteAccess, key);
        };
    };

    if (!ansiName.empty()) {
        return InKey(openForWriting(ansiPath), [&](RegKey key) {
            RegStatus = api_.DeleteValue(key, ansiName);
            return RegStatus == kErrorSuccess;
        });
    }

    // A key: it must open, as the value would; then split the path at its last backslash
    // into parent and child. The split is made on the text, not on its ANSI bytes, where the
    // second byte of a double-byte character can look like a backslash.
    std::string parent;
    std::string child = ansiPath;
    const bool opened = InKey(openForWriting(ansiPath), [&](RegKey) {
        const auto last = path.rfind('\\');
        if (last != std::string::npos && last > 0) {
            parent = codePage_.FromUtf8(path.substr(0, last));
            child = codePage_.FromUtf8(path.substr(last + 1));
        }
        return true;
    });
    if (!opened) return false;
    if (child.empty()) {
        // A path ending with a backslash names no child. The platform would delete the
        // opened key itself, with every value in it; nothing is deleted instead.
        RegStatus = kErrorInvalidParameter;
        return false;
    }
    return InKey(openForWriting(parent), [&](RegKey key) {
        RegStatus = api_.DeleteKey(key, child);
        return RegStatus == kErrorSuccess;
    });
}

bool mdlReg::EnumerateKey(RegKey root, const std::string& path, std::vector<std::string>& subKeys,
                          std::vector<std::string>& valueNames,
                          std::vector<std::uint32_t>& valueTypes, std::uint32_t& subKeyCount,
                          std::uint32_t& valueCount, std::uint32_t& maxSubKeyLen,
                          std::uint32_t& maxValueNameLen) {
    const std::string ansiPath = codePage_.FromUtf8(path);
    // Listed with the key open; closed before returning on every path.
    const auto list = [&](RegKey key) -> bool {
        RegStatus = api_.QueryInfoKey(key, &subKeyCount, &maxSubKeyLen, &valueCount,
                                      &maxValueNameLen);
        if (RegStatus != kErrorSuccess) return false;

        if (subKeyCount > 0) {
            std::vector<std::string> names;
            names.reserve(subKeyCount);
            // Key names hold at most 256 characters; in a double-byte code page that can be
            // twice as many bytes.
            std::vector<char> buffer(std::max<std::size_t>(514, std::size_t{maxSubKeyLen} * 2 + 2));
            for (std::uint32_t i = 0; i < subKeyCount; ++i) {
                auto length = static_cast<std::uint32_t>(buffer.size());
                RegStatus = api_.EnumKeyEx(key, i, buffer.data(), &length);
                if (RegStatus != kErrorSuccess) return false;
                names.push_back(codePage_.ToUtf8(std::string(buffer.data(), length)));
            }
            SortNames(names);
            subKeys = std::move(names);
        }
        if (valueCount > 0) {
            std::vector<std::pair<std::string, std::uint32_t>> values;
            values.reserve(valueCount);
            // Value names may be longer than key names; the key told the longest one.
            std::vector<char> buffer(std::max<std::size_t>(256, std::size_t{maxValueNameLen} * 2 + 2));
            for (std::uint32_t i = 0; i < valueCount; ++i) {
                auto length = static_cast<std::uint32_t>(buffer.size());
                std::uint32_t type = 0;
                RegStatus = api_.EnumValue(key, i, buffer.data(), &length, &type);
                if (RegStatus != kErrorSuccess) return false;
                values.emplace_back(codePage_.ToUtf8(std::string(buffer.data(), length)), type);
            }
            std::stable_sort(values.begin(), values.end(),
                             [](const auto& a, const auto& b) { return NameLess(a.first, b.first); });
            valueNames.clear();
            valueTypes.clear();
            for (auto& [name, type] : values) {
                valueNames.push_back(std::move(name));
                valueTypes.push_back(type);
            }
        }
        RegStatus = kErrorSuccess;
        return true;
    };
    return InKey([&](RegKey* key) { return api_.OpenKeyEx(root, ansiPath, kReadAccess, key); },
                 list);
}

bool mdlReg::EnumerateSubKeys(RegKey root, const std::string& path,
                              std::vector<std::string>& subKeys) {
    std::vector<std::string> valueNames;
    return EnumerateNames(root, path, subKeys, valueNames);
}

bool mdlReg::EnumerateNames(RegKey root, const std::string& path,
                            std::vector<std::string>& subKeys,
                            std::vector<std::string>& valueNames) {
    std::vector<std::uint32_t> valueTypes;
    std::uint32_t subKeyCount = 0;
    std::uint32_t valueCount = 0;
    std::uint32_t maxSubKeyLen = 0;
    std::uint32_t maxValueNameLen = 0;
    return EnumerateKey(root, path, subKeys, valueNames, valueTypes, subKeyCount, valueCount,
                        maxSubKeyLen, maxValueNameLen);
}

}  // namespace zuv
