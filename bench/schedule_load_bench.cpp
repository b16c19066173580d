// Cost of reading a web schedule: a 5,000-event RDF/XML schedule loaded into
// the calendar model with its appointment list built, beside Raptor parsing
// the same document alone. The ratio of the two is printed at the end.

#include <eventview/RDFCalendar.h>

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <raptor2.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
constexpr int EventCount = 5000;

std::string EventText(int i)
{
    char start[32];
    std::snprintf(start, sizeof start, "2027-%02d-%02dT%02d:00:00", 1 + i % 12, 1 + i % 28, 8 + i % 9);
    std::string text = "<h:VEVENT-PROP><h:VEVENT rdf:about=\"#e" + std::to_string(i) +
                       "\"><h:SUMMARY>Session " + std::to_string(i) + "</h:SUMMARY><h:DTSTART>" + start +
                       "</h:DTSTART><h:DURATION>PT45M</h:DURATION><h:LOCATION>Room " +
                       std::to_string(i % 40) + "</h:LOCATION><h:ATTENDEE><foaf:Person><foaf:name>Person " +
                       std::to_string(i % 17) + "</foaf:name><foaf:mbox rdf:resource=\"mailto:p" +
                       std::to_string(i % 17) + "@example.org\"/></foaf:Person></h:ATTENDEE>";
    if (i % 3 == 0)
        text += "<h:VALARM><rdf:Description><h:TRIGGER>-PT15M</h:TRIGGER></rdf:Description></h:VALARM>";
    return text + "</h:VEVENT></h:VEVENT-PROP>\n";
}

const std::string& ScheduleText()
{
    static const std::string text = [] {
        std::string document =
            "<?xml version=\"1.0\"?>\n<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
            "xmlns:h=\"http://ilrt.org/discovery/2001/06/schemas/ical-full/hybrid.rdf#\" "
            "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:foaf=\"http://xmlns.com/foaf/0.1/\">\n"
            "<h:VCALENDAR rdf:about=\"#calendar\"><dc:title>Bench programme</dc:title>\n";
        for (int i = 0; i < EventCount; ++i)
            document += EventText(i);
        return document + "</h:VCALENDAR></rdf:RDF>\n";
    }();
    return text;
}

// The schedule on disk, read as a file:// address.
const std::string& SchedulePath()
{
    static const std::string path = [] {
        char pattern[] = "/tmp/schedule-load-bench-XXXXXX";
        const std::string directory = ::mkdtemp(pattern) ? pattern : "/tmp";
        const std::string file = directory + "/programme.rdf";
        std::ofstream(file, std::ios::binary) << ScheduleText();
        return file;
    }();
    return path;
}

void CountStatement(void* count, raptor_statement*)
{
    ++*static_cast<long*>(count);
}

void RaptorParseAlone(benchmark::State& state)
{
    const std::string& text = ScheduleText();
    for (auto _ : state) {
        raptor_world* world = raptor_new_world();
        raptor_world_open(world);
        raptor_parser* parser = raptor_new_parser(world, "rdfxml");
        long statements = 0;
        raptor_parser_set_statement_handler(parser, &statements, CountStatement);
        raptor_uri* base =
            raptor_new_uri(world, reinterpret_cast<const unsigned char*>("file:///tmp/programme.rdf"));
        raptor_parser_parse_start(parser, base);
        raptor_parser_parse_chunk(parser, reinterpret_cast<const unsigned char*>(text.data()), text.size(),
                                  1);
        benchmark::DoNotOptimize(statements);
        raptor_free_uri(base);
        raptor_free_parser(parser);
        raptor_free_world(world);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void ModelAndAppointmentList(benchmark::State& state)
{
    const std::string address = "file://" + SchedulePath();
    for (auto _ : state) {
        CRDFCalendar calendar;
        if (!calendar.LoadCalendarModel(address)) {
            state.SkipWithError(calendar.GetGraphStore().GetErrorMsg().c_str());
            break;
        }
        calendar.BuildAppointmentList();
        if (calendar.getAppointmentPtr().size() != EventCount)
            state.SkipWithError("not every event became an appointment");
    }
}

BENCHMARK(RaptorParseAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(ModelAndAppointmentList)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchsupport::RunAndPrintRatio(argc, argv, "ModelAndAppointmentList", "RaptorParseAlone",
                                   "schedule model and appointments / raptor parse alone");
    const std::string path = SchedulePath();
    std::remove(path.c_str());
    ::rmdir(path.substr(0, path.rfind('/')).c_str());
    return 0;
}
