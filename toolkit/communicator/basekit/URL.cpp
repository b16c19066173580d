#include <basekit/URL.h>

#include <cctype>
#include <utility>
#include <vector>

namespace {

char* text_of(std::optional<std::string>& part)
{
    return part ? part->data() : nullptr;
}

std::optional<std::string> optional_text(const char* text)
{
    if (!text)
        return std::nullopt;
    return std::string(text);
}

constexpr long kMaxPort = 65535;

// atoi's reading of a number, without its overflow: digits beyond any
// valid port stop mattering once the value is out of range.
long read_number(const char* text)
{
    while (std::isspace(static_cast<unsigned char>(*text)))
        ++text;
    bool negative = false;
    if (*text == '+' || *text == '-') {
        negative = (*text == '-');
        ++text;
    }
    long value = 0;
    while (std::isdigit(static_cast<unsigned char>(*text))) {
        if (value <= kMaxPort)
            value = value * 10 + (*text - '0');
        ++text;
    }
    return negative ? -value : value;
}

int port_from_text(const char* text)
{
    long value = read_number(text);
    return (value < 0 || value > kMaxPort) ? 0 : static_cast<int>(value);
}

} // namespace

CURL::CURL() : proto("HTTP") {}

CURL::CURL(const char* url) : CURL()
{
    parse_url(url);
}

CURL::~CURL() = default;

void CURL::clear_parts()
{
    proto.reset();
    subproto.reset();
    host.reset();
    webpage.reset();
    cgi.reset();
    delete_list();
}

int CURL::parse_url(const char* url)
{
    // The text may belong to this object (its name or a part); copy it
    // before anything is cleared.
    std::string copy = url ? url : "";
    clear_parts();
    set_name(url ? copy.c_str() : nullptr);
    size_t scheme_end = copy.find("://");
    if (scheme_end == std::string::npos)
        return 0;
    set_proto(copy.substr(0, scheme_end).c_str());
    std::string rest = copy.substr(scheme_end + 3);
    // Whichever comes first ends the host: a query may well contain a '/'.
    size_t cut = rest.find_first_of("/?");
    set_host(rest.substr(0, cut).c_str());
    if (cut != std::string::npos && rest[cut] == '/') {
        parse_after_slash(rest.substr(cut + 1));
    } else if (cut != std::string::npos) {
        set_query(rest.substr(cut + 1));
    }
    return host ? 1 : 0;
}

void CURL::parse_after_slash(const std::string& rest)
{
    size_t question = rest.find('?');
    set_cgi(rest.substr(0, question).c_str());
    if (question != std::string::npos) {
        set_query(rest.substr(question + 1));
    } else {
        webpage = rest;
    }
}

void CURL::set_query(const std::string& query)
{
    webpage = query;
    std::vector<char> pieces(query.begin(), query.end());
    pieces.push_back('\0');
    tokenize(pieces.data(), '&');
}

void CURL::set_proto(const char* text)
{
    std::optional<std::string> value = optional_text(text);
    subproto.reset();
    proto = std::move(value);
    if (!proto)
        return;
    size_t colon = proto->find(':');
    if (colon == std::string::npos)
        return;
    subproto = proto->substr(colon + 1);
    proto->erase(colon);
}

char* CURL::get_proto()
{
    return text_of(proto);
}

char* CURL::get_subproto()
{
    return text_of(subproto);
}

void CURL::set_host(const char* text)
{
    std::optional<std::string> given = optional_text(text);
    host.reset();
    if (!given)
        return;
    std::string value = std::move(*given);
    size_t colon = value.find(':');
    if (colon != std::string::npos) {
        port = port_from_text(value.c_str() + colon + 1);
        value.erase(colon);
    }
    if (!value.empty())
        host = value;
}

char* CURL::get_host()
{
    return text_of(host);
}

int CURL::get_port()
{
    return port;
}

void CURL::set_port(int value)
{
    port = value;
}

char* CURL::get_webpage()
{
    return text_of(webpage);
}

void CURL::set_webpage(const char* page)
{
    webpage = optional_text(page);
}

void CURL::set_cgi(const char* text)
{
    cgi = optional_text(text);
    if (cgi && (cgi->empty() || (*cgi)[0] != '/'))
        cgi->insert(0, 1, '/');
}

char* CURL::get_cgi()
{
    return text_of(cgi);
}

char* CURL::generate_url()
{
    return nullptr;
}
