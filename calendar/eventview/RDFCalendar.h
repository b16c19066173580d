#pragma once

#include <eventview/ImportSource.h>

#include <graphstore/RDFMFCGraphStore.h>

#include <memory>
#include <string>
#include <vector>

class CAppointment;
class CRDFEdge;
class CRDFVCalendar;

// A web schedule turned into the agent's appointments: LoadCalendarModel
// reads the calendars of a page, the user (or a direct import) selects
// events, and BuildAppointmentList makes one appointment per selected event.
// The calendars, the graphs they came from and the appointments live as
// long as this object.
class CRDFCalendar {
public:
    enum Error { NoError = 0, EmptyUrl = 1, NotLoaded = 2, NoCalendar = 3 };
    static constexpr const char* ImportAttribute = "RDF Calendar Import";
    // The Outlook index of an appointment not yet in the calendar program.
    static constexpr int NotInOutlook = -2;

    CRDFCalendar();
    explicit CRDFCalendar(const CDocumentFetcher& fetcher);
    virtual ~CRDFCalendar();

    CRDFCalendar(const CRDFCalendar&) = delete;
    CRDFCalendar& operator=(const CRDFCalendar&) = delete;

    // Loads the page and appends its calendars; false (with the error code)
    // when the address is empty, the page cannot be read, or it holds no
    // calendar class (the hybrid schema's or the W3C vocabulary's). A page
    // whose calendars cannot be filled still counts.
    bool LoadCalendarModel(const std::string& url);
    // The same for a document fetched already from `url`.
    bool LoadCalendarDocument(const std::string& url, const CFetchedDocument& document);
    // Appends the calendars of a graph loaded already (from `url`); false
    // when it holds no calendar class.
    bool AppendCalendarsOf(CRDFMFCGraph& graph, const std::string& url);
    // Appends an appointment per selected event of every selected calendar,
    // and the identities of every selected calendar's cancelled events.
    bool BuildAppointmentList();

    std::vector<std::unique_ptr<CAppointment>>& getAppointmentPtr() { return m_appointments; }
    // For each appointment, its event's identity, recurrence and organiser.
    const std::vector<CImportSource>& GetImportSources() const { return m_sources; }
    // The identities of the cancelled events, which are not to be in the
    // calendar.
    const std::vector<std::string>& GetCancelledIdentities() const { return m_cancelled; }
    std::vector<std::unique_ptr<CRDFVCalendar>>& GetCalendars() { return m_calendars; }
    CRDFMFCGraphStore& GetGraphStore() { return m_store; }

    void DeleteVCalendarListItems();
    void DeleteAppointmentListItems();

    int GetErrorCode() const { return m_error; }
    bool IsError() const { return m_error != NoError; }
    void SetErrorCode(int code) { m_error = code; }
    void ResetErrorCode() { m_error = NoError; }

    // Whole minutes of a span: half a second away from zero, then cut.
    static long WholeMinutes(double days);
    // The body of an imported appointment.
    static std::string BodyFor(const std::string& attendees, const CRDFVCalendar& calendar);

private:
    bool AddCalendarsOf(CRDFMFCGraph* graph, const std::string& url);

    std::vector<std::unique_ptr<CAppointment>> m_appointments;
    std::vector<CImportSource> m_sources;
    std::vector<std::string> m_cancelled;
    std::vector<std::unique_ptr<CRDFVCalendar>> m_calendars;
    CRDFMFCGraphStore m_store;
    int m_error = NoError;
};

// One rdf:type edge to the calendar class: fills a calendar from its source
// node and appends it, with `url` as its address, to `calendars` (a
// std::vector<std::unique_ptr<CRDFVCalendar>>); `store` is the graph store.
void add_sourceVCalendar(CRDFEdge* edge, void* calendars, void* store, void* url);
