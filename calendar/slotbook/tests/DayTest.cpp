#include <slotbook/Day.h>

#include <gtest/gtest.h>

namespace
{
constexpr unsigned Sunday = 1, Monday = 2, Tuesday = 4, Wednesday = 8, Friday = 32, Saturday = 64;
}

TEST(DayConstruction, EmptyGivenAndCopied)
{
    EXPECT_EQ(0, CDay().GetDays());
    EXPECT_EQ(62, CDay(62).GetDays());
    CDay original(65);
    CDay copy(original);
    EXPECT_EQ(65, copy.GetDays());
}

TEST(DaySetting, FromNumberAndText)
{
    CDay day;
    day.SetDays(127u);
    EXPECT_EQ(127, day.GetDays());
    day.SetDays(std::string("62"));
    EXPECT_EQ(62, day.GetDays());
    day.SetDays(std::string("  12abc"));
    EXPECT_EQ(12, day.GetDays());
    day.SetDays(std::string("+8"));
    EXPECT_EQ(8, day.GetDays());
    day.SetDays(std::string("Monday"));
    EXPECT_EQ(0, day.GetDays());
    day.SetDays(std::string(""));
    EXPECT_EQ(0, day.GetDays());
    day.SetDays(std::string("-1"));
    EXPECT_EQ(-1, day.GetDays());
}

TEST(DaySetting, HugeNumbersAreHeldToTheIntRange)
{
    CDay day;
    day.SetDays(std::string("99999999999999999999"));
    EXPECT_EQ(2147483647, day.GetDays());
}

TEST(DaySetOperations, AddFlipAndRemoveCommon)
{
    CDay day(Monday | Friday);
    day.AddDays(Wednesday);
    EXPECT_EQ(static_cast<int>(Monday | Wednesday | Friday), day.GetDays());
    day.RemoveDays(Wednesday);
    EXPECT_EQ(static_cast<int>(Monday | Friday), day.GetDays());
    // Removing a day that is absent adds it.
    day.RemoveDays(Tuesday);
    EXPECT_EQ(static_cast<int>(Monday | Tuesday | Friday), day.GetDays());
}

TEST(DaySetOperations, RemoveCommonLeavesAbsentDaysAbsent)
{
    CDay day(Monday | Friday);
    day.RemoveCommonDays(Tuesday);
    EXPECT_EQ(static_cast<int>(Monday | Friday), day.GetDays());
    day.RemoveCommonDays(Monday | Tuesday);
    EXPECT_EQ(static_cast<int>(Friday), day.GetDays());
}

TEST(DaySetOperations, ReferencePointerAndBitsBehaveAlike)
{
    const CDay set(Monday | Saturday);
    CDay byReference(Friday), byPointer(Friday), byBits(Friday);
    byReference.AddDays(set);
    byPointer.AddDays(&set);
    byBits.AddDays(Monday | Saturday);
    EXPECT_EQ(byBits, byReference);
    EXPECT_EQ(byBits, byPointer);
    byReference.RemoveDays(set);
    byPointer.RemoveDays(&set);
    byBits.RemoveDays(Monday | Saturday);
    EXPECT_EQ(byBits, byReference);
    EXPECT_EQ(byBits, byPointer);
    EXPECT_EQ(set.GetCommonDays(CDay(Monday)), set.GetCommonDays(Monday));
    EXPECT_EQ(static_cast<int>(Friday), byBits.GetDays());
    EXPECT_EQ(0u, set.GetCommonDays(&byBits));
    EXPECT_EQ(Monday, set.GetCommonDays(CDay(Monday | Tuesday)));
}

TEST(DaySetOperations, NullPointerIsTheEmptySet)
{
    CDay day(Monday);
    const CDay* none = nullptr;
    day.AddDays(none);
    day.RemoveDays(none);
    day.RemoveCommonDays(none);
    EXPECT_EQ(static_cast<int>(Monday), day.GetDays());
    EXPECT_TRUE(day.ContainsDays(none));
    EXPECT_FALSE(day.Intersect(none));
    EXPECT_EQ(0u, day.GetCommonDays(none));
    day = none;
    EXPECT_EQ(0, day.GetDays());
}

TEST(DayQueries, ContainsAndIntersect)
{
    const CDay day(Monday | Wednesday | Friday);
    EXPECT_TRUE(day.ContainsDays(0u));
    EXPECT_TRUE(day.ContainsDays(Monday | Friday));
    EXPECT_FALSE(day.ContainsDays(Monday | Tuesday));
    EXPECT_TRUE(day.ContainsDays(CDay(Wednesday)));
    EXPECT_FALSE(day.Intersect(0u));
    EXPECT_TRUE(day.Intersect(Tuesday | Wednesday));
    EXPECT_FALSE(day.Intersect(CDay(Sunday | Saturday)));
    EXPECT_EQ(Wednesday, day.GetCommonDays(Tuesday | Wednesday));
}

TEST(DayQueries, DayNumbers)
{
    const CDay day(Sunday | Saturday);
    EXPECT_TRUE(day.ContainsMFCDays(1));
    EXPECT_TRUE(day.ContainsMFCDays(7));
    EXPECT_FALSE(day.ContainsMFCDays(2));
    EXPECT_FALSE(day.ContainsMFCDays(0));
    EXPECT_FALSE(day.ContainsMFCDays(8));
    EXPECT_FALSE(CDay(-1).ContainsMFCDays(-3));
    EXPECT_EQ(1u, CDay::MFC2CDays(1));
    EXPECT_EQ(64u, CDay::MFC2CDays(7));
    EXPECT_EQ(8u, day.MFC2CDays(4));
    EXPECT_EQ(0u, CDay::MFC2CDays(0));
    EXPECT_EQ(0u, CDay::MFC2CDays(8));
    EXPECT_EQ(0u, CDay::MFC2CDays(-1));
    EXPECT_EQ(0u, CDay::MFC2CDays(40));
}

TEST(DayComparison, EqualityAndAssignment)
{
    CDay a(62), b(62), c(65);
    EXPECT_TRUE(a == b);
    EXPECT_FALSE(a == c);
    a = c;
    EXPECT_EQ(65, a.GetDays());
    a = &b;
    EXPECT_EQ(62, a.GetDays());
}

TEST(DayText, NumberText)
{
    EXPECT_EQ("62", CDay(62).GetDaysStr());
    EXPECT_EQ("127", CDay(127).GetDaysStr());
    EXPECT_EQ("0", CDay().GetDaysStr());
}

TEST(DayText, FullNames)
{
    EXPECT_EQ("No Days", CDay().ToString());
    EXPECT_EQ("Monday Friday ", CDay(Monday | Friday).ToString());
    EXPECT_EQ("Sunday Monday Tuesday Wednesday Thursday Friday Saturday ", CDay(127).ToString());
    EXPECT_EQ("Saturday ", CDay(Saturday | 128).ToString());
}

TEST(DayText, Abbreviations)
{
    EXPECT_EQ("N", CDay().ToStringAbb());
    EXPECT_EQ("MonWedFri", CDay(Monday | Wednesday | Friday).ToStringAbb());
    EXPECT_EQ("SunSat", CDay(65).ToStringAbb());
}
