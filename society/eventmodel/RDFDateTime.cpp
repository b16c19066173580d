#include <eventmodel/RDFDateTime.h>

#include <eventmodel/NodeReader.h>

#include <graphstore/ZonedTime.h>

#include <graphkit/RDFNode.h>
#include <platform/DateTimeSpan.h>
#include <platform/TimeZone.h>

#include <cctype>
#include <ctime>
#include <regex>

namespace {

CDateTime InvalidTime()
{
    CDateTime time;
    time.SetStatus(CDateTime::invalid);
    return time;
}

// The seconds since 1970 of a UTC time given as broken-down fields.
long long InstantOf(int year, int month, int day, int hour, int minute, int second, int offsetMinutes)
{
    std::tm utc{};
    utc.tm_year = year - 1900;
    utc.tm_mon = month - 1;
    utc.tm_mday = day;
    utc.tm_hour = hour;
    utc.tm_min = minute;
    utc.tm_sec = second;
    return static_cast<long long>(timegm(&utc)) - static_cast<long long>(offsetMinutes) * 60;
}

CDateTime LocalAt(long long seconds)
{
    const std::time_t instant = static_cast<std::time_t>(seconds);
    std::tm local{};
    if (!localtime_r(&instant, &local))
        return InvalidTime();
    return CDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                     local.tm_sec);
}

int Number(const std::string& text)
{
    return text.empty() ? 0 : std::stoi(text);
}

} // namespace

CRDFDateTime::CRDFDateTime() : m_value(InvalidTime()) {}

bool CRDFDateTime::set(CRDFNode* node, CRDFMFCGraphStore*)
{
    m_text = nodereader::DateText(node);
    // A zone named beside a nested value says where its wall clock hangs.
    if (CRDFNode* zone = node && !node->IsLiteral() ? nodereader::CalendarValue(node, "tzid") : nullptr;
        zone && zone->IsLiteral())
        m_text = zonedtime::ToUtcText(m_text, zone->Value());
    m_value = Parse(m_text, m_instant);
    static const std::regex named(R"(.*\[([^\]]{1,64})\]\s*)");
    std::smatch zone;
    m_zone = std::regex_match(m_text, zone, named) ? zone[1].str() : std::string();
    static const std::regex dateOnly(R"(\s*\d{4}-?\d{2}-?\d{2}\s*)");
    m_dateOnly = std::regex_match(m_text, dateOnly);
    return IsValid();
}

CDateTime CRDFDateTime::Parse(const std::string& text)
{
    std::optional<long long> instant;
    return Parse(text, instant);
}

CDateTime CRDFDateTime::Parse(const std::string& text, std::optional<long long>& instant)
{
    instant.reset();
    // Extended or basic form, with an optional time and zone.
    static const std::regex form(
        R"(\s*(\d{4})-?(\d{2})-?(\d{2})(?:[T ](\d{2}):?(\d{2})(?::?(\d{2})(?:\.\d+)?)?)?)"
        R"(\s*(Z|[+-]\d{2}:?\d{2})?(?:\[([^\]]{1,64})\])?\s*)");
    std::smatch match;
    if (!std::regex_match(text, match, form))
        return InvalidTime();
    const int year = Number(match[1]);
    const int month = Number(match[2]);
    const int day = Number(match[3]);
    const int hour = Number(match[4]);
    const int minute = Number(match[5]);
    const int second = Number(match[6]);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60)
        return InvalidTime();
    const std::string zone = match[7];
    if (zone.empty())
        return CDateTime(year, month, day, hour, minute, second);
    int offset = 0;
    if (zone != "Z") {
        const std::string digits = zone.substr(1);
        const int hours = Number(digits.substr(0, 2));
        const int minutes = Number(digits.substr(digits.size() - 2));
        offset = (zone[0] == '-' ? -1 : 1) * (hours * 60 + minutes);
    }
    const CDateTime local = LocalAt(InstantOf(year, month, day, hour, minute, second, offset));
    if (local.GetStatus() == CDateTime::valid)
        instant = InstantOf(year, month, day, hour, minute, second, offset);
    return local;
}

CRDFDateTime CRDFDateTime::After(long minutes) const
{
    CRDFDateTime later = *this;
    // A time worked out, not read: no text was given for it.
    later.m_text.clear();
    if (m_instant && !m_dateOnly) {
        later.m_instant = *m_instant + static_cast<long long>(minutes) * 60;
        later.m_value = LocalAt(*later.m_instant);
    } else {
        later.m_value = m_value + CDateTimeSpan(minutes / 1440, 0, static_cast<int>(minutes % 1440), 0);
    }
    return later;
}

std::string CRDFDateTime::ZoneNote() const
{
    return IsValid() && !m_dateOnly ? CTimeZone::NoteElsewhere(m_value, m_zone) : std::string();
}

std::string CRDFDateTime::getString() const
{
    if (!IsValid())
        return m_text;
    static const char* const Days[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                       "Thursday", "Friday", "Saturday"};
    static const char* const Months[] = {"January",   "February", "March",    "April",
                                         "May",       "June",     "July",     "August",
                                         "September", "October",  "November", "December"};
    const int hour = m_value.GetHour();
    char text[96];
    std::snprintf(text, sizeof text, "%s, %s %d, %d %d:%02d:%02d %s", Days[m_value.GetDayOfWeek() - 1],
                  Months[m_value.GetMonth() - 1], m_value.GetDay(), m_value.GetYear(),
                  hour % 12 == 0 ? 12 : hour % 12, m_value.GetMinute(), m_value.GetSecond(),
                  hour < 12 ? "AM" : "PM");
    return text;
}
