// Whether a path the command line names (a log, an export) is a file: the one check for both,
// made on the text before anything is opened.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zuv {

// Why `path` (UTF-8) does not name a file, in words to follow the path; nothing when it does.
//  - a device however written: a reserved name (CON, PRN, AUX, NUL, COM1…9, LPT1…9, CONIN$,
//    CONOUT$, CLOCK$) in any folder, with any extension, trailing blanks or a colon ("COM1:",
//    "C:\logs\con.txt"), or a path into the device namespace (\\.\…, \\?\ with anything but a
//    drive or a share after it);
//  - a stream of a file: a colon anywhere but after a drive letter ("x.reg:ads",
//    "x.reg::$DATA").
std::optional<std::string> WhyNotAFile(std::string_view path);

}  // namespace zuv
