// Meeting negotiations and appointment requests between real processes: a
// name server, an organiser and attendees with homes and registries of
// their own, agent-tell to make appointments, ask for meetings and query the
// calendars. The calendars live in the agents' memory, so the tests follow
// a negotiation through the agents' logs and check the outcome with
// appointment requests, which every agent answers from its store.

#include "AgentSociety.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <vector>

using namespace vesperaprocess;

namespace {

const char* const OrganiserName = "org_example.org-CalendarAgent";
const char* const AnnName = "ann_example.org-CalendarAgent";
const char* const BobName = "bob_example.org-CalendarAgent";

const char* const SuccessBalloon =
    "Balloon: Meeting Request Completed: Your meeting request has been successfully completed.";
const char* const FailureBalloon =
    "Balloon: Meeting Request Completed: The meeting you requested could not be scheduled.";
const char* const ConfirmSent = "tell :type confirm :negID ";

// The day every test meets on: a Tuesday, far enough ahead to be free.
const char* const Day = "3/4/2031";

std::string At(const std::string& time)
{
    return std::string(Day) + " " + time;
}

// The start times listed in the alternates of a bid line, in bid order.
std::vector<std::string> AlternateTimes(const std::string& bidLine)
{
    std::vector<std::string> times;
    const std::size_t from = bidLine.find(":alternates ");
    const std::size_t to = bidLine.find(" :duration ", from);
    if (from == std::string::npos || to == std::string::npos)
        return times;
    const std::string list = bidLine.substr(from, to - from);
    const std::regex entry(R"(:t[0-9]+ \(([^)]*)\))");
    for (std::sregex_iterator it(list.begin(), list.end(), entry), end; it != end; ++it)
        times.push_back((*it)[1].str());
    return times;
}

class NegotiationScenarioTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure(); }

    SAgentProcess* Start(const SAgentSetup& setup)
    {
        SAgentProcess* agent = m_society.StartAgent(setup);
        EXPECT_NE(agent, nullptr) << m_society.Failure();
        return agent;
    }

    // The organiser and both attendees, with Bob's extra registry values.
    bool StartThree(std::vector<std::pair<std::string, std::string>> bobValues = {})
    {
        m_organiser = Start({OrganiserName, "organiser", {}, {}});
        m_ann = Start({AnnName, "ann", {}, {}});
        m_bob = Start({BobName, "bob", std::move(bobValues), {}});
        return m_organiser && m_ann && m_bob;
    }

    // Makes `agent` busy with an appointment of its own, through the
    // network as any requester would.
    std::string MakeBusy(const std::string& agent, int hour, int minute, int duration)
    {
        return m_society.Tell(agent,
                              "tell :command appointment :start (tell :day 4 :month 3 :year 2031 :hour " +
                                  std::to_string(hour) + " :minute " + std::to_string(minute) +
                                  ") :duration (" + std::to_string(duration) + ") :subject (Taken)");
    }

    // The agent's answer to a one-hour appointment request at `start`.
    std::string AskFor(const std::string& agent, const std::string& start)
    {
        return m_society.Tell(agent,
                              "tell :command request_appt :duration (60) :startTime (" + start +
                                  ") :subject (Lunch) :email (cy@example.org) :fname (Cy) :lname (Ng)");
    }

    static std::string Accepted(const std::string& start)
    {
        return "tell :startTime (" + start + ") :duration (60) :status accept :timezone (UTC)";
    }

    static std::string Alternative(const std::string& start)
    {
        return "tell :startTime (" + start + ") :duration (60) :status alt :timezone (UTC)";
    }

    static std::string MeetingRequest(const std::string& attendees, const std::string& start,
                                      const std::string& end)
    {
        std::string request = "tell :command schedule_meeting :attendees (" + attendees +
                              ") :subject (Planning) :body (Quarterly plan) :start (" + start + ")";
        if (!end.empty())
            request += " :end (" + end + ")";
        return request + " :location (Room 4) :duration (60)";
    }

    bool AskOrganiser(const std::string& request)
    {
        const bool sent = m_society.TellOnly(OrganiserName, request);
        EXPECT_TRUE(sent) << m_society.Failure();
        return sent;
    }

    // Waits until the organiser reported success after a confirm from
    // every attendee in `attendees`.
    bool WaitForSuccess(const std::vector<const SAgentProcess*>& attendees)
    {
        std::vector<SExpectedLine> wanted{{m_organiser, SuccessBalloon, 1},
                                          {m_organiser, "processing confirmation", attendees.size()}};
        for (const SAgentProcess* attendee : attendees)
            wanted.push_back({attendee, ConfirmSent, 1});
        return CAgentSociety::WaitForLines(wanted);
    }

    // The start time of the one award `attendee` received.
    std::string AwardedStart(const SAgentProcess& attendee)
    {
        const std::vector<std::string> awards = IncomingLines(attendee.Log(), OrganiserName, ":type award ");
        if (awards.size() != 1)
            return "<" + std::to_string(awards.size()) + " awards>";
        const std::size_t at = awards[0].find(":startTime (");
        if (at == std::string::npos)
            return "<no start>";
        const std::size_t from = at + std::string(":startTime (").size();
        return awards[0].substr(from, awards[0].find(')', from) - from);
    }

    CAgentSociety m_society;
    SAgentProcess* m_organiser = nullptr;
    SAgentProcess* m_ann = nullptr;
    SAgentProcess* m_bob = nullptr;
};

TEST_F(NegotiationScenarioTest, WindowWithOneAttendeeBusyAtItsStartIsAwardedTheFirstCommonTime)
{
    ASSERT_TRUE(StartThree());
    ASSERT_EQ(MakeBusy(AnnName, 10, 0, 60), "tell :command success");

    const std::string attendees = std::string(AnnName) + "," + BobName;
    ASSERT_TRUE(AskOrganiser(MeetingRequest(attendees, At("10:00:00 AM"), At("4:00:00 PM"))));
    ASSERT_TRUE(WaitForSuccess({m_ann, m_bob})) << m_society.AllLogs();

    const std::string organiserLog = m_organiser->Log();
    const std::vector<std::string> annBids = IncomingLines(organiserLog, AnnName, ":type bid ");
    const std::vector<std::string> bobBids = IncomingLines(organiserLog, BobName, ":type bid ");
    ASSERT_EQ(annBids.size(), 1u) << organiserLog;
    ASSERT_EQ(bobBids.size(), 1u) << organiserLog;
    // Ann's calendar is taken at the start, so her times begin after it;
    // a window is always answered with times, even where the start is free.
    EXPECT_EQ(AlternateTimes(annBids[0]),
              (std::vector<std::string>{At("11:00:00 AM"), At("12:00:00 PM"), At("1:00:00 PM"),
                                        At("2:00:00 PM"), At("3:00:00 PM")}));
    EXPECT_EQ(AlternateTimes(bobBids[0]),
              (std::vector<std::string>{At("10:00:00 AM"), At("11:00:00 AM"), At("12:00:00 PM"),
                                        At("1:00:00 PM"), At("2:00:00 PM")}));
    EXPECT_EQ(CountOf(organiserLog, "bid is an alt"), 2u) << organiserLog;
    EXPECT_EQ(CountOf(organiserLog, "Preprocessing data to send awards"), 1u) << organiserLog;
    EXPECT_EQ(organiserLog.find("ERROR:"), std::string::npos) << organiserLog;

    EXPECT_EQ(AwardedStart(*m_ann), At("11:00:00 AM"));
    EXPECT_EQ(AwardedStart(*m_bob), At("11:00:00 AM"));

    // The meeting is in every calendar once, and the other held times are
    // gone: the next free hour after it is the one right after it.
    for (const char* agent : {OrganiserName, AnnName, BobName})
        EXPECT_EQ(AskFor(agent, At("11:00:00 AM")), Alternative(At("12:00:00 PM"))) << agent;
    EXPECT_EQ(CountOf(m_organiser->Log(), "Now adding this appointment to the local store"), 1u);
    EXPECT_EQ(CountOf(m_ann->Log(), "Now adding this appointment to the local store"), 2u);
    EXPECT_EQ(CountOf(m_bob->Log(), "Now adding this appointment to the local store"), 1u);

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(NegotiationScenarioTest, StrictTimeWithoutCommonSlotGoesToALaterPassOfTheSameNegotiation)
{
    ASSERT_TRUE(StartThree());
    ASSERT_EQ(MakeBusy(AnnName, 10, 0, 60), "tell :command success");

    const std::string attendees = std::string(AnnName) + "," + BobName;
    ASSERT_TRUE(AskOrganiser(MeetingRequest(attendees, At("10:00:00 AM"), "")));
    ASSERT_TRUE(WaitForSuccess({m_ann, m_bob})) << m_society.AllLogs();

    // Each attendee was asked twice in one negotiation: the second contract
    // starts where Bob's only offer, the requested hour, ends.
    for (const SAgentProcess* attendee : {m_ann, m_bob}) {
        const std::vector<std::string> contracts =
            IncomingLines(attendee->Log(), OrganiserName, ":type contract ");
        ASSERT_EQ(contracts.size(), 2u) << attendee->Log();
        EXPECT_EQ(WordAfter(contracts[0], ":negID "), WordAfter(contracts[1], ":negID "));
        EXPECT_NE(WordAfter(contracts[0], ":contractID "), WordAfter(contracts[1], ":contractID "));
        EXPECT_NE(contracts[0].find(":start (" + At("10:00:00 AM") + ")"), std::string::npos) << contracts[0];
        EXPECT_NE(contracts[1].find(":start (" + At("11:00:00 AM") + ")"), std::string::npos) << contracts[1];
        EXPECT_EQ(contracts[1].find(":end ("), std::string::npos) << contracts[1];
    }

    const std::string organiserLog = m_organiser->Log();
    const std::vector<std::string> annBids = IncomingLines(organiserLog, AnnName, ":type bid ");
    ASSERT_EQ(annBids.size(), 2u) << organiserLog;
    EXPECT_NE(annBids[0].find(":status alt :alternates "), std::string::npos) << annBids[0];
    const std::vector<std::string> firstOffer = AlternateTimes(annBids[0]);
    ASSERT_FALSE(firstOffer.empty()) << annBids[0];
    EXPECT_EQ(firstOffer.front(), At("11:00:00 AM"));
    // Her first pass's holds went with the second contract, so she can
    // take the new time as asked.
    EXPECT_NE(annBids[1].find(":status accept "), std::string::npos) << annBids[1];
    EXPECT_EQ(CountOf(organiserLog, "bid is an accept"), 3u) << organiserLog;
    EXPECT_EQ(CountOf(organiserLog, "Preprocessing data to send awards"), 1u) << organiserLog;
    EXPECT_EQ(organiserLog.find("ERROR:"), std::string::npos) << organiserLog;

    EXPECT_EQ(AwardedStart(*m_ann), At("11:00:00 AM"));
    EXPECT_EQ(AwardedStart(*m_bob), At("11:00:00 AM"));
    EXPECT_EQ(AskFor(AnnName, At("11:00:00 AM")), Alternative(At("12:00:00 PM")));
    EXPECT_EQ(AskFor(BobName, At("10:00:00 AM")), Accepted(At("10:00:00 AM")));

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(NegotiationScenarioTest, AttendeeWhoseUserTakesNoMeetingsDeclinesAndTheReportSaysWhy)
{
    ASSERT_TRUE(StartThree({{"MeetingSchedulingType", "0"}}));

    const std::string attendees = std::string(AnnName) + "," + BobName;
    ASSERT_TRUE(AskOrganiser(MeetingRequest(attendees, At("10:00:00 AM"), "")));
    const std::string reason =
        std::string("Meeting cannot be scheduled within the specified constraints because "
                    "the user of agent ") +
        BobName + " is not available";
    ASSERT_TRUE(
        CAgentSociety::WaitForLines({{m_organiser, "Processing bid", 2}, {m_organiser, FailureBalloon, 1}}))
        << m_society.AllLogs();

    const std::string organiserLog = m_organiser->Log();
    const std::vector<std::string> bobBids = IncomingLines(organiserLog, BobName, ":type bid ");
    ASSERT_EQ(bobBids.size(), 1u) << organiserLog;
    EXPECT_NE(bobBids[0].find(":status decline :attributes "), std::string::npos) << bobBids[0];
    EXPECT_NE(
        organiserLog.find(std::string("Meeting cannot be scheduled within specified constraints because ") +
                          BobName + " is not available"),
        std::string::npos)
        << organiserLog;
    EXPECT_NE(organiserLog.find(reason), std::string::npos) << organiserLog;
    // The headless agent shows its message box on standard error.
    const std::string errors = m_organiser->Errors();
    EXPECT_NE(errors.find("The meeting could not be scheduled."), std::string::npos) << errors;
    EXPECT_NE(errors.find(reason), std::string::npos) << errors;

    // Nothing was awarded and nothing was made.
    EXPECT_EQ(organiserLog.find("Preprocessing data to send awards"), std::string::npos) << organiserLog;
    EXPECT_EQ(organiserLog.find(SuccessBalloon), std::string::npos) << organiserLog;
    EXPECT_TRUE(IncomingLines(m_ann->Log(), OrganiserName, ":type award ").empty());
    EXPECT_EQ(m_bob->Log().find("Now adding this appointment to the local store"), std::string::npos);
    EXPECT_EQ(AskFor(OrganiserName, At("10:00:00 AM")), Accepted(At("10:00:00 AM")));

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(NegotiationScenarioTest, RequestAtAnUnalignedBusyTimeIsOfferedTheMarkAfterTheNextOne)
{
    m_ann = Start({AnnName, "ann", {}, {}});
    ASSERT_NE(m_ann, nullptr);
    // Busy from 9:40 to 10:20: 10:10 is taken, 10:30 would be free, but
    // the search moves to 10:30 and tests from the mark after it.
    ASSERT_EQ(MakeBusy(AnnName, 9, 40, 40), "tell :command success");
    EXPECT_EQ(AskFor(AnnName, At("10:10:00 AM")), Alternative(At("11:00:00 AM")));
    // From a busy start on a mark every following mark is tested: 10:00
    // is still taken.
    EXPECT_EQ(AskFor(AnnName, At("9:30:00 AM")), Alternative(At("10:30:00 AM")));
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(NegotiationScenarioTest, StoredTimeConstraintsMoveTheOfferedTimesOutOfTheirWindows)
{
    m_organiser = Start({OrganiserName, "organiser", {}, {}});
    m_ann = Start({AnnName,
                   "ann",
                   {},
                   {{"--start", "10:00", "--end", "12:00", "--days", "all"},
                    {"--start", "12:00", "--end", "14:00", "--days", "weekdays", "--agent",
                     "zed_example.org-CalendarAgent"},
                    {"--start", "16:00", "--end", "17:00", "--days", "tue", "--agent", OrganiserName}}});
    ASSERT_TRUE(m_organiser && m_ann);
    ASSERT_TRUE(CAgentSociety::WaitForLines({{m_ann, "Total Preferences Loaded = 3", 1}})) << m_ann->Log();

    ASSERT_TRUE(AskOrganiser(MeetingRequest(AnnName, At("10:00:00 AM"), "")));
    ASSERT_TRUE(WaitForSuccess({m_ann})) << m_society.AllLogs();

    const std::string organiserLog = m_organiser->Log();
    const std::vector<std::string> bids = IncomingLines(organiserLog, AnnName, ":type bid ");
    ASSERT_EQ(bids.size(), 1u) << organiserLog;
    // Her calendar is empty, yet 10:00 to 12:00 is refused to everybody and
    // 16:00 to 17:00 to this organiser; 12:00 to 14:00 is another agent's.
    EXPECT_NE(m_ann->Log().find("THE STRICT TIME SLOT IS NOT FREE"), std::string::npos);
    EXPECT_EQ(AlternateTimes(bids[0]),
              (std::vector<std::string>{At("12:00:00 PM"), At("1:00:00 PM"), At("2:00:00 PM"),
                                        At("3:00:00 PM"), At("5:00:00 PM")}));
    // With one attendee its first time is taken at once.
    EXPECT_EQ(AwardedStart(*m_ann), At("12:00:00 PM"));
    EXPECT_EQ(CountOf(organiserLog, "Preprocessing data to send awards"), 1u) << organiserLog;

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

// The morning, evening and weekend switches of the settings keep meetings
// out of those hours: a Wednesday 7:00 and a Saturday 10:00 are each moved
// to the first time the bounds allow.
TEST_F(NegotiationScenarioTest, MorningAndWeekendBoundsMoveTheAwardedTimes)
{
    m_organiser = Start({OrganiserName, "organiser", {}, {}});
    m_ann = Start({AnnName, "ann", {{"MorningBounds", "true"}, {"WeekendBounds", "true"}}, {}});
    ASSERT_TRUE(m_organiser && m_ann);

    ASSERT_TRUE(AskOrganiser(MeetingRequest(AnnName, "3/5/2031 7:00:00 AM", "")));
    ASSERT_TRUE(WaitForSuccess({m_ann})) << m_society.AllLogs();
    EXPECT_EQ(AwardedStart(*m_ann), "3/5/2031 8:00:00 AM");

    ASSERT_TRUE(AskOrganiser(MeetingRequest(AnnName, "3/8/2031 10:00:00 AM", "")));
    ASSERT_TRUE(CAgentSociety::WaitForLines({{m_organiser, SuccessBalloon, 2}})) << m_society.AllLogs();
    const std::vector<std::string> awards = IncomingLines(m_ann->Log(), OrganiserName, ":type award ");
    ASSERT_EQ(awards.size(), 2u);
    EXPECT_NE(awards[1].find(":startTime (3/10/2031 8:00:00 AM)"), std::string::npos) << awards[1];
    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

TEST_F(NegotiationScenarioTest, HeldTimesOfAnExpiredContractAreReleasedByTheSweep)
{
    // Ticks of a tenth of a second bring the sweep in three seconds, not
    // thirty.
    setenv("ORVANTE_TICK_MS", "100", 1);
    // The contract comes from agent-tell, an agent without a key.
    m_ann = Start({AnnName, "ann", {{"TrustUnauthenticatedContacts", "true"}}, {}});
    unsetenv("ORVANTE_TICK_MS");
    ASSERT_NE(m_ann, nullptr);
    // A contract that expired long ago: its hold is due at the first sweep,
    // which runs on the agent's thirtieth timer tick.
    const std::string bid =
        m_society.Tell(AnnName, "tell :type contract :negID N1 :contractID C1 :expires (1/5/2021 9:00:00 AM)"
                                " :attributes (tell :subject (Sync) :body ( ) :location ( ) :attendees (" +
                                    std::string(AnnName) + ")) :constraints (tell :start (" +
                                    At("10:00:00 AM") + ") :duration (60))");
    ASSERT_EQ(bid.rfind("tell :type bid :negID N1 :contractID C1 :bidID ", 0), 0u) << bid;
    EXPECT_NE(bid.find(":status accept "), std::string::npos) << bid;

    // Held, so a request for the same hour is moved, until the sweep.
    std::string answer = AskFor(AnnName, At("10:00:00 AM"));
    EXPECT_EQ(answer, Alternative(At("11:00:00 AM")));
    const auto deadline = std::chrono::steady_clock::now() + Deadline;
    while (answer == Alternative(At("11:00:00 AM")) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        answer = AskFor(AnnName, At("10:00:00 AM"));
    }
    EXPECT_EQ(answer, Accepted(At("10:00:00 AM"))) << m_ann->Log();

    // The award for the released time finds nothing to confirm.
    const std::string bidID = WordAfter(bid, ":bidID ");
    ASSERT_TRUE(m_society.TellOnly(AnnName, "tell :type award :negID N1 :contractID C1 :bidID " + bidID +
                                                " :attributes (tell :subject (Sync) :body ( ) :location ( )"
                                                " :reqAttendees (x) :optAttendees (none)) :constraints (tell"
                                                " :startTime (" +
                                                At("10:00:00 AM") + ") :duration 60)"))
        << m_society.Failure();
    EXPECT_TRUE(CAgentSociety::WaitForLines({{m_ann, "Invalid award. No corresponding bid found", 1}}))
        << m_ann->Log();
    EXPECT_EQ(m_ann->Log().find("Now adding this appointment to the local store"), std::string::npos);

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

} // namespace
