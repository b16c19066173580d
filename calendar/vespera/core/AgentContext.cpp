#include <vespera/core/AgentContext.h>

#include <basekit/Utils.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <ctime>

CAgentContext::~CAgentContext() = default;

void CAgentContext::Logf(const char* fmt, ...)
{
    va_list args;
    va_start(args, fmt);
    LogLine(CUtils::vformat(fmt, args));
    va_end(args);
}

std::string CAgentContext::MakeNegotiationId()
{
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char clock[16];
    std::snprintf(clock, sizeof clock, "%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
    // The clock has whole seconds, so its millisecond field is always 0.
    return std::string(clock) + "0" + std::to_string(std::rand() & 0x7FFF);
}
