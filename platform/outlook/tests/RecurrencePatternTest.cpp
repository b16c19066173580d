#include <outlook/AppointmentItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>
#include <outlook/RecurrencePattern.h>

#include "Fixture.h"

#include <gtest/gtest.h>

using namespace outlook;
using outlook_test::Meeting;
using outlook_test::Session;

namespace {
// Every second week on Mondays and Wednesdays, 10:00 to 11:00, from
// 7 May 2003 to 30 June 2003.
CAppointmentData::Pattern Fortnightly()
{
    CAppointmentData::Pattern pattern;
    pattern.recurrenceType = olRecursWeekly;
    pattern.dayOfWeekMask = olMonday | olWednesday;
    pattern.interval = 2;
    pattern.patternStartDate = CDateTime(2003, 5, 7, 0, 0, 0);
    pattern.startTime = CDateTime(1899, 12, 30, 10, 0, 0);
    pattern.patternEndDate = CDateTime(2003, 6, 30, 0, 0, 0);
    pattern.endTime = CDateTime(1899, 12, 30, 11, 0, 0);
    pattern.noEndDate = false;
    return pattern;
}
} // namespace

TEST(RecurrencePattern, ARecurringItemGivesEveryFieldOfItsPattern)
{
    Session session;
    CAppointmentData recurring = Meeting("Standup", CDateTime(2003, 5, 7, 10, 0, 0), 60);
    recurring.isRecurring = true;
    recurring.pattern = Fortnightly();
    session.backend->Put(olFolderCalendar, recurring);
    const std::unique_ptr<CItem> item = session.mapi->GetDefaultFolder(olFolderCalendar)->GetItems()->Item(1);
    ASSERT_TRUE(item->AsAppointment()->GetIsRecurring());
    const CRecurrencePattern* pattern = item->AsAppointment()->GetRecurrencePattern();
    ASSERT_NE(nullptr, pattern);
    EXPECT_EQ(olRecursWeekly, pattern->GetRecurrenceType());
    EXPECT_EQ(olMonday | olWednesday, pattern->GetDayOfWeekMask());
    EXPECT_EQ(2, pattern->GetInterval());
    EXPECT_EQ(CDateTime(2003, 5, 7, 0, 0, 0), pattern->GetPatternStartDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 10, 0, 0), pattern->GetStartTime());
    EXPECT_EQ(CDateTime(2003, 6, 30, 0, 0, 0), pattern->GetPatternEndDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 11, 0, 0), pattern->GetEndTime());
    EXPECT_FALSE(pattern->GetNoEndDate());

    CAppointmentData::Pattern nth;
    nth.recurrenceType = olRecursMonthNth;
    nth.dayOfWeekMask = olWeekdayMask;
    nth.instance = 5;
    nth.dayOfMonth = 31;
    const CRecurrencePattern lastWeekday(nth);
    EXPECT_EQ(62, lastWeekday.GetDayOfWeekMask());
    EXPECT_EQ(5, lastWeekday.GetInstance());
    EXPECT_EQ(31, lastWeekday.GetDayOfMonth());
    EXPECT_TRUE(lastWeekday.GetNoEndDate());
}

TEST(RecurrencePattern, DatesLoseTheirTimeAndTimesTheirDate)
{
    CAppointmentData::Pattern given = Fortnightly();
    given.patternStartDate = CDateTime(2003, 5, 7, 10, 0, 0);
    given.startTime = CDateTime(2003, 5, 7, 10, 15, 30);
    given.patternEndDate = CDateTime(1850, 6, 30, 23, 59, 59);
    given.endTime.SetStatus(CDateTime::null);
    const CRecurrencePattern pattern(given);
    EXPECT_EQ(CDateTime(2003, 5, 7, 0, 0, 0), pattern.GetPatternStartDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 10, 15, 30), pattern.GetStartTime());
    EXPECT_EQ(CDateTime(1850, 6, 30, 0, 0, 0), pattern.GetPatternEndDate());
    EXPECT_EQ(CDateTime::null, pattern.GetEndTime().GetStatus());
}
