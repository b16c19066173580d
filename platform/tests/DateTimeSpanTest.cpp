#include <platform/DateTimeSpan.h>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace
{
CDateTimeSpan Seconds(double seconds)
{
    return CDateTimeSpan(seconds / 86400.0);
}
}

TEST(DateTimeSpanConstruction, DefaultIsAValidZero)
{
    CDateTimeSpan span;
    EXPECT_EQ(CDateTimeSpan::valid, span.GetStatus());
    EXPECT_EQ(0.0, span.GetTotalDays());
}

TEST(DateTimeSpanConstruction, PartsAddUpToDays)
{
    EXPECT_DOUBLE_EQ(1.5, CDateTimeSpan(1, 12, 0, 0).GetTotalDays());
    EXPECT_DOUBLE_EQ(1.0 / 1440.0, CDateTimeSpan(0, 0, 1, 0).GetTotalDays());
    EXPECT_DOUBLE_EQ(1.0 / 86400.0, CDateTimeSpan(0, 0, 0, 1).GetTotalDays());
    EXPECT_DOUBLE_EQ(-0.25, CDateTimeSpan(0, -6, 0, 0).GetTotalDays());
}

TEST(DateTimeSpanConstruction, AMinuteIsOneFourteenHundredFortiethOfADay)
{
    EXPECT_EQ(0.0006944444444444445, CDateTimeSpan(0, 0, 1, 0).GetTotalDays());
}

TEST(DateTimeSpanStatus, ValidWithinTheRangeOnly)
{
    EXPECT_EQ(CDateTimeSpan::valid, CDateTimeSpan(3615897.0).GetStatus());
    EXPECT_EQ(CDateTimeSpan::valid, CDateTimeSpan(-3615897.0).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, CDateTimeSpan(3615897.5).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, CDateTimeSpan(-3615898.0).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, CDateTimeSpan(std::numeric_limits<double>::quiet_NaN()).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, CDateTimeSpan(std::numeric_limits<double>::infinity()).GetStatus());
}

TEST(DateTimeSpanStatus, OutOfRangeCannotBeMadeValid)
{
    CDateTimeSpan span(5e6);
    span.SetStatus(CDateTimeSpan::valid);
    EXPECT_EQ(CDateTimeSpan::invalid, span.GetStatus());
    CDateTimeSpan small(2.0);
    small.SetStatus(CDateTimeSpan::invalid);
    EXPECT_EQ(CDateTimeSpan::invalid, small.GetStatus());
    small.SetStatus(CDateTimeSpan::valid);
    EXPECT_EQ(CDateTimeSpan::valid, small.GetStatus());
}

TEST(DateTimeSpanRounding, HalfASecondDecidesTheMinute)
{
    EXPECT_EQ(60, Seconds(59 * 60 + 59.6).GetWholeMinutes());
    EXPECT_EQ(59, Seconds(59 * 60 + 59.4).GetWholeMinutes());
    EXPECT_EQ(60, Seconds(3600).GetWholeMinutes());
    EXPECT_EQ(0, Seconds(0.4).GetWholeMinutes());
}

TEST(DateTimeSpanRounding, NegativeSpansRoundAwayFromZero)
{
    EXPECT_EQ(-60, Seconds(-(59 * 60 + 59.6)).GetWholeMinutes());
    EXPECT_EQ(-59, Seconds(-(59 * 60 + 59.4)).GetWholeMinutes());
    EXPECT_EQ(-1, Seconds(-61).GetWholeMinutes());
}

TEST(DateTimeSpanRounding, SumsOfMinutesKeepTheirCount)
{
    CDateTimeSpan total;
    for (int i = 0; i < 1000; ++i)
        total = total + CDateTimeSpan(0, 0, 7, 0);
    EXPECT_EQ(7000, total.GetWholeMinutes());
}

TEST(DateTimeSpanRounding, WholeDays)
{
    EXPECT_EQ(1, Seconds(86400 - 0.4).GetWholeDays());
    EXPECT_EQ(0, Seconds(86400 - 0.6).GetWholeDays());
    EXPECT_EQ(-1, Seconds(-(86400 - 0.4)).GetWholeDays());
    EXPECT_EQ(3615897, CDateTimeSpan(3615897.0).GetWholeDays());
}

TEST(DateTimeSpanRounding, InvalidSpanCountsNothing)
{
    EXPECT_EQ(0, CDateTimeSpan(1e9).GetWholeMinutes());
    EXPECT_EQ(0, CDateTimeSpan(1e9).GetWholeDays());
}

TEST(DateTimeSpanArithmetic, AddAndSubtract)
{
    EXPECT_DOUBLE_EQ(1.75, (CDateTimeSpan(1.5) + CDateTimeSpan(0.25)).GetTotalDays());
    EXPECT_DOUBLE_EQ(1.25, (CDateTimeSpan(1.5) - CDateTimeSpan(0.25)).GetTotalDays());
    EXPECT_DOUBLE_EQ(-1.5, (-CDateTimeSpan(1.5)).GetTotalDays());
}

TEST(DateTimeSpanArithmetic, InvalidIsContagious)
{
    EXPECT_EQ(CDateTimeSpan::invalid, (CDateTimeSpan(1e9) + CDateTimeSpan(1.0)).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, (CDateTimeSpan(1.0) - CDateTimeSpan(1e9)).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, (-CDateTimeSpan(1e9)).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, (CDateTimeSpan(3e6) + CDateTimeSpan(3e6)).GetStatus());
}

TEST(DateTimeSpanComparison, OrdersByLength)
{
    EXPECT_TRUE(CDateTimeSpan(-1.0) < CDateTimeSpan(0.5));
    EXPECT_TRUE(CDateTimeSpan(0.5) == CDateTimeSpan(0, 12, 0, 0));
    EXPECT_TRUE(CDateTimeSpan(0.5) != CDateTimeSpan(0.25));
    EXPECT_TRUE(CDateTimeSpan(2.0) >= CDateTimeSpan(2.0));
    EXPECT_TRUE(CDateTimeSpan(2.0) > CDateTimeSpan(1.0));
    EXPECT_TRUE(CDateTimeSpan(1.0) <= CDateTimeSpan(2.0));
}

TEST(DateTimeSpanComparison, InvalidSortsAfterValid)
{
    EXPECT_TRUE(CDateTimeSpan(3e6) < CDateTimeSpan(1e9));
    EXPECT_FALSE(CDateTimeSpan(1e9) < CDateTimeSpan(3e6));
    EXPECT_TRUE(CDateTimeSpan(1e9) == CDateTimeSpan(-1e9));
}
