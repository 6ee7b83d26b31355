// The real program under Wine: the window, its keys, the apply command and the registry it
// writes, seen from another process.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver.h"
#include "tests/support/layout_lookup.h"
#include "window/layout.h"

namespace zuv::e2e {
namespace {

const std::wstring kSuccessText = L"恭喜你，设置成功！";
const std::wstring kCaption = L"提示信息";

std::string Snapshot() { return reg::Dump(reg::kInternetSettings) + reg::Dump(reg::kBrowser); }

std::string NameOf(const Tool& tool, HWND hwnd) {
    if (!hwnd) return "(none)";
    for (const layout::ControlInfo& info : layout::Controls()) {
        if (tool.Control(info) == hwnd) return layout::DisplayName(info);
    }
    return Narrow(ClassName(hwnd)) + " \"" + Narrow(WindowText(hwnd)) + "\"";
}

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        reg::RemoveProgramOutput();
        before_ = Snapshot();
        std::string error;
        ASSERT_TRUE(tool_.Launch(error)) << error;
        address_ = tool_.Control("txtURL");
        ok_ = tool_.Control("cmdOK");
        cancel_ = tool_.Control("cmdCancel");
        ASSERT_TRUE(address_ && ok_ && cancel_) << "controls not found";
        // The program is ready once its first control has the focus.
        ASSERT_TRUE(tool_.WaitForFocus(cancel_))
            << "focus at start: " << NameOf(tool_, tool_.Focus());
    }

    std::string FocusName() const { return NameOf(tool_, tool_.Focus()); }

    // Applies and checks the success message; leaves the program running.
    void ExpectSuccessMessage() {
        const auto box = tool_.WaitForMessageBox();
        ASSERT_TRUE(box) << "no message box";
        EXPECT_EQ(Narrow(box->text), Narrow(kSuccessText));
        EXPECT_EQ(Narrow(box->caption), Narrow(kCaption));
        EXPECT_EQ(box->owner, tool_.Window()) << "the message box belongs to the window";
        ASSERT_TRUE(tool_.AnswerMessageBox(*box));
    }

    void ExpectTrustedZoneWritten() {
        struct Expected {
            const wchar_t* name;
            DWORD value;
        };
        const Expected values[] = {
            {L"1001", 0}, {L"1004", 0}, {L"1200", 0}, {L"1201", 0}, {L"1405", 0},
            {L"1402", 0}, {L"1400", 0}, {L"1407", 0}, {L"2102", 0}, {L"2101", 3},
            {L"2100", 0}, {L"2200", 0}, {L"1406", 0}, {L"CurrentLevel", 0},
        };
        for (const Expected& e : values) {
            const auto read = reg::ReadDword(reg::kTrustedZone, e.name);
            ASSERT_TRUE(read) << Narrow(e.name) << " missing or not REG_DWORD";
            EXPECT_EQ(*read, e.value) << Narrow(e.name);
        }
    }

    void ExpectNothingWritten() {
        EXPECT_FALSE(reg::KeyExists(reg::kTrustedZone));
        EXPECT_EQ(Snapshot(), before_);
    }

    Tool tool_;
    std::string before_;
    HWND address_ = nullptr;
    HWND ok_ = nullptr;
    HWND cancel_ = nullptr;
};

TEST(Environment, AnsiCodePageIsSimplifiedChinese) { EXPECT_EQ(GetACP(), 936u); }

TEST_F(ProgramTest, StartsWithEmptyAddressAndFocusOnExitButton) {
    EXPECT_EQ(WindowText(address_), L"");
    EXPECT_EQ(tool_.Focus(), cancel_) << FocusName();
    EXPECT_FALSE(tool_.FindMessageBox());
    EXPECT_FALSE(reg::KeyExists(reg::kTrustedZone)) << "nothing is written at start";
}

TEST_F(ProgramTest, TabVisitsExitApplyAddressAndWraps) {
    Keyboard keyboard(tool_);
    ASSERT_TRUE(keyboard.Attached());
    for (HWND next : {ok_, address_, cancel_}) {
        keyboard.Press(VK_TAB);
        ASSERT_TRUE(tool_.WaitForFocus(next)) << "focus on " << FocusName();
    }
    for (HWND previous : {address_, ok_, cancel_}) {
        keyboard.Press(VK_TAB, /*shift=*/true);
        ASSERT_TRUE(tool_.WaitForFocus(previous)) << "focus on " << FocusName();
    }
}

struct AddressCase {
    const char* name;
    const wchar_t* address;
    // Below the zone map's "Domains" and "EscDomains" trees: the site key of a name; empty for
    // an IP address, which becomes the range key "Range1" of "Ranges" and "EscRanges".
    const wchar_t* siteKey;
};

const std::wstring kZoneMap = std::wstring(reg::kInternetSettings) + L"\\ZoneMap\\";

class ApplyTest : public ProgramTest, public ::testing::WithParamInterface<AddressCase> {};

TEST_P(ApplyTest, ApplyButtonWritesTrustedZoneAndReportsSuccess) {
    const wchar_t* address = GetParam().address;
    SendMessageW(address_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(address));
    PostMessageW(ok_, BM_CLICK, 0, 0);
    ExpectSuccessMessage();
    ExpectTrustedZoneWritten();
    // The address is a trusted site.
    if (*GetParam().siteKey) {
        for (const wchar_t* tree : {L"EscDomains\\", L"Domains\\"}) {
            const std::wstring key = kZoneMap + tree + GetParam().siteKey;
            EXPECT_EQ(reg::ReadDword(key, L"http"), 2u) << Narrow(key);
        }
    } else {
        for (const wchar_t* tree : {L"EscRanges\\", L"Ranges\\"}) {
            const std::wstring key = kZoneMap + tree + L"Range1";
            EXPECT_EQ(reg::ReadDword(key, L"http"), 2u) << Narrow(key);
            EXPECT_EQ(reg::ReadString(key, L":Range"), std::wstring(address)) << Narrow(key);
        }
    }
    EXPECT_TRUE(tool_.Running()) << "the window stays open after applying";
    EXPECT_EQ(WindowText(address_), address) << "the address is kept";
}

INSTANTIATE_TEST_SUITE_P(Addresses, ApplyTest,
                         ::testing::Values(AddressCase{"IpAddress", L"192.0.2.10", L""},
                                           AddressCase{"MachineName", L"appserver", L"appserver"},
                                           AddressCase{"DomainName", L"www.example.com",
                                                       L"example.com\\www"}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(ProgramTest, AddressOutsideTheCodePageIsReportedAsFailure) {
    // Thai letters have no place in code page 936: the apply stops with the error's description.
    SendMessageW(address_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"\u0e01\u0e02"));
    PostMessageW(ok_, BM_CLICK, 0, 0);
    const auto box = tool_.WaitForMessageBox();
    ASSERT_TRUE(box) << "no message box";
    const std::wstring prefix = L"设置出错，原因：";
    EXPECT_EQ(Narrow(box->text.substr(0, prefix.size())), Narrow(prefix)) << Narrow(box->text);
    EXPECT_GT(box->text.size(), prefix.size()) << "the description follows";
    EXPECT_EQ(Narrow(box->caption), Narrow(kCaption));
    ASSERT_TRUE(tool_.AnswerMessageBox(*box));
    EXPECT_TRUE(tool_.Running());
}

TEST_F(ProgramTest, TypedAddressAppliedWithSpaceThenEnterOnFocusedApplyButton) {
    Keyboard keyboard(tool_);
    ASSERT_TRUE(keyboard.FocusOn(address_));
    keyboard.Type(L"192.0.2.10");
    ASSERT_TRUE(WaitUntil([&] { return WindowText(address_) == L"192.0.2.10"; }))
        << "text box holds \"" << Narrow(WindowText(address_)) << "\"";

    ASSERT_TRUE(keyboard.FocusOn(ok_));
    keyboard.Press(VK_SPACE);
    ExpectSuccessMessage();
    ExpectTrustedZoneWritten();
    // The focus comes back to the button when the message box is closed.
    ASSERT_TRUE(tool_.WaitForFocus(ok_)) << FocusName();

    reg::RemoveProgramOutput();
    keyboard.Press(VK_RETURN);
    ExpectSuccessMessage();
    ExpectTrustedZoneWritten();
}

TEST_F(ProgramTest, EnterInAddressBoxMovesFocusToExitButtonWithoutApplying) {
    Keyboard keyboard(tool_);
    ASSERT_TRUE(keyboard.FocusOn(address_));
    keyboard.Type(L"appserver");
    ASSERT_TRUE(WaitUntil([&] { return WindowText(address_) == L"appserver"; }));

    keyboard.Press(VK_RETURN);
    // Applying would open a message box, which would take the focus.
    ASSERT_TRUE(WaitUntil([&] { return tool_.Focus() == cancel_ || tool_.FindMessageBox(); }))
        << "focus on " << FocusName();
    EXPECT_EQ(tool_.Focus(), cancel_) << FocusName();
    EXPECT_FALSE(tool_.FindMessageBox());
    EXPECT_TRUE(tool_.Running());
    EXPECT_EQ(WindowText(address_), L"appserver") << "Enter adds nothing to the text";
    ExpectNothingWritten();
}

TEST_F(ProgramTest, EnterInAddressBoxWrapsAlsoWhenReachedByTab) {
    Keyboard keyboard(tool_);
    keyboard.Press(VK_TAB);
    keyboard.Press(VK_TAB);
    ASSERT_TRUE(tool_.WaitForFocus(address_)) << FocusName();
    keyboard.Press(VK_RETURN);
    ASSERT_TRUE(WaitUntil([&] { return tool_.Focus() == cancel_ || tool_.FindMessageBox(); }));
    EXPECT_EQ(tool_.Focus(), cancel_) << FocusName();
    EXPECT_FALSE(tool_.FindMessageBox());
}

TEST_F(ProgramTest, EscapeDoesNothingInAnyControl) {
    Keyboard keyboard(tool_);
    // After Esc a marker key follows whose effect can be waited for; keys are handled in order,
    // so once the marker has acted, Esc has been handled too.
    ASSERT_TRUE(keyboard.FocusOn(address_));
    keyboard.Press(VK_ESCAPE);
    keyboard.Type(L"a");
    ASSERT_TRUE(WaitUntil([&] { return WindowText(address_) == L"a"; }))
        << "text box holds \"" << Narrow(WindowText(address_)) << "\", focus on " << FocusName();
    EXPECT_FALSE(tool_.FindMessageBox());

    struct Case {
        HWND control;
        HWND next;  // the control Tab moves to
    };
    for (const Case& c : {Case{cancel_, ok_}, Case{ok_, address_}}) {
        ASSERT_TRUE(keyboard.FocusOn(c.control));
        keyboard.Press(VK_ESCAPE);
        keyboard.Press(VK_TAB);
        ASSERT_TRUE(WaitUntil([&] { return tool_.Focus() == c.next || tool_.FindMessageBox(); }))
            << "after Esc on " << NameOf(tool_, c.control) << " focus on " << FocusName();
        EXPECT_FALSE(tool_.FindMessageBox());
        EXPECT_TRUE(tool_.Running());
    }
    EXPECT_TRUE(IsWindowVisible(tool_.Window()));
    ExpectNothingWritten();
}

TEST_F(ProgramTest, ExitButtonEndsProgramWithoutWriting) {
    SendMessageW(address_, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"192.0.2.10"));
    PostMessageW(cancel_, BM_CLICK, 0, 0);
    const auto code = tool_.WaitForExit();
    ASSERT_TRUE(code) << "the program is still running";
    EXPECT_EQ(*code, 0u);
    ExpectNothingWritten();
}

TEST_F(ProgramTest, SpaceAndEnterOnFocusedExitButtonEndProgram) {
    // Enter on the focused exit button.
    {
        Keyboard keyboard(tool_);
        keyboard.Press(VK_RETURN);
        const auto code = tool_.WaitForExit();
        ASSERT_TRUE(code) << "Enter did not press the exit button";
        EXPECT_EQ(*code, 0u);
    }
    ExpectNothingWritten();

    // Space, in a second run.
    Tool second;
    std::string error;
    ASSERT_TRUE(second.Launch(error)) << error;
    HWND cancel = second.Control("cmdCancel");
    ASSERT_TRUE(second.WaitForFocus(cancel));
    Keyboard keyboard(second);
    keyboard.Press(VK_SPACE);
    const auto code = second.WaitForExit();
    ASSERT_TRUE(code) << "Space did not press the exit button";
    EXPECT_EQ(*code, 0u);
    ExpectNothingWritten();
}

TEST_F(ProgramTest, ClosingWindowEndsProgramWithoutWriting) {
    PostMessageW(tool_.Window(), WM_SYSCOMMAND, SC_CLOSE, 0);
    const auto code = tool_.WaitForExit();
    ASSERT_TRUE(code) << "the program is still running";
    EXPECT_EQ(*code, 0u);
    ExpectNothingWritten();
}

// Where a control must stand, in pixels, relative to its parent's client area.
RECT ExpectedRect(const layout::ControlInfo& info, int dpi) {
    const layout::TwipsRect& r = info.rect;
    const int left = layout::TwipsToPixels(r.left, dpi);
    const int top = layout::TwipsToPixels(r.top, dpi);
    return {left, top, left + layout::TwipsToPixels(r.width, dpi),
            top + layout::TwipsToPixels(r.height, dpi)};
}

int WindowDpi(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpi) return static_cast<int>(getDpi(hwnd));
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    return dpi;
}

TEST_F(ProgramTest, WindowLayoutMatchesTheTableAndIsCaptured) {
    HWND window = tool_.Window();
    EXPECT_EQ(ClassName(window), Widen(layout::kWindowClass));
    EXPECT_EQ(WindowText(window), Widen(layout::kWindowTitle));
    const int dpi = WindowDpi(window);
    EXPECT_EQ(dpi, 96) << "the screen of the tests has 96 DPI";

    const LONG style = GetWindowLongW(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME) << "fixed size";
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);

    RECT client{};
    GetClientRect(window, &client);
    HWND frame = tool_.Control("fraTitle");
    ASSERT_TRUE(frame);
    for (const layout::ControlInfo& info : layout::Controls()) {
        SCOPED_TRACE(layout::DisplayName(info));
        HWND hwnd = tool_.Control(info);
        ASSERT_TRUE(hwnd) << "not found by its text";
        HWND parent = info.parent.empty() ? window : frame;
        EXPECT_EQ(GetParent(hwnd), parent);
        EXPECT_TRUE(IsWindowVisible(hwnd));

        RECT actual{};
        GetWindowRect(hwnd, &actual);
        MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&actual), 2);
        const RECT expected = ExpectedRect(info, dpi);
        EXPECT_NEAR(actual.left, expected.left, 1);
        EXPECT_NEAR(actual.top, expected.top, 1);
        EXPECT_NEAR(actual.right, expected.right, 1);
        EXPECT_NEAR(actual.bottom, expected.bottom, 1);

        // Every control lies inside the client area.
        RECT inWindow{};
        GetWindowRect(hwnd, &inWindow);
        MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&inWindow), 2);
        EXPECT_GE(inWindow.left, 0);
        EXPECT_GE(inWindow.top, 0);
        EXPECT_LE(inWindow.right, client.right);
        EXPECT_LE(inWindow.bottom, client.bottom);

        const LONG childStyle = GetWindowLongW(hwnd, GWL_STYLE);
        EXPECT_EQ((childStyle & WS_TABSTOP) != 0, layout::TakesFocus(info.kind));
        if (info.kind == layout::ControlKind::Button) {
            EXPECT_EQ(childStyle & BS_TYPEMASK, BS_PUSHBUTTON) << "not a default button";
        }
        if (info.kind == layout::ControlKind::Label) {
            EXPECT_TRUE(childStyle & SS_NOPREFIX) << "texts are shown as they are";
        }
    }

    // The labels are painted: the first explanation line shows text on screen.
    HWND firstLine = tool_.Control("lblTitle", 0);
    RECT lineRect{};
    GetWindowRect(firstLine, &lineRect);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&lineRect), 2);
    ASSERT_TRUE(WaitUntil([&] {
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        return ShowsTextIn(window, lineRect);
    })) << "no text visible in lblTitle(0)";

    const std::wstring file = ArtifactsFolder() + L"\\window.png";
    std::string error;
    EXPECT_TRUE(SaveWindowImage(window, file, error)) << error;
    std::printf("window image: %s\n", Narrow(file).c_str());
}

// The screen's DPI as Wine reads it when a program starts, set for the lifetime of this object.
class ScreenDpi {
public:
    explicit ScreenDpi(DWORD dpi) {
        HKEY key = nullptr;
        if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                            nullptr) == ERROR_SUCCESS) {
            set_ = RegSetValueExW(key, L"LogPixels", 0, REG_DWORD,
                                  reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi)) == ERROR_SUCCESS;
            RegCloseKey(key);
        }
    }
    ~ScreenDpi() { RegDeleteKeyValueW(HKEY_CURRENT_USER, kKey, L"LogPixels"); }
    ScreenDpi(const ScreenDpi&) = delete;
    ScreenDpi& operator=(const ScreenDpi&) = delete;
    bool Set() const { return set_; }

private:
    static constexpr const wchar_t* kKey = L"Control Panel\\Desktop";
    bool set_ = false;
};

TEST(HighDpi, ControlsScaleWithTheScreen) {
    ScreenDpi screen(144);
    ASSERT_TRUE(screen.Set());
    Tool tool;
    std::string error;
    ASSERT_TRUE(tool.Launch(error)) << error;
    // Wine does not scale coordinates between programs of different DPI awareness: what this
    // program reads are the pixels of the program under test.
    const int dpi = 144;
    for (const char* name : {"txtURL", "cmdOK", "cmdCancel", "fraTitle"}) {
        SCOPED_TRACE(name);
        const layout::ControlInfo* info = layout::Find(name);
        HWND hwnd = tool.Control(*info);
        ASSERT_TRUE(hwnd);
        RECT actual{};
        GetWindowRect(hwnd, &actual);
        MapWindowPoints(nullptr, tool.Window(), reinterpret_cast<POINT*>(&actual), 2);
        const RECT expected = ExpectedRect(*info, dpi);
        EXPECT_NEAR(actual.left, expected.left, 1);
        EXPECT_NEAR(actual.top, expected.top, 1);
        EXPECT_NEAR(actual.right, expected.right, 1);
        EXPECT_NEAR(actual.bottom, expected.bottom, 1);
    }
    RECT client{};
    GetClientRect(tool.Window(), &client);
    EXPECT_NEAR(client.right, layout::TwipsToPixels(layout::kClientWidthTwips, dpi), 1);
    EXPECT_NEAR(client.bottom, layout::TwipsToPixels(layout::kClientHeightTwips, dpi), 1);
    const std::wstring file = ArtifactsFolder() + L"\\window-144dpi.png";
    RECT line{};
    GetClientRect(tool.Window(), &line);
    WaitUntil([&] { return ShowsTextIn(tool.Window(), line); });
    EXPECT_TRUE(SaveWindowImage(tool.Window(), file, error)) << error;
}

}  // namespace
}  // namespace zuv::e2e
