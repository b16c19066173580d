#include <platform/DateTimeSpan.h>

#include <cmath>

namespace {
constexpr double HalfSecondInDays = 1.0 / 172800.0;
constexpr double MinutesPerDay = 1440.0;

bool WithinRange(double days)
{
    return std::isfinite(days) && std::fabs(days) <= CDateTimeSpan::MaxDays;
}
} // namespace

CDateTimeSpan::CDateTimeSpan() : m_days(0.0), m_status(valid) {}

CDateTimeSpan::CDateTimeSpan(double days) : m_days(days), m_status(WithinRange(days) ? valid : invalid) {}

CDateTimeSpan::CDateTimeSpan(long days, int hours, int minutes, int seconds)
    : CDateTimeSpan(static_cast<double>(days) + hours * (1.0 / 24.0) + minutes * (1.0 / MinutesPerDay) +
                    seconds * (1.0 / 86400.0))
{
}

void CDateTimeSpan::SetStatus(Status status)
{
    // A span outside the range cannot be made valid by decree.
    m_status = (status == valid && WithinRange(m_days)) ? valid : invalid;
}

long CDateTimeSpan::RoundedUnits(double unitsPerDay) const
{
    if (m_status != valid)
        return 0;
    const double rounded = m_days + (m_days >= 0.0 ? HalfSecondInDays : -HalfSecondInDays);
    return static_cast<long>(std::trunc(rounded * unitsPerDay));
}

long CDateTimeSpan::GetWholeMinutes() const
{
    return RoundedUnits(MinutesPerDay);
}

long CDateTimeSpan::GetWholeDays() const
{
    return RoundedUnits(1.0);
}

CDateTimeSpan CDateTimeSpan::operator+(const CDateTimeSpan& other) const
{
    if (m_status != valid || other.m_status != valid) {
        CDateTimeSpan result;
        result.m_status = invalid;
        return result;
    }
    return CDateTimeSpan(m_days + other.m_days);
}

CDateTimeSpan CDateTimeSpan::operator-(const CDateTimeSpan& other) const
{
    return *this + -other;
}

CDateTimeSpan CDateTimeSpan::operator-() const
{
    CDateTimeSpan result(-m_days);
    result.m_status = m_status;
    return result;
}

bool CDateTimeSpan::operator==(const CDateTimeSpan& other) const
{
    if (m_status != valid || other.m_status != valid)
        return m_status == other.m_status;
    return m_days == other.m_days;
}

bool CDateTimeSpan::operator<(const CDateTimeSpan& other) const
{
    // Invalid spans sort after every valid one so that the order stays total.
    if (m_status != valid || other.m_status != valid)
        return m_status < other.m_status;
    return m_days < other.m_days;
}
