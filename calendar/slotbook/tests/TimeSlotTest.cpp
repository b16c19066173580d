#include <slotbook/TimeSlot.h>

#include <gtest/gtest.h>

#include <climits>
#include <memory>

namespace
{
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
}

TEST(TimeSlotConstruction, DefaultIsAnInvalidAbsoluteSlotAtZero)
{
    const CTimeSlot slot;
    EXPECT_EQ(0, slot.GetDays());
    EXPECT_EQ(0, slot.IsValid());
    EXPECT_EQ(CDateTime(), slot.GetStartTime());
    EXPECT_EQ(CDateTime(), slot.GetEndTime());
    EXPECT_EQ(CDateTime::valid, slot.GetStartTime().GetStatus());
    EXPECT_EQ(1, slot.GetSlotType());
    EXPECT_EQ(0, slot.GetDuration());
    EXPECT_TRUE(slot.IsAbsolute());
    EXPECT_FALSE(slot.IsRelative());
}

TEST(TimeSlotConstruction, StartAndEndGiveAValidSlot)
{
    const CTimeSlot slot(At(9, 0), At(10, 30));
    EXPECT_EQ(1, slot.IsValid());
    EXPECT_EQ(90, slot.GetDuration());
    EXPECT_EQ(1, slot.GetSlotType());
    EXPECT_EQ(At(9, 0), slot.GetStartTime());
    EXPECT_EQ(At(10, 30), slot.GetEndTime());
}

TEST(TimeSlotConstruction, StartEndAndDurationCheckEachOther)
{
    EXPECT_EQ(1, CTimeSlot(At(9, 0), At(10, 0), 60).IsValid());
    const CTimeSlot wrong(At(9, 0), At(10, 0), 59);
    EXPECT_EQ(0, wrong.IsValid());
    EXPECT_EQ(59, wrong.GetDuration());
}

TEST(TimeSlotConstruction, StartAndDurationComputeTheEnd)
{
    const CTimeSlot slot(At(9, 0), 45);
    EXPECT_EQ(1, slot.IsValid());
    EXPECT_EQ(45, slot.GetDuration());
    EXPECT_EQ(At(9, 45), slot.GetEndTime());
}

TEST(TimeSlotConstruction, MinutesRoundAtHalfASecond)
{
    const CDateTime start = At(9, 0);
    const CTimeSlot longer(start, start + CDateTimeSpan((59 * 60 + 59.6) / 86400.0));
    EXPECT_EQ(60, longer.GetDuration());
    const CTimeSlot shorter(start, start + CDateTimeSpan((59 * 60 + 59.4) / 86400.0));
    EXPECT_EQ(59, shorter.GetDuration());
}

TEST(TimeSlotConstruction, CopiesEveryField)
{
    CTimeSlot original = RelativeSlot(9, 10, Monday);
    original.SetValidity(0);
    const CTimeSlot copy(original);
    EXPECT_TRUE(copy == original);
    CTimeSlot assigned;
    assigned = original;
    EXPECT_TRUE(assigned == original);
    EXPECT_EQ(static_cast<int>(Monday), assigned.GetDays());
}

TEST(TimeSlotText, ReadsTheRenderingBack)
{
    const CTimeSlot slot(At(9, 0).Format(), At(10, 0).Format(), 60);
    EXPECT_EQ(1, slot.IsValid());
    EXPECT_EQ(At(9, 0), slot.GetStartTime());
    EXPECT_EQ(At(10, 0), slot.GetEndTime());
    EXPECT_EQ(60, slot.GetDuration());
}

TEST(TimeSlotText, ParenthesesAroundTextsAreStripped)
{
    const std::string start = "((" + At(9, 0).Format() + "))";
    const std::string end = "(" + At(10, 0).Format() + ")";
    const CTimeSlot slot(start, end, "(60)");
    EXPECT_EQ(1, slot.IsValid());
    EXPECT_EQ(At(9, 0), slot.GetStartTime());
    EXPECT_EQ(60, slot.GetDuration());
}

TEST(TimeSlotText, UnreadableTextGivesAnInvalidSlotAtZero)
{
    const CTimeSlot slot(std::string("not a date"), At(10, 0).Format(), 60);
    EXPECT_EQ(0, slot.IsValid());
    EXPECT_EQ(1, slot.GetSlotType());
    EXPECT_EQ(0, slot.GetDays());
    EXPECT_EQ(CDateTime(), slot.GetStartTime());
    EXPECT_EQ(CDateTime(), slot.GetEndTime());
    const CTimeSlot other(At(9, 0).Format(), std::string("13/1/2020"), "60");
    EXPECT_EQ(0, other.IsValid());
    EXPECT_EQ(CDateTime(), other.GetStartTime());
}

TEST(TimeSlotText, DurationTextWithTheWrongMinutesIsInvalid)
{
    const CTimeSlot slot(At(9, 0).Format(), At(10, 0).Format(), "30");
    EXPECT_EQ(0, slot.IsValid());
    EXPECT_EQ(30, slot.GetDuration());
    const CTimeSlot none(At(9, 0).Format(), At(9, 0).Format(), nullptr);
    EXPECT_EQ(1, none.IsValid());
    EXPECT_EQ(0, none.GetDuration());
}

TEST(TimeSlotText, StartAndDurationText)
{
    const CTimeSlot slot("(" + At(9, 0).Format() + ")", "(30)", 1);
    EXPECT_EQ(1, slot.IsValid());
    EXPECT_EQ(At(9, 30), slot.GetEndTime());
    EXPECT_EQ(30, slot.GetDuration());
}

TEST(TimeSlotText, UnreadableStartKeepsTheGivenValidity)
{
    const CTimeSlot slot(std::string("garbage"), "30", 1);
    EXPECT_EQ(1, slot.IsValid());
    EXPECT_EQ(CDateTime::invalid, slot.GetStartTime().GetStatus());
    EXPECT_EQ(CDateTime::invalid, slot.GetEndTime().GetStatus());
}

TEST(TimeSlotText, RemoveParens)
{
    EXPECT_EQ("a(b", CTimeSlot::RemoveParens("(a(b))"));
    EXPECT_EQ("5/12/2003", CTimeSlot::RemoveParens("((5/12/2003))"));
    EXPECT_EQ("", CTimeSlot::RemoveParens(""));
    EXPECT_EQ("", CTimeSlot::RemoveParens("(("));
    EXPECT_EQ("", CTimeSlot::RemoveParens("))"));
    EXPECT_EQ("", CTimeSlot::RemoveParens("(()"));
    EXPECT_EQ("a)(", CTimeSlot::RemoveParens("a)("));
    EXPECT_EQ("x", CTimeSlot::RemoveParens("x"));
}

TEST(TimeSlotSetters, PlainSettersTouchOnlyTheirField)
{
    CTimeSlot slot = RelativeSlot(9, 10, Monday);
    slot.SetStartTime(At(8, 0));
    slot.SetEndTime(At(12, 0));
    EXPECT_EQ(60, slot.GetDuration());
    EXPECT_EQ(0, slot.GetSlotType());
    EXPECT_EQ(static_cast<int>(Monday), slot.GetDays());
    EXPECT_EQ(1, slot.IsValid());
    slot.SetDuration(5);
    EXPECT_EQ(5, slot.GetDuration());
    slot.SetTimeSlot(At(1, 0), At(2, 0));
    EXPECT_EQ(5, slot.GetDuration());
    EXPECT_EQ(At(1, 0), slot.GetStartTime());
    EXPECT_EQ(0, slot.GetSlotType());
}

TEST(TimeSlotSetters, WithValidityMakesAnAbsoluteSlot)
{
    CTimeSlot slot = RelativeSlot(9, 10, Monday);
    slot.SetTimeSlot(At(9, 0), At(11, 0), 0);
    EXPECT_EQ(120, slot.GetDuration());
    EXPECT_EQ(1, slot.GetSlotType());
    EXPECT_EQ(0, slot.GetDays());
    EXPECT_EQ(0, slot.IsValid());
    slot.SetTimeSlot(At(9, 0), 15, 0);
    EXPECT_EQ(At(9, 15), slot.GetEndTime());
    EXPECT_EQ(0, slot.IsValid());
    slot.SetTimeSlot(At(9, 0), 15);
    EXPECT_EQ(1, slot.IsValid());
}

TEST(TimeSlotSetters, NegativeDurationEndsBeforeTheStart)
{
    CTimeSlot slot;
    slot.SetTimeSlot(At(9, 0), -30);
    EXPECT_EQ(At(8, 30), slot.GetEndTime());
    EXPECT_EQ(-30, slot.GetDuration());
}

TEST(TimeSlotSetters, AnEndBeyondTheCalendarIsInvalid)
{
    const CTimeSlot slot(CDateTime(9000, 1, 1, 0, 0, 0), INT_MAX);
    EXPECT_EQ(CDateTime::invalid, slot.GetEndTime().GetStatus());
}

TEST(TimeSlotSetters, InvalidBoundsAreNeverValidByMinutes)
{
    CTimeSlot slot;
    slot.SetTimeSlotValid(CDateTime(2021, 2, 30, 0, 0, 0), At(9, 0), 0);
    EXPECT_EQ(0, slot.IsValid());
    slot.SetTimeSlotValid(CDateTime(2021, 2, 30, 0, 0, 0), CDateTime(2021, 2, 31, 0, 0, 0), 0);
    EXPECT_EQ(0, slot.IsValid());
}

TEST(TimeSlotType, RelativeMovesToTheYear1000)
{
    CTimeSlot slot(At(9, 30), At(11, 0));
    slot.SetSlotType(0);
    EXPECT_EQ(Relative(9, 30), slot.GetStartTime());
    EXPECT_EQ(Relative(11, 0), slot.GetEndTime());
    EXPECT_EQ(90, slot.GetDuration());
    EXPECT_TRUE(slot.IsRelative());
    slot.AddDays(Monday);
    slot.SetSlotType(1);
    EXPECT_EQ(Relative(9, 30), slot.GetStartTime());
    EXPECT_EQ(Relative(11, 0), slot.GetEndTime());
    EXPECT_EQ(90, slot.GetDuration());
    EXPECT_EQ(0, slot.GetDays());
}

TEST(TimeSlotType, InvalidBoundsStayInvalid)
{
    CTimeSlot slot(std::string("junk"), "30", 1);
    slot.SetSlotType(0);
    EXPECT_EQ(CDateTime::invalid, slot.GetStartTime().GetStatus());
    EXPECT_EQ(CDateTime::invalid, slot.GetEndTime().GetStatus());
}

TEST(TimeSlotType, OtherTypesAreStoredOnly)
{
    CTimeSlot slot(At(9, 0), At(10, 0));
    slot.AddDays(Monday);
    slot.SetSlotType(7);
    EXPECT_EQ(7, slot.GetSlotType());
    EXPECT_EQ(static_cast<int>(Monday), slot.GetDays());
    EXPECT_EQ(At(9, 0), slot.GetStartTime());
    EXPECT_FALSE(slot.IsRelative());
    EXPECT_FALSE(slot.IsAbsolute());
}

TEST(TimeSlotType, AbsoluteAttributesClearTheDays)
{
    CTimeSlot slot(At(9, 0), At(10, 0));
    const CDay monday(static_cast<int>(Monday));
    slot.SetAttributes(1, 1, &monday);
    EXPECT_EQ(0, slot.GetDays());
    EXPECT_EQ(1, slot.IsValid());
    slot.SetAttributes(0, 0, &monday);
    EXPECT_EQ(static_cast<int>(Monday), slot.GetDays());
    EXPECT_EQ(0, slot.IsValid());
    slot.SetAttributes(1, 0, nullptr);
    EXPECT_EQ(0, slot.GetDays());
}

TEST(TimeSlotComparison, EqualityNeedsEveryField)
{
    const CTimeSlot base(At(9, 0), At(10, 0));
    CTimeSlot other(base);
    EXPECT_TRUE(other == base);
    other.SetValidity(0);
    EXPECT_FALSE(other == base);
    EXPECT_TRUE(other.IsTimeRangeEqual(base));
    other = base;
    other.SetSlotType(5);
    EXPECT_FALSE(other == base);
    EXPECT_TRUE(other.IsTimeRangeEqual(&base));
    other = base;
    other.SetDuration(61);
    EXPECT_FALSE(other == base);
    EXPECT_FALSE(other.IsTimeRangeEqual(base));
    other = base;
    other.SetEndTime(At(10, 1));
    EXPECT_FALSE(other.IsTimeRangeEqual(base));
    EXPECT_FALSE(base.IsTimeRangeEqual(nullptr));
}

TEST(TimeSlotComparison, Contains)
{
    const CTimeSlot hour(At(9, 0), At(10, 0));
    EXPECT_TRUE(hour.Contains(hour));
    EXPECT_TRUE(hour.Contains(CTimeSlot(At(9, 15), At(9, 45))));
    EXPECT_TRUE(hour.Contains(CTimeSlot(At(9, 0), At(9, 45))));
    EXPECT_FALSE(hour.Contains(CTimeSlot(At(8, 59), At(9, 45))));
    EXPECT_FALSE(hour.Contains(CTimeSlot(At(9, 30), At(10, 30))));
    const CTimeSlot inner(At(9, 15), At(9, 45));
    EXPECT_TRUE(hour.Contains(&inner));
    EXPECT_FALSE(hour.Contains(nullptr));
}

TEST(TimeSlotComparison, OverlapsOnlyPartially)
{
    const CTimeSlot hour(At(9, 0), At(10, 0));
    const CTimeSlot later(At(9, 30), At(10, 30));
    EXPECT_TRUE(hour.OverLaps(later));
    EXPECT_TRUE(later.OverLaps(hour));
    EXPECT_TRUE(later.OverLaps(&hour));
    EXPECT_FALSE(hour.OverLaps(hour));
    EXPECT_FALSE(hour.OverLaps(CTimeSlot(At(9, 15), At(9, 45))));
    EXPECT_FALSE(CTimeSlot(At(9, 15), At(9, 45)).OverLaps(hour));
    EXPECT_FALSE(hour.OverLaps(CTimeSlot(At(10, 0), At(11, 0))));
    EXPECT_FALSE(hour.OverLaps(CTimeSlot(At(9, 0), At(9, 30))));
    EXPECT_FALSE(hour.OverLaps(nullptr));
}

TEST(TimeSlotComparison, RelativeSlotsBefore1899KeepTheirOrder)
{
    const CTimeSlot morning = RelativeSlot(9, 10, Monday);
    const CTimeSlot later(Relative(9, 30), Relative(10, 30));
    EXPECT_TRUE(morning.OverLaps(later));
    EXPECT_TRUE(CTimeSlot(Relative(8, 0), Relative(12, 0)).Contains(morning));
    EXPECT_FALSE(morning.Contains(CTimeSlot(Relative(8, 0), Relative(12, 0))));
}

TEST(TimeSlotUnion, RelativeSlotsJoinTheirDays)
{
    const CTimeSlot monday = RelativeSlot(9, 10, Monday);
    const CTimeSlot wednesday = RelativeSlot(14, 15, Wednesday);
    const std::unique_ptr<CTimeSlot> joined(monday + wednesday);
    EXPECT_EQ(Relative(9, 0), joined->GetStartTime());
    EXPECT_EQ(Relative(15, 0), joined->GetEndTime());
    EXPECT_EQ(360, joined->GetDuration());
    EXPECT_EQ(1, joined->IsValid());
    EXPECT_EQ(0, joined->GetSlotType());
    EXPECT_EQ(static_cast<int>(Monday | Wednesday), joined->GetDays());
}

TEST(TimeSlotUnion, AbsoluteSlotsSpanBoth)
{
    const CTimeSlot first(At(9, 0), At(10, 0));
    const CTimeSlot second(At(8, 0), At(9, 30));
    const std::unique_ptr<CTimeSlot> joined(first + second);
    EXPECT_EQ(At(8, 0), joined->GetStartTime());
    EXPECT_EQ(At(10, 0), joined->GetEndTime());
    EXPECT_EQ(0, joined->GetDuration());
    EXPECT_EQ(0, joined->IsValid());
    EXPECT_EQ(1, joined->GetSlotType());
    EXPECT_EQ(0, joined->GetDays());
}

TEST(TimeSlotUnion, OneRelativeSlotMakesTheUnionRelative)
{
    const CTimeSlot absolute(At(11, 0), At(12, 0));
    const CTimeSlot relative = RelativeSlot(9, 10, Monday);
    const std::unique_ptr<CTimeSlot> joined(absolute + relative);
    EXPECT_EQ(0, joined->GetSlotType());
    EXPECT_EQ(Relative(9, 0), joined->GetStartTime());
    EXPECT_EQ(Relative(12, 0), joined->GetEndTime());
    EXPECT_EQ(static_cast<int>(Monday), joined->GetDays());
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
    slot.SetValidity(-4);
    EXPECT_EQ("Valid", slot.GetStatusString());
}

TEST(TimeSlotStrings, ToString)
{
    const CTimeSlot slot(At(9, 0), At(10, 0));
    EXPECT_EQ("StartTime: 5/12/2003 9:00:00 AM\nEndTime: 5/12/2003 10:00:00 AM\nDuration: 60 Minutes\n"
              "Valid: TRUE\nSlotType : Absolute\nDays : No Days",
              slot.ToString());
    const CTimeSlot relative = RelativeSlot(9, 10, Monday);
    EXPECT_EQ("StartTime: 1/1/1000 9:00:00 AM\nEndTime: 1/1/1000 10:00:00 AM\nDuration: 60 Minutes\n"
              "Valid: TRUE\nSlotType : Relative\nDays : Monday ",
              relative.ToString());
    CTimeSlot other(slot);
    other.SetSlotType(3);
    other.SetValidity(0);
    EXPECT_EQ("StartTime: 5/12/2003 9:00:00 AM\nEndTime: 5/12/2003 10:00:00 AM\nDuration: 60 Minutes\n"
              "Valid: FALSE\nSlotType : Days : No Days",
              other.ToString());
}

TEST(TimeSlotStrings, ToStringDebug)
{
    const CTimeSlot slot(At(9, 5, 7), At(10, 0, 30));
    EXPECT_EQ("StartTime: 5/12/2003 9:05:07 AM\nHours: 9 Minutes: 5 Seconds: 7\n"
              "EndTime: 5/12/2003 10:00:30 AM\nHours: 10Minutes: 0Seconds: 30\nDuration: 55 Minutes\nValid: TRUE\n",
              slot.ToStringDebug());
    const CTimeSlot broken(std::string("junk"), "5", 0);
    EXPECT_EQ("StartTime: Invalid DateTime\nHours: -1 Minutes: -1 Seconds: -1\n"
              "EndTime: Invalid DateTime\nHours: -1Minutes: -1Seconds: -1\nDuration: 5 Minutes\nValid: FALSE\n",
              broken.ToStringDebug());
}
