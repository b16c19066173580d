#include <vespera/core/Negotiation.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A slot that tells when it is destroyed, so that tests can see who frees it.
class CCountedSlot : public CTimeSlot {
public:
    CCountedSlot(const CDateTime& start, int duration, int& destroyed)
        : CTimeSlot(start, duration), m_destroyed(destroyed)
    {
    }
    ~CCountedSlot() override { ++m_destroyed; }

private:
    int& m_destroyed;
};

CDateTime At(int hour)
{
    return CDateTime(2026, 12, 8, hour, 0, 0);
}

} // namespace

TEST(Negotiation, NewRecordIsEmptyAndInProcess)
{
    CNegotiation record;
    EXPECT_EQ(record.GetStatus(), 0);
    EXPECT_TRUE(record.IsRunning());
    EXPECT_TRUE(record.GetNegID().empty());
    EXPECT_TRUE(record.GetContractID().empty());
    EXPECT_EQ(record.GetSuggestions()->GetCount(), 0);
    EXPECT_EQ(record.GetContractsSent(), 0);
    EXPECT_EQ(record.GetBidsReceived(), 0);
    EXPECT_EQ(record.GetConfirmationsReceived(), 0);
    EXPECT_EQ(record.GetTotalContracts() + record.GetTotalAwards() + record.GetTotalBids() +
                  record.GetTotalConfirmations(),
              0);
    EXPECT_EQ(record.GetDuration(), 0);
    EXPECT_TRUE(record.GetAttendees().empty());
    EXPECT_FALSE(record.GetChosenSlot().IsValid());
}

TEST(Negotiation, AttendeesSplitAtCommasAndJoinWithoutBlanks)
{
    CNegotiation record;
    record.SetAttendees("a-CalendarAgent,,b-CalendarAgent,");
    ASSERT_EQ(record.GetAttendees().size(), 2u);
    EXPECT_EQ(record.GetAttendees()[0], "a-CalendarAgent");
    EXPECT_EQ(record.GetAttendees()[1], "b-CalendarAgent");
    EXPECT_EQ(record.GetAttendeesText(), "a-CalendarAgent,b-CalendarAgent");

    record.SetAttendees("");
    EXPECT_TRUE(record.GetAttendees().empty());
    EXPECT_EQ(record.GetAttendeesText(), "");
}

TEST(Negotiation, SuggestionsKeepAgentAndBidIdentifier)
{
    CNegotiation record;
    record.AddSuggestion(std::make_unique<CTimeSlot>(At(10), 60), "a", "bid1");
    record.AddSuggestion(std::make_unique<CTimeSlot>(At(11), 60), "b", "bid2");
    record.AddSuggestion(nullptr, "c", "bid3");
    const CTimeSlotStore* store = record.GetSuggestions();
    ASSERT_EQ(store->GetCount(), 2);
    EXPECT_EQ(store->GetAttribute(1), "b");
    EXPECT_EQ(store->GetID(1), "bid2");
    EXPECT_EQ(store->GetTimeSlot(0)->GetStartTime(), At(10));
}

TEST(Negotiation, ClearingSuggestionsDestroysTheirSlots)
{
    int destroyed = 0;
    CNegotiation record;
    record.AddSuggestion(std::make_unique<CCountedSlot>(At(9), 30, destroyed), "a", "bid1");
    record.AddSuggestion(std::make_unique<CCountedSlot>(At(10), 30, destroyed), "a", "bid1");
    record.ClearSuggestions();
    EXPECT_EQ(destroyed, 2);
    EXPECT_EQ(record.GetSuggestions()->GetCount(), 0);

    record.AddSuggestion(std::make_unique<CCountedSlot>(At(11), 30, destroyed), "b", "bid2");
    EXPECT_EQ(record.GetSuggestions()->GetCount(), 1);
    EXPECT_EQ(destroyed, 2);
}

TEST(Negotiation, DestroyingTheRecordDestroysItsSuggestions)
{
    int destroyed = 0;
    {
        CNegotiation record;
        record.AddSuggestion(std::make_unique<CCountedSlot>(At(9), 30, destroyed), "a", "bid1");
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(Negotiation, PassIsCompleteWhenEveryContractIsAnswered)
{
    CNegotiation record;
    record.SetContractsSent(2);
    EXPECT_FALSE(record.CountBid());
    EXPECT_TRUE(record.CountBid());
    EXPECT_EQ(record.GetTotalBids(), 2);

    record.SetBidsReceived(0);
    EXPECT_FALSE(record.CountBid());
    EXPECT_EQ(record.GetBidsReceived(), 1);
    EXPECT_EQ(record.GetTotalBids(), 3);
}

TEST(Negotiation, ConfirmationsCompleteOnceOnly)
{
    CNegotiation record;
    record.SetAttendees("a,b");
    record.SetContractsSent(2);
    // The same attendee twice completes nothing; only both do, once.
    EXPECT_FALSE(record.CountConfirmation("a"));
    EXPECT_FALSE(record.CountConfirmation("a"));
    EXPECT_TRUE(record.CountConfirmation("b"));
    EXPECT_FALSE(record.CountConfirmation("b"));
    EXPECT_EQ(record.GetTotalConfirmations(), 4);
    EXPECT_EQ(record.GetConfirmationsReceived(), 4);
    EXPECT_TRUE(record.IsAttendee("a"));
    EXPECT_FALSE(record.IsAttendee("c"));
}

TEST(Negotiation, TotalsOfContractsAndAwardsOnlyGrow)
{
    CNegotiation record;
    record.AddContract();
    record.AddContract();
    record.AddAward();
    EXPECT_EQ(record.GetTotalContracts(), 2);
    EXPECT_EQ(record.GetTotalAwards(), 1);
}
