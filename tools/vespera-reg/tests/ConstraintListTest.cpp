#include "ConstraintList.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Values = std::vector<CRegistry::NamedValue>;

class ConstraintListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/constraint-list-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("ORVANTE_REGISTRY_DIR", dir.c_str(), 1);
        registry = CRegistry(CRegistry::CurrentUser, dir);
    }
    void TearDown() override
    {
        ::unsetenv("ORVANTE_REGISTRY_DIR");
        fs::remove_all(dir);
    }

    Values StoredValues(const std::string& key) const
    {
        Values values;
        registry.ListValues(key, values);
        return values;
    }

    std::string Total() const
    {
        std::string value = "<missing>";
        registry.ReadValue(CConstraintList::SettingsKey, "TotalTimeConsts", value);
        return value;
    }

    static CConstraintList::Constraint Morning(const std::string& start = "9:00")
    {
        CConstraintList::Constraint constraint;
        constraint.start = start;
        constraint.end = "12:00:00";
        constraint.days = 62;
        return constraint;
    }

    int Add(const CConstraintList::Constraint& constraint)
    {
        CConstraintList list(registry);
        int index = -1;
        EXPECT_TRUE(list.Add(constraint, index)) << list.ErrorText();
        return index;
    }

    std::string dir;
    CRegistry registry{CRegistry::CurrentUser, "/nonexistent"};
};

TEST_F(ConstraintListTest, RelativeConstraintForEverybodyIsStoredInTheAgentsForm)
{
    EXPECT_EQ(Add(Morning()), 0);
    EXPECT_EQ(Total(), "1");
    EXPECT_EQ(StoredValues("Software\\ORVANTE\\CalendarAgent\\TConsts\\TimeConstraint0"),
              (Values{{"StartTime", "1/1/1000 9:00:00 AM"},
                      {"EndTime", "1/1/1000 12:00:00 PM"},
                      {"SlotType", "Relative"},
                      {"Days", "62"},
                      {"ContactType", "__CT_NULL__"}}));
}

TEST_F(ConstraintListTest, AbsoluteConstraintForOneContactCarriesTheContact)
{
    CConstraintList::Constraint constraint;
    constraint.start = "2026-12-24 12:00";
    constraint.end = "12/24/2026 1:00:00 PM";
    constraint.relative = false;
    constraint.days = 62;
    constraint.hasContact = true;
    constraint.firstName = "Jo";
    constraint.lastName = "Bloggs";
    constraint.email = "jo@example.org";
    constraint.agentName = "jo_example.org-CalendarAgent";
    Add(Morning());
    EXPECT_EQ(Add(constraint), 1);
    EXPECT_EQ(Total(), "2");
    EXPECT_EQ(StoredValues(CConstraintList::ConstraintKey(1)),
              (Values{{"StartTime", "12/24/2026 12:00:00 PM"},
                      {"EndTime", "12/24/2026 1:00:00 PM"},
                      {"SlotType", "Absolute"},
                      {"Days", "0"},
                      {"ContactType", "__CT_VALID__"},
                      {"ContactFName", "Jo"},
                      {"ContactLName", "Bloggs"},
                      {"ContactEmail", "jo@example.org"},
                      {"ContactCalAgentName", "jo_example.org-CalendarAgent"}}));
}

TEST_F(ConstraintListTest, UnreadableOrBackwardTimesAreRefused)
{
    Values values;
    std::string error;
    CConstraintList::Constraint constraint = Morning("nine");
    EXPECT_FALSE(CConstraintList::ToValues(constraint, values, error));
    EXPECT_NE(error.find("nine"), std::string::npos);
    constraint = Morning("13:00");
    EXPECT_FALSE(CConstraintList::ToValues(constraint, values, error));
    constraint = Morning();
    constraint.hasContact = true;
    constraint.email = "a\nb";
    EXPECT_FALSE(CConstraintList::ToValues(constraint, values, error));
    CConstraintList list(registry);
    int index = -1;
    EXPECT_FALSE(list.Add(constraint, index));
    EXPECT_EQ(Total(), "<missing>");
}

TEST_F(ConstraintListTest, RemovingMovesTheLaterConstraintsDown)
{
    Add(Morning("8:00"));
    Add(Morning("9:00"));
    CConstraintList::Constraint withContact = Morning("10:00");
    withContact.hasContact = true;
    withContact.agentName = "x-CalendarAgent";
    Add(withContact);
    Values third = StoredValues(CConstraintList::ConstraintKey(2));

    CConstraintList list(registry);
    ASSERT_TRUE(list.Remove(1)) << list.ErrorText();
    EXPECT_EQ(Total(), "2");
    EXPECT_EQ(StoredValues(CConstraintList::ConstraintKey(0))[0].second, "1/1/1000 8:00:00 AM");
    EXPECT_EQ(StoredValues(CConstraintList::ConstraintKey(1)), third);
    EXPECT_FALSE(registry.KeyExists(CConstraintList::ConstraintKey(2)));

    EXPECT_FALSE(list.Remove(2));
    EXPECT_FALSE(list.Remove(-1));
    ASSERT_TRUE(list.Remove(0));
    ASSERT_TRUE(list.Remove(0));
    EXPECT_EQ(Total(), "0");
    EXPECT_FALSE(registry.KeyExists(CConstraintList::ConstraintKey(0)));
    EXPECT_FALSE(list.Remove(0));
}

TEST_F(ConstraintListTest, CountIsReadAsTheAgentReadsIt)
{
    ASSERT_EQ(registry.WriteValue(CConstraintList::SettingsKey, "TotalTimeConsts", "abc"), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(CConstraintList::ConstraintKey(0), "StartTime", "stale"), CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(CConstraintList::ConstraintKey(0), "Leftover", "x"), CRegistry::Ok);
    EXPECT_EQ(Add(Morning()), 0);
    EXPECT_EQ(Total(), "1");
    EXPECT_EQ(StoredValues(CConstraintList::ConstraintKey(0)).size(), 5u);
}

TEST_F(ConstraintListTest, HugeCountWithFewSubkeysStaysQuick)
{
    ASSERT_EQ(registry.WriteValue(CConstraintList::SettingsKey, "TotalTimeConsts", "2000000000"),
              CRegistry::Ok);
    ASSERT_EQ(registry.WriteValue(CConstraintList::ConstraintKey(1), "Days", "1"), CRegistry::Ok);
    CConstraintList list(registry);
    int total = 0;
    std::vector<CConstraintList::Entry> entries;
    ASSERT_TRUE(list.List(total, entries));
    EXPECT_EQ(total, 2000000000);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(entries[0].values.empty());
    EXPECT_EQ(entries[1].values, (Values{{"Days", "1"}}));

    ASSERT_TRUE(list.Remove(0));
    EXPECT_EQ(Total(), "1999999999");
    EXPECT_EQ(StoredValues(CConstraintList::ConstraintKey(0)), (Values{{"Days", "1"}}));
    EXPECT_FALSE(registry.KeyExists(CConstraintList::ConstraintKey(1)));
}

TEST_F(ConstraintListTest, BrokenHiveFailsEveryCommand)
{
    std::ofstream(dir + "/HKEY_CURRENT_USER.reg") << "garbage\n";
    CConstraintList list(registry);
    int index = 0;
    std::vector<CConstraintList::Entry> entries;
    EXPECT_FALSE(list.Add(Morning(), index));
    EXPECT_FALSE(list.ErrorText().empty());
    EXPECT_FALSE(list.Remove(0));
    EXPECT_FALSE(list.List(index, entries));
}

} // namespace
