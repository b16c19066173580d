// Another agent's answer while the calendar agent fetches a web schedule
// from a server that accepts and does not answer, and while it sends the
// contracts of a meeting whose twelve attendees' addresses swallow
// connects, beside the same answer while the agent is idle, all measured in
// one run.
//
// A name server and one headless agent run as processes on 127.0.0.1; this
// program is an agent too. It times request_appt round trips (the request
// out, the agent's reply in) first with the agent idle, then after it has
// asked the agent to import a schedule whose server holds the answer back,
// once that fetch has reached the server and waits there. The figure is
//     median answer time during the stall / median answer time idle,
// which stays near 1 when nothing the fetch does holds the agent up, and
// likewise for the meeting (measured within its connects' time-out).
//
//   fetch_stall_bench [RUNS]     (round trips each way, default 21)

#include <agentkit/AgentContainer.h>
#include <agentkit/DlgContainer.h>
#include <graphstore/testing/HttpDocumentServer.h>
#include <platform/PollEventLoop.h>
#include <platform/Registry.h>
#include <platform/testing/BlackHole.h>
#include <platform/testing/ChildProcess.h>
#include <platform/testing/Peer.h>
#include <wirekit/Communicator.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kLoopback = "127.0.0.1";
constexpr const char* kBenchName = "FetchStallBench";
constexpr const char* kAgent = "ann_bench.example-CalendarAgent";
constexpr const char* kSettingsKey = "Software\\ORVANTE\\CalendarAgent";
constexpr int kStartWaitMs = 30000;
constexpr unsigned kAnswerLimitMs = 60000;

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

// The name server and the agent, ended with the object.
class CSociety {
public:
    explicit CSociety(std::filesystem::path root) : m_root(std::move(root)) {}
    ~CSociety()
    {
        m_agent.Signal(SIGTERM);
        m_agent.Wait(20000);
    }

    bool Start()
    {
        std::string line;
        if (!m_ansd.Start(ANSD_BINARY, {"--port", "0", "--bind", kLoopback},
                          (m_root / "ansd.err").string()) ||
            !m_ansd.ReadLine(line, kStartWaitMs) || line.rfind(':') == std::string::npos)
            return false;
        m_ansPort = static_cast<unsigned>(std::strtoul(line.c_str() + line.rfind(':') + 1, nullptr, 10));
        PointEnvironmentAt(m_root / "ann");
        CRegistry registry;
        const std::pair<const char*, std::string> values[] = {{"AgentName", kAgent},
                                                              {"ANSHost", kLoopback},
                                                              {"ANSPort", std::to_string(m_ansPort)},
                                                              {"MeetingSchedulingType", "2"},
                                                              {"AutoLoadSchedule", "true"},
                                                              {"PeerFetchLocalAddresses", "true"}};
        for (const auto& [key, value] : values)
            if (registry.WriteValue(kSettingsKey, key, value) != CRegistry::Ok)
                return false;
        if (!m_agent.Start(VESPERA_BINARY, {"--headless"}, (m_root / "ann" / "vespera.err").string()))
            return false;
        return m_agent.ReadLine(line, kStartWaitMs) && line.rfind("registered ", 0) == 0 &&
               m_agent.ReadLine(line, kStartWaitMs) && line.rfind("ready ", 0) == 0;
    }
    unsigned AnsPort() const { return m_ansPort; }

private:
    std::filesystem::path m_root;
    testsupport::CChildProcess m_ansd;
    testsupport::CChildProcess m_agent;
    unsigned m_ansPort = 0;
};

// Asks the agent and hears its replies.
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
        m_reply = text ? text : "";
        m_waiting = false;
        get_handler()->GetEventLoop()->Quit();
        return 1;
    }

    bool Tell(const std::string& content)
    {
        return get_communicator()->comm_sendmessage("tell", kAgent, "default-ontology", "default-language",
                                                    nullptr, nullptr, nullptr, content.c_str(),
                                                    nullptr) == nullptr;
    }

    // Seconds from the request to its reply; negative when none came.
    double Ask(CEventLoop& loop)
    {
        m_waiting = true;
        const auto sent = Clock::now();
        if (!Tell("tell :command request_appt :startTime (3/4/2031 10:00:00 AM) :duration (30)"))
            return -1;
        const CEventLoop::TimerId limit =
            loop.AddTimer(kAnswerLimitMs, false, [&loop](CEventLoop::TimerId) { loop.Quit(); });
        loop.Run();
        loop.KillTimer(limit);
        if (m_waiting || m_reply.find(":status") == std::string::npos)
            return -1;
        return std::chrono::duration<double>(Clock::now() - sent).count();
    }

private:
    std::string m_reply;
    bool m_waiting = false;
};

bool StartBenchAgent(CDlgContainer& window, unsigned ansPort)
{
    std::vector<std::string> args{"fetch_stall_bench",    "-name", kBenchName, "-ans", kLoopback, "-ansport",
                                  std::to_string(ansPort)};
    std::vector<char*> argv;
    for (std::string& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    return window.CreateContainer(static_cast<int>(args.size()), argv.data(), 0) != 0;
}

// The median of `runs` round trips; negative when one got no answer.
double MedianAnswer(CEventLoop& loop, CBenchAgent& bench, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const double seconds = bench.Ask(loop);
        if (seconds < 0)
            return -1;
        times.push_back(seconds);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Runs the loop until the server holds the agent's fetch.
bool WaitUntilHeld(CEventLoop& loop, const testsupport::CHttpDocumentServer& server)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(kStartWaitMs);
    const CEventLoop::TimerId check = loop.AddTimer(1, true, [&](CEventLoop::TimerId) {
        if (server.Holding() > 0 || Clock::now() > deadline)
            loop.Quit();
    });
    loop.Run();
    loop.KillTimer(check);
    return server.Holding() > 0;
}

// One registration at the name server, as an agent makes it; its reply
// ends with the end-of-message byte.
bool Register(unsigned ansPort, const std::string& name, const std::string& url)
{
    testsupport::CPeer server;
    if (!server.connect_to(ansPort) || !server.send_all("register " + name + " " + url + "\n"))
        return false;
    std::string reply;
    char buffer[4096];
    while (reply.find('\x04') == std::string::npos) {
        pollfd waiting{server.fd, POLLIN, 0};
        if (::poll(&waiting, 1, kStartWaitMs) <= 0)
            return false;
        const ssize_t n = server.read_once(buffer, sizeof buffer);
        if (n <= 0)
            return false;
        reply.append(buffer, static_cast<std::size_t>(n));
    }
    return reply.rfind("success", 0) == 0;
}

// Registers twelve attendees at the black hole and asks the agent for a
// meeting with them; false when the name server refused one.
bool AskForBlackHoledMeeting(CBenchAgent& bench, unsigned ansPort, const testsupport::CBlackHole& hole)
{
    std::string attendees;
    for (int i = 0; i < 12; ++i) {
        const std::string name = "gone" + std::to_string(i) + "_bench.example-CalendarAgent";
        if (!Register(ansPort, name, "tcp://127.0.0.1:" + std::to_string(hole.Port())))
            return false;
        attendees += (i ? "," : "") + name;
    }
    return bench.Tell("tell :command schedule_meeting :attendees (" + attendees +
                      ") :subject (Void) :body (x) :start (3/4/2031 10:00:00 AM) :location (Nowhere)"
                      " :duration (30)");
}

int Run(const std::filesystem::path& root, int runs)
{
    CSociety society(root);
    if (!society.Start()) {
        std::fprintf(stderr, "fetch_stall_bench: the name server or the agent did not start\n");
        return 1;
    }
    testsupport::CHttpDocumentServer server;
    server.Put("/schedule.rdf", "application/rdf+xml",
               "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"/>");
    server.Hold("/schedule.rdf");
    PointEnvironmentAt(root / "bench");
    CPollEventLoop loop;
    auto owned = std::make_unique<CBenchAgent>();
    CBenchAgent* bench = owned.get();
    CDlgContainer window(std::move(owned));
    if (!StartBenchAgent(window, society.AnsPort())) {
        std::fprintf(stderr, "fetch_stall_bench: the requesting agent did not start\n");
        return 1;
    }
    const double idle = MedianAnswer(loop, *bench, runs);
    if (idle < 0 ||
        !bench->Tell("tell :objective uploadScheduleURL :url \"" + server.Url("/schedule.rdf") + "\"") ||
        !WaitUntilHeld(loop, server)) {
        std::fprintf(stderr,
                     "fetch_stall_bench: no answer while idle, or the fetch never reached the server\n");
        return 1;
    }
    const double stalled = MedianAnswer(loop, *bench, runs);
    const bool stillHeld = server.Holding() > 0;
    server.Release();
    if (stalled < 0) {
        std::fprintf(stderr, "fetch_stall_bench: no answer during the stall\n");
        return 1;
    }
    testsupport::CBlackHole hole;
    if (!AskForBlackHoledMeeting(*bench, society.AnsPort(), hole)) {
        std::fprintf(stderr, "fetch_stall_bench: the black-holed attendees could not be registered\n");
        return 1;
    }
    const double meeting = MedianAnswer(loop, *bench, runs);
    if (meeting < 0) {
        std::fprintf(stderr, "fetch_stall_bench: no answer during the black-holed meeting\n");
        return 1;
    }
    std::printf("request_appt round trips, %d each way (median)\n", runs);
    std::printf("  idle agent:                   %8.2f ms\n", idle * 1e3);
    std::printf("  during a stalled fetch:       %8.2f ms%s\n", stalled * 1e3,
                stillHeld ? "" : "   (the fetch ended before the last answer)");
    std::printf("  ratio stalled / idle:         %8.2f   goal <= 2.0: %s\n", stalled / idle,
                stalled / idle <= 2.0 ? "met" : "missed");
    std::printf("  during a black-holed meeting: %8.2f ms\n", meeting * 1e3);
    std::printf("  ratio meeting / idle:         %8.2f   goal <= 2.0: %s\n", meeting / idle,
                meeting / idle <= 2.0 ? "met" : "missed");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc == 2 ? std::atoi(argv[1]) : 21;
    if (argc > 2 || runs <= 0 || runs > 10000) {
        std::fprintf(stderr, "usage: fetch_stall_bench [RUNS]   (RUNS 1 to 10000, default 21)\n");
        return 2;
    }
    char pattern[] = "/tmp/fetch-stall-bench-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made)
        return 1;
    const std::filesystem::path root = made;
    setenv("ORVANTE_HOST_ADDRESS", kLoopback, 1);
    setenv("ORVANTE_STARTUP_PAUSE_MS", "0", 1);
    signal(SIGPIPE, SIG_IGN);
    const int status = Run(root, runs);
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    return status;
}
