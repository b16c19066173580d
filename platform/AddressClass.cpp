#include <platform/AddressClass.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace {

struct SRange {
    unsigned long network;
    int prefix;
    CAddressClass::Kind kind;
};

// Checked in order; the first match wins, so the broadcast address comes
// before the reserved block around it.
const SRange IPv4Ranges[] = {
    {0x00000000ul, 8, CAddressClass::Unspecified}, {0x0A000000ul, 8, CAddressClass::Private},
    {0x64400000ul, 10, CAddressClass::Shared},     {0x7F000000ul, 8, CAddressClass::Loopback},
    {0xA9FE0000ul, 16, CAddressClass::LinkLocal},  {0xAC100000ul, 12, CAddressClass::Private},
    {0xC0000000ul, 24, CAddressClass::Reserved},   {0xC0000200ul, 24, CAddressClass::Reserved},
    {0xC0A80000ul, 16, CAddressClass::Private},    {0xC6120000ul, 15, CAddressClass::Reserved},
    {0xC6336400ul, 24, CAddressClass::Reserved},   {0xCB007100ul, 24, CAddressClass::Reserved},
    {0xE0000000ul, 4, CAddressClass::Multicast},   {0xFFFFFFFFul, 32, CAddressClass::Broadcast},
    {0xF0000000ul, 4, CAddressClass::Reserved},
};

bool Within(unsigned long address, const SRange& range)
{
    const unsigned long mask = range.prefix == 0 ? 0ul : (0xFFFFFFFFul << (32 - range.prefix)) & 0xFFFFFFFFul;
    return (address & mask) == range.network;
}

unsigned long IPv4At(const unsigned char* bytes)
{
    return (static_cast<unsigned long>(bytes[0]) << 24) | (static_cast<unsigned long>(bytes[1]) << 16) |
           (static_cast<unsigned long>(bytes[2]) << 8) | static_cast<unsigned long>(bytes[3]);
}

bool AllZero(const unsigned char* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i)
        if (bytes[i] != 0)
            return false;
    return true;
}

} // namespace

CAddressClass::Kind CAddressClass::OfIPv4(unsigned long address)
{
    for (const SRange& range : IPv4Ranges)
        if (Within(address & 0xFFFFFFFFul, range))
            return range.kind;
    return Public;
}

CAddressClass::Kind CAddressClass::OfIPv6(const unsigned char (&a)[16])
{
    static const unsigned char mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    static const unsigned char nat64[12] = {0, 0x64, 0xFF, 0x9B, 0, 0, 0, 0, 0, 0, 0, 0};
    if (AllZero(a, 15) && a[15] == 0)
        return Unspecified;
    if (AllZero(a, 15) && a[15] == 1)
        return Loopback;
    if (std::memcmp(a, mapped, 12) == 0 || std::memcmp(a, nat64, 12) == 0 || AllZero(a, 12))
        return OfIPv4(IPv4At(a + 12));
    if (a[0] == 0x20 && a[1] == 0x02)
        return OfIPv4(IPv4At(a + 2));
    if (a[0] == 0xFF)
        return Multicast;
    if (a[0] == 0xFE && (a[1] & 0xC0) == 0x80)
        return LinkLocal;
    if (a[0] == 0xFE && (a[1] & 0xC0) == 0xC0)
        return UniqueLocal;
    if ((a[0] & 0xFE) == 0xFC)
        return UniqueLocal;
    // 2001:db8::/32 (documentation) and 100::/64 (discard).
    if ((a[0] == 0x20 && a[1] == 0x01 && a[2] == 0x0D && a[3] == 0xB8) ||
        (a[0] == 0x01 && a[1] == 0x00 && AllZero(a + 2, 6)))
        return Reserved;
    return Public;
}

CAddressClass::Kind CAddressClass::Of(const sockaddr* address)
{
    if (!address)
        return Reserved;
    if (address->sa_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        return OfIPv4(ntohl(in.sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address, sizeof in6);
        unsigned char bytes[16];
        std::memcpy(bytes, &in6.sin6_addr, sizeof bytes);
        return OfIPv6(bytes);
    }
    return Reserved;
}

CAddressClass::Kind CAddressClass::OfText(const std::string& text)
{
    in_addr in{};
    if (inet_pton(AF_INET, text.c_str(), &in) == 1)
        return OfIPv4(ntohl(in.s_addr));
    unsigned char bytes[16];
    if (inet_pton(AF_INET6, text.c_str(), bytes) == 1)
        return OfIPv6(bytes);
    return Reserved;
}

const char* CAddressClass::Name(Kind kind)
{
    switch (kind) {
    case Public:
        return "public";
    case Unspecified:
        return "unspecified";
    case Loopback:
        return "loopback";
    case Private:
        return "private";
    case Shared:
        return "shared (carrier-grade NAT)";
    case LinkLocal:
        return "link-local";
    case UniqueLocal:
        return "unique-local";
    case Multicast:
        return "multicast";
    case Broadcast:
        return "broadcast";
    case Reserved:
        break;
    }
    return "reserved";
}

std::string CAddressClass::Text(const sockaddr* address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (address && address->sa_family == AF_INET) {
        sockaddr_in in{};
        std::memcpy(&in, address, sizeof in);
        inet_ntop(AF_INET, &in.sin_addr, text, sizeof text);
    } else if (address && address->sa_family == AF_INET6) {
        sockaddr_in6 in6{};
        std::memcpy(&in6, address, sizeof in6);
        inet_ntop(AF_INET6, &in6.sin6_addr, text, sizeof text);
    }
    return text;
}
