#include "program/program.h"

#include "apply/logon_run.h"
#include "apply/portal_check.h"
#include "apply/portal_preview.h"
#include "apply/portal_report.h"
#include "apply/portal_undo.h"
#include "base/text.h"
#include "browser_config/browser_config.h"

namespace zuv {
namespace {

// Each line of `text` with its invisible characters written out: whoever reads the output line
// by line sees the lines the program meant, and nothing that reorders or hides text.
std::string VisibleLines(const std::string& text) {
    std::string out;
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find('\n', begin);
        out += EscapeInvisible(std::string_view(text).substr(begin, end - begin));
        if (end == std::string::npos) break;
        out += '\n';
        begin = end + 1;
    }
    return out;
}

SiteProtocols ProtocolsOf(const Invocation& invocation) {
    return invocation.https ? SiteProtocols::HttpAndHttps : SiteProtocols::Http;
}

int RunQuiet(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
             mdlReg& reg) {
    const ApplyRecords records{registry, host.Apply(), StartedFrom::Quiet, invocation.logFile};
    // The same start-up detection and the same apply as the window's.
    const ApplyRequest request{*invocation.address, DetectBrowserGeneration(reg),
                               ProtocolsOf(invocation)};
    const ApplyReport report = ApplyPortal(reg, request, &records);
    // A quiet run has no one else to tell: output that cannot be written changes nothing of
    // the apply or its exit code.
    (void)host.WriteOutput(VisibleLines(report.OutputText()));
    return report.exitCode;
}

}  // namespace

std::optional<std::string> RefusalFor(const Invocation& invocation, ProgramHost& host) {
    // The report reads every user's record, and deployment tools run it as LocalSystem.
    if (!invocation.hasArguments || invocation.mode == RunMode::Usage ||
        invocation.mode == RunMode::Invalid || invocation.mode == RunMode::Report) {
        return std::nullopt;
    }
    if (host.RunsAsLocalSystem()) {
        return "本程序正以 LocalSystem 账户运行，读写的将是该系统账户自己的设置，而不是任何用户的。"
               "请在要设置的用户的上下文中运行（例如登录脚本，或部署工具中“以用户身份运行”）。";
    }
    return std::nullopt;
}

int RunProgram(const Invocation& invocation, ProgramHost& host, const ProgramRegistry& registry,
               const OpenWindow& openWindow) {
    mdlReg reg(registry.api, registry.codePage);
    // What a run that opens no window has to say goes to the output, or into a message box
    // when there is no output and the run was not asked to be quiet.
    // A report as LocalSystem has nobody to see a box: the account has no desktop of a user.
    const auto tell = [&](const std::string& text) {
        if (!host.WriteOutput(VisibleLines(text)) && !invocation.quietAsked &&
            !(invocation.mode == RunMode::Report && host.RunsAsLocalSystem())) {
            host.ShowMessage(text);
        }
    };
    const auto notRun = [&](const std::string& text, int exitCode) {
        tell(text);
        return exitCode;
    };
    switch (invocation.mode) {
    case RunMode::Usage:
        return notRun(UsageText(), kExitSuccess);
    case RunMode::Invalid:
        return notRun("命令行无法识别：" + invocation.problem + "\n\n" + UsageText(),
                      kExitNotUnderstood);
    case RunMode::Quiet:
    case RunMode::Window:
    case RunMode::Check:
    case RunMode::WhatIf:
    case RunMode::Undo:
    case RunMode::Logon:
    case RunMode::Report:
        break;
    }
    if (const auto refusal = RefusalFor(invocation, host)) {
        return notRun("无法按要求运行：" + *refusal + "\n", kExitNotUnderstood);
    }
    // Each run below is one call of the layer beneath, whose report is told as it stands.
    const auto told = [&](const RunReport& report) {
        tell(report.text);
        return report.exitCode;
    };
    switch (invocation.mode) {
    case RunMode::Check:
        return told(CheckPortal(reg, *invocation.checkAddress, invocation.https ? "https" : "http",
                                host.Apply()));
    case RunMode::WhatIf:
        return told(PreviewPortal(registry, reg,
                                  {*invocation.address, ProtocolsOf(invocation), invocation.exportFile},
                                  host.Apply()));
    case RunMode::Undo:
        return told(UndoPortal(registry, {*invocation.undoTarget, invocation.logFile}, host.Apply()));
    case RunMode::Report:
        return told(ReportPortal(reg, host.Profiles()));
    case RunMode::Quiet:
        return RunQuiet(invocation, host, registry, reg);
    case RunMode::Logon:
        // Started by Windows at logon there is no one to tell (it never shows a box): the
        // record keeps what happened.
        return told(RunLogon(reg, {registry, host.Apply(), StartedFrom::Logon, std::nullopt}));
    case RunMode::Window:
    case RunMode::Usage:
    case RunMode::Invalid:
        break;
    }
    const ApplyRecords records{registry, host.Apply(), StartedFrom::Window, invocation.logFile};
    return openWindow(reg, records);
}

}  // namespace zuv
