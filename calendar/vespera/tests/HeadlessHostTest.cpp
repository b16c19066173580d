// The headless agent as a process: a real name server, one vespera with its
// own home and registry, and agent-tell asking it for appointments.

#include <platform/testing/ChildProcess.h>

#include <ansd/testing/AnsdProcess.h>
#include <platform/Registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using testsupport::CChildProcess;

namespace {

const char* const AgentName = "user_example.org-CalendarAgent";
const char* const SettingsKey = "Software\\ORVANTE\\CalendarAgent";

class HeadlessHostTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "vespera-host-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_root = pattern;
        PointEnvironment();
        m_ansd = std::make_unique<CAnsdProcess>(m_root.string());
        ASSERT_TRUE(m_ansd->Start()) << m_ansd->Errors();
    }

    void TearDown() override
    {
        m_agent.reset();
        m_ansd.reset();
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }

    // Children inherit the environment, so the agent finds its home and
    // registry here and announces 127.0.0.1 as its address.
    void PointEnvironment()
    {
        for (const char* dir : {"config", "data", "run", "registry"})
            std::filesystem::create_directories(m_root / dir);
        setenv("HOME", m_root.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (m_root / "config").c_str(), 1);
        setenv("XDG_DATA_HOME", (m_root / "data").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (m_root / "run").c_str(), 1);
        setenv("ORVANTE_REGISTRY_DIR", (m_root / "registry").c_str(), 1);
        setenv("ORVANTE_HOST_ADDRESS", "127.0.0.1", 1);
        setenv("ORVANTE_STARTUP_PAUSE_MS", "0", 1);
        setenv("ORVANTE_SHUTDOWN_PAUSE_MS", "0", 1);
    }

    void StoreRegistration(int meetingSchedulingType)
    {
        CRegistry registry;
        ASSERT_EQ(registry.WriteValue(SettingsKey, "AgentName", AgentName), CRegistry::Ok);
        ASSERT_EQ(registry.WriteValue(SettingsKey, "ANSHost", "127.0.0.1"), CRegistry::Ok);
        ASSERT_EQ(registry.WriteValue(SettingsKey, "ANSPort", std::to_string(m_ansd->port)), CRegistry::Ok);
        ASSERT_EQ(
            registry.WriteValue(SettingsKey, "MeetingSchedulingType", std::to_string(meetingSchedulingType)),
            CRegistry::Ok);
    }

    // Starts the agent (with --headless, or with the options given) and
    // waits until it says it is registered and ready.
    void StartAgent(const std::vector<std::string>& options = {"--headless"})
    {
        m_agent = std::make_unique<CChildProcess>();
        ASSERT_TRUE(m_agent->Start(VESPERA_BINARY, options, (m_root / "vespera.err").string()));
        std::string line;
        ASSERT_TRUE(m_agent->ReadLine(line)) << m_agent->Errors();
        const std::string registered = line;
        ASSERT_TRUE(m_agent->ReadLine(line)) << m_agent->Errors();
        ASSERT_EQ(line.rfind("ready ", 0), 0u) << line;
        EXPECT_EQ(registered, std::string("registered ") + AgentName + " at 127.0.0.1:" + line.substr(6));
    }

    // The content of the one reply agent-tell printed, or a marker.
    std::string Tell(const std::string& content)
    {
        CChildProcess tell;
        const std::vector<std::string> args{"-ans",   "127.0.0.1", "-ansport", std::to_string(m_ansd->port),
                                            "--wait", "10",        AgentName,  content};
        if (!tell.Start(AGENT_TELL_BINARY, args, (m_root / "tell.err").string()))
            return "<not started>";
        if (tell.Wait() != 0 || tell.lines.size() != 1)
            return "<no single reply> " + tell.Errors();
        const std::string& reply = tell.lines[0];
        m_lastReply = reply;
        const std::string open = ":content ( ";
        std::size_t from = reply.find(open);
        std::size_t to = reply.rfind(" ))");
        if (from == std::string::npos || to == std::string::npos || to < from)
            return "<unreadable> " + reply;
        return reply.substr(from + open.size(), to - from - open.size());
    }

    static std::string RequestAt(const std::string& start)
    {
        return "tell :command request_appt :duration (60) :startTime (" + start +
               ") :subject (Lunch) :email (ann@example.org) :fname (Ann) :lname (Lee)";
    }

    std::filesystem::path m_root;
    std::unique_ptr<CAnsdProcess> m_ansd;
    std::unique_ptr<CChildProcess> m_agent;
    std::string m_lastReply;
};

TEST_F(HeadlessHostTest, AnswersAppointmentRequestsWithAcceptAlternativeAndReject)
{
    StoreRegistration(2);
    StartAgent();

    EXPECT_EQ(Tell(RequestAt("3/4/2031 10:00:00 AM")),
              "tell :startTime (3/4/2031 10:00:00 AM) :duration (60) :status accept :timezone (UTC)");
    // Replies carry the two texts in the places the requesting agents read.
    EXPECT_NE(m_lastReply.find(":ontology default-language :language default-ontology"), std::string::npos)
        << m_lastReply;

    EXPECT_EQ(Tell("tell :command appointment :start (tell :day 4 :month 3 :year 2031 :hour 10 :minute 0)"
                   " :duration (60) :subject (Taken)"),
              "tell :command success");
    EXPECT_EQ(Tell(RequestAt("3/4/2031 10:00:00 AM")),
              "tell :startTime (3/4/2031 11:00:00 AM) :duration (60) :status alt :timezone (UTC)");

    EXPECT_EQ(Tell(RequestAt("some time soon")), "tell :status reject");

    m_agent->Signal(SIGTERM);
    EXPECT_EQ(m_agent->Wait(), 0) << m_agent->Errors();
}

TEST_F(HeadlessHostTest, NoMeetingsPolicyRejects)
{
    StoreRegistration(0);
    StartAgent();
    EXPECT_EQ(Tell(RequestAt("3/4/2031 10:00:00 AM")), "tell :status reject");
    m_agent->Signal(SIGTERM);
    EXPECT_EQ(m_agent->Wait(), 0) << m_agent->Errors();
}

TEST_F(HeadlessHostTest, WithoutADisplayTheProgramRunsHeadless)
{
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    StoreRegistration(0);
    StartAgent({});
    EXPECT_EQ(Tell(RequestAt("3/4/2031 10:00:00 AM")), "tell :status reject");
    m_agent->Signal(SIGTERM);
    EXPECT_EQ(m_agent->Wait(), 0) << m_agent->Errors();
}

// --help prints the usage and starts nothing: no log, no lock, no files.
TEST(HeadlessHostOptionsTest, HelpPrintsTheUsageAndTouchesNothing)
{
    const std::filesystem::path home = std::filesystem::temp_directory_path() / "vespera-help-home";
    std::filesystem::remove_all(home);
    std::filesystem::create_directories(home);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", home.c_str(), 1);
    setenv("ORVANTE", home.c_str(), 1);
    setenv("ORVANTE_REGISTRY_DIR", (home / "registry").c_str(), 1);
    for (const char* option : {"--help", "-h"}) {
        CChildProcess agent;
        ASSERT_TRUE(agent.Start(VESPERA_BINARY, {"--headless", option}, (home / "help.err").string()));
        EXPECT_EQ(agent.Wait(), 0);
        ASSERT_FALSE(agent.lines.empty());
        EXPECT_EQ(agent.lines[0].rfind("usage: vespera", 0), 0u);
        // Every option of the usage line is explained on a line of its own.
        for (const char* named : {"--headless", "-name", "-port", "-ans ", "-ansport", "-noans", "-unique"}) {
            bool explained = false;
            for (const std::string& line : agent.lines)
                explained = explained || line.rfind(std::string("  ") + named, 0) == 0;
            EXPECT_TRUE(explained) << named;
        }
    }
    std::filesystem::remove(home / "help.err");
    EXPECT_TRUE(std::filesystem::is_empty(home));
    std::filesystem::remove_all(home);
}

} // namespace
