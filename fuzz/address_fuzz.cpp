// The four address routines on arbitrary bytes: no crash, no undefined behaviour, a kind
// from the known set that agrees with the three predicates, a parent domain that is a
// suffix of the address, and the same answers every time.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "browser_config/mdlFunc.h"

namespace {

[[noreturn]] void Fail(const char* what, std::string_view address) {
    std::fprintf(stderr, "address invariant broken: %s\naddress (%zu bytes): ", what, address.size());
    for (const char c : address) std::fprintf(stderr, "%02X", static_cast<unsigned>(static_cast<unsigned char>(c)));
    std::fprintf(stderr, "\n");
    std::abort();
}

std::size_t Dots(std::string_view text) {
    std::size_t n = 0;
    for (char c : text) n += c == '.' ? 1 : 0;
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const std::string_view address(bytes);

    using enum zuv::AddressKind;
    const zuv::AddressKind kind = zuv::ClassifyAddress(address);
    const bool ip = zuv::IsIPv4Address(address);
    const bool levels = zuv::HasSubdomainLevels(address);
    const std::string parent = zuv::ParentDomain(address);

    if (kind != None && kind != IP && kind != Host && kind != Dns) Fail("unknown kind", address);
    if ((kind == None) != address.empty()) Fail("no kind exactly for the empty address", address);
    if (!address.empty()) {
        const zuv::AddressKind expected = ip ? IP : levels ? Dns : Host;
        if (kind != expected) Fail("kind disagrees with the predicates", address);
    }
    // A dotted quad has three dots at least; sub-domain levels are two dots after the first
    // character.
    if (ip && Dots(address) < 3) Fail("IPv4 address with fewer than three dots", address);
    if (levels != (address.size() > 1 && Dots(address.substr(1)) >= 2)) {
        Fail("sub-domain levels miscounted", address);
    }
    // The parent is a suffix that starts the address or follows a dot, and holds at most
    // one separating dot (a final dot does not separate).
    if (parent.size() > address.size() ||
        address.compare(address.size() - parent.size(), parent.size(), parent) != 0) {
        Fail("parent domain is not a suffix", address);
    }
    const std::size_t start = address.size() - parent.size();
    if (start > 0 && address[start - 1] != '.') Fail("parent domain does not follow a dot", address);
    if (!parent.empty() && Dots(std::string_view(parent).substr(0, parent.size() - 1)) > 1) {
        Fail("parent domain keeps more than one level", address);
    }
    // The stored form of an address always holds that address.
    if (!zuv::RangeHoldsAddress(address, address)) Fail("a range text does not hold itself", address);

    // Deterministic.
    if (zuv::ClassifyAddress(address) != kind || zuv::IsIPv4Address(address) != ip ||
        zuv::HasSubdomainLevels(address) != levels || zuv::ParentDomain(address) != parent) {
        Fail("different answers for the same address", address);
    }
    return 0;
}
