#include "browser_config/address_rule.h"

#include <cstdio>

#include "base/text.h"
#include "browser_config/mdlFunc.h"

namespace zuv {
namespace {

constexpr std::size_t kQuotedLength = 64;
constexpr std::string_view kNotInHostNames = "\\/:@?#%\"[]*<>|";
constexpr const char* kWhatToType =
    "请只填入服务器的 IP 地址、机器名称或站点发布名称，如“192.0.2.10”、“appserver”或“example.com”。";

std::string CodePoint(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

bool IsSchemeCharacter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '+' || c == '-' || c == '.';
}

// "http://…", "https:…", "file:///…": a scheme of letters, then a colon and at least one
// slash, or one of the browser's own schemes without them.
bool LooksLikeUrl(std::string_view address) {
    const std::size_t colon = address.find(':');
    if (colon == std::string_view::npos || colon == 0) return false;
    const std::string_view scheme = address.substr(0, colon);
    const bool letters = (scheme[0] >= 'a' && scheme[0] <= 'z') || (scheme[0] >= 'A' && scheme[0] <= 'Z');
    for (const char c : scheme) {
        if (!IsSchemeCharacter(c)) return false;
    }
    if (!letters) return false;
    if (address.substr(colon + 1, 1) == "/" || address.substr(colon + 1, 1) == "\\") return true;
    return EqualsNoCase(scheme, "http") || EqualsNoCase(scheme, "https");
}

// The server of a URL: after the scheme and the slashes, up to the path, without a user name
// and a port. The host "www." and a two-label domain become that domain, as the window's
// examples ask.
std::string HostOfUrl(std::string_view url) {
    std::string_view rest = url.substr(url.find(':') + 1);
    while (!rest.empty() && (rest.front() == '/' || rest.front() == '\\')) rest.remove_prefix(1);
    rest = rest.substr(0, rest.find_first_of("/\\?#"));
    if (const std::size_t at = rest.rfind('@'); at != std::string_view::npos) rest.remove_prefix(at + 1);
    if (const std::size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
        rest = rest.substr(0, colon);
    }
    if (rest.size() > 4 && EqualsNoCase(rest.substr(0, 4), "www.")) {
        const std::string_view domain = rest.substr(4);
        if (ClassifyAddress(domain) == AddressKind::Host && domain.find('.') != std::string_view::npos) {
            rest = domain;
        }
    }
    return std::string(rest);
}

// " 请填入“host”。" when `host` is an address the rule lets through, otherwise nothing.
std::string TypeInstead(std::string_view host) {
    if (host.empty() || WhyAddressRefused(host)) return {};
    return "请只填入服务器地址“" + ShortenMiddle(host, kQuotedLength) + "”。";
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
    }
    return true;
}

// The message for a character no host name holds, at `at` (bytes) and `position` (characters,
// from 1).
std::string ForbiddenCharacter(std::string_view address, std::size_t at, std::size_t position) {
    const char c = address[at];
    const std::string where = "（第 " + std::to_string(position) + " 个字符）";
    const std::string_view before = address.substr(0, at);
    const std::string_view after = address.substr(at + 1);
    if (c == ':') {
        const std::string_view port = after.substr(0, after.find('/'));
        if (AllDigits(port)) {
            std::string text = "地址中带有端口号“:" + std::string(port) +
                               "”。受信任的站点不区分端口，地址中不能写端口号。";
            const std::string instead = TypeInstead(before);
            return text + (instead.empty() ? kWhatToType : instead);
        }
    }
    if (c == '/') {
        std::string text = "地址中带有路径“" + ShortenMiddle(address.substr(at), kQuotedLength) +
                           "”。地址中只能写服务器，不能写路径。";
        const std::string instead = TypeInstead(before);
        return text + (instead.empty() ? kWhatToType : instead);
    }
    if (c == '@') {
        std::string text = "地址中不能含有“@”" + where + "：“@”前面是用户名，不是服务器。";
        const std::string instead = TypeInstead(after);
        return text + (instead.empty() ? kWhatToType : instead);
    }
    return "地址中不能含有字符“" + std::string(1, c) + "”" + where + "，服务器的名称中没有这个字符。" +
           kWhatToType;
}

}  // namespace

std::optional<std::string> WhyAddressRefused(std::string_view address) {
    if (address.empty()) return std::nullopt;
    if (LooksLikeUrl(address)) {
        std::string text = "填入的是完整的网址，而不是服务器地址。";
        // Only a web address names the server to trust.
        const std::string_view scheme = address.substr(0, address.find(':'));
        const bool web = EqualsNoCase(scheme, "http") || EqualsNoCase(scheme, "https");
        const std::string instead = web ? TypeInstead(HostOfUrl(address)) : std::string();
        if (!instead.empty()) return text + instead + "（不带“http://”和其后的路径，见窗口中的示例）";
        return text + kWhatToType + "不带“http://”和其后的路径，见窗口中的示例。";
    }
    // Invisible characters first: a line break is reported as what it is, not as a blank.
    const std::u32string characters = DecodeUtf8(address);
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (IsInvisibleControl(characters[i]) || characters[i] == 0xFFFD) {
            return "地址中含有看不见的控制字符（第 " + std::to_string(i + 1) + " 个字符，" +
                   CodePoint(characters[i]) + "），如换行符或制表符。请重新输入地址，只填入服务器地址。";
        }
    }
    for (std::size_t i = 0; i < characters.size(); ++i) {
        if (!IsBlankCharacter(characters[i])) continue;
        const bool edge = i == 0 || i + 1 == characters.size();
        return std::string(edge ? "地址的开头或末尾有空格" : "地址中有空格") + "（第 " +
               std::to_string(i + 1) + " 个字符" +
               (characters[i] == 0x20 ? std::string() : "，" + CodePoint(characters[i])) +
               "）。服务器地址中不能有空格，请删去空格后再试。";
    }
    std::size_t position = 0;
    for (std::size_t at = 0; at < address.size(); ++at) {
        const auto byte = static_cast<unsigned char>(address[at]);
        if ((byte & 0xC0) != 0x80) ++position;
        if (kNotInHostNames.find(address[at]) != std::string_view::npos) {
            return ForbiddenCharacter(address, at, position);
        }
    }
    return std::nullopt;
}

}  // namespace zuv
