#include <slotbook/TimeSlot.h>

#include <slotbook/Narrow.h>

namespace {
const char* Truth(int flag)
{
    return flag != 0 ? "TRUE\n" : "FALSE\n";
}

std::string ClockFields(const CDateTime& value, const char* minutesLabel, const char* secondsLabel)
{
    return "Hours: " + std::to_string(value.GetHour()) + minutesLabel + std::to_string(value.GetMinute()) +
           secondsLabel + std::to_string(value.GetSecond()) + "\n";
}
} // namespace

CTimeSlot::CTimeSlot() : CDay(), m_validity(0), m_start(), m_end(), m_duration(0), m_slotType(1) {}

CTimeSlot::~CTimeSlot() = default;

CTimeSlot::CTimeSlot(const CDateTime& start, const CDateTime& end) : CTimeSlot()
{
    SetTimeSlotValid(start, end, MinutesBetween(start, end));
}

CTimeSlot::CTimeSlot(const CDateTime& start, const CDateTime& end, int duration) : CTimeSlot()
{
    SetTimeSlotValid(start, end, duration);
}

CTimeSlot::CTimeSlot(const CDateTime& start, int duration) : CTimeSlot()
{
    SetTimeSlot(start, duration);
}

CTimeSlot::CTimeSlot(const std::string& start, const std::string& end, int duration) : CTimeSlot()
{
    SetFromTexts(start, end, duration);
}

CTimeSlot::CTimeSlot(const std::string& start, const std::string& end, const char* duration) : CTimeSlot()
{
    SetFromTexts(start, end, DurationFromText(duration));
}

CTimeSlot::CTimeSlot(const std::string& start, const char* duration, int validity) : CTimeSlot()
{
    // A start that does not parse is kept as the invalid value it gives, and
    // so is the end computed from it.
    CDateTime parsedStart;
    parsedStart.ParseDateTime(RemoveParens(start));
    SetTimeSlot(parsedStart, DurationFromText(duration), validity);
}

int CTimeSlot::DurationFromText(const char* text)
{
    return text != nullptr ? LeadingInteger(RemoveParens(text)) : 0;
}

void CTimeSlot::SetFromTexts(const std::string& start, const std::string& end, int duration)
{
    CDateTime parsedStart;
    CDateTime parsedEnd;
    const bool startRead = parsedStart.ParseDateTime(RemoveParens(start));
    const bool endRead = parsedEnd.ParseDateTime(RemoveParens(end));
    if (startRead && endRead)
        SetTimeSlotValid(parsedStart, parsedEnd, duration);
}

int CTimeSlot::MinutesBetween(const CDateTime& start, const CDateTime& end)
{
    return slotbook::ClampToInt((end - start).GetWholeMinutes());
}

CDateTime CTimeSlot::OnRelativeDay(const CDateTime& value)
{
    return CDateTime(1000, 1, 1, value.GetHour(), value.GetMinute(), value.GetSecond());
}

void CTimeSlot::SetStartTime(const CDateTime& start)
{
    m_start = start;
}
void CTimeSlot::SetEndTime(const CDateTime& end)
{
    m_end = end;
}
void CTimeSlot::SetDuration(int duration)
{
    m_duration = duration;
}
void CTimeSlot::SetValidity(int validity)
{
    m_validity = validity;
}

void CTimeSlot::SetTimeSlot(const CDateTime& start, const CDateTime& end)
{
    m_start = start;
    m_end = end;
}

void CTimeSlot::SetTimeSlot(const CDateTime& start, const CDateTime& end, int validity)
{
    m_start = start;
    m_end = end;
    m_duration = MinutesBetween(start, end);
    m_slotType = 1;
    days = 0;
    m_validity = validity;
}

void CTimeSlot::SetTimeSlot(const CDateTime& start, int duration, int validity)
{
    m_start = start;
    m_end = start + CDateTimeSpan(0, 0, duration, 0);
    m_duration = duration;
    m_slotType = 1;
    days = 0;
    m_validity = validity;
}

void CTimeSlot::SetTimeSlot(const CDateTime& start, int duration)
{
    SetTimeSlot(start, duration, 1);
}

void CTimeSlot::SetTimeSlotValid(const CDateTime& start, const CDateTime& end, int duration)
{
    m_start = start;
    m_end = end;
    m_duration = duration;
    m_slotType = 1;
    days = 0;
    // Bounds that are not valid have no minutes to agree with.
    const CDateTimeSpan span = end - start;
    m_validity = (span.GetStatus() == CDateTimeSpan::valid && span.GetWholeMinutes() == duration) ? 1 : 0;
}

void CTimeSlot::SetSlotType(int type)
{
    m_slotType = type;
    if (type == 0) {
        m_start = OnRelativeDay(m_start);
        m_end = OnRelativeDay(m_end);
        m_duration = MinutesBetween(m_start, m_end);
    } else if (type == 1) {
        days = 0;
    }
}

void CTimeSlot::SetAttributes(int validity, int type, const CDay* daySet)
{
    m_validity = validity;
    days = BitsOf(daySet);
    SetSlotType(type);
}

bool CTimeSlot::operator==(const CTimeSlot& other) const
{
    return m_duration == other.m_duration && m_start == other.m_start && m_end == other.m_end &&
           m_slotType == other.m_slotType && days == other.days && m_validity == other.m_validity;
}

bool CTimeSlot::IsTimeRangeEqual(const CTimeSlot& other) const
{
    return m_start == other.m_start && m_end == other.m_end && m_duration == other.m_duration;
}

bool CTimeSlot::IsTimeRangeEqual(const CTimeSlot* other) const
{
    return other != nullptr && IsTimeRangeEqual(*other);
}

bool CTimeSlot::Contains(const CTimeSlot& other) const
{
    return m_start <= other.m_start && m_end >= other.m_end;
}

bool CTimeSlot::Contains(const CTimeSlot* other) const
{
    return other != nullptr && Contains(*other);
}

bool CTimeSlot::OverLaps(const CTimeSlot& other) const
{
    const bool otherFirst = other.m_start < m_start && m_start < other.m_end && other.m_end < m_end;
    const bool thisFirst = m_start < other.m_start && other.m_start < m_end && m_end < other.m_end;
    return otherFirst || thisFirst;
}

bool CTimeSlot::OverLaps(const CTimeSlot* other) const
{
    return other != nullptr && OverLaps(*other);
}

CTimeSlot* CTimeSlot::operator+(const CTimeSlot& other) const
{
    CTimeSlot* result = new CTimeSlot();
    result->m_start = m_start <= other.m_start ? m_start : other.m_start;
    result->m_end = m_end >= other.m_end ? m_end : other.m_end;
    // The union of two dated slots keeps the default duration of 0.
    if (m_slotType != 0 && other.m_slotType != 0)
        return result;
    result->SetSlotType(0);
    result->m_validity = 1;
    result->days = days | other.days;
    return result;
}

std::string CTimeSlot::RemoveParens(const std::string& text)
{
    const std::size_t first = text.find_first_not_of('(');
    if (first == std::string::npos)
        return std::string();
    const std::size_t last = text.find_last_not_of(')');
    if (last == std::string::npos || last < first)
        return std::string();
    return text.substr(first, last - first + 1);
}

std::string CTimeSlot::GetDurationString() const
{
    return std::to_string(m_duration);
}

std::string CTimeSlot::GetSlotTypeString() const
{
    return m_slotType == 0 ? "Relative" : "Absolute";
}

std::string CTimeSlot::GetStatusString() const
{
    return m_validity != 0 ? "Valid" : "InValid";
}

std::string CTimeSlot::ToString() const
{
    std::string text = "StartTime: " + m_start.Format() + "\nEndTime: " + m_end.Format() +
                       "\nDuration: " + std::to_string(m_duration) + " Minutes\nValid: " + Truth(m_validity) +
                       "SlotType : ";
    if (m_slotType == 0)
        text += "Relative\n";
    else if (m_slotType == 1)
        text += "Absolute\n";
    return text + "Days : " + CDay::ToString();
}

std::string CTimeSlot::ToStringDebug() const
{
    return "StartTime: " + m_start.Format() + "\n" + ClockFields(m_start, " Minutes: ", " Seconds: ") +
           "EndTime: " + m_end.Format() + "\n" + ClockFields(m_end, "Minutes: ", "Seconds: ") +
           "Duration: " + std::to_string(m_duration) + " Minutes\nValid: " + Truth(m_validity);
}
