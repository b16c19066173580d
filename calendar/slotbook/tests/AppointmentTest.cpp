#include <slotbook/Appointment.h>

#include <gtest/gtest.h>

#include <utility>

namespace {
constexpr int Free = 0, Tentative = 1, Busy = 2, OutOfOffice = 3;

CDateTime At(int hour, int minute)
{
    return CDateTime(2003, 5, 12, hour, minute, 0);
}

CAppointment Single(int busyStatus, const CDateTime& start = At(10, 0))
{
    return CAppointment(4, "Review", "Quarterly review", "Room 2", "ann@example.org", "bob@example.org",
                        start, At(11, 0), 60, 1, 15, busyStatus, CDateTime(2003, 5, 11, 0, 0, 0), "outlook");
}

// Weekly on Mondays and Wednesdays, 10:00 to 11:00, from Monday 5 May 2003
// until Monday 30 June 2003.
CAppointment Recurring(int busyStatus)
{
    return CAppointment(7, "Standup", "", "", "", "", At(10, 0), At(11, 0), 60, 0, 0, busyStatus, CDateTime(),
                        "outlook", 1, 1, 0, 1, CDateTime(2003, 5, 5, 10, 0, 0),
                        CDateTime(2003, 6, 30, 11, 0, 0), 0, 2 | 8);
}

CAppointment Lasting(long duration, long reminder)
{
    return CAppointment(0, "", "", "", "", "", At(9, 0), At(9, 0), duration, 1, reminder, Busy, CDateTime(),
                        "");
}
} // namespace

TEST(AppointmentFields, SingleAndRecurring)
{
    const CAppointment single = Single(Busy);
    EXPECT_EQ(4, single.GetOutlookIndex());
    EXPECT_EQ("Review", single.GetSubject());
    EXPECT_EQ("Quarterly review", single.GetBody());
    EXPECT_EQ("Room 2", single.GetLocation());
    EXPECT_EQ("ann@example.org", single.GetReqAttendees());
    EXPECT_EQ("bob@example.org", single.GetOptAttendees());
    EXPECT_EQ(At(11, 0), single.GetEndTime());
    EXPECT_EQ(1, single.IsReminder());
    EXPECT_EQ(15, single.GetReminder());
    EXPECT_EQ(CDateTime(2003, 5, 11, 0, 0, 0), single.GetExpires());
    EXPECT_EQ("outlook", single.GetAttribute());
    EXPECT_EQ(0, single.IsRecurring());
    EXPECT_EQ(nullptr, single.GetRecurrence());
    const CAppointment recurring = Recurring(Busy);
    ASSERT_NE(nullptr, recurring.GetRecurrence());
    const CRecurrenceData& pattern = *recurring.GetRecurrence();
    EXPECT_EQ(1, pattern.GetStatus());
    EXPECT_EQ(10, pattern.GetDays());
    EXPECT_EQ(CDateTime(1899, 12, 30, 10, 0, 0), pattern.GetStartTime());
    EXPECT_EQ(CDateTime(2003, 5, 5, 0, 0, 0), pattern.GetStartDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 11, 0, 0), pattern.GetEndTime());
    EXPECT_EQ(CDateTime(2003, 6, 30, 0, 0, 0), pattern.GetEndDate());
    EXPECT_EQ(0, CAppointment().IsRecurring());
    EXPECT_EQ(2147483647, Lasting(1L << 40, 0).GetDuration());
}

TEST(AppointmentFields, CopiesOwnTheirPattern)
{
    CAppointment copy;
    {
        const CAppointment original = Recurring(Busy);
        const CAppointment constructed(original);
        EXPECT_NE(original.GetRecurrence(), constructed.GetRecurrence());
        copy = original;
    }
    ASSERT_NE(nullptr, copy.GetRecurrence());
    EXPECT_EQ(10, copy.GetRecurrence()->GetDays());
    EXPECT_EQ(1, copy.OccursOn(7, 5, 2003));
    copy = Single(Busy);
    EXPECT_EQ(nullptr, copy.GetRecurrence());
    const CAppointment& self = copy;
    copy = self;
    EXPECT_EQ("Review", copy.GetSubject());
}

TEST(AppointmentOccurrence, SingleAndRecurring)
{
    const CAppointment single = Single(Busy);
    EXPECT_EQ(1, single.OccursOn(12, 5, 2003));
    EXPECT_EQ(0, single.OccursOn(13, 5, 2003));
    EXPECT_EQ(0, single.OccursOn(12, 5, 2004));
    EXPECT_EQ(0, Single(Busy, CDateTime(2003, 2, 30, 0, 0, 0)).OccursOn(-1, -1, -1));
    const CAppointment recurring = Recurring(Busy);
    EXPECT_EQ(1, recurring.OccursOn(5, 5, 2003));
    EXPECT_EQ(0, recurring.OccursOn(6, 5, 2003));
    EXPECT_EQ(1, recurring.OccursOn(30, 6, 2003));
    EXPECT_EQ(0, recurring.OccursOn(2, 7, 2003));
    const CAppointment daily(0, "", "", "", "", "", At(10, 0), At(11, 0), 60, 0, 0, Busy, CDateTime(), "", 0,
                             0, 0, 0, CDateTime(2003, 5, 1, 10, 0, 0), CDateTime(2003, 5, 1, 11, 0, 0), 0, 0);
    EXPECT_EQ(1, daily.OccursOn(2, 5, 2003));
}

TEST(AppointmentFreedom, BusyInAnyFormIsBusy)
{
    for (int status : {Tentative, Busy, OutOfOffice, -1}) {
        const CAppointment appointment = Single(status);
        EXPECT_EQ(0, appointment.IsFree(At(10, 0))) << status;
        EXPECT_EQ(0, appointment.IsFree(At(10, 59))) << status;
        EXPECT_EQ(1, appointment.IsFree(At(11, 0))) << status;
        EXPECT_EQ(1, appointment.IsFree(At(9, 0), 60)) << status;
        EXPECT_EQ(0, appointment.IsFree(At(9, 0), 61)) << status;
        EXPECT_EQ(0, appointment.IsFree(At(10, 59), 120)) << status;
        EXPECT_EQ(1, appointment.IsFree(At(11, 0), 30)) << status;
        EXPECT_EQ(0, appointment.IsFree(At(10, 15), 15)) << status;
    }
    const CAppointment free = Single(Free);
    EXPECT_EQ(1, free.IsFree(At(10, 0)));
    EXPECT_EQ(1, free.IsFree(At(9, 0), 61));
    EXPECT_EQ(1, free.IsFree(At(10, 59), 120));
}

TEST(AppointmentFreedom, RecurringAsksThePattern)
{
    const CAppointment appointment = Recurring(Busy);
    EXPECT_EQ(0, appointment.IsFree(CDateTime(2003, 5, 19, 10, 30, 0)));
    EXPECT_EQ(1, appointment.IsFree(CDateTime(2003, 5, 20, 10, 30, 0)));
    EXPECT_EQ(1, appointment.IsFree(CDateTime(2003, 5, 19, 9, 0, 0), 60));
    EXPECT_EQ(0, appointment.IsFree(CDateTime(2003, 5, 19, 9, 0, 0), 61));
    EXPECT_EQ(0, appointment.IsFree(CDateTime(2003, 5, 21, 10, 59, 0), 120));
    EXPECT_EQ(1, appointment.IsFree(CDateTime(2003, 7, 7, 10, 30, 0)));
    EXPECT_EQ(1, Recurring(Free).IsFree(CDateTime(2003, 5, 19, 10, 30, 0)));
}

TEST(AppointmentStrings, DatesIndexRecurrenceAndStatus)
{
    EXPECT_EQ("5/12/2003 10:00:00 AM", Single(Busy).GetStartTimeString());
    EXPECT_EQ("5/12/2003 11:00:00 AM", Single(Busy).GetEndTimeString());
    EXPECT_EQ("5/11/2003", Single(Busy).GetExpiresString());
    CDateTime never;
    never.SetStatus(CDateTime::null);
    const CAppointment imported(-2, "", "", "", "", "", At(9, 0), At(10, 0), 60, 0, 0, -1, never,
                                "RDF Calendar Import");
    EXPECT_EQ("", imported.GetExpiresString());
    EXPECT_EQ("-2", imported.GetOutlookIndexStr());
    EXPECT_EQ("", imported.GetRecurringStr());
    EXPECT_EQ("R", Recurring(Busy).GetRecurringStr());
    const std::pair<int, const char*> statuses[] = {{Free, "Free"},
                                                    {Tentative, "Tentative"},
                                                    {Busy, "Busy"},
                                                    {OutOfOffice, "Out Of Office"},
                                                    {-1, "Out Of Office"}};
    for (const auto& s : statuses)
        EXPECT_EQ(s.second, Single(s.first).GetApptStatusString());
}

TEST(AppointmentStrings, DurationAndReminder)
{
    const std::pair<int, const char*> durations[] = {
        {1, "1 Minute"},           {0, "0 Minute"},           {2, "2 Minutes"},
        {60, "60 Minutes"},        {61, "1 Hour 1 Minute"},   {62, "1 Hour 2 Minutes"},
        {120, "2 Hours"},          {121, "2 Hours 1 Minute"}, {150, "2 Hours 30 Minutes"},
        {90, "1 Hour 30 Minutes"}, {-5, "-5 Minute"}};
    for (const auto& d : durations)
        EXPECT_EQ(d.second, Lasting(d.first, 0).GetDurationString()) << d.first;
    const std::pair<int, const char*> days[] = {{1440, "All Day"}, {2880, "2 Days"}, {0, "All Day"}};
    for (const auto& d : days) {
        CAppointment allDay = Lasting(d.first, 0);
        allDay.SetAllDay(true);
        EXPECT_EQ(d.second, allDay.GetDurationString()) << d.first;
    }
    const std::pair<int, const char*> reminders[] = {{15, "15 Minutes"}, {1, "1 Minutes"},
                                                     {60, "60 Minutes"}, {61, "1 Hours"},
                                                     {90, "1 Hours"},    {1440, "24 Hours"}};
    for (const auto& r : reminders)
        EXPECT_EQ(r.second, Lasting(0, r.first).GetReminderString()) << r.first;
}
