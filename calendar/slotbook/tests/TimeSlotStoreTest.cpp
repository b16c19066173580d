#include <slotbook/TimeSlotStore.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace
{
CDateTime At(int hour, int minute)
{
    return CDateTime(2003, 5, 12, hour, minute, 0);
}

CTimeSlot* NewSlot(int fromHour, int toHour)
{
    return new CTimeSlot(At(fromHour, 0), At(toHour, 0));
}

// Counts destructions so that ownership can be observed.
class CountedSlot : public CTimeSlot
{
public:
    CountedSlot(int& destroyed) : CTimeSlot(At(9, 0), At(10, 0)), m_destroyed(destroyed) {}
    ~CountedSlot() override { ++m_destroyed; }

private:
    int& m_destroyed;
};
}

TEST(TimeSlotStoreEmpty, AnswersWithNothing)
{
    const CTimeSlotStore store;
    EXPECT_EQ(0, store.GetCount());
    EXPECT_EQ("(tell)", store.ToKQML());
    EXPECT_EQ("", store.ToString());
    const std::unique_ptr<std::vector<std::string>> unique(store.GetAttributesUnique());
    EXPECT_TRUE(unique->empty());
    EXPECT_EQ(nullptr, store.GetLastSlot("x"));
    EXPECT_EQ(nullptr, store.GetTimeSlot(0));
    EXPECT_EQ("", store.GetAttribute(0));
    EXPECT_EQ("", store.GetID(0));
    const CTimeSlot probe(At(9, 0), At(10, 0));
    EXPECT_EQ(-1, store.GetIndex(&probe, "x"));
    EXPECT_EQ(0, store.Exists(&probe, "x"));
}

TEST(TimeSlotStoreAdding, KeepsOrderAndAttributes)
{
    CTimeSlotStore store;
    CTimeSlot* first = NewSlot(9, 10);
    CTimeSlot* second = NewSlot(11, 12);
    store.Add(first, "free");
    store.Add(second, "busy", "id2");
    EXPECT_EQ(2, store.GetCount());
    EXPECT_EQ(first, store.GetTimeSlot(0));
    EXPECT_EQ(second, store.GetTimeSlot(1));
    EXPECT_EQ("free", store.GetAttribute(0));
    EXPECT_EQ("busy", store.GetAttribute(1));
    EXPECT_EQ(2u, store.GetAttributes()->size());
    EXPECT_EQ(1u, store.GetIDs()->size());
}

TEST(TimeSlotStoreAdding, OutOfRangeIndexes)
{
    CTimeSlotStore store;
    store.Add(NewSlot(9, 10), "a", "id");
    EXPECT_EQ(nullptr, store.GetTimeSlot(1));
    EXPECT_EQ(nullptr, store.GetTimeSlot(-1));
    EXPECT_EQ("", store.GetAttribute(-1));
    EXPECT_EQ("", store.GetAttribute(1));
    EXPECT_EQ("", store.GetID(-1));
    EXPECT_EQ("", store.GetID(1));
    EXPECT_EQ("id", store.GetID(0));
}

TEST(TimeSlotStoreAdding, NullSlotIsIgnored)
{
    CTimeSlotStore store;
    store.Add(nullptr, "a");
    store.Add(nullptr, "a", "id");
    EXPECT_EQ(0, store.GetCount());
    EXPECT_TRUE(store.GetIDs()->empty());
}

TEST(TimeSlotStoreAdding, TheSameSlotTwiceIsFiledAsACopy)
{
    int destroyed = 0;
    {
        CTimeSlotStore store;
        CTimeSlot* slot = new CountedSlot(destroyed);
        store.Add(slot, "a");
        store.Add(slot, "b");
        EXPECT_EQ(2, store.GetCount());
        EXPECT_EQ(slot, store.GetTimeSlot(0));
        EXPECT_NE(slot, store.GetTimeSlot(1));
        EXPECT_TRUE(*store.GetTimeSlot(1) == *slot);
        EXPECT_EQ(1, store.Exists(slot, "b"));
    }
    EXPECT_EQ(1, destroyed);
}

TEST(TimeSlotStoreOwnership, DestructionDestroysTheSlots)
{
    int destroyed = 0;
    {
        CTimeSlotStore store;
        store.Add(new CountedSlot(destroyed), "a");
        store.Add(new CountedSlot(destroyed), "b", "id");
    }
    EXPECT_EQ(2, destroyed);
}

TEST(TimeSlotStoreOwnership, ClearGivesTheSlotsUp)
{
    int destroyed = 0;
    std::unique_ptr<CTimeSlot> kept(new CountedSlot(destroyed));
    {
        CTimeSlotStore store;
        store.Add(kept.get(), "a", "id");
        store.Clear();
        EXPECT_EQ(0, store.GetCount());
        EXPECT_TRUE(store.GetAttributes()->empty());
        EXPECT_TRUE(store.GetIDs()->empty());
        EXPECT_EQ(nullptr, store.GetTimeSlot(0));
    }
    EXPECT_EQ(0, destroyed);
    kept.reset();
    EXPECT_EQ(1, destroyed);
}

TEST(TimeSlotStoreLookup, EqualValuesUnderOneAttribute)
{
    CTimeSlotStore store;
    store.Add(NewSlot(9, 10), "a");
    store.Add(NewSlot(9, 10), "a");
    const CTimeSlot probe(At(9, 0), At(10, 0));
    EXPECT_EQ(0, store.GetIndex(&probe, "a"));
    EXPECT_EQ(1, store.GetIndex(&probe, "a", 1));
    EXPECT_EQ(-1, store.GetIndex(&probe, "a", 2));
    EXPECT_EQ(-1, store.GetIndex(&probe, "a", 99));
    EXPECT_EQ(0, store.GetIndex(&probe, "a", -5));
    EXPECT_EQ(1, store.Exists(&probe, "a"));
    EXPECT_EQ(-1, store.GetIndex(&probe, "A"));
    EXPECT_EQ(-1, store.GetIndex(nullptr, "a"));
}

TEST(TimeSlotStoreLookup, NeedsFullEquality)
{
    CTimeSlotStore store;
    store.Add(NewSlot(9, 10), "a");
    CTimeSlot probe(At(9, 0), At(10, 0));
    probe.SetValidity(0);
    EXPECT_TRUE(probe.IsTimeRangeEqual(store.GetTimeSlot(0)));
    EXPECT_EQ(-1, store.GetIndex(&probe, "a"));
    EXPECT_EQ(0, store.Exists(&probe, "a"));
}

TEST(TimeSlotStoreLookup, LastSlotIsTheOneAddedLast)
{
    CTimeSlotStore store;
    CTimeSlot* s1 = NewSlot(9, 23);
    CTimeSlot* s2 = NewSlot(10, 11);
    CTimeSlot* s3 = NewSlot(7, 8);
    store.Add(s1, "x");
    store.Add(s2, "y");
    store.Add(s3, "x");
    EXPECT_EQ(s3, store.GetLastSlot("x"));
    EXPECT_EQ(s2, store.GetLastSlot("y"));
    EXPECT_EQ(nullptr, store.GetLastSlot("z"));
}

TEST(TimeSlotStoreLookup, UniqueAttributesInFirstOrder)
{
    CTimeSlotStore store;
    store.Add(NewSlot(9, 10), "A");
    store.Add(NewSlot(9, 10), "B");
    store.Add(NewSlot(9, 10), "A");
    const std::unique_ptr<std::vector<std::string>> unique(store.GetAttributesUnique());
    EXPECT_EQ((std::vector<std::string>{"A", "B"}), *unique);
}

TEST(TimeSlotStoreIdentifiers, LineUpOnlyWhenEverySlotHasOne)
{
    CTimeSlotStore store;
    CTimeSlot* s1 = NewSlot(9, 10);
    CTimeSlot* s2 = NewSlot(11, 12);
    store.Add(s1, "a");
    store.Add(s2, "b", "id2");
    EXPECT_EQ("id2", store.GetID(0));
    EXPECT_EQ("", store.GetID(1));
    EXPECT_EQ("", store.GetID(s2, "b"));
    EXPECT_EQ("id2", store.GetID(s1, "a"));
}

TEST(TimeSlotStoreIdentifiers, FoundBySlotAndAttribute)
{
    CTimeSlotStore store;
    store.Add(NewSlot(9, 10), "alice", "bid-1");
    store.Add(NewSlot(9, 10), "bob", "bid-2");
    const CTimeSlot probe(At(9, 0), At(10, 0));
    EXPECT_EQ("bid-2", store.GetID(&probe, "bob"));
    EXPECT_EQ("bid-1", store.GetID(&probe, "alice"));
    EXPECT_EQ("", store.GetID(&probe, "carol"));
    EXPECT_EQ("", store.GetID(nullptr, "bob"));
}

TEST(TimeSlotStoreText, KqmlNumbersFromOne)
{
    CTimeSlotStore store;
    store.Add(NewSlot(9, 10), "a");
    store.Add(NewSlot(13, 14), "a");
    store.Add(new CTimeSlot(CDateTime(2003, 5, 13, 0, 0, 0), 30), "b");
    EXPECT_EQ("(tell :t1 (5/12/2003 9:00:00 AM) :t2 (5/12/2003 1:00:00 PM) :t3 (5/13/2003))", store.ToKQML());
}

TEST(TimeSlotStoreText, KqmlStartsReadBackThroughTheSlotText)
{
    CTimeSlotStore store;
    store.Add(NewSlot(15, 16), "a");
    const std::string kqml = store.ToKQML();
    const std::size_t open = kqml.find(" (");
    const std::size_t close = kqml.rfind(')');
    const std::string value = kqml.substr(open + 1, close - open - 1);
    const CTimeSlot read(value, "60", 1);
    EXPECT_EQ(At(15, 0), read.GetStartTime());
}

TEST(TimeSlotStoreText, ToStringJoinsEverySlot)
{
    CTimeSlotStore store;
    CTimeSlot* s1 = NewSlot(9, 10);
    CTimeSlot* s2 = NewSlot(11, 12);
    store.Add(s1, "a");
    store.Add(s2, "b");
    EXPECT_EQ(s1->ToString() + "\na\n\n" + s2->ToString() + "\nb\n\n", store.ToString());
    CTimeSlotStore withIds;
    withIds.Add(NewSlot(9, 10), "a", "id1");
    EXPECT_EQ(s1->ToString() + "\na\nid1\n", withIds.ToString());
}
