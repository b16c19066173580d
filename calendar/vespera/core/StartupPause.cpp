#include <vespera/core/StartupPause.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <thread>

CStartupPause::CStartupPause() : m_limitMs(ParseLimit(std::getenv(LimitVariable))) {}

CStartupPause::CStartupPause(std::optional<unsigned> limitMs) : m_limitMs(limitMs) {}

std::optional<unsigned> CStartupPause::ParseLimit(const char* text)
{
    if (!text || !*text)
        return std::nullopt;
    unsigned long long value = 0;
    for (const char* c = text; *c; ++c) {
        if (*c < '0' || *c > '9')
            return std::nullopt;
        // Saturate instead of wrapping: a huge limit means no limit in effect.
        value = std::min<unsigned long long>(value * 10 + static_cast<unsigned>(*c - '0'), UINT_MAX);
    }
    return static_cast<unsigned>(value);
}

unsigned CStartupPause::Length(unsigned ms) const
{
    return m_limitMs ? std::min(ms, *m_limitMs) : ms;
}

void CStartupPause::Wait(unsigned ms) const
{
    const unsigned length = Length(ms);
    if (length > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(length));
}
