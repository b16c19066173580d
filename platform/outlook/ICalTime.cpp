#include <outlook/ICalTime.h>

#include <platform/TimeZone.h>

#include <ctime>

namespace outlook {
namespace {
CDateTime FromFields(int year, int month, int day, int hour, int minute, int second)
{
    CDateTime result(year, month, day, hour, minute, second);
    return result;
}

CDateTime InvalidTime()
{
    CDateTime result;
    result.SetStatus(CDateTime::invalid);
    return result;
}

// UTC and zoned times become an instant first, then local fields.
CDateTime InstantToLocal(const icaltimetype& time)
{
    const icaltimezone* zone = icaltime_is_utc(time) ? icaltimezone_get_utc_timezone() : time.zone;
    const time_t instant = icaltime_as_timet_with_zone(time, zone);
    std::tm fields{};
    if (!localtime_r(&instant, &fields))
        return InvalidTime();
    return FromFields(fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour, fields.tm_min,
                      fields.tm_sec);
}
} // namespace

CDateTime CICalTime::ToLocal(const icaltimetype& time)
{
    if (icaltime_is_null_time(time) || !icaltime_is_valid_time(time))
        return InvalidTime();
    if (time.is_date)
        return FromFields(time.year, time.month, time.day, 0, 0, 0);
    if (icaltime_is_utc(time) || time.zone)
        return InstantToLocal(time);
    return FromFields(time.year, time.month, time.day, time.hour, time.minute, time.second);
}

CDateTime CICalTime::ToLocal(const icaltimetype& time, const char* tzid)
{
    if (!tzid || time.zone || time.is_date || icaltime_is_utc(time))
        return ToLocal(time);
    const CDateTime written = ToLocal(time);
    const std::optional<CTimeZone> zone = CTimeZone::Named(tzid);
    return zone ? zone->ConvertTo(written, CTimeZone::Local()) : written;
}

icaltimetype CICalTime::UtcFromLocal(const CDateTime& time, long minutes)
{
    const std::optional<long long> instant = CTimeZone::Local().ToInstant(time);
    if (time.GetStatus() != CDateTime::valid || !instant)
        return icaltime_null_time();
    return icaltime_from_timet_with_zone(static_cast<time_t>(*instant + minutes * 60), 0,
                                         icaltimezone_get_utc_timezone());
}

std::string CICalTime::LocalZoneId()
{
    const CTimeZone local = CTimeZone::Local();
    return local.IsNamed() && local.Name() != "UTC" ? local.Name() : std::string();
}

long CICalTime::RealMinutesBetween(const icaltimetype& from, const icaltimetype& to)
{
    const icaltimezone* utc = icaltimezone_get_utc_timezone();
    const time_t start = icaltime_as_timet_with_zone(from, icaltime_is_utc(from) ? utc : from.zone);
    const time_t end = icaltime_as_timet_with_zone(to, icaltime_is_utc(to) ? utc : to.zone);
    return static_cast<long>((end - start) / 60);
}

icaltimetype CICalTime::FromLocal(const CDateTime& time)
{
    icaltimetype result = icaltime_null_time();
    if (time.GetStatus() != CDateTime::valid)
        return result;
    result.year = time.GetYear();
    result.month = time.GetMonth();
    result.day = time.GetDay();
    result.hour = time.GetHour();
    result.minute = time.GetMinute();
    result.second = time.GetSecond();
    result.is_date = 0;
    result.zone = nullptr;
    return result;
}

icaltimetype CICalTime::DateFromLocal(const CDateTime& time)
{
    icaltimetype result = FromLocal(time);
    if (time.GetStatus() != CDateTime::valid)
        return result;
    result.hour = result.minute = result.second = 0;
    result.is_date = 1;
    return result;
}

CDateTime CICalTime::DateOf(const CDateTime& time)
{
    if (time.GetStatus() != CDateTime::valid)
        return InvalidTime();
    return FromFields(time.GetYear(), time.GetMonth(), time.GetDay(), 0, 0, 0);
}

CDateTime CICalTime::TimeOfDay(const CDateTime& time)
{
    if (time.GetStatus() != CDateTime::valid)
        return InvalidTime();
    return FromFields(1899, 12, 30, time.GetHour(), time.GetMinute(), time.GetSecond());
}

long CICalTime::MinutesBetween(const CDateTime& from, const CDateTime& to)
{
    if (from.GetStatus() != CDateTime::valid || to.GetStatus() != CDateTime::valid)
        return 0;
    return (to - from).GetWholeMinutes();
}
} // namespace outlook
