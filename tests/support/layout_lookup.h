// What the tests ask of the window's layout table beyond what the view needs: a control by its
// name, its name as messages show it, and twips to pixels worked out without the platform, to
// hold the view's MulDiv against.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "window/layout.h"

namespace zuv::layout {

// The control with this name and array index (-1 for a single control), or nullptr.
inline const ControlInfo* Find(std::string_view name, int index = -1) {
    for (const ControlInfo& c : Controls()) {
        if (c.name == name && c.index == index) return &c;
    }
    return nullptr;
}

// Twips to device pixels at `dpi` pixels per inch, rounded to nearest as MulDiv does
// (halves away from zero).
inline int TwipsToPixels(int twips, int dpi) {
    const std::int64_t product = static_cast<std::int64_t>(twips) * dpi;
    const std::int64_t half = kTwipsPerInch / 2;
    const std::int64_t rounded =
        product >= 0 ? (product + half) / kTwipsPerInch : -((-product + half) / kTwipsPerInch);
    return static_cast<int>(rounded);
}

// "txtURL" or "lblTitle(3)": how a control is named in test output.
inline std::string DisplayName(const ControlInfo& control) {
    std::string name(control.name);
    if (control.index >= 0) {
        name.push_back('(');
        name.append(std::to_string(control.index));
        name.push_back(')');
    }
    return name;
}

}  // namespace zuv::layout
