#include <vespera/core/TimeConstraint.h>

namespace {
// Relative slots keep their times of day on this date.
constexpr int RelativeYear = 1000;
constexpr int RelativeMonth = 1;
constexpr int RelativeDay = 1;

bool IsValidTime(const CDateTime& value)
{
    return value.GetStatus() == CDateTime::valid;
}
} // namespace

CTimeConstraint::CTimeConstraint() : m_contactValid(false) {}

CTimeConstraint::CTimeConstraint(const CContactRecord& contact, bool contactValid, const CDateTime& start,
                                 const CDateTime& end)
    : CTimeSlot(start, end), m_contact(contact), m_contactValid(contactValid)
{
}

CTimeConstraint::~CTimeConstraint() = default;

void CTimeConstraint::SetContact(const CContactRecord& contact, bool valid)
{
    m_contact = contact;
    m_contactValid = valid;
}

bool CTimeConstraint::AppliesTo(const std::string& requesterAgentName) const
{
    return !m_contactValid || m_contact.GetCalendarAgentName() == requesterAgentName;
}

bool CTimeConstraint::Matches(const CDateTime& start, const CDateTime& end) const
{
    if (IsRelative())
        return MatchesRelative(start, end);
    return MatchesAbsolute(start);
}

bool CTimeConstraint::MatchesAbsolute(const CDateTime& start) const
{
    if (!IsValidTime(start) || !IsValidTime(GetStartTime()) || !IsValidTime(GetEndTime()))
        return false;
    return GetStartTime() <= start && start < GetEndTime();
}

bool CTimeConstraint::MatchesRelative(const CDateTime& start, const CDateTime& end) const
{
    const CDateTime from = GetStartTime();
    const CDateTime to = GetEndTime();
    if (!IsValidTime(from) || !IsValidTime(to))
        return false;
    if (IsValidTime(start) && ContainsMFCDays(start.GetDayOfWeek())) {
        const CDateTime t = TimeOfDay(start);
        if (from <= t && t < to)
            return true;
    }
    if (IsValidTime(end) && ContainsMFCDays(end.GetDayOfWeek())) {
        const CDateTime t = TimeOfDay(end);
        if (from < t && t <= to)
            return true;
    }
    return false;
}

CDateTime CTimeConstraint::TimeOfDay(const CDateTime& value)
{
    return CDateTime(RelativeYear, RelativeMonth, RelativeDay, value.GetHour(), value.GetMinute(),
                     value.GetSecond());
}
