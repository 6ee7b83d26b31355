// Who the window is to the system and to the user: its class name, its title and the resource
// id of its icon. The Win32 view and the program (its code, its message boxes and its resource
// script) take them from here. The resource compiler reads this file too: only the id is
// visible to it.
#pragma once

#define IDI_APP 1

#ifndef RC_INVOKED
#include <string_view>

namespace zuv::layout {

inline constexpr std::string_view kWindowClass = "ZUVPortalSetting";
inline constexpr std::string_view kWindowTitle = "PORTAL访问设置";

}  // namespace zuv::layout
#endif
