#include <slotbook/TimeSlotStore.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {
CDateTime At(int hour, int minute)
{
    return CDateTime(2003, 5, 12, hour, minute, 0);
}

CTimeSlot* NewSlot(int fromHour, int toHour)
{
    return new CTimeSlot(At(fromHour, 0), At(toHour, 0));
}

// Counts destructions so that ownership can be observed.
class CountedSlot : public CTimeSlot {
public:
    CountedSlot(int& destroyed) : CTimeSlot(At(9, 0), At(10, 0)), m_destroyed(destroyed) {}
    ~CountedSlot() override { ++m_destroyed; }

private:
    int& m_destroyed;
};
} // namespace

TEST(TimeSlotStore, EmptyStoreAndOutOfRangeIndexes)
{
    CTimeSlotStore store;
    EXPECT_EQ("(tell)", store.ToKQML());
    EXPECT_EQ("", store.ToString());
    EXPECT_TRUE(std::unique_ptr<std::vector<std::string>>(store.GetAttributesUnique())->empty());
    EXPECT_EQ(nullptr, store.GetLastSlot("x"));
    store.Add(NewSlot(9, 10), "a", "id");
    store.Add(nullptr, "a", "ignored");
    EXPECT_EQ(1, store.GetCount());
    EXPECT_EQ(1u, store.GetIDs()->size());
    for (int outside : {-1, 1}) {
        EXPECT_EQ(nullptr, store.GetTimeSlot(outside));
        EXPECT_EQ("", store.GetAttribute(outside));
        EXPECT_EQ("", store.GetID(outside));
    }
    EXPECT_EQ("a", store.GetAttribute(0));
    EXPECT_EQ("id", store.GetID(0));
}

TEST(TimeSlotStore, OwnsItsSlotsUntilCleared)
{
    int destroyed = 0;
    CountedSlot* kept = new CountedSlot(destroyed);
    {
        CTimeSlotStore store;
        store.Add(new CountedSlot(destroyed), "a");
        store.Add(kept, "b", "id");
        // Filing a held slot again stores a copy, so nothing is owned twice.
        store.Add(kept, "c");
        EXPECT_NE(kept, store.GetTimeSlot(2));
        EXPECT_EQ(1, store.Exists(kept, "c"));
        CTimeSlotStore cleared;
        cleared.Add(kept, "a");
        cleared.Clear();
        EXPECT_EQ(0, cleared.GetCount());
        EXPECT_TRUE(cleared.GetAttributes()->empty());
    }
    EXPECT_EQ(2, destroyed);
}

TEST(TimeSlotStore, LookupNeedsAttributeAndFullEquality)
{
    CTimeSlotStore store;
    store.Add(NewSlot(9, 10), "a");
    store.Add(NewSlot(9, 10), "a");
    const CTimeSlot probe(At(9, 0), At(10, 0));
    EXPECT_EQ(0, store.GetIndex(&probe, "a"));
    EXPECT_EQ(1, store.GetIndex(&probe, "a", 1));
    EXPECT_EQ(-1, store.GetIndex(&probe, "a", 2));
    EXPECT_EQ(0, store.GetIndex(&probe, "a", -5));
    EXPECT_EQ(1, store.Exists(&probe, "a"));
    EXPECT_EQ(-1, store.GetIndex(&probe, "A"));
    EXPECT_EQ(-1, store.GetIndex(nullptr, "a"));
    CTimeSlot invalid(probe);
    invalid.SetValidity(0);
    EXPECT_EQ(-1, store.GetIndex(&invalid, "a"));
    EXPECT_EQ(0, store.Exists(&invalid, "a"));
}

TEST(TimeSlotStore, LastSlotAndUniqueAttributes)
{
    CTimeSlotStore store;
    CTimeSlot* s2 = NewSlot(10, 11);
    CTimeSlot* s3 = NewSlot(7, 8);
    store.Add(NewSlot(9, 23), "x");
    store.Add(s2, "y");
    store.Add(s3, "x");
    EXPECT_EQ(s3, store.GetLastSlot("x"));
    EXPECT_EQ(s2, store.GetLastSlot("y"));
    EXPECT_EQ(nullptr, store.GetLastSlot("z"));
    const std::unique_ptr<std::vector<std::string>> unique(store.GetAttributesUnique());
    EXPECT_EQ((std::vector<std::string>{"x", "y"}), *unique);
}

TEST(TimeSlotStore, IdentifiersLineUpOnlyWhenEverySlotHasOne)
{
    CTimeSlotStore store;
    CTimeSlot* s1 = NewSlot(9, 10);
    CTimeSlot* s2 = NewSlot(11, 12);
    store.Add(s1, "a");
    store.Add(s2, "b", "id2");
    EXPECT_EQ("id2", store.GetID(0));
    EXPECT_EQ("", store.GetID(1));
    EXPECT_EQ("", store.GetID(s2, "b"));
    CTimeSlotStore bids;
    bids.Add(NewSlot(9, 10), "alice", "bid-1");
    bids.Add(NewSlot(9, 10), "bob", "bid-2");
    EXPECT_EQ("bid-2", bids.GetID(s1, "bob"));
    EXPECT_EQ("bid-1", bids.GetID(s1, "alice"));
    EXPECT_EQ("", bids.GetID(s1, "carol"));
}

TEST(TimeSlotStore, Texts)
{
    CTimeSlotStore store;
    CTimeSlot* s1 = NewSlot(9, 10);
    store.Add(s1, "a");
    store.Add(NewSlot(13, 14), "b", "id");
    store.Add(new CTimeSlot(CDateTime(2003, 5, 13, 0, 0, 0), 30), "b");
    EXPECT_EQ("(tell :t1 (5/12/2003 9:00:00 AM) :t2 (5/12/2003 1:00:00 PM) :t3 (5/13/2003))", store.ToKQML());
    EXPECT_EQ(s1->ToString() + "\na\nid\n" + store.GetTimeSlot(1)->ToString() + "\nb\n\n" +
                  store.GetTimeSlot(2)->ToString() + "\nb\n\n",
              store.ToString());
    // A start written into the message reads back through the slot's text form.
    const std::string kqml = store.ToKQML();
    const std::size_t open = kqml.find(" (") + 1;
    const CTimeSlot read(kqml.substr(open, kqml.find(')') - open + 1), "60", 1);
    EXPECT_EQ(At(9, 0), read.GetStartTime());
}
