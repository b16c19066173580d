#pragma once

#include <string>

struct sockaddr;

// What kind of network an IP address belongs to, so that a fetch made for
// someone else can be kept to the public Internet: the machine itself, the
// local networks and the ranges no public host ever has.
class CAddressClass {
public:
    enum Kind {
        Public,
        Unspecified, // 0.0.0.0/8, ::
        Loopback,    // 127/8, ::1
        Private,     // 10/8, 172.16/12, 192.168/16
        Shared,      // 100.64/10, between a provider's customers
        LinkLocal,   // 169.254/16, fe80::/10
        UniqueLocal, // fc00::/7 (and the old site-local fec0::/10)
        Multicast,   // 224/4, ff00::/8
        Broadcast,   // 255.255.255.255
        Reserved,    // protocol assignments, documentation, benchmarking, 240/4
    };

    // The class of an IPv4 address in host byte order.
    static Kind OfIPv4(unsigned long address);
    // The class of an IPv6 address; one that carries an IPv4 address
    // (mapped, compatible, NAT64, 6to4) has the class of that address.
    static Kind OfIPv6(const unsigned char (&address)[16]);
    // The class of a socket address; Reserved for a family other than IPv4
    // and IPv6.
    static Kind Of(const sockaddr* address);
    // The class of a numeric address text ("10.0.0.1", "::1"); Reserved for
    // a text that is not one.
    static Kind OfText(const std::string& text);

    // "loopback", "private", ... for log lines.
    static const char* Name(Kind kind);
    // The address as text, without its port.
    static std::string Text(const sockaddr* address);
};
