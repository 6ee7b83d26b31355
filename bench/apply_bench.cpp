// Time of one apply of an IPv4 address that no range holds yet, on the in-memory registry,
// with 0, 100, 1000 and 10000 range keys already in each range tree (each with a ":Range"
// of another address). The apply lists each tree and reads every ":Range" in it, so its
// time should grow in step with the number of keys, not faster.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "browser_config/browser_config.h"
#include "registry/codepage.h"
#include "registry/mdlReg.h"
#include "tests/doubles/memory_registry.h"
#include "window/ZUVPortalSetting.h"
#include "window/ui_port.h"

namespace {

using namespace zuv;

class QuietUi : public UiPort {
public:
    std::string address;
    std::string lastMessage;
    std::string AddressText() override { return address; }
    void ShowMessage(const std::string& text, unsigned, const std::string&) override { lastMessage = text; }
    void SendTab() override {}
    void Unload() override {}
};

void Require(bool ok, const char* what) {
    if (!ok) throw std::runtime_error(what);
}

void PutValue(MemoryRegistry& memory, const std::string& path, const std::string& name,
              std::uint32_t type, const std::string& bytes) {
    RegKey key = 0;
    Require(memory.CreateKeyEx(kHkeyCurrentUser, path, "", kWriteAccess, false, &key, nullptr) == 0,
            "create");
    Require(memory.SetValueEx(key, name, type, reinterpret_cast<const unsigned char*>(bytes.data()),
                              static_cast<std::uint32_t>(bytes.size())) == 0,
            "set");
    Require(memory.CloseKey(key) == 0, "close");
}

// "10.a.b.c" for the n-th existing range: never the address applied below.
std::string OtherAddress(std::int64_t n) {
    return "10." + std::to_string(n / 65536 % 256) + "." + std::to_string(n / 256 % 256) + "." +
           std::to_string(n % 256);
}

void BM_ApplyNewIPv4(benchmark::State& state) {
    const std::int64_t keys = state.range(0);
    const auto codePage = MakeSystemCodePage();
    MemoryRegistry memory(*codePage);
    mdlReg reg(memory, *codePage);
    QuietUi ui;
    ZUVPortalSetting form(ui, reg);
    form.BrowserGeneration = IeGeneration::IE8;
    const std::string trees[] = {std::string(kZoneMapRoot) + "EscRanges\\",
                                 std::string(kZoneMapRoot) + "Ranges\\"};
    const std::string http("\x02\x00\x00\x00", 4);
    for (const std::string& tree : trees) {
        for (std::int64_t i = 1; i <= keys; ++i) {
            const std::string path = tree + "Range" + std::to_string(i) + "\\";
            PutValue(memory, path, "http", kRegDword, http);
            PutValue(memory, path, ":Range", kRegSz, OtherAddress(i) + std::string(1, '\0'));
        }
    }
    const std::string added = "Range" + std::to_string(keys + 1);
    ui.address = "192.0.2.10";

    for (auto _ : state) {
        form.cmdOK_Click();
        state.PauseTiming();
        // Back to the same registry for the next round: the new range goes again.
        Require(ui.lastMessage == kSuccessMessage, "apply failed");
        for (const std::string& tree : trees) {
            RegKey key = 0;
            Require(memory.OpenKeyEx(kHkeyCurrentUser, tree, kWriteAccess, &key) == 0, "open tree");
            Require(memory.DeleteKey(key, added) == 0, "new range missing");
            Require(memory.CloseKey(key) == 0, "close tree");
        }
        state.ResumeTiming();
    }
    state.counters["keys_per_tree"] = static_cast<double>(keys);
}

BENCHMARK(BM_ApplyNewIPv4)->Arg(0)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
