// Whole meeting negotiations between real agent processes on 127.0.0.1, timed
// against the raw TCP round trip measured in the same run, with the CPU each
// process spends and the memory an attendee holds while it writes; then the
// free-time search over a store of 10,000 appointments.
//
// A name server, one organiser and up to 100 attendees run as headless agent
// processes with homes of their own (logging on, as always), all holding
// calendars of 10 events; then two societies of 10 attendees whose
// calendars hold 1,000 and 10,000 events; then, where Radicale is installed,
// two societies of 10 whose calendars of 10 and 10,000 events are on a
// CalDAV server (one collection each). This program is an agent too: it
// asks the organiser for a meeting and takes the time until the organiser's
// short report reaches it as its alert agent, which the organiser sends when
// the negotiation has finished with status 1. That time therefore holds one
// extra hop each way (the request and the report) beside the negotiation
// itself; the ratio printed is
//     negotiation time / (attendees x raw TCP round trip).
// The raw round trip is a 512-byte ping-pong with a forked echo process,
// measured just before and just after the negotiations of each size; the
// mean of the two is that size's baseline, so that a change in the load of
// the machine during the run touches both sides of the ratio.
//
//   negotiation_bench [RUNS]          (timed negotiations per size, default 5)
//   negotiation_bench RUNS caldav     the societies on a server only

#include "../ProcessFigures.h"
#include "FreeTimeSearch.h"
#include "RawRoundTrip.h"

#include <agentkit/AgentContainer.h>
#include <agentkit/DlgContainer.h>
#include <outlook/testing/RadicaleServer.h>
#include <platform/DateTime.h>
#include <platform/DateTimeSpan.h>
#include <platform/PollEventLoop.h>
#include <platform/Registry.h>
#include <platform/testing/ChildProcess.h>
#include <wirekit/Communicator.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kBenchName = "NegotiationBench";
constexpr const char* kOrganiser = "org_bench.example-CalendarAgent";
constexpr const char* kSettingsKey = "Software\\ORVANTE\\CalendarAgent";
constexpr int kStartWaitMs = 30000;
// Radicale reads a collection of 10,000 events for a while.
constexpr int kServerStartWaitMs = 300000;
constexpr unsigned kNegotiationLimitMs = 120000;

// The agents and the name server run as child processes.
using CChild = testsupport::CChildProcess;

// --- the society ----------------------------------------------------------------

void PointEnvironmentAt(const std::filesystem::path& home)
{
    for (const char* dir : {"config", "data", "run", "registry"})
        std::filesystem::create_directories(home / dir);
    setenv("HOME", home.c_str(), 1);
    setenv("ORVANTE", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
    setenv("ORVANTE_REGISTRY_DIR", (home / "registry").c_str(), 1);
}

// `plain`: agents without keys, which take each other's names as sent.
bool StoreSettings(const std::string& name, unsigned ansPort, bool organiser, bool plain)
{
    CRegistry registry;
    std::vector<std::pair<const char*, std::string>> values{{"AgentName", name},
                                                            {"ANSHost", kLoopback},
                                                            {"ANSPort", std::to_string(ansPort)},
                                                            {"MeetingSchedulingType", "2"}};
    if (plain)
        values.push_back({"TrustUnauthenticatedContacts", "true"});
    if (organiser) {
        values.push_back({"MeetingScheduleShortAlert", "true"});
        values.push_back({"AgentAlert", "true"});
        values.push_back({"AgentAlertString", kBenchName});
    }
    for (const auto& [key, value] : values) {
        if (registry.WriteValue(kSettingsKey, key, value) != CRegistry::Ok)
            return false;
    }
    return true;
}

// Where the agents' calendars live: each agent's file, or a collection of
// its own on a CalDAV server.
struct SCalendarPlace {
    const testsupport::CRadicaleServer* server = nullptr;
    // The server's storage folder, to put the events straight into.
    std::filesystem::path storage;
};

// The events as the server's resources of the collection `label`, and
// the agent's settings and .netrc pointing at it.
bool PutCalendarOnServer(const SCalendarPlace& place, const std::string& label, int events,
                         const std::filesystem::path& home)
{
    const std::string user = testsupport::CRadicaleServer::User;
    const std::filesystem::path collection = place.storage / "collections" / "collection-root" / user / label;
    std::filesystem::create_directories(collection);
    std::ofstream(collection / ".Radicale.props") << "{\"tag\": \"VCALENDAR\"}";
    for (int n = 0; n < events; ++n)
        std::ofstream(collection / ("bench-" + std::to_string(n) + ".ics"), std::ios::binary)
            << benchsupport::GenerateEventCalendar(n);
    std::ofstream(home / ".netrc") << "machine 127.0.0.1 login " << user << " password "
                                   << testsupport::CRadicaleServer::Password << "\n";
    std::filesystem::permissions(home / ".netrc",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    CRegistry registry;
    for (const auto& [key, value] : {std::pair<const char*, std::string>{"CalendarStore", "caldav"},
                                     {"CalDAVURL", place.server->Url("/" + user + "/" + label + "/")},
                                     {"CalDAVUser", user}}) {
        if (registry.WriteValue(kSettingsKey, key, value) != CRegistry::Ok)
            return false;
    }
    return true;
}

class CSociety {
public:
    // `plain`: agents without a usable key, which talk plain TCP: each
    // finds its key file readable by others and refuses it, as it would a
    // user's.
    CSociety(std::string ansd, std::string vespera, std::filesystem::path root, bool plain = false,
             SCalendarPlace place = {})
        : m_ansdBinary(std::move(ansd)), m_vesperaBinary(std::move(vespera)), m_root(std::move(root)),
          m_plain(plain), m_place(std::move(place))
    {
    }

    ~CSociety()
    {
        for (auto& agent : m_agents)
            agent->Signal(SIGTERM);
        for (auto& agent : m_agents)
            agent->Wait(20000);
    }

    bool StartNameServer()
    {
        if (!m_ansd.Start(m_ansdBinary, {"--port", "0", "--bind", kLoopback}, (m_root / "ansd.err").string()))
            return false;
        std::string line;
        const std::string prefix = "ansd listening on ";
        if (!m_ansd.ReadLine(line, kStartWaitMs) || line.rfind(prefix, 0) != 0 ||
            line.rfind(':') == std::string::npos)
            return false;
        m_ansPort = static_cast<unsigned>(std::strtoul(line.c_str() + line.rfind(':') + 1, nullptr, 10));
        return m_ansPort != 0;
    }

    bool StartAgent(const std::string& name, const std::string& label, bool organiser, int events)
    {
        const std::filesystem::path home = m_root / label;
        PointEnvironmentAt(home);
        if (!StoreSettings(name, m_ansPort, organiser, m_plain))
            return Fail("cannot write the registry of " + name);
        std::filesystem::create_directories(home / "data" / "orvante");
        if (m_place.server && !PutCalendarOnServer(m_place, label, events, home))
            return Fail("cannot put the calendar of " + name + " on the server");
        if (!m_place.server)
            std::ofstream(home / "data" / "orvante" / "calendar.ics", std::ios::binary)
                << benchsupport::GenerateCalendar(events);
        if (m_plain) {
            const std::filesystem::path key = home / "data" / "orvante" / "agent-key.pem";
            std::ofstream(key) << "no key\n";
            std::filesystem::permissions(key, std::filesystem::perms::others_read,
                                         std::filesystem::perm_options::add);
        }
        auto child = std::make_unique<CChild>();
        if (!child->Start(m_vesperaBinary, {"--headless"}, (home / "vespera.err").string()))
            return Fail("cannot start " + name);
        std::string line;
        const int wait = m_place.server ? kServerStartWaitMs : kStartWaitMs;
        if (!child->ReadLine(line, wait) || line.rfind("registered ", 0) != 0)
            return Fail(name + " did not register: " + line + "\n" + child->Errors());
        if (!child->ReadLine(line, wait) || line.rfind("ready ", 0) != 0)
            return Fail(name + " did not get ready: " + line);
        m_agents.push_back(std::move(child));
        return true;
    }

    unsigned AnsPort() const { return m_ansPort; }
    pid_t OrganiserPid() const { return m_agents.front()->Pid(); }
    std::vector<pid_t> AttendeePids(int count) const
    {
        std::vector<pid_t> pids;
        for (int i = 1; i <= count && i < static_cast<int>(m_agents.size()); ++i)
            pids.push_back(m_agents[static_cast<std::size_t>(i)]->Pid());
        return pids;
    }
    const std::string& Failure() const { return m_failure; }

private:
    bool Fail(const std::string& why)
    {
        m_failure = why;
        return false;
    }

    std::string m_ansdBinary;
    std::string m_vesperaBinary;
    std::filesystem::path m_root;
    CChild m_ansd;
    unsigned m_ansPort = 0;
    std::vector<std::unique_ptr<CChild>> m_agents;
    std::string m_failure;
    bool m_plain = false;
    SCalendarPlace m_place;
};

std::string AttendeeName(int index)
{
    return "a" + std::to_string(index) + "_bench.example-CalendarAgent";
}

// --- the requesting agent ----------------------------------------------------------

// Asks the organiser for meetings and hears its reports.
class CBenchAgent : public CAgentContainer {
public:
    CBenchAgent() : CAgentContainer(kBenchName)
    {
        set_shutdown_pause(0);
        set_belief_dump_file(nullptr);
        set_lookup_config(LOOKUP_NAME_SERVER);
        get_communicator()->set_listen_address(kLoopback);
    }

    int process_message(char* text) override
    {
        m_report = text ? text : "";
        m_reported = Clock::now();
        m_waiting = false;
        get_handler()->GetEventLoop()->Quit();
        return 1;
    }

    // Seconds from the request to the report; negative when no successful
    // report came in time.
    double Negotiate(CEventLoop& loop, const std::string& request)
    {
        m_waiting = true;
        m_report.clear();
        const auto sent = Clock::now();
        const char* error =
            get_communicator()->comm_sendmessage("tell", kOrganiser, "default-ontology", "default-language",
                                                 nullptr, nullptr, nullptr, request.c_str(), nullptr);
        if (error) {
            std::fprintf(stderr, "negotiation_bench: the request did not go out: %s\n", error);
            return -1;
        }
        const CEventLoop::TimerId limit =
            loop.AddTimer(kNegotiationLimitMs, false, [&loop](CEventLoop::TimerId) { loop.Quit(); });
        loop.Run();
        loop.KillTimer(limit);
        // The short report of a success reads subject@start>location.
        if (m_waiting || m_report.find("Planning@") == std::string::npos) {
            std::fprintf(stderr, "negotiation_bench: no successful report: %s\n", m_report.c_str());
            return -1;
        }
        return std::chrono::duration<double>(m_reported - sent).count();
    }

private:
    std::string m_report;
    Clock::time_point m_reported;
    bool m_waiting = false;
};

std::string MeetingRequest(int attendees, int run)
{
    std::string names;
    for (int i = 0; i < attendees; ++i)
        names += (i ? "," : "") + AttendeeName(i);
    // Every run meets on a day of its own, so that every attendee is free
    // and accepts in the first pass.
    const CDateTime start = CDateTime(2031, 3, 4, 10, 0, 0) + CDateTimeSpan(run, 0, 0, 0);
    return "tell :command schedule_meeting :attendees (" + names +
           ") :subject (Planning) :body (Bench) :start (" + start.Format() +
           ") :location (Room 4) :duration (60)";
}

// --- negotiations --------------------------------------------------------------------

struct SSizeFigures {
    int attendees = 0;
    int events = 0;
    double median = 0;
    double best = 0;
    double rawBefore = 0;
    double rawAfter = 0;
    // CPU seconds per negotiation: the organiser's, and the attendees' mean.
    double organiserCpu = 0;
    double attendeeCpu = 0;
    // Of the first attendee: memory held before the timed runs and the peak
    // during them (KiB).
    long steadyKiB = 0;
    long peakKiB = 0;
    // Calendars on a server: its requests and its own time per negotiation.
    double serverRequests = -1;
    double serverSeconds = 0;
};

// The requests a server's log (from `offset`) tells of and the seconds it
// says it took for them.
void CountServerRequests(const std::string& log, std::size_t offset, int runs, SSizeFigures& figures)
{
    static const std::string Answered = " response status for '";
    int requests = 0;
    double seconds = 0;
    for (std::size_t at = log.find(Answered, offset); at != std::string::npos;
         at = log.find(Answered, at + 1)) {
        const std::size_t in = log.find("' in ", at);
        const std::size_t end = log.find('\n', at);
        if (in == std::string::npos || in > end)
            continue;
        ++requests;
        seconds += std::atof(log.c_str() + in + 5);
    }
    figures.serverRequests = static_cast<double>(requests) / runs;
    figures.serverSeconds = seconds / runs;
}

double CpuOf(const std::vector<pid_t>& pids)
{
    double seconds = 0;
    for (pid_t pid : pids)
        seconds += benchsupport::CpuSeconds(pid);
    return seconds;
}

bool TimeNegotiations(CEventLoop& loop, CBenchAgent& bench, const CSociety& society, int attendees, int runs,
                      int& day, SSizeFigures& figures, const testsupport::CRadicaleServer* server)
{
    // The first request of a size also fills the agents' address tables;
    // it is not counted.
    if (bench.Negotiate(loop, MeetingRequest(attendees, day++)) < 0)
        return false;
    figures.rawBefore = RawRoundTrip();
    const std::vector<pid_t> invited = society.AttendeePids(attendees);
    const pid_t organiser = society.OrganiserPid();
    figures.steadyKiB = benchsupport::StatusField(invited.front(), "VmRSS");
    const bool peakReset = benchsupport::ResetPeak(invited.front());
    const double organiserBefore = benchsupport::CpuSeconds(organiser);
    const double attendeesBefore = CpuOf(invited);
    const std::size_t serverLogBefore = server ? server->Errors().size() : 0;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double seconds = bench.Negotiate(loop, MeetingRequest(attendees, day++));
        if (seconds < 0)
            return false;
        times.push_back(seconds);
    }
    figures.organiserCpu = (benchsupport::CpuSeconds(organiser) - organiserBefore) / runs;
    figures.attendeeCpu = (CpuOf(invited) - attendeesBefore) / runs / attendees;
    figures.peakKiB = peakReset ? benchsupport::StatusField(invited.front(), "VmHWM") : 0;
    if (server)
        CountServerRequests(server->Errors(), serverLogBefore, runs, figures);
    figures.rawAfter = RawRoundTrip();
    if (figures.rawBefore <= 0 || figures.rawAfter <= 0) {
        std::fprintf(stderr, "negotiation_bench: the raw round trip failed\n");
        return false;
    }
    std::sort(times.begin(), times.end());
    figures.attendees = attendees;
    figures.median = times[times.size() / 2];
    figures.best = times.front();
    return true;
}

// The name server, the organiser and every attendee the largest size needs,
// each holding a calendar of `events` events.
bool StartSociety(CSociety& society, int attendees, int events)
{
    if (!society.StartNameServer()) {
        std::fprintf(stderr, "negotiation_bench: the name server did not start\n");
        return false;
    }
    bool started = society.StartAgent(kOrganiser, "organiser", true, events);
    for (int i = 0; started && i < attendees; ++i)
        started = society.StartAgent(AttendeeName(i), "a" + std::to_string(i), false, events);
    if (!started)
        std::fprintf(stderr, "negotiation_bench: %s\n", society.Failure().c_str());
    return started;
}

// Registers the requesting agent with the society's name server.
bool StartBenchAgent(CDlgContainer& window, unsigned ansPort)
{
    std::vector<std::string> args{"negotiation_bench",    "-name", kBenchName, "-ans", kLoopback, "-ansport",
                                  std::to_string(ansPort)};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    if (window.CreateContainer(static_cast<int>(args.size()), argv.data(), 0))
        return true;
    std::fprintf(stderr, "negotiation_bench: the requesting agent did not start\n");
    return false;
}

double RawMean(const SSizeFigures& figures)
{
    return (figures.rawBefore + figures.rawAfter) / 2;
}

void PrintFigures(const std::vector<SSizeFigures>& results)
{
    std::printf("%9s %8s %11s %10s %13s %15s %7s %11s %11s %15s\n", "attendees", "events", "median ms",
                "best ms", "per attendee", "raw rt (b/a) us", "ratio", "org CPU ms", "att CPU ms",
                "att peak/steady");
    for (const SSizeFigures& figures : results) {
        const double ratio = figures.median / (figures.attendees * RawMean(figures));
        std::printf("%9d %8d %11.2f %10.2f %10.1f us %7.1f/%-7.1f %7.1f %11.2f %11.2f %7ld/%ld MB\n",
                    figures.attendees, figures.events, figures.median * 1e3, figures.best * 1e3,
                    figures.median / figures.attendees * 1e6, figures.rawBefore * 1e6, figures.rawAfter * 1e6,
                    ratio, figures.organiserCpu * 1e3, figures.attendeeCpu * 1e3, figures.peakKiB / 1024,
                    figures.steadyKiB / 1024);
    }
    for (const SSizeFigures& figures : results) {
        if (figures.serverRequests >= 0)
            std::printf(
                "  %d events: the server answered %.1f requests per negotiation, taking %.0f ms of its own\n",
                figures.events, figures.serverRequests, figures.serverSeconds * 1e3);
    }
}

// One society with calendars of `events` events, timed at every size.
bool RunSociety(const std::string& ansd, const std::string& vespera, const std::filesystem::path& root,
                const std::vector<int>& sizes, int events, int runs, std::vector<SSizeFigures>& results,
                bool plain = false, const SCalendarPlace& place = {})
{
    std::filesystem::create_directories(root);
    CSociety society(ansd, vespera, root, plain, place);
    if (!StartSociety(society, sizes.back(), events))
        return false;
    PointEnvironmentAt(root / "bench");
    CPollEventLoop loop;
    auto owned = std::make_unique<CBenchAgent>();
    CBenchAgent* bench = owned.get();
    CDlgContainer window(std::move(owned));
    if (!StartBenchAgent(window, society.AnsPort()))
        return false;
    int day = 0;
    for (int attendees : sizes) {
        SSizeFigures figures;
        figures.events = events;
        if (!TimeNegotiations(loop, *bench, society, attendees, runs, day, figures, place.server))
            return false;
        results.push_back(figures);
    }
    return true;
}

void PrintGoal(const char* what, double ratio, double goal)
{
    std::printf("  %-58s %6.2f   goal <= %.1f: %s\n", what, ratio, goal, ratio <= goal ? "met" : "missed");
}

// The time grows with the server's own time per write; the requests the
// agents make are what the agents' writes cost.
void PrintServerGoals(const std::vector<SSizeFigures>& onServer)
{
    PrintGoal("10 attendees on a CalDAV server: 10,000-event calendars / 10",
              (onServer[1].median / RawMean(onServer[1])) / (onServer[0].median / RawMean(onServer[0])), 2.0);
    if (onServer[0].serverRequests > 0)
        PrintGoal("  the same, requests to the server per negotiation",
                  onServer[1].serverRequests / onServer[0].serverRequests, 2.0);
}

// Two societies of 10 attendees on one server, with 10 and 10,000 events
// each; none without Radicale.
bool RunOnServer(const std::string& ansd, const std::string& vespera, const std::filesystem::path& root,
                 int runs, std::vector<SSizeFigures>& results)
{
    if (!testsupport::CRadicaleServer::Available()) {
        std::printf("radicale is not installed: no figures for calendars on a server\n");
        return true;
    }
    for (int events : {10, 10000}) {
        testsupport::CRadicaleServer server;
        server.LogRequests();
        const SCalendarPlace place{&server, std::getenv("HOME")};
        if (!server.Start()) {
            std::fprintf(stderr, "negotiation_bench: radicale did not start: %s\n", server.Errors().c_str());
            return false;
        }
        if (!RunSociety(ansd, vespera, root / ("caldav" + std::to_string(events)), {10}, events, runs,
                        results, false, place))
            return false;
    }
    return true;
}

int RunNegotiations(const std::string& ansd, const std::string& vespera, const std::filesystem::path& root,
                    int runs)
{
    std::printf("raw TCP round trip: %zu bytes each way with another process, Nagle off; timed runs per row: "
                "%d\n",
                RawMessageSize, runs);
    std::vector<SSizeFigures> byAttendees;
    std::vector<SSizeFigures> byEvents;
    if (!RunSociety(ansd, vespera, root / "small", {2, 10, 50, 100}, 10, runs, byAttendees))
        return 1;
    byEvents.push_back(byAttendees[1]);
    for (int events : {1000, 10000}) {
        if (!RunSociety(ansd, vespera, root / ("events" + std::to_string(events)), {10}, events, runs,
                        byEvents))
            return 1;
    }
    std::vector<SSizeFigures> plain;
    if (!RunSociety(ansd, vespera, root / "plain", {10}, 10, runs, plain, true))
        return 1;
    std::vector<SSizeFigures> onServer;
    if (!RunOnServer(ansd, vespera, root, runs, onServer))
        return 1;
    PrintFigures(byAttendees);
    PrintFigures({byEvents[1], byEvents[2]});
    std::printf("agents without keys (plain TCP):\n");
    PrintFigures(plain);
    if (!onServer.empty()) {
        std::printf("calendars on a CalDAV server (Radicale on 127.0.0.1):\n");
        PrintFigures(onServer);
    }
    std::printf("ratio = median negotiation time / (attendees x raw round trip)\n");
    double worst = 0;
    for (const SSizeFigures& figures : byAttendees)
        worst = std::max(worst, figures.median / (figures.attendees * RawMean(figures)));
    PrintGoal("time per attendee / raw round trip (worst size)", worst, 20.0);
    PrintGoal("10 attendees: 10,000-event calendars / 10-event ones",
              (byEvents[2].median / RawMean(byEvents[2])) / (byEvents[0].median / RawMean(byEvents[0])), 2.0);
    PrintGoal("10 attendees: negotiation over TLS / over plain TCP",
              (byAttendees[1].median / RawMean(byAttendees[1])) / (plain[0].median / RawMean(plain[0])), 1.5);
    if (!onServer.empty())
        PrintServerGoals(onServer);
    const SSizeFigures& large = byEvents[2];
    if (large.peakKiB > 0 && large.steadyKiB > 0)
        PrintGoal("10,000 events: attendee's peak while writing / steady memory",
                  static_cast<double>(large.peakKiB) / static_cast<double>(large.steadyKiB), 1.2);
    else
        std::printf("  the kernel does not let the peak memory be reset; no figure\n");
    return 0;
}

} // namespace

// The societies on a server alone, with their own baseline and goal.
int RunOnServerOnly(const std::string& ansd, const std::string& vespera, const std::filesystem::path& root,
                    int runs)
{
    std::vector<SSizeFigures> onServer;
    if (!RunOnServer(ansd, vespera, root, runs, onServer))
        return 1;
    if (onServer.empty())
        return 0;
    PrintFigures(onServer);
    PrintServerGoals(onServer);
    return 0;
}

int main(int argc, char** argv)
{
    const int runs = argc >= 2 ? std::atoi(argv[1]) : 5;
    const bool serverOnly = argc == 3 && std::string(argv[2]) == "caldav";
    if ((argc > 2 && !serverOnly) || runs <= 0 || runs > 1000) {
        std::fprintf(stderr, "usage: negotiation_bench [RUNS [caldav]]   (RUNS 1 to 1000, default 5)\n");
        return 2;
    }
    char pattern[] = "/tmp/negotiation-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made)
        return 1;
    const std::filesystem::path root = made;
    setenv("ORVANTE_HOST_ADDRESS", kLoopback, 1);
    // The agents' start-up pauses are no part of a negotiation.
    setenv("ORVANTE_STARTUP_PAUSE_MS", "0", 1);
    signal(SIGPIPE, SIG_IGN);

    int status = serverOnly ? RunOnServerOnly(ANSD_BINARY, VESPERA_BINARY, root, runs)
                            : RunNegotiations(ANSD_BINARY, VESPERA_BINARY, root, runs);
    if (status == 0 && !serverOnly) {
        PointEnvironmentAt(root / "search");
        status = RunSearches();
    }
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return status;
}
