#include <platform/DateTime.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <time.h>
#include <vector>

namespace {
constexpr double OneSecond = 1.0 / 86400.0;

std::vector<int> FieldsOf(const CDateTime& value)
{
    return {value.GetYear(), value.GetMonth(),  value.GetDay(),
            value.GetHour(), value.GetMinute(), value.GetSecond()};
}

// Format, parse back, and expect the same instant to the second.
void ExpectRoundTrip(const CDateTime& original)
{
    const std::string text = original.Format();
    CDateTime parsed;
    ASSERT_TRUE(parsed.ParseDateTime(text)) << text;
    EXPECT_LE(std::fabs((parsed - original).GetTotalDays()), 0.5 * OneSecond) << text;
    EXPECT_EQ(FieldsOf(original), FieldsOf(parsed)) << text;
}

CDateTime Parsed(const std::string& text)
{
    CDateTime value;
    EXPECT_TRUE(value.ParseDateTime(text)) << text;
    return value;
}

CDateTime Null()
{
    CDateTime value;
    value.SetStatus(CDateTime::null);
    return value;
}

CDateTime NowIn(const char* zone)
{
    const char* old = std::getenv("TZ");
    const std::string saved = old != nullptr ? old : "";
    setenv("TZ", zone, 1);
    const CDateTime now = CDateTime::GetCurrentTime();
    if (old != nullptr)
        setenv("TZ", saved.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
    return now;
}
} // namespace

TEST(DateTimeFields, KnownValuesOnBothSidesOf1899)
{
    EXPECT_EQ((std::vector<int>{1899, 12, 30, 0, 0, 0}), FieldsOf(CDateTime()));
    EXPECT_EQ((std::vector<int>{1900, 1, 1, 0, 0, 0}), FieldsOf(CDateTime(2.0)));
    EXPECT_EQ(2, CDateTime(2.0).GetDayOfWeek());
    EXPECT_EQ((std::vector<int>{2003, 5, 12, 12, 0, 0}), FieldsOf(CDateTime(37753.5)));
    EXPECT_EQ(2, CDateTime(37753.0).GetDayOfWeek());
    EXPECT_EQ((std::vector<int>{1899, 12, 29, 6, 0, 0}), FieldsOf(CDateTime(-1.25)));
    EXPECT_EQ((std::vector<int>{1899, 12, 28, 12, 0, 0}), FieldsOf(CDateTime(-2.5)));
    EXPECT_EQ((std::vector<int>{1899, 12, 30, 12, 0, 0}), FieldsOf(CDateTime(-0.5)));
    EXPECT_EQ((std::vector<int>{100, 1, 1, 0, 0, 0}), FieldsOf(CDateTime(-657434.0)));
    EXPECT_EQ((std::vector<int>{9999, 12, 31, 0, 0, 0}), FieldsOf(CDateTime(2958465.0)));
    EXPECT_EQ(-1.25, CDateTime(1899, 12, 29, 6, 0, 0).GetValue());
    EXPECT_EQ(37753.0, CDateTime(2003, 5, 12, 0, 0, 0).GetValue());
}

TEST(DateTimeFields, AgreeWithTheCLibraryCalendar)
{
    for (long long day = -657434; day <= 2958465; day += 997) {
        const std::time_t instant = static_cast<std::time_t>((day - 25569) * 86400);
        std::tm expected{};
        ASSERT_NE(nullptr, gmtime_r(&instant, &expected));
        const CDateTime value(static_cast<double>(day));
        ASSERT_EQ((std::vector<int>{expected.tm_year + 1900, expected.tm_mon + 1, expected.tm_mday, 0, 0, 0}),
                  FieldsOf(value));
        ASSERT_EQ(expected.tm_wday + 1, value.GetDayOfWeek()) << day;
    }
}

TEST(DateTimeFields, RoundedToTheNearestSecond)
{
    EXPECT_EQ((std::vector<int>{1899, 12, 31, 0, 0, 0}), FieldsOf(CDateTime(0.999999999)));
    EXPECT_EQ(0, CDateTime(0.5 + 0.4 * OneSecond).GetSecond());
    EXPECT_EQ(1, CDateTime(0.5 + 0.6 * OneSecond).GetSecond());
}

TEST(DateTimeStatus, ImpossibleAndOutOfRangeValuesAreInvalid)
{
    const int bad[][6] = {{2021, 2, 29, 0, 0, 0}, {1900, 2, 29, 0, 0, 0},   {2020, 13, 1, 0, 0, 0},
                          {2020, 4, 31, 0, 0, 0}, {2020, 1, 1, 24, 0, 0},   {2020, 1, 1, 0, 60, 0},
                          {2020, 1, 1, 0, 0, 60}, {1000, 1, 1, -1, -1, -1}, {99, 12, 31, 0, 0, 0},
                          {10000, 1, 1, 0, 0, 0}};
    for (const auto& f : bad) {
        const CDateTime value(f[0], f[1], f[2], f[3], f[4], f[5]);
        EXPECT_EQ(CDateTime::invalid, value.GetStatus()) << f[0] << "-" << f[1] << "-" << f[2];
        EXPECT_EQ((std::vector<int>{-1, -1, -1, -1, -1, -1}), FieldsOf(value));
        EXPECT_EQ(-1, value.GetDayOfWeek());
    }
    EXPECT_EQ(CDateTime::valid, CDateTime(2000, 2, 29, 0, 0, 0).GetStatus());
    for (double ole : {-657435.0, 2958466.0, 2958465.99999999, std::nan(""), 1e300})
        EXPECT_EQ(CDateTime::invalid, CDateTime(ole).GetStatus()) << ole;
    EXPECT_EQ(CDateTime::valid, CDateTime(-657434.99).GetStatus());
    EXPECT_EQ((std::vector<int>{-1, -1, -1, -1, -1, -1}), FieldsOf(Null()));
}

TEST(DateTimeStatus, SetStatusKeepsTheValueButNotAnImpossibleOne)
{
    CDateTime value(37753.5);
    value.SetStatus(CDateTime::invalid);
    EXPECT_EQ(37753.5, value.GetValue());
    value.SetStatus(CDateTime::valid);
    EXPECT_EQ(12, value.GetHour());
    CDateTime far(1e7);
    far.SetStatus(CDateTime::valid);
    EXPECT_EQ(CDateTime::invalid, far.GetStatus());
}

TEST(DateTimeFormat, TheSharedRendering)
{
    EXPECT_EQ("12/7/2026 9:49:22 AM", CDateTime(2026, 12, 7, 9, 49, 22).Format());
    EXPECT_EQ("12/7/2026 9:49:22 PM", CDateTime(2026, 12, 7, 21, 49, 22).Format());
    EXPECT_EQ("1/5/2003 12:05:09 PM", CDateTime(2003, 1, 5, 12, 5, 9).Format());
    EXPECT_EQ("1/5/2003 12:00:01 AM", CDateTime(2003, 1, 5, 0, 0, 1).Format());
    EXPECT_EQ("5/12/2003", CDateTime(37753.0).Format());
    EXPECT_EQ("1/1/100", CDateTime(100, 1, 1, 0, 0, 0).Format());
    EXPECT_EQ("12:00:00 AM", CDateTime().Format());
    EXPECT_EQ("9:49:22 AM", CDateTime(1899, 12, 30, 9, 49, 22).Format());
    EXPECT_EQ("12/29/1899 6:00:00 AM", CDateTime(-1.25).Format());
    EXPECT_EQ("12/31/1899", CDateTime(0.999999999).Format());
    EXPECT_EQ("Invalid DateTime", CDateTime(2021, 2, 30, 0, 0, 0).Format());
    EXPECT_EQ("", Null().Format());
}

TEST(DateTimeParse, EveryRenderingReadsBack)
{
    for (int year = 100; year <= 9999; year += 37) {
        ExpectRoundTrip(CDateTime(year, year % 12 + 1, year % 28 + 1, year % 24, year % 60, (year / 7) % 60));
        ExpectRoundTrip(CDateTime(year, year % 12 + 1, year % 28 + 1, 0, 0, 0));
    }
    for (double day = -657433.0; day < 2958465.0; day += 7919.0)
        for (double fraction : {0.0, 0.25, 0.5, 0.999, 0.123456789})
            ExpectRoundTrip(CDateTime(day < 0 ? day - fraction : day + fraction));
    for (double ole : {0.0, 0.5, 0.99998, -1.0, -1.25, -0.5})
        ExpectRoundTrip(CDateTime(ole));
}

TEST(DateTimeParse, TwentyFourHourAndIsoForms)
{
    EXPECT_EQ(CDateTime(1899, 12, 30, 8, 0, 0), Parsed("8:00:00"));
    EXPECT_EQ(CDateTime(1899, 12, 30, 18, 0, 0), Parsed("18:00:00"));
    EXPECT_EQ(CDateTime(1899, 12, 30, 8, 0, 0), Parsed("8:00"));
    EXPECT_EQ(CDateTime(2003, 5, 12, 18, 30, 0), Parsed("5/12/2003 18:30"));
    EXPECT_EQ(0.5, Parsed("12:00:00 PM").GetValue());
    EXPECT_EQ(CDateTime(1899, 12, 30, 13, 15, 0), Parsed("1:15 pm"));
    EXPECT_EQ(CDateTime(2026, 12, 7, 9, 49, 22), Parsed("2026-12-07 09:49:22"));
    EXPECT_EQ(CDateTime(2026, 12, 7, 9, 49, 0), Parsed("2026-12-07T09:49"));
    EXPECT_EQ(CDateTime(2026, 12, 7, 0, 0, 0), Parsed(" 2026-12-07 "));
    EXPECT_EQ(CDateTime(2003, 5, 12, 9, 0, 0), Parsed("  5/12/2003 9:00:00 AM\t"));
}

TEST(DateTimeParse, MalformedTextsFail)
{
    const std::string texts[] = {"",
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
                                 "1/1/99",
                                 "1/1/12345",
                                 "123/1/2020",
                                 "1/1/20209:00",
                                 "2026-12-7",
                                 "2026-12-07 9:49",
                                 "2026-12-07X09:49",
                                 "2026-12-07T24:00",
                                 "12/7/2026 9:49:22 AM PM",
                                 "-1/1/2020",
                                 "Invalid DateTime",
                                 std::string("5/12/2003\0junk", 14)};
    for (const std::string& text : texts) {
        CDateTime value(37753.0);
        EXPECT_FALSE(value.ParseDateTime(text)) << '"' << text << '"';
        EXPECT_EQ(CDateTime::invalid, value.GetStatus()) << '"' << text << '"';
    }
    CDateTime value;
    EXPECT_TRUE(value.ParseDateTime("5/12/2003"));
    EXPECT_EQ(CDateTime::valid, value.GetStatus());
}

TEST(DateTimeComparison, TrueInstantOrderAcross1899)
{
    EXPECT_TRUE(CDateTime(-1.25) > CDateTime(-1.0));
    EXPECT_TRUE(CDateTime(-1.25) < CDateTime(0.0));
    EXPECT_TRUE(CDateTime(-2.5) < CDateTime(-1.25));
    EXPECT_TRUE(CDateTime(-1.75) > CDateTime(-1.25));
    EXPECT_TRUE(CDateTime(-0.5) == CDateTime(0.5));
    EXPECT_TRUE(CDateTime(-1.0) <= CDateTime(-1.25));
    std::vector<CDateTime> values;
    for (int day = 26; day <= 31; ++day)
        for (int hour : {0, 6, 18})
            values.emplace_back(1899, 12, day, hour, 0, 0);
    std::vector<CDateTime> sorted(values.rbegin(), values.rend());
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 0; i < values.size(); ++i)
        EXPECT_EQ(values[i].Format(), sorted[i].Format());
}

TEST(DateTimeComparison, MillisecondsDecideAndNotValidComesLast)
{
    const CDateTime nine(2003, 5, 12, 9, 0, 0);
    EXPECT_TRUE(nine + CDateTimeSpan(0, 0, 60, 0) == CDateTime(2003, 5, 12, 10, 0, 0));
    EXPECT_TRUE(CDateTime(37753.0) < CDateTime(37753.0 + 0.002 * OneSecond));
    const CDateTime bad(2021, 2, 30, 0, 0, 0);
    EXPECT_TRUE(CDateTime(2958465.0) < bad);
    EXPECT_TRUE(bad < Null());
    EXPECT_TRUE(bad == CDateTime(-1e9));
    EXPECT_FALSE(bad == CDateTime(0.0));
}

TEST(DateTimeArithmetic, SpansCross1899AndTheRangeEnds)
{
    EXPECT_EQ(-1.75, (CDateTime(-1.25) + CDateTimeSpan(0.5)).GetValue());
    EXPECT_EQ(0.25, (CDateTime(-1.25) + CDateTimeSpan(1.0)).GetValue());
    EXPECT_EQ(-1.25, (CDateTime(0.25) - CDateTimeSpan(1.0)).GetValue());
    EXPECT_DOUBLE_EQ(-0.75, (CDateTime(-1.25) - CDateTime(0.0)).GetTotalDays());
    EXPECT_DOUBLE_EQ(0.25, (CDateTime(0.0) - CDateTime(-1.75)).GetTotalDays());
    CDateTime value(2003, 5, 12, 9, 0, 0);
    value += CDateTimeSpan(0, 1, 30, 0);
    value -= CDateTimeSpan(1.0);
    EXPECT_EQ((std::vector<int>{2003, 5, 11, 10, 30, 0}), FieldsOf(value));
    EXPECT_EQ(CDateTime::invalid, (CDateTime(9999, 12, 31, 23, 0, 0) + CDateTimeSpan(1.0)).GetStatus());
    EXPECT_EQ(CDateTime::invalid, (CDateTime(100, 1, 1, 0, 0, 0) - CDateTimeSpan(0, 0, 0, 1)).GetStatus());
    const CDateTime bad(2021, 2, 30, 0, 0, 0);
    EXPECT_EQ(CDateTime::invalid, (bad + CDateTimeSpan(1.0)).GetStatus());
    EXPECT_EQ(CDateTime::invalid, (Null() + CDateTimeSpan(1.0)).GetStatus());
    EXPECT_EQ(CDateTime::invalid, (CDateTime(1.0) + CDateTimeSpan(1e9)).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, (CDateTime(1.0) - bad).GetStatus());
}

TEST(DateTimeCurrentTime, FollowsTheSystemClockAndTheTimeZone)
{
    const std::time_t before = std::time(nullptr);
    const CDateTime now = CDateTime::GetCurrentTime();
    const std::time_t after = std::time(nullptr);
    std::tm local{};
    ASSERT_NE(nullptr, localtime_r(&before, &local));
    const CDateTime expected(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                             local.tm_min, local.tm_sec);
    const double apart = (now - expected).GetTotalDays() * 86400.0;
    EXPECT_GE(apart, -0.5);
    EXPECT_LE(apart, static_cast<double>(after - before) + 1.0);
    const CDateTime utc = NowIn("UTC0");
    const CDateTime ahead = NowIn("ZZZ-5");
    EXPECT_NEAR(5.0, (ahead - utc).GetTotalDays() * 24.0, 2.0 / 3600.0);
}
