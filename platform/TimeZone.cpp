#include <platform/TimeZone.h>

#include <libical/ical.h>

#include <array>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <unistd.h>

namespace {

const char* const ZoneDirectory = "/usr/share/zoneinfo/";

// Days from 1 January 1970 to a date of the proleptic Gregorian calendar.
long long DaysFromCivil(long long year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const long long era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<long long>(dayOfEra) - 719468;
}

// The fields of a wall-clock time as if it were UTC.
std::optional<long long> NaiveSeconds(const CDateTime& time)
{
    CDateTime::Fields f{};
    if (!time.GetFields(f))
        return std::nullopt;
    return DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day)) * 86400 +
           f.hour * 3600 + f.minute * 60 + f.second;
}

CDateTime FromNaiveSeconds(long long seconds)
{
    const long long days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
    const long long rest = seconds - days * 86400;
    // 25569 days lie between the OLE epoch and 1970.
    const double ole = static_cast<double>(days + 25569);
    CDateTime day(ole);
    if (day.GetStatus() != CDateTime::valid)
        return day;
    return CDateTime(day.GetYear(), day.GetMonth(), day.GetDay(), static_cast<int>(rest / 3600),
                     static_cast<int>(rest % 3600 / 60), static_cast<int>(rest % 60));
}

// The zone database is a folder of files named by zone: a name from outside
// must never reach it as a path ("../../dev/stdin" would be opened and read).
// IANA names are words of letters, digits, "_", "-" and "+" between slashes.
bool IsZoneName(const std::string& name)
{
    if (name.empty() || name.size() > 64 || name.front() == '/' || name.back() == '/' ||
        name.find("//") != std::string::npos)
        return false;
    for (const char c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '/' && c != '_' && c != '-' && c != '+')
            return false;
    }
    return true;
}

// "Area/City" from a name behind any prefix of folders ("/vendor/x/Area/City"
// or ".../zoneinfo/Area/City"): the longest tail the database knows.
icaltimezone* FindInDatabase(const std::string& name, std::string& found)
{
    std::string tail = name;
    while (!tail.empty()) {
        if (IsZoneName(tail)) {
            if (tail == "UTC" || tail == "Etc/UTC" || tail == "Z") {
                found = "UTC";
                return icaltimezone_get_utc_timezone();
            }
            if (icaltimezone* zone = icaltimezone_get_builtin_timezone(tail.c_str())) {
                found = tail;
                return zone;
            }
        }
        const std::string::size_type slash = tail.find('/', 1);
        if (slash == std::string::npos)
            break;
        tail = tail.substr(slash + 1);
    }
    return nullptr;
}

std::string LinkTarget(const char* path)
{
    std::array<char, PATH_MAX> buffer{};
    const ssize_t length = readlink(path, buffer.data(), buffer.size() - 1);
    return length > 0 ? std::string(buffer.data(), static_cast<std::size_t>(length)) : std::string();
}

std::string FirstLine(const char* path)
{
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The name the process's zone goes by, as far as the system tells it.
std::string LocalZoneName()
{
    if (const char* tz = std::getenv("TZ")) {
        std::string name = tz;
        if (name.empty())
            return "UTC";
        if (name[0] == ':')
            name.erase(0, 1);
        if (name.rfind(ZoneDirectory, 0) == 0)
            name.erase(0, std::string(ZoneDirectory).size());
        return name;
    }
    const std::string target = LinkTarget("/etc/localtime");
    const std::string::size_type at = target.find("zoneinfo/");
    if (at != std::string::npos)
        return target.substr(at + 9);
    return FirstLine("/etc/timezone");
}

// The process's zone through the C library, for a zone without a name.
int LibcOffsetAt(long long instant)
{
    const std::time_t seconds = static_cast<std::time_t>(instant);
    std::tm fields{};
    if (!localtime_r(&seconds, &fields))
        return 0;
    return static_cast<int>(fields.tm_gmtoff);
}

} // namespace

CTimeZone CTimeZone::Utc()
{
    return CTimeZone(icaltimezone_get_utc_timezone(), "UTC");
}

std::optional<CTimeZone> CTimeZone::Named(const std::string& name)
{
    std::string found;
    icaltimezone* zone = name.empty() ? nullptr : FindInDatabase(name, found);
    if (!zone)
        return std::nullopt;
    return CTimeZone(zone, found);
}

CTimeZone CTimeZone::Local()
{
    const std::optional<CTimeZone> named = Named(LocalZoneName());
    return named ? *named : CTimeZone(nullptr, std::string());
}

bool CTimeZone::UseForProcess(const std::string& name)
{
    const std::optional<CTimeZone> zone = Named(name);
    if (!zone)
        return false;
    setenv("TZ", zone->Name().c_str(), 1);
    tzset();
    return true;
}

std::string CTimeZone::NoteElsewhere(const CDateTime& local, const std::string& zone)
{
    if (zone.empty() || local.GetStatus() != CDateTime::valid)
        return std::string();
    const std::optional<CTimeZone> there = Named(zone);
    if (!there)
        return zone;
    const CTimeZone here = Local();
    if (there->Name() == "UTC" || there->Name() == here.Name())
        return std::string();
    const CDateTime shown = here.ConvertTo(local, *there);
    char text[40];
    if (shown.GetYear() == local.GetYear() && shown.GetMonth() == local.GetMonth() &&
        shown.GetDay() == local.GetDay())
        std::snprintf(text, sizeof text, "%02d:%02d ", shown.GetHour(), shown.GetMinute());
    else
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d ", shown.GetYear(), shown.GetMonth(),
                      shown.GetDay(), shown.GetHour(), shown.GetMinute());
    return text + there->Name();
}

int CTimeZone::OffsetAt(long long instant) const
{
    if (!m_zone)
        return LibcOffsetAt(instant);
    icaltimetype utc =
        icaltime_from_timet_with_zone(static_cast<time_t>(instant), 0, icaltimezone_get_utc_timezone());
    int daylight = 0;
    return icaltimezone_get_utc_offset_of_utc_time(m_zone, &utc, &daylight);
}

// An offset is right for a wall-clock time when the instant it gives has
// that offset. Offsets a day either side bracket every change of one.
std::optional<long long> CTimeZone::ToInstant(const CDateTime& wallClock) const
{
    const std::optional<long long> naive = NaiveSeconds(wallClock);
    if (!naive)
        return std::nullopt;
    const int before = OffsetAt(*naive - 86400);
    const int after = OffsetAt(*naive + 86400);
    const bool beforeFits = OffsetAt(*naive - before) == before;
    const bool afterFits = OffsetAt(*naive - after) == after;
    if (beforeFits && afterFits)
        return std::min(*naive - before, *naive - after);
    if (afterFits)
        return *naive - after;
    // Repeated or skipped: the earlier reading, or the offset before the gap.
    return *naive - before;
}

CDateTime CTimeZone::FromInstant(long long instant) const
{
    return FromNaiveSeconds(instant + OffsetAt(instant));
}

CDateTime CTimeZone::ConvertTo(const CDateTime& wallClock, const CTimeZone& other) const
{
    const std::optional<long long> instant = ToInstant(wallClock);
    if (!instant)
        return wallClock;
    return other.FromInstant(*instant);
}
