// What an address must be before anything is written for it: the name of a server, nothing
// more. A text that cannot name a host (a whole URL, a port, a path, a user name, blanks,
// invisible characters, characters no host name holds) would be written as a zone map key the
// browser never matches, or would choose the nesting of the keys itself; it is refused with a
// message that says what is wrong and what to type instead. Every other text passes exactly as
// typed, and the empty address keeps its meaning (the browser-wide settings only).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zuv {

// Why `address` cannot be applied or checked, in the user's words; nothing when it can.
std::optional<std::string> WhyAddressRefused(std::string_view address);

}  // namespace zuv
