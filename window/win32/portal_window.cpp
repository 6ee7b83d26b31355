#include "window/win32/portal_window.h"

#include <commctrl.h>

#include <algorithm>
#include <utility>

#include "window/ZUVPortalSetting.h"
#include "window/window_identity.h"

namespace zuv {

namespace {

using layout::ControlKind;
using layout::ControlInfo;

constexpr UINT_PTR kAddressBoxSubclass = 1;
// Control identifiers start above IDOK and IDCANCEL, which the dialog manager sends for Enter
// and Esc.
constexpr int kFirstControlId = 100;

// DPI functions of newer systems, looked up at run time so the program also starts where they
// are missing.
using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);

template <typename Fn>
Fn User32Function(const char* name) {
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    if (!user32) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user32, name)));
}

// The screen's device context, released with its owner.
class ScreenDc {
public:
    ScreenDc() : dc_(GetDC(nullptr)) {}
    ~ScreenDc() {
        if (dc_) ReleaseDC(nullptr, dc_);
    }
    ScreenDc(const ScreenDc&) = delete;
    ScreenDc& operator=(const ScreenDc&) = delete;
    HDC Get() const { return dc_; }

private:
    HDC dc_;
};

UINT SystemDpi() {
    const ScreenDc screen;
    const int dpi = screen.Get() ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : USER_DEFAULT_SCREEN_DPI;
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

UINT DpiOf(HWND hwnd) {
    static const auto getDpiForWindow = User32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow) {
        const UINT dpi = getDpiForWindow(hwnd);
        if (dpi != 0) return dpi;
    }
    return SystemDpi();
}

int Pixels(int twips, UINT dpi) {
    return MulDiv(twips, static_cast<int>(dpi), layout::kTwipsPerInch);
}

constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kWindowExStyle = WS_EX_CONTROLPARENT;

RECT WindowRectForClient(int clientWidth, int clientHeight, UINT dpi) {
    RECT rect{0, 0, clientWidth, clientHeight};
    static const auto adjustForDpi =
        User32Function<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&rect, kWindowStyle, FALSE, kWindowExStyle, dpi)) {
        AdjustWindowRectEx(&rect, kWindowStyle, FALSE, kWindowExStyle);
    }
    return rect;
}

// The message font of the system at `dpi`.
UniqueFont CreateMessageFont(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    static const auto infoForDpi =
        User32Function<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
    if (infoForDpi && infoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi)) {
        return UniqueFont(CreateFontIndirectW(&metrics.lfMessageFont));
    }
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0)) {
        return nullptr;
    }
    // Values from the plain call are for the system DPI.
    LOGFONTW font = metrics.lfMessageFont;
    font.lfHeight = MulDiv(font.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
    return UniqueFont(CreateFontIndirectW(&font));
}

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle Win32Class(ControlKind kind) {
    switch (kind) {
    case ControlKind::Label:
        return {L"Static", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::TextBox:
        return {L"Edit", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
    case ControlKind::Frame:
        return {L"Button", BS_GROUPBOX, 0};
    case ControlKind::Button:
        return {L"Button", BS_PUSHBUTTON | WS_TABSTOP, 0};
    }
    return {L"Static", 0, 0};
}

}  // namespace

PortalWindow::~PortalWindow() {
    // The controls go before the font they use.
    if (hwnd_) DestroyWindow(hwnd_);
}

bool PortalWindow::Create(ZUVPortalSetting& logic) {
    logic_ = &logic;

    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    const std::wstring className = Widen(layout::kWindowClass);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = &PortalWindow::WindowProc;
    windowClass.hInstance = instance_;
    windowClass.hIcon = LoadIconW(instance_, MAKEINTRESOURCEW(IDI_APP));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance_, MAKEINTRESOURCEW(IDI_APP), IMAGE_ICON,
                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    windowClass.lpszClassName = className.c_str();
    if (!RegisterClassExW(&windowClass)) return false;

    const std::wstring title = Widen(layout::kWindowTitle);
    // The size is set in WM_CREATE, once the window's DPI is known.
    hwnd_ = CreateWindowExW(kWindowExStyle, className.c_str(), title.c_str(), kWindowStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr,
                            nullptr, instance_, this);
    return hwnd_ != nullptr;
}

void PortalWindow::SetAddressText(const std::string& text) {
    SetWindowTextW(txtURL_, Widen(text).c_str());
}

void PortalWindow::Show(int showCommand) {
    ShowWindow(hwnd_, showCommand);
    UpdateWindow(hwnd_);
    if (GetActiveWindow() == hwnd_) SetFocus(lastFocus_);
}

int PortalWindow::RunMessageLoop() {
    MSG message{};
    int exitCode = 0;
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            exitCode = static_cast<int>(message.wParam);
            break;
        }
        if (got < 0) {
            exitCode = 1;
            break;
        }
        // The dialog manager gives the window Tab navigation; Enter and Esc reach the window as
        // IDOK and IDCANCEL commands (see OnCommand).
        if (hwnd_ && IsDialogMessageW(hwnd_, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
    return exitCode;
}

std::string PortalWindow::AddressText() {
    const int length = GetWindowTextLengthW(txtURL_);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(txtURL_, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(std::max(copied, 0)));
    return Narrow(text);
}

void PortalWindow::ShowMessage(const std::string& text, unsigned flags,
                               const std::string& caption) {
    MessageBoxW(hwnd_, Widen(text).c_str(), Widen(caption).c_str(), flags);
}

void PortalWindow::SendTab() {
    // A typed Tab, as the keyboard would deliver it, when this window has the keyboard.
    if (GetForegroundWindow() == hwnd_) {
        INPUT keys[2]{};
        keys[0].type = INPUT_KEYBOARD;
        keys[0].ki.wVk = VK_TAB;
        keys[1] = keys[0];
        keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
        if (SendInput(2, keys, sizeof(INPUT)) == 2) return;
    }
    // Otherwise the same keystroke goes into this thread's queue, where the message loop
    // handles it as Tab.
    HWND target = GetFocus();
    if (!target || (target != hwnd_ && !IsChild(hwnd_, target))) target = hwnd_;
    const UINT scanCode = MapVirtualKeyW(VK_TAB, MAPVK_VK_TO_VSC);
    const auto down = static_cast<LPARAM>(1u | (scanCode << 16));
    const auto up = static_cast<LPARAM>(1u | (scanCode << 16) | (1u << 30) | (1u << 31));
    PostMessageW(target, WM_KEYDOWN, VK_TAB, down);
    PostMessageW(target, WM_KEYUP, VK_TAB, up);
}

void PortalWindow::Unload() {
    if (hwnd_) DestroyWindow(hwnd_);
}

template <typename Handler>
void PortalWindow::Raise(Handler handler) {
    if (!logic_) return;
    try {
        handler(*logic_);
    } catch (...) {
        failure_ = std::current_exception();
        Unload();
    }
}

LRESULT CALLBACK PortalWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam,
                                          LPARAM lParam) {
    PortalWindow* self = nullptr;
    if (message == WM_NCCREATE) {
        self = static_cast<PortalWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->hwnd_ = hwnd;
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    } else {
        self = reinterpret_cast<PortalWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    }
    if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->txtURL_ = self->cmdOK_ = self->cmdCancel_ = self->lastFocus_ = nullptr;
        self->children_.clear();
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return self->HandleMessage(message, wParam, lParam);
}

LRESULT PortalWindow::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        dpi_ = DpiOf(hwnd_);
        CreateControls();
        ApplyLayout(nullptr);
        return 0;
    case WM_DPICHANGED:
        dpi_ = HIWORD(wParam);
        ApplyLayout(reinterpret_cast<const RECT*>(lParam));
        return 0;
    case WM_ACTIVATE:
        // Keep the focus on the control that had it when the window is activated again, for
        // example after a message box.
        if (LOWORD(wParam) == WA_INACTIVE) {
            HWND focus = GetFocus();
            if (focus && IsChild(hwnd_, focus)) lastFocus_ = focus;
        } else if (lastFocus_) {
            SetFocus(lastFocus_);
        }
        return 0;
    case WM_COMMAND:
        OnCommand(wParam, lParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void PortalWindow::OnCommand(WPARAM wParam, LPARAM lParam) {
    const auto id = LOWORD(wParam);
    const auto code = HIWORD(wParam);
    HWND control = reinterpret_cast<HWND>(lParam);
    if (id == IDOK && code == 0 && !control) {
        // Enter, from the dialog manager. Neither button is the default button: Enter presses a
        // button only when that button has the focus.
        control = GetFocus();
        if (control != cmdOK_ && control != cmdCancel_) return;
    } else if (code != BN_CLICKED) {
        return;
    }
    // IDCANCEL (Esc) names no control of this window and so does nothing.
    if (control && control == cmdOK_) {
        Raise([](ZUVPortalSetting& logic) { logic.cmdOK_Click(); });
    } else if (control && control == cmdCancel_) {
        Raise([](ZUVPortalSetting& logic) { logic.cmdCancel_Click(); });
    }
}

LRESULT CALLBACK PortalWindow::AddressBoxProc(HWND hwnd, UINT message, WPARAM wParam,
                                              LPARAM lParam, UINT_PTR, DWORD_PTR self) {
    return reinterpret_cast<PortalWindow*>(self)->HandleAddressBox(hwnd, message, wParam, lParam);
}

LRESULT PortalWindow::HandleAddressBox(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_GETDLGCODE: {
        LRESULT code = DefSubclassProc(hwnd, message, wParam, lParam);
        // The box sees Enter itself instead of the dialog manager turning it into IDOK.
        const auto* pending = reinterpret_cast<const MSG*>(lParam);
        if (pending && pending->message == WM_KEYDOWN && pending->wParam == VK_RETURN) {
            code |= DLGC_WANTALLKEYS;
        }
        return code;
    }
    case WM_KEYDOWN: {
        bool handled = false;
        Raise([&](ZUVPortalSetting& logic) {
            handled = logic.txtURL_KeyDown(static_cast<int>(wParam));
        });
        if (handled) return 0;
        break;
    }
    case WM_CHAR:
        // A single-line box beeps at Enter; Enter has already been dealt with at WM_KEYDOWN.
        if (wParam == L'\r' || wParam == L'\n') return 0;
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(hwnd, &PortalWindow::AddressBoxProc, kAddressBoxSubclass);
        break;
    default:
        break;
    }
    return DefSubclassProc(hwnd, message, wParam, lParam);
}

void PortalWindow::CreateControls() {
    // Children are created in tab-index order; that is their z-order and therefore the order in
    // which Tab visits the controls that take the focus.
    int id = kFirstControlId;
    for (const ControlInfo* info : layout::InTabOrder()) {
        HWND parent = info->parent.empty() ? hwnd_ : ChildByName(info->parent);
        const ClassAndStyle win32 = Win32Class(info->kind);
        const std::wstring text = Widen(info->text);
        HWND child = CreateWindowExW(
            win32.exStyle, win32.className, text.c_str(), WS_CHILD | WS_VISIBLE | win32.style, 0,
            0, 0, 0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id++)), instance_,
            nullptr);
        children_.push_back({info, child});
    }
    txtURL_ = ChildByName("txtURL");
    cmdOK_ = ChildByName("cmdOK");
    cmdCancel_ = ChildByName("cmdCancel");
    SetWindowSubclass(txtURL_, &PortalWindow::AddressBoxProc, kAddressBoxSubclass,
                      reinterpret_cast<DWORD_PTR>(this));
    // The first control in tab order that takes the focus has it at start.
    for (const Child& child : children_) {
        if (layout::TakesFocus(child.info->kind)) {
            lastFocus_ = child.hwnd;
            break;
        }
    }
}

HWND PortalWindow::ChildByName(std::string_view name) const {
    for (const Child& child : children_) {
        if (child.info->name == name && child.info->index < 0) return child.hwnd;
    }
    return nullptr;
}

void PortalWindow::UpdateFont() {
    UniqueFont font = CreateMessageFont(dpi_);
    if (!font) return;
    for (const Child& child : children_) {
        SendMessageW(child.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
    }
    // The controls use the new font now; the old one can go.
    font_ = std::move(font);
}

void PortalWindow::ApplyLayout(const RECT* suggested) {
    UpdateFont();
    for (const Child& child : children_) {
        const layout::TwipsRect& r = child.info->rect;
        SetWindowPos(child.hwnd, nullptr, Pixels(r.left, dpi_), Pixels(r.top, dpi_),
                     Pixels(r.width, dpi_), Pixels(r.height, dpi_),
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    const RECT frame = WindowRectForClient(Pixels(layout::kClientWidthTwips, dpi_),
                                           Pixels(layout::kClientHeightTwips, dpi_), dpi_);
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    int x = 0;
    int y = 0;
    if (suggested) {
        x = suggested->left;
        y = suggested->top;
    } else {
        flags |= SWP_NOMOVE;
    }
    SetWindowPos(hwnd_, nullptr, x, y, frame.right - frame.left, frame.bottom - frame.top, flags);
    InvalidateRect(hwnd_, nullptr, TRUE);
}

}  // namespace zuv
