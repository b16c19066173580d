#pragma once

#include <platform/DateTime.h>

#include <optional>
#include <string>

struct _icaltimezone;

// A time zone of the system's zone database (Debian's tzdata, read through
// libical), or the process's own zone when it has no name there (a POSIX TZ
// rule such as "EST5EDT"). Wall-clock times are CDateTime values; instants
// are seconds since the epoch.
//
// A wall-clock time that a change of offset skips is read with the offset
// before the gap, one that it repeats as the first of the two, as iCalendar
// reads them.
class CTimeZone {
public:
    static CTimeZone Utc();
    // The zone of an IANA name ("Europe/Berlin"); a name behind a vendor's
    // prefix ("/softwarestudio.org/Olson_20011030_5/Europe/Berlin") reads
    // as the name it ends in. Nothing for a name the database lacks.
    static std::optional<CTimeZone> Named(const std::string& name);
    // The process's zone: TZ, else the target of /etc/localtime, else
    // /etc/timezone. Named when its name is found in the database.
    static CTimeZone Local();
    // Makes `name` the process's zone from now on; false, with nothing
    // changed, for a name the database lacks.
    static bool UseForProcess(const std::string& name);

    // How a time of the user's reads in the zone an event was written in:
    // "10:00 Europe/Berlin", with the date first when it falls on another
    // day there; the bare name of a zone the database lacks; empty for no
    // zone, UTC and the user's own zone, where nothing needs saying.
    static std::string NoteElsewhere(const CDateTime& local, const std::string& zone);

    // The IANA name; empty for an unnamed local zone.
    const std::string& Name() const { return m_name; }
    bool IsNamed() const { return !m_name.empty(); }

    // Seconds east of UTC at an instant.
    int OffsetAt(long long instant) const;
    // Nothing for a time that is not valid.
    std::optional<long long> ToInstant(const CDateTime& wallClock) const;
    CDateTime FromInstant(long long instant) const;
    // The same instant as the wall-clock time of `other`; invalid stays
    // invalid.
    CDateTime ConvertTo(const CDateTime& wallClock, const CTimeZone& other) const;

private:
    CTimeZone(_icaltimezone* zone, std::string name) : m_zone(zone), m_name(std::move(name)) {}

    _icaltimezone* m_zone;
    std::string m_name;
};
