// The agent's own clock releasing the times it held for contracts: contracts
// reach the agent as messages, the timer ticks are driven by hand, and what
// is left is read from the appointment store and the answers the agent
// gives afterwards.

#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>

#include <platform/DateTimeSpan.h>

#include <gtest/gtest.h>

#include <string>

using vespera_test::CVesperaTest;

namespace {

const char* const Organiser = "boss_example.org-CalendarAgent";
const char* const NoBid = "Invalid award. No corresponding bid found";

// A Tuesday far ahead; nothing of the user's is there.
CDateTime Morning(int hour)
{
    return CDateTime(2031, 3, 4, hour, 0, 0);
}

CDateTime SecondsFromNow(int seconds)
{
    return CDateTime::GetCurrentTime() + CDateTimeSpan(0, 0, 0, seconds);
}

std::string Contract(const std::string& negID, const CDateTime& start, const CDateTime& expires)
{
    return "tell :type contract :negID " + negID + " :contractID C-" + negID + " :expires (" +
           expires.Format() +
           ") :attributes (tell :subject (Sync) :body (Plans) :location (Room 4) :attendees (me))"
           " :constraints (tell :start (" +
           start.Format() + ") :duration (60))";
}

std::string Award(const std::string& negID, const std::string& bidID, const CDateTime& start)
{
    return "tell :type award :negID " + negID + " :contractID C-" + negID + " :bidID " + bidID +
           " :attributes (tell :subject (Sync) :body (Plans) :location (Room 4) :reqAttendees (me)"
           " :optAttendees (none)) :constraints (tell :startTime (" +
           start.Format() + ") :duration 60)";
}

std::string BidIDIn(const std::string& content)
{
    const std::string key = " :bidID ";
    const std::size_t at = content.find(key);
    if (at == std::string::npos)
        return std::string();
    const std::size_t from = at + key.size();
    return content.substr(from, content.find(' ', from) - from);
}

class HoldSweepTest : public CVesperaTest {
protected:
    void SetUp() override
    {
        CVesperaTest::SetUp();
        Agent().GetSettings().SetMeetingSchedulingType(2);
    }

    // Delivers a contract and returns the bid identifier of the accept it
    // was answered with.
    std::string Hold(const std::string& negID, const CDateTime& start, const CDateTime& expires)
    {
        Agent().ClearSent();
        Deliver(Contract(negID, start, expires), Organiser);
        if (Agent().Sent().size() != 1 ||
            Agent().Sent()[0].content.find(":status accept ") == std::string::npos)
            return std::string();
        return BidIDIn(Agent().Sent()[0].content);
    }

    void Tick(int times)
    {
        for (int i = 0; i < times; ++i)
            Agent().process_timer();
    }

    int Entries() { return Agent().GetAppointmentStore().GetCount(); }
};

TEST_F(HoldSweepTest, HoldsLastTwentySecondsPastTheContractsExpiryAndGoAtTheNextSweep)
{
    // Expired thirty seconds ago: its hold was due ten seconds ago. Expired
    // ten seconds ago: its hold still has ten seconds to run.
    const std::string lapsed = Hold("N1", Morning(10), SecondsFromNow(-30));
    const std::string running = Hold("N2", Morning(14), SecondsFromNow(-10));
    ASSERT_FALSE(lapsed.empty());
    ASSERT_FALSE(running.empty());
    ASSERT_EQ(Entries(), 2);

    Tick(CVespera::PurgeInterval - 1);
    EXPECT_EQ(Entries(), 2) << "the sweep ran before its tick";
    Tick(1);
    ASSERT_EQ(Entries(), 1);
    EXPECT_EQ(Agent().GetAppointmentStore().GetAt(0)->GetStartTime(), Morning(14));

    // The released time is free again and its award finds nothing; the
    // held one is still taken and can be awarded.
    Agent().ClearSent();
    Deliver(Award("N1", lapsed, Morning(10)), Organiser);
    EXPECT_TRUE(Agent().HasLine(NoBid));
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_TRUE(Agent().GetPreferences().IsFreePlain(Morning(10), 60));
    EXPECT_FALSE(Agent().GetPreferences().IsFreePlain(Morning(14), 60));

    Deliver(Award("N2", running, Morning(14)), Organiser);
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_EQ(Agent().Sent()[0].content.rfind("tell :type confirm :negID N2 ", 0), 0u)
        << Agent().Sent()[0].content;
    EXPECT_EQ(Agent().CountLine(NoBid), 1);
}

TEST_F(HoldSweepTest, EveryHoldOfAnAlternativesBidGoesAndTheMeetingsStay)
{
    // Busy at ten, so the contract is answered with five held times.
    ASSERT_TRUE(Agent().CreateOutlookAppointment(Morning(10), 60, "Taken", "", "", 0, false, "", "", true));
    Agent().ClearSent();
    Deliver(Contract("N1", Morning(10), SecondsFromNow(-60)), Organiser);
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_NE(Agent().Sent()[0].content.find(":status alt :alternates "), std::string::npos);
    ASSERT_EQ(Entries(), 6);

    Tick(CVespera::PurgeInterval);
    ASSERT_EQ(Entries(), 1);
    EXPECT_EQ(Agent().GetAppointmentStore().GetAt(0)->GetSubject(), "Taken");

    // Another round of ticks with nothing due takes nothing more.
    Tick(CVespera::PurgeInterval);
    EXPECT_EQ(Entries(), 1);
}

} // namespace
