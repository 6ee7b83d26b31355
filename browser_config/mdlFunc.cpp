#include "browser_config/mdlFunc.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>

#include "base/text.h"

namespace zuv {

AddressKind ClassifyAddress(std::string_view address) {
    if (address.empty()) return AddressKind::None;
    if (IsIPv4Address(address)) return AddressKind::IP;
    if (HasSubdomainLevels(address)) return AddressKind::Dns;
    return AddressKind::Host;
}

bool IsIPv4Address(std::string_view address) {
    int parts = 1;
    std::size_t lastDot = 0;  // 1-based position of the last accepted dot; 0 for none
    while (parts <= 4) {
        const std::size_t dot = address.find('.', lastDot);  // 0-based index
        if (dot == std::string_view::npos) break;
        const std::string_view part = address.substr(lastDot, dot - lastDot);
        if (!IsNumericText(part)) break;
        const double value = ValueOfText(part);
        if (value < 0 || value > 255) break;
        ++parts;
        lastDot = dot + 1;
    }
    const double tail = ValueOfText(address.substr(lastDot));
    return parts == 4 && tail >= 0 && tail < 256;
}

bool HasSubdomainLevels(std::string_view address) {
    int dots = 0;
    std::size_t start = 1;  // 0-based: the search begins at the second character
    while (start <= address.size()) {
        const std::size_t dot = address.find('.', start);
        if (dot == std::string_view::npos) break;
        ++dots;
        start = dot + 1;
    }
    return dots >= 2;
}

std::string ParentDomain(std::string_view address) {
    // Positions are 1-based; 0 means "before the text".
    std::size_t position = address.size();
    int found = 0;
    while (position != 0 && found < 2) {
        // Search backwards from the character just before `position`.
        const std::size_t searchFrom = position - 1;  // 1-based
        std::size_t dot = 0;
        if (searchFrom >= 1) {
            const std::size_t hit = address.rfind('.', searchFrom - 1);
            dot = hit == std::string_view::npos ? 0 : hit + 1;
        }
        position = dot;
        ++found;
    }
    return std::string(address.substr(position));
}

namespace {

// The decimal digits after "Range" in a range key's name, without leading zeros
// ("0" for zero); nothing when the name is not "Range" followed by digits only.
std::optional<std::string> RangeNumber(const std::string& name) {
    constexpr std::string_view kPrefix = "Range";
    if (name.size() <= kPrefix.size()) return std::nullopt;
    if (!EqualsNoCase(std::string_view(name).substr(0, kPrefix.size()), kPrefix)) return std::nullopt;
    std::string digits = name.substr(kPrefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    const auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : digits.substr(first);
}

bool NumberLess(const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::string Increment(std::string digits) {
    for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
        if (*it != '9') {
            ++*it;
            return digits;
        }
        *it = '0';
    }
    return "1" + digits;
}

// A decimal number from 0 to 255 of at most three digits, or -1.
int ParseOctet(std::string_view text) {
    if (text.empty() || text.size() > 3) return -1;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
    }
    return value <= 255 ? value : -1;
}

// The four dot-separated parts of a text, or nothing when it has not exactly three dots.
std::optional<std::array<std::string_view, 4>> SplitQuad(std::string_view text) {
    std::array<std::string_view, 4> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::size_t end = i < 3 ? text.find('.', start) : text.size();
        if (end == std::string_view::npos) return std::nullopt;
        parts[i] = text.substr(start, end - start);
        start = end + 1;
    }
    if (parts[3].find('.') != std::string_view::npos) return std::nullopt;
    return parts;
}

// One part of a range: a number, "*", or "from-to".
bool PartCovers(std::string_view part, int value) {
    if (part == "*") return true;
    const std::size_t dash = part.find('-');
    if (dash == std::string_view::npos) return ParseOctet(part) == value;
    const int from = ParseOctet(part.substr(0, dash));
    const int to = ParseOctet(part.substr(dash + 1));
    return from >= 0 && to >= 0 && from <= value && value <= to;
}

}  // namespace

std::string NextRangeName(const std::vector<std::string>& names) {
    std::optional<std::string> highest;
    for (const std::string& name : names) {
        const auto number = RangeNumber(name);
        if (number && (!highest || NumberLess(*highest, *number))) highest = number;
    }
    return "Range" + (highest ? Increment(*highest) : std::string("1"));
}

bool RangeHoldsAddress(std::string_view storedRange, std::string_view address) {
    if (EqualsNoCase(storedRange, address)) return true;
    const auto quad = SplitQuad(address);
    const auto range = SplitQuad(storedRange);
    if (!quad || !range) return false;
    for (std::size_t i = 0; i < 4; ++i) {
        const int octet = ParseOctet((*quad)[i]);
        if (octet < 0 || !PartCovers((*range)[i], octet)) return false;
    }
    return true;
}

}  // namespace zuv
