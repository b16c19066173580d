#include <vespera/core/TimeConstraint.h>

#include <gtest/gtest.h>

namespace
{
// 7 December 2026 is a Monday, 12 December a Saturday.
CDateTime Monday(int hour, int minute, int second = 0)
{
    return CDateTime(2026, 12, 7, hour, minute, second);
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

CTimeConstraint AbsoluteNoon()
{
    return CTimeConstraint(CContactRecord(), false, Monday(12, 0), Monday(13, 0));
}

CTimeConstraint RelativeNoonOnWeekdays()
{
    CTimeConstraint constraint(CContactRecord(), false, Monday(12, 0), Monday(13, 0));
    constraint.SetSlotType(0);
    constraint.SetDays(62u);
    return constraint;
}

CTimeConstraint ForContact(const std::string& agentName)
{
    CContactRecord contact("Ada", "Byron", "ada@example.org");
    contact.SetCalendarAgentName(agentName);
    return CTimeConstraint(contact, true, Monday(12, 0), Monday(13, 0));
}
} // namespace

TEST(TimeConstraint, DefaultIsAnInvalidConstraintForEverybody)
{
    const CTimeConstraint constraint;
    EXPECT_FALSE(constraint.IsValid());
    EXPECT_FALSE(constraint.IsContactValid());
    EXPECT_TRUE(constraint.AppliesTo("anyone-CalendarAgent"));
    EXPECT_FALSE(constraint.Matches(Monday(12, 0), Monday(13, 0)));
}

TEST(TimeConstraint, AbsoluteTestsTheStartAlone)
{
    const CTimeConstraint constraint = AbsoluteNoon();
    EXPECT_TRUE(constraint.IsAbsolute());
    EXPECT_EQ(60, constraint.GetDuration());
    EXPECT_TRUE(constraint.Matches(Monday(12, 0), Monday(13, 0)));
    EXPECT_TRUE(constraint.Matches(Monday(12, 59), Monday(13, 59)));
    EXPECT_FALSE(constraint.Matches(Monday(11, 30), Monday(12, 30)));
    EXPECT_FALSE(constraint.Matches(Monday(13, 0), Monday(14, 0)));
    // The same time of day on another date is not inside a dated constraint.
    EXPECT_FALSE(constraint.Matches(CDateTime(2026, 12, 8, 12, 30, 0), CDateTime(2026, 12, 8, 13, 0, 0)));
}

TEST(TimeConstraint, RelativeTestsStartOrEndOnItsDays)
{
    const CTimeConstraint constraint = RelativeNoonOnWeekdays();
    ASSERT_TRUE(constraint.IsRelative());
    EXPECT_EQ(1000, constraint.GetStartTime().GetYear());
    // The end lies inside.
    EXPECT_TRUE(constraint.Matches(Monday(11, 30), Monday(12, 30)));
    // The start lies inside.
    EXPECT_TRUE(constraint.Matches(Monday(12, 30), Monday(13, 30)));
    // An end exactly at the constraint's end is inside, one at its start is not.
    EXPECT_TRUE(constraint.Matches(Monday(12, 30), Monday(13, 0)));
    EXPECT_FALSE(constraint.Matches(Monday(11, 0), Monday(12, 0)));
    EXPECT_FALSE(constraint.Matches(Monday(13, 0), Monday(14, 0)));
    EXPECT_FALSE(constraint.Matches(Saturday(11, 30), Saturday(12, 30)));
    EXPECT_FALSE(constraint.Matches(Saturday(12, 0), Saturday(13, 0)));
}

TEST(TimeConstraint, RelativeDoesNotMatchARequestSpanningIt)
{
    EXPECT_FALSE(RelativeNoonOnWeekdays().Matches(Monday(11, 0), Monday(14, 0)));
}

TEST(TimeConstraint, RelativeLooksAtTheEndsOwnWeekday)
{
    // Sunday 23:00 to Monday 12:30: only the end falls on a weekday.
    EXPECT_TRUE(RelativeNoonOnWeekdays().Matches(CDateTime(2026, 12, 6, 23, 0, 0), Monday(12, 30)));
    // Friday 12:30 to Saturday 12:30: only the start does.
    EXPECT_TRUE(RelativeNoonOnWeekdays().Matches(CDateTime(2026, 12, 11, 12, 30, 0), Saturday(12, 30)));
}

TEST(TimeConstraint, InvalidTimesNeverMatch)
{
    EXPECT_FALSE(AbsoluteNoon().Matches(Invalid(), Monday(13, 0)));
    EXPECT_FALSE(RelativeNoonOnWeekdays().Matches(Invalid(), Invalid()));
    const CDateTime unparsed = Invalid();
    const CTimeConstraint broken(CContactRecord(), false, unparsed, Monday(13, 0));
    EXPECT_FALSE(broken.Matches(Monday(12, 0), Monday(12, 30)));
    CTimeConstraint brokenRelative(CContactRecord(), false, Monday(12, 0), unparsed);
    brokenRelative.SetSlotType(0);
    brokenRelative.SetDays(127u);
    EXPECT_FALSE(brokenRelative.Matches(Monday(12, 0), Monday(12, 30)));
}

TEST(TimeConstraint, ValidContactAppliesOnlyToItsAgentName)
{
    const CTimeConstraint constraint = ForContact("ada_example.org-CalendarAgent");
    EXPECT_TRUE(constraint.IsContactValid());
    EXPECT_EQ("ada@example.org", constraint.GetContact().GetEmailAddress());
    EXPECT_TRUE(constraint.AppliesTo("ada_example.org-CalendarAgent"));
    EXPECT_FALSE(constraint.AppliesTo("ADA_example.org-CalendarAgent"));
    EXPECT_FALSE(constraint.AppliesTo(""));
}

TEST(TimeConstraint, ContactCanBeReplacedOrInvalidated)
{
    CTimeConstraint constraint = ForContact("ada_example.org-CalendarAgent");
    constraint.SetContact(CContactRecord(), false);
    EXPECT_TRUE(constraint.AppliesTo("someone-else-CalendarAgent"));
    const CTimeConstraint copy = constraint;
    EXPECT_FALSE(copy.IsContactValid());
    EXPECT_TRUE(copy.IsTimeRangeEqual(constraint));
}
