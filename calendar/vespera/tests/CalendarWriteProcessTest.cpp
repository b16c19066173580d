// The headless agent writing into a calendar file that other programs
// change while it runs: their changes are kept, and a file they left
// unreadable is not written at all.

#include "AgentSociety.h"
#include "CalendarEvents.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using namespace vesperaprocess;

namespace {

const char* const AnnName = "ann_example.org-CalendarAgent";

const char* const CalendarHead =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Example Desk//Desk Calendar 4.2//EN\r\n";
const char* const CalendarTail = "END:VCALENDAR\r\n";

std::string Event(const std::string& uid, const std::string& start, const std::string& summary)
{
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20301211T083000Z\r\nDTSTART:" + start +
           "\r\nDURATION:PT1H\r\nSUMMARY:" + summary + "\r\nEND:VEVENT\r\n";
}

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Replaces the file the way desktop programs save: a new file renamed over
// the old one.
bool ReplaceFile(const std::filesystem::path& path, const std::string& text)
{
    const std::filesystem::path temporary = path.string() + ".saving";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << text;
        if (!out)
            return false;
    }
    return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// A plain appointment command: no address, no reminder.
std::string Appointment(const std::string& subject)
{
    return "tell :command appointment :start (tell :day 6 :month 3 :year 2031 :hour 9 :minute 0) :duration "
           "(30)"
           " :subject (" +
           subject + ")";
}

class CalendarWriteProcessTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure(); }

    SAgentProcess* StartAnn()
    {
        const std::string calendar = std::string(CalendarHead) +
                                     Event("first@desk", "20310304T150000Z", "Before start") + CalendarTail;
        // Contracts come from agent-tell, an agent without a key.
        SAgentProcess* agent = m_society.StartAgent(
            {AnnName, "ann", {{"TrustUnauthenticatedContacts", "true"}}, {}}, {calendar, ""});
        EXPECT_NE(agent, nullptr) << m_society.Failure();
        return agent;
    }

    CAgentSociety m_society;
};

TEST_F(CalendarWriteProcessTest, EventAddedByAnotherProgramWhileRunningIsKeptBesideTheAgentsItem)
{
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr);
    ASSERT_TRUE(ReplaceFile(ann->CalendarPath(),
                            std::string(CalendarHead) +
                                Event("first@desk", "20310304T150000Z", "Before start") +
                                Event("second@phone", "20310305T150000Z", "Added elsewhere") + CalendarTail));

    ASSERT_EQ(m_society.Tell(AnnName, Appointment("Call")), "tell :command success") << ann->Log();

    std::vector<SCalendarEvent> events;
    std::string error;
    ASSERT_TRUE(CCalendarEvents::Read(ann->CalendarPath(), events, error)) << error;
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(CCalendarEvents::WithSummary(events, "Before start").size(), 1u);
    EXPECT_EQ(CCalendarEvents::WithSummary(events, "Added elsewhere").size(), 1u);
    const std::vector<SCalendarEvent> call = CCalendarEvents::WithSummary(events, "Call");
    ASSERT_EQ(call.size(), 1u);
    // Asked for without a reminder, so written without an alarm; and with
    // no address given, nobody is mailed.
    EXPECT_EQ(call[0].alarmMinutes, -1);
    EXPECT_FALSE(std::filesystem::exists(ann->OutboxPath()));

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// An event another program adds while the agent runs takes its time at
// once: a request for it is offered another time, a contract for it is not
// accepted, and nothing is written there.
TEST_F(CalendarWriteProcessTest, TimeTakenByAnotherProgramWhileRunningIsNotGivenAway)
{
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr);
    const std::string request = "tell :command request_appt :duration (60) :startTime (3/6/2031 9:00:00 AM)"
                                " :subject (Lunch) :email (cy@example.org) :fname (Cy) :lname (Ng)";
    ASSERT_EQ(m_society.Tell(AnnName, request),
              "tell :startTime (3/6/2031 9:00:00 AM) :duration (60) :status accept :timezone (UTC)");
    ASSERT_TRUE(ReplaceFile(ann->CalendarPath(), std::string(CalendarHead) +
                                                     Event("first@desk", "20310304T150000Z", "Before start") +
                                                     Event("busy@phone", "20310306T090000", "Dentist") +
                                                     CalendarTail));

    EXPECT_EQ(m_society.Tell(AnnName, request),
              "tell :startTime (3/6/2031 10:00:00 AM) :duration (60) :status alt :timezone (UTC)");
    const std::string bid = m_society.Tell(
        AnnName,
        "tell :type contract :negID N1 :contractID C1 :expires (3/6/2031 8:00:00 AM) :attributes (tell "
        ":subject (Plan)) :constraints (tell :start (3/6/2031 9:00:00 AM) :duration (60))");
    EXPECT_NE(bid.find(":status alt "), std::string::npos) << bid;
    EXPECT_NE(bid.find(":timezone (UTC)"), std::string::npos) << bid;
    EXPECT_NE(
        ann->Log().find("CVSP::Resynchronise: the calendar or the contacts were changed by another program"),
        std::string::npos);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(CalendarWriteProcessTest, CalendarLeftUnreadableByAnotherProgramIsNotWrittenAndTheAgentRunsOn)
{
    SAgentProcess* ann = StartAnn();
    ASSERT_NE(ann, nullptr);
    const std::string broken = std::string(CalendarHead) + "BEGIN:VEVENT\r\nUID:half@desk\r\nDTSTART:2031";
    ASSERT_TRUE(ReplaceFile(ann->CalendarPath(), broken));

    ASSERT_TRUE(m_society.TellOnly(AnnName, Appointment("Lost call"))) << m_society.Failure();
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "The calendar program refused the appointment", 1}}))
        << ann->Log();
    EXPECT_EQ(ReadFile(ann->CalendarPath()), broken);

    // The agent still answers, and the item it could not write is not
    // counted as made: the hour stays free.
    EXPECT_EQ(m_society.Tell(AnnName,
                             "tell :command request_appt :duration (30) :startTime (3/6/2031 9:00:00 AM)"
                             " :subject (Lunch) :email (cy@example.org) :fname (Cy) :lname (Ng)"),
              "tell :startTime (3/6/2031 9:00:00 AM) :duration (30) :status accept :timezone (UTC)");
    EXPECT_EQ(ann->Log().find("Now adding this appointment to the local store"), std::string::npos);
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

} // namespace
