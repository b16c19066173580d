#include <ansd/AgentRegistry.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Register = CAgentRegistry::RegisterResult;
using Unregister = CAgentRegistry::UnregisterResult;

class AgentRegistryTest : public ::testing::Test {
protected:
    std::int64_t now = 1000;
    CAgentRegistry registry{100, 3, [this] { return now; }};

    std::string UrlOf(const char* name)
    {
        const CAgentRegistry::Entry* entry = registry.Lookup(name);
        return entry ? entry->url : "(none)";
    }

    std::vector<std::string> Names() const
    {
        std::vector<std::string> names;
        registry.ForEachLive(
            [&](const std::string& name, const CAgentRegistry::Entry&) { names.push_back(name); });
        return names;
    }
};

} // namespace

TEST_F(AgentRegistryTest, OwnerReplacesOthersAreRefused)
{
    EXPECT_EQ(registry.Register("a", "tcp://h:1", "10.0.0.1"), Register::Added);
    EXPECT_EQ(registry.Register("a", "tcp://h:2", "10.0.0.2"), Register::InUse);
    EXPECT_EQ(UrlOf("a"), "tcp://h:1");
    // The same address from another port is the same owner.
    EXPECT_EQ(registry.Register("a", "tcp://h:3", "10.0.0.1"), Register::Replaced);
    EXPECT_EQ(UrlOf("a"), "tcp://h:3");
    EXPECT_EQ(registry.Unregister("a", "10.0.0.2"), Unregister::NotOwner);
    EXPECT_EQ(UrlOf("a"), "tcp://h:3");
    EXPECT_EQ(registry.Unregister("a", "10.0.0.1"), Unregister::Removed);
    EXPECT_EQ(registry.Unregister("a", "10.0.0.1"), Unregister::NotFound);
    EXPECT_EQ(UrlOf("a"), "(none)");
    EXPECT_EQ(registry.Lookup("A"), nullptr);
}

TEST_F(AgentRegistryTest, EntriesExpireAfterTtlUnlessRefreshed)
{
    registry.Register("a", "tcp://h:1", "10.0.0.1");
    registry.Register("b", "tcp://h:2", "10.0.0.1");
    now += 60;
    registry.Register("b", "tcp://h:2", "10.0.0.1");
    now += 39;
    EXPECT_EQ(UrlOf("a"), "tcp://h:1");
    now += 1;
    EXPECT_EQ(UrlOf("a"), "(none)");
    EXPECT_EQ(Names(), std::vector<std::string>{"b"});
    EXPECT_EQ(registry.Unregister("a", "10.0.0.1"), Unregister::NotFound);
    // Once expired the name is free for another address.
    EXPECT_EQ(registry.Register("a", "tcp://h:9", "10.0.0.2"), Register::Replaced);
    EXPECT_EQ(UrlOf("a"), "tcp://h:9");
    now += 61;
    EXPECT_EQ(registry.Size(), 2u);
    EXPECT_EQ(registry.Expire(), 1u);
    EXPECT_EQ(Names(), std::vector<std::string>{"a"});
}

TEST_F(AgentRegistryTest, ClockGoingBackKeepsEntries)
{
    registry.Register("a", "tcp://h:1", "10.0.0.1");
    now = 0;
    EXPECT_EQ(UrlOf("a"), "tcp://h:1");
    now = INT64_MAX;
    EXPECT_EQ(UrlOf("a"), "(none)");
}

TEST_F(AgentRegistryTest, FullRegistryRefusesNewNamesUntilOneExpires)
{
    registry.Register("a", "tcp://h:1", "10.0.0.1");
    now += 50;
    registry.Register("b", "tcp://h:1", "10.0.0.1");
    registry.Register("c", "tcp://h:1", "10.0.0.1");
    EXPECT_EQ(registry.Register("d", "tcp://h:1", "10.0.0.1"), Register::Full);
    EXPECT_EQ(registry.Register("c", "tcp://h:2", "10.0.0.1"), Register::Replaced);
    now += 50;
    EXPECT_EQ(registry.Register("d", "tcp://h:1", "10.0.0.1"), Register::Added);
    EXPECT_EQ(Names(), (std::vector<std::string>{"b", "c", "d"}));
}

TEST_F(AgentRegistryTest, RevisionCountsChangesOnly)
{
    const std::uint64_t start = registry.Revision();
    registry.Lookup("a");
    registry.Unregister("a", "10.0.0.1");
    EXPECT_EQ(registry.Revision(), start);
    registry.Register("a", "tcp://h:1", "10.0.0.1");
    const std::uint64_t added = registry.Revision();
    EXPECT_NE(added, start);
    registry.Register("a", "tcp://h:1", "10.0.0.2");
    EXPECT_EQ(registry.Revision(), added);
    registry.Register("a", "tcp://h:1", "10.0.0.1");
    EXPECT_NE(registry.Revision(), added);
}

TEST_F(AgentRegistryTest, RestoreSkipsExpiredAndRefusesDuplicatesAndOverflow)
{
    EXPECT_TRUE(registry.Restore("a", {"tcp://h:1", "10.0.0.1", now - 10, "", 0}));
    EXPECT_TRUE(registry.Restore("old", {"tcp://h:1", "10.0.0.1", now - 100, "", 0}));
    EXPECT_FALSE(registry.Restore("a", {"tcp://h:2", "10.0.0.1", now, "", 0}));
    EXPECT_TRUE(registry.Restore("b", {"tcp://h:1", "10.0.0.1", now, "", 0}));
    EXPECT_TRUE(registry.Restore("c", {"tcp://h:1", "10.0.0.1", now, "", 0}));
    EXPECT_FALSE(registry.Restore("d", {"tcp://h:1", "10.0.0.1", now, "", 0}));
    EXPECT_EQ(Names(), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_EQ(UrlOf("a"), "tcp://h:1");
    EXPECT_EQ(registry.Register("a", "tcp://h:5", "10.0.0.9"), Register::InUse);
}
