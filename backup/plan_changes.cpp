#include "backup/plan_changes.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <utility>

#include "base/text.h"

namespace zuv {
namespace {

using KeyId = std::pair<RegKey, std::u32string>;

std::string KeyText(RegKey root, const std::string& path) {
    return std::string(RootName(root)) + "\\" + path;
}

const StoredValue* Named(const std::vector<StoredValue>& values, const std::string& name) {
    const auto found = std::find_if(values.begin(), values.end(),
                                    [&](const StoredValue& v) { return EqualsNoCase(v.name, name); });
    return found == values.end() ? nullptr : &*found;
}

bool Same(const std::optional<StoredValue>& a, const std::optional<StoredValue>& b) {
    if (!a || !b) return !a && !b;
    return a->type == b->type && a->data == b->data;
}

std::u16string Units(const std::vector<unsigned char>& data) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < data.size(); i += 2) {
        text.push_back(static_cast<char16_t>(data[i] | data[i + 1] << 8));
    }
    return text;
}

std::string Quoted(const std::u16string& text) {
    std::string out = "\"";
    for (const char c : Utf8FromUtf16(text)) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

std::string HexBytes(const std::vector<unsigned char>& data) {
    std::string out;
    for (const unsigned char byte : data) {
        char text[4];
        std::snprintf(text, sizeof text, "%02x", byte);
        if (!out.empty()) out += ' ';
        out += text;
    }
    return out.empty() ? "（空）" : out;
}

}  // namespace

Result<PlanChanges> ChangesOf(const PlannedWrites& planned, StoredRegistry& stored) {
    PlanChanges changes;
    std::string error;
    const PlannedEnd* end = planned.end ? &*planned.end : nullptr;
    if (end == nullptr || end->values.size() != planned.values.size() ||
        end->createdKeys.size() != planned.createdKeys.size() ||
        end->deletedKeys.size() != planned.deletedKeys.size()) {
        return Failure{"无法得知设置的结果"};
    }
    for (std::size_t i = 0; i < planned.createdKeys.size(); ++i) {
        if (end->createdKeys[i]) changes.createdKeys.push_back(planned.createdKeys[i]);
    }
    std::map<KeyId, std::vector<StoredValue>> before;
    const auto read = [&](RegKey root, const std::string& path) -> const std::vector<StoredValue>* {
        const KeyId id{root, FoldedKey(path)};
        const auto found = before.find(id);
        if (found != before.end()) return &found->second;
        std::vector<StoredValue> values;
        const long rc = stored.ReadKey(root, path, values);
        if (rc != kErrorSuccess && rc != kErrorFileNotFound) {
            error = "无法读取注册表 " + KeyText(root, path) + "（错误代码 " + std::to_string(rc) +
                    "：" + stored.ErrorText(rc) + "）";
            return nullptr;
        }
        return &before.emplace(id, std::move(values)).first->second;
    };
    for (std::size_t i = 0; i < planned.values.size(); ++i) {
        const ValuePlace& place = planned.values[i];
        const std::vector<StoredValue>* values = read(place.root, place.path);
        if (values == nullptr) return Failure{error};
        std::optional<StoredValue> was;
        if (const StoredValue* found = Named(*values, place.name)) was = *found;
        if (Same(was, end->values[i])) {
            ++changes.unchanged;
            continue;
        }
        changes.values.push_back({place.root, place.path, place.name, std::move(was), end->values[i]});
    }
    // A deleted key takes every value with it; those not written again are gone.
    for (std::size_t k = 0; k < planned.deletedKeys.size(); ++k) {
        const KeyPlace& key = planned.deletedKeys[k];
        if (!end->deletedKeys[k]) changes.deletedKeys.push_back(key);
        const std::vector<StoredValue>* values = read(key.root, key.path);
        if (values == nullptr) return Failure{error};
        for (const StoredValue& value : *values) {
            const bool written = std::any_of(planned.values.begin(), planned.values.end(), [&](const ValuePlace& p) {
                return p.root == key.root && FoldedKey(p.path) == FoldedKey(key.path) &&
                       EqualsNoCase(p.name, value.name);
            });
            if (!written) changes.values.push_back({key.root, key.path, value.name, value, std::nullopt});
        }
    }
    return changes;
}

std::string ValueDataText(const std::optional<StoredValue>& value) {
    if (!value) return "（无）";
    const std::vector<unsigned char>& data = value->data;
    switch (value->type) {
    case kRegDword:
        if (data.size() == 4) {
            std::string out = "REG_DWORD ";
            out += std::to_string(DwordFromData(data));
            return out;
        }
        break;
    case kRegSz:
    case kRegExpandSz: {
        std::u16string text = Units(data);
        if (data.size() % 2 == 0 && !text.empty() && text.back() == 0 &&
            text.find(u'\0') == text.size() - 1) {
            text.pop_back();
            return std::string(value->type == kRegSz ? "REG_SZ " : "REG_EXPAND_SZ ") + Quoted(text);
        }
        break;
    }
    case kRegMultiSz: {
        const std::u16string text = Units(data);
        if (data.size() % 2 != 0 || text.size() < 2 || text.substr(text.size() - 2) != std::u16string(2, u'\0')) {
            if (!(text.size() == 1 && text[0] == 0)) break;
        }
        std::string out = "REG_MULTI_SZ";
        std::size_t begin = 0;
        while (begin < text.size()) {
            const std::size_t nul = text.find(u'\0', begin);
            if (nul == begin) break;
            out += ' ';
            out += Quoted(text.substr(begin, nul - begin));
            begin = nul + 1;
        }
        return out;
    }
    case kRegBinary:
        return std::string("REG_BINARY ") += HexBytes(data);
    default:
        break;
    }
    std::string out = "REG_(";
    out += std::to_string(value->type);
    out += ") ";
    out += HexBytes(data);
    return out;
}

std::string ChangesText(const PlanChanges& changes) {
    std::string text;
    for (const KeyPlace& key : changes.createdKeys) text += "创建项  " + KeyText(key.root, key.path) + "\\\n";
    for (const KeyPlace& key : changes.deletedKeys) text += "删除项  " + KeyText(key.root, key.path) + "\\\n";
    for (const ValueChange& change : changes.values) {
        text += KeyText(change.root, change.path) + "\\  ";
        text += change.name.empty() ? std::string("（默认）") : Quoted(Utf16FromUtf8(change.name));
        text += "  " + ValueDataText(change.before) + " -> ";
        text += change.after ? ValueDataText(change.after) : std::string("（删除）");
        text += "\n";
    }
    return text;
}

}  // namespace zuv
