// Microsoft Edge's Enterprise Mode site list (schema v.2), the list that tells Edge which sites
// to open in Internet Explorer mode: the entry that puts the portal there, and a whole list of
// that one entry. The machine package installs such a list when no organisation's list is set;
// when one is, the package and /check tell the administrator the entry to add to it.
#pragma once

#include <string>
#include <string_view>

namespace zuv {

// Text as XML character data or attribute value: & < > " ' written as entities.
std::string EscapeXml(std::string_view text);

// The portal's entry, on one line: <site url="ADDRESS"><compat-mode>Default</compat-mode>
// <open-in>IE11</open-in></site>. The address stands without a scheme, so the entry covers
// http:// and https:// alike.
std::string SiteListEntry(std::string_view address);

// A whole site list holding that entry alone: UTF-8, CRLF line ends, `<site-list version="N">`.
// Edge loads a list again when its version grows; `tool` and `toolVersion` name what made it.
std::string SiteListDocument(std::string_view address, unsigned long long version,
                             std::string_view tool, std::string_view toolVersion);

}  // namespace zuv
