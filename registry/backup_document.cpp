#include "registry/backup_document.h"

#include <algorithm>
#include <map>
#include <optional>
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
    std::vector<const std::optional<StoredValue>*> ends;  // for each of `names`, when known
    bool deleted = false;
};

using KeyId = std::pair<RegKey, std::u32string>;

KeyId IdOf(RegKey root, const std::string& path) { return {root, FoldedKey(path)}; }

const StoredValue* Named(const std::vector<StoredValue>& values, const std::string& name) {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&](const StoredValue& v) { return EqualsNoCase(v.name, name); });
    return found == values.end() ? nullptr : &*found;
}

bool Same(const StoredValue* before, const std::optional<StoredValue>& after) {
    if (before == nullptr || !after) return before == nullptr && !after;
    return before->type == after->type && before->data == after->data;
}

}  // namespace

BackupDocument MakeBackupDocument(const PlannedWrites& planned, StoredRegistry& stored) {
    if (const std::string* name = Unwritable(planned)) {
        return {{}, "注册表项或值的名称“" + *name + "”含有换行符，备份文件无法表示"};
    }
    const PlannedEnd* end = planned.end ? &*planned.end : nullptr;
    if (end != nullptr && (end->values.size() != planned.values.size() ||
                           end->createdKeys.size() != planned.createdKeys.size() ||
                           end->deletedKeys.size() != planned.deletedKeys.size())) {
        end = nullptr;  // not this plan's: nothing is known of the end
    }
    std::map<KeyId, TouchedKey> touched;  // parents before their sub-keys
    const auto touch = [&](RegKey root, const std::string& path) -> TouchedKey& {
        TouchedKey& key = touched[IdOf(root, path)];
        key.root = root;
        key.path = path;
        return key;
    };
    for (std::size_t i = 0; i < planned.values.size(); ++i) {
        const ValuePlace& value = planned.values[i];
        TouchedKey& key = touch(value.root, value.path);
        key.names.push_back(value.name);
        key.ends.push_back(end != nullptr ? &end->values[i] : nullptr);
    }
    for (const KeyPlace& key : planned.deletedKeys) touch(key.root, key.path).deleted = true;

    // A key made or deleted for good is a change in itself. A key the apply makes is left in
    // place by the backup: a .reg file can remove a key only with all that is in it by then.
    bool changes = end == nullptr;
    if (end != nullptr) {
        for (const bool there : end->createdKeys) changes = changes || there;
        for (const bool there : end->deletedKeys) changes = changes || !there;
    }

    RegText text;
    for (const auto& entry : touched) {
        const TouchedKey& key = entry.second;
        std::vector<StoredValue> values;
        const long rc = stored.ReadKey(key.root, key.path, values);
        if (rc != kErrorSuccess && rc != kErrorFileNotFound) {
            return {{}, std::string("无法读取注册表 ") + RootName(key.root) + "\\" + key.path +
                            "（错误代码 " + std::to_string(rc) + "：" + stored.ErrorText(rc) + "）"};
        }
        // What the key held comes back: every value of a key the apply deletes, the others it
        // touches; a value it adds is removed, unless it is gone again at the end anyway.
        std::vector<const StoredValue*> restored;
        std::vector<const std::string*> removed;
        for (const StoredValue& value : values) {
            const bool touchedName = std::any_of(key.names.begin(), key.names.end(),
                                                 [&](const std::string& n) { return EqualsNoCase(n, value.name); });
            if (key.deleted || touchedName) restored.push_back(&value);
            if (key.deleted && !touchedName) changes = true;  // deleted with its key, not written again
        }
        for (std::size_t i = 0; i < key.names.size(); ++i) {
            const StoredValue* before = Named(values, key.names[i]);
            const std::optional<StoredValue>* after = key.ends[i];
            if (after == nullptr || !Same(before, *after)) changes = true;
            if (before == nullptr && (after == nullptr || after->has_value())) removed.push_back(&key.names[i]);
        }
        if (restored.empty() && removed.empty()) continue;
        text.Key(key.root, key.path);
        for (const StoredValue* value : restored) text.Value(*value);
        for (const std::string* name : removed) text.Missing(*name);
    }
    return {text.Bytes(), {}, changes};
}

}  // namespace zuv
