#include <ansd/ServerOptions.h>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace {

constexpr std::uint64_t kMaxPort = 65535;
// Ten years: longer would only serve to overflow someone's arithmetic.
constexpr std::uint64_t kMaxTtl = 10ull * 366 * 24 * 3600;
constexpr std::uint64_t kMaxIdle = 24 * 3600;
constexpr std::uint64_t kMaxClients = 1000000;
constexpr std::uint64_t kMaxNames = 10000000;

const char kUsage[] = "Usage: ansd [OPTION]...\n"
                      "The Agent Name Server: agents register the address where they listen under\n"
                      "a name and look up each other's addresses, over a TCP line protocol.\n"
                      "\n"
                      "  --port N           TCP port to listen on (default 6677; 0: any free port)\n"
                      "  --bind ADDR        IPv4 address to listen on (default 127.0.0.1)\n"
                      "  --ttl SECONDS      a registration not refreshed for this long expires\n"
                      "                     (default 1800)\n"
                      "  --state FILE       keep the registrations in FILE across restarts\n"
                      "  --max-clients N    connections open at once; more are closed at once\n"
                      "                     (default 1024)\n"
                      "  --max-names N      registrations kept at once (default 65536)\n"
                      "  --idle SECONDS     close a connection silent for this long (default 30)\n"
                      "  --port-file FILE   write the listening port to FILE once listening\n"
                      "  --announce NAME    make the server known on the local network under NAME\n"
                      "                     (service discovery by multicast), so that agents told\n"
                      "                     of no name server find this one\n"
                      "  --help             print this help and exit\n"
                      "\n"
                      "Once listening, the first line on standard output is\n"
                      "  ansd listening on ADDR:PORT\n"
                      "and nothing else is written there; log lines go to standard error.\n"
                      "\n"
                      "Requests, one per line ended by \\n or \\r\\n, several per connection allowed:\n"
                      "  register NAME tcp://HOST:PORT   unregister NAME   lookup NAME\n"
                      "  list all                        list GLOB\n"
                      "Every reply ends with \\r\\n and the byte 0x04.\n"
                      "\n"
                      "Exit status: 0 after SIGINT or SIGTERM, 1 when it cannot start, 2 for bad\n"
                      "options.\n";

} // namespace

CServerOptions::Outcome CServerOptions::Parse(int argc, const char* const* argv, std::string& error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h")
            return Outcome::Help;
        const std::size_t equals = argument.find('=');
        const std::string option = argument.substr(0, equals);
        if (!TakesValue(option)) {
            error = "unknown option '" + argument + "'";
            return Outcome::Error;
        }
        std::string value;
        if (equals != std::string::npos) {
            value = argument.substr(equals + 1);
        } else if (i + 1 < argc) {
            value = argv[++i];
        } else {
            error = "option '" + option + "' needs a value";
            return Outcome::Error;
        }
        if (!Apply(option, value, error))
            return Outcome::Error;
    }
    return Outcome::Run;
}

const char* CServerOptions::Usage()
{
    return kUsage;
}

bool CServerOptions::TakesValue(const std::string& option)
{
    return option == "--port" || option == "--bind" || option == "--ttl" || option == "--state" ||
           option == "--max-clients" || option == "--max-names" || option == "--idle" ||
           option == "--port-file" || option == "--announce";
}

bool CServerOptions::Apply(const std::string& option, const std::string& value, std::string& error)
{
    std::uint64_t number = 0;
    if (option == "--bind") {
        if (!ParseAddress(value, error))
            return false;
        bind = value;
    } else if (option == "--state" || option == "--port-file") {
        if (value.empty()) {
            error = "option '" + option + "' needs a file name";
            return false;
        }
        (option == "--state" ? statePath : portFile) = value;
    } else if (option == "--announce") {
        if (!ParseName(value, error))
            return false;
        announceName = value;
    } else if (option == "--port") {
        if (!ParseNumber(option, value, 0, kMaxPort, number, error))
            return false;
        port = static_cast<unsigned>(number);
    } else if (option == "--ttl") {
        if (!ParseNumber(option, value, 1, kMaxTtl, number, error))
            return false;
        ttlSeconds = static_cast<std::int64_t>(number);
    } else if (option == "--idle") {
        if (!ParseNumber(option, value, 1, kMaxIdle, number, error))
            return false;
        idleSeconds = static_cast<unsigned>(number);
    } else if (option == "--max-clients") {
        if (!ParseNumber(option, value, 1, kMaxClients, number, error))
            return false;
        maxClients = static_cast<std::size_t>(number);
    } else {
        if (!ParseNumber(option, value, 1, kMaxNames, number, error))
            return false;
        maxNames = static_cast<std::size_t>(number);
    }
    return true;
}

// The name goes into datagrams' header lines, so it is one printable word.
bool CServerOptions::ParseName(const std::string& text, std::string& error)
{
    constexpr std::size_t kMaxName = 128;
    bool valid = !text.empty() && text.size() <= kMaxName;
    for (const unsigned char c : text)
        valid = valid && c > ' ' && c < 0x7f;
    if (!valid)
        error = "option '--announce' takes a name of 1 to 128 printable characters without spaces, not '" +
                text + "'";
    return valid;
}

bool CServerOptions::ParseNumber(const std::string& option, const std::string& text, std::uint64_t low,
                                 std::uint64_t high, std::uint64_t& value, std::string& error)
{
    std::uint64_t result = 0;
    bool valid = !text.empty() && text.size() <= 20;
    for (const char c : text) {
        if (c < '0' || c > '9' || result > high) {
            valid = false;
            break;
        }
        result = result * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (!valid || result < low || result > high) {
        error = "option '" + option + "' takes a whole number from " + std::to_string(low) + " to " +
                std::to_string(high) + ", not '" + text + "'";
        return false;
    }
    value = result;
    return true;
}

bool CServerOptions::ParseAddress(const std::string& text, std::string& error)
{
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) == 1)
        return true;
    error = "option '--bind' takes an IPv4 address such as 127.0.0.1, not '" + text + "'";
    return false;
}
