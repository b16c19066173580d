#include <outlook/AppointmentData.h>

namespace outlook {
CAppointmentData::CAppointmentData()
{
    start.SetStatus(CDateTime::null);
}

namespace {

bool Same(const CAppointmentData::Pattern& a, const CAppointmentData::Pattern& b)
{
    return a.recurrenceType == b.recurrenceType && a.dayOfWeekMask == b.dayOfWeekMask &&
           a.dayOfMonth == b.dayOfMonth && a.instance == b.instance && a.interval == b.interval &&
           a.patternStartDate == b.patternStartDate && a.startTime == b.startTime &&
           a.patternEndDate == b.patternEndDate && a.endTime == b.endTime && a.noEndDate == b.noEndDate;
}

template <typename T>
void TakeChanged(T& out, const T& read, const T& mine)
{
    if (!(mine == read))
        out = mine;
}

} // namespace

CAppointmentData MergedChange(const CAppointmentData& read, const CAppointmentData& mine,
                              const CAppointmentData& theirs)
{
    CAppointmentData out = theirs;
    TakeChanged(out.subject, read.subject, mine.subject);
    TakeChanged(out.body, read.body, mine.body);
    TakeChanged(out.location, read.location, mine.location);
    TakeChanged(out.requiredAttendees, read.requiredAttendees, mine.requiredAttendees);
    TakeChanged(out.optionalAttendees, read.optionalAttendees, mine.optionalAttendees);
    TakeChanged(out.organizer, read.organizer, mine.organizer);
    TakeChanged(out.requiredAddresses, read.requiredAddresses, mine.requiredAddresses);
    if (!(mine.start == read.start)) {
        out.start = mine.start;
        out.startZone = mine.startZone;
    }
    TakeChanged(out.duration, read.duration, mine.duration);
    TakeChanged(out.busyStatus, read.busyStatus, mine.busyStatus);
    TakeChanged(out.reminderSet, read.reminderSet, mine.reminderSet);
    TakeChanged(out.reminderMinutesBeforeStart, read.reminderMinutesBeforeStart,
                mine.reminderMinutesBeforeStart);
    TakeChanged(out.allDay, read.allDay, mine.allDay);
    if (mine.isRecurring != read.isRecurring || !Same(mine.pattern, read.pattern)) {
        out.isRecurring = mine.isRecurring;
        out.pattern = mine.pattern;
    }
    return out;
}
} // namespace outlook
