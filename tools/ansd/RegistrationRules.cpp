#include <ansd/RegistrationRules.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <string>

namespace {

constexpr std::string_view kScheme = "tcp://";
constexpr std::size_t kMaxPortDigits = 5;
constexpr unsigned long kMaxPort = 65535;

// The words clients search a lookup reply for; any of them makes the reply
// a failure, so an address containing one could never be looked up.
constexpr std::string_view kFailureWords[] = {"fail", "sorry", "error", "success"};

} // namespace

bool CRegistrationRules::IsValidName(std::string_view name)
{
    if (name.empty() || name.size() > kMaxNameLength)
        return false;
    if (name.substr(0, 4) == "null")
        return false;
    for (const char c : name) {
        if (c <= ' ' || c > '~' || c == ',')
            return false;
    }
    return true;
}

bool CRegistrationRules::IsValidUrl(std::string_view url)
{
    if (url.substr(0, kScheme.size()) != kScheme)
        return false;
    const std::string_view rest = url.substr(kScheme.size());
    const std::size_t colon = rest.find(':');
    if (colon == std::string_view::npos)
        return false;
    return IsValidHost(rest.substr(0, colon)) && IsValidPort(rest.substr(colon + 1)) && !HasFailureWord(url);
}

bool CRegistrationRules::IsValidOwner(std::string_view owner)
{
    if (owner.empty() || owner.size() >= INET_ADDRSTRLEN)
        return false;
    const std::string text(owner);
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

bool CRegistrationRules::IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-' || c == '_';
}

bool CRegistrationRules::IsValidHost(std::string_view host)
{
    if (host.empty() || host.size() > kMaxHostLength)
        return false;
    for (const char c : host) {
        if (!IsHostCharacter(c))
            return false;
    }
    return true;
}

bool CRegistrationRules::IsValidPort(std::string_view port)
{
    if (port.empty() || port.size() > kMaxPortDigits || port[0] == '0')
        return false;
    unsigned long value = 0;
    for (const char c : port) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(c - '0');
    }
    return value <= kMaxPort;
}

bool CRegistrationRules::HasFailureWord(std::string_view text)
{
    for (const std::string_view word : kFailureWords) {
        if (text.find(word) != std::string_view::npos)
            return true;
    }
    return false;
}
