// The window's layout table: the controls, their texts, places and tab order, and the twips to
// pixels conversion the view uses.
#include "window/layout.h"
#include "tests/support/layout_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

namespace zuv::layout {
namespace {

std::vector<std::string> Names(const std::vector<const ControlInfo*>& controls) {
    std::vector<std::string> names;
    for (const ControlInfo* c : controls) names.push_back(DisplayName(*c));
    return names;
}

TEST(LayoutTable, EveryControlOnceAndLabelArrayComplete) {
    std::set<std::pair<std::string_view, int>> seen;
    std::set<int> labelIndices;
    for (const ControlInfo& c : Controls()) {
        EXPECT_TRUE(seen.insert({c.name, c.index}).second) << DisplayName(c) << " twice";
        if (c.name == "lblTitle") {
            labelIndices.insert(c.index);
        } else {
            EXPECT_EQ(c.index, -1) << DisplayName(c);
        }
    }
    EXPECT_EQ(seen.size(), 20u);
    ASSERT_EQ(labelIndices.size(), 15u);
    EXPECT_EQ(*labelIndices.begin(), 0);
    EXPECT_EQ(*labelIndices.rbegin(), 14);
}

TEST(LayoutTable, TabIndicesAreAPermutationAndLabelsCountDown) {
    std::set<int> tabIndices;
    for (const ControlInfo& c : Controls()) {
        EXPECT_TRUE(tabIndices.insert(c.tabIndex).second) << DisplayName(c);
        if (c.name == "lblTitle") {
            EXPECT_EQ(c.tabIndex, 17 - c.index) << DisplayName(c);
        }
    }
    EXPECT_EQ(*tabIndices.begin(), 0);
    EXPECT_EQ(*tabIndices.rbegin(), static_cast<int>(Controls().size()) - 1);
}

TEST(LayoutTable, CreationOrderFollowsTabIndex) {
    const std::vector<const ControlInfo*> order = InTabOrder();
    ASSERT_EQ(order.size(), Controls().size());
    // Tab indices 0 to 19: the two buttons, the frame, the explanation lines from index 14
    // down to 0, the address box and its caption.
    EXPECT_EQ(Names(order),
              (std::vector<std::string>{
                  "cmdCancel", "cmdOK", "fraTitle", "lblTitle(14)", "lblTitle(13)",
                  "lblTitle(12)", "lblTitle(11)", "lblTitle(10)", "lblTitle(9)", "lblTitle(8)",
                  "lblTitle(7)", "lblTitle(6)", "lblTitle(5)", "lblTitle(4)", "lblTitle(3)",
                  "lblTitle(2)", "lblTitle(1)", "lblTitle(0)", "txtURL", "Label1"}));
    // A frame comes before the controls inside it, which are created as its children.
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i]->parent.empty()) continue;
        const ControlInfo* parent = Find(order[i]->parent);
        ASSERT_NE(parent, nullptr) << DisplayName(*order[i]);
        EXPECT_EQ(parent->kind, ControlKind::Frame);
        EXPECT_LT(parent->tabIndex, order[i]->tabIndex);
    }
}

// Every control where the window's drawing puts it, in twips (labels of the frame relative to
// the frame), with its tab index: the numbers are written out here, not taken from the table.
TEST(LayoutTable, PlacesAndTabIndicesAsDrawn) {
    struct Expected {
        std::string_view name;
        int index;
        TwipsRect rect;
        int tabIndex;
    };
    const Expected expected[] = {
        {"Label1", -1, {180, 300, 1695, 255}, 19},
        {"txtURL", -1, {1920, 240, 6255, 270}, 18},
        {"fraTitle", -1, {120, 660, 8055, 4545}, 2},
        {"cmdOK", -1, {5850, 5385, 1155, 315}, 1},
        {"cmdCancel", -1, {7080, 5385, 1095, 315}, 0},
        {"lblTitle", 0, {480, 360, 6500, 255}, 17},
        {"lblTitle", 1, {600, 632, 6495, 255}, 16},
        {"lblTitle", 2, {600, 904, 6495, 255}, 15},
        {"lblTitle", 3, {600, 1176, 6495, 255}, 14},
        {"lblTitle", 4, {480, 1448, 6495, 255}, 13},
        {"lblTitle", 5, {600, 1720, 6495, 255}, 12},
        {"lblTitle", 6, {600, 1992, 6495, 255}, 11},
        {"lblTitle", 7, {600, 2264, 6495, 255}, 10},
        {"lblTitle", 8, {600, 2536, 6495, 255}, 9},
        {"lblTitle", 9, {600, 2808, 6495, 255}, 8},
        {"lblTitle", 10, {600, 3080, 6495, 255}, 7},
        {"lblTitle", 11, {600, 3352, 6495, 255}, 6},
        {"lblTitle", 12, {600, 3624, 6495, 255}, 5},
        {"lblTitle", 14, {600, 3896, 6495, 255}, 3},
        {"lblTitle", 13, {480, 4200, 6495, 255}, 4},
    };
    ASSERT_EQ(std::size(expected), Controls().size());
    for (const Expected& e : expected) {
        const ControlInfo* c = Find(e.name, e.index);
        ASSERT_NE(c, nullptr) << e.name << " " << e.index;
        EXPECT_EQ(c->rect.left, e.rect.left) << DisplayName(*c);
        EXPECT_EQ(c->rect.top, e.rect.top) << DisplayName(*c);
        EXPECT_EQ(c->rect.width, e.rect.width) << DisplayName(*c);
        EXPECT_EQ(c->rect.height, e.rect.height) << DisplayName(*c);
        EXPECT_EQ(c->tabIndex, e.tabIndex) << DisplayName(*c);
        EXPECT_EQ(c->parent, e.name == "lblTitle" ? "fraTitle" : "") << DisplayName(*c);
    }
}

TEST(LayoutTable, FocusGoesCancelOkAddressBox) {
    std::vector<const ControlInfo*> focusable;
    for (const ControlInfo* c : InTabOrder()) {
        if (TakesFocus(c->kind)) focusable.push_back(c);
    }
    EXPECT_EQ(Names(focusable), (std::vector<std::string>{"cmdCancel", "cmdOK", "txtURL"}));
    EXPECT_FALSE(TakesFocus(ControlKind::Label));
    EXPECT_FALSE(TakesFocus(ControlKind::Frame));
}

TEST(LayoutTable, ExplanationLinesStandInOrderInsideTheFrame) {
    const ControlInfo* frame = Find("fraTitle");
    ASSERT_NE(frame, nullptr);
    std::vector<const ControlInfo*> lines;
    for (const ControlInfo& c : Controls()) {
        if (c.name != "lblTitle") continue;
        EXPECT_EQ(c.parent, "fraTitle");
        EXPECT_EQ(c.kind, ControlKind::Label);
        EXPECT_EQ(c.rect.height, 255) << DisplayName(c);
        EXPECT_EQ(c.rect.width, c.index == 0 ? 6500 : 6495) << DisplayName(c);
        // Headings at 480, their items indented to 600.
        const bool heading = c.index == 0 || c.index == 4 || c.index == 13;
        EXPECT_EQ(c.rect.left, heading ? 480 : 600) << DisplayName(c);
        EXPECT_LE(c.rect.left + c.rect.width, frame->rect.width) << DisplayName(c);
        EXPECT_LE(c.rect.top + c.rect.height, frame->rect.height) << DisplayName(c);
        lines.push_back(&c);
    }
    std::sort(lines.begin(), lines.end(),
              [](auto* a, auto* b) { return a->rect.top < b->rect.top; });
    std::vector<int> indices;
    for (const ControlInfo* c : lines) indices.push_back(c->index);
    EXPECT_EQ(indices, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 14, 13}));
    // Lines do not overlap.
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_GE(lines[i]->rect.top, lines[i - 1]->rect.top + lines[i - 1]->rect.height)
            << DisplayName(*lines[i]);
    }
}

TEST(LayoutTable, TopLevelControlsFitTheClientArea) {
    for (const ControlInfo& c : Controls()) {
        if (!c.parent.empty()) continue;
        EXPECT_GE(c.rect.left, 0) << DisplayName(c);
        EXPECT_GE(c.rect.top, 0) << DisplayName(c);
        EXPECT_LE(c.rect.left + c.rect.width, kClientWidthTwips) << DisplayName(c);
        EXPECT_LE(c.rect.top + c.rect.height, kClientHeightTwips) << DisplayName(c);
    }
    // The frame keeps the same margin on both sides.
    const ControlInfo* frame = Find("fraTitle");
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(kClientWidthTwips - (frame->rect.left + frame->rect.width), frame->rect.left);
}

TEST(LayoutTable, FixedTexts) {
    struct Expected {
        std::string_view name;
        int index;
        std::string_view text;
    };
    const Expected expected[] = {
        {"Label1", -1, "PORTAL服务器地址："},
        {"txtURL", -1, ""},
        {"fraTitle", -1, "说明"},
        {"cmdOK", -1, "确定"},
        {"cmdCancel", -1, "退出"},
        {"lblTitle", 0, "1、可直接填入服务器IP地址、机器名称、站点发布名称。"},
        {"lblTitle", 4, "2、该工具对IE的可信任站点安全级别做了如下设置："},
        {"lblTitle", 5, "1）启用下载已签名的ActiveX控件。"},
        {"lblTitle", 6, "2）启用下载未签名的ActiveX控件。"},
        {"lblTitle", 7, "3）启用运行ActiveX控件插件。"},
        {"lblTitle", 8, "4）启用对没有标记为安全的ActiveX控件进行安全初始化和脚本执行。"},
        {"lblTitle", 9, "5）启用对标记为可安全执行脚本的ActiveX控件执行脚本。"},
        {"lblTitle", 10, "6）启用允许Scriptlet。"},
        {"lblTitle", 11, "7）启用允许对剪贴板进行编程访问。"},
        {"lblTitle", 12, "8）启用允许有脚本初始化窗口，不受大小和位置限制。"},
        {"lblTitle", 13, "3、设置“弹出窗口阻止程序设置”为总是允许来自此站点的弹出窗口"},
        {"lblTitle", 14, "9）启用允许跨域访问数据源。"},
    };
    for (const Expected& e : expected) {
        const ControlInfo* c = Find(e.name, e.index);
        ASSERT_NE(c, nullptr) << e.name << " " << e.index;
        EXPECT_EQ(c->text, e.text) << DisplayName(*c);
    }
}

// An example line: "如访问地址为" + "http://" + host + "/" + path + "，应填入“" + typed + "”。"
struct Example {
    std::string host;
    std::string path;
    std::string typed;
};

bool ParseExample(std::string_view line, Example& example) {
    constexpr std::string_view kLead = "如访问地址为http://";
    constexpr std::string_view kMiddle = "，应填入“";
    constexpr std::string_view kEnd = "”。";
    if (!line.starts_with(kLead) || !line.ends_with(kEnd)) return false;
    line.remove_prefix(kLead.size());
    line.remove_suffix(kEnd.size());
    const auto middle = line.find(kMiddle);
    if (middle == std::string_view::npos) return false;
    const std::string_view url = line.substr(0, middle);
    example.typed = std::string(line.substr(middle + kMiddle.size()));
    const auto slash = url.find('/');
    if (slash == std::string_view::npos || slash + 1 >= url.size()) return false;
    example.host = std::string(url.substr(0, slash));
    example.path = std::string(url.substr(slash + 1));
    return true;
}

bool IsDocumentationAddress(const std::string& host) {
    constexpr std::string_view kNet = "192.0.2.";
    if (!std::string_view(host).starts_with(kNet)) return false;
    const std::string last = host.substr(kNet.size());
    if (last.empty() || last.size() > 3 ||
        !std::all_of(last.begin(), last.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return false;
    }
    return std::stoi(last) <= 255;
}

TEST(LayoutTable, ExampleLinesShowWhatToTypeForEachKindOfAddress) {
    Example ip;
    Example machine;
    Example domain;
    ASSERT_TRUE(ParseExample(Find("lblTitle", 1)->text, ip)) << Find("lblTitle", 1)->text;
    ASSERT_TRUE(ParseExample(Find("lblTitle", 2)->text, machine)) << Find("lblTitle", 2)->text;
    ASSERT_TRUE(ParseExample(Find("lblTitle", 3)->text, domain)) << Find("lblTitle", 3)->text;

    EXPECT_TRUE(IsDocumentationAddress(ip.host)) << ip.host;
    EXPECT_EQ(ip.typed, ip.host);

    EXPECT_FALSE(machine.host.empty());
    EXPECT_EQ(machine.host.find('.'), std::string::npos) << "one word: " << machine.host;
    EXPECT_EQ(machine.typed, machine.host);

    ASSERT_TRUE(domain.host.starts_with("www.")) << domain.host;
    EXPECT_EQ(domain.typed, domain.host.substr(4));
    EXPECT_EQ(std::count(domain.typed.begin(), domain.typed.end(), '.'), 1) << domain.typed;
    EXPECT_TRUE(domain.typed == "example.com" || domain.typed.ends_with(".example.com"))
        << domain.typed;

    EXPECT_EQ(ip.path, machine.path);
    EXPECT_EQ(machine.path, domain.path);
}

TEST(TwipsToPixels, RoundsLikeMulDiv) {
    EXPECT_EQ(TwipsToPixels(1440, 96), 96);
    EXPECT_EQ(TwipsToPixels(15, 96), 1);
    EXPECT_EQ(TwipsToPixels(7, 96), 0);   // 0.47
    EXPECT_EQ(TwipsToPixels(8, 96), 1);   // 0.53
    EXPECT_EQ(TwipsToPixels(6255, 120), 521);  // 521.25
    EXPECT_EQ(TwipsToPixels(-8, 96), -1);
    // Halves go away from zero.
    EXPECT_EQ(TwipsToPixels(12, 60), 1);    // 0.5
    EXPECT_EQ(TwipsToPixels(-12, 60), -1);  // -0.5
    for (int dpi : {72, 96, 120, 144, 168, 192, 288}) {
        for (int twips = -3000; twips <= 12000; ++twips) {
            const long reference = std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch);
            ASSERT_EQ(TwipsToPixels(twips, dpi), reference) << twips << " twips at " << dpi;
#ifdef _WIN32
            ASSERT_EQ(TwipsToPixels(twips, dpi), MulDiv(twips, dpi, kTwipsPerInch))
                << twips << " twips at " << dpi;
#endif
        }
    }
}

TEST(LayoutTable, DisplayNames) {
    EXPECT_EQ(DisplayName(*Find("txtURL")), "txtURL");
    EXPECT_EQ(DisplayName(*Find("lblTitle", 13)), "lblTitle(13)");
    EXPECT_EQ(Find("lblTitle"), nullptr);
    EXPECT_EQ(Find("nothing", 0), nullptr);
}

}  // namespace
}  // namespace zuv::layout
