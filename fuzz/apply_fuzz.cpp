// The whole apply command with arbitrary UTF-8 text as the address, on the in-memory
// registry among the user's own values: one honest message, nothing but the tool's values
// changed, every write kept, every key closed; and a second apply changes nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/text.h"
#include "browser_config/address_rule.h"
#include "tests/support/apply_audit.h"
#include "tests/support/apply_rig.h"

namespace {

using namespace zuv;
using namespace zuv::test;

[[noreturn]] void Fail(const std::vector<std::string>& problems, const std::string& address,
                       const char* which) {
    std::fprintf(stderr, "apply of %s broke %zu rule(s):\n", which, problems.size());
    for (const auto& p : problems) std::fprintf(stderr, "  %s\n", p.c_str());
    std::fprintf(stderr, "address (%zu bytes): ", address.size());
    for (const char c : address) std::fprintf(stderr, "%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    std::fprintf(stderr, "\n");
    std::abort();
}

std::vector<std::string> Audit(ApplyRig& rig, const Snapshot& before,
                               const std::vector<Seed>& foreign, const std::string& address) {
    const Snapshot after = TakeSnapshot(rig.memory, *rig.codePage);
    AuditInput input = AuditInputFor(rig, before, after);
    input.foreign = &foreign;
    input.runTimeErrorExpected = AddressRaises(*rig.codePage, address);
    return AuditApply(input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string address(reinterpret_cast<const char*>(data), size);
    // The text box hands over UTF-8, and a window text ends at its first NUL: anything else
    // cannot be typed.
    if (EncodeUtf8(DecodeUtf8(address)) != address) return -1;
    if (address.find('\0') != std::string::npos) return -1;

    ApplyRig rig;
    const std::vector<Seed> foreign = ForeignValues(*rig.codePage, "");
    rig.Put(foreign);
    rig.form.Form_Load();

    const Snapshot before = TakeSnapshot(rig.memory, *rig.codePage);
    if (const auto why = WhyAddressRefused(address)) {
        // Refused before the first write: the failure message with the reason, nothing written.
        const std::string dump = rig.memory.Dump(kHkeyCurrentUser);
        rig.Apply(address);
        std::vector<std::string> problems;
        if (rig.Message().text != kFailurePrefix + *why) problems.push_back("refusal not shown: " + rig.Message().text);
        if (rig.memory.Dump(kHkeyCurrentUser) != dump) problems.push_back("a refused address wrote");
        if (!problems.empty()) Fail(problems, address, "the refused address");
        return 0;
    }
    rig.Apply(address);
    if (auto problems = Audit(rig, before, foreign, address); !problems.empty()) {
        Fail(problems, address, "the address");
    }
    const std::string once = rig.memory.Dump(kHkeyCurrentUser);
    const ShownMessage first = rig.Message();

    const Snapshot between = TakeSnapshot(rig.memory, *rig.codePage);
    rig.Apply(address);
    if (auto problems = Audit(rig, between, foreign, address); !problems.empty()) {
        Fail(problems, address, "the address a second time");
    }
    std::vector<std::string> problems;
    if (rig.memory.Dump(kHkeyCurrentUser) != once) {
        problems.push_back("a second apply changed the registry");
    }
    if (rig.Message().text != first.text) {
        problems.push_back("a second apply said something else: " + rig.Message().text +
                           " after " + first.text);
    }
    if (!problems.empty()) Fail(problems, address, "the address twice");
    return 0;
}
