#include "program/command_line.h"

#include <string_view>

#include "base/text.h"

namespace zuv {
namespace {

struct Option {
    std::string_view name;  // lower case, as typed after the switch character
    bool takesValue;
    bool valueOptional = false;  // may be given with a value or without
};

constexpr Option kOptions[] = {
    {"address", true},
    {"quiet", false},
    {"log", true},
    {"check", true},
    {"https", false},
    {"whatif", false},
    {"export", true},
    {"undo", false, true},
    {"logon", false},
    {"?", false},
};

std::string NeedsValue(const std::string& shown) {
    std::string text = "选项 " + shown;
    text += " 需要在冒号后给出值，如 ";
    text += shown;
    text += ":…";
    return text;
}

// Whether `path` names a device rather than a file: a reserved name (NUL, CON, COM1, …, with
// any extension, in any folder) or a path into the device namespace (\\.\…).
bool NamesDevice(std::string_view path) {
    const auto starts = [&](std::string_view prefix) {
        return path.size() >= prefix.size() && EqualsNoCase(path.substr(0, prefix.size()), prefix);
    };
    if (starts("\\\\.\\") || starts("//./")) return true;
    if (starts("\\\\?\\") || starts("//?/")) {
        // Only a drive or a share may follow; anything else is an object of the system.
        const std::string_view rest = path.substr(4);
        const bool drive = rest.size() >= 2 && rest[1] == ':';
        if (!drive && !(rest.size() >= 4 && EqualsNoCase(rest.substr(0, 4), "UNC\\"))) return true;
    }
    const std::size_t folder = path.find_last_of("\\/:");
    std::string_view name = folder == std::string_view::npos ? path : path.substr(folder + 1);
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"}) {
        if (EqualsNoCase(name, device)) return true;
    }
    if (name.size() >= 4 && (EqualsNoCase(name.substr(0, 3), "COM") || EqualsNoCase(name.substr(0, 3), "LPT"))) {
        const std::string_view number = name.substr(3);
        if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
        if (number == "\u00B9" || number == "\u00B2" || number == "\u00B3") return true;
    }
    return false;
}

Invocation NotUnderstood(Invocation invocation, std::string problem) {
    invocation.mode = RunMode::Invalid;
    invocation.problem = std::move(problem);
    return invocation;
}

}  // namespace

Invocation ParseCommandLine(const std::vector<std::string>& arguments) {
    Invocation invocation;
    invocation.hasArguments = !arguments.empty();
    bool quiet = false;
    bool usage = false;
    bool whatIf = false;
    bool logon = false;
    bool logonNamed = false;
    std::string problem;
    for (const std::string& argument : arguments) {
        if (argument.empty() || (argument[0] != '/' && argument[0] != '-')) {
            if (problem.empty()) problem = "无法识别的参数“" + argument + "”";
            continue;
        }
        const std::string_view body = std::string_view(argument).substr(1);
        const std::size_t colon = body.find(':');
        const std::string_view name = body.substr(0, colon);
        const Option* option = nullptr;
        for (const Option& known : kOptions) {
            if (EqualsNoCase(name, known.name)) option = &known;
        }
        std::string shown("/");
        shown.append(option ? option->name : name);
        if (option == nullptr) {
            if (problem.empty()) problem = "无法识别的选项“" + argument + "”";
            continue;
        }
        // /logon in any form means a run at logon: nothing is ever shown, not even a refusal.
        if (option->name == "logon") logonNamed = true;
        if (option->takesValue && colon == std::string_view::npos) {
            if (problem.empty()) problem = NeedsValue(shown);
            continue;
        }
        if (!option->takesValue && !option->valueOptional && colon != std::string_view::npos) {
            if (problem.empty()) problem = "选项 " + shown + " 不带值";
            continue;
        }
        const std::string value =
            colon == std::string_view::npos ? std::string() : std::string(body.substr(colon + 1));
        bool repeated = false;
        if (option->name == "address") {
            repeated = invocation.address.has_value();
            invocation.address = value;
        } else if (option->name == "log") {
            repeated = invocation.logFile.has_value();
            if (value.empty() && problem.empty()) problem = "选项 /log 需要文件名，如 /log:文件";
            if (NamesDevice(value) && problem.empty()) {
                problem = "选项 /log 给出的“" + value +
                          "”是设备，不是文件；请给出日志文件的路径，如 /log:\\\\fileserver\\logs$\\portal.log";
            }
            invocation.logFile = value;
        } else if (option->name == "check") {
            repeated = invocation.checkAddress.has_value();
            if (value.empty() && problem.empty()) problem = "选项 /check 需要地址，如 /check:地址";
            invocation.checkAddress = value;
        } else if (option->name == "https") {
            repeated = invocation.https;
            invocation.https = true;
        } else if (option->name == "whatif") {
            repeated = whatIf;
            whatIf = true;
        } else if (option->name == "export") {
            repeated = invocation.exportFile.has_value();
            if (value.empty() && problem.empty()) problem = "选项 /export 需要文件名，如 /export:文件.reg";
            if (NamesDevice(value) && problem.empty()) {
                problem = "选项 /export 给出的“" + value + "”是设备，不是文件";
            }
            invocation.exportFile = value;
        } else if (option->name == "undo") {
            repeated = invocation.undoTarget.has_value();
            if (colon != std::string_view::npos && value.empty() && problem.empty()) {
                problem = "选项 /undo 后的冒号需要给出 original 或备份文件名，如 /undo:original";
            }
            if (value.find_first_of("\\/:") != std::string::npos && problem.empty()) {
                problem = "选项 /undo 只接受备份文件夹中的文件名（不含路径），如 /undo:20261208-180655-123.reg";
            }
            invocation.undoTarget = EqualsNoCase(value, "original") ? std::string("original") : value;
        } else if (option->name == "quiet") {
            repeated = quiet;
            quiet = true;
        } else if (option->name == "logon") {
            repeated = logon;
            logon = true;
        } else {
            usage = true;
        }
        if (repeated && problem.empty()) problem = "选项 " + shown + " 给出了不止一次";
    }
    // The per-user run starts at logon, before the desktop: it never shows a window either.
    invocation.quietAsked = quiet || logonNamed;
    // Asking for help wins over everything else on the line.
    if (usage) {
        invocation.mode = RunMode::Usage;
        return invocation;
    }
    if (!problem.empty()) return NotUnderstood(std::move(invocation), std::move(problem));
    if (logon) {
        // Everything it needs is in the machine settings, the address above all: never from
        // the command line.
        if (arguments.size() != 1) {
            return NotUnderstood(std::move(invocation),
                                 "选项 /logon 不能与其他选项一起使用（地址等设置从本机的设置中读取）");
        }
        invocation.mode = RunMode::Logon;
        return invocation;
    }
    if (invocation.undoTarget) {
        // An undo restores a backup: it applies no address.
        if (invocation.address || invocation.checkAddress || whatIf || invocation.exportFile ||
            invocation.https) {
            return NotUnderstood(std::move(invocation),
                                 "选项 /undo 不能与 /address、/check、/https、/whatif 或 /export 一起使用");
        }
        invocation.mode = RunMode::Undo;
        return invocation;
    }
    if (invocation.exportFile && !whatIf) {
        return NotUnderstood(std::move(invocation), "选项 /export 需要同时给出 /whatif");
    }
    if (whatIf) {
        // A dry run writes nothing to the registry and logs nothing.
        if (!invocation.address || invocation.checkAddress || invocation.logFile) {
            return NotUnderstood(std::move(invocation),
                                 "选项 /whatif 需要同时给出 /address:地址，且不能与 /check 或 /log 一起使用");
        }
        invocation.mode = RunMode::WhatIf;
        return invocation;
    }
    if (invocation.checkAddress) {
        // A check writes nothing and logs nothing: it goes with no other option but /https.
        if (invocation.address || quiet || invocation.logFile) {
            return NotUnderstood(std::move(invocation),
                                 "选项 /check 不能与 /address、/quiet 或 /log 一起使用");
        }
        invocation.mode = RunMode::Check;
        return invocation;
    }
    if (invocation.https && !invocation.address) {
        return NotUnderstood(std::move(invocation),
                             "选项 /https 需要同时给出 /address:地址 或 /check:地址");
    }
    if (quiet && !invocation.address) {
        return NotUnderstood(std::move(invocation), "选项 /quiet 需要同时给出 /address:地址");
    }
    invocation.mode = quiet ? RunMode::Quiet : RunMode::Window;
    return invocation;
}

std::string UsageText() {
    return "用法：ZUVPortalSetting.exe [/address:地址 [/quiet] [/https]] [/log:文件]\n"
           "      ZUVPortalSetting.exe /check:地址 [/https]\n"
           "      ZUVPortalSetting.exe /whatif /address:地址 [/https] [/export:文件.reg]\n"
           "      ZUVPortalSetting.exe /undo[:original|:备份文件名] [/quiet] [/log:文件]\n"
           "      ZUVPortalSetting.exe /logon\n"
           "\n"
           "  （不带参数）     打开设置窗口。\n"
           "  /address:地址    打开设置窗口，地址框中已填入该地址（原样）；\n"
           "                   按“确定”后才进行设置。\n"
           "  /quiet           与 /address: 一起使用：不显示任何窗口或消息框，\n"
           "                   直接为当前用户设置该地址，结果写到控制台或标准输出。\n"
           "  /log:文件        日志写入该文件，而不是\n"
           "                   %LOCALAPPDATA%\\ZUVPortalSetting\\ZUVPortalSetting.log。\n"
           "  /https           与 /address: 一起使用：该站点通过 https 访问时也是受信任的站点\n"
           "                   （区域映射中除 \"http\" 外再写入 \"https\"）；\n"
           "                   与 /check: 一起使用：检查 https://地址/。\n"
           "  /check:地址      检查 http://地址/ 是否在受信任的站点区域：当前用户的区域映射、\n"
           "                   浏览器判定的区域，以及使区域映射失效或被锁定的策略；\n"
           "                   并报告 Microsoft Edge 的 IE 模式、自动登录和下载的设置。\n"
           "                   只读取，不做任何修改。\n"
           "  /whatif          与 /address: 一起使用：只列出设置将写入或删除的每个值\n"
           "                   （之前 -> 之后）和将创建的项；不写注册表、不备份、不写日志。\n"
           "  /export:文件.reg 与 /whatif 一起使用：另将设置的结果写成 .reg 文件，\n"
           "                   导入后（reg import、组策略首选项）得到与设置相同的值。\n"
           "  /undo            还原最新的、尚未撤销的设置备份（撤销本身的备份除外），\n"
           "                   该备份随后改名为 …-undone.reg；再次 /undo 撤销更早的一次设置。\n"
           "                   还原前先备份当前的值，并写入日志。\n"
           "  /undo:original   还原原始备份（本工具第一次设置之前的状态）。\n"
           "  /undo:备份文件名 还原备份文件夹中的该文件，例如撤销本身的备份（即重做）。\n"
           "  /logon           按本机的设置（安装包写入的 HKEY_LOCAL_MACHINE\\SOFTWARE\\ZUVPortalSetting）\n"
           "                   为当前用户设置（或按 Retire 撤销），不显示任何窗口；每个设置标记\n"
           "                   只做一次，结果记在 HKEY_CURRENT_USER\\Software\\ZUVPortalSetting。\n"
           "                   安装包让 Windows 在每个用户登录时运行它，不能与其他选项同用。\n"
           "  /?               显示本说明。\n"
           "\n"
           "选项以 / 或 - 开头，不区分大小写。\n"
           "退出代码：0 设置成功（/check：在受信任的站点区域；/whatif：已列出；\n"
           "          /undo：已还原）；1 设置或还原出错（/whatif：设置将会出错）；\n"
           "          2 命令行无法识别、地址不是服务器地址、无法按要求运行，\n"
           "          或（/undo）没有可还原的备份、备份文件无法读取；\n"
           "          3（/check）不在受信任的站点区域。\n"
           "\n"
           "版本：" +
           ProgramVersion() + "\n";
}

}  // namespace zuv
