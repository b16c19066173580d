#pragma once

#include <platform/DateTime.h>

#include <libical/ical.h>

namespace outlook {
// Conversions between libical's times and the local wall-clock time the
// object model speaks. Only the outlook library's own sources use this: it
// exposes libical types.
class CICalTime {
public:
    // The local wall-clock time of `time`: dates at midnight, floating times
    // as they are, UTC and zoned times through the machine's time zone (TZ
    // honoured). Invalid for a null or unreadable time.
    static CDateTime ToLocal(const icaltimetype& time);
    // The same for a property's time whose TZID libical could not resolve
    // (a name behind a vendor's prefix, a VTIMEZONE missing): the zone
    // database's zone of that name, else the user's zone.
    static CDateTime ToLocal(const icaltimetype& time, const char* tzid);
    // The instant of a local wall-clock time as a UTC date-time; `minutes`
    // of real time later when given. Null for an invalid time.
    static icaltimetype UtcFromLocal(const CDateTime& time, long minutes = 0);
    // The TZID of times that repeat by the user's wall clock: the zone's
    // IANA name; empty when the user's zone has none (or is UTC), and such
    // times are written in UTC.
    static std::string LocalZoneId();
    // Whole minutes of real time between two times of the file.
    static long RealMinutesBetween(const icaltimetype& from, const icaltimetype& to);
    // A floating date-time with the same wall-clock fields.
    static icaltimetype FromLocal(const CDateTime& time);
    // The date of `time` as an iCalendar DATE.
    static icaltimetype DateFromLocal(const CDateTime& time);

    // The date at 00:00 and the time of day on 30 December 1899.
    static CDateTime DateOf(const CDateTime& time);
    static CDateTime TimeOfDay(const CDateTime& time);

    // Whole minutes from `from` to `to`, in wall-clock time.
    static long MinutesBetween(const CDateTime& from, const CDateTime& to);
};
} // namespace outlook
