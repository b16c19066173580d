#include <outlook/AppointmentItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>
#include <outlook/RecurrencePattern.h>

#include "Fixture.h"

#include <gtest/gtest.h>

using namespace outlook;
using outlook_test::Meeting;
using outlook_test::Session;

namespace
{
CAppointmentData::Pattern Weekly()
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

TEST(RecurrencePattern, EveryFieldReadsBack)
{
    const CRecurrencePattern pattern(Weekly());
    EXPECT_EQ(olRecursWeekly, pattern.GetRecurrenceType());
    EXPECT_EQ(olMonday | olWednesday, pattern.GetDayOfWeekMask());
    EXPECT_EQ(2, pattern.GetInterval());
    EXPECT_EQ(CDateTime(2003, 5, 7, 0, 0, 0), pattern.GetPatternStartDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 10, 0, 0), pattern.GetStartTime());
    EXPECT_EQ(CDateTime(2003, 6, 30, 0, 0, 0), pattern.GetPatternEndDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 11, 0, 0), pattern.GetEndTime());
    EXPECT_FALSE(pattern.GetNoEndDate());

    CAppointmentData::Pattern nth;
    nth.recurrenceType = olRecursMonthNth;
    nth.dayOfWeekMask = olWeekdayMask;
    nth.instance = 5;
    nth.dayOfMonth = 0;
    const CRecurrencePattern lastWeekday(nth);
    EXPECT_EQ(3, lastWeekday.GetRecurrenceType());
    EXPECT_EQ(62, lastWeekday.GetDayOfWeekMask());
    EXPECT_EQ(5, lastWeekday.GetInstance());
    EXPECT_TRUE(lastWeekday.GetNoEndDate());
}

TEST(RecurrencePattern, DatesLoseTheirTimeAndTimesTheirDate)
{
    CAppointmentData::Pattern given = Weekly();
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

TEST(RecurrencePattern, OnlyARecurringItemHasOne)
{
    Session session;
    CAppointmentData recurring = Meeting("Standup", CDateTime(2003, 5, 7, 10, 0, 0), 60);
    recurring.isRecurring = true;
    recurring.pattern = Weekly();
    session.backend->Put(olFolderCalendar, recurring);
    session.backend->Put(olFolderCalendar, Meeting("Once", CDateTime(2003, 5, 8, 10, 0, 0), 60));
    CItems* items = session.mapi->GetDefaultFolder(olFolderCalendar)->GetItems();

    const std::unique_ptr<CItem> first = items->Item(1);
    const CAppointmentItem& standup = *first->AsAppointment();
    ASSERT_TRUE(standup.GetIsRecurring());
    const CRecurrencePattern* pattern = standup.GetRecurrencePattern();
    ASSERT_NE(nullptr, pattern);
    EXPECT_EQ(olMonday | olWednesday, pattern->GetDayOfWeekMask());
    EXPECT_EQ(CDateTime(2003, 6, 30, 0, 0, 0), pattern->GetPatternEndDate());

    const std::unique_ptr<CItem> second = items->Item(2);
    EXPECT_FALSE(second->AsAppointment()->GetIsRecurring());
    EXPECT_EQ(nullptr, second->AsAppointment()->GetRecurrencePattern());
}
