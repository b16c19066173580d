// A whole meeting negotiation between real processes: a name server, an
// organiser and two attendees, each agent with its own home, registry and
// log, and agent-tell asking the organiser for the meeting. The calendars
// live in the agents' memory, so the test follows the negotiation through
// the lines each agent writes to its log file.

#include "ChildProcess.h"

#include <ansd/testing/AnsdProcess.h>
#include <platform/Registry.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using agenttest::CChildProcess;

namespace
{

const char* const SettingsKey = "Software\\ORVANTE\\CalendarAgent";
const char* const OrganiserName = "org_example.org-CalendarAgent";
const char* const AnnName = "ann_example.org-CalendarAgent";
const char* const BobName = "bob_example.org-CalendarAgent";

const char* const SuccessBalloon =
    "Balloon: Meeting Request Completed: Your meeting request has been successfully completed.";

// Generous, because three sanitised agents share a small machine.
constexpr std::chrono::seconds NegotiationDeadline{90};
constexpr std::chrono::milliseconds PollInterval{50};

std::size_t CountOf(const std::string& text, const std::string& needle)
{
    std::size_t count = 0;
    for (std::size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + needle.size()))
        ++count;
    return count;
}

// The bid identifier of the first message of `type` that the log shows
// arriving from `sender`; empty when there is none.
std::string IncomingBidID(const std::string& log, const std::string& sender, const std::string& type)
{
    std::istringstream lines(log);
    const std::string key = ":bidID ";
    for (std::string line; std::getline(lines, line);)
    {
        if (line.find("[<-]") == std::string::npos || line.find(":sender " + sender + " ") == std::string::npos ||
            line.find(":type " + type + " ") == std::string::npos)
            continue;
        const std::size_t at = line.find(key);
        if (at == std::string::npos)
            return std::string();
        const std::size_t from = at + key.size();
        return line.substr(from, line.find(' ', from) - from);
    }
    return std::string();
}

// One headless agent with a home of its own; its log files land under
// <home>/Logfiles.
struct AgentUnderTest
{
    std::string name;
    std::filesystem::path home;
    std::unique_ptr<CChildProcess> process;

    std::string Log() const
    {
        std::string text;
        std::error_code error;
        const std::filesystem::path logs = home / "Logfiles";
        if (!std::filesystem::exists(logs, error))
            return text;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(logs, error))
        {
            if (!entry.is_regular_file(error))
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::stringstream content;
            content << in.rdbuf();
            text += content.str();
        }
        return text;
    }
};

// A line that an agent's log must hold at least `times` times.
struct ExpectedLine
{
    const AgentUnderTest* agent;
    std::string text;
    std::size_t times;
};

class NegotiationEndToEndTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vespera-negotiation-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        setenv("ORVANTE_HOST_ADDRESS", "127.0.0.1", 1);
        m_ansd = std::make_unique<CAnsdProcess>(m_root.string());
        ASSERT_TRUE(m_ansd->Start()) << m_ansd->Errors();
    }

    void TearDown() override
    {
        for (AgentUnderTest& agent : m_agents)
            agent.process.reset();
        m_ansd.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    // Children inherit the environment, so pointing it at the agent's home
    // just before starting it gives every agent its own files.
    static void PointEnvironmentAt(const std::filesystem::path& home)
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

    void StoreRegistration(const std::string& name, bool reportsResults)
    {
        CRegistry registry;
        ASSERT_EQ(registry.WriteValue(SettingsKey, "AgentName", name), CRegistry::Ok);
        ASSERT_EQ(registry.WriteValue(SettingsKey, "ANSHost", "127.0.0.1"), CRegistry::Ok);
        ASSERT_EQ(registry.WriteValue(SettingsKey, "ANSPort", std::to_string(m_ansd->port)), CRegistry::Ok);
        ASSERT_EQ(registry.WriteValue(SettingsKey, "MeetingSchedulingType", "2"), CRegistry::Ok);
        // The long report is the one that leaves a line in a headless log.
        if (reportsResults)
        {
            ASSERT_EQ(registry.WriteValue(SettingsKey, "MeetingScheduleLongAlert", "true"), CRegistry::Ok);
        }
    }

    // Starts one agent and waits until it is registered and ready.
    void StartAgent(const std::string& name, const std::string& label, bool reportsResults)
    {
        AgentUnderTest agent{name, m_root / label, std::make_unique<CChildProcess>()};
        PointEnvironmentAt(agent.home);
        StoreRegistration(name, reportsResults);
        ASSERT_TRUE(agent.process->Start(VESPERA_BINARY, {"--headless"}, (agent.home / "vespera.err").string()));
        std::string line;
        ASSERT_TRUE(agent.process->ReadLine(line)) << agent.process->Errors();
        EXPECT_EQ(line, "registered " + name + " at 127.0.0.1:" + std::to_string(m_ansd->port));
        ASSERT_TRUE(agent.process->ReadLine(line)) << agent.process->Errors();
        EXPECT_EQ(line.rfind("ready ", 0), 0u) << line;
        m_agents.push_back(std::move(agent));
    }

    void StartOrganiserAndAttendees()
    {
        StartAgent(OrganiserName, "organiser", true);
        StartAgent(AnnName, "ann", false);
        StartAgent(BobName, "bob", false);
    }

    // Sends the request and returns agent-tell's exit status; the organiser
    // answers nothing on this connection, so nothing is waited for.
    int TellOrganiser(const std::string& content)
    {
        CChildProcess tell;
        const std::vector<std::string> args{"-ans", "127.0.0.1", "-ansport", std::to_string(m_ansd->port),
                                             "--wait", "0", OrganiserName, content};
        if (!tell.Start(AGENT_TELL_BINARY, args, (m_root / "tell.err").string()))
            return -1;
        const int status = tell.Wait();
        m_tellErrors = tell.Errors();
        return status;
    }

    // True once every expected line is in its agent's log; polls until the
    // deadline.
    static bool WaitForLines(const std::vector<ExpectedLine>& wanted)
    {
        const auto deadline = std::chrono::steady_clock::now() + NegotiationDeadline;
        for (;;)
        {
            bool all = true;
            for (const ExpectedLine& line : wanted)
                all = all && CountOf(line.agent->Log(), line.text) >= line.times;
            if (all)
                return true;
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(PollInterval);
        }
    }

    static std::string MeetingRequest(const std::string& start)
    {
        return std::string("tell :command schedule_meeting :attendees (") + AnnName + "," + BobName +
               ") :subject (Planning) :body (Quarterly plan) :start (" + start +
               ") :location (Room 4) :duration (60)";
    }

    // All are told first, because each agent lingers a while before it ends.
    void StopAgents()
    {
        for (AgentUnderTest& agent : m_agents)
            agent.process->Signal(SIGTERM);
        for (AgentUnderTest& agent : m_agents)
            EXPECT_EQ(agent.process->Wait(), 0) << agent.name << ": " << agent.process->Errors();
    }

    std::filesystem::path m_root;
    std::unique_ptr<CAnsdProcess> m_ansd;
    std::vector<AgentUnderTest> m_agents;
    std::string m_tellErrors;
};

TEST_F(NegotiationEndToEndTest, StrictTimeFreeForBothAttendeesIsScheduledAndReported)
{
    StartOrganiserAndAttendees();
    ASSERT_EQ(m_agents.size(), 3u);
    const AgentUnderTest& organiser = m_agents[0];
    const AgentUnderTest& ann = m_agents[1];
    const AgentUnderTest& bob = m_agents[2];

    ASSERT_EQ(TellOrganiser(MeetingRequest("3/4/2031 10:00:00 AM")), 0) << m_tellErrors;

    const std::string confirm = "tell :type confirm :negID ";
    const bool finished = WaitForLines({{&ann, confirm, 1},
                                        {&bob, confirm, 1},
                                        {&organiser, "processing confirmation", 2},
                                        {&organiser, SuccessBalloon, 1}});
    ASSERT_TRUE(finished) << "organiser:\n"
                          << organiser.Log() << "\nann:\n"
                          << ann.Log() << "\nbob:\n"
                          << bob.Log();

    const std::string organiserLog = organiser.Log();
    // Both attendees took the requested time as it was and accepted it.
    for (const AgentUnderTest* attendee : {&ann, &bob})
    {
        const std::string log = attendee->Log();
        EXPECT_NE(log.find("ITS A STRICT TIME SLOT"), std::string::npos) << attendee->name << "\n" << log;
        EXPECT_EQ(log.find("THE STRICT TIME SLOT IS NOT FREE"), std::string::npos) << attendee->name << "\n" << log;
        EXPECT_NE(log.find(":status accept :attributes "), std::string::npos) << attendee->name << "\n" << log;
        EXPECT_NE(log.find("Now adding this appointment to the local store"), std::string::npos)
            << attendee->name << "\n" << log;
    }
    EXPECT_EQ(CountOf(organiserLog, "bid is an accept"), 2u) << organiserLog;
    EXPECT_EQ(CountOf(organiserLog, "Preprocessing data to send awards"), 1u) << organiserLog;
    EXPECT_EQ(CountOf(organiserLog, "processing confirmation"), 2u) << organiserLog;
    EXPECT_EQ(CountOf(organiserLog, SuccessBalloon), 1u) << organiserLog;
    // The meeting is made once in the organiser's own calendar.
    EXPECT_EQ(CountOf(organiserLog, "Now adding this appointment to the local store"), 1u) << organiserLog;
    EXPECT_EQ(organiserLog.find("ERROR:"), std::string::npos) << organiserLog;
    EXPECT_EQ(organiserLog.find("No negotiation to confirm"), std::string::npos) << organiserLog;

    // Each attendee's award, and so its confirmation, carries its own bid.
    const std::string annBid = IncomingBidID(organiserLog, AnnName, "bid");
    const std::string bobBid = IncomingBidID(organiserLog, BobName, "bid");
    EXPECT_FALSE(annBid.empty()) << organiserLog;
    EXPECT_FALSE(bobBid.empty()) << organiserLog;
    EXPECT_NE(annBid, bobBid);
    EXPECT_EQ(IncomingBidID(organiserLog, AnnName, "confirm"), annBid);
    EXPECT_EQ(IncomingBidID(organiserLog, BobName, "confirm"), bobBid);

    StopAgents();
}

} // namespace
