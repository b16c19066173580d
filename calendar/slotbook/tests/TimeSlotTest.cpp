#include <slotbook/TimeSlot.h>

#include <gtest/gtest.h>

#include <utility>

#include <climits>
#include <memory>

namespace {
constexpr unsigned Monday = 2, Wednesday = 8;

CDateTime At(int hour, int minute, int second = 0)
{
    return CDateTime(2003, 5, 12, hour, minute, second);
}

CDateTime Relative(int hour, int minute)
{
    return CDateTime(1000, 1, 1, hour, minute, 0);
}

CTimeSlot RelativeSlot(int fromHour, int toHour, unsigned days)
{
    CTimeSlot slot(At(fromHour, 0), At(toHour, 0));
    const CDay set(static_cast<int>(days));
    slot.SetAttributes(1, 0, &set);
    return slot;
}
} // namespace

TEST(TimeSlotConstruction, DefaultAndFromDates)
{
    const CTimeSlot empty;
    EXPECT_EQ(0, empty.IsValid());
    EXPECT_EQ(0, empty.GetDuration());
    EXPECT_EQ(1, empty.GetSlotType());
    EXPECT_EQ(CDateTime(), empty.GetStartTime());
    EXPECT_EQ(CDateTime(), empty.GetEndTime());
    const CTimeSlot both(At(9, 0), At(10, 30));
    EXPECT_EQ(1, both.IsValid());
    EXPECT_EQ(90, both.GetDuration());
    EXPECT_TRUE(both.IsAbsolute());
    const CTimeSlot fromDuration(At(9, 0), 45);
    EXPECT_EQ(At(9, 45), fromDuration.GetEndTime());
    EXPECT_EQ(1, fromDuration.IsValid());
    EXPECT_EQ(1, CTimeSlot(At(9, 0), At(10, 0), 60).IsValid());
    const CTimeSlot wrong(At(9, 0), At(10, 0), 59);
    EXPECT_EQ(0, wrong.IsValid());
    EXPECT_EQ(59, wrong.GetDuration());
}

TEST(TimeSlotConstruction, MinutesRoundAtHalfASecondAndBoundsMustBeValid)
{
    EXPECT_EQ(60, CTimeSlot(At(9, 0), At(9, 0) + CDateTimeSpan((3599.6) / 86400.0)).GetDuration());
    EXPECT_EQ(59, CTimeSlot(At(9, 0), At(9, 0) + CDateTimeSpan((3599.4) / 86400.0)).GetDuration());
    const CDateTime bad(2021, 2, 30, 0, 0, 0);
    EXPECT_EQ(0, CTimeSlot(bad, At(9, 0), 0).IsValid());
    EXPECT_EQ(0, CTimeSlot(bad, bad, 0).IsValid());
    EXPECT_EQ(CDateTime::invalid,
              CTimeSlot(CDateTime(9000, 1, 1, 0, 0, 0), INT_MAX).GetEndTime().GetStatus());
}

TEST(TimeSlotText, ReadsTheRenderingBackWithoutParentheses)
{
    const CTimeSlot slot("((" + At(9, 0).Format() + "))", "(" + At(10, 0).Format() + ")", "(60)");
    EXPECT_EQ(1, slot.IsValid());
    EXPECT_EQ(At(9, 0), slot.GetStartTime());
    EXPECT_EQ(At(10, 0), slot.GetEndTime());
    EXPECT_EQ(0, CTimeSlot(At(9, 0).Format(), At(10, 0).Format(), 30).IsValid());
    const CTimeSlot fromStart("(" + At(9, 0).Format() + ")", "(30)", 1);
    EXPECT_EQ(At(9, 30), fromStart.GetEndTime());
    EXPECT_EQ(30, fromStart.GetDuration());
}

TEST(TimeSlotText, UnreadableTexts)
{
    for (const CTimeSlot& slot : {CTimeSlot(std::string("not a date"), At(10, 0).Format(), 60),
                                  CTimeSlot(At(9, 0).Format(), std::string("13/1/2020"), "60")}) {
        EXPECT_EQ(0, slot.IsValid());
        EXPECT_EQ(1, slot.GetSlotType());
        EXPECT_EQ(CDateTime(), slot.GetStartTime());
        EXPECT_EQ(CDateTime(), slot.GetEndTime());
    }
    EXPECT_EQ(0, CTimeSlot(At(9, 0).Format(), At(9, 0).Format(), nullptr).GetDuration());
    const CTimeSlot garbage(std::string("garbage"), "30", 1);
    EXPECT_EQ(1, garbage.IsValid());
    EXPECT_EQ(CDateTime::invalid, garbage.GetStartTime().GetStatus());
    EXPECT_EQ(CDateTime::invalid, garbage.GetEndTime().GetStatus());
}

TEST(TimeSlotText, RemoveParens)
{
    const std::pair<const char*, const char*> cases[] = {
        {"(a(b))", "a(b"}, {"((x))", "x"}, {"", ""}, {"((", ""}, {"))", ""}, {"(()", ""}, {"a)(", "a)("}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, CTimeSlot::RemoveParens(c.first)) << c.first;
}

TEST(TimeSlotSetters, PlainSettersTouchOnlyTheirField)
{
    CTimeSlot slot = RelativeSlot(9, 10, Monday);
    slot.SetStartTime(At(8, 0));
    slot.SetTimeSlot(At(1, 0), At(12, 0));
    EXPECT_EQ(60, slot.GetDuration());
    EXPECT_EQ(0, slot.GetSlotType());
    EXPECT_EQ(static_cast<int>(Monday), slot.GetDays());
    EXPECT_EQ(1, slot.IsValid());
    slot.SetTimeSlot(At(9, 0), At(11, 0), 0);
    EXPECT_EQ(120, slot.GetDuration());
    EXPECT_EQ(1, slot.GetSlotType());
    EXPECT_EQ(0, slot.GetDays());
    EXPECT_EQ(0, slot.IsValid());
    slot.SetTimeSlot(At(9, 0), -30);
    EXPECT_EQ(At(8, 30), slot.GetEndTime());
    EXPECT_EQ(1, slot.IsValid());
}

TEST(TimeSlotType, RelativeMovesToTheYear1000AndAbsoluteClearsDays)
{
    CTimeSlot slot(At(9, 30), At(11, 0));
    slot.SetSlotType(0);
    EXPECT_EQ(Relative(9, 30), slot.GetStartTime());
    EXPECT_EQ(Relative(11, 0), slot.GetEndTime());
    EXPECT_EQ(90, slot.GetDuration());
    slot.AddDays(Monday);
    slot.SetSlotType(1);
    EXPECT_EQ(Relative(9, 30), slot.GetStartTime());
    EXPECT_EQ(0, slot.GetDays());
    const CDay monday(static_cast<int>(Monday));
    slot.SetAttributes(1, 1, &monday);
    EXPECT_EQ(0, slot.GetDays());
    slot.SetAttributes(0, 7, &monday);
    EXPECT_EQ(static_cast<int>(Monday), slot.GetDays());
    EXPECT_EQ(7, slot.GetSlotType());
    EXPECT_FALSE(slot.IsRelative() || slot.IsAbsolute());
    CTimeSlot garbage(std::string("junk"), "30", 1);
    garbage.SetSlotType(0);
    EXPECT_EQ(CDateTime::invalid, garbage.GetStartTime().GetStatus());
}

TEST(TimeSlotComparison, EqualityAndTimeRange)
{
    const CTimeSlot base(At(9, 0), At(10, 0));
    CTimeSlot other(base);
    EXPECT_TRUE(other == base);
    other.SetValidity(0);
    EXPECT_FALSE(other == base);
    EXPECT_TRUE(other.IsTimeRangeEqual(&base));
    other = base;
    other.AddDays(Monday);
    EXPECT_FALSE(other == base);
    other = base;
    other.SetDuration(61);
    EXPECT_FALSE(other.IsTimeRangeEqual(base));
    EXPECT_FALSE(base.IsTimeRangeEqual(nullptr));
}

TEST(TimeSlotComparison, ContainsAndOverlaps)
{
    const CTimeSlot hour(At(9, 0), At(10, 0));
    const CTimeSlot later(At(9, 30), At(10, 30));
    const CTimeSlot inner(At(9, 15), At(9, 45));
    EXPECT_TRUE(hour.Contains(hour));
    EXPECT_TRUE(hour.Contains(&inner));
    EXPECT_TRUE(hour.Contains(CTimeSlot(At(9, 0), At(9, 45))));
    EXPECT_FALSE(hour.Contains(later));
    EXPECT_FALSE(hour.Contains(nullptr));
    EXPECT_TRUE(hour.OverLaps(later));
    EXPECT_TRUE(later.OverLaps(&hour));
    for (const CTimeSlot& other : {hour, inner, CTimeSlot(At(10, 0), At(11, 0)),
                                   CTimeSlot(At(9, 0), At(9, 30)), CTimeSlot(At(9, 30), At(10, 0))}) {
        EXPECT_FALSE(hour.OverLaps(other));
        EXPECT_FALSE(other.OverLaps(hour));
    }
    EXPECT_FALSE(hour.OverLaps(nullptr));
    // Relative slots lie before 1899 and still keep their order.
    EXPECT_TRUE(RelativeSlot(9, 10, Monday).OverLaps(CTimeSlot(Relative(9, 30), Relative(10, 30))));
    EXPECT_FALSE(RelativeSlot(9, 10, Monday).Contains(CTimeSlot(Relative(8, 0), Relative(12, 0))));
}

TEST(TimeSlotUnion, RelativeJoinsDaysAbsoluteSpansBoth)
{
    const std::unique_ptr<CTimeSlot> relative(RelativeSlot(9, 10, Monday) + RelativeSlot(14, 15, Wednesday));
    EXPECT_EQ(Relative(9, 0), relative->GetStartTime());
    EXPECT_EQ(Relative(15, 0), relative->GetEndTime());
    EXPECT_EQ(360, relative->GetDuration());
    EXPECT_EQ(1, relative->IsValid());
    EXPECT_EQ(0, relative->GetSlotType());
    EXPECT_EQ(static_cast<int>(Monday | Wednesday), relative->GetDays());
    const std::unique_ptr<CTimeSlot> absolute(CTimeSlot(At(9, 0), At(10, 0)) +
                                              CTimeSlot(At(8, 0), At(9, 30)));
    EXPECT_EQ(At(8, 0), absolute->GetStartTime());
    EXPECT_EQ(At(10, 0), absolute->GetEndTime());
    EXPECT_EQ(0, absolute->GetDuration());
    EXPECT_EQ(0, absolute->IsValid());
    EXPECT_EQ(1, absolute->GetSlotType());
    const std::unique_ptr<CTimeSlot> mixed(CTimeSlot(At(11, 0), At(12, 0)) + RelativeSlot(9, 10, Monday));
    EXPECT_EQ(0, mixed->GetSlotType());
    EXPECT_EQ(Relative(12, 0), mixed->GetEndTime());
}

TEST(TimeSlotStrings, ShortTexts)
{
    CTimeSlot slot(At(9, 0), At(9, 45));
    EXPECT_EQ("45", slot.GetDurationString());
    EXPECT_EQ("Absolute", slot.GetSlotTypeString());
    EXPECT_EQ("Valid", slot.GetStatusString());
    slot.SetSlotType(0);
    EXPECT_EQ("Relative", slot.GetSlotTypeString());
    slot.SetSlotType(9);
    EXPECT_EQ("Absolute", slot.GetSlotTypeString());
    slot.SetValidity(0);
    EXPECT_EQ("InValid", slot.GetStatusString());
}

TEST(TimeSlotStrings, ToStringAndDebug)
{
    EXPECT_EQ("StartTime: 5/12/2003 9:00:00 AM\nEndTime: 5/12/2003 10:00:00 AM\nDuration: 60 Minutes\n"
              "Valid: TRUE\nSlotType : Absolute\nDays : No Days",
              CTimeSlot(At(9, 0), At(10, 0)).ToString());
    EXPECT_EQ("StartTime: 1/1/1000 9:00:00 AM\nEndTime: 1/1/1000 10:00:00 AM\nDuration: 60 Minutes\n"
              "Valid: TRUE\nSlotType : Relative\nDays : Monday ",
              RelativeSlot(9, 10, Monday).ToString());
    CTimeSlot other(At(9, 0), At(10, 0));
    other.SetSlotType(3);
    other.SetValidity(0);
    EXPECT_EQ("StartTime: 5/12/2003 9:00:00 AM\nEndTime: 5/12/2003 10:00:00 AM\nDuration: 60 Minutes\n"
              "Valid: FALSE\nSlotType : Days : No Days",
              other.ToString());
    EXPECT_EQ(
        "StartTime: 5/12/2003 9:05:07 AM\nHours: 9 Minutes: 5 Seconds: 7\n"
        "EndTime: 5/12/2003 10:00:30 AM\nHours: 10Minutes: 0Seconds: 30\nDuration: 55 Minutes\nValid: TRUE\n",
        CTimeSlot(At(9, 5, 7), At(10, 0, 30)).ToStringDebug());
    EXPECT_EQ(
        "StartTime: Invalid DateTime\nHours: -1 Minutes: -1 Seconds: -1\n"
        "EndTime: Invalid DateTime\nHours: -1Minutes: -1Seconds: -1\nDuration: 5 Minutes\nValid: FALSE\n",
        CTimeSlot(std::string("junk"), "5", 0).ToStringDebug());
}
