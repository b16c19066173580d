#include <outlook/RecurrenceRule.h>

#include <outlook/ICalTime.h>

#include <slotbook/Appointment.h>

#include <gtest/gtest.h>

#include <libical/ical.h>

#include <cstdlib>
#include <ctime>
#include <set>
#include <string>
#include <tuple>

namespace {
using outlook::CAppointmentData;
using outlook::CRecurrenceRule;

constexpr long Duration = 60;
constexpr int WindowDays = 731;

using Date = std::tuple<int, int, int>;

icalrecurrencetype Rule(const std::string& text)
{
    return icalrecurrencetype_from_string(text.c_str());
}

icaltimetype Floating(const std::string& text)
{
    return icaltime_from_string(text.c_str());
}

Date DateOf(const CDateTime& time)
{
    return Date(time.GetYear(), time.GetMonth(), time.GetDay());
}

// libical's own expansion, as local dates, over the window from the start.
std::set<Date> Expand(const icalrecurrencetype& rule, const icaltimetype& dtstart)
{
    std::set<Date> dates;
    const CDateTime first = outlook::CICalTime::ToLocal(dtstart);
    const CDateTime last = first + CDateTimeSpan(static_cast<double>(WindowDays));
    icalrecur_iterator* iterator = icalrecur_iterator_new(rule, dtstart);
    for (int i = 0; iterator && i < 5000; ++i) {
        const icaltimetype next = icalrecur_iterator_next(iterator);
        if (icaltime_is_null_time(next))
            break;
        const CDateTime local = outlook::CICalTime::ToLocal(next);
        if (local > last)
            break;
        dates.insert(DateOf(local));
    }
    if (iterator)
        icalrecur_iterator_free(iterator);
    return dates;
}

CDateTime Plus(const CDateTime& date, const CDateTime& timeOfDay)
{
    return CDateTime(date.GetValue() + timeOfDay.GetValue());
}

// The appointment the agent builds from a recurring item.
CAppointment AgentAppointment(const CAppointmentData::Pattern& pattern, const CDateTime& start)
{
    const CDateTime end = start + CDateTimeSpan(0, 0, static_cast<int>(Duration), 0);
    CDateTime expires;
    expires.SetStatus(CDateTime::null);
    return CAppointment(1, "subject", "", "", "", "", start, end, Duration, 0, 0, 2, expires, "outlook",
                        static_cast<int>(pattern.recurrenceType), static_cast<int>(pattern.interval),
                        pattern.instance, pattern.noEndDate ? 0 : 1,
                        Plus(pattern.patternStartDate, pattern.startTime),
                        Plus(pattern.patternEndDate, pattern.endTime), pattern.dayOfMonth,
                        static_cast<int>(pattern.dayOfWeekMask));
}

std::set<Date> SlotbookDates(const CAppointment& appointment, const CDateTime& first)
{
    std::set<Date> dates;
    for (int i = 0; i <= WindowDays; ++i) {
        const CDateTime day = first + CDateTimeSpan(static_cast<double>(i));
        if (appointment.OccursOn(day.GetDay(), day.GetMonth(), day.GetYear()))
            dates.insert(DateOf(day));
    }
    return dates;
}

CAppointmentData::Pattern Expressed(const std::string& rule, const std::string& start)
{
    CAppointmentData::Pattern pattern;
    std::string reason;
    EXPECT_TRUE(CRecurrenceRule::ToPattern(Rule(rule), Floating(start), Duration, pattern, reason))
        << rule << ": " << reason;
    return pattern;
}

// The pattern of a rule, as the agent reads it, occurs on exactly the dates
// libical expands the rule to; and the rule written back from the pattern
// expands to the same dates again.
void ExpectAgreement(const std::string& ruleText, const std::string& startText)
{
    SCOPED_TRACE(ruleText + " from " + startText);
    const icaltimetype dtstart = Floating(startText);
    const CAppointmentData::Pattern pattern = Expressed(ruleText, startText);
    const std::set<Date> expected = Expand(Rule(ruleText), dtstart);
    ASSERT_FALSE(expected.empty());
    const CDateTime first = outlook::CICalTime::DateOf(outlook::CICalTime::ToLocal(dtstart));
    EXPECT_EQ(SlotbookDates(AgentAppointment(pattern, outlook::CICalTime::ToLocal(dtstart)), first),
              expected);

    icalrecurrencetype written;
    std::string reason;
    ASSERT_TRUE(CRecurrenceRule::FromPattern(pattern, written, reason)) << reason;
    EXPECT_EQ(Expand(written, dtstart), expected) << icalrecurrencetype_as_string(&written);
}

TEST(RecurrenceRuleTest, DailyAndWeeklyRulesAgreeWithTheirPatterns)
{
    ExpectAgreement("FREQ=DAILY", "20260105T093000");
    ExpectAgreement("FREQ=DAILY;INTERVAL=3", "20260501T093000");
    ExpectAgreement("FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR", "20260105T093000");
    ExpectAgreement("FREQ=WEEKLY;BYDAY=MO,WE,FR", "20260105T093000");
    ExpectAgreement("FREQ=WEEKLY", "20260108T093000");
    ExpectAgreement("FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH;WKST=SU", "20260106T093000");
    ExpectAgreement("FREQ=WEEKLY;INTERVAL=3;BYDAY=SU,MO;WKST=SU", "20260104T093000");
    ExpectAgreement("FREQ=WEEKLY;INTERVAL=2;BYDAY=SU", "20260104T093000");
    ExpectAgreement("FREQ=WEEKLY;BYDAY=SA,SU;COUNT=9", "20260103T093000");
    ExpectAgreement("FREQ=DAILY;UNTIL=20260131T235959", "20260105T093000");
}

// The date of the last occurrence libical expands a rule to, or none when
// it does not end within the expansion bound.
bool LibicalLastDate(const icalrecurrencetype& rule, const icaltimetype& dtstart, Date& last)
{
    icalrecur_iterator* iterator = icalrecur_iterator_new(rule, dtstart);
    if (!iterator)
        return false;
    bool ended = false;
    for (int i = 0; i <= CRecurrenceRule::MaxExpandedOccurrences; ++i) {
        const icaltimetype next = icalrecur_iterator_next(iterator);
        if (icaltime_is_null_time(next)) {
            ended = true;
            break;
        }
        last = DateOf(outlook::CICalTime::ToLocal(next));
    }
    icalrecur_iterator_free(iterator);
    return ended;
}

void ExpectEndOfLibical(const std::string& ruleText, const icaltimetype& dtstart)
{
    SCOPED_TRACE(ruleText + " from " + icaltime_as_ical_string(dtstart));
    Date expected;
    ASSERT_TRUE(LibicalLastDate(Rule(ruleText), dtstart, expected));
    CAppointmentData::Pattern pattern;
    std::string reason;
    ASSERT_TRUE(CRecurrenceRule::ToPattern(Rule(ruleText), dtstart, Duration, pattern, reason)) << reason;
    ASSERT_FALSE(pattern.noEndDate);
    EXPECT_EQ(DateOf(pattern.patternEndDate), expected);
}

TEST(RecurrenceRuleTest, CountedRulesEndOnTheDayOfLibicalsLastOccurrence)
{
    const char* starts[] = {"20260105T093000", "20260107T080000", "20260110T170000", "20260111T120000",
                            "20261228T093000", "20280228T100000", "20371225T090000", "19991231T235900"};
    const char* weekly[] = {"",
                            ";BYDAY=MO",
                            ";BYDAY=MO,WE",
                            ";BYDAY=MO,WE,FR",
                            ";BYDAY=SU,SA",
                            ";BYDAY=SU,MO,TU,WE,TH,FR,SA",
                            ";BYDAY=TU,TH;WKST=SU",
                            ";BYDAY=SA,SU,WE;WKST=WE"};
    const char* counts[] = {"1", "2", "3", "7", "20", "101"};
    for (const char* start : starts)
        for (const char* count : counts)
            for (const char* interval : {"", ";INTERVAL=2", ";INTERVAL=3"}) {
                ExpectEndOfLibical(std::string("FREQ=DAILY;COUNT=") + count + interval, Floating(start));
                ExpectEndOfLibical(std::string("FREQ=DAILY;BYDAY=TU,SA;COUNT=") + count, Floating(start));
                for (const char* days : weekly) {
                    const icaltimetype dtstart = Floating(start);
                    std::string reason;
                    CAppointmentData::Pattern pattern;
                    const std::string rule = std::string("FREQ=WEEKLY;COUNT=") + count + interval + days;
                    // Only rules the pattern can say have an end to compare.
                    if (CRecurrenceRule::ToPattern(Rule(rule), dtstart, Duration, pattern, reason))
                        ExpectEndOfLibical(rule, dtstart);
                }
            }
    // All-day and UTC starts, and a count at the expansion bound.
    ExpectEndOfLibical("FREQ=WEEKLY;COUNT=20;BYDAY=MO,WE", icaltime_from_string("20260105"));
    ExpectEndOfLibical("FREQ=WEEKLY;COUNT=9;BYDAY=TU,FR", icaltime_from_string("20260106T230000Z"));
    ExpectEndOfLibical("FREQ=DAILY;COUNT=20000", Floating("20260105T093000"));
    CAppointmentData::Pattern pattern;
    std::string reason;
    EXPECT_FALSE(CRecurrenceRule::ToPattern(Rule("FREQ=DAILY;COUNT=20001"), Floating("20260105T093000"),
                                            Duration, pattern, reason));
}

TEST(RecurrenceRuleTest, MonthlyRulesAgreeWithTheirPatterns)
{
    ExpectAgreement("FREQ=MONTHLY;BYMONTHDAY=15", "20260115T093000");
    ExpectAgreement("FREQ=MONTHLY", "20260120T093000");
    ExpectAgreement("FREQ=MONTHLY;INTERVAL=2;BYMONTHDAY=31", "20260131T093000");
    ExpectAgreement("FREQ=MONTHLY;BYMONTHDAY=-1", "20260131T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=2TU", "20260113T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=-1FR", "20260130T093000");
    ExpectAgreement("FREQ=MONTHLY;INTERVAL=3;BYDAY=4SU", "20260125T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=1", "20260101T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "20260130T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=SA,SU;BYSETPOS=2", "20260104T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=SA,SU;BYSETPOS=-1", "20260131T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=SU,MO,TU,WE,TH,FR,SA;BYSETPOS=-1", "20260131T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=SU,MO,TU,WE,TH,FR,SA;BYSETPOS=3", "20260103T093000");
    ExpectAgreement("FREQ=MONTHLY;BYDAY=WE;BYSETPOS=3;COUNT=5", "20260121T093000");
}

TEST(RecurrenceRuleTest, YearlyRulesAgreeWithTheirPatterns)
{
    ExpectAgreement("FREQ=YEARLY", "20260315T093000");
    ExpectAgreement("FREQ=YEARLY;BYMONTH=3;BYMONTHDAY=15", "20260315T093000");
    ExpectAgreement("FREQ=YEARLY;BYMONTH=11;BYDAY=4TH", "20261126T093000");
    ExpectAgreement("FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU", "20260329T093000");
    ExpectAgreement("FREQ=YEARLY;BYMONTH=2;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=-1", "20260227T093000");
}

TEST(RecurrenceRuleTest, PatternFieldsComeFromTheRuleAndTheStart)
{
    CAppointmentData::Pattern pattern = Expressed("FREQ=MONTHLY;INTERVAL=2;BYDAY=-1FR", "20260130T093000");
    EXPECT_EQ(pattern.recurrenceType, outlook::olRecursMonthNth);
    EXPECT_EQ(pattern.dayOfWeekMask, outlook::olFriday);
    EXPECT_EQ(pattern.instance, 5);
    EXPECT_EQ(pattern.interval, 2);
    EXPECT_TRUE(pattern.noEndDate);
    EXPECT_EQ(pattern.patternStartDate, CDateTime(2026, 1, 30, 0, 0, 0));
    EXPECT_EQ(pattern.startTime, CDateTime(1899, 12, 30, 9, 30, 0));
    EXPECT_EQ(pattern.endTime, CDateTime(1899, 12, 30, 10, 30, 0));

    pattern = Expressed("FREQ=WEEKLY;BYDAY=MO;COUNT=10", "20260105T093000");
    EXPECT_EQ(pattern.recurrenceType, outlook::olRecursWeekly);
    EXPECT_EQ(pattern.dayOfWeekMask, outlook::olMonday);
    EXPECT_FALSE(pattern.noEndDate);
    EXPECT_EQ(pattern.patternEndDate, CDateTime(2026, 3, 9, 0, 0, 0));

    pattern = Expressed("FREQ=DAILY;BYDAY=MO,TU,WE,TH,FR", "20260105T093000");
    EXPECT_EQ(pattern.recurrenceType, outlook::olRecursWeekly);
    EXPECT_EQ(pattern.dayOfWeekMask, outlook::olWeekdayMask);

    pattern = Expressed("FREQ=MONTHLY;BYDAY=SA,SU;BYSETPOS=1", "20260103T093000");
    EXPECT_EQ(pattern.dayOfWeekMask, outlook::olWeekendDayMask);
    EXPECT_EQ(pattern.instance, 1);

    pattern = Expressed("FREQ=MONTHLY;BYMONTHDAY=-1", "20260131T093000");
    EXPECT_EQ(pattern.recurrenceType, outlook::olRecursMonthNth);
    EXPECT_EQ(pattern.dayOfWeekMask, outlook::olEveryDayMask);
    EXPECT_EQ(pattern.instance, 5);

    pattern = Expressed("FREQ=YEARLY;BYMONTH=11;BYDAY=4TH", "20261126T093000");
    EXPECT_EQ(pattern.recurrenceType, outlook::olRecursYearNth);
    EXPECT_EQ(pattern.dayOfWeekMask, outlook::olThursday);
    EXPECT_EQ(pattern.instance, 4);

    // An UNTIL before the time of day of its last date ends the day before.
    pattern = Expressed("FREQ=DAILY;UNTIL=20260110T080000", "20260105T093000");
    EXPECT_EQ(pattern.patternEndDate, CDateTime(2026, 1, 9, 0, 0, 0));
}

TEST(RecurrenceRuleTest, RulesBeyondThePatternAreNotExpressible)
{
    const char* const rules[] = {
        "FREQ=HOURLY",
        "FREQ=MINUTELY;INTERVAL=15",
        "FREQ=DAILY;BYHOUR=9,15",
        "FREQ=DAILY;INTERVAL=2;BYDAY=MO,FR",
        "FREQ=WEEKLY;BYDAY=1MO",
        "FREQ=WEEKLY;INTERVAL=2;BYDAY=SU,MO",
        "FREQ=MONTHLY;BYMONTHDAY=1,15",
        "FREQ=MONTHLY;BYMONTHDAY=-2",
        "FREQ=MONTHLY;BYDAY=TU",
        "FREQ=MONTHLY;BYDAY=5FR",
        "FREQ=MONTHLY;BYDAY=1MO,3MO",
        "FREQ=MONTHLY;BYDAY=MO,WE;BYSETPOS=1",
        "FREQ=MONTHLY;BYDAY=MO,TU,WE,TH,FR;BYSETPOS=1,-1",
        "FREQ=MONTHLY;BYMONTH=1,7;BYMONTHDAY=5",
        "FREQ=YEARLY;INTERVAL=2",
        "FREQ=YEARLY;BYMONTH=3,9",
        "FREQ=YEARLY;BYMONTH=4",
        "FREQ=YEARLY;BYDAY=20MO",
        "FREQ=YEARLY;BYWEEKNO=20",
        "FREQ=YEARLY;BYYEARDAY=100",
        "FREQ=DAILY;COUNT=300000",
    };
    for (const char* rule : rules) {
        CAppointmentData::Pattern pattern;
        std::string reason;
        EXPECT_FALSE(
            CRecurrenceRule::ToPattern(Rule(rule), Floating("20260105T093000"), Duration, pattern, reason))
            << rule;
        EXPECT_FALSE(reason.empty()) << rule;
    }
}

TEST(RecurrenceRuleTest, PatternsNoRuleMatchesAreRefused)
{
    CAppointmentData::Pattern pattern;
    pattern.patternStartDate = CDateTime(2026, 1, 5, 0, 0, 0);
    icalrecurrencetype rule;
    std::string reason;

    pattern.recurrenceType = 4;
    EXPECT_FALSE(CRecurrenceRule::FromPattern(pattern, rule, reason));
    pattern.recurrenceType = outlook::olRecursWeekly;
    pattern.dayOfWeekMask = 0;
    EXPECT_FALSE(CRecurrenceRule::FromPattern(pattern, rule, reason));
    pattern.recurrenceType = outlook::olRecursMonthly;
    pattern.dayOfMonth = 32;
    EXPECT_FALSE(CRecurrenceRule::FromPattern(pattern, rule, reason));
    pattern.recurrenceType = outlook::olRecursMonthNth;
    pattern.dayOfWeekMask = outlook::olMonday;
    pattern.instance = 6;
    EXPECT_FALSE(CRecurrenceRule::FromPattern(pattern, rule, reason));
    pattern.instance = 2;
    pattern.dayOfWeekMask = outlook::olMonday | outlook::olWednesday;
    EXPECT_FALSE(CRecurrenceRule::FromPattern(pattern, rule, reason));
    pattern.dayOfWeekMask = outlook::olMonday;
    pattern.noEndDate = false;
    pattern.patternEndDate.SetStatus(CDateTime::invalid);
    EXPECT_FALSE(CRecurrenceRule::FromPattern(pattern, rule, reason));
    pattern.patternEndDate = CDateTime(2026, 6, 1, 0, 0, 0);
    ASSERT_TRUE(CRecurrenceRule::FromPattern(pattern, rule, reason)) << reason;
    EXPECT_STREQ(icalrecurrencetype_as_string(&rule), "FREQ=MONTHLY;UNTIL=20260601T235959;BYDAY=2MO");
}

// Weekdays of a zoned start are the zone's: a start that falls on another
// date locally cannot keep them, except in a daily rule.
TEST(RecurrenceRuleTest, ZonedStartsOnAnotherLocalDateAreNotExpressibleButDailyIs)
{
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    ::setenv("TZ", "America/New_York", 1);
    ::tzset();
    icaltimetype start = icaltime_from_string("20260106T030000Z"); // Monday 22:00 in New York
    CAppointmentData::Pattern pattern;
    std::string reason;
    EXPECT_FALSE(CRecurrenceRule::ToPattern(Rule("FREQ=WEEKLY;BYDAY=TU"), start, Duration, pattern, reason));
    EXPECT_TRUE(CRecurrenceRule::ToPattern(Rule("FREQ=DAILY;COUNT=3"), start, Duration, pattern, reason))
        << reason;
    EXPECT_EQ(pattern.patternStartDate, CDateTime(2026, 1, 5, 0, 0, 0));
    EXPECT_EQ(pattern.startTime, CDateTime(1899, 12, 30, 22, 0, 0));
    EXPECT_EQ(pattern.patternEndDate, CDateTime(2026, 1, 7, 0, 0, 0));
    start = icaltime_from_string("20260106T150000Z");
    EXPECT_TRUE(CRecurrenceRule::ToPattern(Rule("FREQ=WEEKLY;BYDAY=TU"), start, Duration, pattern, reason))
        << reason;
    EXPECT_EQ(pattern.startTime, CDateTime(1899, 12, 30, 10, 0, 0));
    if (saved)
        ::setenv("TZ", previous.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
} // namespace
