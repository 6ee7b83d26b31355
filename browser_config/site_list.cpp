#include "browser_config/site_list.h"

namespace zuv {

std::string EscapeXml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string SiteListEntry(std::string_view address) {
    return "<site url=\"" + EscapeXml(address) +
           "\"><compat-mode>Default</compat-mode><open-in>IE11</open-in></site>";
}

std::string SiteListDocument(std::string_view address, unsigned long long version,
                             std::string_view tool, std::string_view toolVersion) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
           "<site-list version=\"" + std::to_string(version) + "\">\r\n"
           "  <created-by>\r\n"
           "    <tool>" + EscapeXml(tool) + "</tool>\r\n"
           "    <version>" + EscapeXml(toolVersion) + "</version>\r\n"
           "  </created-by>\r\n"
           "  " + SiteListEntry(address) + "\r\n"
           "</site-list>\r\n";
}

}  // namespace zuv
