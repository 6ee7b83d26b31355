// The Win32 view of the window ZUVPortalSetting: builds the controls from the layout table,
// routes their events to the window logic and implements UiPort for it.
#pragma once

#include <windows.h>

#include <exception>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "base/win32_text.h"
#include "window/layout.h"
#include "window/ui_port.h"

namespace zuv {

class ZUVPortalSetting;

// A GDI font that is deleted with its owner.
struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
};
using UniqueFont = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

class PortalWindow final : public UiPort {
public:
    explicit PortalWindow(HINSTANCE instance) : instance_(instance) {}
    ~PortalWindow() override;
    PortalWindow(const PortalWindow&) = delete;
    PortalWindow& operator=(const PortalWindow&) = delete;

    // Registers the window class and creates the window with all its controls, still hidden.
    // Events go to `logic` from then on. Returns false when the window could not be created.
    bool Create(ZUVPortalSetting& logic);
    // Puts text into the address box, as if typed there before the window is shown.
    void SetAddressText(const std::string& text);
    // Shows the window and puts the focus on the first control in tab order.
    void Show(int showCommand);
    // Runs until the window is unloaded; returns the program's exit code. An exception that an
    // event handler let through ends the loop and is thrown again here.
    int RunMessageLoop();

    // UiPort
    std::string AddressText() override;
    void ShowMessage(const std::string& text, unsigned flags, const std::string& caption) override;
    void SendTab() override;
    void Unload() override;

private:
    struct Child {
        const layout::ControlInfo* info;
        HWND hwnd;
    };

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK AddressBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR id, DWORD_PTR self);
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT HandleAddressBox(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnCommand(WPARAM wParam, LPARAM lParam);

    void CreateControls();
    // Places the window and every control for `dpi_`, and sets the font for that DPI.
    void ApplyLayout(const RECT* suggested);
    void UpdateFont();
    HWND ChildByName(std::string_view name) const;

    // Runs an event handler of the logic; an exception ends the program (see RunMessageLoop).
    template <typename Handler>
    void Raise(Handler handler);

    HINSTANCE instance_;
    ZUVPortalSetting* logic_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND txtURL_ = nullptr;
    HWND cmdOK_ = nullptr;
    HWND cmdCancel_ = nullptr;
    HWND lastFocus_ = nullptr;
    std::vector<Child> children_;
    UINT dpi_ = USER_DEFAULT_SCREEN_DPI;
    UniqueFont font_;
    std::exception_ptr failure_;
};

}  // namespace zuv
