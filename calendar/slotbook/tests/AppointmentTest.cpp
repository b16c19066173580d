#include <slotbook/Appointment.h>

#include <gtest/gtest.h>

#include <utility>

namespace
{
constexpr int Free = 0, Tentative = 1, Busy = 2, OutOfOffice = 3;

CDateTime At(int hour, int minute)
{
    return CDateTime(2003, 5, 12, hour, minute, 0);
}

CAppointment Single(int busyStatus, const CDateTime& start = At(10, 0), const CDateTime& end = At(11, 0))
{
    return CAppointment(4, "Review", "Quarterly review", "Room 2", "ann@example.org", "bob@example.org", start, end,
                        60, 1, 15, busyStatus, CDateTime(2003, 5, 11, 0, 0, 0), "outlook");
}

// Weekly on Mondays and Wednesdays, 10:00 to 11:00, from Monday 5 May 2003
// until Monday 30 June 2003.
CAppointment Recurring(int busyStatus)
{
    return CAppointment(7, "Standup", "", "", "", "", At(10, 0), At(11, 0), 60, 0, 0, busyStatus, CDateTime(),
                        "outlook", 1, 1, 0, 1, CDateTime(2003, 5, 5, 10, 0, 0), CDateTime(2003, 6, 30, 11, 0, 0), 0,
                        2 | 8);
}

CAppointment WithDuration(int minutes)
{
    return CAppointment(0, "", "", "", "", "", At(9, 0), At(9, 0), minutes, 0, 0, Busy, CDateTime(), "");
}

CAppointment WithReminder(int minutes)
{
    return CAppointment(0, "", "", "", "", "", At(9, 0), At(9, 0), 0, 1, minutes, Busy, CDateTime(), "");
}
}

TEST(AppointmentConstruction, EmptyByDefault)
{
    const CAppointment empty;
    EXPECT_EQ("", empty.GetSubject());
    EXPECT_EQ("", empty.GetAttribute());
    EXPECT_EQ(CDateTime(), empty.GetStartTime());
    EXPECT_EQ(CDateTime(), empty.GetExpires());
    EXPECT_EQ(0, empty.GetApptStatus());
    EXPECT_EQ(0, empty.GetDuration());
    EXPECT_EQ(0, empty.GetOutlookIndex());
    EXPECT_EQ(0, empty.IsRecurring());
    EXPECT_EQ(nullptr, empty.GetRecurrence());
}

TEST(AppointmentConstruction, SingleKeepsEveryField)
{
    const CAppointment appointment = Single(Busy);
    EXPECT_EQ(4, appointment.GetOutlookIndex());
    EXPECT_EQ("Review", appointment.GetSubject());
    EXPECT_EQ("Quarterly review", appointment.GetBody());
    EXPECT_EQ("Room 2", appointment.GetLocation());
    EXPECT_EQ("ann@example.org", appointment.GetReqAttendees());
    EXPECT_EQ("bob@example.org", appointment.GetOptAttendees());
    EXPECT_EQ(At(10, 0), appointment.GetStartTime());
    EXPECT_EQ(At(11, 0), appointment.GetEndTime());
    EXPECT_EQ(60, appointment.GetDuration());
    EXPECT_EQ(1, appointment.IsReminder());
    EXPECT_EQ(15, appointment.GetReminder());
    EXPECT_EQ(Busy, appointment.GetApptStatus());
    EXPECT_EQ(CDateTime(2003, 5, 11, 0, 0, 0), appointment.GetExpires());
    EXPECT_EQ("outlook", appointment.GetAttribute());
    EXPECT_EQ(0, appointment.IsRecurring());
    EXPECT_EQ(nullptr, appointment.GetRecurrence());
}

TEST(AppointmentConstruction, RecurringSplitsThePatternBounds)
{
    const CAppointment appointment = Recurring(Busy);
    EXPECT_EQ(1, appointment.IsRecurring());
    const CRecurrenceData* pattern = appointment.GetRecurrence();
    ASSERT_NE(nullptr, pattern);
    EXPECT_EQ(1, pattern->GetStatus());
    EXPECT_EQ(1, pattern->GetRecType());
    EXPECT_EQ(1, pattern->GetInterval());
    EXPECT_EQ(10, pattern->GetDays());
    EXPECT_EQ(CDateTime(1899, 12, 30, 10, 0, 0), pattern->GetStartTime());
    EXPECT_EQ(CDateTime(2003, 5, 5, 0, 0, 0), pattern->GetStartDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 11, 0, 0), pattern->GetEndTime());
    EXPECT_EQ(CDateTime(2003, 6, 30, 0, 0, 0), pattern->GetEndDate());
}

TEST(AppointmentConstruction, RecurringWithZeroIntervalCountsEveryPeriod)
{
    const CAppointment daily(0, "", "", "", "", "", At(10, 0), At(11, 0), 60, 0, 0, Busy, CDateTime(), "", 0, 0, 0, 0,
                             CDateTime(2003, 5, 1, 10, 0, 0), CDateTime(2003, 5, 1, 11, 0, 0), 0, 0);
    EXPECT_EQ(1, daily.GetRecurrence()->GetInterval());
    EXPECT_EQ(1, daily.OccursOn(2, 5, 2003));
}

TEST(AppointmentConstruction, LongValuesAreHeldToTheFieldRange)
{
    const CAppointment appointment(0, "", "", "", "", "", At(9, 0), At(9, 0), 1L << 40, 0, -(1L << 40), Busy,
                                   CDateTime(), "");
    EXPECT_EQ(2147483647, appointment.GetDuration());
    EXPECT_EQ(-2147483647 - 1, appointment.GetReminder());
}

TEST(AppointmentCopying, CopiesOwnTheirPattern)
{
    CAppointment copy;
    {
        const CAppointment original = Recurring(Busy);
        const CAppointment constructed(original);
        ASSERT_NE(nullptr, constructed.GetRecurrence());
        EXPECT_NE(original.GetRecurrence(), constructed.GetRecurrence());
        EXPECT_EQ(original.GetRecurrence()->GetDays(), constructed.GetRecurrence()->GetDays());
        copy = original;
    }
    ASSERT_NE(nullptr, copy.GetRecurrence());
    EXPECT_EQ(10, copy.GetRecurrence()->GetDays());
    EXPECT_EQ("Standup", copy.GetSubject());
    EXPECT_EQ(1, copy.OccursOn(7, 5, 2003));
}

TEST(AppointmentCopying, AssigningASingleDropsThePattern)
{
    CAppointment target = Recurring(Busy);
    target = Single(Busy);
    EXPECT_EQ(0, target.IsRecurring());
    EXPECT_EQ(nullptr, target.GetRecurrence());
    CAppointment& self = target;
    target = self;
    EXPECT_EQ("Review", target.GetSubject());
}

TEST(AppointmentOccurrence, SingleOnItsStartDate)
{
    const CAppointment appointment = Single(Busy);
    EXPECT_EQ(1, appointment.OccursOn(12, 5, 2003));
    EXPECT_EQ(0, appointment.OccursOn(13, 5, 2003));
    EXPECT_EQ(0, appointment.OccursOn(12, 6, 2003));
    EXPECT_EQ(0, appointment.OccursOn(12, 5, 2004));
}

TEST(AppointmentOccurrence, InvalidStartFallsOnNoDate)
{
    const CAppointment appointment = Single(Busy, CDateTime(2003, 2, 30, 0, 0, 0), At(11, 0));
    EXPECT_EQ(0, appointment.OccursOn(-1, -1, -1));
}

TEST(AppointmentOccurrence, RecurringFollowsThePattern)
{
    const CAppointment appointment = Recurring(Busy);
    EXPECT_EQ(1, appointment.OccursOn(5, 5, 2003));
    EXPECT_EQ(0, appointment.OccursOn(6, 5, 2003));
    EXPECT_EQ(1, appointment.OccursOn(7, 5, 2003));
    EXPECT_EQ(1, appointment.OccursOn(30, 6, 2003));
    EXPECT_EQ(0, appointment.OccursOn(2, 7, 2003));
}

TEST(AppointmentFreedom, BusySingleAtAMoment)
{
    for (int status : {Tentative, Busy, OutOfOffice, -1})
    {
        const CAppointment appointment = Single(status);
        EXPECT_EQ(0, appointment.IsFree(At(10, 0))) << status;
        EXPECT_EQ(0, appointment.IsFree(At(10, 59))) << status;
        EXPECT_EQ(1, appointment.IsFree(At(11, 0))) << status;
        EXPECT_EQ(1, appointment.IsFree(At(9, 59))) << status;
    }
}

TEST(AppointmentFreedom, BusySingleOverAnInterval)
{
    for (int status : {Tentative, Busy, OutOfOffice})
    {
        const CAppointment appointment = Single(status);
        EXPECT_EQ(1, appointment.IsFree(At(9, 0), 60)) << status;
        EXPECT_EQ(0, appointment.IsFree(At(9, 0), 61)) << status;
        EXPECT_EQ(0, appointment.IsFree(At(10, 59), 120)) << status;
        EXPECT_EQ(1, appointment.IsFree(At(11, 0), 30)) << status;
        EXPECT_EQ(0, appointment.IsFree(At(9, 0), 300)) << status;
        EXPECT_EQ(0, appointment.IsFree(At(10, 15), 15)) << status;
    }
}

TEST(AppointmentFreedom, FreeStatusIsAlwaysFree)
{
    const CAppointment appointment = Single(Free);
    EXPECT_EQ(1, appointment.IsFree(At(10, 0)));
    EXPECT_EQ(1, appointment.IsFree(At(10, 59)));
    EXPECT_EQ(1, appointment.IsFree(At(9, 0), 61));
    EXPECT_EQ(1, appointment.IsFree(At(10, 59), 120));
    EXPECT_EQ(1, Recurring(Free).IsFree(CDateTime(2003, 5, 5, 10, 30, 0)));
}

TEST(AppointmentFreedom, RecurringAsksThePattern)
{
    const CAppointment appointment = Recurring(Busy);
    EXPECT_EQ(0, appointment.IsFree(CDateTime(2003, 5, 19, 10, 30, 0)));
    EXPECT_EQ(1, appointment.IsFree(CDateTime(2003, 5, 20, 10, 30, 0)));
    EXPECT_EQ(1, appointment.IsFree(CDateTime(2003, 5, 19, 11, 0, 0)));
    EXPECT_EQ(1, appointment.IsFree(CDateTime(2003, 5, 19, 9, 0, 0), 60));
    EXPECT_EQ(0, appointment.IsFree(CDateTime(2003, 5, 19, 9, 0, 0), 61));
    EXPECT_EQ(0, appointment.IsFree(CDateTime(2003, 5, 21, 10, 59, 0), 120));
    EXPECT_EQ(1, appointment.IsFree(CDateTime(2003, 7, 7, 10, 30, 0)));
}

TEST(AppointmentStrings, Dates)
{
    const CAppointment appointment = Single(Busy);
    EXPECT_EQ("5/12/2003 10:00:00 AM", appointment.GetStartTimeString());
    EXPECT_EQ("5/12/2003 11:00:00 AM", appointment.GetEndTimeString());
    EXPECT_EQ("5/11/2003", appointment.GetExpiresString());
    CDateTime never;
    never.SetStatus(CDateTime::null);
    const CAppointment imported(-2, "", "", "", "", "", At(9, 0), At(10, 0), 60, 0, 0, -1, never, "RDF Calendar Import");
    EXPECT_EQ("", imported.GetExpiresString());
}

TEST(AppointmentStrings, IndexRecurrenceAndStatus)
{
    EXPECT_EQ("4", Single(Busy).GetOutlookIndexStr());
    EXPECT_EQ("7", Recurring(Busy).GetOutlookIndexStr());
    EXPECT_EQ("", Single(Busy).GetRecurringStr());
    EXPECT_EQ("R", Recurring(Busy).GetRecurringStr());
    EXPECT_EQ("Free", Single(Free).GetApptStatusString());
    EXPECT_EQ("Tentative", Single(Tentative).GetApptStatusString());
    EXPECT_EQ("Busy", Single(Busy).GetApptStatusString());
    EXPECT_EQ("Out Of Office", Single(OutOfOffice).GetApptStatusString());
    EXPECT_EQ("Out Of Office", Single(-1).GetApptStatusString());
    const CAppointment imported(-2, "", "", "", "", "", At(9, 0), At(10, 0), 60, 0, 0, -1, CDateTime(), "");
    EXPECT_EQ("-2", imported.GetOutlookIndexStr());
}

TEST(AppointmentStrings, Duration)
{
    const std::pair<int, const char*> cases[] = {
        {1, "1 Minute"},          {0, "0 Minute"},          {2, "2 Minutes"},          {60, "60 Minutes"},
        {61, "1 Hour 1 Minute"},  {62, "1 Hour 2 Minutes"}, {120, "2 Hours"},          {121, "2 Hours 1 Minute"},
        {150, "2 Hours 30 Minutes"}, {90, "1 Hour 30 Minutes"}, {1440, "24 Hours"}, {-5, "-5 Minute"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, WithDuration(c.first).GetDurationString()) << c.first;
}

TEST(AppointmentStrings, Reminder)
{
    const std::pair<int, const char*> cases[] = {{15, "15 Minutes"}, {1, "1 Minutes"},  {60, "60 Minutes"},
                                                 {61, "1 Hours"},    {90, "1 Hours"},   {1440, "24 Hours"},
                                                 {0, "0 Minutes"},   {119, "1 Hours"}, {120, "2 Hours"}};
    for (const auto& c : cases)
        EXPECT_EQ(c.second, WithReminder(c.first).GetReminderString()) << c.first;
}
