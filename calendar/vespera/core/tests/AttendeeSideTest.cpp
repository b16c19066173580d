#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/AttendeeSide.h>
#include <vespera/core/ContactRecord.h>
#include <vespera/core/ContactStore.h>

#include <outlook/Constants.h>
#include <slotbook/Appointment.h>
#include <slotbook/TimeSlot.h>
#include <slotbook/TimeSlotStore.h>

#include <platform/DateTimeSpan.h>
#include <platform/TimeZone.h>

#include <vespera/core/MessageZone.h>

#include <platform/testing/ScopedTimeZone.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {
const char* const Organiser = "boss_example.org-CalendarAgent";
const char* const Attributes =
    "(tell :subject (Review) :body (Plans) :location (Room 4) :attendees (a-CalendarAgent,b-CalendarAgent))";

// A Monday, far from any weekend or bound.
CDateTime At(int hour, int minute, int day = 7)
{
    return CDateTime(2030, 1, day, hour, minute, 0);
}

CDateTime NullTime()
{
    CDateTime value;
    value.SetStatus(CDateTime::null);
    return value;
}

std::string StrictConstraints(const CDateTime& start, int minutes)
{
    return "(tell :start (" + start.Format() + ") :duration (" + std::to_string(minutes) + "))";
}

std::string WindowConstraints(const CDateTime& start, const CDateTime& end, int minutes)
{
    return "(tell :start (" + start.Format() + ") :end (" + end.Format() + ") :duration (" +
           std::to_string(minutes) + "))";
}

std::string Contract(const std::string& negID, const std::string& contractID, const std::string& constraints,
                     const CDateTime& expires = At(9, 0))
{
    return "tell :type contract :negID " + negID + " :contractID " + contractID + " :expires (" +
           expires.Format() + ") :attributes " + Attributes + " :constraints " + constraints;
}

std::string AwardAttributes()
{
    return "(tell :subject (Review) :body (Plans) :location (Room 4) :reqAttendees (a-CalendarAgent) "
           ":optAttendees (none))";
}

std::string AwardConstraints(const CDateTime& start, const std::string& minutes)
{
    return "(tell :startTime (" + start.Format() + ") :duration " + minutes + ")";
}

std::string Award(const std::string& negID, const std::string& bidID, const CDateTime& start,
                  const std::string& minutes = "60")
{
    return "tell :type award :negID " + negID + " :contractID C1 :bidID " + bidID + " :attributes " +
           AwardAttributes() + " :constraints " + AwardConstraints(start, minutes);
}

class AttendeeSideTest : public vespera_test::CVesperaTest {
protected:
    // The organiser is no contact: let everybody's requests through unless a
    // test says otherwise.
    void SetUp() override
    {
        CVesperaTest::SetUp();
        SetPolicy(2);
    }

    CAttendeeSide& Side() { return Agent().GetAttendeeSide(); }
    CAppointmentStore& Store() { return Agent().GetAppointmentStore(); }

    void SetPolicy(int policy) { Agent().GetSettings().SetMeetingSchedulingType(policy); }

    void AddContact(const std::string& email)
    {
        auto record = std::make_unique<CContactRecord>("Ann", "Boss", email);
        record->SetCalendarAgentName(CContactRecord::AgentNameFor(email));
        Agent().GetContactStore().Add(std::move(record));
    }

    void AddBusy(const CDateTime& start, const CDateTime& end)
    {
        const long minutes = (end - start).GetWholeMinutes();
        Store().AddAppointment(1, "Busy", "", "", "", "", start, end, minutes, 0, 0, 2, NullTime(), "outlook",
                               false);
    }

    std::vector<const CAppointment*> HoldsOf(const std::string& negID)
    {
        std::vector<const CAppointment*> holds;
        const std::string prefix = "neg:" + negID + "bid:";
        for (int i = 0; i < Store().GetCount(); ++i) {
            const CAppointment* appointment = Store().GetAt(i);
            if (appointment->GetOutlookIndex() == -1 && appointment->GetAttribute().rfind(prefix, 0) == 0)
                holds.push_back(appointment);
        }
        return holds;
    }

    // The bid identifier this agent made for the negotiation's holds.
    std::string BidIDOf(const std::string& negID)
    {
        const auto holds = HoldsOf(negID);
        if (holds.empty())
            return std::string();
        return holds.front()->GetAttribute().substr(std::string("neg:" + negID + "bid:").size());
    }

    // The bid identifier of a sent bid, which a decline leaves nowhere else.
    static std::string BidIDIn(const std::string& content)
    {
        const std::string key = " :bidID ";
        const std::string::size_type at = content.find(key);
        if (at == std::string::npos)
            return std::string();
        const std::string::size_type begin = at + key.size();
        return content.substr(begin, content.find(' ', begin) - begin);
    }

    const vespera_test::SSentMessage& OnlySent()
    {
        EXPECT_EQ(Agent().Sent().size(), 1u);
        static const vespera_test::SSentMessage none;
        return Agent().Sent().empty() ? none : Agent().Sent().back();
    }

    // Makes the agent hold `start` for an hour under a new bid of negID.
    std::string HoldOneHour(const std::string& negID, const CDateTime& start)
    {
        Side().ProcessContract(Contract(negID, "C1", StrictConstraints(start, 60)), Organiser);
        Agent().ClearSent();
        Agent().ClearDebugLines();
        return BidIDOf(negID);
    }

    long CalendarItems() { return Backend().GetCount(outlook::olFolderCalendar); }
};

// --- contracts: the answers -------------------------------------------------

TEST_F(AttendeeSideTest, FreeStrictTimeIsAcceptedWithOneHold)
{
    const std::string constraints = StrictConstraints(At(10, 0), 60);
    // Expiries are held to the next day, so this one lies within it.
    const CDateTime expires = CDateTime::GetCurrentTime() + CDateTimeSpan(0, 1, 0, 0);
    Side().ProcessContract(Contract("N1", "C1", constraints, expires), Organiser);

    const auto holds = HoldsOf("N1");
    ASSERT_EQ(holds.size(), 1u);
    const std::string bidID = BidIDOf("N1");
    EXPECT_FALSE(bidID.empty());

    const auto& sent = OnlySent();
    EXPECT_EQ(sent.performative, "tell");
    EXPECT_EQ(sent.receiver, Organiser);
    EXPECT_EQ(sent.content, "tell :type bid :negID N1 :contractID C1 :bidID " + bidID +
                                " :status accept :duration 60 :attributes " + Attributes + " :constraints " +
                                constraints + CMessageZone().Keyword());

    const CAppointment& hold = *holds.front();
    EXPECT_EQ(hold.GetStartTime(), At(10, 0));
    EXPECT_EQ(hold.GetEndTime(), At(11, 0));
    EXPECT_EQ(hold.GetDuration(), 60);
    EXPECT_EQ(hold.GetSubject(), "Review");
    EXPECT_EQ(hold.GetBody(), "Plans");
    EXPECT_EQ(hold.GetLocation(), "Room 4");
    EXPECT_EQ(hold.GetReqAttendees(), "a-CalendarAgent,b-CalendarAgent");
    EXPECT_EQ(hold.GetApptStatus(), 1);
    EXPECT_EQ(hold.GetReminder(), 30);
    EXPECT_EQ(hold.GetExpires().Format(), (expires + CDateTimeSpan(0, 0, 0, 20)).Format());
    EXPECT_TRUE(Side().FindBid("N1", bidID, At(10, 0)));

    EXPECT_TRUE(Agent().HasLine("Entering process Contract"));
    EXPECT_TRUE(Agent().HasLine("ProcessContract: The total # of appts in the store = 0"));
    EXPECT_TRUE(Agent().HasLine("ITS A STRICT TIME SLOT"));
}

// An expiry is an instant: written in the organiser's zone, it holds the bid
// until that instant in the attendee's, wherever the two live.
TEST_F(AttendeeSideTest, AnExpiryInTheOrganisersZoneIsTheSameInstantHere)
{
    const testsupport::CScopedTimeZone zone("America/New_York");
    const CDateTime expires = CDateTime::GetCurrentTime() + CDateTimeSpan(0, 1, 0, 0);
    const char* const zones[] = {"Europe/Berlin", "Asia/Kolkata", "Australia/Lord_Howe", "America/New_York"};
    int n = 0;
    for (const char* zone : zones) {
        const std::string negID = "Z" + std::to_string(++n);
        const CDateTime written = CTimeZone::Local().ConvertTo(expires, *CTimeZone::Named(zone));
        Side().ProcessContract(Contract(negID, "C1", StrictConstraints(At(10 + n, 0), 30), written) +
                                   " :timezone (" + zone + ")",
                               Organiser);
        const auto holds = HoldsOf(negID);
        ASSERT_EQ(holds.size(), 1u) << zone;
        EXPECT_EQ(holds.front()->GetExpires().Format(), (expires + CDateTimeSpan(0, 0, 0, 20)).Format())
            << zone;
    }
}

TEST_F(AttendeeSideTest, BusyStrictTimeOffersFiveSeparateAlternates)
{
    AddBusy(At(10, 0), At(11, 0));
    const std::string constraints = StrictConstraints(At(10, 0), 60);
    Side().ProcessContract(Contract("N1", "C1", constraints), Organiser);

    EXPECT_TRUE(Agent().HasLine("THE STRICT TIME SLOT IS NOT FREE- SENDING B ID WITH ALTERNATES"));
    const auto holds = HoldsOf("N1");
    ASSERT_EQ(holds.size(), 5u);
    CTimeSlotStore expected;
    for (std::size_t i = 0; i < holds.size(); ++i) {
        EXPECT_EQ(holds[i]->GetDuration(), 60);
        if (i > 0) {
            EXPECT_GE(holds[i]->GetStartTime(), holds[i - 1]->GetEndTime());
        }
        expected.Add(new CTimeSlot(holds[i]->GetStartTime(), 60), "free");
    }
    EXPECT_EQ(holds.front()->GetStartTime(), At(11, 0));

    const std::string bidID = BidIDOf("N1");
    EXPECT_EQ(OnlySent().content, "tell :type bid :negID N1 :contractID C1 :bidID " + bidID +
                                      " :status alt :alternates " + expected.ToKQML() +
                                      " :duration 60 :attributes " + Attributes + " :constraints " +
                                      constraints + CMessageZone().Keyword());
}

TEST_F(AttendeeSideTest, NoFreeTimeIsDeclinedWithoutHolds)
{
    AddBusy(At(0, 0), At(0, 0, 20));
    const std::string constraints = StrictConstraints(At(10, 0), 60);
    Side().ProcessContract(Contract("N1", "C1", constraints), Organiser);

    EXPECT_TRUE(Agent().HasLine("No free time found within contract. Sending declination"));
    EXPECT_TRUE(HoldsOf("N1").empty());
    const auto& sent = OnlySent();
    EXPECT_EQ(sent.content, "tell :type bid :negID N1 :contractID C1 :bidID " + BidIDIn(sent.content) +
                                " :status decline :attributes " + Attributes + " :constraints " +
                                constraints + CMessageZone().Keyword());

    // A window in which nothing is free gets the same answer.
    Agent().ClearSent();
    Side().ProcessContract(Contract("N2", "C1", WindowConstraints(At(10, 0), At(14, 0), 60)), Organiser);
    EXPECT_EQ(Agent().CountLine("No free time found within contract. Sending declination"), 2);
    EXPECT_NE(OnlySent().content.find(" :status decline :attributes "), std::string::npos);
    EXPECT_EQ(Store().GetCount(), 1);
}

TEST_F(AttendeeSideTest, WindowIsAnsweredWithAlternatesEvenWhenItsStartIsFree)
{
    const std::string constraints = WindowConstraints(At(10, 0), At(13, 0), 60);
    Side().ProcessContract(Contract("N1", "C1", constraints), Organiser);

    EXPECT_TRUE(Agent().HasLine("Its a time window"));
    const auto holds = HoldsOf("N1");
    ASSERT_EQ(holds.size(), 3u);
    EXPECT_EQ(holds.front()->GetStartTime(), At(10, 0));
    EXPECT_LE(holds.back()->GetEndTime(), At(13, 0));
    CTimeSlotStore expected;
    for (const CAppointment* hold : holds)
        expected.Add(new CTimeSlot(hold->GetStartTime(), 60), "free");
    EXPECT_EQ(OnlySent().content, "tell :type bid :negID N1 :contractID C1 :bidID " + BidIDOf("N1") +
                                      " :status alt :alternates " + expected.ToKQML() +
                                      " :duration 60 :attributes " + Attributes + " :constraints " +
                                      constraints + CMessageZone().Keyword());

    // A window shorter than the meeting has no room for it.
    Agent().ClearSent();
    Side().ProcessContract(Contract("N2", "C1", WindowConstraints(At(15, 0), At(15, 30), 60)), Organiser);
    EXPECT_NE(OnlySent().content.find(" :status decline "), std::string::npos);
    EXPECT_TRUE(HoldsOf("N2").empty());
}

TEST_F(AttendeeSideTest, ContractsTheAgentCannotReadAreDeclinedNotHeld)
{
    Side().ProcessContract(Contract("N1", "C1", "(tell :start (soon) :duration (60))"), Organiser);
    Side().ProcessContract(Contract("N2", "C1", StrictConstraints(At(10, 0), 0)), Organiser);
    Side().ProcessContract(Contract("N3", "C1",
                                    "(tell :start (" + At(10, 0).Format() +
                                        ") :end (later) "
                                        ":duration (60))"),
                           Organiser);

    ASSERT_EQ(Agent().Sent().size(), 3u);
    for (const auto& sent : Agent().Sent())
        EXPECT_NE(sent.content.find(" :status decline "), std::string::npos) << sent.content;
    EXPECT_EQ(Agent().CountLine("Unreadable time in contract. Sending declination"), 3);
    EXPECT_EQ(Store().GetCount(), 0);
}

TEST_F(AttendeeSideTest, SparseContractsAreStillAnswered)
{
    const std::string constraints = StrictConstraints(At(10, 0), 30);
    Side().ProcessContract("(tell :type contract :negID N1 :contractID C1 :expires (" + At(9, 0).Format() +
                               ") :constraints " + constraints + ")",
                           Organiser);

    const auto holds = HoldsOf("N1");
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_EQ(holds.front()->GetSubject(), "");
    EXPECT_EQ(holds.front()->GetReqAttendees(), "");
    EXPECT_EQ(OnlySent().content, "tell :type bid :negID N1 :contractID C1 :bidID " + BidIDOf("N1") +
                                      " :status accept :duration 30 :attributes () :constraints " +
                                      constraints + CMessageZone().Keyword());

    // An expiry that does not read, or none, is answered and held as long
    // as the organiser's own contracts are; a far one for a day at most.
    const CDateTime before = CDateTime::GetCurrentTime();
    Side().ProcessContract("tell :type contract :negID N2 :contractID C1 :expires (whenever) :constraints " +
                               StrictConstraints(At(12, 0), 60),
                           Organiser);
    Side().ProcessContract("tell :type contract :negID N3 :contractID C1 :constraints " +
                               StrictConstraints(At(14, 0), 60),
                           Organiser);
    Side().ProcessContract(
        Contract("N4", "C1", StrictConstraints(At(16, 0), 60), CDateTime(9999, 1, 1, 0, 0, 0)), Organiser);
    const CDateTime after = CDateTime::GetCurrentTime();
    const CDateTimeSpan standard(0, 0, 0,
                                 CAttendeeSide::StandardExpirySeconds + CAttendeeSide::HoldGraceSeconds);
    for (const char* negID : {"N2", "N3"}) {
        ASSERT_EQ(HoldsOf(negID).size(), 1u);
        const CDateTime expiry = HoldsOf(negID).front()->GetExpires();
        EXPECT_GE(expiry, before + standard) << negID;
        EXPECT_LE(expiry, after + standard) << negID;
    }
    ASSERT_EQ(HoldsOf("N4").size(), 1u);
    EXPECT_LE(HoldsOf("N4").front()->GetExpires(),
              after + CDateTimeSpan(0, CAttendeeSide::MaxHoldHours, 0, 0));
    EXPECT_NE(Agent().Sent().back().content.find(" :status accept "), std::string::npos);
}

// A length outside a minute to a year is never held: the contract is
// declined.
TEST_F(AttendeeSideTest, ContractsForAbsurdLengthsAreDeclinedWithoutHolds)
{
    for (const char* minutes : {"99999999999999", "527041", "0", "-30"}) {
        Agent().ClearSent();
        Side().ProcessContract("tell :type contract :negID L1 :contractID C1 :constraints (tell :start (" +
                                   At(10, 0).Format() + ") :duration (" + minutes + "))",
                               Organiser);
        Side().ProcessContract("tell :type contract :negID L2 :contractID C1 :constraints (tell :start (" +
                                   At(10, 0).Format() + ") :end (" + At(18, 0).Format() + ") :duration (" +
                                   minutes + "))",
                               Organiser);
        EXPECT_TRUE(HoldsOf("L1").empty()) << minutes;
        EXPECT_TRUE(HoldsOf("L2").empty()) << minutes;
        ASSERT_EQ(Agent().Sent().size(), 2u);
        EXPECT_NE(Agent().Sent()[0].content.find(":status decline"), std::string::npos) << minutes;
        EXPECT_NE(Agent().Sent()[1].content.find(":status decline"), std::string::npos) << minutes;
    }
}

// --- contracts: refused before any answer ------------------------------------

TEST_F(AttendeeSideTest, ContractsMissingIdentifiersOrConstraintsAreIgnored)
{
    const std::string constraints = StrictConstraints(At(10, 0), 60);
    Side().ProcessContract("tell :type contract :contractID C1 :constraints " + constraints, Organiser);
    Side().ProcessContract("tell :type contract :negID N1 :constraints " + constraints, Organiser);
    EXPECT_EQ(Agent().CountLine("The contractID or the NegID is null. Ignoring contract"), 2);

    Side().ProcessContract(
        "tell :type contract :negID N1 :contractID C1 :attributes " + std::string(Attributes), Organiser);
    EXPECT_TRUE(Agent().HasLine("No constraints found in contract. Ignoring contract"));

    Side().ProcessContract("not a message at all ((", Organiser);
    EXPECT_EQ(Agent().CountLine("The contractID or the NegID is null. Ignoring contract"), 3);

    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_EQ(Store().GetCount(), 0);
}

TEST_F(AttendeeSideTest, PolicyDecidesWhoGetsAnAnswer)
{
    const std::string known = "boss@example.org";
    AddContact(known);
    const std::string knownAgent = CContactRecord::AgentNameFor(known);
    const std::string stranger = "stranger_example.org-CalendarAgent";
    const std::string constraints = StrictConstraints(At(10, 0), 60);

    struct Case {
        int policy;
        std::string sender;
        bool accepted;
    };
    const std::vector<Case> cases = {
        {0, knownAgent, false}, {0, stranger, false},  {1, knownAgent, true},
        {1, stranger, false},   {2, knownAgent, true}, {2, stranger, true},
    };
    int negotiation = 0;
    for (const Case& c : cases) {
        SetPolicy(c.policy);
        Agent().ClearSent();
        const std::string negID = "P" + std::to_string(++negotiation);
        Side().ProcessContract(Contract(negID, "C1", constraints), c.sender);

        const auto& sent = OnlySent();
        EXPECT_EQ(sent.receiver, c.sender);
        const bool accepted = sent.content.find(" :status accept ") != std::string::npos;
        const bool declined = sent.content.find(" :status decline ") != std::string::npos;
        EXPECT_EQ(accepted, c.accepted) << "policy " << c.policy << " from " << c.sender;
        EXPECT_EQ(declined, !c.accepted) << "policy " << c.policy << " from " << c.sender;
        EXPECT_EQ(HoldsOf(negID).size(), c.accepted ? 1u : 0u);
        // Each accepted hold takes 10:00; drop it so the next case finds the time free.
        Side().DeletePreviousBids(negID);
    }
}

// --- holds --------------------------------------------------------------------

TEST_F(AttendeeSideTest, LaterContractReplacesOnlyItsOwnNegotiationsHolds)
{
    HoldOneHour("OTHER", At(15, 0));
    Side().ProcessContract(Contract("N1", "C1", StrictConstraints(At(10, 0), 60)), Organiser);
    const std::string firstBid = BidIDOf("N1");

    Side().ProcessContract(Contract("N1", "C2", StrictConstraints(At(12, 0), 60)), Organiser);

    const auto holds = HoldsOf("N1");
    ASSERT_EQ(holds.size(), 1u);
    EXPECT_EQ(holds.front()->GetStartTime(), At(12, 0));
    EXPECT_NE(BidIDOf("N1"), firstBid);
    EXPECT_FALSE(Side().FindBid("N1", firstBid, At(10, 0)));
    EXPECT_EQ(HoldsOf("OTHER").size(), 1u);
    EXPECT_TRUE(Agent().HasLine("Entering delete previous bids"));
    EXPECT_TRUE(Agent().HasLine("Done deleting previous bids"));
}

TEST_F(AttendeeSideTest, DeletingLeavesCalendarEntriesAndOtherBidsAlone)
{
    AddBusy(At(8, 0), At(9, 0));
    const std::string first = HoldOneHour("N1", At(10, 0));
    Store().AddAppointment(-1, "", "", "", "", "", At(16, 0), At(17, 0), 60, 1, 30, 1, NullTime(),
                           CAttendeeSide::MakeBidKey("N1", "other"), false);
    // A negotiation whose name starts like N1 but is another one.
    Store().AddAppointment(-1, "", "", "", "", "", At(17, 0), At(18, 0), 60, 1, 30, 1, NullTime(),
                           CAttendeeSide::MakeBidKey("N10", "x"), false);

    EXPECT_EQ(Side().DeleteBid("N1", first), 1);
    EXPECT_EQ(Side().DeletePreviousBids("N1"), 1);
    EXPECT_EQ(Store().GetCount(), 2);
    EXPECT_EQ(Store().GetAt(0)->GetOutlookIndex(), 1);
    EXPECT_EQ(HoldsOf("N10").size(), 1u);

    // A negotiation named with the bid marker in it is still found.
    HoldOneHour("Xbid:Y", At(10, 0));
    EXPECT_EQ(Side().DeletePreviousBids("Xbid:Y"), 1);
    EXPECT_EQ(Store().GetCount(), 2);
}

TEST_F(AttendeeSideTest, FindBidWantsTheExactHold)
{
    const std::string bidID = HoldOneHour("N1", At(10, 0));
    EXPECT_TRUE(Side().FindBid("N1", bidID, At(10, 0)));
    EXPECT_FALSE(Side().FindBid("N1", bidID, At(10, 30)));
    EXPECT_FALSE(Side().FindBid("N2", bidID, At(10, 0)));
    EXPECT_FALSE(Side().FindBid("N1", bidID + "0", At(10, 0)));

    // Same key and start, but not tentative or not a hold: not a bid.
    Store().AddAppointment(-1, "", "", "", "", "", At(14, 0), At(15, 0), 60, 1, 30, 2, NullTime(),
                           CAttendeeSide::MakeBidKey("N1", bidID), false);
    Store().AddAppointment(3, "", "", "", "", "", At(15, 0), At(16, 0), 60, 1, 30, 1, NullTime(),
                           CAttendeeSide::MakeBidKey("N1", bidID), false);
    EXPECT_FALSE(Side().FindBid("N1", bidID, At(14, 0)));
    EXPECT_FALSE(Side().FindBid("N1", bidID, At(15, 0)));
}

TEST_F(AttendeeSideTest, ExpiredHoldsGoAndTheRestStay)
{
    const CDateTime now = At(12, 0);
    Store().AddAppointment(1, "outlook", "", "", "", "", At(8, 0), At(9, 0), 60, 0, 0, 2, At(11, 0),
                           "outlook", false);
    Store().AddAppointment(-1, "expired", "", "", "", "", At(13, 0), At(14, 0), 60, 1, 30, 1, At(11, 59),
                           CAttendeeSide::MakeBidKey("N1", "B1"), false);
    Store().AddAppointment(-1, "later", "", "", "", "", At(14, 0), At(15, 0), 60, 1, 30, 1, At(12, 1),
                           CAttendeeSide::MakeBidKey("N2", "B2"), false);
    Store().AddAppointment(-1, "forever", "", "", "", "", At(15, 0), At(16, 0), 60, 1, 30, 1, NullTime(),
                           CAttendeeSide::MakeBidKey("N3", "B3"), false);

    EXPECT_EQ(Side().RemoveExpiredHolds(now), 1);
    ASSERT_EQ(Store().GetCount(), 3);
    EXPECT_EQ(Store().GetAt(0)->GetSubject(), "outlook");
    EXPECT_EQ(Store().GetAt(1)->GetSubject(), "later");
    EXPECT_EQ(Store().GetAt(2)->GetSubject(), "forever");
}

// --- awards -------------------------------------------------------------------

TEST_F(AttendeeSideTest, AwardForAHeldTimeMakesTheMeetingAndConfirms)
{
    AddBusy(At(10, 0), At(11, 0));
    Side().ProcessContract(Contract("N1", "C1", StrictConstraints(At(10, 0), 60)), Organiser);
    const std::string bidID = BidIDOf("N1");
    ASSERT_EQ(HoldsOf("N1").size(), 5u);
    const CDateTime chosen = HoldsOf("N1")[1]->GetStartTime();
    Agent().ClearSent();
    const long itemsBefore = CalendarItems();

    Side().ProcessAward(Award("N1", bidID, chosen), Organiser);

    EXPECT_TRUE(HoldsOf("N1").empty());
    EXPECT_EQ(CalendarItems(), itemsBefore + 1);
    const CAppointment* meeting = Store().GetAt(Store().GetCount() - 1);
    ASSERT_NE(meeting, nullptr);
    EXPECT_NE(meeting->GetOutlookIndex(), -1);
    EXPECT_EQ(meeting->GetStartTime(), chosen);
    EXPECT_EQ(meeting->GetDuration(), 60);
    EXPECT_EQ(meeting->GetSubject(), "Review");
    EXPECT_EQ(meeting->GetReqAttendees(), "a-CalendarAgent");

    const std::string confirm = "tell :type confirm :negID N1 :contractID C1 :bidID " + bidID +
                                " :status accept :attributes " + AwardAttributes() + " :constraints " +
                                AwardConstraints(chosen, "60");
    const auto& sent = OnlySent();
    EXPECT_EQ(sent.receiver, Organiser);
    EXPECT_EQ(sent.content, confirm + CMessageZone().Keyword());

    const auto lines = Agent().DebugLines();
    bool announced = false;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
        announced = announced || (lines[i] == "In process award the content is on next line" &&
                                  lines[i + 1] == confirm + CMessageZone().Keyword());
    EXPECT_TRUE(announced);

    // A second award of the same bid finds nothing left to confirm.
    Agent().ClearSent();
    Side().ProcessAward(Award("N1", bidID, chosen), Organiser);
    EXPECT_TRUE(Agent().HasLine("Invalid award. No corresponding bid found"));
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_EQ(CalendarItems(), itemsBefore + 1);
}

TEST_F(AttendeeSideTest, AwardThatCannotBeSavedIsNotConfirmedAndItsTimeIsFreed)
{
    const std::string bidID = HoldOneHour("N1", At(10, 0));
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Save, true);
    Agent().ClearSent();

    Side().ProcessAward(Award("N1", bidID, At(10, 0)), Organiser);

    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_TRUE(HoldsOf("N1").empty());
    EXPECT_TRUE(
        Agent().HasLineContaining("The awarded meeting could not be saved, so it is not confirmed: "));
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_NE(Boxes().Boxes()[0].text.find("could not be saved in your calendar, so it was not confirmed"),
              std::string::npos);
    EXPECT_TRUE(Agent().GetPreferences().IsFreePlain(At(10, 0), 60));
}

// Only the organiser the bid went to may award it, and only for the length
// offered; another organiser's contract with the same negotiation
// identifier leaves the holds alone.
TEST_F(AttendeeSideTest, StrangersCannotAwardOrReplaceAnotherOrganisersBid)
{
    const std::string bidID = HoldOneHour("N1", At(10, 0));
    const char* const Stranger = "eve_example.org-CalendarAgent";
    Side().ProcessAward(Award("N1", bidID, At(10, 0)), Stranger);
    Side().ProcessAward(Award("N1", bidID, At(10, 0), "600"), Organiser);
    EXPECT_TRUE(Agent().HasLine("Invalid award. The bid was not made to " + std::string(Stranger)));
    EXPECT_TRUE(Agent().HasLine("Invalid award. Its length differs from the one offered"));
    EXPECT_TRUE(Agent().Sent().empty());
    ASSERT_EQ(HoldsOf("N1").size(), 1u);

    Side().ProcessContract(Contract("N1", "C9", StrictConstraints(At(15, 0), 60)), Stranger);
    EXPECT_TRUE(Side().FindBid("N1", bidID, At(10, 0)));
    Side().ProcessAward(Award("N1", bidID, At(10, 0)), Organiser);
    EXPECT_FALSE(Side().FindBid("N1", bidID, At(10, 0)));
    ASSERT_FALSE(Agent().Sent().empty());
    EXPECT_EQ(Agent().Sent().back().receiver, Organiser);
    EXPECT_NE(Agent().Sent().back().content.find(":type confirm"), std::string::npos);
}

TEST_F(AttendeeSideTest, AwardForATimeNeverOfferedIsRefused)
{
    const std::string bidID = HoldOneHour("N1", At(10, 0));
    const long itemsBefore = CalendarItems();

    Side().ProcessAward(Award("N1", bidID, At(10, 30)), Organiser);
    Side().ProcessAward(Award("N1", "unknown", At(10, 0)), Organiser);
    EXPECT_EQ(HoldsOf("N1").size(), 1u);

    // Once the sweep has taken the hold, the time it offered is gone too.
    EXPECT_EQ(Side().RemoveExpiredHolds(At(9, 1)), 1);
    Side().ProcessAward(Award("N1", bidID, At(10, 0)), Organiser);

    EXPECT_EQ(Agent().CountLine("Invalid award. No corresponding bid found"), 3);
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_EQ(CalendarItems(), itemsBefore);
}

TEST_F(AttendeeSideTest, AwardsWithoutUsableConstraintsAreRefused)
{
    const std::string bidID = HoldOneHour("N1", At(10, 0));

    Side().ProcessAward("tell :type award :negID N1 :contractID C1 :bidID " + bidID + " :attributes " +
                            AwardAttributes(),
                        Organiser);
    EXPECT_TRUE(Agent().HasLine("Invalid award. No constraints specified"));

    Side().ProcessAward("tell :type award :negID N1 :contractID C1 :bidID " + bidID +
                            " :constraints (tell :startTime (tomorrow) :duration 60)",
                        Organiser);
    Side().ProcessAward("tell :type award :negID N1 :contractID C1 :bidID " + bidID +
                            " :constraints (tell "
                            ":duration 60)",
                        Organiser);
    EXPECT_EQ(Agent().CountLine("Unable to parse startTime in constraints"), 2);

    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_EQ(HoldsOf("N1").size(), 1u);
}

TEST_F(AttendeeSideTest, AwardWithoutALengthTakesTheOfferedOne)
{
    const std::string bidID = HoldOneHour("N1", At(10, 0));
    Side().ProcessAward(Award("N1", bidID, At(10, 0), "soon"), Organiser);

    const CAppointment* meeting = Store().GetAt(Store().GetCount() - 1);
    ASSERT_NE(meeting, nullptr);
    EXPECT_NE(meeting->GetOutlookIndex(), -1);
    EXPECT_EQ(meeting->GetDuration(), 60);
    EXPECT_EQ(meeting->GetEndTime(), At(11, 0));
}

TEST_F(AttendeeSideTest, ContractDeliveredToTheAgentIsAnsweredByThisSide)
{
    Deliver(Contract("N1", "C1", StrictConstraints(At(10, 0), 60)), Organiser);
    EXPECT_EQ(HoldsOf("N1").size(), 1u);
    EXPECT_NE(OnlySent().content.find(" :status accept "), std::string::npos);
}
} // namespace
