#pragma once

// What a benchmark reads of the processes it starts, from /proc: CPU time,
// memory held and its peak, and a generated calendar for them to hold.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/types.h>
#include <unistd.h>

namespace benchsupport {

// A field of /proc/PID/status in KiB ("VmRSS", "VmHWM"); 0 when unknown.
inline long StatusField(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(field + ":", 0) == 0)
            return std::atol(line.c_str() + field.size() + 1);
    return 0;
}

// CPU seconds the process has run (to the nanosecond, from the scheduler's
// own count; to the clock tick from its user and system times where that
// is missing); negative when unknown.
inline double CpuSeconds(pid_t pid)
{
    std::ifstream schedstat("/proc/" + std::to_string(pid) + "/schedstat");
    unsigned long long nanoseconds = 0;
    if (schedstat >> nanoseconds)
        return static_cast<double>(nanoseconds) / 1e9;
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    // The command name may hold blanks; the fields are counted after it.
    const std::string::size_type close = text.rfind(')');
    if (close == std::string::npos)
        return -1;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    unsigned long long ticks[2] = {};
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15)
            ticks[i - 14] = std::strtoull(field.c_str(), nullptr, 10);
    }
    return static_cast<double>(ticks[0] + ticks[1]) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

// Starts the peak (VmHWM) again from the memory held now; false when the
// kernel does not allow it.
inline bool ResetPeak(pid_t pid)
{
    std::ofstream clear("/proc/" + std::to_string(pid) + "/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

inline std::string TwoDigits(int value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

// An iCalendar text of `events` events spread over 2027 from 4 January, on
// working hours; every tenth recurs weekly, every third has a reminder.
std::string GenerateCalendar(int events);
// The calendar of GenerateCalendar's event number `event` alone, as a
// calendar server keeps each event.
std::string GenerateEventCalendar(int event);

} // namespace benchsupport
