#include <new>

#include "browser_config/browser_config.h"
#include "fixture.h"
#include "tests/support/remembering_ui.h"
#include "window/ZUVPortalSetting.h"

namespace zuv::test {
namespace {

class ApplyCommand : public RegistryFixture {
protected:
    RememberingUi ui;
    ZUVPortalSetting form{ui, reg};

    std::string ApplyAndGetMessage(const std::string& address) {
        ui.address = address;
        ui.messages.clear();
        form.cmdOK_Click();
        EXPECT_EQ(ui.messages.size(), 1u);
        if (ui.messages.empty()) return {};
        EXPECT_EQ(ui.messages[0].caption, "提示信息");
        EXPECT_EQ(ui.messages[0].flags, 64u);
        return ui.messages[0].text;
    }
};

TEST_F(ApplyCommand, StartUpReadsTheGenerationAndWritesNothing) {
    Put(kBrowserVersionKey, "Version", kRegSz, TextBytes("8.0.6001"), kHkeyLocalMachine);
    const std::string before = memory.Dump(kHkeyCurrentUser);
    form.Form_Load();
    EXPECT_EQ(form.BrowserGeneration, IeGeneration::IE8);
    EXPECT_EQ(memory.Dump(kHkeyCurrentUser), before);
}

TEST_F(ApplyCommand, FullApplyWritesEverythingAndReportsSuccess) {
    form.Form_Load();
    EXPECT_EQ(ApplyAndGetMessage("www.example.com"), "恭喜你，设置成功！");
    EXPECT_EQ(Raw(std::string(kZoneMapRoot) + "Domains\\example.com\\www", "http"), Dword(2));
    EXPECT_EQ(Raw(kPopupAllowKey, "www.example.com"), (RawValue{kRegBinary, {}}));
    EXPECT_EQ(Raw(kPopupKey, "PopupMgr"), Sz("yes"));  // no version installed: IE6
    EXPECT_EQ(Raw(kTrustedZoneKey, "2101"), Dword(3));
    EXPECT_EQ(Raw(kInternetSettingsKey, "MaxConnectionsPer1_0Server"), Dword(10));
}

TEST_F(ApplyCommand, EmptyAddressAppliesOnlyTheBrowserWideValues) {
    EXPECT_EQ(ApplyAndGetMessage(""), "恭喜你，设置成功！");
    EXPECT_FALSE(HasKey(std::string(kZoneMapRoot)));
    EXPECT_FALSE(HasKey(kPopupKey));
    EXPECT_FALSE(HasKey(kPhishingFilterKey));
    EXPECT_EQ(ValueCount(kTrustedZoneKey), 14u);
    EXPECT_EQ(Raw(kBrowserMainKey, "Enable Browser Extensions"), Sz("yes"));
}

TEST_F(ApplyCommand, ApplyingTwiceGivesTheSameContentAsOnce) {
    for (const char* address : {"192.0.2.10", "portal", "example.com", "a.b.example.com", ""}) {
        ApplyAndGetMessage(address);
        const std::string once = memory.Dump(kHkeyCurrentUser);
        ApplyAndGetMessage(address);
        EXPECT_EQ(memory.Dump(kHkeyCurrentUser), once) << address;
    }
}

TEST_F(ApplyCommand, RefusedWriteGoesOnButIsNotReportedAsSuccess) {
    ui.address = "portal";
    // Zone 2's "1400" cannot be written; everything else still is.
    class RefusingRegistry : public MemoryRegistry {
    public:
        using MemoryRegistry::MemoryRegistry;
        long SetValueEx(RegKey key, const std::string& name, std::uint32_t type,
                        const unsigned char* data, std::uint32_t size) override {
            if (name == "1400") return kErrorAccessDenied;
            return MemoryRegistry::SetValueEx(key, name, type, data, size);
        }
    } refusing(*codePage);
    mdlReg refusingReg(refusing, *codePage);
    ZUVPortalSetting refusingForm(ui, refusingReg);
    refusingForm.cmdOK_Click();
    ASSERT_EQ(ui.messages.size(), 1u);
    const std::string& text = ui.messages[0].text;
    EXPECT_EQ(text.rfind("设置出错，原因：", 0), 0u) << text;
    EXPECT_NE(text.find("Zones\\2\\"), std::string::npos) << text;
    EXPECT_NE(text.find("“1400”"), std::string::npos) << text;
    EXPECT_NE(text.find("5"), std::string::npos) << text;
    EXPECT_NE(text.find("拒绝访问。"), std::string::npos) << text;
    // The steps after the refusal still ran.
    const auto* zone2 = refusing.FindKey(kHkeyCurrentUser, kTrustedZoneKey);
    ASSERT_NE(zone2, nullptr);
    EXPECT_EQ(zone2->values.size(), 13u);
    EXPECT_NE(refusing.FindKey(kHkeyCurrentUser, kInternetSettingsKey), nullptr);

    // The next press starts afresh.
    ui.messages.clear();
    ZUVPortalSetting healthyForm(ui, reg);
    healthyForm.cmdOK_Click();
    EXPECT_EQ(ui.messages.at(0).text, "恭喜你，设置成功！");
}

// The whole failure text, for a refused named value and for a refused default value: the
// first refusal of the press is the one reported.
TEST_F(ApplyCommand, RefusedWriteIsNamedWholeInTheMessage) {
    struct Case {
        const char* refusedName;  // the value whose write is refused ("" = a default value)
        const char* address;
        std::string message;
    };
    const std::string settings = "HKEY_CURRENT_USER\\" + std::string(kInternetSettingsKey);
    const Case cases[] = {
        {"SyncMode5", "",
         "设置出错，原因：无法写入注册表 " + settings +
             " 中的值“SyncMode5”（错误代码 5：拒绝访问。）"},
        {"", "192.0.2.10",
         "设置出错，原因：无法写入注册表 " + settings +
             "ZoneMap\\EscRanges\\ 的默认值（错误代码 5：拒绝访问。）"},
    };
    for (const Case& c : cases) {
        class RefusingRegistry : public MemoryRegistry {
        public:
            RefusingRegistry(const AnsiCodePage& codePage, std::string name)
                : MemoryRegistry(codePage), name_(std::move(name)) {}
            long SetValueEx(RegKey key, const std::string& name, std::uint32_t type,
                            const unsigned char* data, std::uint32_t size) override {
                if (name == name_) return kErrorAccessDenied;
                return MemoryRegistry::SetValueEx(key, name, type, data, size);
            }

        private:
            std::string name_;
        } refusing(*codePage, c.refusedName);
        mdlReg refusingReg(refusing, *codePage);
        ZUVPortalSetting refusingForm(ui, refusingReg);
        ui.address = c.address;
        ui.messages.clear();
        refusingForm.cmdOK_Click();
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, c.message);
    }
}

TEST_F(ApplyCommand, RunTimeErrorAbandonsTheRemainingSteps) {
    const std::string text = ApplyAndGetMessage("example.com.");
    EXPECT_EQ(text, "设置出错，原因：无效的过程调用或参数");
    EXPECT_FALSE(HasKey(kPopupKey));
    EXPECT_FALSE(HasKey(kTrustedZoneKey));
    EXPECT_FALSE(HasKey(kInternetSettingsKey));
}

TEST_F(ApplyCommand, UnrepresentableAddressIsReportedAndNothingOfItIsWritten) {
    const std::string text = ApplyAndGetMessage("portal\xF0\x9F\x98\x80");
    EXPECT_EQ(text.rfind("设置出错，原因：", 0), 0u) << text;
    EXPECT_NE(text.find("936"), std::string::npos) << text;
    EXPECT_TRUE(SubKeys(std::string(kZoneMapRoot) + "EscDomains\\").empty());
}

TEST_F(ApplyCommand, OutOfMemoryIsTrappedLikeAnyRunTimeError) {
    memory.SetFaultHook([](RegCall call, std::uint64_t) -> long {
        if (call == RegCall::SetValueEx) throw std::bad_alloc();
        return kErrorSuccess;
    });
    EXPECT_EQ(ApplyAndGetMessage("portal"), "设置出错，原因：内存不足");
    EXPECT_EQ(memory.OpenHandleCount(), 0u);
}

TEST_F(ApplyCommand, EnterMovesTheFocusAndOtherKeysAreLeftAlone) {
    EXPECT_TRUE(form.txtURL_KeyDown(13));
    EXPECT_EQ(ui.tabs, 1);
    EXPECT_FALSE(form.txtURL_KeyDown(27));
    EXPECT_FALSE(form.txtURL_KeyDown('A'));
    EXPECT_EQ(ui.tabs, 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(memory.CallCount(), 0u);
}

TEST_F(ApplyCommand, CancelUnloadsAndWritesNothing) {
    form.cmdCancel_Click();
    EXPECT_EQ(ui.unloads, 1);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(memory.CallCount(), 0u);
}

}  // namespace
}  // namespace zuv::test
