// mdlFunc: address routines. Pure text functions on the address exactly as typed (UTF-8;
// the only separator is the ASCII dot, so byte positions give the same answers as
// character positions).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zuv {

// What kind of server an address names: an IPv4 address, a machine name, or a name with two or
// more dots from its second character on (a host inside a domain). The empty address has none.
enum class AddressKind { None, IP, Host, Dns };

AddressKind ClassifyAddress(std::string_view address);
// The tool's own test of what to treat as an IP address, kept as it has always been: three
// parts before dots that read as numbers from 0 to 255 (blanks, a sign, an exponent allowed),
// then a rest whose leading number (0 when it has none) is below 256. It decides which keys an
// address goes to. It is not a second reading of the octets: RangeHoldsAddress takes those as
// the browser does (four parts of one to three digits), for another question.
bool IsIPv4Address(std::string_view address);
// True when the address holds two or more dots from its second character on.
bool HasSubdomainLevels(std::string_view address);
// The text after the second-to-last separating dot (a final dot does not separate).
std::string ParentDomain(std::string_view address);

// The name for a new range key: "Range" followed by one more than the highest number among
// the names made of "Range" and decimal digits; "Range1" when there is none.
std::string NextRangeName(const std::vector<std::string>& names);

// Whether a stored ":Range" text holds the address: equal without regard to case, or a
// range in the browser's syntax (four dot-separated parts, each a number, "*" or "from-to")
// that covers a dotted-quad address.
bool RangeHoldsAddress(std::string_view storedRange, std::string_view address);

}  // namespace zuv
