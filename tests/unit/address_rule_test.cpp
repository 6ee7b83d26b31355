// The rule an address must pass before anything is written for it, and the text the user is
// shown when it does not.
#include <gtest/gtest.h>

#include <string>

#include "base/text.h"
#include "browser_config/address_rule.h"

namespace zuv::test {
namespace {

TEST(AddressRule, EveryNameAndNumberPassesAsTyped) {
    for (const char* address :
         {"", "192.0.2.10", "portal", "PORTAL", "example.com", "www.example.com", "a.b.example.com",
          "1.2.3", "192.0.2.256", "1.2.3.4.5", ".portal", "example.com.", "..", "app_server-2",
          "10.0.0.1-50", "门户.example.cn", "例子", "xn--fsqu00a.xn--fiqs8s", "Ünïcödé.de"}) {
        EXPECT_EQ(WhyAddressRefused(address), std::nullopt) << address;
    }
}

// Each refused form, the text that must appear in its message (what is wrong, or what to type
// instead), and that the message holds no raw character of the kind it refuses.
TEST(AddressRule, WhatCannotNameAServerIsRefusedWithWhatToTypeInstead) {
    struct Case {
        std::string address;
        std::string mustSay;
    };
    const Case cases[] = {
        // a pasted URL: the server in it, "www." dropped before a two-label domain as the
        // window's third example asks
        {"http://portal.example.com/app", "请只填入服务器地址“portal.example.com”"},
        {"http://www.example.com/portal", "请只填入服务器地址“example.com”"},
        {"HTTPS://user@www.example.com:8443/x?y#z", "“example.com”"},
        {"http://192.0.2.10/portal", "“192.0.2.10”"},
        {"https:portal", "“portal”"},
        {"file:///C:/x", "完整的网址"},
        {"http://", "完整的网址"},
        // a port, a path, a user name
        {"portal:8080", "端口号“:8080”"},
        {"portal:8080", "请只填入服务器地址“portal”"},
        {"192.0.2.10:80/app", "“192.0.2.10”"},
        {"portal/app", "路径“/app”"},
        {"portal/app", "“portal”"},
        {"attacker.example@portal", "“portal”"},
        // blanks, at the edges and inside, in any script
        {"portal ", "末尾有空格（第 7 个字符）"},
        {" portal", "开头或末尾有空格（第 1 个字符）"},
        {"por tal", "地址中有空格（第 4 个字符）"},
        {"门户\xE3\x80\x80服务器", "第 3 个字符，U+3000"},
        {"portal\xC2\xA0", "U+00A0"},
        {"por\xE2\x80\x8Btal", "U+200B"},
        // invisible characters: line breaks of every kind, bidirectional controls
        {"portal\r\nevil", "第 7 个字符，U+000D"},
        {"portal\n", "U+000A"},
        {"portal\t", "U+0009"},
        {"por\x7Ftal", "U+007F"},
        {"portal\xC2\x85x", "U+0085"},
        {"portal\xE2\x80\xA8x", "U+2028"},
        {"portal\xE2\x80\xA9x", "U+2029"},
        {"\xE2\x80\xAE" "lanrop", "U+202E"},
        {"por\xE2\x81\xA6tal", "U+2066"},
        {"por\xD8\x9Ctal", "U+061C"},
        {std::string("por\0tal", 7), "U+0000"},
        // characters no host name holds, each named with its place
        {"\\", "字符“\\”（第 1 个字符）"},
        {"com\\evil", "字符“\\”（第 4 个字符）"},
        {"a?b", "“?”"},
        {"a#b", "“#”"},
        {"a%20b", "“%”"},
        {"a\"b", "“\"”"},
        {"[::1]", "“[”"},
        {"portal]", "“]”"},
        {"*.example.com", "“*”"},
        {"a<b", "“<”"},
        {"a>b", "“>”"},
        {"a|b", "“|”"},
        {"例子:x", "“:”（第 3 个字符）"},
    };
    for (const Case& c : cases) {
        const auto why = WhyAddressRefused(c.address);
        const std::string shown = EscapeInvisible(c.address);
        ASSERT_TRUE(why.has_value()) << shown;
        EXPECT_NE(why->find(c.mustSay), std::string::npos) << shown << ": " << *why;
        EXPECT_EQ(EscapeInvisible(*why), *why) << shown << ": the message shows no raw control";
    }
}

TEST(EscapeInvisible, ControlsSeparatorsAndBidiControlsAreWrittenOut) {
    struct Case {
        std::string text;
        std::string escaped;
    };
    const Case cases[] = {
        {"plain 文字", "plain 文字"},
        {"a\tb\r\n", "a\\x09b\\x0D\\x0A"},
        {"\x7F", "\\x7F"},
        {"a\xC2\x85" "b", "a\\u0085b"},
        {"\xC2\x9F", "\\u009F"},
        {"\xC2\xA0", "\xC2\xA0"},  // a blank, not a control: shown as it is
        {"x\xE2\x80\xA8y\xE2\x80\xA9z", "x\\u2028y\\u2029z"},
        {"\xE2\x80\xAE" "abc\xE2\x80\xAC", "\\u202Eabc\\u202C"},
        {"\xE2\x80\x8E\xE2\x80\x8F\xE2\x81\xA9\xD8\x9C", "\\u200E\\u200F\\u2069\\u061C"},
        {"\xEF\xBF\xBD", "\xEF\xBF\xBD"},          // U+FFFD itself
        {"a\xFF" "b\xC3", "a\\xFFb\\xC3"},         // bytes that are not UTF-8
        {"\xE4\xB8", "\\xE4\\xB8"},                // a character cut short
        {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},  // outside the BMP
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeInvisible(c.text), c.escaped) << c.escaped;
    EXPECT_EQ(EscapeInvisible("a\"b\\c", true), "a\\\"b\\\\c");
    EXPECT_EQ(EscapeInvisible("a\"b\\c"), "a\"b\\c");
}

}  // namespace
}  // namespace zuv::test
