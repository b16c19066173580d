// The agent on a calendar server its user's other devices share: a
// negotiated meeting is written there, and an event another device adds
// there is busy time once the agent's next poll has read it. While the
// server is down a meeting agreed waits in the agent's journal and reaches
// the server once it is back; an agent started then answers from its copy.

#include "AgentSociety.h"

#include <outlook/DavClient.h>
#include <outlook/testing/RadicaleServer.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

using namespace vesperaprocess;

namespace {

const char* const AnnName = "ann_example.org-CalendarAgent";
const char* const OrganiserName = "org_example.org-CalendarAgent";

std::string Event(const std::string& uid, const std::string& summary, const std::string& start)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Phone//EN\r\nBEGIN:VEVENT\r\nUID:" + uid +
           "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:" + start + "\r\nDURATION:PT1H\r\nSUMMARY:" + summary +
           "\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

std::string AskFor(CAgentSociety& society, const std::string& start)
{
    return society.Tell(AnnName, "tell :command request_appt :duration (60) :startTime (" + start +
                                     ") :subject (Lunch) :email (cy@example.org) :fname (Cy) :lname (Ng)");
}

class CalDavProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!testsupport::CRadicaleServer::Available())
            GTEST_SKIP() << "radicale is not installed";
        ASSERT_TRUE(m_server.Start()) << m_server.Errors();
        ASSERT_EQ(m_phone.Request("MKCALENDAR", m_server.Url("/ann/calendar/"), {}).status, 201);
        ASSERT_TRUE(PhonePuts("dentist.ics", Event("dentist-1", "Dentist", "20310304T100000Z")));
        ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure();
    }

    bool PhonePuts(const std::string& name, const std::string& text)
    {
        return m_server.DevicePuts("/ann/calendar/" + name, text);
    }

    std::string OnServer() { return m_server.DeviceReads("/ann/calendar/"); }

    // The society points HOME at each agent's home in turn, and the test's
    // own requests read ~/.netrc there too.
    void GiveNetrc(const std::string& label)
    {
        const std::filesystem::path home = m_society.HomeOf(label);
        std::filesystem::create_directories(home);
        std::ofstream(home / ".netrc")
            << "machine 127.0.0.1 login ann password " << testsupport::CRadicaleServer::Password << "\n";
        std::filesystem::permissions(home / ".netrc", std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_write);
    }

    bool ScheduleWithAnn(const std::string& subject)
    {
        return m_society.TellOnly(OrganiserName, "tell :command schedule_meeting :attendees (" +
                                                     std::string(AnnName) + ") :subject (" + subject +
                                                     ") :body (b) :start (3/4/2031 1:00:00 PM)"
                                                     " :location (Room) :duration (30)");
    }

    static int Count(const std::string& text, const std::string& part)
    {
        int count = 0;
        for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
            ++count;
        return count;
    }

    // Ann's agent, on the server, with her password in her ~/.netrc.
    SAgentProcess* StartAnn()
    {
        GiveNetrc("ann");
        GiveNetrc("organiser");
        return m_society.StartAgent({AnnName,
                                     "ann",
                                     {{"MeetingSchedulingType", "2"},
                                      {"CalendarStore", "caldav"},
                                      {"CalDAVURL", m_server.Url("/")},
                                      {"CalDAVUser", "ann"},
                                      {"CalDAVPollSeconds", "1"}},
                                     {}});
    }

    testsupport::CRadicaleServer m_server;
    outlook::CDavClient m_phone{{testsupport::CRadicaleServer::User, 5000}};
    CAgentSociety m_society;
};

} // namespace

TEST_F(CalDavProcessTest, AMeetingLandsOnTheServerAndAPhonesEventIsBusyAfterThePoll)
{
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr) << m_society.Failure();
    EXPECT_EQ(AskFor(m_society, "3/4/2031 10:00:00 AM").find(":status accept"), std::string::npos)
        << "the dentist on the server is busy time";

    SAgentProcess* organiser = m_society.StartAgent({OrganiserName, "organiser", {}, {}});
    ASSERT_NE(organiser, nullptr) << m_society.Failure();
    ASSERT_TRUE(ScheduleWithAnn("Budget")) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "tell :type confirm :negID ", 1}})) << m_society.AllLogs();
    EXPECT_NE(OnServer().find("SUMMARY:Budget"), std::string::npos) << OnServer();

    ASSERT_TRUE(PhonePuts("gym.ics", Event("gym-1", "Gym", "20310305T100000Z")));
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann, "the calendar or the contacts were changed by another program; reading them again", 1}}))
        << ann->Log();
    EXPECT_EQ(AskFor(m_society, "3/5/2031 10:00:00 AM").find(":status accept"), std::string::npos);
    EXPECT_NE(AskFor(m_society, "3/6/2031 10:00:00 AM").find(":status accept"), std::string::npos);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(CalDavProcessTest, AMeetingAgreedWhileTheServerIsDownReachesItOnceAndAStartAnswersFromTheCopy)
{
    SAgentProcess* ann = StartAnn();
    SAgentProcess* organiser = m_society.StartAgent({OrganiserName, "organiser", {}, {}});
    ASSERT_TRUE(ann && organiser) << m_society.Failure();
    m_server.Stop();
    ASSERT_TRUE(ScheduleWithAnn("Offsite")) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "tell :type confirm :negID ", 1}})) << m_society.AllLogs();
    std::ifstream journal(ann->DataDirectory() / "caldav-journal");
    const std::string journalled((std::istreambuf_iterator<char>(journal)), {});
    EXPECT_NE(journalled.find("SUMMARY:Offsite"), std::string::npos) << journalled;

    ASSERT_TRUE(m_server.Start()) << m_server.Errors();
    ASSERT_TRUE(CAgentSociety::WaitForLines(
        {{ann, "the calendar or the contacts were changed by another program; reading them again", 1}}))
        << ann->Log();
    EXPECT_EQ(Count(OnServer(), "SUMMARY:Offsite"), 1) << OnServer();

    ASSERT_TRUE(m_society.StopAgent(*ann)) << m_society.Failure();
    m_server.Stop();
    ASSERT_TRUE(m_society.RestartAgent(*ann)) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "the agent answers from the copy it read last", 1}}))
        << ann->Log();
    EXPECT_EQ(AskFor(m_society, "3/4/2031 10:00:00 AM").find(":status accept"), std::string::npos)
        << "the dentist, from the copy";
    EXPECT_EQ(AskFor(m_society, "3/4/2031 1:00:00 PM").find(":status accept"), std::string::npos)
        << "the meeting agreed while the server was down, from the copy";
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}
