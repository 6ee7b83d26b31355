// The window ZUVPortalSetting as data: every control with its kind, text, position and size in
// twips, and tab index. The Win32 view builds the window from this table; tests read it to know
// where each control must appear. Plain C++: no platform headers here.
#pragma once

#include <span>
#include <string_view>
#include <vector>

#include "window/window_identity.h"  // the window's class name and title

namespace zuv::layout {

enum class ControlKind {
    Label,    // static text, no focus
    TextBox,  // single-line edit box
    Frame,    // group box holding other controls
    Button,   // push button, never the default or cancel button
};

struct TwipsRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

struct ControlInfo {
    std::string_view name;    // "txtURL", "lblTitle", ...
    int index;                // index within a control array, -1 for a single control
    ControlKind kind;
    std::string_view text;    // UTF-8, exactly as shown
    TwipsRect rect;           // relative to the parent's client area
    int tabIndex;
    std::string_view parent;  // name of the containing frame; empty for the window itself
};

inline constexpr int kTwipsPerInch = 1440;

// The client area of the window, in twips: the frame plus the same margin on both sides, and
// room below the buttons.
inline constexpr int kClientWidthTwips = 8295;
inline constexpr int kClientHeightTwips = 6120;

// All controls, in the order they are described (top-level controls first, then lblTitle 0..14
// from top to bottom as they stand on screen).
std::span<const ControlInfo> Controls();

// The controls sorted by ascending tab index: the creation order of the window's children.
std::vector<const ControlInfo*> InTabOrder();

// Whether the user can move the focus onto a control of this kind with Tab.
bool TakesFocus(ControlKind kind);

}  // namespace zuv::layout
