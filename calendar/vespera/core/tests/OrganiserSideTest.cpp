#include <vespera/core/OrganiserSide.h>

#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactRecord.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/Negotiation.h>
#include <vespera/core/NegotiationStore.h>

#include <lexikit/Parser.h>
#include <outlook/MemoryBackend.h>

#include <platform/BalloonSink.h>
#include <platform/UserTimeFormat.h>

#include <vespera/core/MessageZone.h>

#include <gtest/gtest.h>

#include <limits>
#include <memory>
#include <string>
#include <vector>

namespace {

const char* const A = "ann_example.org-CalendarAgent";
const char* const B = "bob_example.org-CalendarAgent";

CDateTime At(int day, int hour, int minute = 0)
{
    return CDateTime(2026, 12, day, hour, minute, 0);
}

std::string Request(const std::string& attendees, const CDateTime& start, const CDateTime* end = nullptr,
                    int duration = 60)
{
    std::string text = "tell :command schedule_meeting :attendees (" + attendees +
                       ") :subject (Review) :body (Numbers) :start (" + start.Format() + ")";
    if (end)
        text += " :end (" + end->Format() + ")";
    return text + " :location (Room 4) :duration (" + std::to_string(duration) + ")";
}

std::string Bid(const std::string& negID, const std::string& bidID, const std::string& status)
{
    return "(tell :type bid :negID " + negID + " :contractID c1 :bidID " + bidID + " :status " + status +
           " :attributes (tell :subject (Review)) :constraints (tell :start (x)))";
}

std::string Accept(const std::string& negID, const std::string& bidID)
{
    return Bid(negID, bidID, "accept :duration 60");
}

std::string Alternates(const std::string& negID, const std::string& bidID,
                       const std::vector<CDateTime>& times, int duration = 60)
{
    std::string list = "(tell";
    for (size_t i = 0; i < times.size(); ++i)
        list += " :t" + std::to_string(i + 1) + " (" + times[i].Format() + ")";
    list += ")";
    return Bid(negID, bidID, "alt :alternates " + list + " :duration " + std::to_string(duration));
}

std::string Confirm(const std::string& negID, const std::string& bidID)
{
    return "(tell :type confirm :negID " + negID + " :contractID c1 :bidID " + bidID +
           " :status accept :attributes (tell) :constraints (tell))";
}

std::string Field(const std::string& content, const char* key)
{
    CParser parser;
    if (parser.parse_message(("(" + content + ")").c_str()) != 1)
        return std::string();
    const char* value = parser.find_token(key);
    return value ? value : "";
}

class OrganiserSideTest : public vespera_test::CVesperaTest {
protected:
    COrganiserSide& Side() { return Agent().GetOrganiserSide(); }
    CNegotiationStore& Store() { return Agent().GetNegotiationStore(); }

    // Starts a negotiation and returns its record.
    CNegotiation& Start(const std::string& request)
    {
        const int before = Store().GetCount();
        Side().StartNegotiation(request);
        EXPECT_EQ(Store().GetCount(), before + 1);
        return *Store().GetAt(Store().GetCount() - 1);
    }

    std::vector<vespera_test::SSentMessage> SentOfType(const std::string& type)
    {
        std::vector<vespera_test::SSentMessage> found;
        for (const vespera_test::SSentMessage& message : Agent().Sent())
            if (!message.alertNotice && Field(message.content, "type") == type)
                found.push_back(message);
        return found;
    }

    int CalendarItems() { return static_cast<int>(Backend().GetCount(outlook::olFolderCalendar)); }

    void AddContact(const std::string& first, const std::string& last, const std::string& email)
    {
        auto contact = std::make_unique<CContactRecord>(first, last, email);
        contact->SetCalendarAgentName(CContactRecord::AgentNameFor(email));
        Agent().GetContactStore().Add(std::move(contact));
    }

    // Both attendees accept the strict request at 10:00 on 8 December.
    CNegotiation& AcceptedByBoth()
    {
        CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
        Side().ProcessBid(Accept(record.GetNegID(), "bidA"), A);
        Side().ProcessBid(Accept(record.GetNegID(), "bidB"), B);
        return record;
    }
};

} // namespace

// --- contracts ---------------------------------------------------------------

TEST_F(OrganiserSideTest, StrictRequestSendsTheContractToEachAttendee)
{
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
    const std::string expected = "tell :type contract :negID " + record.GetNegID() + " :contractID " +
                                 record.GetContractID() + " :expires (" + record.GetExpires().Format() +
                                 ") :attributes (tell :subject (Review) :body (Numbers) :location (Room 4)"
                                 " :attendees (" +
                                 A + "," + B +
                                 ")) :constraints (tell :start (12/8/2026 10:00:00 AM)"
                                 " :duration (60))";
    ASSERT_EQ(Agent().Sent().size(), 2u);
    EXPECT_EQ(Agent().Sent()[0].receiver, A);
    EXPECT_EQ(Agent().Sent()[1].receiver, B);
    for (const vespera_test::SSentMessage& message : Agent().Sent()) {
        EXPECT_EQ(message.performative, "tell");
        EXPECT_FALSE(message.alertNotice);
        EXPECT_EQ(message.content, expected + CMessageZone().Keyword());
    }
    EXPECT_NE(record.GetNegID(), "");
    EXPECT_NE(record.GetContractID(), "");
    EXPECT_EQ(record.GetStrict(), 1);
    EXPECT_EQ(record.GetEndConstraint(), CDateTime(9000, 1, 1, 0, 0, 0));
    EXPECT_EQ(record.GetStartConstraint(), At(8, 10));
    EXPECT_EQ(record.GetDuration(), 60);
    EXPECT_EQ(record.GetContractsSent(), 2);
    EXPECT_EQ(record.GetTotalContracts(), 2);
    EXPECT_EQ(record.GetAttendees(), (std::vector<std::string>{A, B}));
    EXPECT_EQ(record.GetStatus(), 0);
    EXPECT_GT(record.GetExpires(), CDateTime::GetCurrentTime());
}

TEST_F(OrganiserSideTest, WindowRequestCarriesItsEnd)
{
    const CDateTime end = At(8, 16);
    CNegotiation& record = Start(Request(A, At(8, 10), &end, 45));
    ASSERT_EQ(Agent().Sent().size(), 1u);
    const std::string& content = Agent().Sent()[0].content;
    EXPECT_NE(content.find(" :constraints (tell :start (12/8/2026 10:00:00 AM) :end (12/8/2026 4:00:00 PM)"
                           " :duration (45))"),
              std::string::npos);
    EXPECT_EQ(record.GetStrict(), 0);
    EXPECT_EQ(record.GetEndConstraint(), end);
}

TEST_F(OrganiserSideTest, MissingTextsAreWrittenAsOneBlank)
{
    Side().StartNegotiation("tell :command schedule_meeting :attendees (" + std::string(A) + ") :start (" +
                            At(8, 10).Format() + ") :duration (30)");
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_NE(
        Agent().Sent()[0].content.find(":attributes (tell :subject ( ) :body ( ) :location ( ) :attendees (" +
                                       std::string(A) + "))"),
        std::string::npos);
    EXPECT_NE(Agent().Sent()[0].content.find("(tell :start (12/8/2026 10:00:00 AM) :duration (30))"),
              std::string::npos);
}

// Only a missing value of the first contract is a blank: values present but
// empty stay empty there, in the awards and in every later contract.
TEST_F(OrganiserSideTest, EmptyTextsStayEmptyInContractsAndAwards)
{
    CNegotiation& record = Start("tell :command schedule_meeting :attendees (" + std::string(A) +
                                 ") :subject () :body () :start (" + At(8, 10).Format() + ") :duration (60)");
    Side().ProcessBid(Alternates(record.GetNegID(), "bidA", {At(8, 12)}), A);
    const auto contracts = SentOfType("contract");
    const auto awards = SentOfType("award");
    ASSERT_EQ(contracts.size(), 1u);
    ASSERT_EQ(awards.size(), 1u);
    EXPECT_NE(contracts[0].content.find(":subject () :body () :location ( ) :attendees"), std::string::npos);
    EXPECT_NE(awards[0].content.find("(tell :subject () :body () :location () :reqAttendees"),
              std::string::npos);

    CNegotiation& later = Start("tell :command schedule_meeting :attendees (" + std::string(A) + "," + B +
                                ") :start (" + At(8, 10).Format() + ") :duration (60)");
    Side().ProcessBid(Alternates(later.GetNegID(), "bidA", {At(8, 12)}), A);
    Side().ProcessBid(Alternates(later.GetNegID(), "bidB", {At(8, 14)}), B);
    const auto all = SentOfType("contract");
    ASSERT_EQ(all.size(), 5u);
    EXPECT_NE(all[4].content.find(":subject () :body () :location () :attendees (" + std::string(A) + "," +
                                  B + ")"),
              std::string::npos);
}

TEST_F(OrganiserSideTest, DurationTooLongForTheRecordIsCutToItsRange)
{
    CNegotiation& longer = Start("tell :command schedule_meeting :attendees (" + std::string(A) +
                                 ") :start (" + At(8, 10).Format() + ") :duration (99999999999)");
    EXPECT_EQ(longer.GetDuration(), std::numeric_limits<int>::max());
    Side().ProcessBid(Accept(longer.GetNegID(), "bidA"), A);
    EXPECT_EQ(longer.GetTotalBids(), 1);
}

TEST_F(OrganiserSideTest, RequestFromADispatchedContentIsReadWithItsParentheses)
{
    Side().StartNegotiation("(" + Request(A, At(8, 10)) + ")");
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_EQ(Agent().Sent()[0].receiver, A);
}

TEST_F(OrganiserSideTest, RequestWithoutAttendeesStartsNothing)
{
    Side().StartNegotiation(Request("", At(8, 10)));
    Side().StartNegotiation("tell :command schedule_meeting :start (" + At(8, 10).Format() +
                            ") :duration (30)");
    EXPECT_EQ(Agent().CountLine("Unable to send contracts. No attendees specified"), 2);
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_EQ(Store().GetCount(), 0);
}

TEST_F(OrganiserSideTest, RequestWhoseStartIsNoDateStartsNothing)
{
    Side().StartNegotiation("tell :command schedule_meeting :attendees (" + std::string(A) +
                            ") :start (next week) :duration (30)");
    EXPECT_TRUE(Agent().HasLine("Unable to send contracts. The start time is not a date and time"));
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_EQ(Store().GetCount(), 0);
}

TEST_F(OrganiserSideTest, SendErrorIsLoggedAndTheAttendeeStillCounts)
{
    Agent().SetSendError(std::string("unable to locate agent"));
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
    EXPECT_EQ(Agent().CountLine("unable to locate agent"), 2);
    EXPECT_EQ(record.GetContractsSent(), 2);
    EXPECT_EQ(record.GetTotalContracts(), 2);
}

// --- refused bids ----------------------------------------------------------------

TEST_F(OrganiserSideTest, MalformedBidsAreRefusedWithTheirLogLine)
{
    const CDateTime end = At(8, 16);
    CNegotiation& window = Start(Request(A, At(8, 10), &end));
    const std::string negID = window.GetNegID();
    struct Case {
        std::string content;
        std::string line;
    };
    const std::vector<Case> cases = {
        {"(tell :type bid :negID " + negID + " :status accept)", "ERROR: Invalid bid has bad Bid ID"},
        {Accept("no-such-negotiation", "b1"), "ERROR: Invalid bid has bad Neg ID"},
        {"(tell :type bid :negID " + negID + " :bidID b1)", "ERROR: Invalid Bid. No status field found"},
        {Accept(negID, "b1"), "ERROR: Invalid Bid, accepts on a non specifically constrained contract"},
        {Bid(negID, "b1", "alt :duration 60"), "ERROR: Invalid Bid. No Alternates suggested"},
        {Bid(negID, "b1", "alt :alternates (tell :t1 (" + At(8, 11).Format() + "))"),
         "ERROR: Invalid Bid. No Duration specified"},
        {Bid(negID, "b1", "maybe"), "Invalid Bid. Status field malformed"},
    };
    for (const Case& each : cases) {
        Agent().ClearDebugLines();
        Side().ProcessBid(each.content, A);
        EXPECT_TRUE(Agent().HasLine("Processing bid")) << each.line;
        EXPECT_TRUE(Agent().HasLine(each.line)) << each.line;
    }
    EXPECT_EQ(window.GetBidsReceived(), 0);
    EXPECT_EQ(window.GetTotalBids(), 0);
    EXPECT_EQ(window.GetSuggestions()->GetCount(), 0);
    EXPECT_EQ(Agent().Sent().size(), 1u);
}

TEST_F(OrganiserSideTest, BidForAFinishedNegotiationIsRefused)
{
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
    Side().ProcessBid(Bid(record.GetNegID(), "bidA", "decline"), A);
    Agent().ClearDebugLines();
    Side().ProcessBid(Accept(record.GetNegID(), "bidB"), B);
    EXPECT_TRUE(Agent().HasLine("ERROR: Negotiation is no longer running"));
    EXPECT_EQ(record.GetTotalBids(), 0);
    EXPECT_TRUE(SentOfType("award").empty());
}

// --- choosing the time ---------------------------------------------------------------

TEST_F(OrganiserSideTest, BothAcceptAndEachGetsAnAwardWithItsOwnBid)
{
    CNegotiation& record = AcceptedByBoth();
    const std::vector<vespera_test::SSentMessage> awards = SentOfType("award");
    ASSERT_EQ(awards.size(), 2u);
    const std::string tail =
        " :attributes (tell :subject (Review) :body (Numbers) :location (Room 4) :reqAttendees (" +
        std::string(A) + "," + B + ") :optAttendees (none)) :constraints (tell :startTime (" +
        At(8, 10).Format() + ") :duration 60)";
    const std::string head =
        "tell :type award :negID " + record.GetNegID() + " :contractID " + record.GetContractID();
    EXPECT_EQ(awards[0].receiver, A);
    EXPECT_EQ(awards[0].content, head + " :bidID bidA" + tail + CMessageZone().Keyword());
    EXPECT_EQ(awards[1].receiver, B);
    EXPECT_EQ(awards[1].content, head + " :bidID bidB" + tail + CMessageZone().Keyword());
    EXPECT_EQ(record.GetTotalAwards(), 2);
    EXPECT_EQ(record.GetChosenSlot().GetStartTime(), At(8, 10));
    EXPECT_TRUE(Agent().HasLine("bid is an accept"));
    EXPECT_TRUE(Agent().HasLine("Preprocessing data to send awards"));
    EXPECT_TRUE(Agent().HasLine("Done processing negotiation"));
}

TEST_F(OrganiserSideTest, NoAwardBeforeEveryBidIsIn)
{
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
    Side().ProcessBid(Accept(record.GetNegID(), "bidA"), A);
    EXPECT_TRUE(SentOfType("award").empty());
    EXPECT_FALSE(Agent().HasLine("Processing negotiation"));
    EXPECT_EQ(record.GetBidsReceived(), 1);
}

TEST_F(OrganiserSideTest, FirstCommonAlternativeInTheFirstBiddersOrderIsAwarded)
{
    const CDateTime end = At(8, 18);
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 9), &end));
    Side().ProcessBid(Alternates(record.GetNegID(), "bidA", {At(8, 9), At(8, 13), At(8, 11)}), A);
    Side().ProcessBid(Alternates(record.GetNegID(), "bidB", {At(8, 11), At(8, 13)}), B);
    const std::vector<vespera_test::SSentMessage> awards = SentOfType("award");
    ASSERT_EQ(awards.size(), 2u);
    EXPECT_EQ(record.GetChosenSlot().GetStartTime(), At(8, 13));
    EXPECT_EQ(Field(awards[0].content, "bidID"), "bidA");
    EXPECT_EQ(Field(awards[1].content, "bidID"), "bidB");
    EXPECT_TRUE(Agent().HasLine("bid is an alt"));
    EXPECT_TRUE(Agent().HasLine("Got the perf tell"));
    EXPECT_TRUE(Agent().HasLine("Getting the value for the key =:t2"));
    EXPECT_TRUE(Agent().HasLine("and the value is (" + At(8, 13).Format() + ")"));
    EXPECT_TRUE(Agent().HasLine("Incrementing counts after processing bid"));
}

TEST_F(OrganiserSideTest, SingleAttendeeGetsItsFirstSuggestionAtOnce)
{
    const CDateTime end = At(8, 18);
    CNegotiation& record = Start(Request(A, At(8, 9), &end));
    Side().ProcessBid(Alternates(record.GetNegID(), "bidA", {At(8, 15), At(8, 10)}), A);
    const std::vector<vespera_test::SSentMessage> awards = SentOfType("award");
    ASSERT_EQ(awards.size(), 1u);
    EXPECT_EQ(record.GetChosenSlot().GetStartTime(), At(8, 15));
}

TEST_F(OrganiserSideTest, AlternativesOutsideTheConstraintsAreNotRecorded)
{
    const CDateTime end = At(8, 16);
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10), &end));
    Side().ProcessBid(
        Alternates(record.GetNegID(), "bidA", {At(8, 9, 59), At(8, 16), At(8, 16, 1), At(8, 10)}), A);
    const CTimeSlotStore* suggestions = record.GetSuggestions();
    ASSERT_EQ(suggestions->GetCount(), 2);
    EXPECT_EQ(suggestions->GetTimeSlot(0)->GetStartTime(), At(8, 16));
    EXPECT_EQ(suggestions->GetTimeSlot(1)->GetStartTime(), At(8, 10));
    EXPECT_EQ(suggestions->GetAttribute(0), A);
    EXPECT_EQ(suggestions->GetID(0), "bidA");
    EXPECT_EQ(suggestions->GetTimeSlot(0)->GetDuration(), 60);
    EXPECT_EQ(Agent().CountLine("Its acceptable"), 2);
    EXPECT_EQ(record.GetBidsReceived(), 1);
}

TEST_F(OrganiserSideTest, AlternativesThatAreNoDatesAreSkipped)
{
    const CDateTime end = At(8, 16);
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10), &end));
    Side().ProcessBid(Bid(record.GetNegID(), "bidA",
                          "alt :alternates (tell :t1 (soon) :t2 (" + At(8, 12).Format() + ")) :duration 30"),
                      A);
    ASSERT_EQ(record.GetSuggestions()->GetCount(), 1);
    EXPECT_EQ(record.GetSuggestions()->GetTimeSlot(0)->GetStartTime(), At(8, 12));
    EXPECT_EQ(record.GetSuggestions()->GetTimeSlot(0)->GetDuration(), 30);
    EXPECT_EQ(Agent().CountLine("Successfully parsed into a date time object"), 1);
}

TEST_F(OrganiserSideTest, NoCommonTimeAsksAgainFromTheEarliestLastEnd)
{
    const CDateTime end = At(8, 18);
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 9), &end));
    const std::string negID = record.GetNegID();
    const std::string firstContract = record.GetContractID();
    Agent().ClearSent();
    Side().ProcessBid(Alternates(negID, "bidA", {At(8, 9), At(8, 12)}), A);
    Side().ProcessBid(Alternates(negID, "bidB", {At(8, 10), At(8, 14)}), B);

    const std::vector<vespera_test::SSentMessage> contracts = SentOfType("contract");
    ASSERT_EQ(contracts.size(), 2u);
    EXPECT_TRUE(SentOfType("award").empty());
    EXPECT_EQ(record.GetNegID(), negID);
    EXPECT_NE(record.GetContractID(), firstContract);
    EXPECT_EQ(record.GetStartConstraint(), At(8, 13));
    EXPECT_EQ(record.GetSuggestions()->GetCount(), 0);
    EXPECT_EQ(record.GetBidsReceived(), 0);
    EXPECT_EQ(record.GetContractsSent(), 2);
    EXPECT_EQ(record.GetTotalContracts(), 4);
    const std::string expected = "tell :type contract :negID " + negID + " :contractID " +
                                 record.GetContractID() + " :expires (" + record.GetExpires().Format() +
                                 ") :attributes (tell :subject (Review) :body (Numbers) :location (Room 4)"
                                 " :attendees (" +
                                 A + "," + B + ")) :constraints (tell :start (" + At(8, 13).Format() +
                                 ") :end (" + end.Format() + ") :duration (60))";
    EXPECT_EQ(contracts[0].receiver, A);
    EXPECT_EQ(contracts[0].content, expected + CMessageZone().Keyword());
    EXPECT_EQ(contracts[1].receiver, B);

    // The second pass is answered and decided on its own suggestions.
    Side().ProcessBid(Alternates(negID, "bidA2", {At(8, 15)}), A);
    Side().ProcessBid(Alternates(negID, "bidB2", {At(8, 15)}), B);
    ASSERT_EQ(SentOfType("award").size(), 2u);
    EXPECT_EQ(record.GetChosenSlot().GetStartTime(), At(8, 15));
    EXPECT_EQ(record.GetTotalBids(), 4);
}

TEST_F(OrganiserSideTest, StrictSecondPassHasNoEnd)
{
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 9)));
    Agent().ClearSent();
    Side().ProcessBid(Alternates(record.GetNegID(), "bidA", {At(8, 10)}), A);
    Side().ProcessBid(Alternates(record.GetNegID(), "bidB", {At(8, 12)}), B);
    const std::vector<vespera_test::SSentMessage> contracts = SentOfType("contract");
    ASSERT_EQ(contracts.size(), 2u);
    EXPECT_EQ(contracts[0].content.find(" :end ("), std::string::npos);
    EXPECT_NE(
        contracts[0].content.find(":constraints (tell :start (" + At(8, 11).Format() + ") :duration (60))"),
        std::string::npos);
}

TEST_F(OrganiserSideTest, AnAttendeeWithNoTimeInBoundsIsNeverAwardedAnotherOne)
{
    const CDateTime end = At(8, 18);
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 9), &end));
    Agent().ClearSent();
    Side().ProcessBid(Alternates(record.GetNegID(), "bidA", {At(8, 10)}), A);
    Side().ProcessBid(Alternates(record.GetNegID(), "bidB", {At(9, 10)}), B);
    EXPECT_TRUE(SentOfType("award").empty());
    ASSERT_EQ(SentOfType("contract").size(), 2u);
    EXPECT_EQ(record.GetStartConstraint(), At(8, 11));
}

TEST_F(OrganiserSideTest, NoLaterStartEndsTheNegotiationWithAReport)
{
    const CDateTime end = At(8, 18);
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 9), &end));
    Agent().ClearSent();
    Side().ProcessBid(Alternates(record.GetNegID(), "bidA", {At(7, 10)}), A);
    Side().ProcessBid(Alternates(record.GetNegID(), "bidB", {At(9, 10)}), B);
    EXPECT_EQ(record.GetStatus(), -1);
    EXPECT_TRUE(SentOfType("contract").empty());
    EXPECT_TRUE(SentOfType("award").empty());
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text, std::string("The meeting could not be scheduled.\nReason:\n") +
                                           COrganiserSide::NoCommonTimeReason);
    EXPECT_NE(std::string(COrganiserSide::NoCommonTimeReason).find("no common time"), std::string::npos);
}

TEST_F(OrganiserSideTest, NextStartBeyondTheWindowEndsTheNegotiationWithAReport)
{
    const CDateTime end = At(8, 12);
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 9), &end, 120));
    Agent().ClearSent();
    Side().ProcessBid(Alternates(record.GetNegID(), "bidA", {At(8, 11)}, 120), A);
    Side().ProcessBid(Alternates(record.GetNegID(), "bidB", {At(8, 12)}, 120), B);
    EXPECT_EQ(record.GetStatus(), -1);
    EXPECT_TRUE(SentOfType("contract").empty());
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
}

// --- declines ------------------------------------------------------------------------

TEST_F(OrganiserSideTest, DeclineFromAnUnknownAgentNamesTheAgent)
{
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
    Side().ProcessBid(Bid(record.GetNegID(), "bidB", "decline"), B);
    EXPECT_EQ(record.GetStatus(), -1);
    EXPECT_TRUE(
        Agent().HasLine(std::string("Meeting cannot be scheduled within specified constraints because ") + B +
                        " is not available"));
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(
        Boxes().Boxes()[0].text,
        std::string("The meeting could not be scheduled.\nReason:\nMeeting cannot be scheduled within the "
                    "specified constraints because the user of agent ") +
            B + " is not available");
    EXPECT_EQ(record.GetTotalBids(), 0);
}

TEST_F(OrganiserSideTest, DeclineFromAContactNamesThePerson)
{
    AddContact("Bob", "Stone", "bob@example.org");
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
    Side().ProcessBid(Bid(record.GetNegID(), "bidB", "decline"), B);
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(
        Boxes().Boxes()[0].text,
        "The meeting could not be scheduled.\nReason:\nMeeting cannot be scheduled within the specified "
        "constraints becasuse Bob Stone [bob@example.org] is not available");
}

// --- confirmations ---------------------------------------------------------------------

TEST_F(OrganiserSideTest, AllConfirmedMakesTheMeetingOnce)
{
    const int before = CalendarItems();
    CNegotiation& record = AcceptedByBoth();
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidA"), A);
    EXPECT_EQ(CalendarItems(), before);
    EXPECT_EQ(record.GetStatus(), 0);
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidB"), B);
    EXPECT_EQ(CalendarItems(), before + 1);
    EXPECT_EQ(record.GetStatus(), 1);
    EXPECT_TRUE(Boxes().Boxes().empty());
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidB"), B);
    EXPECT_EQ(CalendarItems(), before + 1);
    EXPECT_EQ(record.GetTotalConfirmations(), 3);
    EXPECT_EQ(Agent().CountLine("processing confirmation"), 3);
}

TEST_F(OrganiserSideTest, TheMeetingNamesItsOrganiserAndTheAttendeesItKnowsByAddress)
{
    Agent().GetSettings().SetEmail("me@example.org");
    AddContact("Ann", "Lee", "ann@example.org");
    CNegotiation& record = AcceptedByBoth();
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidA"), A);
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidB"), B);
    outlook::CStoredItem item;
    ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, CalendarItems() - 1, item));
    const auto& data = std::get<outlook::CAppointmentData>(item.data);
    EXPECT_EQ(data.organizer, "me@example.org");
    EXPECT_EQ(data.requiredAddresses, "ann@example.org");
    EXPECT_EQ(data.requiredAttendees, std::string(A) + "," + B);
}

TEST_F(OrganiserSideTest, AllConfirmedButNotSavedIsReportedAsFailed)
{
    CNegotiation& record = AcceptedByBoth();
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Save, true);
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidA"), A);
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidB"), B);
    EXPECT_EQ(record.GetStatus(), -1);
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text.rfind(std::string("The meeting could not be scheduled.\nReason:\n") +
                                                COrganiserSide::NotSavedReason,
                                            0),
              0u);
}

// Strangers can neither answer for an attendee nor confirm for one, and an
// attendee confirming twice does not stand in for another.
TEST_F(OrganiserSideTest, OnlyTheAttendeesMayBidAndConfirm)
{
    const char* const Stranger = "eve_example.org-CalendarAgent";
    const int before = CalendarItems();
    CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
    Side().ProcessBid(Bid(record.GetNegID(), "bidE", "decline"), Stranger);
    EXPECT_EQ(record.GetStatus(), 0);
    EXPECT_TRUE(Agent().HasLine("ERROR: Bid from " + std::string(Stranger) +
                                ", who is not an attendee of this negotiation, ignored"));
    Side().ProcessBid(Accept(record.GetNegID(), "bidA"), A);
    Side().ProcessBid(Accept(record.GetNegID(), "bidB"), B);

    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidA"), Stranger);
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidA"), A);
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidA"), A);
    EXPECT_EQ(CalendarItems(), before);
    EXPECT_EQ(record.GetStatus(), 0);
    EXPECT_TRUE(Agent().HasLine("Confirmation from " + std::string(Stranger) +
                                ", who was not awarded this meeting, ignored"));
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidB"), B);
    EXPECT_EQ(CalendarItems(), before + 1);
    EXPECT_EQ(record.GetStatus(), 1);
}

TEST_F(OrganiserSideTest, ARequestForMoreThanTheMostAttendeesStartsNothing)
{
    std::string many;
    for (std::size_t i = 0; i <= COrganiserSide::MaxAttendees; ++i)
        many += (i ? "," : "") + std::string("agent") + std::to_string(i);
    Side().StartNegotiation(Request(many, At(8, 10)));
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_EQ(Store().GetCount(), 0);
    EXPECT_TRUE(Agent().HasLine("Unable to send contracts. More than 200 attendees specified"));
}

TEST_F(OrganiserSideTest, ConfirmationForAnUnknownNegotiationIsIgnored)
{
    Side().ProcessConfirmation(Confirm("no-such-negotiation", "b"), A);
    EXPECT_TRUE(Agent().HasLine("No negotiation to confirm"));
}

TEST_F(OrganiserSideTest, ConfirmationsBeforeAnyAwardMakeNoMeeting)
{
    const int before = CalendarItems();
    CNegotiation& record = Start(Request(A, At(8, 10)));
    Side().ProcessConfirmation(Confirm(record.GetNegID(), "b"), A);
    EXPECT_EQ(CalendarItems(), before);
    EXPECT_EQ(record.GetStatus(), 0);
}

// --- the report --------------------------------------------------------------------------

namespace {

class OrganiserReportTest : public OrganiserSideTest {
protected:
    void ByEmail()
    {
        Agent().GetSettings().SetEmailAlert(true);
        Agent().GetSettings().SetEmailAlertString("me@example.org");
    }

    void ByAlertAgent()
    {
        Agent().GetSettings().SetAgentAlert(true);
        Agent().GetSettings().SetAgentAlertString("phone-Agent");
    }

    CNegotiation& Scheduled()
    {
        CNegotiation& record = AcceptedByBoth();
        Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidA"), A);
        Side().ProcessConfirmation(Confirm(record.GetNegID(), "bidB"), B);
        return record;
    }

    CNegotiation& Declined()
    {
        CNegotiation& record = Start(Request(std::string(A) + "," + B, At(8, 10)));
        Side().ProcessBid(Accept(record.GetNegID(), "bidA"), A);
        Side().ProcessBid(Bid(record.GetNegID(), "bidB", "decline"), B);
        return record;
    }

    std::vector<vespera_test::SSentMessage> Notices()
    {
        std::vector<vespera_test::SSentMessage> found;
        for (const vespera_test::SSentMessage& message : Agent().Sent())
            if (message.alertNotice)
                found.push_back(message);
        return found;
    }

    static std::string Totals(const CNegotiation& record, int contracts, int bids, int awards,
                              int confirmations)
    {
        return "\n\n- Additional Agent Negotiation Information -\n\nNegotiation ID: " + record.GetNegID() +
               "\nContract ID: " + record.GetContractID() +
               "\nTotal Contracts Generated = " + std::to_string(contracts) +
               "\nTotal Bids Received = " + std::to_string(bids) +
               "\nTotal Awards Generated = " + std::to_string(awards) +
               "\nTotal Confirmations Received = " + std::to_string(confirmations) + "\n";
    }
};

} // namespace

TEST_F(OrganiserReportTest, LongReportOfAScheduledMeetingGoesByEmail)
{
    AddContact("Ann", "Lee", "ann@example.org");
    Agent().GetSettings().SetMeetingScheduleLongAlert(true);
    ByEmail();
    CNegotiation& record = Scheduled();
    const std::vector<outlook::CMailData>& mail = Backend().GetSentMail();
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].to, "me@example.org");
    EXPECT_EQ(mail[0].subject, "[Vesp] New Meeting Request Completed");
    EXPECT_EQ(mail[0].body,
              "The meeting you requested has been successfully scheduled. Please review the details below\n\n"
              "\nMeeting Subject: Review\nMeeting Body: Numbers\nMeeting Start Time: 12/8/2026 10:00:00 AM"
              "\nMeeting Duration: " +
                  record.GetChosenSlot().GetDurationString() +
                  "\nMeeting Location: Room 4\nAttendees: \n\tAnn Lee [ann@example.org]\n\t" + B + "\n" +
                  Totals(record, 2, 2, 2, 2));
    EXPECT_TRUE(Agent().HasLineContaining("Your meeting request has been successfully completed."));
    EXPECT_TRUE(Notices().empty());
}

TEST_F(OrganiserReportTest, LongReportOfAFailureGivesTheCauseAndTheRequest)
{
    Agent().GetSettings().SetMeetingScheduleLongAlert(true);
    ByAlertAgent();
    CNegotiation& record = Declined();
    const std::string reason =
        std::string("Meeting cannot be scheduled within the specified constraints because the "
                    "user of agent ") +
        B + " is not available";
    const std::vector<vespera_test::SSentMessage> notices = Notices();
    ASSERT_EQ(notices.size(), 1u);
    EXPECT_EQ(notices[0].receiver, "phone-Agent");
    EXPECT_EQ(
        notices[0].content,
        "The meeting you requested could not be scheduled. The details for the failure are given below\n\n"
        "Cause for Failure: " +
            reason +
            "\nMeeting Subject: Review\nMeeting Body: Numbers\nMeeting Start Time: 12/8/2026 10:00:00 AM"
            "\nMeeting Duration: 60\nMeeting Location: Room 4\nAttendees: \n\t" +
            A + "\n\t" + B + "\n" + Totals(record, 2, 1, 0, 0));
    EXPECT_TRUE(Agent().HasLineContaining(" Reason: " + reason));
    EXPECT_TRUE(Backend().GetSentMail().empty());
}

TEST_F(OrganiserReportTest, ShortReportOfAScheduledMeeting)
{
    Agent().GetSettings().SetMeetingScheduleShortAlert(true);
    ByEmail();
    Scheduled();
    const std::vector<outlook::CMailData>& mail = Backend().GetSentMail();
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].subject, "Meeting Request Scheduled");
    EXPECT_EQ(mail[0].body, "Review@12/8/2026 10:00:00 AM>Room 4");
}

TEST_F(OrganiserReportTest, ShortReportReplacesTheLongOneAndCarriesTheReason)
{
    Agent().GetSettings().SetMeetingScheduleLongAlert(true);
    Agent().GetSettings().SetMeetingScheduleShortAlert(true);
    ByEmail();
    ByAlertAgent();
    Declined();
    const std::string reason =
        std::string("Meeting cannot be scheduled within the specified constraints because the "
                    "user of agent ") +
        B + " is not available";
    const std::vector<outlook::CMailData>& mail = Backend().GetSentMail();
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(mail[0].subject, "Meeting Request Denied");
    EXPECT_EQ(mail[0].body, reason);
    ASSERT_EQ(Notices().size(), 1u);
    EXPECT_EQ(Notices()[0].content, reason);
}

TEST_F(OrganiserReportTest, NoStyleChosenSendsNothing)
{
    ByEmail();
    ByAlertAgent();
    Declined();
    EXPECT_TRUE(Backend().GetSentMail().empty());
    EXPECT_TRUE(Notices().empty());
    EXPECT_EQ(Boxes().Boxes().size(), 1u);
}

TEST_F(OrganiserReportTest, TheBalloonTellsEveryOutcomeWhateverTheNoticeSettings)
{
    const vespera_test::CBalloonRecorder balloons;
    AddContact("Ann", "Lee", "ann@example.org");
    CNegotiation& scheduled = Scheduled();
    const CTimeSlot& chosen = scheduled.GetChosenSlot();
    Declined();
    const std::vector<std::string>& texts = balloons.texts;
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0],
              std::string("Meeting Request Completed: Your meeting request has been "
                          "successfully completed.\nReview with Ann and ") +
                  B + ", " +
                  CUserTimeFormat::Current().FormatSpan(chosen.GetStartTime(), chosen.GetEndTime()));
    EXPECT_EQ(texts[1], std::string("Meeting Request Completed: The meeting you requested could not be "
                                    "scheduled.\n Reason: Meeting cannot be scheduled within the "
                                    "specified constraints because the user of agent ") +
                            B + " is not available\nReview with Ann and " + B);
    EXPECT_TRUE(Backend().GetSentMail().empty());
}

TEST_F(OrganiserReportTest, ReportOfNoCommonTimeCarriesItsReason)
{
    Agent().GetSettings().SetMeetingScheduleShortAlert(true);
    ByAlertAgent();
    const CDateTime end = At(8, 18);
    CNegotiation& record = Start(Request(A, At(8, 9), &end));
    Side().ProcessBid(Alternates(record.GetNegID(), "bidA", {At(9, 10)}), A);
    ASSERT_EQ(Notices().size(), 1u);
    EXPECT_EQ(Notices()[0].content, COrganiserSide::NoCommonTimeReason);
}

TEST_F(OrganiserSideTest, NegotiationCarriedByAgentMessagesReachesThisSide)
{
    Agent().GetSettings().SetMeetingSchedulingType(2);
    Deliver(Request(A, At(8, 10)));
    ASSERT_EQ(Store().GetCount(), 1);
    CNegotiation& record = *Store().GetAt(0);
    const std::string accept = Accept(record.GetNegID(), "bidA");
    Deliver(accept.substr(1, accept.size() - 2), A);
    ASSERT_EQ(SentOfType("award").size(), 1u);
    const std::string confirm = Confirm(record.GetNegID(), "bidA");
    Deliver(confirm.substr(1, confirm.size() - 2), A);
    EXPECT_EQ(record.GetStatus(), 1);
}
