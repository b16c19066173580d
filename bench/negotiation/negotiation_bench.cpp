// Whole meeting negotiations between real agent processes on 127.0.0.1, timed
// against the raw TCP round trip measured in the same run, and the free-time
// search over a store of 10,000 appointments.
//
// A name server, one organiser and up to 50 attendees run as headless agent
// processes with homes of their own (logging on, as always). This program
// is an agent too: it asks the organiser for a meeting and takes the time
// until the organiser's short report reaches it as its alert agent, which
// the organiser sends when the negotiation has finished with status 1. That
// time therefore holds one extra hop each way (the request and the report)
// beside the negotiation itself; the ratio printed is
//     negotiation time / (attendees x raw TCP round trip).
// The raw round trip is a 512-byte ping-pong with a forked echo process,
// measured just before and just after the negotiations of each size; the
// mean of the two is that size's baseline, so that a change in the load of
// the machine during the run touches both sides of the ratio.
//
//   negotiation_bench [RUNS]     (timed negotiations per size, default 5)

#include <vespera/core/Preferences.h>
#include <vespera/core/Vespera.h>

#include <agentkit/AgentContainer.h>
#include <agentkit/DlgContainer.h>
#include <platform/DateTime.h>
#include <platform/DateTimeSpan.h>
#include <platform/PollEventLoop.h>
#include <platform/Registry.h>
#include <platform/testing/ChildProcess.h>
#include <slotbook/TimeSlotStore.h>
#include <vespera/core/AppointmentStore.h>
#include <wirekit/Communicator.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kBenchName = "NegotiationBench";
constexpr const char* kOrganiser = "org_bench.example-CalendarAgent";
constexpr const char* kSettingsKey = "Software\\ORVANTE\\CalendarAgent";
constexpr int kStartWaitMs = 30000;
constexpr unsigned kNegotiationLimitMs = 120000;
constexpr std::size_t kRawMessageSize = 512;
constexpr int kRawRoundTrips = 20000;

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

bool StoreSettings(const std::string& name, unsigned ansPort, bool organiser)
{
    CRegistry registry;
    std::vector<std::pair<const char*, std::string>> values{{"AgentName", name},
                                                            {"ANSHost", kLoopback},
                                                            {"ANSPort", std::to_string(ansPort)},
                                                            {"MeetingSchedulingType", "2"}};
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

class CSociety {
public:
    CSociety(std::string ansd, std::string vespera, std::filesystem::path root)
        : m_ansdBinary(std::move(ansd)), m_vesperaBinary(std::move(vespera)), m_root(std::move(root))
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

    bool StartAgent(const std::string& name, const std::string& label, bool organiser)
    {
        const std::filesystem::path home = m_root / label;
        PointEnvironmentAt(home);
        if (!StoreSettings(name, m_ansPort, organiser))
            return Fail("cannot write the registry of " + name);
        auto child = std::make_unique<CChild>();
        if (!child->Start(m_vesperaBinary, {"--headless"}, (home / "vespera.err").string()))
            return Fail("cannot start " + name);
        std::string line;
        if (!child->ReadLine(line, kStartWaitMs) || line.rfind("registered ", 0) != 0)
            return Fail(name + " did not register: " + line);
        if (!child->ReadLine(line, kStartWaitMs) || line.rfind("ready ", 0) != 0)
            return Fail(name + " did not get ready: " + line);
        m_agents.push_back(std::move(child));
        return true;
    }

    unsigned AnsPort() const { return m_ansPort; }
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

// --- raw TCP ------------------------------------------------------------------------

bool SendAll(int fd, const char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool ReceiveAll(int fd, char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::recv(fd, data, size, 0);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

void EchoUntilClosed(int listener)
{
    const int fd = ::accept(listener, nullptr, nullptr);
    char buffer[kRawMessageSize];
    while (fd >= 0 && ReceiveAll(fd, buffer, sizeof buffer) && SendAll(fd, buffer, sizeof buffer)) {
    }
    _exit(0);
}

// Seconds per round trip of a 512-byte ping-pong with another process over
// 127.0.0.1, Nagle off as on the agents' connections; negative on failure.
double RawRoundTrip()
{
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kLoopback, &address.sin_addr);
    socklen_t size = sizeof address;
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        return -1;
    const pid_t echo = ::fork();
    if (echo == 0)
        EchoUntilClosed(listener);
    ::close(listener);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    double seconds = -1;
    if (echo > 0 && fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        char buffer[kRawMessageSize] = {};
        bool ok = true;
        for (int i = 0; ok && i < kRawRoundTrips / 10; ++i)
            ok = SendAll(fd, buffer, sizeof buffer) && ReceiveAll(fd, buffer, sizeof buffer);
        const auto start = Clock::now();
        for (int i = 0; ok && i < kRawRoundTrips; ++i)
            ok = SendAll(fd, buffer, sizeof buffer) && ReceiveAll(fd, buffer, sizeof buffer);
        if (ok)
            seconds = std::chrono::duration<double>(Clock::now() - start).count() / kRawRoundTrips;
    }
    if (fd >= 0)
        ::close(fd);
    if (echo > 0)
        ::waitpid(echo, nullptr, 0);
    return seconds;
}

// --- negotiations --------------------------------------------------------------------

struct SSizeFigures {
    int attendees = 0;
    double median = 0;
    double best = 0;
    double rawBefore = 0;
    double rawAfter = 0;
};

bool TimeNegotiations(CEventLoop& loop, CBenchAgent& bench, int attendees, int runs, int& day,
                      SSizeFigures& figures)
{
    // The first request of a size also fills the agents' address tables;
    // it is not counted.
    if (bench.Negotiate(loop, MeetingRequest(attendees, day++)) < 0)
        return false;
    figures.rawBefore = RawRoundTrip();
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double seconds = bench.Negotiate(loop, MeetingRequest(attendees, day++));
        if (seconds < 0)
            return false;
        times.push_back(seconds);
    }
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

// The name server, the organiser and every attendee the largest size needs.
bool StartSociety(CSociety& society, int attendees)
{
    if (!society.StartNameServer()) {
        std::fprintf(stderr, "negotiation_bench: the name server did not start\n");
        return false;
    }
    bool started = society.StartAgent(kOrganiser, "organiser", true);
    for (int i = 0; started && i < attendees; ++i)
        started = society.StartAgent(AttendeeName(i), "a" + std::to_string(i), false);
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

void PrintNegotiationFigures(const std::vector<SSizeFigures>& results, int runs)
{
    std::printf("raw TCP round trip: %zu bytes each way with another process, Nagle off\n", kRawMessageSize);
    std::printf("%9s %12s %12s %14s %16s %8s\n", "attendees", "median ms", "best ms", "per attendee",
                "raw rt (b/a) us", "ratio");
    bool goal = true;
    for (const SSizeFigures& figures : results) {
        const double raw = (figures.rawBefore + figures.rawAfter) / 2;
        const double ratio = figures.median / (figures.attendees * raw);
        std::printf("%9d %12.2f %12.2f %11.1f us %7.1f/%-7.1f %9.1f\n", figures.attendees,
                    figures.median * 1e3, figures.best * 1e3, figures.median / figures.attendees * 1e6,
                    figures.rawBefore * 1e6, figures.rawAfter * 1e6, ratio);
        goal = goal && ratio <= 20.0;
    }
    std::printf("ratio = median negotiation time / (attendees x raw round trip), timed runs per size: %d;"
                " goal <= 20: %s\n",
                runs, goal ? "met" : "missed");
}

int RunNegotiations(const std::string& ansd, const std::string& vespera, const std::filesystem::path& root,
                    int runs)
{
    const std::vector<int> sizes{2, 10, 50};
    std::vector<SSizeFigures> results;
    {
        CSociety society(ansd, vespera, root);
        if (!StartSociety(society, sizes.back()))
            return 1;
        PointEnvironmentAt(root / "bench");
        CPollEventLoop loop;
        auto owned = std::make_unique<CBenchAgent>();
        CBenchAgent* bench = owned.get();
        CDlgContainer window(std::move(owned));
        if (!StartBenchAgent(window, society.AnsPort()))
            return 1;
        int day = 0;
        for (int attendees : sizes) {
            SSizeFigures figures;
            if (!TimeNegotiations(loop, *bench, attendees, runs, day, figures))
                return 1;
            results.push_back(figures);
        }
    }
    PrintNegotiationFigures(results, runs);
    return 0;
}

// --- the free-time search --------------------------------------------------------------

// Fills the store with `count` one-hour appointments; `perDay` of them a
// day, two hours apart from 9:00, starting on `first`.
void FillStore(CAppointmentStore& store, int count, int perDay, const CDateTime& first)
{
    CDateTime never;
    never.SetStatus(CDateTime::null);
    for (int i = 0; i < count; ++i) {
        const int hours = perDay >= 24 ? i : (i / perDay) * 24 + 9 + 2 * (i % perDay);
        const CDateTime start = first + CDateTimeSpan(0, hours, 0, 0);
        store.AddAppointment(i + 1, "Busy", "", "", "", "", start, start + CDateTimeSpan(0, 1, 0, 0), 60, 0,
                             0, 2, never, "outlook", false);
    }
}

// Microseconds per FindAlternates call from `start`, repeated for about a
// second; `found` is what one call returned.
double MicrosecondsPerSearch(CVespera& agent, const CDateTime& start, int& found)
{
    const CTimeConstraintSet none;
    int calls = 0;
    const auto begin = Clock::now();
    auto elapsed = Clock::duration::zero();
    do {
        found = agent.GetPreferences().FindAlternates(start, 60, 5, none)->GetCount();
        ++calls;
        elapsed = Clock::now() - begin;
    } while (calls < 5 || elapsed < std::chrono::seconds(1));
    return std::chrono::duration<double, std::micro>(elapsed).count() / calls;
}

int RunSearches(const std::filesystem::path& root)
{
    PointEnvironmentAt(root / "search");
    const CDateTime first(2030, 1, 1, 0, 0, 0);
    std::printf("\nFindAlternates, 5 alternatives of 60 minutes, 10,000 appointments in the store\n");
    {
        // Four appointments a day over almost seven years; the request is
        // busy and its five times lie between them.
        CVespera agent;
        FillStore(agent.GetAppointmentStore(), 10000, 4, first);
        int found = 0;
        const double us = MicrosecondsPerSearch(agent, first + CDateTimeSpan(1200, 9, 0, 0), found);
        std::printf("  spread, 4 a day:        %10.1f us per call (%d found)\n", us, found);
    }
    {
        // Back to back for 10,000 hours: the search runs its whole week.
        CVespera agent;
        FillStore(agent.GetAppointmentStore(), 10000, 24, first);
        int found = 0;
        const double us = MicrosecondsPerSearch(agent, first + CDateTimeSpan(200, 9, 0, 0), found);
        std::printf("  back to back, no room:  %10.1f us per call (%d found)\n", us, found);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc == 2 ? std::atoi(argv[1]) : 5;
    if (argc > 2 || runs <= 0 || runs > 1000) {
        std::fprintf(stderr, "usage: negotiation_bench [RUNS]   (RUNS 1 to 1000, default 5)\n");
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

    int status = RunNegotiations(ANSD_BINARY, VESPERA_BINARY, root, runs);
    if (status == 0)
        status = RunSearches(root);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return status;
}
