#include <outlook/ICalendarFile.h>

#include <outlook/ICalendarEvent.h>

#include <libical/ical.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>

namespace outlook
{
namespace
{
constexpr const char* ProductId = "-//Orvante//Calendar Agent//EN";

std::string Hex(std::uint64_t value)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

std::string ComponentText(icalcomponent* component)
{
    char* text = icalcomponent_as_ical_string_r(component);
    std::string result = text ? text : "";
    icalmemory_free_buffer(text);
    return result;
}

// A UID for an event that has none, the same on every read of the same
// event text.
std::string UidFromContent(icalcomponent* event)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char byte : ComponentText(event))
    {
        hash ^= byte;
        hash *= 1099511628211ull;
    }
    return "orvante-" + Hex(hash);
}

std::uint64_t RandomSeed()
{
    try
    {
        std::random_device random;
        return (static_cast<std::uint64_t>(random()) << 32) ^ random();
    }
    catch (...)
    {
        // No entropy source: the clock still keeps uids of one process apart.
        return static_cast<std::uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
    }
}

std::string FreshUid()
{
    static std::mt19937_64 generator(RandomSeed());
    const std::uint64_t high = generator();
    const std::uint64_t low = generator();
    return Hex(high) + Hex(low) + "@orvante";
}

// The first parse error libical left in the tree, or empty.
std::string FirstError(icalcomponent* component)
{
    if (icalproperty* error = icalcomponent_get_first_property(component, ICAL_XLICERROR_PROPERTY))
    {
        const char* text = icalproperty_get_xlicerror(error);
        return text && *text ? text : "unreadable line";
    }
    for (icalcomponent* child = icalcomponent_get_first_component(component, ICAL_ANY_COMPONENT); child;
         child = icalcomponent_get_next_component(component, ICAL_ANY_COMPONENT))
    {
        const std::string error = FirstError(child);
        if (!error.empty())
            return error;
    }
    return std::string();
}

icalcomponent* NewCalendar()
{
    icalcomponent* calendar = icalcomponent_new(ICAL_VCALENDAR_COMPONENT);
    icalcomponent_add_property(calendar, icalproperty_new_version("2.0"));
    icalcomponent_add_property(calendar, icalproperty_new_prodid(ProductId));
    return calendar;
}

std::string EventName(const std::string& id, const CAppointmentData& data)
{
    return "event " + id + (data.subject.empty() ? "" : " \"" + data.subject + "\"");
}
} // namespace

void CICalendarFile::CFreeComponent::operator()(icalcomponent_impl* component) const
{
    icalcomponent_free(component);
}

CICalendarFile::CICalendarFile() : m_calendar(NewCalendar()) {}

CICalendarFile::~CICalendarFile() = default;

bool CICalendarFile::Parse(const std::string& text, std::string& error)
{
    if (text.size() > MaxTextSize)
    {
        error = "the calendar is larger than " + std::to_string(MaxTextSize / (1024 * 1024)) + " MiB";
        return false;
    }
    if (std::memchr(text.data(), '\0', text.size()))
    {
        error = "the calendar text holds a NUL byte";
        return false;
    }
    icalerror_set_errors_are_fatal(0);
    CComponentPtr root(icalparser_parse_string(text.c_str()));
    icalerror_clear_errno();
    if (!root)
    {
        error = "the text is not an iCalendar calendar (no complete VCALENDAR)";
        return false;
    }
    const icalcomponent_kind kind = icalcomponent_isa(root.get());
    if (kind != ICAL_VCALENDAR_COMPONENT)
    {
        error = kind == ICAL_XROOT_COMPONENT ? "the text holds more than one calendar"
                                             : "the text is not an iCalendar calendar (no VCALENDAR)";
        return false;
    }
    const std::string firstError = FirstError(root.get());
    if (!firstError.empty())
    {
        error = "the calendar has a line that cannot be read: " + firstError;
        return false;
    }
    m_calendar = std::move(root);
    Rebuild();
    return true;
}

void CICalendarFile::Rebuild()
{
    m_events.clear();
    m_items.clear();
    m_notes.clear();
    std::set<std::string> used;
    for (icalcomponent* event = icalcomponent_get_first_component(m_calendar.get(), ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(m_calendar.get(), ICAL_VEVENT_COMPONENT))
    {
        const char* uid = icalcomponent_get_uid(event);
        std::string id = uid && *uid ? uid : std::string();
        if (id.empty())
        {
            id = UidFromContent(event);
            icalcomponent_set_uid(event, id.c_str());
        }
        const std::string base = id;
        for (int n = 2; used.count(id); ++n)
            id = base + "#" + std::to_string(n);
        used.insert(id);

        std::string note;
        CStoredItem item{id, CICalendarEvent::Read(event, note)};
        if (!note.empty())
            m_notes.push_back(EventName(id, std::get<CAppointmentData>(item.data)) + ": " + note);
        m_events.push_back(event);
        m_items.push_back(std::move(item));
    }
}

icalcomponent_impl* CICalendarFile::FindEvent(const EntryId& id) const
{
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].id == id)
            return m_events[i];
    return nullptr;
}

bool CICalendarFile::AddEvent(CStoredItem& item, std::string& error)
{
    const CAppointmentData* data = std::get_if<CAppointmentData>(&item.data);
    if (!data)
    {
        error = "only appointments belong in the calendar";
        return false;
    }
    icalcomponent* event = icalcomponent_new_vevent();
    std::string uid = FreshUid();
    while (FindEvent(uid))
        uid = FreshUid();
    icalcomponent_set_uid(event, uid.c_str());
    icalcomponent_set_dtstamp(event, icaltime_current_time_with_zone(icaltimezone_get_utc_timezone()));
    if (!CICalendarEvent::Write(event, *data, nullptr, error))
    {
        icalcomponent_free(event);
        return false;
    }
    icalcomponent_add_component(m_calendar.get(), event);
    Rebuild();
    item.id = uid;
    return true;
}

bool CICalendarFile::UpdateEvent(const CStoredItem& item, std::string& error)
{
    const CAppointmentData* data = std::get_if<CAppointmentData>(&item.data);
    icalcomponent* event = FindEvent(item.id);
    if (!event)
    {
        error = "no event has the id " + item.id;
        return false;
    }
    if (!data)
    {
        error = "an appointment cannot change its kind";
        return false;
    }
    std::string note;
    const CAppointmentData before = CICalendarEvent::Read(event, note);
    if (!CICalendarEvent::Write(event, *data, &before, error))
        return false;
    icalcomponent_set_dtstamp(event, icaltime_current_time_with_zone(icaltimezone_get_utc_timezone()));
    Rebuild();
    return true;
}

std::string CICalendarFile::Serialize() const
{
    return ComponentText(m_calendar.get());
}
} // namespace outlook
