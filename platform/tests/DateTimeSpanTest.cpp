#include <platform/DateTimeSpan.h>

#include <gtest/gtest.h>

#include <limits>

namespace {
CDateTimeSpan Seconds(double seconds)
{
    return CDateTimeSpan(seconds / 86400.0);
}
} // namespace

TEST(DateTimeSpan, ConstructionAndRange)
{
    EXPECT_EQ(0.0, CDateTimeSpan().GetTotalDays());
    EXPECT_DOUBLE_EQ(1.5, CDateTimeSpan(1, 12, 0, 0).GetTotalDays());
    EXPECT_DOUBLE_EQ(-0.25, CDateTimeSpan(0, -6, 0, 0).GetTotalDays());
    EXPECT_EQ(0.0006944444444444445, CDateTimeSpan(0, 0, 1, 0).GetTotalDays());
    EXPECT_EQ(CDateTimeSpan::valid, CDateTimeSpan(-3615897.0).GetStatus());
    for (double days : {3615897.5, -3615898.0, std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity()})
        EXPECT_EQ(CDateTimeSpan::invalid, CDateTimeSpan(days).GetStatus()) << days;
    CDateTimeSpan wide(5e6);
    wide.SetStatus(CDateTimeSpan::valid);
    EXPECT_EQ(CDateTimeSpan::invalid, wide.GetStatus());
}

TEST(DateTimeSpan, WholeMinutesAndDaysRoundAtHalfASecond)
{
    EXPECT_EQ(60, Seconds(59 * 60 + 59.6).GetWholeMinutes());
    EXPECT_EQ(59, Seconds(59 * 60 + 59.4).GetWholeMinutes());
    EXPECT_EQ(-60, Seconds(-(59 * 60 + 59.6)).GetWholeMinutes());
    EXPECT_EQ(-59, Seconds(-(59 * 60 + 59.4)).GetWholeMinutes());
    EXPECT_EQ(1, Seconds(86400 - 0.4).GetWholeDays());
    EXPECT_EQ(0, Seconds(86400 - 0.6).GetWholeDays());
    EXPECT_EQ(-1, Seconds(-(86400 - 0.4)).GetWholeDays());
    CDateTimeSpan total;
    for (int i = 0; i < 1000; ++i)
        total = total + CDateTimeSpan(0, 0, 7, 0);
    EXPECT_EQ(7000, total.GetWholeMinutes());
    EXPECT_EQ(0, CDateTimeSpan(1e9).GetWholeMinutes());
}

TEST(DateTimeSpan, ArithmeticAndOrder)
{
    EXPECT_DOUBLE_EQ(1.25, (CDateTimeSpan(1.5) - CDateTimeSpan(0.25)).GetTotalDays());
    EXPECT_EQ(CDateTimeSpan::invalid, (CDateTimeSpan(1.0) - CDateTimeSpan(1e9)).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, (CDateTimeSpan(3e6) + CDateTimeSpan(3e6)).GetStatus());
    EXPECT_EQ(CDateTimeSpan::invalid, (-CDateTimeSpan(1e9)).GetStatus());
    EXPECT_TRUE(CDateTimeSpan(-1.0) < CDateTimeSpan(0.5));
    EXPECT_TRUE(CDateTimeSpan(0.5) == CDateTimeSpan(0, 12, 0, 0));
    EXPECT_TRUE(CDateTimeSpan(2.0) >= CDateTimeSpan(2.0));
    // Invalid spans sort after valid ones and equal each other.
    EXPECT_TRUE(CDateTimeSpan(3e6) < CDateTimeSpan(1e9));
    EXPECT_TRUE(CDateTimeSpan(1e9) == CDateTimeSpan(-1e9));
}
