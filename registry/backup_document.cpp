#include "registry/backup_document.h"

#include <algorithm>
#include <map>
#include <utility>

#include "base/text.h"

namespace zuv {
namespace {

// regedit breaks hexadecimal data after a comma once a line reaches this width.
constexpr std::size_t kLineWidth = 80;

std::u16string Escaped(const std::u16string& text) {
    std::u16string out;
    for (char16_t c : text) {
        if (c == u'\\' || c == u'"') out.push_back(u'\\');
        out.push_back(c);
    }
    return out;
}

std::u16string NameText(const std::string& name) {
    return name.empty() ? u"@" : u"\"" + Escaped(Utf16FromUtf8(name)) + u"\"";
}

std::u16string Hex(std::uint32_t number, int digits) {
    static constexpr char16_t kDigits[] = u"0123456789abcdef";
    std::u16string out;
    do {
        out.insert(out.begin(), kDigits[number & 0xF]);
        number >>= 4;
    } while (--digits > 0 || number != 0);
    return out;
}

// REG_SZ data that the quoted form carries exactly: UTF-16 text ending in its only NUL, with
// no control characters (a line break would end the line) and no unpaired surrogates.
bool QuotedText(const std::vector<unsigned char>& data, std::u16string& text) {
    if (data.size() < 2 || data.size() % 2 != 0) return false;
    text.clear();
    for (std::size_t i = 0; i < data.size(); i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    if (text.back() != 0) return false;
    text.pop_back();
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x20) return false;
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (low) return false;
        if (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)) {
            return false;
        }
        if (high) ++i;
    }
    return true;
}

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// A key path or value name the file cannot carry: a line break would end its line.
const std::string* Unwritable(const PlannedWrites& planned) {
    for (const ValuePlace& value : planned.values) {
        if (HasLineBreak(value.path)) return &value.path;
        if (HasLineBreak(value.name)) return &value.name;
    }
    for (const auto* keys : {&planned.createdKeys, &planned.deletedKeys}) {
        for (const KeyPlace& key : *keys) {
            if (HasLineBreak(key.path)) return &key.path;
        }
    }
    return nullptr;
}

class RegText {
public:
    RegText() : text_(u"\xFEFFWindows Registry Editor Version 5.00\r\n") {}

    void Key(RegKey root, const std::string& path) { Section(u"[", root, path); }
    void Removal(RegKey root, const std::string& path) { Section(u"[-", root, path); }
    void Missing(const std::string& name) { text_ += NameText(name) + u"=-\r\n"; }

    void Value(const StoredValue& value) {
        std::u16string line = NameText(value.name) + u"=";
        std::u16string quoted;
        if (value.type == kRegSz && QuotedText(value.data, quoted)) {
            text_ += line + u"\"" + Escaped(quoted) + u"\"\r\n";
            return;
        }
        if (value.type == kRegDword && value.data.size() == 4) {
            const auto& d = value.data;
            const std::uint32_t number = std::uint32_t{d[0]} | std::uint32_t{d[1]} << 8 |
                                         std::uint32_t{d[2]} << 16 | std::uint32_t{d[3]} << 24;
            text_ += line + u"dword:" + Hex(number, 8) + u"\r\n";
            return;
        }
        line += value.type == kRegBinary ? u"hex:" : u"hex(" + Hex(value.type, 1) + u"):";
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            if (i > 0 && line.size() + 4 > kLineWidth) {  // "xx," and the "\" that continues
                text_ += line + u"\\\r\n";
                line = u"  ";
            }
            line += Hex(value.data[i], 2);
            if (i + 1 < value.data.size()) line += u",";
        }
        text_ += line + u"\r\n";
    }

    std::vector<unsigned char> Bytes() const {
        std::vector<unsigned char> out;
        out.reserve(text_.size() * 2 + 2);
        for (char16_t unit : text_ + u"\r\n") {
            out.push_back(static_cast<unsigned char>(unit & 0xFF));
            out.push_back(static_cast<unsigned char>(unit >> 8));
        }
        return out;
    }

private:
    void Section(const char16_t* open, RegKey root, const std::string& path) {
        const std::string key = std::string(RootName(root)) + "\\" + path;
        text_ += u"\r\n" + (open + Utf16FromUtf8(key)) + u"]\r\n";
    }

    std::u16string text_;
};

// One key the apply writes to: the values it touches, or all of them when it deletes the key.
struct TouchedKey {
    RegKey root = 0;
    std::string path;
    std::vector<std::string> names;
    bool deleted = false;
};

using KeyId = std::pair<RegKey, std::u32string>;

KeyId IdOf(RegKey root, const std::string& path) { return {root, FoldedKey(path)}; }

// Whether `inner` is `outer` or lies below it.
bool Within(const KeyId& inner, const KeyId& outer) {
    const std::u32string& a = inner.second;
    const std::u32string& b = outer.second;
    return inner.first == outer.first && a.compare(0, b.size(), b) == 0 &&
           (a.size() == b.size() || a[b.size()] == U'\\');
}

bool Named(const std::vector<std::string>& names, const std::string& name) {
    return std::any_of(names.begin(), names.end(),
                       [&](const std::string& n) { return EqualsNoCase(n, name); });
}

}  // namespace

BackupDocument MakeBackupDocument(const PlannedWrites& planned, StoredRegistry& stored) {
    if (const std::string* name = Unwritable(planned)) {
        return {{}, "注册表项或值的名称“" + *name + "”含有换行符，备份文件无法表示"};
    }
    std::map<KeyId, TouchedKey> touched;  // parents before their sub-keys
    const auto touch = [&](RegKey root, const std::string& path) -> TouchedKey& {
        TouchedKey& key = touched[IdOf(root, path)];
        key.root = root;
        key.path = path;
        return key;
    };
    for (const ValuePlace& value : planned.values) touch(value.root, value.path).names.push_back(value.name);
    for (const KeyPlace& key : planned.deletedKeys) touch(key.root, key.path).deleted = true;
    std::map<KeyId, KeyPlace> removed;
    for (const KeyPlace& key : planned.createdKeys) removed.emplace(IdOf(key.root, key.path), key);

    RegText text;
    for (const auto& entry : touched) {
        const KeyId& id = entry.first;
        const TouchedKey& key = entry.second;
        if (std::any_of(removed.begin(), removed.end(),
                        [&](const auto& created) { return Within(id, created.first); })) {
            continue;  // the removal of a key the apply creates takes it along
        }
        std::vector<StoredValue> values;
        const long rc = stored.ReadKey(key.root, key.path, values);
        if (rc == kErrorFileNotFound) {
            removed.emplace(id, KeyPlace{key.root, key.path});  // gone since the plan was made
            continue;
        }
        if (rc != kErrorSuccess) {
            return {{}, std::string("无法读取注册表 ") + RootName(key.root) + "\\" + key.path +
                            "（错误代码 " + std::to_string(rc) + "：" + stored.ErrorText(rc) + "）"};
        }
        text.Key(key.root, key.path);
        for (const StoredValue& value : values) {
            if (key.deleted || Named(key.names, value.name)) text.Value(value);
        }
        for (const std::string& name : key.names) {
            const bool present = std::any_of(values.begin(), values.end(), [&](const StoredValue& v) {
                return EqualsNoCase(v.name, name);
            });
            if (!present) text.Missing(name);
        }
    }
    // Removals last, the topmost key of each branch only.
    std::vector<KeyId> outer;
    for (const auto& [id, key] : removed) {
        const KeyId& inner = id;
        if (std::any_of(outer.begin(), outer.end(), [&](const KeyId& o) { return Within(inner, o); })) {
            continue;
        }
        outer.push_back(id);
        text.Removal(key.root, key.path);
    }
    return {text.Bytes(), {}};
}

}  // namespace zuv
