// Start-up and one whole apply of the real program, read back from Wine's registry: the
// browser generation read at start-up decides the pop-up switch, and every key the program
// owns holds exactly what it should.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "driver.h"

namespace zuv::e2e {
namespace {

constexpr const wchar_t* kBrowserKey = L"Software\\Microsoft\\Internet Explorer";

// The browser version under HKEY_LOCAL_MACHINE, set for the lifetime of this object and put
// back afterwards. A null version removes the value.
class MachineVersion {
public:
    explicit MachineVersion(const wchar_t* version) {
        if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, kBrowserKey, 0, nullptr, 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr) != ERROR_SUCCESS) {
            key_ = nullptr;
            return;
        }
        wchar_t old[256];
        DWORD size = sizeof old;
        DWORD type = 0;
        if (RegQueryValueExW(key_, L"Version", nullptr, &type, reinterpret_cast<BYTE*>(old), &size) ==
                ERROR_SUCCESS &&
            type == REG_SZ) {
            original_ = std::wstring(old, size / sizeof(wchar_t)).c_str();
        }
        set_ = Write(version);
    }
    ~MachineVersion() {
        if (!key_) return;
        Write(original_ ? original_->c_str() : nullptr);
        RegCloseKey(key_);
    }
    MachineVersion(const MachineVersion&) = delete;
    MachineVersion& operator=(const MachineVersion&) = delete;
    bool Set() const { return set_; }

private:
    bool Write(const wchar_t* version) {
        if (version == nullptr) {
            const LONG result = RegDeleteValueW(key_, L"Version");
            return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND;
        }
        const auto bytes = static_cast<DWORD>((wcslen(version) + 1) * sizeof(wchar_t));
        return RegSetValueExW(key_, L"Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                              bytes) == ERROR_SUCCESS;
    }

    HKEY key_ = nullptr;
    std::optional<std::wstring> original_;
    bool set_ = false;
};

// Starts the program, applies `address` and checks the success message.
void ApplyInFreshProgram(const wchar_t* address) {
    Tool tool;
    std::string error;
    ASSERT_TRUE(tool.Launch(error)) << error;
    HWND box = tool.Control("txtURL");
    HWND ok = tool.Control("cmdOK");
    ASSERT_TRUE(box && ok);
    SendMessageW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(address));
    PostMessageW(ok, BM_CLICK, 0, 0);
    const auto message = tool.WaitForMessageBox();
    ASSERT_TRUE(message) << "no message box";
    EXPECT_EQ(Narrow(message->text), "恭喜你，设置成功！");
    ASSERT_TRUE(tool.AnswerMessageBox(*message));
    PostMessageW(tool.Window(), WM_CLOSE, 0, 0);
    EXPECT_EQ(tool.WaitForExit(), 0u);
}

struct GenerationCase {
    const char* name;
    const wchar_t* version;  // null: no version value at all
    bool switchAsText;       // "PopupMgr" = "yes" (sixth generation) rather than the number 1
};

class StartUpTest : public ::testing::TestWithParam<GenerationCase> {
protected:
    void SetUp() override { reg::RemoveProgramOutput(); }
};

TEST_P(StartUpTest, BrowserVersionDecidesThePopUpSwitch) {
    MachineVersion version(GetParam().version);
    ASSERT_TRUE(version.Set());
    ApplyInFreshProgram(L"192.0.2.10");
    const std::wstring popups = std::wstring(reg::kBrowser) + L"\\New Windows";
    if (GetParam().switchAsText) {
        EXPECT_EQ(reg::ReadString(popups, L"PopupMgr"), std::wstring(L"yes"));
        EXPECT_FALSE(reg::ReadDword(popups, L"PopupMgr"));
    } else {
        EXPECT_EQ(reg::ReadDword(popups, L"PopupMgr"), 1u);
        EXPECT_FALSE(reg::ReadString(popups, L"PopupMgr"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, StartUpTest,
    ::testing::Values(GenerationCase{"Six", L"6.0.2900.5512", true},
                      GenerationCase{"Seven", L"7.0.5730.13", false},
                      GenerationCase{"Eight", L"8.0.6001.18702", false},
                      GenerationCase{"NineEleven", L"9.11.9600.18376", false},
                      GenerationCase{"Eleven", L"11.0.9600.16384", true},
                      GenerationCase{"Letter", L"x8", true},
                      GenerationCase{"Missing", nullptr, true}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(WholeApply, EveryOwnedKeyHoldsExactlyWhatTheProgramWrites) {
    reg::RemoveProgramOutput();
    MachineVersion version(L"8.0.6001.18702");
    ASSERT_TRUE(version.Set());
    ApplyInFreshProgram(L"www.example.com");
    ApplyInFreshProgram(L"192.0.2.10");

    const std::wstring settings = reg::kInternetSettings;
    const std::string zoneMap = Narrow(settings) + "\\ZoneMap\\";
    const std::string browser = Narrow(reg::kBrowser);
    // Texts built by appending: the dump's lines, one key or value each.
    auto join = [](std::initializer_list<std::string> parts) {
        std::string out;
        for (const std::string& part : parts) out.append(part);
        return out;
    };
    auto section = [&](const std::string& path) { return join({"[", path, "]\n"}); };
    auto dword = [&](const char* name, const char* bytes) {
        return join({"\"", name, "\" type 4 = ", bytes, "\n"});
    };
    const std::string emptyText = "\"\" type 1 = 00 00\n";
    const std::string http = dword("http", "02 00 00 00");
    // "192.0.2.10" as the registry keeps it.
    const std::string range =
        "\":Range\" type 1 = 31 00 39 00 32 00 2E 00 30 00 2E 00 32 00 2E 00 31 00 30 00 00 00\n";
    std::string zone2 = section(Narrow(reg::kTrustedZone));
    for (const char* name : {"1001", "1004", "1200", "1201", "1400", "1402", "1405", "1406",
                             "1407", "2100", "2101", "2102", "2200", "CurrentLevel"}) {
        zone2 += dword(name, std::string(name) == "2101" ? "03 00 00 00" : "00 00 00 00");
    }
    const struct {
        std::wstring key;
        std::string dump;
    } expected[] = {
        {settings + L"\\ZoneMap\\EscDomains",
         join({section(zoneMap + "EscDomains"), section(zoneMap + "EscDomains\\example.com"),
               section(zoneMap + "EscDomains\\example.com\\www"), http})},
        {settings + L"\\ZoneMap\\Domains",
         join({section(zoneMap + "Domains"), section(zoneMap + "Domains\\example.com"),
               section(zoneMap + "Domains\\example.com\\www"), http})},
        {settings + L"\\ZoneMap\\EscRanges",
         join({section(zoneMap + "EscRanges"), emptyText, section(zoneMap + "EscRanges\\Range1"),
               range, http})},
        {settings + L"\\ZoneMap\\Ranges",
         join({section(zoneMap + "Ranges"), emptyText, section(zoneMap + "Ranges\\Range1"), range,
               http})},
        {reg::kTrustedZone, zone2},
        {std::wstring(reg::kBrowser) + L"\\New Windows",
         join({section(browser + "\\New Windows"), emptyText, dword("PopupMgr", "01 00 00 00"),
               section(browser + "\\New Windows\\Allow"), "\"192.0.2.10\" type 3 =\n",
               "\"www.example.com\" type 3 =\n"})},
        {std::wstring(reg::kBrowser) + L"\\PhishingFilter",
         join({section(browser + "\\PhishingFilter"), emptyText, dword("Enabled", "01 00 00 00"),
               dword("ShownVerifyBalloon", "01 00 00 00")})},
    };
    for (const auto& e : expected) EXPECT_EQ(reg::Dump(e.key), e.dump) << Narrow(e.key);

    // Keys shared with the browser: only the program's own values are checked.
    const std::wstring main = std::wstring(reg::kBrowser) + L"\\Main";
    EXPECT_EQ(reg::ReadString(main, L"Enable Browser Extensions"), std::wstring(L"yes"));
    EXPECT_EQ(reg::ReadDword(settings, L"SyncMode5"), 3u);
    EXPECT_EQ(reg::ReadDword(settings, L"MaxConnectionsPerServer"), 10u);
    EXPECT_EQ(reg::ReadDword(settings, L"MaxConnectionsPer1_0Server"), 10u);
}

}  // namespace
}  // namespace zuv::e2e
