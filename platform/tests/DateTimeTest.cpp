#include <platform/DateTime.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <time.h>
#include <vector>

namespace
{
constexpr double OneSecond = 1.0 / 86400.0;

void ExpectFields(const CDateTime& value, int year, int month, int day, int hour, int minute, int second)
{
    EXPECT_EQ(year, value.GetYear());
    EXPECT_EQ(month, value.GetMonth());
    EXPECT_EQ(day, value.GetDay());
    EXPECT_EQ(hour, value.GetHour());
    EXPECT_EQ(minute, value.GetMinute());
    EXPECT_EQ(second, value.GetSecond());
}

void ExpectAllFieldsUnset(const CDateTime& value)
{
    ExpectFields(value, -1, -1, -1, -1, -1, -1);
    EXPECT_EQ(-1, value.GetDayOfWeek());
}

// Parses the rendering of a value and expects the same instant back, to the
// second.
void ExpectRoundTrip(const CDateTime& original)
{
    const std::string text = original.Format();
    CDateTime parsed;
    ASSERT_TRUE(parsed.ParseDateTime(text)) << text;
    EXPECT_EQ(text, parsed.Format());
    const double apart = (parsed - original).GetTotalDays();
    EXPECT_LE(std::fabs(apart), 0.5 * OneSecond) << text << " from " << original.GetValue();
    ExpectFields(parsed, original.GetYear(), original.GetMonth(), original.GetDay(), original.GetHour(),
                 original.GetMinute(), original.GetSecond());
}

CDateTime Parsed(const std::string& text)
{
    CDateTime value;
    EXPECT_TRUE(value.ParseDateTime(text)) << text;
    return value;
}

// Temporarily replaces TZ and puts it back afterwards.
class ScopedTimeZone
{
public:
    explicit ScopedTimeZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (m_had)
            m_old = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ScopedTimeZone()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    bool m_had = false;
    std::string m_old;
};
}

TEST(DateTimeConstruction, DefaultIsTheValidZero)
{
    CDateTime value;
    EXPECT_EQ(CDateTime::valid, value.GetStatus());
    EXPECT_EQ(0.0, value.GetValue());
    ExpectFields(value, 1899, 12, 30, 0, 0, 0);
    EXPECT_EQ(7, value.GetDayOfWeek());
}

TEST(DateTimeConstruction, KnownOleValues)
{
    ExpectFields(CDateTime(2.0), 1900, 1, 1, 0, 0, 0);
    EXPECT_EQ(2, CDateTime(2.0).GetDayOfWeek());
    ExpectFields(CDateTime(37753.0), 2003, 5, 12, 0, 0, 0);
    EXPECT_EQ(2, CDateTime(37753.0).GetDayOfWeek());
    ExpectFields(CDateTime(1.0), 1899, 12, 31, 0, 0, 0);
    ExpectFields(CDateTime(37753.5), 2003, 5, 12, 12, 0, 0);
    ExpectFields(CDateTime(-657434.0), 100, 1, 1, 0, 0, 0);
    ExpectFields(CDateTime(2958465.0), 9999, 12, 31, 0, 0, 0);
}

TEST(DateTimeConstruction, NegativeValuesCountTheTimeOfDayForward)
{
    ExpectFields(CDateTime(-1.25), 1899, 12, 29, 6, 0, 0);
    ExpectFields(CDateTime(-1.75), 1899, 12, 29, 18, 0, 0);
    ExpectFields(CDateTime(-2.5), 1899, 12, 28, 12, 0, 0);
    ExpectFields(CDateTime(-0.5), 1899, 12, 30, 12, 0, 0);
    EXPECT_EQ(6, CDateTime(-1.25).GetDayOfWeek());
}

TEST(DateTimeConstruction, FromFieldsGivesTheOleValue)
{
    EXPECT_EQ(37753.0, CDateTime(2003, 5, 12, 0, 0, 0).GetValue());
    EXPECT_EQ(-1.25, CDateTime(1899, 12, 29, 6, 0, 0).GetValue());
    EXPECT_EQ(0.75, CDateTime(1899, 12, 30, 18, 0, 0).GetValue());
    EXPECT_EQ(-657434.0, CDateTime(100, 1, 1, 0, 0, 0).GetValue());
}

TEST(DateTimeConstruction, ImpossibleFieldsAreInvalid)
{
    EXPECT_EQ(CDateTime::invalid, CDateTime(2021, 2, 29, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(1900, 2, 29, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2100, 2, 29, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2020, 13, 1, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2020, 0, 1, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2020, 4, 31, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2020, 1, 1, 24, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2020, 1, 1, 0, 60, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2020, 1, 1, 0, 0, 60).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(1000, 1, 1, -1, -1, -1).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(99, 12, 31, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(10000, 1, 1, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::valid, CDateTime(2000, 2, 29, 0, 0, 0).GetStatus());
    EXPECT_EQ(CDateTime::valid, CDateTime(2020, 2, 29, 0, 0, 0).GetStatus());
}

TEST(DateTimeConstruction, OleValuesOutsideTheRangeAreInvalid)
{
    EXPECT_EQ(CDateTime::invalid, CDateTime(-657435.0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2958466.0).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(2958465.99999999).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(std::nan("")).GetStatus());
    EXPECT_EQ(CDateTime::invalid, CDateTime(1e300).GetStatus());
    EXPECT_EQ(CDateTime::valid, CDateTime(-657434.99).GetStatus());
    EXPECT_EQ(CDateTime::valid, CDateTime(2958465.9999).GetStatus());
}

TEST(DateTimeFields, AgreeWithTheCLibraryCalendar)
{
    // gmtime_r is an independent source of civil dates and weekdays.
    for (long long day = -657434; day <= 2958465; day += 997)
    {
        const std::time_t instant = static_cast<std::time_t>((day - 25569) * 86400);
        std::tm expected{};
        ASSERT_NE(nullptr, gmtime_r(&instant, &expected));
        const CDateTime value(static_cast<double>(day));
        ASSERT_EQ(expected.tm_year + 1900, value.GetYear()) << day;
        ASSERT_EQ(expected.tm_mon + 1, value.GetMonth()) << day;
        ASSERT_EQ(expected.tm_mday, value.GetDay()) << day;
        ASSERT_EQ(expected.tm_wday + 1, value.GetDayOfWeek()) << day;
    }
}

TEST(DateTimeFields, RoundedToTheNearestSecond)
{
    ExpectFields(CDateTime(0.999999999), 1899, 12, 31, 0, 0, 0);
    ExpectFields(CDateTime(0.5 + 0.4 * OneSecond), 1899, 12, 30, 12, 0, 0);
    ExpectFields(CDateTime(0.5 + 0.6 * OneSecond), 1899, 12, 30, 12, 0, 1);
    ExpectFields(CDateTime(37753.0 - 0.3 * OneSecond), 2003, 5, 12, 0, 0, 0);
}

TEST(DateTimeFields, UnsetWhenNotValid)
{
    ExpectAllFieldsUnset(CDateTime(2021, 2, 30, 0, 0, 0));
    CDateTime nullValue(37753.0);
    nullValue.SetStatus(CDateTime::null);
    ExpectAllFieldsUnset(nullValue);
}

TEST(DateTimeStatus, SetStatusKeepsTheValue)
{
    CDateTime value(37753.5);
    value.SetStatus(CDateTime::invalid);
    EXPECT_EQ(CDateTime::invalid, value.GetStatus());
    EXPECT_EQ(37753.5, value.GetValue());
    value.SetStatus(CDateTime::valid);
    EXPECT_EQ(CDateTime::valid, value.GetStatus());
    ExpectFields(value, 2003, 5, 12, 12, 0, 0);
}

TEST(DateTimeStatus, OutOfRangeStaysInvalid)
{
    CDateTime value(1e7);
    value.SetStatus(CDateTime::valid);
    EXPECT_EQ(CDateTime::invalid, value.GetStatus());
}

TEST(DateTimeFormat, TheSharedRendering)
{
    EXPECT_EQ("12/7/2026 9:49:22 AM", CDateTime(2026, 12, 7, 9, 49, 22).Format());
    EXPECT_EQ("12/7/2026 9:49:22 PM", CDateTime(2026, 12, 7, 21, 49, 22).Format());
    EXPECT_EQ("1/5/2003 12:05:09 PM", CDateTime(2003, 1, 5, 12, 5, 9).Format());
    EXPECT_EQ("1/5/2003 12:00:01 AM", CDateTime(2003, 1, 5, 0, 0, 1).Format());
    EXPECT_EQ("5/12/2003", CDateTime(37753.0).Format());
    EXPECT_EQ("1/1/100", CDateTime(100, 1, 1, 0, 0, 0).Format());
    EXPECT_EQ("12/31/9999 11:59:59 PM", CDateTime(9999, 12, 31, 23, 59, 59).Format());
}

TEST(DateTimeFormat, TheZeroDayShowsTheTimeAlone)
{
    EXPECT_EQ("12:00:00 AM", CDateTime().Format());
    EXPECT_EQ("9:49:22 AM", CDateTime(1899, 12, 30, 9, 49, 22).Format());
    EXPECT_EQ("6:00:00 PM", CDateTime(0.75).Format());
    EXPECT_EQ("12/29/1899 6:00:00 AM", CDateTime(-1.25).Format());
    EXPECT_EQ("12/31/1899", CDateTime(0.999999999).Format());
}

TEST(DateTimeFormat, InvalidAndNull)
{
    EXPECT_EQ("Invalid DateTime", CDateTime(2021, 2, 30, 0, 0, 0).Format());
    CDateTime nullValue;
    nullValue.SetStatus(CDateTime::null);
    EXPECT_EQ("", nullValue.Format());
}

TEST(DateTimeParse, EveryRenderingReadsBack)
{
    ExpectRoundTrip(CDateTime(2026, 12, 7, 9, 49, 22));
    ExpectRoundTrip(CDateTime(2026, 12, 7, 0, 0, 0));
    ExpectRoundTrip(CDateTime(1899, 12, 30, 9, 49, 22));
    ExpectRoundTrip(CDateTime());
    ExpectRoundTrip(CDateTime(1899, 12, 30, 12, 0, 0));
    ExpectRoundTrip(CDateTime(1899, 12, 30, 23, 59, 59));
}

TEST(DateTimeParse, SampledDatesFromYear100To9999ReadBack)
{
    for (int year = 100; year <= 9999; year += 37)
    {
        const int month = year % 12 + 1;
        const int day = year % 28 + 1;
        ExpectRoundTrip(CDateTime(year, month, day, year % 24, year % 60, (year / 7) % 60));
        ExpectRoundTrip(CDateTime(year, month, day, 0, 0, 0));
    }
}

TEST(DateTimeParse, NegativeValuesWithATimeOfDayReadBack)
{
    for (double day = -657433.0; day < 0.0; day += 4219.0)
    {
        for (double fraction : {0.0, 0.25, 0.5, 0.999, 0.123456789})
            ExpectRoundTrip(CDateTime(day - fraction));
    }
    ExpectRoundTrip(CDateTime(-1.25));
    ExpectRoundTrip(CDateTime(-1.0));
    ExpectRoundTrip(CDateTime(-0.5));
}

TEST(DateTimeParse, PositiveValuesWithFractionsReadBack)
{
    for (double day = 0.0; day < 2958465.0; day += 7919.0)
    {
        for (double fraction : {0.0, 0.0001, 0.333333333, 0.75, 0.99999})
            ExpectRoundTrip(CDateTime(day + fraction));
    }
}

TEST(DateTimeParse, TwentyFourHourTimes)
{
    EXPECT_EQ(CDateTime(1899, 12, 30, 8, 0, 0), Parsed("8:00:00"));
    EXPECT_EQ(CDateTime(1899, 12, 30, 18, 0, 0), Parsed("18:00:00"));
    EXPECT_EQ(CDateTime(1899, 12, 30, 8, 0, 0), Parsed("8:00"));
    EXPECT_EQ(CDateTime(1899, 12, 30, 0, 30, 0), Parsed("0:30"));
    EXPECT_EQ(CDateTime(2003, 5, 12, 18, 30, 0), Parsed("5/12/2003 18:30"));
}

TEST(DateTimeParse, TwelveHourClockEdges)
{
    EXPECT_EQ(0.0, Parsed("12:00:00 AM").GetValue());
    EXPECT_EQ(0.5, Parsed("12:00:00 PM").GetValue());
    EXPECT_EQ(CDateTime(1899, 12, 30, 13, 15, 0), Parsed("1:15 pm"));
    EXPECT_EQ(CDateTime(1899, 12, 30, 11, 59, 59), Parsed("11:59:59 AM"));
}

TEST(DateTimeParse, IsoForms)
{
    EXPECT_EQ(CDateTime(2026, 12, 7, 9, 49, 22), Parsed("2026-12-07 09:49:22"));
    EXPECT_EQ(CDateTime(2026, 12, 7, 9, 49, 0), Parsed("2026-12-07T09:49"));
    EXPECT_EQ(CDateTime(2026, 12, 7, 0, 0, 0), Parsed("2026-12-07"));
    EXPECT_EQ(CDateTime(1899, 12, 29, 6, 0, 0), Parsed("1899-12-29T06:00:00"));
}

TEST(DateTimeParse, SurroundingBlanksAreTolerated)
{
    EXPECT_EQ(CDateTime(2003, 5, 12, 9, 0, 0), Parsed("  5/12/2003 9:00:00 AM\t"));
    EXPECT_EQ(CDateTime(2003, 5, 12, 0, 0, 0), Parsed(" 2003-05-12 "));
}

TEST(DateTimeParse, MalformedTextsFail)
{
    const char* texts[] = {"",
                           "   ",
                           "13/1/2020",
                           "2/30/2021",
                           "2/29/1900",
                           "1/1/2020 25:00",
                           "1/1/2020 10:00 XM",
                           "1/1/2020 10:00 AMX",
                           "1/1/2020 10:00:00 AM junk",
                           "1/1/2020x",
                           "42",
                           "37753.5",
                           "0:30 PM",
                           "13:00 PM",
                           "10:7",
                           "10:07:5",
                           "10:",
                           ":10",
                           "1/1/99",
                           "1/1/12345",
                           "123/1/2020",
                           "1/1/20209:00",
                           "2026-12-7",
                           "2026-12-07 9:49",
                           "2026-12-07X09:49",
                           "2026-13-01",
                           "2026-12-07T24:00",
                           "12/7/2026 9:49:22 AM PM",
                           "-1/1/2020",
                           "1/-1/2020",
                           "Invalid DateTime"};
    for (const char* text : texts)
    {
        CDateTime value(37753.0);
        EXPECT_FALSE(value.ParseDateTime(text)) << '"' << text << '"';
        EXPECT_EQ(CDateTime::invalid, value.GetStatus()) << '"' << text << '"';
    }
}

TEST(DateTimeParse, EmbeddedNulFails)
{
    CDateTime value;
    EXPECT_FALSE(value.ParseDateTime(std::string("5/12/2003\0junk", 14)));
}

TEST(DateTimeParse, SuccessAfterFailureIsValid)
{
    CDateTime value;
    EXPECT_FALSE(value.ParseDateTime("nonsense"));
    EXPECT_TRUE(value.ParseDateTime("5/12/2003"));
    EXPECT_EQ(CDateTime::valid, value.GetStatus());
    EXPECT_EQ(37753.0, value.GetValue());
}

TEST(DateTimeComparison, TrueInstantOrderAcross1899)
{
    EXPECT_TRUE(CDateTime(-1.25) > CDateTime(-1.0));
    EXPECT_TRUE(CDateTime(-1.25) < CDateTime(0.0));
    EXPECT_TRUE(CDateTime(-2.5) < CDateTime(-1.25));
    EXPECT_TRUE(CDateTime(-1.75) > CDateTime(-1.25));
    EXPECT_TRUE(CDateTime(-0.5) == CDateTime(0.5));
    EXPECT_TRUE(CDateTime(-1.0) <= CDateTime(-1.25));
    EXPECT_TRUE(CDateTime(-1.25) >= CDateTime(-1.25));
    EXPECT_TRUE(CDateTime(-1.25) != CDateTime(-1.0));
}

TEST(DateTimeComparison, SortingFollowsTheCalendar)
{
    std::vector<CDateTime> values;
    for (int day = 26; day <= 31; ++day)
        for (int hour : {0, 6, 18})
            values.emplace_back(1899, 12, day, hour, 0, 0);
    std::vector<CDateTime> shuffled = values;
    std::reverse(shuffled.begin(), shuffled.end());
    std::rotate(shuffled.begin(), shuffled.begin() + 5, shuffled.end());
    std::sort(shuffled.begin(), shuffled.end());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(values[i].Format(), shuffled[i].Format());
}

TEST(DateTimeComparison, SubMillisecondNoiseIsEqual)
{
    const CDateTime nine(2003, 5, 12, 9, 0, 0);
    const CDateTime ten(2003, 5, 12, 10, 0, 0);
    EXPECT_TRUE(nine + CDateTimeSpan(0, 0, 60, 0) == ten);
    EXPECT_FALSE(nine + CDateTimeSpan(0, 0, 60, 0) > ten);
    EXPECT_TRUE(CDateTime(37753.0) < CDateTime(37753.0 + 0.002 * OneSecond));
}

TEST(DateTimeComparison, NotValidOrdersAfterValid)
{
    CDateTime bad(2021, 2, 30, 0, 0, 0);
    CDateTime nullValue;
    nullValue.SetStatus(CDateTime::null);
    EXPECT_TRUE(CDateTime(2958465.0) < bad);
    EXPECT_TRUE(bad < nullValue);
    EXPECT_TRUE(bad == CDateTime(-1e9));
    EXPECT_FALSE(bad == CDateTime(0.0));
    EXPECT_FALSE(nullValue == bad);
}

TEST(DateTimeArithmetic, AddingSpansCrosses1899)
{
    const CDateTime earlyMorning(-1.25);
    EXPECT_EQ(-1.75, (earlyMorning + CDateTimeSpan(0.5)).GetValue());
    EXPECT_EQ(0.25, (earlyMorning + CDateTimeSpan(1.0)).GetValue());
    EXPECT_EQ(-1.25, (CDateTime(0.25) - CDateTimeSpan(1.0)).GetValue());
    EXPECT_EQ(-2.0, (CDateTime(0.0) - CDateTimeSpan(2.0)).GetValue());
}

TEST(DateTimeArithmetic, DifferenceIsTheLinearSpan)
{
    EXPECT_DOUBLE_EQ(-0.75, (CDateTime(-1.25) - CDateTime(0.0)).GetTotalDays());
    EXPECT_DOUBLE_EQ(0.25, (CDateTime(0.0) - CDateTime(-1.75)).GetTotalDays());
    EXPECT_DOUBLE_EQ(-0.75, (CDateTime(-1.0) - CDateTime(-1.75)).GetTotalDays());
    EXPECT_EQ(90, (CDateTime(2003, 5, 12, 11, 0, 0) - CDateTime(2003, 5, 12, 9, 30, 0)).GetWholeMinutes());
    EXPECT_EQ(365, (CDateTime(2004, 1, 1, 0, 0, 0) - CDateTime(2003, 1, 1, 0, 0, 0)).GetWholeDays());
}

TEST(DateTimeArithmetic, CompoundAssignment)
{
    CDateTime value(2003, 5, 12, 9, 0, 0);
    value += CDateTimeSpan(0, 1, 30, 0);
    ExpectFields(value, 2003, 5, 12, 10, 30, 0);
    value -= CDateTimeSpan(1.0);
    ExpectFields(value, 2003, 5, 11, 10, 30, 0);
}

TEST(DateTimeArithmetic, InvalidIsContagious)
{
    const CDateTime bad(2021, 2, 30, 0, 0, 0);
    EXPECT_EQ(CDateTime::invalid, (bad + CDateTimeSpan(1.0)).GetStatus());
    EXPECT_EQ(CDateTime::invalid, (CDateTime(1.0) + CDateTimeSpan(1e9)).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, (bad - CDateTime(1.0)).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, (CDateTime(1.0) - bad).GetStatus());
    CDateTime nullValue;
    nullValue.SetStatus(CDateTime::null);
    EXPECT_EQ(CDateTime::invalid, (nullValue + CDateTimeSpan(1.0)).GetStatus());
}

TEST(DateTimeArithmetic, LeavingTheRangeIsInvalid)
{
    EXPECT_EQ(CDateTime::invalid, (CDateTime(9999, 12, 31, 23, 0, 0) + CDateTimeSpan(1.0)).GetStatus());
    EXPECT_EQ(CDateTime::invalid, (CDateTime(100, 1, 1, 0, 0, 0) - CDateTimeSpan(0, 0, 0, 1)).GetStatus());
    EXPECT_EQ(CDateTime::valid, (CDateTime(100, 1, 1, 0, 0, 1) - CDateTimeSpan(0, 0, 0, 1)).GetStatus());
}

TEST(DateTimeCurrentTime, CloseToTheSystemClock)
{
    const std::time_t before = std::time(nullptr);
    const CDateTime now = CDateTime::GetCurrentTime();
    const std::time_t after = std::time(nullptr);
    std::tm local{};
    ASSERT_NE(nullptr, localtime_r(&before, &local));
    const CDateTime expected(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min,
                             local.tm_sec);
    EXPECT_EQ(CDateTime::valid, now.GetStatus());
    const double apart = (now - expected).GetTotalDays() * 86400.0;
    EXPECT_GE(apart, -0.5);
    EXPECT_LE(apart, static_cast<double>(after - before) + 1.0);
}

TEST(DateTimeCurrentTime, HonoursTheTimeZone)
{
    CDateTime utc, ahead;
    {
        ScopedTimeZone zone("UTC0");
        utc = CDateTime::GetCurrentTime();
    }
    {
        ScopedTimeZone zone("ZZZ-5");
        ahead = CDateTime::GetCurrentTime();
    }
    const double hours = (ahead - utc).GetTotalDays() * 24.0;
    EXPECT_NEAR(5.0, hours, 2.0 / 3600.0);
}
