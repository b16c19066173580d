#include <outlook/ICalendarEvent.h>

#include <outlook/ICalTime.h>
#include <outlook/RecurrenceRule.h>

#include <strings.h>

#include <vector>

namespace outlook {
namespace {
constexpr long MinutesPerDay = 24 * 60;

std::string TextOr(const char* text)
{
    return text ? std::string(text) : std::string();
}

bool SameName(const char* a, const char* b)
{
    return a && b && ::strcasecmp(a, b) == 0;
}

std::vector<icalproperty*> PropertiesOf(icalcomponent* component, icalproperty_kind kind)
{
    std::vector<icalproperty*> found;
    for (icalproperty* property = icalcomponent_get_first_property(component, kind); property;
         property = icalcomponent_get_next_property(component, kind))
        found.push_back(property);
    return found;
}

icalproperty* FindX(icalcomponent* component, const char* name)
{
    for (icalproperty* property : PropertiesOf(component, ICAL_X_PROPERTY))
        if (SameName(icalproperty_get_x_name(property), name))
            return property;
    return nullptr;
}

void RemoveProperty(icalcomponent* component, icalproperty* property)
{
    icalcomponent_remove_property(component, property);
    icalproperty_free(property);
}

void RemoveAll(icalcomponent* component, icalproperty_kind kind)
{
    for (icalproperty* property : PropertiesOf(component, kind))
        RemoveProperty(component, property);
}

void RemoveX(icalcomponent* component, const char* name)
{
    while (icalproperty* property = FindX(component, name))
        RemoveProperty(component, property);
}

void SetX(icalcomponent* component, const char* name, const std::string& value)
{
    RemoveX(component, name);
    if (value.empty())
        return;
    icalproperty* property = icalproperty_new_x(value.c_str());
    icalproperty_set_x_name(property, name);
    icalcomponent_add_property(component, property);
}

// ---------------------------------------------------------------- reading

long BusyStatusFromX(const std::string& value, long otherwise)
{
    if (::strcasecmp(value.c_str(), "FREE") == 0)
        return olFree;
    if (::strcasecmp(value.c_str(), "TENTATIVE") == 0)
        return olTentative;
    if (::strcasecmp(value.c_str(), "BUSY") == 0)
        return olBusy;
    if (::strcasecmp(value.c_str(), "OOF") == 0)
        return olOutOfOffice;
    return otherwise;
}

long ReadBusyStatus(icalcomponent* event)
{
    long status = olBusy;
    const icalproperty_status eventStatus = icalcomponent_get_status(event);
    if (eventStatus == ICAL_STATUS_TENTATIVE)
        status = olTentative;
    icalproperty* transp = icalcomponent_get_first_property(event, ICAL_TRANSP_PROPERTY);
    if (eventStatus == ICAL_STATUS_CANCELLED ||
        (transp && icalproperty_get_transp(transp) == ICAL_TRANSP_TRANSPARENT))
        status = olFree;
    if (icalproperty* busy = FindX(event, CICalendarEvent::BusyStatusProperty))
        status = BusyStatusFromX(TextOr(icalproperty_get_x(busy)), status);
    return status;
}

// Minutes before the start, when the alarm is a display alarm set off a
// fixed time before (or at) the start.
bool ReminderOf(icalcomponent* alarm, long& minutes)
{
    icalproperty* action = icalcomponent_get_first_property(alarm, ICAL_ACTION_PROPERTY);
    icalproperty* trigger = icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY);
    if (!action || !trigger || icalproperty_get_action(action) != ICAL_ACTION_DISPLAY)
        return false;
    icalparameter* related = icalproperty_get_first_parameter(trigger, ICAL_RELATED_PARAMETER);
    if (related && icalparameter_get_related(related) == ICAL_RELATED_END)
        return false;
    const icaltriggertype when = icalproperty_get_trigger(trigger);
    if (!icaltime_is_null_time(when.time) || icaldurationtype_is_bad_duration(when.duration))
        return false;
    const int seconds = icaldurationtype_as_int(when.duration);
    if (seconds > 0)
        return false;
    minutes = -seconds / 60;
    return true;
}

icalcomponent* MappedAlarm(icalcomponent* event, long& minutes)
{
    for (icalcomponent* alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT); alarm;
         alarm = icalcomponent_get_next_component(event, ICAL_VALARM_COMPONENT))
        if (ReminderOf(alarm, minutes))
            return alarm;
    return nullptr;
}

enum class Role {
    Required,
    Optional,
    None,
};

Role RoleOf(icalproperty* attendee)
{
    icalparameter* role = icalproperty_get_first_parameter(attendee, ICAL_ROLE_PARAMETER);
    if (!role)
        return Role::Required;
    switch (icalparameter_get_role(role)) {
    case ICAL_ROLE_OPTPARTICIPANT:
        return Role::Optional;
    case ICAL_ROLE_NONPARTICIPANT:
        return Role::None;
    default:
        return Role::Required;
    }
}

std::string AddressOf(const std::string& calAddress)
{
    if (calAddress.size() >= 7 && ::strncasecmp(calAddress.c_str(), "mailto:", 7) == 0)
        return calAddress.substr(7);
    return calAddress;
}

std::string AttendeeName(icalproperty* attendee)
{
    icalparameter* cn = icalproperty_get_first_parameter(attendee, ICAL_CN_PARAMETER);
    const std::string name = cn ? TextOr(icalparameter_get_cn(cn)) : std::string();
    return name.empty() ? AddressOf(TextOr(icalproperty_get_attendee(attendee))) : name;
}

std::string AttendeeAddresses(icalcomponent* event, Role wanted)
{
    std::string text;
    for (icalproperty* attendee : PropertiesOf(event, ICAL_ATTENDEE_PROPERTY)) {
        const std::string address = AddressOf(TextOr(icalproperty_get_attendee(attendee)));
        if (RoleOf(attendee) == wanted && !address.empty())
            text += (text.empty() ? "" : "; ") + address;
    }
    return text;
}

std::string ReadOrganizer(icalcomponent* event)
{
    icalproperty* organizer = icalcomponent_get_first_property(event, ICAL_ORGANIZER_PROPERTY);
    return organizer ? AddressOf(TextOr(icalproperty_get_organizer(organizer))) : std::string();
}

std::string ReadAttendees(icalcomponent* event, Role wanted, const char* override)
{
    if (icalproperty* whole = FindX(event, override))
        return TextOr(icalproperty_get_x(whole));
    std::string text;
    for (icalproperty* attendee : PropertiesOf(event, ICAL_ATTENDEE_PROPERTY)) {
        if (RoleOf(attendee) != wanted)
            continue;
        const std::string name = AttendeeName(attendee);
        if (name.empty())
            continue;
        text += (text.empty() ? "" : "; ") + name;
    }
    return text;
}

bool HasProperty(icalcomponent* event, icalproperty_kind kind)
{
    return icalcomponent_get_first_property(event, kind) != nullptr;
}

const char* TzidOf(icalcomponent* event, icalproperty_kind kind)
{
    icalproperty* property = icalcomponent_get_first_property(event, kind);
    icalparameter* tzid =
        property ? icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER) : nullptr;
    return tzid ? icalparameter_get_tzid(tzid) : nullptr;
}

// An end given by a DURATION stands in the zone of the start.
const char* EndTzid(icalcomponent* event)
{
    const char* tzid = TzidOf(event, ICAL_DTEND_PROPERTY);
    return tzid ? tzid : TzidOf(event, ICAL_DTSTART_PROPERTY);
}

bool IsInstant(const icaltimetype& time)
{
    return !time.is_date && (icaltime_is_utc(time) || time.zone);
}

// Times of a zone or UTC last the real time between them, whatever change
// of offset lies between; floating ones the wall-clock time.
void ReadTimes(icalcomponent* event, CAppointmentData& data)
{
    const icaltimetype start = icalcomponent_get_dtstart(event);
    const char* zone = TzidOf(event, ICAL_DTSTART_PROPERTY);
    data.start = CICalTime::ToLocal(start, zone);
    data.startZone = zone && !start.is_date ? zone : "";
    if (data.start.GetStatus() != CDateTime::valid) {
        data.duration = 0;
        return;
    }
    if (HasProperty(event, ICAL_DTEND_PROPERTY) || HasProperty(event, ICAL_DURATION_PROPERTY)) {
        const icaltimetype end = icalcomponent_get_dtend(event);
        const long minutes =
            IsInstant(start) && IsInstant(end)
                ? CICalTime::RealMinutesBetween(start, end)
                : CICalTime::MinutesBetween(data.start, CICalTime::ToLocal(end, EndTzid(event)));
        data.duration = minutes > 0 ? minutes : 0;
    } else
        data.duration = start.is_date ? MinutesPerDay : 0;
    data.allDay = start.is_date && data.duration > 0 && data.duration % MinutesPerDay == 0;
}

void ReadRecurrence(icalcomponent* event, CAppointmentData& data, std::string& note)
{
    const std::vector<icalproperty*> rules = PropertiesOf(event, ICAL_RRULE_PROPERTY);
    if (rules.empty())
        return;
    std::string reason = "the event has several RRULEs";
    if (rules.size() == 1) {
        const icalrecurrencetype rule = icalproperty_get_rrule(rules[0]);
        if (CRecurrenceRule::ToPattern(rule, icalcomponent_get_dtstart(event), data.duration, data.pattern,
                                       reason)) {
            data.isRecurring = true;
            return;
        }
    }
    note = "the recurrence cannot be expressed (" + reason + "); read as a single appointment";
}

// ---------------------------------------------------------------- writing

bool SameTime(const CDateTime& a, const CDateTime& b)
{
    return a.GetStatus() == b.GetStatus() && (a.GetStatus() != CDateTime::valid || a == b);
}

bool SamePattern(const CAppointmentData::Pattern& a, const CAppointmentData::Pattern& b)
{
    return a.recurrenceType == b.recurrenceType && a.dayOfWeekMask == b.dayOfWeekMask &&
           a.dayOfMonth == b.dayOfMonth && a.instance == b.instance && a.interval == b.interval &&
           a.noEndDate == b.noEndDate && SameTime(a.patternStartDate, b.patternStartDate) &&
           SameTime(a.startTime, b.startTime) &&
           (a.noEndDate || SameTime(a.patternEndDate, b.patternEndDate)) && SameTime(a.endTime, b.endTime);
}

bool WasAllDay(icalcomponent* event)
{
    return HasProperty(event, ICAL_DTSTART_PROPERTY) && icalcomponent_get_dtstart(event).is_date;
}

void WriteTimes(icalcomponent* event, const CAppointmentData& data, bool keepAllDay)
{
    const long duration = data.duration > 0 ? data.duration : 0;
    const CDateTime end = data.start + CDateTimeSpan(static_cast<double>(duration) / MinutesPerDay);
    const bool allDay = keepAllDay && data.start == CICalTime::DateOf(data.start) && duration > 0 &&
                        duration % MinutesPerDay == 0;
    RemoveAll(event, ICAL_DTSTART_PROPERTY);
    RemoveAll(event, ICAL_DTEND_PROPERTY);
    RemoveAll(event, ICAL_DURATION_PROPERTY);
    if (allDay) {
        icalcomponent_add_property(event, icalproperty_new_dtstart(CICalTime::DateFromLocal(data.start)));
        icalcomponent_add_property(event, icalproperty_new_dtend(CICalTime::DateFromLocal(end)));
        return;
    }
    const std::string zone = data.isRecurring ? CICalTime::LocalZoneId() : std::string();
    if (zone.empty()) {
        icalcomponent_add_property(event, icalproperty_new_dtstart(CICalTime::UtcFromLocal(data.start)));
        icalcomponent_add_property(event,
                                   icalproperty_new_dtend(CICalTime::UtcFromLocal(data.start, duration)));
        return;
    }
    // A repeating time keeps the user's wall clock across changes of
    // offset, which only a named zone can say.
    icalproperty* start = icalproperty_new_dtstart(CICalTime::FromLocal(data.start));
    icalproperty_add_parameter(start, icalparameter_new_tzid(zone.c_str()));
    icalcomponent_add_property(event, start);
    icalcomponent_add_property(
        event, icalproperty_new_duration(icaldurationtype_from_int(static_cast<int>(duration * 60))));
}

void WriteText(icalcomponent* event, icalproperty_kind kind, const std::string& text)
{
    RemoveAll(event, kind);
    if (text.empty())
        return;
    icalproperty* property = icalproperty_new(kind);
    icalproperty_set_value(property, icalvalue_new_text(text.c_str()));
    icalcomponent_add_property(event, property);
}

const char* BusyStatusName(long status)
{
    switch (status) {
    case olFree:
        return "FREE";
    case olTentative:
        return "TENTATIVE";
    case olOutOfOffice:
        return "OOF";
    default:
        return "BUSY";
    }
}

void WriteBusyStatus(icalcomponent* event, long status)
{
    RemoveAll(event, ICAL_TRANSP_PROPERTY);
    icalcomponent_add_property(
        event, icalproperty_new_transp(status == olFree ? ICAL_TRANSP_TRANSPARENT : ICAL_TRANSP_OPAQUE));
    SetX(event, CICalendarEvent::BusyStatusProperty, BusyStatusName(status));
}

void WriteReminder(icalcomponent* event, const CAppointmentData& data)
{
    long minutes = 0;
    if (icalcomponent* old = MappedAlarm(event, minutes)) {
        icalcomponent_remove_component(event, old);
        icalcomponent_free(old);
    }
    if (!data.reminderSet)
        return;
    icalcomponent* alarm = icalcomponent_new_valarm();
    icalcomponent_add_property(alarm, icalproperty_new_action(ICAL_ACTION_DISPLAY));
    icalcomponent_add_property(alarm, icalproperty_new_description("Reminder"));
    icaltriggertype trigger;
    trigger.time = icaltime_null_time();
    const long clamped = data.reminderMinutesBeforeStart > 0 ? data.reminderMinutesBeforeStart : 0;
    trigger.duration =
        icaldurationtype_from_int(-static_cast<int>(clamped > 5000000 ? 5000000 : clamped) * 60);
    icalcomponent_add_property(alarm, icalproperty_new_trigger(trigger));
    icalcomponent_add_component(event, alarm);
}

std::string Trim(const std::string& text)
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> SplitAttendees(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t from = 0;
    while (from <= text.size()) {
        const std::size_t semicolon = text.find(';', from);
        const std::size_t to = semicolon == std::string::npos ? text.size() : semicolon;
        const std::string part = Trim(text.substr(from, to - from));
        if (!part.empty())
            parts.push_back(part);
        from = to + 1;
    }
    return parts;
}

bool IsAddress(const std::string& part)
{
    const std::size_t at = part.find('@');
    return at != std::string::npos && at > 0 && at + 1 < part.size() &&
           part.find_first_of(" \t\",:<>") == std::string::npos;
}

// The ATTENDEE properties of a role come from `addresses` when given, else
// from the addresses in `text`; `text` itself is kept in the agent's own
// property whenever the properties would not give it back.
void WriteAttendees(icalcomponent* event, Role role, const std::string& text, const std::string& addresses,
                    const char* override)
{
    for (icalproperty* attendee : PropertiesOf(event, ICAL_ATTENDEE_PROPERTY))
        if (RoleOf(attendee) == role)
            RemoveProperty(event, attendee);
    std::string readBack;
    for (const std::string& part : SplitAttendees(addresses.empty() ? text : addresses)) {
        if (!IsAddress(part))
            continue;
        icalproperty* attendee = icalproperty_new_attendee(("mailto:" + part).c_str());
        icalproperty_add_parameter(attendee,
                                   icalparameter_new_role(role == Role::Optional ? ICAL_ROLE_OPTPARTICIPANT
                                                                                 : ICAL_ROLE_REQPARTICIPANT));
        icalcomponent_add_property(event, attendee);
        readBack += (readBack.empty() ? "" : "; ") + part;
    }
    SetX(event, override, readBack == text ? std::string() : text);
}

void WriteOrganizer(icalcomponent* event, const std::string& address)
{
    for (icalproperty* organizer : PropertiesOf(event, ICAL_ORGANIZER_PROPERTY))
        RemoveProperty(event, organizer);
    if (IsAddress(address))
        icalcomponent_add_property(event, icalproperty_new_organizer(("mailto:" + address).c_str()));
}

bool WriteRecurrence(icalcomponent* event, const CAppointmentData& after, const CAppointmentData* before,
                     std::string& error)
{
    const bool wasRecurring = before && before->isRecurring;
    if (!after.isRecurring) {
        // A rule the pattern could not express was never part of the data
        // and stays as it is.
        if (wasRecurring)
            RemoveAll(event, ICAL_RRULE_PROPERTY);
        return true;
    }
    if (wasRecurring && SamePattern(before->pattern, after.pattern))
        return true;
    icalrecurrencetype rule;
    if (!CRecurrenceRule::FromPattern(after.pattern, rule, error))
        return false;
    RemoveAll(event, ICAL_RRULE_PROPERTY);
    icalcomponent_add_property(event, icalproperty_new_rrule(rule));
    return true;
}

bool Writable(const CAppointmentData& after, std::string& error)
{
    if (after.start.GetStatus() != CDateTime::valid) {
        error = "the appointment has no valid start";
        return false;
    }
    icalrecurrencetype rule;
    return !after.isRecurring || CRecurrenceRule::FromPattern(after.pattern, rule, error);
}
} // namespace

CAppointmentData CICalendarEvent::Read(icalcomponent* event, std::string& note)
{
    note.clear();
    CAppointmentData data;
    ReadTimes(event, data);
    data.subject = TextOr(icalcomponent_get_summary(event));
    data.body = TextOr(icalcomponent_get_description(event));
    data.location = TextOr(icalcomponent_get_location(event));
    data.busyStatus = ReadBusyStatus(event);
    long minutes = 0;
    data.reminderSet = MappedAlarm(event, minutes) != nullptr;
    if (data.reminderSet)
        data.reminderMinutesBeforeStart = minutes;
    data.requiredAttendees = ReadAttendees(event, Role::Required, RequiredAttendeesProperty);
    if (FindX(event, RequiredAttendeesProperty))
        data.requiredAddresses = AttendeeAddresses(event, Role::Required);
    data.organizer = ReadOrganizer(event);
    data.optionalAttendees = ReadAttendees(event, Role::Optional, OptionalAttendeesProperty);
    if (data.start.GetStatus() == CDateTime::valid)
        ReadRecurrence(event, data, note);
    return data;
}

bool CICalendarEvent::Write(icalcomponent* event, const CAppointmentData& after,
                            const CAppointmentData* before, std::string& error)
{
    if (!Writable(after, error))
        return false;
    if (!before || !SameTime(before->start, after.start) || before->duration != after.duration ||
        before->allDay != after.allDay)
        WriteTimes(event, after, after.allDay || (before && WasAllDay(event)));
    if (!before || before->subject != after.subject)
        WriteText(event, ICAL_SUMMARY_PROPERTY, after.subject);
    if (!before || before->body != after.body)
        WriteText(event, ICAL_DESCRIPTION_PROPERTY, after.body);
    if (!before || before->location != after.location)
        WriteText(event, ICAL_LOCATION_PROPERTY, after.location);
    if (!before || before->busyStatus != after.busyStatus)
        WriteBusyStatus(event, after.busyStatus);
    if (!before || before->reminderSet != after.reminderSet ||
        (after.reminderSet && before->reminderMinutesBeforeStart != after.reminderMinutesBeforeStart))
        WriteReminder(event, after);
    if (!before || before->requiredAttendees != after.requiredAttendees ||
        before->requiredAddresses != after.requiredAddresses)
        WriteAttendees(event, Role::Required, after.requiredAttendees, after.requiredAddresses,
                       RequiredAttendeesProperty);
    if (!before || before->optionalAttendees != after.optionalAttendees)
        WriteAttendees(event, Role::Optional, after.optionalAttendees, std::string(),
                       OptionalAttendeesProperty);
    if (!before || before->organizer != after.organizer)
        WriteOrganizer(event, after.organizer);
    return WriteRecurrence(event, after, before, error);
}
} // namespace outlook
