#include <FuzzEntries.h>

#include <eventmodel/RDFDateTime.h>
#include <graphstore/ZonedTime.h>
#include <platform/DateTime.h>
#include <platform/TimeZone.h>
#include <vespera/core/KqmlFields.h>
#include <vespera/core/MessageZone.h>

#include <cstdint>
#include <optional>
#include <string>

namespace {

// Whole minutes suffice: the wire and the calendar carry no finer times.
bool SameMinute(const CDateTime& a, const CDateTime& b)
{
    return a.GetYear() == b.GetYear() && a.GetMonth() == b.GetMonth() && a.GetDay() == b.GetDay() &&
           a.GetHour() == b.GetHour() && a.GetMinute() == b.GetMinute();
}

// A zone the database knows names itself, and its wall clock meets its
// instants: every wall-clock time an instant gives leads back to a time
// that gives that same wall clock.
bool ZoneHolds(const CTimeZone& zone, const CDateTime& wall)
{
    const std::optional<CTimeZone> again = CTimeZone::Named(zone.Name());
    if (!zone.IsNamed() || !again || again->Name() != zone.Name())
        return false;
    const std::optional<long long> instant = zone.ToInstant(wall);
    if (!instant)
        return true;
    const CDateTime shown = zone.FromInstant(*instant);
    if (shown.GetStatus() != CDateTime::valid)
        return true;
    const std::optional<long long> back = zone.ToInstant(shown);
    return back && SameMinute(zone.FromInstant(*back), shown);
}

// A zone's UTC text reads as the instant it was made from, and names the
// zone it came from. Times a change of offset skips have no instant of
// their own to compare.
bool UtcTextHolds(const std::string& text, const CTimeZone& zone)
{
    const std::string utc = zonedtime::ToUtcText(text, zone.Name());
    if (utc == text)
        return true;
    const CDateTime read = CRDFDateTime::Parse(utc);
    if (read.GetStatus() != CDateTime::valid || utc.find("[" + zone.Name() + "]") == std::string::npos)
        return false;
    const CDateTime written = CRDFDateTime::Parse(text);
    const std::optional<long long> instant = zone.ToInstant(written);
    if (!instant || !SameMinute(zone.FromInstant(*instant), written))
        return true;
    return SameMinute(CTimeZone::Local().FromInstant(*instant), read);
}

} // namespace

bool CFuzzEntries::timezone(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t cut = input.find('\n');
    const std::string name = input.substr(0, cut);
    const std::string text = cut == std::string::npos ? std::string() : input.substr(cut + 1);
    // Whatever a message names, reading and writing in its zone never
    // fails worse than an invalid time.
    const CMessageZone message(CKqmlFields("tell :timezone (" + name + ") :startTime (" + text + ")"));
    CDateTime local;
    if (message.Read(text, local) && local.GetStatus() != CDateTime::valid)
        return false;
    CTimeZone::NoteElsewhere(CRDFDateTime::Parse(text), name);
    const std::optional<CTimeZone> zone = CTimeZone::Named(name);
    if (!zone)
        return true;
    CDateTime wall;
    if (!wall.ParseDateTime(text))
        wall = CRDFDateTime::Parse(text);
    return (wall.GetStatus() != CDateTime::valid || ZoneHolds(*zone, wall)) && UtcTextHolds(text, *zone);
}
