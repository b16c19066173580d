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
