#include <graphstore/ICalendarGraphBuilder.h>

#include <graphstore/DocumentBounds.h>
#include <graphstore/Vocabulary.h>
#include <graphstore/ZonedTime.h>

#include <graphkit/RDFGraph.h>

#include <libical/ical.h>

#include <memory>

namespace {

using ComponentPtr = std::unique_ptr<icalcomponent, decltype(&icalcomponent_free)>;

// Text values come unescaped once, as libical read them (a feed's \, is a
// comma, its \\n a backslash and an n), the others in their iCalendar
// form. Asking libical for an X- property's value as a string would escape
// it again.
std::string TextOf(icalproperty* property)
{
    icalvalue* value = property ? icalproperty_get_value(property) : nullptr;
    const char* text = nullptr;
    if (value && icalvalue_isa(value) == ICAL_TEXT_VALUE)
        text = icalvalue_get_text(value);
    else if (value && icalvalue_isa(value) == ICAL_X_VALUE)
        text = icalvalue_get_x(value);
    else if (property)
        text = icalproperty_get_value_as_string(property);
    return text ? text : "";
}

// A start or end of a zone (the feed's VTIMEZONE, else the zone database's
// zone of its TZID) as the UTC instant it names; others as written.
std::string TimeTextOf(icalproperty* property)
{
    icalparameter* tzid =
        property ? icalproperty_get_first_parameter(property, ICAL_TZID_PARAMETER) : nullptr;
    if (!tzid)
        return TextOf(property);
    const icaltimetype time = icalproperty_get_datetime_with_component(property, nullptr);
    if (time.is_date)
        return TextOf(property);
    if (time.zone) {
        const icaltimetype utc = icaltime_convert_to_zone(time, icaltimezone_get_utc_timezone());
        return zonedtime::WithZoneName(icaltime_as_ical_string(utc), icalparameter_get_tzid(tzid));
    }
    return zonedtime::ToUtcText(TextOf(property), icalparameter_get_tzid(tzid));
}

// What one feed adds to the graph, with the triples' text kept alongside.
class CFeedWriter {
public:
    CFeedWriter(CRDFGraph& graph, std::string& triples) : m_graph(graph), m_triples(triples) {}

    void Link(CRDFNode* subject, const std::string& property, CRDFNode* object)
    {
        m_graph.AddEdge(subject, property, object);
        m_triples += Written(subject) + " <" + property + "> " + Written(object) + " .\n";
    }
    // libical's unescaping takes a backslash and the first byte of the
    // character after it as one escape, which leaves the rest of that
    // character behind as bytes that are no UTF-8: every text is made
    // sound again.
    void Literal(CRDFNode* subject, const std::string& property, const std::string& text)
    {
        if (!text.empty())
            Link(subject, property, m_graph.Intern(CRDFNode::Literal, CDocumentBounds::ValidUtf8(text)));
    }
    CRDFNode* Resource(const std::string& uri)
    {
        return m_graph.Intern(CRDFNode::Resource, CDocumentBounds::ValidUtf8(uri));
    }
    CRDFNode* Blank(const std::string& label) { return m_graph.Intern(CRDFNode::Blank, label); }

private:
    static std::string Written(CRDFNode* node)
    {
        switch (node->GetKind()) {
        case CRDFNode::Resource:
            return "<" + node->Value() + ">";
        case CRDFNode::Blank:
            return "_:" + node->Value();
        default:
            return "\"" + node->Value() + "\"";
        }
    }

    CRDFGraph& m_graph;
    std::string& m_triples;
};

std::string Ical(const char* local)
{
    return std::string(vocabulary::Ical) + local;
}

void AddAttendees(CFeedWriter& out, icalcomponent* event, CRDFNode* node, const std::string& prefix)
{
    int number = 0;
    for (icalproperty* attendee = icalcomponent_get_first_property(event, ICAL_ATTENDEE_PROPERTY); attendee;
         attendee = icalcomponent_get_next_property(event, ICAL_ATTENDEE_PROPERTY)) {
        CRDFNode* person = out.Blank(prefix + "attendee" + std::to_string(++number));
        out.Link(node, Ical("attendee"), person);
        const std::string address = TextOf(attendee);
        if (address.rfind("mailto:", 0) == 0 || address.rfind("MAILTO:", 0) == 0)
            out.Link(person, std::string(vocabulary::Foaf) + "mbox",
                     out.Resource("mailto:" + address.substr(7)));
        if (icalparameter* name = icalproperty_get_first_parameter(attendee, ICAL_CN_PARAMETER))
            out.Literal(person, std::string(vocabulary::Foaf) + "name", icalparameter_get_cn(name));
    }
}

void AddAlarm(CFeedWriter& out, icalcomponent* event, CRDFNode* node, const std::string& prefix)
{
    icalcomponent* alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT);
    icalproperty* trigger = alarm ? icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY) : nullptr;
    if (!trigger)
        return;
    const icaltriggertype value = icalproperty_get_trigger(trigger);
    if (icaldurationtype_is_null_duration(value.duration) && !icaltime_is_null_time(value.time))
        return;
    CRDFNode* alarmNode = out.Blank(prefix + "alarm");
    out.Link(node, Ical("valarm"), alarmNode);
    out.Literal(alarmNode, Ical("trigger"), icaldurationtype_as_ical_string(value.duration));
}

// Every EXDATE or RDATE value (libical gives each its own property) as the
// instant it names.
void AddDates(CFeedWriter& out, icalcomponent* event, CRDFNode* node, icalproperty_kind kind,
              const char* local)
{
    for (icalproperty* date = icalcomponent_get_first_property(event, kind); date;
         date = icalcomponent_get_next_property(event, kind))
        out.Literal(node, Ical(local), TimeTextOf(date));
}

// A moved or changed occurrence is an event of its own, named after the
// occurrence it replaces, which its series then leaves out.
CRDFNode* OverrideNode(CFeedWriter& out, icalproperty* recurrenceId, const std::string& series)
{
    const std::string replaced = TimeTextOf(recurrenceId);
    out.Literal(out.Resource(series), Ical("exdate"), replaced);
    return out.Resource(series + ";recurrence-id=" + replaced);
}

void AddEvent(CFeedWriter& out, icalcomponent* event, CRDFNode* calendar, const std::string& address,
              int number)
{
    const char* uid = icalcomponent_get_uid(event);
    const std::string prefix = "event" + std::to_string(number) + "-";
    icalproperty* recurrenceId = icalcomponent_get_first_property(event, ICAL_RECURRENCEID_PROPERTY);
    const bool named = uid && *uid;
    CRDFNode* node = !named         ? out.Blank(prefix + "node")
                     : recurrenceId ? OverrideNode(out, recurrenceId, address + "#" + uid)
                                    : out.Resource(address + "#" + uid);
    out.Link(calendar, Ical("component"), node);
    out.Link(node, std::string(vocabulary::RdfType), out.Resource(Ical("Vevent")));
    const std::pair<icalproperty_kind, const char*> fields[] = {
        {ICAL_SUMMARY_PROPERTY, "summary"},   {ICAL_DESCRIPTION_PROPERTY, "description"},
        {ICAL_DTSTART_PROPERTY, "dtstart"},   {ICAL_DTEND_PROPERTY, "dtend"},
        {ICAL_DURATION_PROPERTY, "duration"}, {ICAL_LOCATION_PROPERTY, "location"},
        {ICAL_RRULE_PROPERTY, "rrule"},       {ICAL_STATUS_PROPERTY, "status"},
        {ICAL_TRANSP_PROPERTY, "transp"},
    };
    for (const auto& field : fields) {
        icalproperty* property = icalcomponent_get_first_property(event, field.first);
        const bool isTime = field.first == ICAL_DTSTART_PROPERTY || field.first == ICAL_DTEND_PROPERTY;
        out.Literal(node, Ical(field.second), isTime ? TimeTextOf(property) : TextOf(property));
    }
    if (icalproperty* url = icalcomponent_get_first_property(event, ICAL_URL_PROPERTY))
        out.Link(node, Ical("url"), out.Resource(TextOf(url)));
    AddAttendees(out, event, node, prefix);
    AddAlarm(out, event, node, prefix);
    AddDates(out, event, node, ICAL_EXDATE_PROPERTY, "exdate");
    AddDates(out, event, node, ICAL_RDATE_PROPERTY, "rdate");
}

} // namespace

bool CICalendarGraphBuilder::IsICalendar(const std::string& contentType, const std::string& text)
{
    if (contentType.find("text/calendar") != std::string::npos)
        return true;
    const std::size_t start = text.find_first_not_of(" \t\r\n\xef\xbb\xbf");
    return start != std::string::npos && text.compare(start, 15, "BEGIN:VCALENDAR") == 0;
}

bool CICalendarGraphBuilder::Build(const std::string& text, const std::string& address, CRDFGraph& graph,
                                   std::string& triples, std::string& error)
{
    ComponentPtr root(icalparser_parse_string(text.c_str()), icalcomponent_free);
    icalcomponent* calendar = root.get();
    if (calendar && icalcomponent_isa(calendar) != ICAL_VCALENDAR_COMPONENT)
        calendar = icalcomponent_get_first_component(calendar, ICAL_VCALENDAR_COMPONENT);
    if (!calendar) {
        error = "Not iCalendar: no VCALENDAR could be read.";
        return false;
    }
    CFeedWriter out(graph, triples);
    CRDFNode* node = out.Resource(address + "#calendar");
    out.Link(node, vocabulary::RdfType, out.Resource(vocabulary::VCalendarClass));
    if (icalproperty* name = icalcomponent_get_first_property(calendar, ICAL_X_PROPERTY)) {
        for (; name; name = icalcomponent_get_next_property(calendar, ICAL_X_PROPERTY)) {
            if (std::string(icalproperty_get_x_name(name)) == "X-WR-CALNAME")
                out.Literal(node, std::string(vocabulary::Dc) + "title", TextOf(name));
        }
    }
    int number = 0;
    for (icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
        AddEvent(out, event, node, address, ++number);
    if (number == 0) {
        error = "The iCalendar document holds no event.";
        return false;
    }
    return true;
}
