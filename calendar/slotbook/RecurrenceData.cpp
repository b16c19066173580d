#include <slotbook/RecurrenceData.h>

#include <slotbook/Narrow.h>

#include <memory>

namespace {
constexpr int Sunday = 1;
constexpr int Saturday = 7;
constexpr unsigned WeekdayMask = 62;
constexpr unsigned WeekendMask = 65;
constexpr unsigned EveryDayMask = 127;
constexpr int LastInstance = 5;

// February follows the Gregorian leap-year rule.
int MonthLength(int year, int month)
{
    static const int lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : lengths[month - 1];
}

bool IsValid(const CDateTime& value)
{
    return value.GetStatus() == CDateTime::valid;
}

bool IsOrdinal(int instance)
{
    return instance >= 1 && instance < LastInstance;
}

bool IsWeekdayNumber(int weekday)
{
    return weekday >= Sunday && weekday <= Saturday;
}

// Weekday number of the given day of the month, from that of the first.
int WeekdayOf(int firstWeekday, int dayOfMonth)
{
    return (firstWeekday - 1 + dayOfMonth - 1) % 7 + 1;
}

int FirstWeekdayOfMonth(const CDateTime& date)
{
    return CDateTime(date.GetYear(), date.GetMonth(), 1, 0, 0, 0).GetDayOfWeek();
}

bool IsWorkday(int weekday)
{
    return weekday != Sunday && weekday != Saturday;
}

// The first four days of the date's month whose weekday passes the test.
int* FirstFourWhere(const CDateTime& date, bool (*accept)(int weekday))
{
    int* found = new int[4]{-1, -1, -1, -1};
    if (!IsValid(date))
        return found;
    const int firstWeekday = FirstWeekdayOfMonth(date);
    const int length = MonthLength(date.GetYear(), date.GetMonth());
    int count = 0;
    for (int day = 1; day <= length && count < 4; ++day) {
        if (accept(WeekdayOf(firstWeekday, day)))
            found[count++] = day;
    }
    return found;
}

bool EntryMatches(std::unique_ptr<int[]> entries, int instance, const CDateTime& date)
{
    return entries[static_cast<std::size_t>(instance - 1)] == date.GetDay();
}

int LowestWeekday(unsigned mask)
{
    for (int weekday = Sunday; weekday <= Saturday; ++weekday) {
        if (mask & CDay::MFC2CDays(weekday))
            return weekday;
    }
    return 0;
}
} // namespace

CRecurrenceData::CRecurrenceData()
    : CDay(), m_status(0), m_recType(0), m_interval(1), m_dayOfMonth(0), m_instance(0), m_startTime(),
      m_startDate(), m_endTime(), m_endDate(), m_ends(0)
{
}

CRecurrenceData::CRecurrenceData(int type) : CRecurrenceData()
{
    m_recType = type;
    m_status = 1;
}

CRecurrenceData::~CRecurrenceData() = default;

void CRecurrenceData::SetRecType(int type)
{
    m_recType = type;
}
void CRecurrenceData::SetStatus(int status)
{
    m_status = status;
}
void CRecurrenceData::SetInstance(long instance)
{
    m_instance = slotbook::ClampToInt(instance);
}
void CRecurrenceData::SetDayOfMonth(long dayOfMonth)
{
    m_dayOfMonth = slotbook::ClampToInt(dayOfMonth);
}
void CRecurrenceData::Ends(int ends)
{
    m_ends = ends;
}

void CRecurrenceData::SetInterval(long interval)
{
    m_interval = interval == 0 ? 1 : slotbook::ClampToInt(interval);
}

void CRecurrenceData::SetStartTime(const CDateTime& time)
{
    m_startTime = time;
}
void CRecurrenceData::SetStartDate(const CDateTime& date)
{
    m_startDate = date;
}
void CRecurrenceData::SetEndTime(const CDateTime& time)
{
    m_endTime = time;
}
void CRecurrenceData::SetEndDate(const CDateTime& date)
{
    m_endDate = date;
}

void CRecurrenceData::SetStartTime(int hour, int minute, int second)
{
    m_startTime = CDateTime(1899, 12, 30, hour, minute, second);
}

void CRecurrenceData::SetEndTime(int hour, int minute, int second)
{
    m_endTime = CDateTime(1899, 12, 30, hour, minute, second);
}

void CRecurrenceData::SetStartDate(int year, int month, int day)
{
    m_startDate = CDateTime(year, month, day, 0, 0, 0);
}

void CRecurrenceData::SetEndDate(int year, int month, int day)
{
    m_endDate = CDateTime(year, month, day, 0, 0, 0);
}

int CRecurrenceData::OccursOn(int day, int month, int year) const
{
    const CDateTime date(year, month, day, 0, 0, 0);
    // Without a valid start there is nothing to count occurrences from.
    if (!IsValid(date) || !IsValid(m_startDate))
        return 0;
    if (m_startDate > date)
        return 0;
    if (m_ends != 0 && m_endDate < date)
        return 0;
    const long long months =
        (static_cast<long long>(year) - m_startDate.GetYear()) * 12 - m_startDate.GetMonth() + month;
    return OccursByType(date, months);
}

int CRecurrenceData::OccursByType(const CDateTime& date, long long months) const
{
    switch (m_recType) {
    case 0:
        return days == 0 && (date - m_startDate).GetWholeDays() % m_interval == 0 ? 1 : 0;
    case 1:
        return OccursWeekly(date);
    case 2:
        return date.GetDay() == m_dayOfMonth && months % m_interval == 0 ? 1 : 0;
    case 3:
        if (months % m_interval != 0 || !ContainsMFCDays(date.GetDayOfWeek()))
            return 0;
        return NthByMask(date);
    case 5:
        return date.GetMonth() == m_startDate.GetMonth() && date.GetDay() == m_startDate.GetDay() ? 1 : 0;
    case 6:
        return date.GetMonth() == m_startDate.GetMonth() ? NthByMask(date) : 0;
    default:
        return 0;
    }
}

int CRecurrenceData::OccursWeekly(const CDateTime& date) const
{
    const int weekday = date.GetDayOfWeek();
    if (!ContainsMFCDays(weekday))
        return 0;
    // Days from the start date's week, moved to the date's weekday, to the
    // date; counted in whole days so that the week before the first possible
    // date still works.
    const long long apart =
        (date - m_startDate).GetWholeDays() + (m_startDate.GetDayOfWeek() - 1) - (weekday - 1);
    return apart % (7LL * m_interval) == 0 ? 1 : 0;
}

int CRecurrenceData::NthByMask(const CDateTime& date) const
{
    switch (days) {
    case WeekdayMask:
        return IsWeekDayInstance(m_instance, date);
    case WeekendMask:
        return IsWeekendDayInstance(m_instance, date);
    case EveryDayMask:
        return IsDayInstance(m_instance, date);
    default:
        return IsDayInstance(m_instance, static_cast<int>(days), date);
    }
}

CDateTime CRecurrenceData::TimeOfDay(const CDateTime& value)
{
    return CDateTime(1899, 12, 30, value.GetHour(), value.GetMinute(), value.GetSecond());
}

bool CRecurrenceData::IsWithinTime(const CDateTime& time) const
{
    const CDateTime clock = TimeOfDay(time);
    return clock >= m_startTime && clock < m_endTime;
}

bool CRecurrenceData::IsWithinTime(const CDateTime& from, const CDateTime& to) const
{
    return TimeOfDay(to) > m_startTime && TimeOfDay(from) < m_endTime;
}

int CRecurrenceData::IsFree(const CDateTime& time) const
{
    const bool busy = OccursOn(time.GetDay(), time.GetMonth(), time.GetYear()) != 0 && IsWithinTime(time);
    return busy ? 0 : 1;
}

int CRecurrenceData::IsFree(const CDateTime& from, const CDateTime& to) const
{
    const bool busy = OccursOn(from.GetDay(), from.GetMonth(), from.GetYear()) != 0 && IsWithinTime(from, to);
    return busy ? 0 : 1;
}

int CRecurrenceData::IsDayInstance(int instance, const CDateTime& date) const
{
    if (!IsValid(date))
        return 0;
    if (IsOrdinal(instance))
        return date.GetDay() == instance ? 1 : 0;
    if (instance == LastInstance)
        return date.GetDay() == MonthLength(date.GetYear(), date.GetMonth()) ? 1 : 0;
    return 0;
}

int CRecurrenceData::IsDayInstance(int instance, int mask, const CDateTime& date) const
{
    const int weekday = LowestWeekday(static_cast<unsigned>(mask));
    if (!IsValid(date) || weekday == 0)
        return 0;
    if (IsOrdinal(instance))
        return EntryMatches(std::unique_ptr<int[]>(GetFirst4MFCDays(weekday, date)), instance, date) ? 1 : 0;
    if (instance == LastInstance)
        return GetLastMFCDay(weekday, date) == date.GetDay() ? 1 : 0;
    return 0;
}

int CRecurrenceData::IsWeekDayInstance(int instance, const CDateTime& date) const
{
    if (!IsValid(date))
        return 0;
    if (IsOrdinal(instance)) {
        // The first four weekdays always lie within the first week.
        if (date.GetDay() > 7)
            return 0;
        return EntryMatches(std::unique_ptr<int[]>(GetFirst4WeekDays(date)), instance, date) ? 1 : 0;
    }
    if (instance == LastInstance)
        return GetLastWeekDay(date) == date.GetDay() ? 1 : 0;
    return 0;
}

int CRecurrenceData::IsWeekendDayInstance(int instance, const CDateTime& date) const
{
    if (!IsValid(date))
        return 0;
    if (IsOrdinal(instance))
        return EntryMatches(std::unique_ptr<int[]>(GetFirst4WeekendDays(date)), instance, date) ? 1 : 0;
    if (instance == LastInstance)
        return GetLastWeekendDay(date) == date.GetDay() ? 1 : 0;
    return 0;
}

CDateTime CRecurrenceData::GetFirstDayOfMonth(const CDateTime& date) const
{
    return date - CDateTimeSpan(date.GetDay() - 1, 0, 0, 0);
}

int* CRecurrenceData::FourDays(int first, int step)
{
    return new int[4]{first, first + step, first + 2 * step, first + 3 * step};
}

int* CRecurrenceData::GetFirst4WeekDays(const CDateTime& date) const
{
    return FirstFourWhere(date, IsWorkday);
}

int* CRecurrenceData::GetFirst4WeekendDays(const CDateTime& date) const
{
    return FirstFourWhere(date, [](int weekday) { return !IsWorkday(weekday); });
}

int* CRecurrenceData::GetFirst4MFCDays(int weekday, const CDateTime& date) const
{
    if (!IsWeekdayNumber(weekday))
        return FourDays(-1, 0);
    if (!IsValid(date))
        return FourDays(-1, 7);
    const int first = 1 + ((weekday - FirstWeekdayOfMonth(date)) % 7 + 7) % 7;
    return FourDays(first, 7);
}

CDateTime CRecurrenceData::LastOfMonth(const CDateTime& date)
{
    return CDateTime(date.GetYear(), date.GetMonth(), MonthLength(date.GetYear(), date.GetMonth()), 0, 0, 0);
}

int CRecurrenceData::GetLastWeekDay(const CDateTime& date) const
{
    if (!IsValid(date))
        return -1;
    const CDateTime last = LastOfMonth(date);
    const int weekday = last.GetDayOfWeek();
    if (weekday == Sunday)
        return last.GetDay() - 2;
    if (weekday == Saturday)
        return last.GetDay() - 1;
    return last.GetDay();
}

int CRecurrenceData::GetLastWeekendDay(const CDateTime& date) const
{
    if (!IsValid(date))
        return -1;
    const CDateTime last = LastOfMonth(date);
    const int weekday = last.GetDayOfWeek();
    return IsWorkday(weekday) ? last.GetDay() - (weekday - 1) : last.GetDay();
}

int CRecurrenceData::GetLastMFCDay(int weekday, const CDateTime& date) const
{
    if (!IsValid(date) || !IsWeekdayNumber(weekday))
        return -1;
    const CDateTime last = LastOfMonth(date);
    return last.GetDay() - ((last.GetDayOfWeek() - weekday) % 7 + 7) % 7;
}
