#include <slotbook/RecurrenceData.h>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <time.h>
#include <vector>

namespace
{
constexpr int Daily = 0, Weekly = 1, Monthly = 2, MonthlyNth = 3, Unused = 4, Yearly = 5, YearlyNth = 6;
constexpr unsigned Sunday = 1, Monday = 2, Wednesday = 8, Thursday = 16, Friday = 32, Saturday = 64;
constexpr unsigned Weekdays = 62, WeekendDays = 65, EveryDay = 127;

// A calendar day as the C library's calendar sees it; the expectations below
// are built from these, never from the code under test.
struct CivilDay
{
    long index = 0; // days since the first day of the walk
    int year = 0, month = 0, day = 0;
    int weekday = 0; // 1 Sunday .. 7 Saturday
    int monthLength = 0;
    int workdayOrdinal = 0; // nth Monday-to-Friday day of the month, 0 on weekends
    int weekendOrdinal = 0; // nth Saturday-or-Sunday of the month, 0 on workdays
    bool lastWorkday = false;
    bool lastWeekendDay = false;
};

bool IsWorkday(int weekday)
{
    return weekday >= 2 && weekday <= 6;
}

int MonthLengthFromLibrary(int year, int month)
{
    std::tm probe{};
    probe.tm_year = year - 1900;
    probe.tm_mon = month; // the month after, day 0: the last day of this one
    probe.tm_mday = 0;
    probe.tm_hour = 12;
    timegm(&probe);
    return probe.tm_mday;
}

void MarkMonthOrdinals(std::vector<CivilDay>& days, std::size_t first, std::size_t end)
{
    int workdays = 0, weekendDays = 0;
    for (std::size_t i = first; i < end; ++i)
    {
        if (IsWorkday(days[i].weekday))
            days[i].workdayOrdinal = ++workdays;
        else
            days[i].weekendOrdinal = ++weekendDays;
    }
    for (std::size_t i = first; i < end; ++i)
    {
        days[i].lastWorkday = days[i].workdayOrdinal == workdays;
        days[i].lastWeekendDay = days[i].weekendOrdinal == weekendDays;
    }
}

std::vector<CivilDay> WalkYears(int firstYear, int years)
{
    std::tm start{};
    start.tm_year = firstYear - 1900;
    start.tm_mday = 1;
    start.tm_hour = 12;
    const std::time_t first = timegm(&start);
    std::vector<CivilDay> days;
    for (long index = 0;; ++index)
    {
        const std::time_t instant = first + index * 86400;
        std::tm civil{};
        gmtime_r(&instant, &civil);
        if (civil.tm_year + 1900 >= firstYear + years)
            break;
        CivilDay day;
        day.index = index;
        day.year = civil.tm_year + 1900;
        day.month = civil.tm_mon + 1;
        day.day = civil.tm_mday;
        day.weekday = civil.tm_wday + 1;
        day.monthLength = MonthLengthFromLibrary(day.year, day.month);
        days.push_back(day);
    }
    std::size_t monthStart = 0;
    for (std::size_t i = 1; i <= days.size(); ++i)
    {
        if (i == days.size() || days[i].month != days[monthStart].month)
        {
            MarkMonthOrdinals(days, monthStart, i);
            monthStart = i;
        }
    }
    return days;
}

const std::vector<CivilDay>& TwoYears()
{
    static const std::vector<CivilDay> days = WalkYears(2003, 2);
    return days;
}

const CivilDay& Find(int year, int month, int day)
{
    for (const CivilDay& d : TwoYears())
        if (d.year == year && d.month == month && d.day == day)
            return d;
    throw std::logic_error("date outside the walk");
}

bool InMask(unsigned mask, int weekday)
{
    return (mask & (1u << (weekday - 1))) != 0;
}

// The nth-of-the-month expectation of a mask, as a person reads a calendar.
bool IsNth(const CivilDay& d, unsigned mask, int instance)
{
    if (mask == Weekdays)
        return instance == 5 ? d.lastWorkday && d.workdayOrdinal > 0 : d.workdayOrdinal == instance;
    if (mask == WeekendDays)
        return instance == 5 ? d.lastWeekendDay && d.weekendOrdinal > 0 : d.weekendOrdinal == instance;
    if (mask == EveryDay)
        return instance == 5 ? d.day == d.monthLength : d.day == instance;
    int named = 0;
    for (int weekday = 1; weekday <= 7 && named == 0; ++weekday)
        if (InMask(mask, weekday))
            named = weekday;
    if (d.weekday != named)
        return false;
    return instance == 5 ? d.day + 7 > d.monthLength : (d.day - 1) / 7 + 1 == instance;
}

void ExpectOccurrences(const CRecurrenceData& pattern, const std::function<bool(const CivilDay&)>& expected)
{
    int occurrences = 0;
    for (const CivilDay& d : TwoYears())
    {
        const int want = expected(d) ? 1 : 0;
        occurrences += want;
        ASSERT_EQ(want, pattern.OccursOn(d.day, d.month, d.year)) << d.month << "/" << d.day << "/" << d.year;
    }
    EXPECT_GT(occurrences, 0);
}

CRecurrenceData Pattern(int type, int interval, unsigned days, int startYear, int startMonth, int startDay)
{
    CRecurrenceData pattern(type);
    pattern.SetInterval(interval);
    pattern.SetDays(days);
    pattern.SetStartDate(startYear, startMonth, startDay);
    return pattern;
}

long MonthsBetween(int fromYear, int fromMonth, const CivilDay& d)
{
    return (d.year - fromYear) * 12L + d.month - fromMonth;
}

CDateTime Date(int year, int month, int day)
{
    return CDateTime(year, month, day, 0, 0, 0);
}

std::vector<int> Four(int* array)
{
    const std::unique_ptr<int[]> owned(array);
    return std::vector<int>(owned.get(), owned.get() + 4);
}
}

TEST(RecurrenceDataConstruction, EmptyAndTyped)
{
    const CRecurrenceData empty;
    EXPECT_EQ(0, empty.GetStatus());
    EXPECT_EQ(0, empty.GetRecType());
    EXPECT_EQ(1, empty.GetInterval());
    EXPECT_EQ(0, empty.GetDays());
    EXPECT_EQ(0, empty.GetInstance());
    EXPECT_EQ(0, empty.GetDayOfMonth());
    EXPECT_EQ(0, empty.GetEnds());
    EXPECT_EQ(CDateTime(), empty.GetStartDate());
    EXPECT_EQ(CDateTime(), empty.GetEndTime());
    const CRecurrenceData weekly(Weekly);
    EXPECT_EQ(1, weekly.GetStatus());
    EXPECT_EQ(Weekly, weekly.GetRecType());
}

TEST(RecurrenceDataConstruction, CopiesEveryField)
{
    CRecurrenceData original = Pattern(MonthlyNth, 2, Wednesday, 2003, 5, 1);
    original.SetInstance(4);
    original.SetDayOfMonth(17);
    original.Ends(1);
    original.SetEndDate(2004, 1, 1);
    original.SetStartTime(9, 0, 0);
    original.SetEndTime(10, 0, 0);
    CRecurrenceData copy(original);
    EXPECT_EQ(original.GetInterval(), copy.GetInterval());
    EXPECT_EQ(original.GetInstance(), copy.GetInstance());
    EXPECT_EQ(original.GetDayOfMonth(), copy.GetDayOfMonth());
    EXPECT_EQ(original.GetDays(), copy.GetDays());
    EXPECT_EQ(original.GetEndDate(), copy.GetEndDate());
    EXPECT_EQ(original.GetStartTime(), copy.GetStartTime());
    CRecurrenceData assigned;
    assigned = original;
    EXPECT_EQ(original.GetRecType(), assigned.GetRecType());
    EXPECT_EQ(original.GetEnds(), assigned.GetEnds());
    EXPECT_EQ(original.GetEndTime(), assigned.GetEndTime());
}

TEST(RecurrenceDataSetters, IntervalIsNeverZero)
{
    CRecurrenceData pattern(Daily);
    pattern.SetInterval(0);
    EXPECT_EQ(1, pattern.GetInterval());
    pattern.SetInterval(4);
    EXPECT_EQ(4, pattern.GetInterval());
    pattern.SetInterval(-2);
    EXPECT_EQ(-2, pattern.GetInterval());
}

TEST(RecurrenceDataSetters, TimesAndDates)
{
    CRecurrenceData pattern;
    pattern.SetStartTime(9, 30, 15);
    EXPECT_EQ(CDateTime(1899, 12, 30, 9, 30, 15), pattern.GetStartTime());
    pattern.SetEndTime(17, 0, 0);
    EXPECT_DOUBLE_EQ(17.0 / 24.0, pattern.GetEndTime().GetValue());
    pattern.SetStartDate(2003, 5, 12);
    EXPECT_EQ(37753.0, pattern.GetStartDate().GetValue());
    pattern.SetEndDate(Date(2004, 1, 1));
    EXPECT_EQ(Date(2004, 1, 1), pattern.GetEndDate());
    pattern.SetStartTime(25, 0, 0);
    EXPECT_EQ(CDateTime::invalid, pattern.GetStartTime().GetStatus());
}

TEST(RecurrenceDataOccursOn, DailyAgainstTheCalendar)
{
    const CRecurrenceData pattern = Pattern(Daily, 3, 0, 2003, 5, 1);
    const long start = Find(2003, 5, 1).index;
    ExpectOccurrences(pattern, [start](const CivilDay& d) { return d.index >= start && (d.index - start) % 3 == 0; });
}

TEST(RecurrenceDataOccursOn, DailyEdges)
{
    CRecurrenceData pattern = Pattern(Daily, 3, 0, 2003, 5, 1);
    EXPECT_EQ(1, pattern.OccursOn(4, 5, 2003));
    EXPECT_EQ(0, pattern.OccursOn(5, 5, 2003));
    EXPECT_EQ(1, pattern.OccursOn(1, 5, 2003));
    EXPECT_EQ(0, pattern.OccursOn(28, 4, 2003));
    pattern.SetDays(Weekdays);
    for (const CivilDay& d : TwoYears())
        ASSERT_EQ(0, pattern.OccursOn(d.day, d.month, d.year));
}

TEST(RecurrenceDataOccursOn, DailyAcrossTheCenturyBeforeThe1899Epoch)
{
    const CRecurrenceData pattern = Pattern(Daily, 7, 0, 1899, 12, 2);
    EXPECT_EQ(1, pattern.OccursOn(30, 12, 1899));
    EXPECT_EQ(1, pattern.OccursOn(6, 1, 1900));
    EXPECT_EQ(0, pattern.OccursOn(31, 12, 1899));
}

TEST(RecurrenceDataOccursOn, WeeklyAgainstTheCalendar)
{
    const CRecurrenceData pattern = Pattern(Weekly, 2, Monday | Thursday, 2003, 5, 7);
    const CivilDay& start = Find(2003, 5, 7);
    const long startSunday = start.index - (start.weekday - 1);
    ExpectOccurrences(pattern, [&](const CivilDay& d) {
        const long sunday = d.index - (d.weekday - 1);
        return d.index >= start.index && InMask(Monday | Thursday, d.weekday) && ((sunday - startSunday) / 7) % 2 == 0;
    });
}

TEST(RecurrenceDataOccursOn, WeeklyEveryWeekOnWeekends)
{
    const CRecurrenceData pattern = Pattern(Weekly, 1, WeekendDays, 2003, 1, 1);
    ExpectOccurrences(pattern, [](const CivilDay& d) { return !IsWorkday(d.weekday); });
}

TEST(RecurrenceDataOccursOn, WeeklyFortnightFromAWednesday)
{
    const CRecurrenceData pattern = Pattern(Weekly, 2, Monday, 2003, 5, 7);
    EXPECT_EQ(0, pattern.OccursOn(5, 5, 2003));
    EXPECT_EQ(0, pattern.OccursOn(12, 5, 2003));
    EXPECT_EQ(1, pattern.OccursOn(19, 5, 2003));
    EXPECT_EQ(0, pattern.OccursOn(20, 5, 2003));
}

TEST(RecurrenceDataOccursOn, WeeklyFromTheFirstRepresentableWeek)
{
    // 1 January 100 was a Friday; its week began before the calendar does.
    const CRecurrenceData pattern = Pattern(Weekly, 1, Monday, 100, 1, 1);
    EXPECT_EQ(1, pattern.OccursOn(4, 1, 100));
    EXPECT_EQ(0, pattern.OccursOn(5, 1, 100));
    EXPECT_EQ(1, pattern.OccursOn(11, 1, 100));
}

TEST(RecurrenceDataOccursOn, MonthlyAgainstTheCalendar)
{
    CRecurrenceData pattern = Pattern(Monthly, 2, 0, 2003, 1, 15);
    pattern.SetDayOfMonth(31);
    ExpectOccurrences(pattern, [](const CivilDay& d) {
        return d.day == 31 && MonthsBetween(2003, 1, d) % 2 == 0;
    });
}

TEST(RecurrenceDataOccursOn, MonthlyOnTheThirtyFirst)
{
    CRecurrenceData pattern = Pattern(Monthly, 1, 0, 2003, 1, 1);
    pattern.SetDayOfMonth(31);
    EXPECT_EQ(1, pattern.OccursOn(31, 5, 2003));
    for (int day = 1; day <= 30; ++day)
        EXPECT_EQ(0, pattern.OccursOn(day, 6, 2003));
    EXPECT_EQ(0, pattern.OccursOn(31, 6, 2003));
}

struct NthCase
{
    unsigned mask;
    int instance;
    int interval;
};

class RecurrenceDataMonthlyNth : public ::testing::TestWithParam<NthCase>
{
};

TEST_P(RecurrenceDataMonthlyNth, AgainstTheCalendar)
{
    const NthCase c = GetParam();
    CRecurrenceData pattern = Pattern(MonthlyNth, c.interval, c.mask, 2003, 2, 1);
    pattern.SetInstance(c.instance);
    ExpectOccurrences(pattern, [&](const CivilDay& d) {
        const bool started = d.year > 2003 || d.month >= 2;
        return started && MonthsBetween(2003, 2, d) % c.interval == 0 && InMask(c.mask, d.weekday) &&
               IsNth(d, c.mask, c.instance);
    });
}

INSTANTIATE_TEST_SUITE_P(Masks, RecurrenceDataMonthlyNth,
                         ::testing::Values(NthCase{Weekdays, 1, 1}, NthCase{Weekdays, 3, 2}, NthCase{Weekdays, 5, 1},
                                           NthCase{WeekendDays, 2, 1}, NthCase{WeekendDays, 4, 1},
                                           NthCase{WeekendDays, 5, 3}, NthCase{EveryDay, 1, 1},
                                           NthCase{EveryDay, 5, 1}, NthCase{Wednesday, 4, 1},
                                           NthCase{Friday, 5, 2}, NthCase{Sunday, 1, 1}, NthCase{Saturday, 5, 1}));

TEST(RecurrenceDataOccursOn, MonthlyNthWeekday)
{
    CRecurrenceData pattern = Pattern(MonthlyNth, 1, Weekdays, 2003, 1, 1);
    pattern.SetInstance(1);
    EXPECT_EQ(0, pattern.OccursOn(1, 6, 2003));
    EXPECT_EQ(1, pattern.OccursOn(2, 6, 2003));
    EXPECT_EQ(0, pattern.OccursOn(3, 6, 2003));
    pattern.SetInstance(5);
    EXPECT_EQ(1, pattern.OccursOn(30, 5, 2003));
    EXPECT_EQ(0, pattern.OccursOn(31, 5, 2003));
}

TEST(RecurrenceDataOccursOn, MonthlyNthLastDay)
{
    CRecurrenceData pattern = Pattern(MonthlyNth, 1, EveryDay, 2003, 1, 1);
    pattern.SetInstance(5);
    EXPECT_EQ(0, pattern.OccursOn(30, 1, 2004));
    EXPECT_EQ(1, pattern.OccursOn(31, 1, 2004));
    EXPECT_EQ(0, pattern.OccursOn(28, 2, 2004));
    EXPECT_EQ(1, pattern.OccursOn(29, 2, 2004));
    EXPECT_EQ(1, pattern.OccursOn(30, 4, 2004));
}

TEST(RecurrenceDataOccursOn, FebruaryFollowsTheGregorianRule)
{
    CRecurrenceData pattern = Pattern(MonthlyNth, 1, EveryDay, 1899, 1, 1);
    pattern.SetInstance(5);
    EXPECT_EQ(1, pattern.OccursOn(28, 2, 1900));
    EXPECT_EQ(1, pattern.OccursOn(28, 2, 2100));
    EXPECT_EQ(0, pattern.OccursOn(28, 2, 2000));
    EXPECT_EQ(1, pattern.OccursOn(29, 2, 2000));
}

TEST(RecurrenceDataOccursOn, MonthlyNthNamedWeekday)
{
    CRecurrenceData pattern = Pattern(MonthlyNth, 1, Wednesday, 2003, 1, 1);
    pattern.SetInstance(4);
    EXPECT_EQ(1, pattern.OccursOn(28, 5, 2003));
    pattern.SetInstance(2);
    EXPECT_EQ(1, pattern.OccursOn(14, 5, 2003));
    EXPECT_EQ(0, pattern.OccursOn(28, 5, 2003));
}

TEST(RecurrenceDataOccursOn, SeveralNamedWeekdaysUseTheLowest)
{
    CRecurrenceData pattern = Pattern(MonthlyNth, 1, Monday | Wednesday, 2003, 1, 1);
    pattern.SetInstance(1);
    EXPECT_EQ(1, pattern.OccursOn(5, 5, 2003));
    EXPECT_EQ(0, pattern.OccursOn(7, 5, 2003));
    EXPECT_EQ(1, pattern.IsDayInstance(1, Monday | Wednesday | 128, Date(2003, 5, 5)));
}

TEST(RecurrenceDataOccursOn, MaskWithoutWeekdaysNeverMatches)
{
    CRecurrenceData pattern = Pattern(YearlyNth, 1, 0, 2003, 5, 1);
    pattern.SetInstance(1);
    for (int day = 1; day <= 31; ++day)
        EXPECT_EQ(0, pattern.OccursOn(day, 5, 2003));
    for (int instance = 0; instance <= 6; ++instance)
    {
        EXPECT_EQ(0, pattern.IsDayInstance(instance, 0, Date(2003, 5, 5)));
        EXPECT_EQ(0, pattern.IsDayInstance(instance, 128, Date(2003, 5, 5)));
    }
}

TEST(RecurrenceDataOccursOn, YearlyAgainstTheCalendar)
{
    const CRecurrenceData pattern = Pattern(Yearly, 7, 0, 2001, 3, 15);
    ExpectOccurrences(pattern, [](const CivilDay& d) { return d.month == 3 && d.day == 15; });
    EXPECT_EQ(1, pattern.OccursOn(15, 3, 2004));
    EXPECT_EQ(0, pattern.OccursOn(16, 3, 2004));
    EXPECT_EQ(0, pattern.OccursOn(15, 4, 2004));
    EXPECT_EQ(0, pattern.OccursOn(15, 3, 2000));
}

TEST(RecurrenceDataOccursOn, YearlyOnTheLeapDay)
{
    const CRecurrenceData pattern = Pattern(Yearly, 1, 0, 2000, 2, 29);
    ExpectOccurrences(pattern, [](const CivilDay& d) { return d.month == 2 && d.day == 29; });
}

TEST(RecurrenceDataOccursOn, YearlyNthAgainstTheCalendar)
{
    CRecurrenceData thursday = Pattern(YearlyNth, 3, Thursday, 2000, 11, 1);
    thursday.SetInstance(4);
    ExpectOccurrences(thursday, [](const CivilDay& d) { return d.month == 11 && IsNth(d, Thursday, 4); });
    CRecurrenceData lastWorkday = Pattern(YearlyNth, 1, Weekdays, 2000, 12, 1);
    lastWorkday.SetInstance(5);
    ExpectOccurrences(lastWorkday, [](const CivilDay& d) { return d.month == 12 && IsNth(d, Weekdays, 5); });
    CRecurrenceData secondWeekend = Pattern(YearlyNth, 1, WeekendDays, 2000, 6, 1);
    secondWeekend.SetInstance(2);
    ExpectOccurrences(secondWeekend, [](const CivilDay& d) { return d.month == 6 && IsNth(d, WeekendDays, 2); });
}

TEST(RecurrenceDataOccursOn, UnusedAndUnknownTypesNeverOccur)
{
    for (int type : {Unused, 7, 42, -1})
    {
        CRecurrenceData pattern = Pattern(type, 1, EveryDay, 2003, 1, 1);
        pattern.SetDayOfMonth(1);
        pattern.SetInstance(1);
        for (const CivilDay& d : TwoYears())
            ASSERT_EQ(0, pattern.OccursOn(d.day, d.month, d.year)) << type;
    }
}

TEST(RecurrenceDataOccursOn, EndDateStopsThePattern)
{
    CRecurrenceData pattern = Pattern(Daily, 1, 0, 2003, 5, 1);
    pattern.SetEndDate(2003, 6, 1);
    pattern.Ends(1);
    EXPECT_EQ(1, pattern.OccursOn(1, 6, 2003));
    EXPECT_EQ(0, pattern.OccursOn(2, 6, 2003));
    pattern.Ends(0);
    EXPECT_EQ(1, pattern.OccursOn(2, 6, 2003));
}

TEST(RecurrenceDataOccursOn, ImpossibleDatesAndStartsNeverOccur)
{
    CRecurrenceData pattern = Pattern(Daily, 1, 0, 2003, 1, 1);
    EXPECT_EQ(0, pattern.OccursOn(31, 6, 2003));
    EXPECT_EQ(0, pattern.OccursOn(29, 2, 2003));
    EXPECT_EQ(0, pattern.OccursOn(-1, -1, -1));
    CRecurrenceData monthly(Monthly);
    monthly.SetStartDate(2003, 2, 30);
    monthly.SetDayOfMonth(5);
    EXPECT_EQ(0, monthly.OccursOn(5, 3, 2003));
}

TEST(RecurrenceDataOccursOn, NegativeIntervalsDoNotFault)
{
    CRecurrenceData pattern = Pattern(Weekly, -1, Monday, 2003, 5, 5);
    EXPECT_EQ(1, pattern.OccursOn(12, 5, 2003));
    pattern.SetInterval(2147483647L);
    EXPECT_EQ(1, pattern.OccursOn(5, 5, 2003));
    EXPECT_EQ(0, pattern.OccursOn(12, 5, 2003));
}

TEST(RecurrenceDataInstances, DayInstances)
{
    const CRecurrenceData pattern;
    EXPECT_EQ(1, pattern.IsDayInstance(3, Date(2003, 5, 3)));
    EXPECT_EQ(0, pattern.IsDayInstance(3, Date(2003, 5, 4)));
    EXPECT_EQ(1, pattern.IsDayInstance(5, Date(2003, 5, 31)));
    EXPECT_EQ(0, pattern.IsDayInstance(0, Date(2003, 5, 31)));
    EXPECT_EQ(0, pattern.IsDayInstance(6, Date(2003, 5, 6)));
    EXPECT_EQ(0, pattern.IsDayInstance(1, CDateTime(2003, 5, 32, 0, 0, 0)));
}

TEST(RecurrenceDataInstances, WeekdayAndWeekendInstances)
{
    const CRecurrenceData pattern;
    EXPECT_EQ(1, pattern.IsWeekDayInstance(1, Date(2003, 6, 2)));
    EXPECT_EQ(1, pattern.IsWeekDayInstance(4, Date(2003, 6, 5)));
    EXPECT_EQ(0, pattern.IsWeekDayInstance(4, Date(2003, 6, 12)));
    EXPECT_EQ(1, pattern.IsWeekDayInstance(5, Date(2003, 6, 30)));
    EXPECT_EQ(1, pattern.IsWeekendDayInstance(1, Date(2003, 6, 1)));
    EXPECT_EQ(1, pattern.IsWeekendDayInstance(4, Date(2003, 6, 14)));
    EXPECT_EQ(1, pattern.IsWeekendDayInstance(5, Date(2003, 6, 29)));
    EXPECT_EQ(0, pattern.IsWeekendDayInstance(5, Date(2003, 6, 28)));
    const CDateTime bad(2003, 2, 29, 0, 0, 0);
    for (int instance = 1; instance <= 5; ++instance)
    {
        EXPECT_EQ(0, pattern.IsWeekDayInstance(instance, bad));
        EXPECT_EQ(0, pattern.IsWeekendDayInstance(instance, bad));
        EXPECT_EQ(0, pattern.IsDayInstance(instance, Wednesday, bad));
    }
}

TEST(RecurrenceDataMonths, FirstDayKeepsTheTimeOfDay)
{
    const CRecurrenceData pattern;
    EXPECT_EQ(CDateTime(2003, 5, 1, 15, 30, 0), pattern.GetFirstDayOfMonth(CDateTime(2003, 5, 12, 15, 30, 0)));
    EXPECT_EQ(CDateTime::invalid, pattern.GetFirstDayOfMonth(CDateTime(2003, 5, 32, 0, 0, 0)).GetStatus());
}

TEST(RecurrenceDataMonths, FirstFours)
{
    const CRecurrenceData pattern;
    EXPECT_EQ((std::vector<int>{2, 3, 4, 5}), Four(pattern.GetFirst4WeekDays(Date(2003, 6, 15))));
    EXPECT_EQ((std::vector<int>{1, 7, 8, 14}), Four(pattern.GetFirst4WeekendDays(Date(2003, 6, 15))));
    EXPECT_EQ((std::vector<int>{7, 14, 21, 28}), Four(pattern.GetFirst4MFCDays(4, Date(2003, 5, 20))));
    EXPECT_EQ((std::vector<int>{1, 8, 15, 22}), Four(pattern.GetFirst4MFCDays(5, Date(2003, 5, 20))));
    const CDateTime bad(2003, 2, 29, 0, 0, 0);
    EXPECT_EQ((std::vector<int>{-1, 6, 13, 20}), Four(pattern.GetFirst4MFCDays(4, bad)));
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}), Four(pattern.GetFirst4WeekDays(bad)));
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}), Four(pattern.GetFirst4WeekendDays(bad)));
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}), Four(pattern.GetFirst4MFCDays(0, Date(2003, 5, 20))));
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}), Four(pattern.GetFirst4MFCDays(8, Date(2003, 5, 20))));
}

TEST(RecurrenceDataMonths, LastDays)
{
    const CRecurrenceData pattern;
    EXPECT_EQ(26, pattern.GetLastMFCDay(6, Date(2003, 12, 1)));
    EXPECT_EQ(31, pattern.GetLastMFCDay(4, Date(2003, 12, 1)));
    EXPECT_EQ(30, pattern.GetLastWeekDay(Date(2003, 5, 1)));
    EXPECT_EQ(29, pattern.GetLastWeekDay(Date(2003, 8, 1)));
    EXPECT_EQ(31, pattern.GetLastWeekDay(Date(2003, 10, 1)));
    EXPECT_EQ(28, pattern.GetLastWeekendDay(Date(2003, 12, 1)));
    EXPECT_EQ(31, pattern.GetLastWeekendDay(Date(2003, 5, 1)));
    const CDateTime bad(2003, 2, 29, 0, 0, 0);
    EXPECT_EQ(-1, pattern.GetLastWeekDay(bad));
    EXPECT_EQ(-1, pattern.GetLastWeekendDay(bad));
    EXPECT_EQ(-1, pattern.GetLastMFCDay(3, bad));
    EXPECT_EQ(-1, pattern.GetLastMFCDay(0, Date(2003, 5, 1)));
}

TEST(RecurrenceDataMonths, AgreeWithTheCalendarForTwoCenturies)
{
    const CRecurrenceData pattern;
    const std::vector<CivilDay> days = WalkYears(1900, 201);
    for (const CivilDay& d : days)
    {
        if (d.day != d.monthLength)
            continue;
        const CDateTime date = Date(d.year, d.month, 10);
        for (int weekday = 1; weekday <= 7; ++weekday)
        {
            const int back = (d.weekday - weekday + 7) % 7;
            ASSERT_EQ(d.day - back, pattern.GetLastMFCDay(weekday, date)) << d.year << "-" << d.month;
            const std::vector<int> first = Four(pattern.GetFirst4MFCDays(weekday, date));
            ASSERT_EQ(first[0] + 21, first[3]);
            ASSERT_EQ(weekday, Date(d.year, d.month, first[0]).GetDayOfWeek());
            ASSERT_LE(first[0], 7);
        }
        ASSERT_EQ(d.lastWorkday ? d.day : d.day - (d.weekday == 1 ? 2 : 1), pattern.GetLastWeekDay(date));
    }
}

TEST(RecurrenceDataTime, WithinTimeIsHalfOpen)
{
    CRecurrenceData pattern;
    pattern.SetStartTime(10, 0, 0);
    pattern.SetEndTime(11, 0, 0);
    EXPECT_TRUE(pattern.IsWithinTime(CDateTime(2003, 5, 12, 10, 0, 0)));
    EXPECT_TRUE(pattern.IsWithinTime(CDateTime(2003, 5, 12, 10, 59, 59)));
    EXPECT_FALSE(pattern.IsWithinTime(CDateTime(2003, 5, 12, 11, 0, 0)));
    EXPECT_FALSE(pattern.IsWithinTime(CDateTime(2003, 5, 12, 9, 59, 59)));
    EXPECT_TRUE(pattern.IsWithinTime(CDateTime(1850, 1, 1, 10, 30, 0)));
    EXPECT_TRUE(pattern.IsWithinTime(CDateTime(2003, 5, 12, 9, 0, 0), CDateTime(2003, 5, 12, 10, 0, 1)));
    EXPECT_FALSE(pattern.IsWithinTime(CDateTime(2003, 5, 12, 9, 0, 0), CDateTime(2003, 5, 12, 10, 0, 0)));
    EXPECT_FALSE(pattern.IsWithinTime(CDateTime(2003, 5, 12, 11, 0, 0), CDateTime(2003, 5, 12, 12, 0, 0)));
    EXPECT_TRUE(pattern.IsWithinTime(CDateTime(2003, 5, 12, 10, 59, 0), CDateTime(2003, 5, 12, 12, 0, 0)));
}

TEST(RecurrenceDataTime, FreeOutsideTheOccurrences)
{
    CRecurrenceData pattern = Pattern(Weekly, 1, Monday, 2003, 5, 5);
    pattern.SetStartTime(10, 0, 0);
    pattern.SetEndTime(11, 0, 0);
    EXPECT_EQ(0, pattern.IsFree(CDateTime(2003, 5, 12, 10, 30, 0)));
    EXPECT_EQ(1, pattern.IsFree(CDateTime(2003, 5, 13, 10, 30, 0)));
    EXPECT_EQ(1, pattern.IsFree(CDateTime(2003, 5, 12, 11, 0, 0)));
    EXPECT_EQ(0, pattern.IsFree(CDateTime(2003, 5, 12, 9, 30, 0), CDateTime(2003, 5, 12, 10, 30, 0)));
    EXPECT_EQ(1, pattern.IsFree(CDateTime(2003, 5, 12, 9, 0, 0), CDateTime(2003, 5, 12, 10, 0, 0)));
    EXPECT_EQ(1, pattern.IsFree(CDateTime(2003, 5, 13, 9, 30, 0), CDateTime(2003, 5, 13, 10, 30, 0)));
    EXPECT_EQ(1, pattern.IsFree(CDateTime(2003, 5, 12, 9, 30, 0) + CDateTimeSpan(1e9)));
}
