#include <eventview/RDFCalendar.h>

#include <eventmodel/NodeReader.h>
#include <eventmodel/RDFVCalendar.h>
#include <graphstore/Vocabulary.h>
#include <slotbook/Appointment.h>

#include <graphkit/RDFEdge.h>

#include <cmath>

namespace {

constexpr double HalfSecondInDays = 0.5 / 86400.0;

std::string AttendeesText(const CRDFVevent& event)
{
    std::string text;
    for (const CRDFPerson& person : event.getAttendeeListPtr()) {
        const std::string one = person.getPersonString();
        if (!one.empty())
            text += (text.empty() ? "" : ", ") + one;
    }
    return text;
}

// An event named inside its own schedule's address keeps the bare URI (the
// form items imported before were saved under); one naming a URI elsewhere
// is scoped by the address it was read from, so that no other schedule can
// claim, and overwrite, the items a schedule made.
std::string IdentityOf(const CRDFVevent& event, const CRDFVCalendar& calendar)
{
    const std::string& uri = event.GetUri();
    const std::string& address = calendar.getURL();
    if (uri.empty())
        return address + "#" + event.getStartDate().GetValue().Format() + "#" + event.getDescription();
    if (uri == address || uri.compare(0, address.size() + 1, address + "#") == 0)
        return uri;
    return address + " " + uri;
}

// A calendar typed in both vocabularies was added with the hybrid class.
void AddW3CCalendar(CRDFEdge* edge, void* calendars, void* store, void* url)
{
    CRDFNode* source = edge ? edge->get_sourceNode() : nullptr;
    if (source && !nodereader::HasType(source, vocabulary::VCalendarClass))
        add_sourceVCalendar(edge, calendars, store, url);
}

CImportSource SourceOf(const CRDFVevent& event, const CRDFVCalendar& calendar)
{
    CImportSource source;
    source.identity = IdentityOf(event, calendar);
    source.rule = event.GetRecurrenceRule();
    source.excluded = event.GetExcludedStarts();
    source.added = event.GetAddedStarts();
    if (event.GetOrganiser().hasEmail())
        source.organiser = event.GetOrganiser().getEmail();
    return source;
}

} // namespace

CRDFCalendar::CRDFCalendar() = default;

CRDFCalendar::CRDFCalendar(const CDocumentFetcher& fetcher) : m_store(fetcher) {}

CRDFCalendar::~CRDFCalendar()
{
    DeleteVCalendarListItems();
    DeleteAppointmentListItems();
}

bool CRDFCalendar::LoadCalendarModel(const std::string& url)
{
    ResetErrorCode();
    if (url.empty()) {
        SetErrorCode(EmptyUrl);
        return false;
    }
    return AddCalendarsOf(m_store.LoadNewGraph(url), url);
}

bool CRDFCalendar::LoadCalendarDocument(const std::string& url, const CFetchedDocument& document)
{
    ResetErrorCode();
    if (url.empty()) {
        SetErrorCode(EmptyUrl);
        return false;
    }
    return AddCalendarsOf(m_store.LoadGraphFromText(url, document.text, document.contentType), url);
}

bool CRDFCalendar::AddCalendarsOf(CRDFMFCGraph* graph, const std::string& url)
{
    if (!graph) {
        SetErrorCode(NotLoaded);
        return false;
    }
    if (!AppendCalendarsOf(*graph, url)) {
        m_store.DeleteGraph(graph);
        SetErrorCode(NoCalendar);
        return false;
    }
    return true;
}

bool CRDFCalendar::AppendCalendarsOf(CRDFMFCGraph& graph, const std::string& url)
{
    CRDFNode* hybridClass = graph.get_graph()->get_Node(vocabulary::VCalendarClass, 0);
    CRDFNode* w3cClass = graph.get_graph()->get_Node(vocabulary::IcalCalendarClass, 0);
    std::string address = url;
    if (hybridClass)
        hybridClass->interate_through_Edges(vocabulary::RdfType, add_sourceVCalendar, &m_calendars, &m_store,
                                            &address);
    if (w3cClass)
        w3cClass->interate_through_Edges(vocabulary::RdfType, AddW3CCalendar, &m_calendars, &m_store,
                                         &address);
    return hybridClass || w3cClass;
}

void add_sourceVCalendar(CRDFEdge* edge, void* calendars, void* store, void* url)
{
    CRDFNode* source = edge ? edge->get_sourceNode() : nullptr;
    if (!source || !calendars)
        return;
    auto calendar = std::make_unique<CRDFVCalendar>();
    if (!calendar->set(source, static_cast<CRDFMFCGraphStore*>(store)))
        return;
    if (url)
        calendar->setURL(*static_cast<std::string*>(url));
    static_cast<std::vector<std::unique_ptr<CRDFVCalendar>>*>(calendars)->push_back(std::move(calendar));
}

long CRDFCalendar::WholeMinutes(double days)
{
    const double rounded = days >= 0 ? days + HalfSecondInDays : days - HalfSecondInDays;
    return static_cast<long>(std::trunc(rounded * 1440.0));
}

std::string CRDFCalendar::BodyFor(const std::string& attendees, const CRDFVCalendar& calendar)
{
    std::string body;
    if (!attendees.empty())
        body = "Attendees: " + attendees + "\n\n";
    return body + "Appointment added by Orvante Calendar Agent from the following Semantic Web Schedule:\n" +
           calendar.getSummary(false, "\r\n");
}

bool CRDFCalendar::BuildAppointmentList()
{
    ResetErrorCode();
    for (const std::unique_ptr<CRDFVCalendar>& calendar : m_calendars) {
        if (calendar->getUpdateStatus() != EVENT_SELECTED)
            continue;
        for (const CRDFVevent& event : calendar->GetCancelledEvents())
            m_cancelled.push_back(IdentityOf(event, *calendar));
        for (const CRDFVevent& event : calendar->getEventListPtr()) {
            if (event.getUpdateStatus() != EVENT_SELECTED)
                continue;
            const std::string attendees = AttendeesText(event);
            m_appointments.push_back(std::make_unique<CAppointment>(
                NotInOutlook, event.getDescription(), BodyFor(attendees, *calendar),
                event.getLocationString(), attendees, "", event.getStartDate().GetValue(),
                event.getEndDate().GetValue(), WholeMinutes(event.getDurationPtr()->GetTotalDays()),
                event.hasAlarm() ? 1 : 0, event.getAlarmDuration(),
                event.IsFree() ? CAppointment::FreeStatus : -1, CDateTime::Null(), ImportAttribute));
            m_appointments.back()->SetAllDay(event.IsAllDay());
            m_sources.push_back(SourceOf(event, *calendar));
        }
    }
    return true;
}

void CRDFCalendar::DeleteVCalendarListItems()
{
    m_calendars.clear();
}

void CRDFCalendar::DeleteAppointmentListItems()
{
    m_appointments.clear();
    m_sources.clear();
    m_cancelled.clear();
}
