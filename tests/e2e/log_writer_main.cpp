// Appends numbered lines to a log file through the program's own log writer, as fast as it can:
//   zuv_log_writer FILE COUNT TAG
// Two of these at once show whether lines of programs logging to one file can mix.
#include <windows.h>

#include <string>

#include "base/win32_text.h"
#include "apply/win32_apply_host.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 4) return 2;
    const std::string file = zuv::Narrow(argv[1]);
    const int count = _wtoi(argv[2]);
    const std::string tag = zuv::Narrow(argv[3]);
    zuv::Win32ApplyHost host;
    for (int i = 0; i < count; ++i) {
        // Long enough that a torn write would show: the line repeats its own number.
        const std::string number = std::to_string(i);
        std::string line = tag + " " + number + " 恭喜你，设置成功！";
        for (int k = 0; k < 20; ++k) line += " " + number;
        if (!host.AppendLogLine(file, line)) return 1;
    }
    return 0;
}
