#include <wirekit/SSDPParser.h>

#include <cstring>

namespace {

bool Is(const char* text, const char* wanted)
{
    return text && std::strcmp(text, wanted) == 0;
}

std::string Endpoint(const std::string& host, int port)
{
    return host + ":" + std::to_string(port);
}

// Readers that know nothing of keys skip the header.
std::string KeyHeader(const std::string& key)
{
    return key.empty() ? std::string() : "Agent-Key: " + key + "\r\n";
}

} // namespace

CSSDPParser::CSSDPParser() = default;

const char* CSSDPParser::find_M_SEARCH()
{
    return Is(get_http_method(), "M-SEARCH") ? get_http_target() : nullptr;
}

const char* CSSDPParser::find_NOTIFY()
{
    return Is(get_http_method(), "NOTIFY") ? get_http_target() : nullptr;
}

const char* CSSDPParser::find_HTTP()
{
    return get_http_status() ? get_http_version() : nullptr;
}

std::string CSSDPParser::Announce(const std::string& group, int groupPort, const std::string& type,
                                  const std::string& usn, const std::string& host, int port,
                                  const std::string& key)
{
    return "NOTIFY * HTTP/1.1\r\nHost: " + Endpoint(group, groupPort) + "\r\nNT: " + type +
           "\r\nNTS: ssdp:alive\r\nUSN: " + usn + "\r\nAL: <" + Endpoint(host, port) +
           ">\r\nCache-Control: no-cache\r\n" + KeyHeader(key) + "\r\n";
}

std::string CSSDPParser::Withdraw(const std::string& group, int groupPort, const std::string& type,
                                  const std::string& usn, const std::string& host, int port)
{
    return "NOTIFY * HTTP/1.1\r\nHost: " + Endpoint(group, groupPort) + "\r\nNT: " + type +
           "\r\nNTS: ssdp:byebye\r\nUSN: " + usn + "\r\nAL: <" + Endpoint(host, port) +
           ">\r\nCache-Control: ???\r\n\r\n";
}

std::string CSSDPParser::Search(const std::string& searcher, const std::string& host, int port,
                                const std::string& searched)
{
    return "M-SEARCH * HTTP/1.1\r\nS: " + searcher + "\r\nHost: " + Endpoint(host, port) +
           "\r\nMan: ssdp:discover\r\nST: " + searched + "\r\nMX: ???\r\n\r\n";
}

std::string CSSDPParser::Answer(const std::string& searcher, const std::string& usn, const std::string& type,
                                const std::string& host, int port, const std::string& key)
{
    return "HTTP/1.1 200 OK\r\nS: " + searcher + "\r\nExt: ???\r\nCache-Control: no-cache\r\nUSN: " + usn +
           "\r\nNT: " + type + "\r\nAL: <" + Endpoint(host, port) + ">\r\n" + KeyHeader(key) + "\r\n";
}
