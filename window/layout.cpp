#include "window/layout.h"

#include <algorithm>

namespace zuv::layout {

namespace {

using enum ControlKind;

constexpr ControlInfo kControls[] = {
    // name, index, kind, text, {left, top, width, height}, tab index, parent
    {"Label1", -1, Label, "PORTAL服务器地址：", {180, 300, 1695, 255}, 19, ""},
    {"txtURL", -1, TextBox, "", {1920, 240, 6255, 270}, 18, ""},
    {"fraTitle", -1, Frame, "说明", {120, 660, 8055, 4545}, 2, ""},
    {"cmdOK", -1, Button, "确定", {5850, 5385, 1155, 315}, 1, ""},
    {"cmdCancel", -1, Button, "退出", {7080, 5385, 1095, 315}, 0, ""},

    {"lblTitle", 0, Label, "1、可直接填入服务器IP地址、机器名称、站点发布名称。",
     {480, 360, 6500, 255}, 17, "fraTitle"},
    {"lblTitle", 1, Label, "如访问地址为http://192.0.2.10/portal，应填入“192.0.2.10”。",
     {600, 632, 6495, 255}, 16, "fraTitle"},
    {"lblTitle", 2, Label, "如访问地址为http://appserver/portal，应填入“appserver”。",
     {600, 904, 6495, 255}, 15, "fraTitle"},
    {"lblTitle", 3, Label, "如访问地址为http://www.example.com/portal，应填入“example.com”。",
     {600, 1176, 6495, 255}, 14, "fraTitle"},
    {"lblTitle", 4, Label, "2、该工具对IE的可信任站点安全级别做了如下设置：",
     {480, 1448, 6495, 255}, 13, "fraTitle"},
    {"lblTitle", 5, Label, "1）启用下载已签名的ActiveX控件。", {600, 1720, 6495, 255}, 12,
     "fraTitle"},
    {"lblTitle", 6, Label, "2）启用下载未签名的ActiveX控件。", {600, 1992, 6495, 255}, 11,
     "fraTitle"},
    {"lblTitle", 7, Label, "3）启用运行ActiveX控件插件。", {600, 2264, 6495, 255}, 10,
     "fraTitle"},
    {"lblTitle", 8, Label, "4）启用对没有标记为安全的ActiveX控件进行安全初始化和脚本执行。",
     {600, 2536, 6495, 255}, 9, "fraTitle"},
    {"lblTitle", 9, Label, "5）启用对标记为可安全执行脚本的ActiveX控件执行脚本。",
     {600, 2808, 6495, 255}, 8, "fraTitle"},
    {"lblTitle", 10, Label, "6）启用允许Scriptlet。", {600, 3080, 6495, 255}, 7, "fraTitle"},
    {"lblTitle", 11, Label, "7）启用允许对剪贴板进行编程访问。", {600, 3352, 6495, 255}, 6,
     "fraTitle"},
    {"lblTitle", 12, Label, "8）启用允许有脚本初始化窗口，不受大小和位置限制。",
     {600, 3624, 6495, 255}, 5, "fraTitle"},
    // Index 14 stands above index 13.
    {"lblTitle", 14, Label, "9）启用允许跨域访问数据源。", {600, 3896, 6495, 255}, 3,
     "fraTitle"},
    {"lblTitle", 13, Label, "3、设置“弹出窗口阻止程序设置”为总是允许来自此站点的弹出窗口",
     {480, 4200, 6495, 255}, 4, "fraTitle"},
};

}  // namespace

std::span<const ControlInfo> Controls() { return kControls; }

std::vector<const ControlInfo*> InTabOrder() {
    std::vector<const ControlInfo*> order;
    for (const ControlInfo& c : kControls) order.push_back(&c);
    std::stable_sort(order.begin(), order.end(), [](const ControlInfo* a, const ControlInfo* b) {
        return a->tabIndex < b->tabIndex;
    });
    return order;
}

bool TakesFocus(ControlKind kind) { return kind == TextBox || kind == Button; }

}  // namespace zuv::layout
