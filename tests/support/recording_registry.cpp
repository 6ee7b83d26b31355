#include "tests/support/recording_registry.h"

#include <algorithm>
#include <exception>
#include <new>
#include <sstream>

namespace zuv::test {

std::string RootPrefix(RegKey root) {
    if (root == kHkeyCurrentUser) return "HKCU";
    if (root == kHkeyLocalMachine) return "HKLM";
    std::ostringstream out;
    out << "?" << std::hex << std::uppercase << root;
    return out.str();
}

const char* TypeName(std::uint32_t type) {
    switch (type) {
    case 0: return "REG_NONE";
    case kRegSz: return "REG_SZ";
    case kRegExpandSz: return "REG_EXPAND_SZ";
    case kRegBinary: return "REG_BINARY";
    case kRegDword: return "REG_DWORD";
    case kRegMultiSz: return "REG_MULTI_SZ";
    default: return "REG_?";
    }
}

std::string Hex(const std::vector<unsigned char>& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    if (bytes.empty()) return "[]";
    std::string out;
    out.reserve(bytes.size() * 2);
    for (unsigned char b : bytes) {
        out.push_back(kDigits[b >> 4]);
        out.push_back(kDigits[b & 0x0F]);
    }
    return out;
}

void RecordingRegistry::SetAbbreviations(
    std::vector<std::pair<std::string, std::string>> abbreviations) {
    abbreviations_ = std::move(abbreviations);
    std::stable_sort(abbreviations_.begin(), abbreviations_.end(),
                     [](const auto& a, const auto& b) { return a.first.size() > b.first.size(); });
}

std::string RecordingRegistry::Abbreviate(const std::string& path) const {
    for (const auto& [prefix, token] : abbreviations_) {
        if (path.compare(0, prefix.size(), prefix) == 0) return token + path.substr(prefix.size());
    }
    return path;
}

RecordingRegistry::Opened RecordingRegistry::Below(RegKey key, const std::string& ansiSubKey) const {
    Opened base;
    if (key == kHkeyCurrentUser || key == kHkeyLocalMachine) {
        base = Opened{key, RootPrefix(key)};
    } else if (auto it = open_.find(key); it != open_.end()) {
        base = it->second;
    } else {
        base = Opened{0, RootPrefix(key)};
    }
    if (ansiSubKey.empty()) return base;
    if (base.path.empty() || base.path.back() != '\\') base.path += '\\';
    base.path += Utf8(ansiSubKey);
    return base;
}

RecordedCall RecordingRegistry::Start(RegCall function, RegKey key) const {
    RecordedCall call;
    call.function = function;
    const Opened at = Below(key, "");
    call.root = at.root;
    call.path = at.path;
    return call;
}

template <typename F>
long RecordingRegistry::Forward(RecordedCall& call, F&& f) {
    try {
        call.result = f();
    } catch (const std::bad_alloc&) {
        call.threw = true;
        call.exception = "bad_alloc";
        calls_.push_back(call);
        throw;
    } catch (const std::exception& e) {
        call.threw = true;
        call.exception = e.what();
        calls_.push_back(call);
        throw;
    } catch (...) {
        call.threw = true;
        call.exception = "?";
        calls_.push_back(call);
        throw;
    }
    return call.result;
}

long RecordingRegistry::CreateKeyEx(RegKey root, const std::string& subKey,
                                    const std::string& keyClass, std::uint32_t access,
                                    bool inheritHandle, RegKey* result,
                                    std::uint32_t* disposition) {
    const Opened target = Below(root, subKey);
    RecordedCall call;
    call.function = RegCall::CreateKeyEx;
    call.root = target.root;
    call.path = target.path;
    call.name = Utf8(keyClass);
    call.access = access;
    if (probe_) call.handlesOpenBefore = probe_();
    std::uint32_t got = 0;
    Forward(call, [&] {
        return inner_.CreateKeyEx(root, subKey, keyClass, access, inheritHandle, result, &got);
    });
    if (disposition != nullptr) *disposition = got;
    if (call.result == kErrorSuccess) {
        call.disposition = got;
        open_[*result] = target;
    }
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::OpenKeyEx(RegKey root, const std::string& subKey, std::uint32_t access,
                                  RegKey* result) {
    const Opened target = Below(root, subKey);
    RecordedCall call;
    call.function = RegCall::OpenKeyEx;
    call.root = target.root;
    call.path = target.path;
    call.access = access;
    if (probe_) call.handlesOpenBefore = probe_();
    Forward(call, [&] { return inner_.OpenKeyEx(root, subKey, access, result); });
    if (call.result == kErrorSuccess) open_[*result] = target;
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::CloseKey(RegKey key) {
    RecordedCall call = Start(RegCall::CloseKey, key);
    Forward(call, [&] { return inner_.CloseKey(key); });
    if (call.result == kErrorSuccess) open_.erase(key);
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::SetValueEx(RegKey key, const std::string& valueName, std::uint32_t type,
                                   const unsigned char* data, std::uint32_t size) {
    RecordedCall call = Start(RegCall::SetValueEx, key);
    call.name = Utf8(valueName);
    call.type = type;
    call.nullData = data == nullptr;
    if (data != nullptr) call.data.assign(data, data + size);
    call.size = size;
    Forward(call, [&] { return inner_.SetValueEx(key, valueName, type, data, size); });
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::QueryValueEx(RegKey key, const std::string& valueName, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* size) {
    RecordedCall call = Start(RegCall::QueryValueEx, key);
    call.name = Utf8(valueName);
    call.nullData = data == nullptr;
    if (data != nullptr && size != nullptr) call.size = *size;
    Forward(call, [&] { return inner_.QueryValueEx(key, valueName, type, data, size); });
    if (call.result == kErrorSuccess) {
        if (type != nullptr) call.type = *type;
        if (data == nullptr) {
            if (size != nullptr) call.size = *size;
        } else if (size != nullptr) {
            call.data.assign(data, data + *size);
        }
    }
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::DeleteValue(RegKey key, const std::string& valueName) {
    RecordedCall call = Start(RegCall::DeleteValue, key);
    call.name = Utf8(valueName);
    Forward(call, [&] { return inner_.DeleteValue(key, valueName); });
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::DeleteKey(RegKey key, const std::string& subKey) {
    RecordedCall call = Start(RegCall::DeleteKey, key);
    call.name = Utf8(subKey);
    Forward(call, [&] { return inner_.DeleteKey(key, subKey); });
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::QueryInfoKey(RegKey key, std::uint32_t* subKeys,
                                     std::uint32_t* maxSubKeyLen, std::uint32_t* values,
                                     std::uint32_t* maxValueNameLen) {
    RecordedCall call = Start(RegCall::QueryInfoKey, key);
    Forward(call, [&] { return inner_.QueryInfoKey(key, subKeys, maxSubKeyLen, values, maxValueNameLen); });
    if (call.result == kErrorSuccess) {
        const std::uint32_t* outs[4] = {subKeys, maxSubKeyLen, values, maxValueNameLen};
        for (std::size_t i = 0; i < 4; ++i) call.counts[i] = outs[i] != nullptr ? *outs[i] : 0;
    }
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::EnumKeyEx(RegKey key, std::uint32_t index, char* name,
                                  std::uint32_t* nameLen) {
    RecordedCall call = Start(RegCall::EnumKeyEx, key);
    call.index = index;
    if (nameLen != nullptr) call.size = *nameLen;
    Forward(call, [&] { return inner_.EnumKeyEx(key, index, name, nameLen); });
    if (call.result == kErrorSuccess && name != nullptr && nameLen != nullptr) {
        call.name = Utf8(std::string(name, *nameLen));
    }
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

long RecordingRegistry::EnumValue(RegKey key, std::uint32_t index, char* name,
                                  std::uint32_t* nameLen, std::uint32_t* type) {
    RecordedCall call = Start(RegCall::EnumValue, key);
    call.index = index;
    if (nameLen != nullptr) call.size = *nameLen;
    Forward(call, [&] { return inner_.EnumValue(key, index, name, nameLen, type); });
    if (call.result == kErrorSuccess && name != nullptr && nameLen != nullptr) {
        call.name = Utf8(std::string(name, *nameLen));
        if (type != nullptr) call.type = *type;
    }
    calls_.push_back(std::move(call));
    return calls_.back().result;
}

std::string RecordingRegistry::Format(const RecordedCall& call) const {
    std::ostringstream line;
    line << RegCallName(call.function) << ' ' << Abbreviate(call.path);
    const bool ok = call.Succeeded();
    switch (call.function) {
    case RegCall::CreateKeyEx:
        line << " class \"" << call.name << "\" access " << std::hex << std::uppercase
             << call.access << std::dec;
        break;
    case RegCall::OpenKeyEx:
        line << " access " << std::hex << std::uppercase << call.access << std::dec;
        break;
    case RegCall::SetValueEx:
        line << " \"" << call.name << "\" " << TypeName(call.type) << ' '
             << (call.nullData ? std::string("null") : Hex(call.data));
        break;
    case RegCall::QueryValueEx:
        line << " \"" << call.name << "\"";
        // Buffer sizes are the code's choice, not behaviour: only a query for the size shows.
        if (call.nullData) line << " size?";
        break;
    case RegCall::DeleteValue:
    case RegCall::DeleteKey:
        line << " \"" << call.name << "\"";
        break;
    case RegCall::EnumKeyEx:
    case RegCall::EnumValue:
        line << " #" << call.index;
        break;
    case RegCall::CloseKey:
    case RegCall::QueryInfoKey:
        break;
    }
    line << " -> ";
    if (call.threw) {
        line << "threw " << call.exception;
        return line.str();
    }
    line << call.result;
    if (!ok) return line.str();
    switch (call.function) {
    case RegCall::CreateKeyEx:
        line << (call.disposition == kRegCreatedNewKey ? " created" : " opened");
        break;
    case RegCall::QueryValueEx:
        line << ' ' << TypeName(call.type) << ' ';
        if (call.nullData) {
            line << call.size;
        } else {
            line << Hex(call.data);
        }
        break;
    case RegCall::QueryInfoKey:
        line << " keys " << call.counts[0] << " (longest " << call.counts[1] << ") values "
             << call.counts[2] << " (longest " << call.counts[3] << ")";
        break;
    case RegCall::EnumKeyEx:
        line << " \"" << call.name << "\"";
        break;
    case RegCall::EnumValue:
        line << " \"" << call.name << "\" " << TypeName(call.type);
        break;
    default:
        break;
    }
    return line.str();
}

std::string RecordingRegistry::Log() const {
    std::string out;
    for (const RecordedCall& call : calls_) out += Format(call) + "\n";
    return out;
}

}  // namespace zuv::test
