#pragma once

#include <libical/ical.h>

#include <string>

namespace outlook {
// The VTIMEZONE components a calendar needs for the TZIDs its new events
// name. A TZID without its VTIMEZONE is read by some programs as floating
// time and by others not at all, so an event written with a named zone
// brings the zone's definition, from the system's zone database, along.
class CICalZones {
public:
    // A new VTIMEZONE for the database's zone `tzid`, under that very TZID
    // (libical names the zones it builds with a prefix of its own); null for
    // a name the database lacks. The caller owns it.
    static icalcomponent* NewDefinition(const std::string& tzid);
    // The TZID of the event's start; empty when it has none.
    static std::string StartZone(icalcomponent* event);
    // Adds to `calendar` the VTIMEZONE of the event's start zone when the
    // calendar has none of that TZID.
    static void ProvideFor(icalcomponent* calendar, icalcomponent* event);
    // A new VTIMEZONE that `calendarText` lacks for the event's start zone
    // (the caller owns it); null when it needs none or already has it.
    static icalcomponent* MissingDefinition(const std::string& calendarText, icalcomponent* event);
};
} // namespace outlook
