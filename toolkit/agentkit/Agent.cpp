#include <agentkit/Agent.h>

namespace {

void assign(std::optional<std::string>& field, const char* value)
{
    if (value)
        field = value;
    else
        field.reset();
}

char* text_of(std::optional<std::string>& field)
{
    return field ? field->data() : nullptr;
}

} // namespace

CAgent::CAgent() = default;

CAgent::CAgent(const char* name) : CListElement(name) {}

CAgent::~CAgent() = default;

void CAgent::set_url(const char* value)
{
    assign(url, value);
}

char* CAgent::get_url()
{
    return text_of(url);
}

void CAgent::set_host(const char* value)
{
    host = value ? value : DEFAULT_HOST;
}

char* CAgent::get_host()
{
    return host.data();
}

void CAgent::set_date(const CDateTime& value)
{
    date = value;
}

CDateTime CAgent::get_date() const
{
    return date;
}

void CAgent::set_port(int value)
{
    port = value;
}

int CAgent::get_port()
{
    return port;
}

void CAgent::set_protocol(int value)
{
    protocol = value;
}

int CAgent::get_protocol()
{
    return protocol;
}

void CAgent::set_type(const char* value)
{
    assign(type, value);
}

char* CAgent::get_type()
{
    return text_of(type);
}

CNameSpace* CAgent::get_base_type()
{
    return &base_type;
}
