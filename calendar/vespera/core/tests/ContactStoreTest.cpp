#include <vespera/core/ContactStore.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
std::unique_ptr<CContactRecord> Contact(const std::string& first, const std::string& email)
{
    auto record = std::make_unique<CContactRecord>(first, "Lee", email);
    record->SetCalendarAgentName(CContactRecord::AgentNameFor(email));
    return record;
}
} // namespace

TEST(ContactStore, GrowsPastEveryStepKeepingOrderAndAddresses)
{
    CContactStore store;
    std::vector<const CContactRecord*> added;
    for (int i = 0; i < 35; ++i)
        added.push_back(
            store.Add(Contact("P" + std::to_string(i), "p" + std::to_string(i) + "@example.org")));
    ASSERT_EQ(35, store.GetCount());
    for (int i = 0; i < 35; ++i) {
        EXPECT_EQ(added[static_cast<std::size_t>(i)], store.GetAt(i)) << i;
        EXPECT_EQ("P" + std::to_string(i), store.GetAt(i)->GetFirstName());
    }
    EXPECT_EQ(nullptr, store.GetAt(35));
    EXPECT_EQ(nullptr, store.GetAt(-1));
}

TEST(ContactStore, NullAddsNothing)
{
    CContactStore store;
    EXPECT_EQ(nullptr, store.Add(nullptr));
    EXPECT_EQ(0, store.GetCount());
}

TEST(ContactStore, LookupByAddressAndAgentNameIsExactAndFirstWins)
{
    CContactStore store;
    const CContactRecord* ann = store.Add(Contact("Ann", "ann@example.org"));
    const CContactRecord* bob = store.Add(Contact("Bob", "bob@example.org"));
    store.Add(Contact("Ann again", "ann@example.org"));
    EXPECT_EQ(ann, store.FindByEmail("ann@example.org"));
    EXPECT_EQ(bob, store.FindByAgentName("bob_example.org-CalendarAgent"));
    EXPECT_EQ(ann, store.FindByAgentName("ann_example.org-CalendarAgent"));
    EXPECT_EQ(nullptr, store.FindByEmail("ANN@example.org"));
    EXPECT_EQ(nullptr, store.FindByAgentName("bob_example.org"));
    EXPECT_EQ(nullptr, store.FindByEmail("carol@example.org"));
}

TEST(ContactStore, AnEmptyNameFindsNoContactWithoutAddress)
{
    CContactStore store;
    store.Add(Contact("Nobody", ""));
    ASSERT_EQ("", store.GetAt(0)->GetCalendarAgentName());
    EXPECT_EQ(nullptr, store.FindByAgentName(""));
    EXPECT_EQ(nullptr, store.FindByEmail(""));
}
