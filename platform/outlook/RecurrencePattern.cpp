#include <outlook/RecurrencePattern.h>

namespace outlook {
namespace {
// Values that are not valid have no parts to drop and stay as they are.
CDateTime DateOnly(const CDateTime& value)
{
    if (value.GetStatus() != CDateTime::valid)
        return value;
    return CDateTime(value.GetYear(), value.GetMonth(), value.GetDay(), 0, 0, 0);
}

CDateTime TimeOnly(const CDateTime& value)
{
    if (value.GetStatus() != CDateTime::valid)
        return value;
    return CDateTime(1899, 12, 30, value.GetHour(), value.GetMinute(), value.GetSecond());
}
} // namespace

CRecurrencePattern::CRecurrencePattern(const CAppointmentData::Pattern& pattern) : m_pattern(pattern)
{
    m_pattern.patternStartDate = DateOnly(pattern.patternStartDate);
    m_pattern.patternEndDate = DateOnly(pattern.patternEndDate);
    m_pattern.startTime = TimeOnly(pattern.startTime);
    m_pattern.endTime = TimeOnly(pattern.endTime);
}
} // namespace outlook
