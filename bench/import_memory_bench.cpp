// Memory of a large schedule import: the resident size before a
// 1,000,000-triple document is read into the calendar model, at its peak,
// after the model is gone, and after the freed pages are handed back
// (malloc_trim, as an import does), with the time each step took; and the
// time a billion-laughs and a 200,000-deep document take to be refused.

#include <eventview/RDFCalendar.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <malloc.h>
#include <string>

namespace {

long ResidentKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::string(field).size()));
    }
    return -1;
}

std::string Triples(int count)
{
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * 80);
    text += "<http://e.org/s#calendar> <http://www.w3.org/1999/02/22-rdf-syntax-ns#type> "
            "<http://ilrt.org/discovery/2001/06/schemas/ical-full/hybrid.rdf#VCALENDAR> .\n";
    for (int i = 1; i < count; ++i)
        text += "<http://e.org/s#n" + std::to_string(i / 4) + "> <http://e.org/p" + std::to_string(i % 4) +
                "> \"value " + std::to_string(i) + "\" .\n";
    return text;
}

double Seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double RefusalSeconds(const std::string& text)
{
    const auto start = std::chrono::steady_clock::now();
    CRDFCalendar calendar;
    const bool loaded = calendar.LoadCalendarDocument("http://e.org/s", CFetchedDocument{text, ""});
    const double seconds = Seconds(start);
    std::printf("  %s: %s\n", loaded ? "read" : "refused", calendar.GetGraphStore().GetErrorMsg().c_str());
    return seconds;
}

std::string Repeat(const std::string& piece, int times)
{
    std::string text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

} // namespace

int main()
{
    const std::string document = Triples(1000000);
    const long before = ResidentKiB("VmRSS:");
    auto start = std::chrono::steady_clock::now();
    {
        CRDFCalendar calendar;
        calendar.LoadCalendarDocument("http://e.org/s", CFetchedDocument{document, "application/n-triples"});
        std::printf("read %zu bytes in %.2f s, resident %ld KiB at the end of the read\n", document.size(),
                    Seconds(start), ResidentKiB("VmRSS:"));
    }
    const long freed = ResidentKiB("VmRSS:");
    start = std::chrono::steady_clock::now();
    malloc_trim(0);
    std::printf("resident KiB: before %ld, peak %ld, model freed %ld, after malloc_trim %ld (%.3f s)\n",
                before, ResidentKiB("VmHWM:"), freed, ResidentKiB("VmRSS:"), Seconds(start));

    std::string laughs = "<!ENTITY l0 \"ha\">";
    for (int i = 1; i <= 9; ++i)
        laughs +=
            "<!ENTITY l" + std::to_string(i) + " \"" + Repeat("&l" + std::to_string(i - 1) + ";", 10) + "\">";
    const std::string head = "<?xml version=\"1.0\"?><!DOCTYPE r [" + laughs +
                             "]><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">";
    std::printf("billion laughs refused in %.4f s\n",
                RefusalSeconds(
                    head + "<rdf:Description rdf:about=\"http://e.org/a\">&l9;</rdf:Description></rdf:RDF>"));
    const int deep = 200000;
    std::printf(
        "200,000-deep RDF/XML refused in %.4f s\n",
        RefusalSeconds(
            "<?xml version=\"1.0\"?><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\" "
            "xmlns:e=\"http://e.org/\"><rdf:Description rdf:about=\"http://e.org/a\">" +
            Repeat("<e:p rdf:parseType=\"Resource\">", deep) + Repeat("</e:p>", deep) +
            "</rdf:Description></rdf:RDF>"));
    return 0;
}
