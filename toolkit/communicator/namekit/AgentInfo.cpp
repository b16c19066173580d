#include <namekit/AgentInfo.h>

#include <climits>
#include <cstdlib>

namespace {

std::optional<std::string> copy_of(const char* text)
{
    if (!text)
        return std::nullopt;
    return std::string(text);
}

char* text_of(std::optional<std::string>& field)
{
    return field ? field->data() : nullptr;
}

} // namespace

CAgentInfo::CAgentInfo(const char* agent, const char* where, const char* port_value)
    : valid(agent && where && port_value ? 1 : 0), name(copy_of(agent)), host(copy_of(where)),
      port_text(copy_of(port_value)), port(port_from_text(port_value))
{
}

CAgentInfo::CAgentInfo(const char* agent, const char* where, int port_value)
    : valid(agent && where ? 1 : 0), name(copy_of(agent)), host(copy_of(where)),
      port_text(std::to_string(port_value)), port(port_value)
{
}

int CAgentInfo::port_from_text(const char* text)
{
    if (!text)
        return 0;
    // strtol saturates at LONG_MIN/LONG_MAX; the clamp below carries that
    // on to int instead of letting a huge port wrap into a plausible one.
    long value = std::strtol(text, nullptr, 10);
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

int CAgentInfo::SetAgentName(const char* agent)
{
    if (!valid || !agent)
        return 0;
    name = agent;
    return 1;
}

int CAgentInfo::SetAgentHost(const char* where)
{
    if (!valid || !where)
        return 0;
    host = where;
    return 1;
}

int CAgentInfo::SetAgentPort(const char* port_value)
{
    if (!valid || !port_value)
        return 0;
    port_text = port_value;
    port = port_from_text(port_value);
    return 1;
}

int CAgentInfo::SetAgentPort(int port_value)
{
    if (!valid)
        return 0;
    port = port_value;
    port_text = std::to_string(port_value);
    return 1;
}

char* CAgentInfo::GetAgentName()
{
    return text_of(name);
}

char* CAgentInfo::GetAgentHost()
{
    return text_of(host);
}

int CAgentInfo::GetAgentPort()
{
    return port;
}

char* CAgentInfo::GetAgentPortStr()
{
    return text_of(port_text);
}

int CAgentInfo::IsValid()
{
    return valid;
}

void CAgentInfo::InValidate()
{
    valid = 0;
}
