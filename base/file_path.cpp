#include "base/file_path.h"

#include "base/text.h"

namespace zuv {
namespace {

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Whether a last component names a device: a reserved name, whatever follows its first dot,
// blanks after it ignored.
bool ReservedName(std::string_view name) {
    name = name.substr(0, name.find('.'));
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    for (const std::string_view device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"}) {
        if (EqualsNoCase(name, device)) return true;
    }
    if (name.size() >= 4 && (StartsNoCase(name, "COM") || StartsNoCase(name, "LPT"))) {
        const std::string_view number = name.substr(3);
        if (number.size() == 1 && number[0] >= '0' && number[0] <= '9') return true;
        if (number == "\u00B9" || number == "\u00B2" || number == "\u00B3") return true;
    }
    return false;
}

constexpr const char* kDevice = "是设备，不是文件";

}  // namespace

std::optional<std::string> WhyNotAFile(std::string_view path) {
    if (StartsNoCase(path, "\\\\.\\") || StartsNoCase(path, "//./")) return kDevice;
    if (StartsNoCase(path, "\\\\?\\") || StartsNoCase(path, "//?/")) {
        // Only a drive or a share may follow; anything else is an object of the system.
        path.remove_prefix(4);
        const bool drive = path.size() >= 2 && path[1] == ':';
        if (!drive && !StartsNoCase(path, "UNC\\")) return kDevice;
    }
    // A drive letter's colon is the only one a file's path has.
    const bool drive = path.size() >= 2 && path[1] == ':' &&
                       ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
    const std::size_t colon = path.find(':', drive ? 2 : 0);
    const std::size_t folder = path.find_last_of("\\/", colon);
    const std::size_t nameStart = folder == std::string_view::npos ? (drive ? 2 : 0) : folder + 1;
    const std::string_view name = path.substr(nameStart, colon == std::string_view::npos ? std::string_view::npos
                                                                                         : colon - nameStart);
    if (ReservedName(name)) return kDevice;
    if (colon != std::string_view::npos) return "是文件的备用数据流（文件名后有“:”），不是文件";
    return std::nullopt;
}

}  // namespace zuv
