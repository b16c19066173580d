#include <platform/HostAddress.h>

#include <platform/SocketError.h>

#include <arpa/inet.h>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const char kFallbackAddress[] = "127.0.0.1";
const char kOverrideVariable[] = "ORVANTE_HOST_ADDRESS";

// Host names longer than this cannot be valid DNS names anyway.
constexpr size_t kMaxHostName = 253;

std::string FormatIPv4(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    if (!inet_ntop(AF_INET, &address, text, sizeof text))
        return std::string();
    return text;
}

// A dotted quad as inet_pton reads it; also normalises the text.
bool ParseDottedIPv4(const std::string& text, std::string& address)
{
    in_addr parsed{};
    if (inet_pton(AF_INET, text.c_str(), &parsed) != 1)
        return false;
    address = FormatIPv4(parsed);
    return !address.empty();
}

// Dot-separated labels of letters, digits, '-' and '_', none empty and none
// beginning or ending with '-': anything else is not a host name and is
// refused before it reaches the resolver (so placeholders such as
// "-unknown-" never turn into a name lookup).
bool IsPlausibleLabel(const std::string& label)
{
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-')
        return false;
    for (unsigned char c : label) {
        if (!std::isalnum(c) && c != '-' && c != '_')
            return false;
    }
    return true;
}

bool IsPlausibleHostName(const std::string& name)
{
    if (name.empty() || name.size() > kMaxHostName)
        return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = name.find('.', start);
        if (!IsPlausibleLabel(name.substr(start, dot - start)))
            return false;
        if (dot == std::string::npos)
            return true;
        start = dot + 1;
    }
}

struct AddrInfoFree {
    void operator()(addrinfo* list) const { freeaddrinfo(list); }
};

int ResolveWithResolver(const std::string& host, std::string& address)
{
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* raw = nullptr;
    int rc = getaddrinfo(host.c_str(), nullptr, &hints, &raw);
    std::unique_ptr<addrinfo, AddrInfoFree> list(raw);
    if (rc != 0)
        return WsaErrorFromResolver(rc);
    for (const addrinfo* entry = list.get(); entry; entry = entry->ai_next) {
        if (entry->ai_family != AF_INET || !entry->ai_addr)
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
        address = FormatIPv4(in->sin_addr);
        if (!address.empty())
            return 0;
    }
    return WSANO_DATA;
}

bool AddressFromEnvironment(std::string& address)
{
    const char* value = std::getenv(kOverrideVariable);
    return value && ParseDottedIPv4(value, address);
}

std::string OwnHostName()
{
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return std::string();
    return name;
}

} // namespace

int ResolveIPv4(const std::string& host, std::string& address)
{
    if (ParseDottedIPv4(host, address))
        return 0;
    if (!IsPlausibleHostName(host))
        return WSAHOST_NOT_FOUND;
    return ResolveWithResolver(host, address);
}

std::string GetHostAddressFor(const std::string& host_name)
{
    std::string address;
    if (AddressFromEnvironment(address))
        return address;
    if (ResolveIPv4(host_name, address) == 0)
        return address;
    return kFallbackAddress;
}

std::string GetHostAddress()
{
    return GetHostAddressFor(OwnHostName());
}
