#include <vespera/core/NegotiationStore.h>

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<CNegotiation> Record(const std::string& negID)
{
    auto record = std::make_unique<CNegotiation>();
    record->SetNegID(negID);
    return record;
}

} // namespace

TEST(NegotiationStore, EmptyStoreFindsNothing)
{
    CNegotiationStore store;
    EXPECT_EQ(store.GetCount(), 0);
    EXPECT_EQ(store.Find("1"), nullptr);
    EXPECT_EQ(store.Find(""), nullptr);
    EXPECT_EQ(store.GetAt(0), nullptr);
}

TEST(NegotiationStore, FindsByExactIdentifier)
{
    CNegotiationStore store;
    CNegotiation* first = store.Add(Record("1020300123"));
    CNegotiation* second = store.Add(Record("1020300456"));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(store.GetCount(), 2);
    EXPECT_EQ(store.Find("1020300123"), first);
    EXPECT_EQ(store.Find("1020300456"), second);
    EXPECT_EQ(store.Find("102030012"), nullptr);
    EXPECT_EQ(store.Find("01020300123"), nullptr);
    EXPECT_EQ(store.GetAt(1), second);
    EXPECT_EQ(store.GetAt(2), nullptr);
    EXPECT_EQ(store.GetAt(-1), nullptr);
}

TEST(NegotiationStore, FirstOfTwoEqualIdentifiersWins)
{
    CNegotiationStore store;
    CNegotiation* first = store.Add(Record("7"));
    store.Add(Record("7"));
    EXPECT_EQ(store.Find("7"), first);
}

TEST(NegotiationStore, NullRecordIsNotAdded)
{
    CNegotiationStore store;
    EXPECT_EQ(store.Add(nullptr), nullptr);
    EXPECT_EQ(store.GetCount(), 0);
}

TEST(NegotiationStore, IdentifierIsTheOneAtAddTime)
{
    CNegotiationStore store;
    CNegotiation* record = store.Add(Record("5"));
    record->SetNegID("6");
    EXPECT_EQ(store.Find("5"), record);
    EXPECT_EQ(store.Find("6"), nullptr);
}
