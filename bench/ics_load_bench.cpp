// Cost of reading the user's calendar: a file back-end started on a
// calendar of 5,000 events (some recurring, some with alarms) with every
// item read, beside libical parsing the same text alone. The ratio of the
// two is printed at the end of the run.

#include <outlook/FileBackend.h>

#include <platform/AtomicFile.h>

#include "RatioReporter.h"

#include <benchmark/benchmark.h>

#include <libical/ical.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {
constexpr int EventCount = 5000;

std::string Two(int value)
{
    const int twoDigits = value % 100;
    return std::string(1, static_cast<char>('0' + twoDigits / 10)) + static_cast<char>('0' + twoDigits % 10);
}

std::string EventText(int i)
{
    const std::string date = "2026" + Two(1 + i % 12) + Two(1 + i % 28);
    const std::string hour = Two(8 + i % 9);
    std::string text = "BEGIN:VEVENT\r\nUID:bench-" + std::to_string(i) +
                       "@example.org\r\n"
                       "DTSTAMP:20260101T000000Z\r\nDTSTART:" +
                       date + "T" + hour +
                       "0000\r\n"
                       "DTEND:" +
                       date + "T" + hour + "4500\r\nSUMMARY:Meeting number " + std::to_string(i) +
                       "\r\n"
                       "DESCRIPTION:Agenda\\nFirst point\\, second point\r\nLOCATION:Room " +
                       std::to_string(i % 40) + "\r\nATTENDEE;CN=Person " + std::to_string(i % 17) +
                       ";ROLE=REQ-PARTICIPANT:mailto:p" + std::to_string(i % 17) +
                       "@example.org\r\nX-MICROSOFT-CDO-BUSYSTATUS:BUSY\r\n";
    if (i % 5 == 0)
        text += "RRULE:FREQ=WEEKLY;BYDAY=MO,WE;COUNT=20\r\n";
    if (i % 11 == 0)
        text += "RRULE:FREQ=MONTHLY;BYDAY=2TU\r\n";
    if (i % 3 == 0)
        text += "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:Reminder\r\nTRIGGER:-PT15M\r\nEND:VALARM\r\n";
    return text + "END:VEVENT\r\n";
}

const std::string& CalendarText()
{
    static const std::string text = [] {
        std::string calendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//EN\r\n";
        for (int i = 0; i < EventCount; ++i)
            calendar += EventText(i);
        return calendar + "END:VCALENDAR\r\n";
    }();
    return text;
}

// The calendar on disk, in a directory of its own for the whole run.
const std::string& CalendarDirectory()
{
    static const std::string directory = [] {
        char pattern[] = "/tmp/ics-load-bench-XXXXXX";
        std::string made = ::mkdtemp(pattern) ? pattern : "";
        std::string error;
        if (made.empty() ||
            !CAtomicFile(made + "/" + outlook::CFileBackend::CalendarFileName).Replace(CalendarText(), error))
            std::fprintf(stderr, "cannot write the calendar: %s\n", error.c_str());
        return made;
    }();
    return directory;
}

void LibicalParseAlone(benchmark::State& state)
{
    const std::string& text = CalendarText();
    for (auto _ : state) {
        icalcomponent* calendar = icalparser_parse_string(text.c_str());
        benchmark::DoNotOptimize(calendar);
        icalcomponent_free(calendar);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(text.size()));
}

void FileBackendStartAndReadAll(benchmark::State& state)
{
    const std::string& directory = CalendarDirectory();
    for (auto _ : state) {
        outlook::CFileBackend backend(directory, nullptr);
        if (!backend.Start() || !backend.Open()) {
            state.SkipWithError(backend.GetLastErrorText().c_str());
            break;
        }
        const long count = backend.GetCount(outlook::olFolderCalendar);
        outlook::CStoredItem item;
        for (long i = 0; i < count; ++i)
            backend.GetItem(outlook::olFolderCalendar, i, item);
        if (count != EventCount)
            state.SkipWithError("not every event was read");
        benchmark::DoNotOptimize(item);
    }
}

BENCHMARK(LibicalParseAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(FileBackendStartAndReadAll)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchsupport::RunAndPrintRatio(argc, argv, "FileBackendStartAndReadAll", "LibicalParseAlone",
                                   "file back-end start and read / libical parse alone");
    const std::string command = "rm -rf '" + CalendarDirectory() + "'";
    return std::system(command.c_str()) == 0 ? 0 : 1;
}
