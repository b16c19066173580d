#include <vespera/core/TimeConstraint.h>

#include <gtest/gtest.h>

namespace {
// 7 December 2026 is a Monday, 12 December a Saturday.
CDateTime Monday(int hour, int minute)
{
    return CDateTime(2026, 12, 7, hour, minute, 0);
}

CDateTime Saturday(int hour, int minute)
{
    return CDateTime(2026, 12, 12, hour, minute, 0);
}

CDateTime Invalid()
{
    CDateTime value;
    value.SetStatus(CDateTime::invalid);
    return value;
}

CTimeConstraint Noon(bool relative, const CDateTime& end = Monday(13, 0))
{
    CTimeConstraint constraint(CContactRecord(), false, Monday(12, 0), end);
    if (relative) {
        constraint.SetSlotType(0);
        constraint.SetDays(62u);
    }
    return constraint;
}
} // namespace

TEST(TimeConstraint, AbsoluteTestsTheStartAlone)
{
    const CTimeConstraint constraint = Noon(false);
    EXPECT_EQ(60, constraint.GetDuration());
    EXPECT_TRUE(constraint.Matches(Monday(12, 0), Monday(13, 0)));
    EXPECT_TRUE(constraint.Matches(Monday(12, 59), Monday(13, 59)));
    EXPECT_FALSE(constraint.Matches(Monday(11, 30), Monday(12, 30)));
    EXPECT_FALSE(constraint.Matches(Monday(13, 0), Monday(14, 0)));
    // The same time of day on another date is outside a dated constraint.
    EXPECT_FALSE(constraint.Matches(CDateTime(2026, 12, 8, 12, 30, 0), CDateTime(2026, 12, 8, 13, 0, 0)));
}

TEST(TimeConstraint, RelativeTestsStartOrEndOnItsDays)
{
    const CTimeConstraint constraint = Noon(true);
    ASSERT_EQ(1000, constraint.GetStartTime().GetYear());
    EXPECT_TRUE(constraint.Matches(Monday(11, 30), Monday(12, 30)));
    EXPECT_TRUE(constraint.Matches(Monday(12, 30), Monday(13, 30)));
    EXPECT_TRUE(constraint.Matches(Monday(12, 30), Monday(13, 0)));
    EXPECT_FALSE(constraint.Matches(Monday(11, 0), Monday(12, 0)));
    EXPECT_FALSE(constraint.Matches(Monday(13, 0), Monday(14, 0)));
    // Spanning the whole period is no match.
    EXPECT_FALSE(constraint.Matches(Monday(11, 0), Monday(14, 0)));
    EXPECT_FALSE(constraint.Matches(Saturday(11, 30), Saturday(12, 30)));
    // Each end is tested on its own weekday: Sunday night to Monday noon,
    // Friday noon to Saturday noon.
    EXPECT_TRUE(constraint.Matches(CDateTime(2026, 12, 6, 23, 0, 0), Monday(12, 30)));
    EXPECT_TRUE(constraint.Matches(CDateTime(2026, 12, 11, 12, 30, 0), Saturday(12, 30)));
}

TEST(TimeConstraint, InvalidTimesNeverMatch)
{
    EXPECT_FALSE(CTimeConstraint().IsValid());
    EXPECT_FALSE(CTimeConstraint().Matches(Monday(12, 0), Monday(13, 0)));
    EXPECT_FALSE(Noon(false).Matches(Invalid(), Monday(13, 0)));
    EXPECT_FALSE(Noon(true).Matches(Invalid(), Invalid()));
    EXPECT_FALSE(Noon(false, Invalid()).Matches(Monday(12, 0), Monday(12, 30)));
    EXPECT_FALSE(Noon(true, Invalid()).Matches(Monday(12, 0), Monday(12, 30)));
}

TEST(TimeConstraint, ValidContactAppliesOnlyToItsAgentName)
{
    CContactRecord contact("Ada", "Byron", "ada@example.org");
    contact.SetCalendarAgentName("ada_example.org-CalendarAgent");
    CTimeConstraint constraint(contact, true, Monday(12, 0), Monday(13, 0));
    EXPECT_EQ("ada@example.org", constraint.GetContact().GetEmailAddress());
    EXPECT_TRUE(constraint.AppliesTo("ada_example.org-CalendarAgent"));
    EXPECT_FALSE(constraint.AppliesTo("ADA_example.org-CalendarAgent"));
    EXPECT_FALSE(constraint.AppliesTo(""));
    constraint.SetContact(contact, false);
    EXPECT_TRUE(constraint.AppliesTo("bob_example.org-CalendarAgent"));
    EXPECT_TRUE(CTimeConstraint().AppliesTo(""));
}
