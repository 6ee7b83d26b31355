// The one check that a path the command line names is a file: devices however written, streams.
#include <gtest/gtest.h>

#include <string>

#include "base/file_path.h"

namespace zuv::test {
namespace {

TEST(FilePath, DevicesAndStreamsAreNoFiles) {
    const std::string device = "是设备，不是文件";
    const std::string stream = "是文件的备用数据流（文件名后有“:”），不是文件";
    struct Row {
        const char* path;
        std::string why;  // empty: a file
    };
    const Row rows[] = {
        {"NUL", device},
        {"com1", device},
        {"COM1:", device},
        {"nul:", device},
        {"C:\\out\\COM1:", device},
        {"C:COM1", device},
        {"C:\\logs\\Con.txt", device},
        {"CON.txt", device},
        {"lpt9.log ", device},
        {"aux .reg", device},
        {"COM\u00B9", device},
        {"conout$", device},
        {"\\\\.\\pipe\\log", device},
        {"//./COM1", device},
        {"\\\\?\\GLOBALROOT\\Device\\Null", device},
        {"x.reg:ads", stream},
        {"C:\\out\\x.reg:ads", stream},
        {"x.reg::$DATA", stream},
        {"C:\\a:b\\x.reg", stream},
        {"\\\\?\\C:\\out\\x.reg:ads", stream},
        {":x", stream},
        // Names that only look like devices, and colons where a path has them, are files.
        {"console.log", ""},
        {"C:\\logs\\com10.log", ""},
        {"com0x.reg", ""},
        {"nullable.txt", ""},
        {"D:\\auxiliary\\x.log", ""},
        {"C:\\out\\portal.reg", ""},
        {"c:portal.reg", ""},
        {"\\\\?\\C:\\logs\\a.log", ""},
        {"\\\\?\\UNC\\server\\logs\\a.log", ""},
        {"\\\\server\\share\\con\\x.reg", ""},
        {"门户.reg", ""},
    };
    for (const Row& row : rows) {
        const auto why = WhyNotAFile(row.path);
        EXPECT_EQ(why.value_or(""), row.why) << row.path;
    }
}

}  // namespace
}  // namespace zuv::test
