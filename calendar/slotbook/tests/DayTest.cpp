#include <slotbook/Day.h>

#include <gtest/gtest.h>

#include <utility>

namespace {
constexpr unsigned Sunday = 1, Monday = 2, Tuesday = 4, Wednesday = 8, Friday = 32, Saturday = 64;
}

TEST(Day, SettingFromNumbersAndText)
{
    EXPECT_EQ(0, CDay().GetDays());
    EXPECT_EQ(62, CDay(CDay(62)).GetDays());
    const std::pair<const char*, int> texts[] = {{"62", 62},
                                                 {"  12abc", 12},
                                                 {"+8", 8},
                                                 {"Monday", 0},
                                                 {"", 0},
                                                 {"-1", -1},
                                                 {"99999999999999999999", 2147483647}};
    CDay day;
    for (const auto& t : texts) {
        day.SetDays(std::string(t.first));
        EXPECT_EQ(t.second, day.GetDays()) << t.first;
    }
}

TEST(Day, RemoveFlipsButRemoveCommonOnlyRemoves)
{
    CDay day(Monday | Friday);
    day.RemoveDays(Tuesday);
    EXPECT_EQ(static_cast<int>(Monday | Tuesday | Friday), day.GetDays());
    day.RemoveDays(Tuesday);
    day.RemoveCommonDays(Tuesday);
    EXPECT_EQ(static_cast<int>(Monday | Friday), day.GetDays());
    day.RemoveCommonDays(Monday | Tuesday);
    EXPECT_EQ(static_cast<int>(Friday), day.GetDays());
    day.AddDays(Wednesday);
    EXPECT_EQ(static_cast<int>(Wednesday | Friday), day.GetDays());
}

TEST(Day, ReferencePointerAndBitsBehaveAlike)
{
    const CDay set(Monday | Saturday);
    CDay byReference(Friday | Monday), byPointer(Friday | Monday), byBits(Friday | Monday);
    byReference.RemoveDays(set);
    byPointer.RemoveDays(&set);
    byBits.RemoveDays(Monday | Saturday);
    EXPECT_EQ(static_cast<int>(Friday | Saturday), byBits.GetDays());
    EXPECT_EQ(byBits, byReference);
    EXPECT_EQ(byBits, byPointer);
    EXPECT_EQ(Saturday, byBits.GetCommonDays(&set));
    EXPECT_TRUE(byBits.Intersect(set));
    EXPECT_FALSE(byBits.ContainsDays(&set));
    // A null set is the empty set.
    const CDay* none = nullptr;
    byBits.AddDays(none);
    byBits.RemoveDays(none);
    EXPECT_EQ(static_cast<int>(Friday | Saturday), byBits.GetDays());
    EXPECT_TRUE(byBits.ContainsDays(none));
    EXPECT_FALSE(byBits.Intersect(none));
    byBits = none;
    EXPECT_EQ(0, byBits.GetDays());
    byBits = &set;
    EXPECT_TRUE(byBits == set);
}

TEST(Day, ContainsIntersectAndDayNumbers)
{
    const CDay day(Sunday | Wednesday | Saturday);
    EXPECT_TRUE(day.ContainsDays(0u));
    EXPECT_FALSE(day.Intersect(0u));
    EXPECT_TRUE(day.ContainsDays(Sunday | Saturday));
    EXPECT_FALSE(day.ContainsDays(Sunday | Monday));
    EXPECT_TRUE(day.Intersect(Monday | Wednesday));
    EXPECT_TRUE(day.ContainsMFCDays(1));
    EXPECT_TRUE(day.ContainsMFCDays(7));
    EXPECT_FALSE(day.ContainsMFCDays(2));
    for (int outside : {0, 8, -1, 40}) {
        EXPECT_FALSE(CDay(-1).ContainsMFCDays(outside));
        EXPECT_EQ(0u, CDay::MFC2CDays(outside));
    }
    EXPECT_EQ(1u, CDay::MFC2CDays(1));
    EXPECT_EQ(8u, CDay::MFC2CDays(4));
    EXPECT_EQ(64u, CDay::MFC2CDays(7));
}

TEST(Day, Texts)
{
    EXPECT_EQ("62", CDay(62).GetDaysStr());
    EXPECT_EQ("127", CDay(127).GetDaysStr());
    EXPECT_EQ("No Days", CDay().ToString());
    EXPECT_EQ("N", CDay().ToStringAbb());
    EXPECT_EQ("Monday Friday ", CDay(Monday | Friday).ToString());
    EXPECT_EQ("Sunday Monday Tuesday Wednesday Thursday Friday Saturday ", CDay(127).ToString());
    EXPECT_EQ("MonWedFri", CDay(Monday | Wednesday | Friday).ToStringAbb());
    EXPECT_EQ("Saturday ", CDay(Saturday | 128).ToString());
}
