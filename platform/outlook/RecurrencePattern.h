#pragma once

#include <outlook/AppointmentData.h>

#include <platform/DateTime.h>

namespace outlook {
// The recurrence pattern of a recurring appointment item, read only. Start
// and end times are given as times of day (on 30 December 1899) and the
// pattern dates as dates at 00:00, whatever the back-end held: the parts
// that do not belong are dropped.
class CRecurrencePattern {
public:
    explicit CRecurrencePattern(const CAppointmentData::Pattern& pattern);

    long GetRecurrenceType() const { return m_pattern.recurrenceType; }
    long GetDayOfWeekMask() const { return m_pattern.dayOfWeekMask; }
    long GetDayOfMonth() const { return m_pattern.dayOfMonth; }
    long GetInstance() const { return m_pattern.instance; }
    long GetInterval() const { return m_pattern.interval; }
    const CDateTime& GetPatternStartDate() const { return m_pattern.patternStartDate; }
    const CDateTime& GetStartTime() const { return m_pattern.startTime; }
    const CDateTime& GetPatternEndDate() const { return m_pattern.patternEndDate; }
    const CDateTime& GetEndTime() const { return m_pattern.endTime; }
    bool GetNoEndDate() const { return m_pattern.noEndDate; }

private:
    CAppointmentData::Pattern m_pattern;
};
} // namespace outlook
