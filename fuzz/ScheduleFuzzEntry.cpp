#include <FuzzEntries.h>

#include <eventmodel/RDFVCalendar.h>
#include <eventview/RDFCalendar.h>
#include <graphstore/DocumentBounds.h>
#include <graphstore/RDFMFCGraphStore.h>
#include <graphstore/Vocabulary.h>
#include <slotbook/Appointment.h>

#include <graphkit/RDFEdge.h>

#include <memory>
#include <string>

// Raptor 2.0.15 loses a few hundred bytes of terms on some malformed
// documents, inside its own error recovery; that is not ours to mend.
extern "C" const char* __lsan_default_suppressions()
{
    return "leak:libraptor2.so\n";
}

namespace {

// The content type a served document might come with, picked by the input.
const char* const ContentTypes[] = {"", "application/rdf+xml", "text/turtle", "application/n-triples",
                                    "text/calendar"};

bool EventsAreSound(const CRDFVCalendar& calendar)
{
    for (const CRDFVevent& event : calendar.getEventListPtr()) {
        if (!event.getStartDate().IsValid() || event.getDurationPtr()->GetTotalDays() < 0 ||
            event.getAlarmDuration() < 0)
            return false;
        for (const CRDFPerson& person : event.getAttendeeListPtr()) {
            if (person.getPersonString().empty())
                return false;
        }
    }
    const bool filled = !calendar.getEventListPtr().empty() || !calendar.GetCancelledEvents().empty();
    return filled && !calendar.getTitleDescription().empty();
}

} // namespace

bool CFuzzEntries::schedule(const std::uint8_t* data, std::size_t size)
{
    if (size == 0)
        return true;
    const char* type = ContentTypes[data[0] % (sizeof ContentTypes / sizeof *ContentTypes)];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    CRDFCalendar model;
    CRDFMFCGraph* graph = model.GetGraphStore().LoadGraphFromText("http://fuzz.example/schedule", text, type);
    if (!graph)
        return !model.GetGraphStore().GetErrorMsg().empty();
    // Whatever the bytes, nothing but UTF-8 is taken from them.
    if (CDocumentBounds::ValidUtf8(graph->Triples()) != graph->Triples())
        return false;
    const std::string url = "http://fuzz.example/schedule";
    if (!model.AppendCalendarsOf(*graph, url))
        return true;
    std::size_t selected = 0;
    for (const std::unique_ptr<CRDFVCalendar>& calendar : model.GetCalendars()) {
        if (!EventsAreSound(*calendar) || calendar->getURL() != url)
            return false;
        calendar->getSummary(true, "\r\n");
        selected += calendar->getEventListPtr().size();
    }
    model.BuildAppointmentList();
    return model.getAppointmentPtr().size() == selected && model.GetImportSources().size() == selected;
}
