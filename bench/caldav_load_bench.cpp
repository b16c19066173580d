// The calendar on a CalDAV server (a real Radicale on 127.0.0.1) beside the
// file store with the same events, in the same run: the start-up on 5,000
// events, and the cost of one poll that finds no change (requests, bytes,
// time). Prints its figures; asserts nothing.
//
//   caldav_load_bench [EVENTS]     (default 5000)

#include <outlook/CalDavBackend.h>
#include <outlook/FileBackend.h>
#include <outlook/testing/RadicaleServer.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string Vevent(int n)
{
    const int day = 1 + n % 28;
    const int hour = 8 + n % 10;
    char start[32];
    std::snprintf(start, sizeof start, "2031%02d%02dT%02d0000Z", 1 + (n / 28) % 12, day, hour);
    return "BEGIN:VEVENT\r\nUID:bench-" + std::to_string(n) +
           "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:" + start + "\r\nDURATION:PT1H\r\nSUMMARY:Event " +
           std::to_string(n) + "\r\nEND:VEVENT\r\n";
}

const char* const Head = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//EN\r\n";
const char* const Tail = "END:VCALENDAR\r\n";

// The same events as one calendar file and as the server's resources,
// written straight into its storage folder.
void WriteEvents(int count, const std::filesystem::path& fileStore, const std::filesystem::path& collection)
{
    std::filesystem::create_directories(fileStore);
    std::filesystem::create_directories(collection);
    std::ofstream(collection / ".Radicale.props") << "{\"tag\": \"VCALENDAR\"}";
    std::ofstream file(fileStore / outlook::CFileBackend::CalendarFileName, std::ios::binary);
    file << Head;
    for (int n = 0; n < count; ++n) {
        file << Vevent(n);
        std::ofstream(collection / ("bench-" + std::to_string(n) + ".ics"), std::ios::binary)
            << Head << Vevent(n) << Tail;
    }
    file << Tail;
}

template <typename Start>
double BestSeconds(int runs, Start start)
{
    double best = 1e9;
    for (int run = 0; run < runs; ++run) {
        const auto began = Clock::now();
        if (!start())
            return -1;
        best = std::min(best, std::chrono::duration<double>(Clock::now() - began).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 5000;
    if (count <= 0 || !testsupport::CRadicaleServer::Available()) {
        std::fprintf(stderr, "usage: caldav_load_bench [EVENTS]; needs /usr/bin/radicale\n");
        return 2;
    }
    testsupport::CRadicaleServer server;
    const std::filesystem::path root = std::getenv("HOME");
    WriteEvents(count, root / "files", root / "collections" / "collection-root" / "ann" / "calendar");
    if (!server.Start()) {
        std::fprintf(stderr, "caldav_load_bench: the server did not start: %s\n", server.Errors().c_str());
        return 1;
    }
    outlook::CCalDavBackend::SSettings settings;
    settings.url = server.Url("/ann/calendar/");
    settings.client = {testsupport::CRadicaleServer::User, 120000};
    long items = 0;
    const double fileSeconds = BestSeconds(3, [&] {
        outlook::CFileBackend store((root / "files").string(), nullptr);
        return store.Start() && store.Open() && (items = store.GetCount(outlook::olFolderCalendar)) == count;
    });
    const double serverSeconds = BestSeconds(3, [&] {
        outlook::CCalDavBackend store(settings);
        return store.Start() && store.Open() && store.GetCount(outlook::olFolderCalendar) == count;
    });
    if (fileSeconds < 0 || serverSeconds < 0) {
        std::fprintf(stderr, "caldav_load_bench: a store did not start with every event\n");
        return 1;
    }
    std::printf("start-up on %d events: file %.3f s, CalDAV server %.3f s, ratio %.2f\n", count, fileSeconds,
                serverSeconds, serverSeconds / fileSeconds);

    outlook::CCalDavBackend store(settings);
    if (!store.Start() || !store.Open())
        return 1;
    const int polls = 20;
    const std::size_t requests = store.GetClient().Requests();
    const std::size_t bytes = store.GetClient().BytesReceived();
    const auto began = Clock::now();
    for (int poll = 0; poll < polls; ++poll) {
        if (store.Refresh() != outlook::CBackend::RefreshResult::Unchanged)
            return 1;
    }
    const double pollMs = std::chrono::duration<double, std::milli>(Clock::now() - began).count() / polls;
    std::printf("one poll with no change: %.1f requests, %.0f bytes received, %.2f ms\n",
                static_cast<double>(store.GetClient().Requests() - requests) / polls,
                static_cast<double>(store.GetClient().BytesReceived() - bytes) / polls, pollMs);
    return 0;
}
