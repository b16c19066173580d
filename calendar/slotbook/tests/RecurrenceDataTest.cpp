#include <slotbook/RecurrenceData.h>

#include <gtest/gtest.h>

#include <ctime>
#include <functional>
#include <memory>
#include <time.h>
#include <vector>

namespace {
constexpr int Daily = 0, Weekly = 1, Monthly = 2, MonthlyNth = 3, Yearly = 5, YearlyNth = 6;
constexpr unsigned Sunday = 1, Monday = 2, Wednesday = 8, Thursday = 16, Friday = 32, Saturday = 64;
constexpr unsigned Weekdays = 62, WeekendDays = 65, EveryDay = 127;

// A calendar day as the C library's calendar sees it; expectations are built
// from these, never from the code under test.
struct CivilDay {
    long index = 0; // days since the first day of the walk
    int year = 0, month = 0, day = 0, weekday = 0, monthLength = 0;
    int workdayOrdinal = 0, weekendOrdinal = 0; // nth of its kind in the month, 0 for the other kind
    bool lastOfItsKind = false;
};

bool IsWorkday(int weekday)
{
    return weekday >= 2 && weekday <= 6;
}

void MarkMonth(std::vector<CivilDay>& days, std::size_t first, std::size_t end)
{
    int workdays = 0, weekendDays = 0;
    for (std::size_t i = first; i < end; ++i) {
        if (IsWorkday(days[i].weekday))
            days[i].workdayOrdinal = ++workdays;
        else
            days[i].weekendOrdinal = ++weekendDays;
    }
    for (std::size_t i = first; i < end; ++i) {
        days[i].monthLength = static_cast<int>(end - first);
        days[i].lastOfItsKind = IsWorkday(days[i].weekday) ? days[i].workdayOrdinal == workdays
                                                           : days[i].weekendOrdinal == weekendDays;
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
    for (long index = 0;; ++index) {
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
        days.push_back(day);
    }
    std::size_t monthStart = 0;
    for (std::size_t i = 1; i <= days.size(); ++i) {
        if (i == days.size() || days[i].month != days[monthStart].month) {
            MarkMonth(days, monthStart, i);
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

bool InMask(unsigned mask, int weekday)
{
    return (mask & (1u << (weekday - 1))) != 0;
}

// The nth-of-the-month reading of a mask, as a person reads a calendar.
bool IsNth(const CivilDay& d, unsigned mask, int instance)
{
    if (mask == Weekdays || mask == WeekendDays) {
        const int ordinal = mask == Weekdays ? d.workdayOrdinal : d.weekendOrdinal;
        return ordinal > 0 && (instance == 5 ? d.lastOfItsKind : ordinal == instance);
    }
    if (mask == EveryDay)
        return instance == 5 ? d.day == d.monthLength : d.day == instance;
    int named = 1;
    while (named < 7 && !InMask(mask, named))
        ++named;
    return d.weekday == named &&
           (instance == 5 ? d.day + 7 > d.monthLength : (d.day - 1) / 7 + 1 == instance);
}

void ExpectOccurrences(const CRecurrenceData& pattern, const std::function<bool(const CivilDay&)>& expected)
{
    int occurrences = 0;
    for (const CivilDay& d : TwoYears()) {
        const int want = expected(d) ? 1 : 0;
        occurrences += want;
        ASSERT_EQ(want, pattern.OccursOn(d.day, d.month, d.year)) << d.month << "/" << d.day << "/" << d.year;
    }
    EXPECT_GT(occurrences, 0);
}

CRecurrenceData Pattern(int type, int interval, unsigned days, int startYear, int startMonth, int startDay,
                        int instance = 0)
{
    CRecurrenceData pattern(type);
    pattern.SetInterval(interval);
    pattern.SetDays(days);
    pattern.SetInstance(instance);
    pattern.SetStartDate(startYear, startMonth, startDay);
    return pattern;
}

long MonthsSince(int year, int month, const CivilDay& d)
{
    return (d.year - year) * 12L + d.month - month;
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
} // namespace

TEST(RecurrenceDataFields, ConstructionCopyAndSetters)
{
    const CRecurrenceData empty;
    EXPECT_EQ(0, empty.GetStatus());
    EXPECT_EQ(1, empty.GetInterval());
    EXPECT_EQ(CDateTime(), empty.GetStartDate());
    CRecurrenceData original = Pattern(MonthlyNth, 0, Wednesday, 2003, 5, 1, 4);
    EXPECT_EQ(1, original.GetStatus());
    EXPECT_EQ(1, original.GetInterval());
    original.SetInterval(-2);
    original.Ends(1);
    original.SetEndDate(Date(2004, 1, 1));
    original.SetStartTime(9, 30, 15);
    original.SetEndTime(17, 0, 0);
    const CRecurrenceData copy(original);
    EXPECT_EQ(-2, copy.GetInterval());
    EXPECT_EQ(4, copy.GetInstance());
    EXPECT_EQ(static_cast<int>(Wednesday), copy.GetDays());
    EXPECT_EQ(1, copy.GetEnds());
    EXPECT_EQ(Date(2004, 1, 1), copy.GetEndDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 9, 30, 15), copy.GetStartTime());
    EXPECT_DOUBLE_EQ(17.0 / 24.0, copy.GetEndTime().GetValue());
    EXPECT_EQ(37742.0, copy.GetStartDate().GetValue());
    original.SetStartTime(25, 0, 0);
    EXPECT_EQ(CDateTime::invalid, original.GetStartTime().GetStatus());
}

TEST(RecurrenceDataOccursOn, DailyOverTwoYears)
{
    const long start = 31 + 28 + 31 + 30; // 1 May 2003
    ExpectOccurrences(Pattern(Daily, 3, 0, 2003, 5, 1),
                      [start](const CivilDay& d) { return d.index >= start && (d.index - start) % 3 == 0; });
    const CRecurrenceData edges = Pattern(Daily, 3, 0, 2003, 5, 1);
    EXPECT_EQ(1, edges.OccursOn(4, 5, 2003));
    EXPECT_EQ(0, edges.OccursOn(5, 5, 2003));
    const CRecurrenceData masked = Pattern(Daily, 3, Weekdays, 2003, 5, 1);
    for (const CivilDay& d : TwoYears())
        ASSERT_EQ(0, masked.OccursOn(d.day, d.month, d.year));
    // Whole days are counted across the 1899 epoch too.
    EXPECT_EQ(1, Pattern(Daily, 7, 0, 1899, 12, 2).OccursOn(6, 1, 1900));
    EXPECT_EQ(0, Pattern(Daily, 7, 0, 1899, 12, 2).OccursOn(31, 12, 1899));
}

TEST(RecurrenceDataOccursOn, WeeklyOverTwoYears)
{
    const CRecurrenceData pattern = Pattern(Weekly, 2, Monday | Thursday, 2003, 5, 7);
    const long start = 31 + 28 + 31 + 30 + 6; // Wednesday 7 May 2003
    const long startSunday = start - 3;
    ExpectOccurrences(pattern, [&](const CivilDay& d) {
        const long sunday = d.index - (d.weekday - 1);
        return d.index >= start && InMask(Monday | Thursday, d.weekday) &&
               ((sunday - startSunday) / 7) % 2 == 0;
    });
    ExpectOccurrences(Pattern(Weekly, 1, WeekendDays, 2003, 1, 1),
                      [](const CivilDay& d) { return !IsWorkday(d.weekday); });
    const CRecurrenceData fortnight = Pattern(Weekly, 2, Monday, 2003, 5, 7);
    EXPECT_EQ(0, fortnight.OccursOn(5, 5, 2003));
    EXPECT_EQ(0, fortnight.OccursOn(12, 5, 2003));
    EXPECT_EQ(1, fortnight.OccursOn(19, 5, 2003));
    // 1 January 100 was a Friday: its week began before the calendar does.
    EXPECT_EQ(1, Pattern(Weekly, 1, Monday, 100, 1, 1).OccursOn(4, 1, 100));
    EXPECT_EQ(0, Pattern(Weekly, 1, Monday, 100, 1, 1).OccursOn(5, 1, 100));
    // Extreme intervals neither fault nor overflow.
    EXPECT_EQ(1, Pattern(Weekly, -1, Monday, 2003, 5, 5).OccursOn(12, 5, 2003));
    EXPECT_EQ(0, Pattern(Weekly, 2147483647, Monday, 2003, 5, 5).OccursOn(12, 5, 2003));
}

TEST(RecurrenceDataOccursOn, MonthlyOverTwoYears)
{
    CRecurrenceData pattern = Pattern(Monthly, 2, 0, 2003, 1, 15);
    pattern.SetDayOfMonth(31);
    ExpectOccurrences(pattern,
                      [](const CivilDay& d) { return d.day == 31 && MonthsSince(2003, 1, d) % 2 == 0; });
    pattern.SetInterval(1);
    EXPECT_EQ(1, pattern.OccursOn(31, 5, 2003));
    for (int day = 1; day <= 31; ++day)
        EXPECT_EQ(0, pattern.OccursOn(day, 6, 2003));
}

struct NthCase {
    unsigned mask;
    int instance;
    int interval;
};

class RecurrenceDataMonthlyNth : public ::testing::TestWithParam<NthCase> {};

TEST_P(RecurrenceDataMonthlyNth, OverTwoYears)
{
    const NthCase c = GetParam();
    ExpectOccurrences(Pattern(MonthlyNth, c.interval, c.mask, 2003, 2, 1, c.instance),
                      [&](const CivilDay& d) {
                          const bool started = d.year > 2003 || d.month >= 2;
                          return started && MonthsSince(2003, 2, d) % c.interval == 0 &&
                                 InMask(c.mask, d.weekday) && IsNth(d, c.mask, c.instance);
                      });
}

INSTANTIATE_TEST_SUITE_P(Masks, RecurrenceDataMonthlyNth,
                         ::testing::Values(NthCase{Weekdays, 1, 1}, NthCase{Weekdays, 3, 2},
                                           NthCase{Weekdays, 5, 1}, NthCase{WeekendDays, 2, 1},
                                           NthCase{WeekendDays, 5, 3}, NthCase{EveryDay, 1, 1},
                                           NthCase{EveryDay, 5, 1}, NthCase{Wednesday, 4, 1},
                                           NthCase{Friday, 5, 2}, NthCase{Sunday, 1, 1},
                                           NthCase{Saturday, 5, 1}));

TEST(RecurrenceDataOccursOn, MonthlyNthLastDayAndSeveralWeekdays)
{
    // February follows the Gregorian leap-year rule.
    const CRecurrenceData lastDay = Pattern(MonthlyNth, 1, EveryDay, 1899, 1, 1, 5);
    EXPECT_EQ(1, lastDay.OccursOn(28, 2, 1900));
    EXPECT_EQ(1, lastDay.OccursOn(28, 2, 2100));
    EXPECT_EQ(0, lastDay.OccursOn(28, 2, 2000));
    EXPECT_EQ(1, lastDay.OccursOn(29, 2, 2000));
    // Several named weekdays: the lowest one counts.
    const CRecurrenceData several = Pattern(MonthlyNth, 1, Monday | Wednesday, 2003, 1, 1, 1);
    EXPECT_EQ(1, several.OccursOn(5, 5, 2003));
    EXPECT_EQ(0, several.OccursOn(7, 5, 2003));
}

TEST(RecurrenceDataOccursOn, YearlyOverTwoYears)
{
    const CRecurrenceData pattern = Pattern(Yearly, 7, 0, 2001, 3, 15);
    ExpectOccurrences(pattern, [](const CivilDay& d) { return d.month == 3 && d.day == 15; });
    EXPECT_EQ(0, pattern.OccursOn(16, 3, 2004));
    EXPECT_EQ(0, pattern.OccursOn(15, 4, 2004));
    EXPECT_EQ(0, pattern.OccursOn(15, 3, 2000));
    ExpectOccurrences(Pattern(Yearly, 1, 0, 2000, 2, 29),
                      [](const CivilDay& d) { return d.month == 2 && d.day == 29; });
}

TEST(RecurrenceDataOccursOn, YearlyNthOverTwoYears)
{
    ExpectOccurrences(Pattern(YearlyNth, 3, Thursday, 2000, 11, 1, 4),
                      [](const CivilDay& d) { return d.month == 11 && IsNth(d, Thursday, 4); });
    ExpectOccurrences(Pattern(YearlyNth, 1, Weekdays, 2000, 12, 1, 5),
                      [](const CivilDay& d) { return d.month == 12 && IsNth(d, Weekdays, 5); });
    ExpectOccurrences(Pattern(YearlyNth, 1, WeekendDays, 2000, 6, 1, 2),
                      [](const CivilDay& d) { return d.month == 6 && IsNth(d, WeekendDays, 2); });
}

TEST(RecurrenceDataOccursOn, NeverOccurs)
{
    // Unused and unknown types, masks without weekdays, impossible dates and starts.
    std::vector<CRecurrenceData> never = {
        Pattern(4, 1, EveryDay, 2003, 1, 1, 1),    Pattern(7, 1, EveryDay, 2003, 1, 1, 1),
        Pattern(-1, 1, EveryDay, 2003, 1, 1, 1),   Pattern(YearlyNth, 1, 0, 2003, 5, 1, 1),
        Pattern(YearlyNth, 1, 128, 2003, 5, 1, 1), Pattern(Monthly, 1, 0, 2003, 2, 30)};
    never.back().SetDayOfMonth(5);
    for (const CRecurrenceData& pattern : never)
        for (const CivilDay& d : TwoYears())
            ASSERT_EQ(0, pattern.OccursOn(d.day, d.month, d.year)) << pattern.GetRecType();
    const CRecurrenceData daily = Pattern(Daily, 1, 0, 2003, 1, 1);
    EXPECT_EQ(0, daily.OccursOn(31, 6, 2003));
    EXPECT_EQ(0, daily.OccursOn(-1, -1, -1));
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

TEST(RecurrenceDataInstances, InvalidDatesAndInstancesNeverMatch)
{
    const CRecurrenceData p;
    EXPECT_EQ(1, p.IsWeekDayInstance(4, Date(2003, 6, 5)));
    EXPECT_EQ(1, p.IsWeekendDayInstance(5, Date(2003, 6, 29)));
    EXPECT_EQ(1, p.IsDayInstance(1, Monday | Wednesday | 128, Date(2003, 5, 5)));
    const CDateTime bad(2003, 2, 29, 0, 0, 0);
    for (int instance = 0; instance <= 6; ++instance) {
        EXPECT_EQ(0, p.IsDayInstance(instance, bad));
        EXPECT_EQ(0, p.IsWeekDayInstance(instance, bad));
        EXPECT_EQ(0, p.IsWeekendDayInstance(instance, bad));
        EXPECT_EQ(0, p.IsDayInstance(instance, Wednesday, bad));
        EXPECT_EQ(0, p.IsDayInstance(instance, 0, Date(2003, 5, 5)));
    }
    EXPECT_EQ(0, p.IsDayInstance(6, Date(2003, 5, 6)));
}

TEST(RecurrenceDataMonths, KnownMonthsAndInvalidDates)
{
    const CRecurrenceData p;
    EXPECT_EQ(CDateTime(2003, 5, 1, 15, 30, 0), p.GetFirstDayOfMonth(CDateTime(2003, 5, 12, 15, 30, 0)));
    EXPECT_EQ((std::vector<int>{2, 3, 4, 5}), Four(p.GetFirst4WeekDays(Date(2003, 6, 15))));
    EXPECT_EQ((std::vector<int>{1, 7, 8, 14}), Four(p.GetFirst4WeekendDays(Date(2003, 6, 15))));
    EXPECT_EQ(26, p.GetLastMFCDay(6, Date(2003, 12, 1)));
    EXPECT_EQ(28, p.GetLastWeekendDay(Date(2003, 12, 1)));
    EXPECT_EQ(31, p.GetLastWeekendDay(Date(2003, 5, 1)));
    const CDateTime bad(2003, 2, 29, 0, 0, 0);
    EXPECT_EQ(CDateTime::invalid, p.GetFirstDayOfMonth(bad).GetStatus());
    EXPECT_EQ((std::vector<int>{-1, 6, 13, 20}), Four(p.GetFirst4MFCDays(4, bad)));
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}), Four(p.GetFirst4WeekDays(bad)));
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}), Four(p.GetFirst4WeekendDays(bad)));
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1}), Four(p.GetFirst4MFCDays(8, Date(2003, 5, 20))));
    EXPECT_EQ(-1, p.GetLastWeekDay(bad));
    EXPECT_EQ(-1, p.GetLastWeekendDay(bad));
    EXPECT_EQ(-1, p.GetLastMFCDay(3, bad));
    EXPECT_EQ(-1, p.GetLastMFCDay(0, Date(2003, 5, 1)));
}

TEST(RecurrenceDataMonths, AgreeWithTheCalendarForTwoCenturies)
{
    const CRecurrenceData p;
    for (const CivilDay& d : WalkYears(1900, 201)) {
        if (d.day != d.monthLength)
            continue;
        const CDateTime date = Date(d.year, d.month, 10);
        for (int weekday = 1; weekday <= 7; ++weekday) {
            ASSERT_EQ(d.day - (d.weekday - weekday + 7) % 7, p.GetLastMFCDay(weekday, date));
            const std::vector<int> first = Four(p.GetFirst4MFCDays(weekday, date));
            ASSERT_EQ(first[0] + 21, first[3]);
            ASSERT_LE(first[0], 7);
            ASSERT_EQ(weekday, Date(d.year, d.month, first[0]).GetDayOfWeek());
        }
        const int lastWorkday = IsWorkday(d.weekday) ? d.day : d.day - (d.weekday == 1 ? 2 : 1);
        ASSERT_EQ(lastWorkday, p.GetLastWeekDay(date)) << d.year << "-" << d.month;
    }
}

TEST(RecurrenceDataTime, WithinTimeAndFreedom)
{
    CRecurrenceData pattern = Pattern(Weekly, 1, Monday, 2003, 5, 5);
    pattern.SetStartTime(10, 0, 0);
    pattern.SetEndTime(11, 0, 0);
    const auto at = [](int day, int hour, int minute) { return CDateTime(2003, 5, day, hour, minute, 0); };
    EXPECT_TRUE(pattern.IsWithinTime(at(12, 10, 0)));
    EXPECT_FALSE(pattern.IsWithinTime(at(12, 11, 0)));
    EXPECT_TRUE(pattern.IsWithinTime(CDateTime(1850, 1, 1, 10, 30, 0)));
    EXPECT_TRUE(pattern.IsWithinTime(at(12, 9, 0), at(12, 10, 1)));
    EXPECT_FALSE(pattern.IsWithinTime(at(12, 9, 0), at(12, 10, 0)));
    EXPECT_FALSE(pattern.IsWithinTime(at(12, 11, 0), at(12, 12, 0)));
    EXPECT_EQ(0, pattern.IsFree(at(12, 10, 30)));
    EXPECT_EQ(1, pattern.IsFree(at(13, 10, 30)));
    EXPECT_EQ(1, pattern.IsFree(at(12, 11, 0)));
    EXPECT_EQ(0, pattern.IsFree(at(12, 9, 30), at(12, 10, 30)));
    EXPECT_EQ(1, pattern.IsFree(at(12, 9, 0), at(12, 10, 0)));
    EXPECT_EQ(1, pattern.IsFree(at(13, 9, 30), at(13, 10, 30)));
    EXPECT_EQ(1, pattern.IsFree(at(12, 10, 30) + CDateTimeSpan(1e9)));
}
