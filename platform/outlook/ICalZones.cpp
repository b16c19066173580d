#include <outlook/ICalZones.h>

namespace outlook {
namespace {
bool Defines(icalcomponent* calendar, const std::string& tzid)
{
    for (icalcomponent* zone = icalcomponent_get_first_component(calendar, ICAL_VTIMEZONE_COMPONENT); zone;
         zone = icalcomponent_get_next_component(calendar, ICAL_VTIMEZONE_COMPONENT)) {
        icalproperty* id = icalcomponent_get_first_property(zone, ICAL_TZID_PROPERTY);
        const char* value = id ? icalproperty_get_tzid(id) : nullptr;
        if (value && tzid == value)
            return true;
    }
    return false;
}

// A TZID line opens a line only inside a VTIMEZONE: elsewhere TZID is a
// parameter after a property's name.
bool TextDefines(const std::string& text, const std::string& tzid)
{
    const std::string line = "\nTZID:" + tzid;
    for (std::size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) {
        const std::size_t after = at + line.size();
        if (after == text.size() || text[after] == '\r' || text[after] == '\n')
            return true;
    }
    return false;
}
} // namespace

icalcomponent* CICalZones::NewDefinition(const std::string& tzid)
{
    icaltimezone* zone = tzid.empty() ? nullptr : icaltimezone_get_builtin_timezone(tzid.c_str());
    icalcomponent* definition = zone ? icaltimezone_get_component(zone) : nullptr;
    if (!definition)
        return nullptr;
    icalcomponent* copy = icalcomponent_new_clone(definition);
    icalproperty* id = icalcomponent_get_first_property(copy, ICAL_TZID_PROPERTY);
    if (!id) {
        id = icalproperty_new_tzid(tzid.c_str());
        icalcomponent_add_property(copy, id);
    }
    icalproperty_set_tzid(id, tzid.c_str());
    return copy;
}

std::string CICalZones::StartZone(icalcomponent* event)
{
    icalproperty* start = icalcomponent_get_first_property(event, ICAL_DTSTART_PROPERTY);
    icalparameter* tzid = start ? icalproperty_get_first_parameter(start, ICAL_TZID_PARAMETER) : nullptr;
    const char* name = tzid ? icalparameter_get_tzid(tzid) : nullptr;
    return name ? name : "";
}

void CICalZones::ProvideFor(icalcomponent* calendar, icalcomponent* event)
{
    const std::string tzid = StartZone(event);
    if (tzid.empty() || Defines(calendar, tzid))
        return;
    if (icalcomponent* definition = NewDefinition(tzid))
        icalcomponent_add_component(calendar, definition);
}

icalcomponent* CICalZones::MissingDefinition(const std::string& calendarText, icalcomponent* event)
{
    const std::string tzid = StartZone(event);
    if (tzid.empty() || TextDefines(calendarText, tzid))
        return nullptr;
    return NewDefinition(tzid);
}
} // namespace outlook
