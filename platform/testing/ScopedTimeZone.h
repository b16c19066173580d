#pragma once

// The process's zone (TZ) set for the life of the object, then put back as
// it was, set or not.

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace testsupport {

class CScopedTimeZone {
public:
    explicit CScopedTimeZone(const char* zone)
    {
        if (const char* saved = std::getenv("TZ"))
            m_saved = saved;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~CScopedTimeZone()
    {
        if (m_saved)
            setenv("TZ", m_saved->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }
    CScopedTimeZone(const CScopedTimeZone&) = delete;
    CScopedTimeZone& operator=(const CScopedTimeZone&) = delete;

private:
    std::optional<std::string> m_saved;
};

} // namespace testsupport
