// Agents whose users live in different zones, each agent started with its
// own TZ: they must agree on one instant, keep each user's bounds in that
// user's zone, and read messages that name no zone as they always did. The
// calendar files are read back with libical in UTC.

#include "AgentSociety.h"
#include "CalendarEvents.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using namespace vesperaprocess;

namespace {

const char* const OrganiserName = "org_example.org-CalendarAgent";
const char* const AnnName = "ann_example.org-CalendarAgent";

const char* const SuccessBalloon =
    "Balloon: Meeting Request Completed: Your meeting request has been successfully completed.";

// Ann, in New York, is busy from 9:00 to 11:00 on 4 March 2031 (14:00 to
// 16:00 UTC), written as her desktop program leaves it, in UTC.
const char* const AnnCalendar = "BEGIN:VCALENDAR\r\n"
                                "VERSION:2.0\r\n"
                                "PRODID:-//Example Desk//Desk Calendar 4.2//EN\r\n"
                                "BEGIN:VEVENT\r\n"
                                "UID:busy-1@example.org\r\n"
                                "DTSTAMP:20301220T101512Z\r\n"
                                "DTSTART:20310304T140000Z\r\n"
                                "DTEND:20310304T160000Z\r\n"
                                "SUMMARY:Call\r\n"
                                "END:VEVENT\r\n"
                                "END:VCALENDAR\r\n";

class TimeZoneProcessTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* zone = std::getenv("TZ");
        m_savedZone = zone ? std::optional<std::string>(zone) : std::nullopt;
        ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure();
    }

    void TearDown() override
    {
        if (m_savedZone)
            setenv("TZ", m_savedZone->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    SAgentProcess* StartIn(const char* zone, const SAgentSetup& setup, const SAgentFiles& files = {})
    {
        setenv("TZ", zone, 1);
        SAgentProcess* agent = m_society.StartAgent(setup, files);
        EXPECT_NE(agent, nullptr) << m_society.Failure();
        return agent;
    }

    static std::vector<SCalendarEvent> InUtc(const SAgentProcess& agent, const std::string& summary)
    {
        setenv("TZ", "UTC", 1);
        tzset();
        std::vector<SCalendarEvent> events;
        std::string error;
        EXPECT_TRUE(CCalendarEvents::Read(agent.CalendarPath(), events, error))
            << agent.name << ": " << error;
        return CCalendarEvents::WithSummary(events, summary);
    }

    CAgentSociety m_society;
    std::optional<std::string> m_savedZone;
};

// The organiser in Berlin asks for an hour between 10:00 and 18:00 Berlin
// time (4:00 to 12:00 in New York). Ann takes no meeting before 9:00 her
// time and is busy until 11:00: 11:00 in New York, 17:00 in Berlin, is the
// one instant both calendars must hold.
TEST_F(TimeZoneProcessTest, AgentsInTwoZonesWriteOneInstantAndTheAttendeesBoundsStayHers)
{
    const std::vector<std::pair<std::string, std::string>> annValues{
        {"MeetingSchedulingType", "2"}, {"MorningBounds", "true"}, {"MorningTime", "9:00:00"}};
    SAgentProcess* organiser = StartIn("Europe/Berlin", {OrganiserName, "organiser", {}, {}});
    SAgentProcess* ann = StartIn("America/New_York", {AnnName, "ann", annValues, {}}, {AnnCalendar, ""});
    ASSERT_TRUE(organiser && ann);
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "Total Appointments loaded = 1", 1}}))
        << m_society.AllLogs();

    ASSERT_TRUE(m_society.TellOnly(OrganiserName,
                                   std::string("tell :command schedule_meeting :attendees (") + AnnName +
                                       ") :subject (Planning) :body (Plan)"
                                       " :start (3/4/2031 10:00:00 AM) :end (3/4/2031 6:00:00 PM)"
                                       " :location (Room 4) :duration (60)"))
        << m_society.Failure();
    ASSERT_TRUE(
        CAgentSociety::WaitForLines({{ann, "tell :type confirm :negID ", 1}, {organiser, SuccessBalloon, 1}}))
        << m_society.AllLogs();

    // The contract and the bid name their zone; the bid is written in the
    // organiser's, which its echoed constraints are in.
    const std::string annLog = ann->Log();
    EXPECT_FALSE(IncomingLines(annLog, OrganiserName, ":timezone (Europe/Berlin)").empty()) << annLog;
    const std::vector<std::string> bids = IncomingLines(organiser->Log(), AnnName, ":type bid ");
    ASSERT_FALSE(bids.empty());
    EXPECT_NE(bids[0].find(":t1 (3/4/2031 5:00:00 PM)"), std::string::npos) << bids[0];
    EXPECT_NE(bids[0].find(":timezone (Europe/Berlin)"), std::string::npos) << bids[0];

    for (const SAgentProcess* agent : {organiser, ann}) {
        const std::vector<SCalendarEvent> meeting = InUtc(*agent, "Planning");
        ASSERT_EQ(meeting.size(), 1u) << agent->name;
        EXPECT_EQ(meeting[0].start, "2031-03-04 16:00:00") << agent->name;
        EXPECT_EQ(meeting[0].end, "2031-03-04 17:00:00") << agent->name;
    }
    std::ifstream file(ann->CalendarPath(), std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    EXPECT_NE(written.find("DTSTART:20310304T160000Z"), std::string::npos) << written;
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// A request that names no zone is read in the agent's own, as agents that
// know nothing of zones expect; one that names a zone is answered in it.
TEST_F(TimeZoneProcessTest, RequestsWithoutAZoneAreReadInTheAgentsOwnAndOthersInTheirs)
{
    SAgentProcess* ann = StartIn("America/New_York", {AnnName, "ann", {{"MeetingSchedulingType", "2"}}, {}},
                                 {AnnCalendar, ""});
    ASSERT_TRUE(ann);
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "Total Appointments loaded = 1", 1}}))
        << m_society.AllLogs();
    const struct {
        const char* request;
        const char* reply;
    } table[] = {
        {"tell :command request_appt :startTime (3/4/2031 10:00:00 AM) :duration (30)",
         "tell :startTime (3/4/2031 11:00:00 AM) :duration (30) :status alt :timezone (America/New_York)"},
        {"tell :command request_appt :startTime (3/4/2031 8:00:00 AM) :duration (30)",
         "tell :startTime (3/4/2031 8:00:00 AM) :duration (30) :status accept :timezone (America/New_York)"},
        {"tell :command request_appt :startTime (3/4/2031 4:00:00 PM) :duration (30) :timezone "
         "(Europe/Berlin)",
         "tell :startTime (3/4/2031 5:00:00 PM) :duration (30) :status alt :timezone (Europe/Berlin)"},
        {"tell :command request_appt :startTime (3/4/2031 8:30:00 PM) :duration (30) :timezone "
         "(Asia/Kolkata)",
         "tell :startTime (3/4/2031 9:30:00 PM) :duration (30) :status alt :timezone (Asia/Kolkata)"},
    };
    for (const auto& row : table)
        EXPECT_EQ(m_society.Tell(AnnName, row.request), row.reply) << row.request;
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

} // namespace
