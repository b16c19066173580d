#include <platform/UserTimeFormat.h>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class UserTimeFormatTest : public ::testing::Test {
protected:
    // The default form reads LC_TIME once; the C locale makes the figures
    // the same on every machine.
    static void SetUpTestSuite() { setenv("LC_ALL", "C", 1); }
};

TEST_F(UserTimeFormatTest, SpansNameTheDayAndBothTimesOrBothDays)
{
    const struct {
        CDateTime start, end;
        const char* text;
    } cases[] = {
        {CDateTime(2026, 12, 10, 11, 30, 0), CDateTime(2026, 12, 10, 12, 30, 0), "Thu 10 Dec 11:30-12:30"},
        {CDateTime(2026, 12, 3, 0, 0, 0), CDateTime(2026, 12, 3, 0, 30, 0), "Thu 3 Dec 00:00-00:30"},
        {CDateTime(2026, 12, 31, 23, 0, 0), CDateTime(2027, 1, 1, 1, 0, 0),
         "Thu 31 Dec 23:00 - Fri 1 Jan 01:00"},
        {CDateTime(2026, 12, 10, 11, 30, 0), CDateTime(), "Thu 10 Dec 11:30"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CUserTimeFormat::Current().FormatSpan(c.start, c.end), c.text);
}

TEST_F(UserTimeFormatTest, AnInstalledFormIsUsedUntilRemoved)
{
    struct CFixed : CUserTimeFormat {
        std::string FormatDay(const CDateTime&) const override { return "day"; }
        std::string FormatTime(const CDateTime&) const override { return "t"; }
    } fixed;
    CUserTimeFormat::SetCurrent(&fixed);
    const CDateTime at(2026, 12, 10, 11, 30, 0);
    EXPECT_EQ(CUserTimeFormat::Current().FormatSpan(at, at + CDateTimeSpan(0, 1, 0, 0)), "day t-t");
    EXPECT_EQ(CUserTimeFormat::SetCurrent(nullptr), &fixed);
    EXPECT_EQ(CUserTimeFormat::Current().FormatDateTime(at), "12/10/26 11:30");
    EXPECT_EQ(CUserTimeFormat::Current().FormatDateTime(CDateTime(1, 1, 1, 0, 0, 0)), "Invalid DateTime");
}

} // namespace
