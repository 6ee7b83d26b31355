#include "backup/backup_document.h"

#include <algorithm>
#include <map>
#include <optional>
#include <set>
#include <utility>

#include "base/text.h"
#include "browser_config/own_places.h"

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
    void RemoveKey(RegKey root, const std::string& path) { Section(u"[-", root, path); }
    void Comment(const std::string& text) { text_ += u"; " + Utf16FromUtf8(text) + u"\r\n"; }
    void Missing(const std::string& name) { text_ += NameText(name) + u"=-\r\n"; }

    void Value(const StoredValue& value) {
        std::u16string line = NameText(value.name) + u"=";
        std::u16string quoted;
        if (value.type == kRegSz && QuotedText(value.data, quoted)) {
            text_ += line + u"\"" + Escaped(quoted) + u"\"\r\n";
            return;
        }
        if (value.type == kRegDword && value.data.size() == 4) {
            text_ += line + u"dword:" + Hex(DwordFromData(value.data), 8) + u"\r\n";
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
    std::set<std::u32string> folded;  // `names` as the registry compares them
    std::vector<const std::optional<StoredValue>*> ends;  // for each of `names`, when known
    bool deleted = false;
};

using KeyId = std::pair<RegKey, std::u32string>;

KeyId IdOf(RegKey root, const std::string& path) { return {root, FoldedKey(path)}; }

// The values of a key by their names as the registry compares them, so that finding each of
// many names costs no more than the names themselves.
class ValuesByName {
public:
    explicit ValuesByName(const std::vector<StoredValue>& values) {
        for (const StoredValue& value : values) byName_.emplace(FoldedKey(value.name), &value);
    }
    const StoredValue* Find(const std::string& name) const {
        const auto found = byName_.find(FoldedKey(name));
        return found == byName_.end() ? nullptr : found->second;
    }

private:
    std::map<std::u32string, const StoredValue*> byName_;
};

// The first place of `planned` that is not the tool's own: a backup or result naming it would be
// refused when read, so none is made.
std::optional<std::string> ForeignPlace(const PlannedWrites& planned) {
    std::vector<std::string> foreign = PlacesNotOwn(planned);
    if (foreign.empty()) return std::nullopt;
    return "设置将写入的 " + foreign.front() + "，程序有误，无法备份";
}

bool Same(const StoredValue* before, const std::optional<StoredValue>& after) {
    if (before == nullptr || !after) return before == nullptr && !after;
    return before->type == after->type && before->data == after->data;
}

}  // namespace

Result<BackupDocument> MakeBackupDocument(const PlannedWrites& planned, StoredRegistry& stored,
                                          const std::string& note) {
    if (const std::string* name = Unwritable(planned)) {
        return Failure{"注册表项或值的名称“" + *name + "”含有换行符，备份文件无法表示"};
    }
    if (const auto foreign = ForeignPlace(planned)) return Failure{*foreign};
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
        key.folded.insert(FoldedKey(value.name));
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
    text.Comment(kBackupMark);
    if (!note.empty()) text.Comment(note);
    for (std::size_t i = 0; i < planned.createdKeys.size(); ++i) {
        if (end != nullptr && !end->createdKeys[i]) continue;
        const KeyPlace& key = planned.createdKeys[i];
        text.Comment("created: [" + std::string(RootName(key.root)) + "\\" + key.path + "]");
    }
    for (const auto& entry : touched) {
        const TouchedKey& key = entry.second;
        std::vector<StoredValue> values;
        const long rc = stored.ReadKey(key.root, key.path, values);
        if (rc != kErrorSuccess && rc != kErrorFileNotFound) {
            return Failure{std::string("无法读取注册表 ") + RootName(key.root) + "\\" + key.path +
                            "（错误代码 " + std::to_string(rc) + "：" + stored.ErrorText(rc) + "）"};
        }
        // What the key held comes back: every value of a key the apply deletes, the others it
        // touches; a value it adds is removed, unless it is gone again at the end anyway.
        std::vector<const StoredValue*> restored;
        std::vector<const std::string*> removed;
        for (const StoredValue& value : values) {
            const bool touchedName = key.folded.count(FoldedKey(value.name)) != 0;
            if (key.deleted || touchedName) restored.push_back(&value);
            if (key.deleted && !touchedName) changes = true;  // deleted with its key, not written again
        }
        const ValuesByName byName(values);
        for (std::size_t i = 0; i < key.names.size(); ++i) {
            const StoredValue* before = byName.Find(key.names[i]);
            const std::optional<StoredValue>* after = key.ends[i];
            if (after == nullptr || !Same(before, *after)) changes = true;
            if (before == nullptr && (after == nullptr || after->has_value())) removed.push_back(&key.names[i]);
        }
        // A key the apply deletes comes back even when it held nothing: an empty key below it
        // is as much of what it deletes as one with values.
        if (restored.empty() && removed.empty() && !key.deleted) continue;
        text.Key(key.root, key.path);
        for (const StoredValue* value : restored) text.Value(*value);
        for (const std::string* name : removed) text.Missing(*name);
    }
    return BackupDocument{text.Bytes(), changes};
}

Result<BackupDocument> MakeResultDocument(const PlannedWrites& planned, StoredRegistry& stored) {
    if (const std::string* name = Unwritable(planned)) {
        return Failure{"注册表项或值的名称“" + *name + "”含有换行符，.reg 文件无法表示"};
    }
    if (const auto foreign = ForeignPlace(planned)) return Failure{*foreign};
    const PlannedEnd* end = planned.end ? &*planned.end : nullptr;
    if (end == nullptr || end->values.size() != planned.values.size() ||
        end->createdKeys.size() != planned.createdKeys.size() ||
        end->deletedKeys.size() != planned.deletedKeys.size()) {
        return Failure{"无法得知设置的结果"};
    }
    struct Section {
        RegKey root = 0;
        std::string path;
        bool remove = false;      // deleted for good
        bool madeAgain = false;   // deleted and there again at the end
        std::vector<std::pair<const std::string*, const std::optional<StoredValue>*>> values;
    };
    std::map<KeyId, Section> sections;  // parents before their sub-keys
    const auto touch = [&](RegKey root, const std::string& path) -> Section& {
        Section& section = sections[IdOf(root, path)];
        section.root = root;
        section.path = path;
        return section;
    };
    for (std::size_t i = 0; i < planned.createdKeys.size(); ++i) {
        if (end->createdKeys[i]) touch(planned.createdKeys[i].root, planned.createdKeys[i].path);
    }
    for (std::size_t k = 0; k < planned.deletedKeys.size(); ++k) {
        Section& section = touch(planned.deletedKeys[k].root, planned.deletedKeys[k].path);
        (end->deletedKeys[k] ? section.madeAgain : section.remove) = true;
    }
    for (std::size_t i = 0; i < planned.values.size(); ++i) {
        touch(planned.values[i].root, planned.values[i].path)
            .values.emplace_back(&planned.values[i].name, &end->values[i]);
    }
    bool changes = false;
    for (const bool there : end->createdKeys) changes = changes || there;
    for (const bool there : end->deletedKeys) changes = changes || !there;
    RegText text;
    for (const auto& entry : sections) {
        const Section& section = entry.second;
        if (section.remove) {
            text.RemoveKey(section.root, section.path);
            continue;
        }
        std::vector<StoredValue> before;
        const long rc = stored.ReadKey(section.root, section.path, before);
        if (rc != kErrorSuccess && rc != kErrorFileNotFound) {
            return Failure{std::string("无法读取注册表 ") + RootName(section.root) + "\\" + section.path +
                            "（错误代码 " + std::to_string(rc) + "：" + stored.ErrorText(rc) + "）"};
        }
        text.Key(section.root, section.path);
        const ValuesByName byName(before);
        std::set<std::u32string> written;
        for (const auto& [name, after] : section.values) {
            if (after->has_value()) {
                text.Value(**after);
            } else {
                text.Missing(*name);
            }
            if (!Same(byName.Find(*name), *after)) changes = true;
            written.insert(FoldedKey(*name));
        }
        // What the key held and the plan did not write again went with the key.
        if (!section.madeAgain) continue;
        for (const StoredValue& value : before) {
            if (written.count(FoldedKey(value.name)) != 0) continue;
            text.Missing(value.name);
            changes = true;
        }
    }
    return BackupDocument{text.Bytes(), changes};
}

namespace {

constexpr std::u16string_view kHeader = u"Windows Registry Editor Version 5.00";

bool StartsWith(std::u16string_view text, std::u16string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// "HKEY_CURRENT_USER\path" into its root and path; false for any other root or an empty path.
bool KeyName(std::u16string_view text, RegKey& root, std::string& path) {
    for (const RegKey candidate : {kHkeyCurrentUser, kHkeyLocalMachine}) {
        const std::u16string prefix = Utf16FromUtf8(RootName(candidate)) + u"\\";
        if (StartsWith(text, prefix) && text.size() > prefix.size()) {
            root = candidate;
            path = Utf8FromUtf16(text.substr(prefix.size()));
            return path.back() != '\\';
        }
    }
    return false;
}

// A quoted text starting at `at` (just after its opening quote), with \\ and \" unescaped;
// `at` ends after the closing quote. False when there is none.
bool QuotedAt(std::u16string_view line, std::size_t& at, std::u16string& text) {
    text.clear();
    while (at < line.size()) {
        const char16_t c = line[at++];
        if (c == u'"') return true;
        if (c == u'\\') {
            if (at == line.size() || (line[at] != u'\\' && line[at] != u'"')) return false;
            text.push_back(line[at++]);
            continue;
        }
        text.push_back(c);
    }
    return false;
}

std::vector<unsigned char> Bytes16(const std::u16string& text) {
    std::vector<unsigned char> out;
    for (const char16_t unit : text) {
        out.push_back(static_cast<unsigned char>(unit & 0xFF));
        out.push_back(static_cast<unsigned char>(unit >> 8));
    }
    return out;
}

// The data after '=': "-" (no value), a quoted text, dword:XXXXXXXX, hex:.. or hex(N):..
bool ValueData(std::u16string_view data, std::optional<StoredValue>& value, std::string& why) {
    if (data == u"-") {
        value.reset();
        return true;
    }
    StoredValue parsed;
    if (StartsWith(data, u"\"")) {
        std::size_t at = 1;
        std::u16string text;
        if (!QuotedAt(data, at, text) || at != data.size()) {
            why = "引号中的文字不完整或其后还有内容";
            return false;
        }
        parsed.type = kRegSz;
        parsed.data = Bytes16(text + u'\0');
        value = std::move(parsed);
        return true;
    }
    if (StartsWith(data, u"dword:")) {
        const std::u16string_view digits = data.substr(6);
        if (digits.size() != 8) {
            why = "dword: 后需要 8 位十六进制数";
            return false;
        }
        std::uint32_t number = 0;
        for (const char16_t c : digits) {
            const int digit = HexDigit(c);
            if (digit < 0) {
                why = "dword: 后需要 8 位十六进制数";
                return false;
            }
            number = number << 4 | static_cast<std::uint32_t>(digit);
        }
        parsed.type = kRegDword;
        for (int shift = 0; shift < 32; shift += 8) parsed.data.push_back(static_cast<unsigned char>(number >> shift));
        value = std::move(parsed);
        return true;
    }
    std::u16string_view bytes;
    if (StartsWith(data, u"hex:")) {
        parsed.type = kRegBinary;
        bytes = data.substr(4);
    } else if (StartsWith(data, u"hex(")) {
        const std::size_t close = data.find(u"):");
        if (close == std::u16string_view::npos || close == 4 || close > 12) {
            why = "hex( 后需要类型和 ):";
            return false;
        }
        std::uint32_t type = 0;
        for (const char16_t c : data.substr(4, close - 4)) {
            const int digit = HexDigit(c);
            if (digit < 0) {
                why = "hex( 后的类型不是十六进制数";
                return false;
            }
            type = type << 4 | static_cast<std::uint32_t>(digit);
        }
        parsed.type = type;
        bytes = data.substr(close + 2);
    } else {
        why = "无法识别的数据";
        return false;
    }
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (at + 2 > bytes.size() || HexDigit(bytes[at]) < 0 || HexDigit(bytes[at + 1]) < 0) {
            why = "十六进制数据中有无法识别的字节";
            return false;
        }
        parsed.data.push_back(static_cast<unsigned char>(HexDigit(bytes[at]) << 4 | HexDigit(bytes[at + 1])));
        at += 2;
        if (at < bytes.size()) {
            if (bytes[at] != u',' || at + 1 == bytes.size()) {
                why = "十六进制数据中有无法识别的字节";
                return false;
            }
            ++at;
        }
    }
    value = std::move(parsed);
    return true;
}

}  // namespace

namespace {

// Why a line cannot be one this program wrote, whatever it holds: a NUL, a carriage return
// that does not end it, or half of a surrogate pair. Any of them in a name would reach the
// registry as another name (cut short at the NUL, or with U+FFFD for the lone half).
std::optional<std::string> BadCharacter(std::u16string_view line) {
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char16_t c = line[i];
        if (c == u'\0') return "含有 NUL 字符";
        if (c == u'\r') return "行中含有回车符";
        const bool high = c >= 0xD800 && c <= 0xDBFF;
        const bool low = c >= 0xDC00 && c <= 0xDFFF;
        if (low || (high && (i + 1 == line.size() || line[i + 1] < 0xDC00 || line[i + 1] > 0xDFFF))) {
            return "含有不成对的 UTF-16 代理项";
        }
        if (high) ++i;
    }
    return std::nullopt;
}

bool ParseInto(const std::vector<unsigned char>& bytes, RegDocument& document, std::string& error) {
    document = {};
    if (bytes.size() < 2 || bytes.size() % 2 != 0 || bytes[0] != 0xFF || bytes[1] != 0xFE) {
        error = "不是 UTF-16LE 编码的 .reg 文件（缺少字节顺序标记）";
        return false;
    }
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8));
    }
    const auto fail = [&](std::size_t line, const std::string& why) {
        error = "第 " + std::to_string(line) + " 行：" + why;
        return false;
    };
    // Lines, with those ending in '\' joined to the next, as the file's value lines are broken.
    std::vector<std::pair<std::size_t, std::u16string>> lines;  // first line number, text
    std::size_t number = 0;
    bool continued = false;
    for (std::size_t begin = 0; begin <= text.size();) {
        std::size_t end = text.find(u'\n', begin);
        if (end == std::u16string::npos) end = text.size();
        std::u16string_view line = std::u16string_view(text).substr(begin, end - begin);
        if (!line.empty() && line.back() == u'\r') line.remove_suffix(1);
        ++number;
        begin = end + 1;
        if (const auto bad = BadCharacter(line)) return fail(number, *bad);
        if (continued) {
            const std::size_t first = line.find_first_not_of(u" \t");
            if (first != std::u16string_view::npos) lines.back().second += line.substr(first);
        } else {
            lines.emplace_back(number, std::u16string(line));
        }
        std::u16string& last = lines.back().second;
        continued = !last.empty() && last.back() == u'\\' && !StartsWith(last, u"[") && !StartsWith(last, u";");
        if (continued) last.pop_back();
        if (end == text.size()) break;
    }
    if (lines.empty() || lines.front().second != kHeader) {
        return fail(1, "第一行应为“Windows Registry Editor Version 5.00”");
    }
    const std::u16string mark = u"; " + Utf16FromUtf8(kBackupMark);
    constexpr std::u16string_view kCreated = u"; created: [";
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto& [at, line] = lines[i];
        if (line.empty()) continue;
        if (line[0] == u';') {
            if (i == 1 && line == mark) {
                document.marked = true;
            } else if (StartsWith(line, kCreated) && line.back() == u']') {
                KeyPlace key;
                if (!KeyName(std::u16string_view(line).substr(kCreated.size(), line.size() - kCreated.size() - 1),
                             key.root, key.path)) {
                    return fail(at, "无法识别的注册表项");
                }
                if (const auto why = WhyNotOwnKeyToCreate(key.root, key.path)) return fail(at, *why);
                document.createdKeys.push_back(std::move(key));
            } else {
                document.notes.push_back(Utf8FromUtf16(std::u16string_view(line).substr(line.size() > 1 && line[1] == u' ' ? 2 : 1)));
            }
            continue;
        }
        if (line[0] == u'[') {
            if (line.back() != u']') return fail(at, "注册表项缺少 ]");
            DocumentKey key;
            std::u16string_view name = std::u16string_view(line).substr(1, line.size() - 2);
            if (StartsWith(name, u"-")) {
                key.remove = true;
                name.remove_prefix(1);
            }
            if (!KeyName(name, key.root, key.path)) return fail(at, "无法识别的注册表项");
            // A section makes its key when missing, and the keys above it: one the tool may make.
            // Its values are checked one by one.
            const auto why = key.remove ? WhyNotOwnKeyToRemove(key.root, key.path)
                                        : WhyNotOwnKeyToCreate(key.root, key.path);
            if (why) return fail(at, *why);
            document.keys.push_back(std::move(key));
            continue;
        }
        if (document.keys.empty()) return fail(at, "值出现在任何注册表项之前");
        DocumentKey& key = document.keys.back();
        if (key.remove) return fail(at, "删除的注册表项下不能有值");
        DocumentEntry entry;
        std::size_t pos = 0;
        if (line[0] == u'@') {
            pos = 1;
        } else if (line[0] == u'"') {
            pos = 1;
            std::u16string name;
            if (!QuotedAt(line, pos, name)) return fail(at, "值的名称不完整");
            entry.name = Utf8FromUtf16(name);
        } else {
            return fail(at, "无法识别的行");
        }
        if (pos == line.size() || line[pos] != u'=') return fail(at, "值的名称后应为 =");
        if (const auto why = WhyNotOwnValue(key.root, key.path, entry.name)) return fail(at, *why);
        std::string why;
        if (!ValueData(std::u16string_view(line).substr(pos + 1), entry.value, why)) return fail(at, why);
        if (entry.value) entry.value->name = entry.name;
        key.entries.push_back(std::move(entry));
    }
    return true;
}

}  // namespace

Result<RegDocument> ParseRegDocument(const std::vector<unsigned char>& bytes) {
    RegDocument document;
    std::string error;
    if (!ParseInto(bytes, document, error)) return Failure{error};
    return document;
}

BackupKind KindOfBackup(const std::vector<unsigned char>& bytes) {
    const Result<RegDocument> document = ParseRegDocument(bytes);
    if (!document) return BackupKind::Foreign;
    return document.Value().marked ? BackupKind::Marked : BackupKind::Unmarked;
}

}  // namespace zuv
