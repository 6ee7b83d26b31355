// Arbitrary command lines: the arguments are the input split at NUL bytes, the first byte says
// whether the program runs as LocalSystem. Whatever the line, the run ends with an exit code
// that matches what happened: a line not understood or refused gets 2 and a reason and writes
// nothing; usage gets 0; a quiet apply gets 0 or 1 with its message as the first output line,
// one backup and one log line; a check writes nothing; /logon on a machine without the
// package's settings gets 2 and a failed record; the window opens only for a line that asks for it.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "apply/logon_run.h"
#include "browser_config/address_rule.h"
#include "program/command_line.h"
#include "program/program.h"
#include "registry/codepage.h"
#include "tests/doubles/fake_host.h"
#include "tests/doubles/memory_registry.h"

namespace {

[[noreturn]] void Fail(const char* rule, const std::vector<std::string>& arguments) {
    std::fprintf(stderr, "command line broke a rule: %s\narguments:", rule);
    for (const std::string& argument : arguments) std::fprintf(stderr, " [%s]", argument.c_str());
    std::fprintf(stderr, "\n");
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 512) return 0;
    const bool localSystem = (data[0] & 1) != 0;
    std::vector<std::string> arguments;
    std::string current;
    for (std::size_t i = 1; i < size; ++i) {
        if (data[i] == 0) {
            arguments.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (size > 1) arguments.push_back(current);

    static const std::unique_ptr<zuv::AnsiCodePage> codePage = zuv::MakeSystemCodePage();
    zuv::MemoryRegistry memory(*codePage);
    zuv::MemoryStoredRegistry stored(memory, *codePage);
    zuv::test::FakeHost host;
    host.localSystem = localSystem;
    bool windowOpened = false;

    const zuv::Invocation invocation = zuv::ParseCommandLine(arguments);
    if (zuv::ParseCommandLine(arguments).mode != invocation.mode) Fail("parse differs", arguments);
    const zuv::ProgramRegistry registry{memory, *codePage, stored};
    const std::string before = memory.Dump(zuv::kHkeyCurrentUser);
    const int exitCode = zuv::RunProgram(invocation, host, registry, [&](zuv::mdlReg&, const zuv::ApplyRecords&) {
        windowOpened = true;
        return 0;
    });

    const bool refused = localSystem && invocation.hasArguments &&
                         (invocation.mode == zuv::RunMode::Quiet ||
                          invocation.mode == zuv::RunMode::Window ||
                          invocation.mode == zuv::RunMode::Check ||
                          invocation.mode == zuv::RunMode::WhatIf ||
                          invocation.mode == zuv::RunMode::Undo ||
                          invocation.mode == zuv::RunMode::Logon);
    switch (invocation.mode) {
    case zuv::RunMode::Invalid:
        if (invocation.problem.empty()) Fail("no reason for a line not understood", arguments);
        if (exitCode != zuv::kExitNotUnderstood) Fail("not understood but not exit 2", arguments);
        break;
    case zuv::RunMode::Usage:
        if (exitCode != zuv::kExitSuccess) Fail("usage not exit 0", arguments);
        break;
    case zuv::RunMode::Window:
        if (refused ? exitCode != zuv::kExitNotUnderstood || windowOpened : !windowOpened) {
            Fail("window opened when refused, or not opened when asked", arguments);
        }
        break;
    case zuv::RunMode::Check:
        if (!invocation.checkAddress || invocation.checkAddress->empty()) {
            Fail("check without an address", arguments);
        }
        if (refused ? exitCode != zuv::kExitNotUnderstood
                    : exitCode != zuv::kExitNotTrusted && exitCode != zuv::kExitNotUnderstood) {
            Fail("check ended with another code", arguments);  // the fake browser says zone 3
        }
        break;
    case zuv::RunMode::WhatIf:
        if (!invocation.address) Fail("dry run without an address", arguments);
        if (exitCode != zuv::kExitSuccess && exitCode != zuv::kExitApplyFailed &&
            exitCode != zuv::kExitNotUnderstood) {
            Fail("dry run ended with another code", arguments);
        }
        if (!host.backups.empty()) Fail("dry run backed up", arguments);
        break;
    case zuv::RunMode::Undo:
        // The fake's backup folder is empty: there is nothing to undo.
        if (exitCode != zuv::kExitNotUnderstood) Fail("undo without backups not exit 2", arguments);
        if (!host.backups.empty()) Fail("undo without backups backed up", arguments);
        break;
    case zuv::RunMode::Logon:
        // The fake machine has no machine settings: nothing applied, a failed record written
        // (unless refused), never a box.
        if (exitCode != zuv::kExitNotUnderstood) Fail("logon without machine settings not exit 2", arguments);
        if (!host.backups.empty() || !host.logs.empty()) Fail("logon without machine settings applied", arguments);
        if (!host.messageBoxes.empty()) Fail("logon showed a message box", arguments);
        if (!refused) {
            std::uint32_t type = 0;
            zuv::mdlReg reg(memory, *codePage);
            if (reg.QueryValue(zuv::kHkeyCurrentUser, zuv::kLogonRecordKey, "Result", type) != "failed") {
                Fail("logon without machine settings not recorded as failed", arguments);
            }
        } else if (memory.Dump(zuv::kHkeyCurrentUser) != before) {
            Fail("refused logon wrote", arguments);
        }
        return 0;
    case zuv::RunMode::Quiet:
        if (!invocation.address) Fail("quiet without an address", arguments);
        if (refused) {
            if (exitCode != zuv::kExitNotUnderstood) Fail("refused but not exit 2", arguments);
            break;
        }
        if (zuv::WhyAddressRefused(*invocation.address)) {
            // Refused before anything is written or backed up, and logged as refused.
            if (exitCode != zuv::kExitNotUnderstood) Fail("refused address but not exit 2", arguments);
            if (host.output.rfind("设置出错，原因：", 0) != 0) Fail("refused address not told", arguments);
            if (!host.backups.empty()) Fail("refused address backed up", arguments);
            if (memory.Dump(zuv::kHkeyCurrentUser) != before) Fail("refused address wrote", arguments);
            if (host.logs.size() != 1 || host.logs.begin()->second.size() != 1) {
                Fail("refused address not logged once", arguments);
            }
            return 0;
        }
        if (exitCode != zuv::kExitSuccess && exitCode != zuv::kExitApplyFailed) {
            Fail("quiet apply ended with another code", arguments);
        }
        if (host.output.rfind(exitCode == 0 ? "恭喜你，设置成功！\n" : "设置出错，原因：", 0) != 0) {
            Fail("first output line does not match the exit code", arguments);
        }
        if (host.logs.size() != 1 || host.logs.begin()->second.size() != 1) {
            Fail("not exactly one log line for the apply", arguments);
        }
        // The last column is the program's version; before it, a backup, or why there is none
        // (a name a .reg file cannot hold, or nothing to change).
        const std::string& line = host.logs.begin()->second.front();
        const std::size_t versionTab = line.rfind('\t');
        if (versionTab == std::string::npos || versionTab == 0 ||
            line.compare(versionTab + 1, std::string::npos, zuv::ProgramVersion()) != 0) {
            Fail("the log line does not end with the version", arguments);
        }
        const std::size_t backupTab = line.rfind('\t', versionTab - 1);
        const std::string column = backupTab == std::string::npos
                                       ? std::string()
                                       : line.substr(backupTab + 1, versionTab - backupTab - 1);
        const bool noBackup = column.rfind("未备份：", 0) == 0 || column == zuv::kNothingToBackUp;
        if ((host.backups.size() == 1) == noBackup) {
            Fail("neither exactly one backup nor the reason why there is none", arguments);
        }
        return 0;  // it applied: the registry was written
    }
    if (windowOpened) return 0;
    if (memory.Dump(zuv::kHkeyCurrentUser) != before) Fail("a run that applied nothing wrote", arguments);
    const bool reads =
        (invocation.mode == zuv::RunMode::Check || invocation.mode == zuv::RunMode::WhatIf) && !refused;
    if (!reads && memory.CallCount() != 0) Fail("a run that applied nothing touched the registry", arguments);
    if (!host.logs.empty()) Fail("a run that applied nothing was logged", arguments);
    if (host.output.empty()) Fail("a run that did not apply said nothing", arguments);
    return 0;
}
