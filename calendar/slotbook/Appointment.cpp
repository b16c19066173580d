#include <slotbook/Appointment.h>

#include <slotbook/Narrow.h>

#include <algorithm>

namespace {

std::string Counted(int count, const char* unit)
{
    return std::to_string(count) + " " + unit + (count < 2 ? "" : "s");
}

CDateTime DateOf(const CDateTime& value)
{
    return CDateTime(value.GetYear(), value.GetMonth(), value.GetDay(), 0, 0, 0);
}

CDateTime TimeOf(const CDateTime& value)
{
    return CDateTime(1899, 12, 30, value.GetHour(), value.GetMinute(), value.GetSecond());
}
} // namespace

CAppointment::CAppointment() = default;

CAppointment::CAppointment(int outlookIndex, const std::string& subject, const std::string& body,
                           const std::string& location, const std::string& reqAttendees,
                           const std::string& optAttendees, const CDateTime& start, const CDateTime& end,
                           long duration, int reminderSet, long reminder, int busyStatus,
                           const CDateTime& expires, const std::string& attribute)
{
    m_entry.outlookIndex = outlookIndex;
    m_entry.subject = subject;
    m_entry.body = body;
    m_entry.location = location;
    m_entry.reqAttendees = reqAttendees;
    m_entry.optAttendees = optAttendees;
    m_entry.start = start;
    m_entry.end = end;
    m_entry.duration = slotbook::ClampToInt(duration);
    m_entry.reminderSet = reminderSet;
    m_entry.reminder = slotbook::ClampToInt(reminder);
    m_entry.busyStatus = busyStatus;
    m_entry.expires = expires;
    m_entry.attribute = attribute;
}

CAppointment::CAppointment(int outlookIndex, const std::string& subject, const std::string& body,
                           const std::string& location, const std::string& reqAttendees,
                           const std::string& optAttendees, const CDateTime& start, const CDateTime& end,
                           long duration, int reminderSet, long reminder, int busyStatus,
                           const CDateTime& expires, const std::string& attribute, int recType, int interval,
                           long instance, int ends, const CDateTime& patternStart,
                           const CDateTime& patternEnd, long dayOfMonth, int days)
    : CAppointment(outlookIndex, subject, body, location, reqAttendees, optAttendees, start, end, duration,
                   reminderSet, reminder, busyStatus, expires, attribute)
{
    m_entry.recurring = 1;
    m_recurrence = std::make_unique<CRecurrenceData>(recType);
    m_recurrence->SetInterval(interval);
    m_recurrence->SetInstance(instance);
    m_recurrence->Ends(ends);
    m_recurrence->SetDayOfMonth(dayOfMonth);
    m_recurrence->SetDays(static_cast<unsigned>(days));
    m_recurrence->SetStartTime(TimeOf(patternStart));
    m_recurrence->SetStartDate(DateOf(patternStart));
    m_recurrence->SetEndTime(TimeOf(patternEnd));
    m_recurrence->SetEndDate(DateOf(patternEnd));
}

std::unique_ptr<CRecurrenceData> CAppointment::CopyOf(const CRecurrenceData* pattern)
{
    return pattern != nullptr ? std::make_unique<CRecurrenceData>(*pattern) : nullptr;
}

CAppointment::CAppointment(const CAppointment& other)
    : m_entry(other.m_entry), m_recurrence(CopyOf(other.m_recurrence.get()))
{
}

CAppointment& CAppointment::operator=(const CAppointment& other)
{
    if (this != &other) {
        std::unique_ptr<CRecurrenceData> pattern = CopyOf(other.m_recurrence.get());
        m_entry = other.m_entry;
        m_recurrence = std::move(pattern);
    }
    return *this;
}

CAppointment::~CAppointment() = default;

int CAppointment::OccursOn(int day, int month, int year) const
{
    if (m_recurrence)
        return m_recurrence->OccursOn(day, month, year);
    // An invalid start falls on no date, not on the date of -1 fields.
    if (m_entry.start.GetStatus() != CDateTime::valid)
        return 0;
    return m_entry.start.GetDay() == day && m_entry.start.GetMonth() == month &&
                   m_entry.start.GetYear() == year
               ? 1
               : 0;
}

int CAppointment::IsFree(const CDateTime& time) const
{
    if (m_entry.busyStatus == FreeStatus)
        return 1;
    if (m_recurrence)
        return m_recurrence->IsFree(time);
    return m_entry.start <= time && time < m_entry.end ? 0 : 1;
}

int CAppointment::IsFree(const CDateTime& time, int minutes) const
{
    if (m_entry.busyStatus == FreeStatus)
        return 1;
    const CDateTime until = time + CDateTimeSpan(0, 0, minutes, 0);
    if (m_recurrence)
        return m_recurrence->IsFree(time, until);
    return until > m_entry.start && time < m_entry.end ? 0 : 1;
}

std::string CAppointment::GetStartTimeString() const
{
    return m_entry.start.Format();
}
std::string CAppointment::GetEndTimeString() const
{
    return m_entry.end.Format();
}
std::string CAppointment::GetExpiresString() const
{
    return m_entry.expires.Format();
}
std::string CAppointment::GetOutlookIndexStr() const
{
    return std::to_string(m_entry.outlookIndex);
}

std::string CAppointment::GetRecurringStr() const
{
    return m_entry.recurring != 0 ? "R" : "";
}

std::string CAppointment::GetApptStatusString() const
{
    switch (m_entry.busyStatus) {
    case 0:
        return "Free";
    case 1:
        return "Tentative";
    case 2:
        return "Busy";
    default:
        return "Out Of Office";
    }
}

std::string CAppointment::GetReminderString() const
{
    if (m_entry.reminder < 61)
        return std::to_string(m_entry.reminder) + " Minutes";
    return std::to_string(m_entry.reminder / 60) + " Hours";
}

std::string CAppointment::GetDurationString() const
{
    if (m_entry.allDay) {
        const int days = std::max(1, m_entry.duration / (24 * 60));
        return days == 1 ? "All Day" : std::to_string(days) + " Days";
    }
    if (m_entry.duration < 61)
        return Counted(m_entry.duration, "Minute");
    const int hours = m_entry.duration / 60;
    const int minutes = m_entry.duration % 60;
    if (minutes == 0)
        return Counted(hours, "Hour");
    return Counted(hours, "Hour") + " " + Counted(minutes, "Minute");
}
