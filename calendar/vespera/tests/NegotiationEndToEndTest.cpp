// A whole meeting negotiation between real processes: a name server, an
// organiser and two attendees, each agent with its own home, registry and
// log, and agent-tell asking the organiser for the meeting. The calendars
// live in the agents' memory, so the test follows the negotiation through
// the lines each agent writes to its log file.

#include "AgentSociety.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace vesperaprocess;

namespace {

const char* const OrganiserName = "org_example.org-CalendarAgent";
const char* const AnnName = "ann_example.org-CalendarAgent";
const char* const BobName = "bob_example.org-CalendarAgent";

const char* const SuccessBalloon =
    "Balloon: Meeting Request Completed: Your meeting request has been successfully completed.";

// The bid identifier of the first message of `type` that the log shows
// arriving from `sender`; empty when there is none.
std::string IncomingBidID(const std::string& log, const std::string& sender, const std::string& type)
{
    const std::vector<std::string> lines = IncomingLines(log, sender, ":type " + type + " ");
    return lines.empty() ? std::string() : WordAfter(lines.front(), ":bidID ");
}

class NegotiationEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure(); }

    void StartOrganiserAndAttendees()
    {
        const std::pair<const char*, const char*> agents[] = {
            {OrganiserName, "organiser"}, {AnnName, "ann"}, {BobName, "bob"}};
        for (const auto& [name, label] : agents) {
            SAgentProcess* agent = m_society.StartAgent({name, label, {}, {}});
            ASSERT_NE(agent, nullptr) << m_society.Failure();
            m_agents.push_back(agent);
        }
    }

    static std::string MeetingRequest(const std::string& start)
    {
        return std::string("tell :command schedule_meeting :attendees (") + AnnName + "," + BobName +
               ") :subject (Planning) :body (Quarterly plan) :start (" + start +
               ") :location (Room 4) :duration (60)";
    }

    CAgentSociety m_society;
    std::vector<SAgentProcess*> m_agents;
};

TEST_F(NegotiationEndToEndTest, StrictTimeFreeForBothAttendeesIsScheduledAndReported)
{
    StartOrganiserAndAttendees();
    ASSERT_EQ(m_agents.size(), 3u);
    const SAgentProcess& organiser = *m_agents[0];
    const SAgentProcess& ann = *m_agents[1];
    const SAgentProcess& bob = *m_agents[2];

    ASSERT_TRUE(m_society.TellOnly(OrganiserName, MeetingRequest("3/4/2031 10:00:00 AM")))
        << m_society.Failure();

    const std::string confirm = "tell :type confirm :negID ";
    const bool finished = CAgentSociety::WaitForLines({{&ann, confirm, 1},
                                                       {&bob, confirm, 1},
                                                       {&organiser, "processing confirmation", 2},
                                                       {&organiser, SuccessBalloon, 1}});
    ASSERT_TRUE(finished) << m_society.AllLogs();

    const std::string organiserLog = organiser.Log();
    // Both attendees took the requested time as it was and accepted it.
    for (const SAgentProcess* attendee : {&ann, &bob}) {
        const std::string log = attendee->Log();
        EXPECT_NE(log.find("ITS A STRICT TIME SLOT"), std::string::npos) << attendee->name << "\n" << log;
        EXPECT_EQ(log.find("THE STRICT TIME SLOT IS NOT FREE"), std::string::npos) << attendee->name << "\n"
                                                                                   << log;
        EXPECT_NE(log.find(":status accept :attributes "), std::string::npos) << attendee->name << "\n"
                                                                              << log;
        EXPECT_NE(log.find("Now adding this appointment to the local store"), std::string::npos)
            << attendee->name << "\n"
            << log;
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

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

} // namespace
