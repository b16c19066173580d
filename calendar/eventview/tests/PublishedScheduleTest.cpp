// Schedules as others publish them, read through the model in several
// zones: each event's instant, length, texts, people and recurrence.

#include <eventview/RDFCalendar.h>

#include <eventmodel/RDFDateTime.h>
#include <eventmodel/RDFVCalendar.h>
#include <graphstore/DocumentBounds.h>
#include <slotbook/Appointment.h>

#include <platform/testing/ScopedTimeZone.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

std::string DataUrl(const std::string& name)
{
    return "file://" + std::string(TEST_DATA_DIR) + "/" + name;
}

// The local time of a UTC text, as the user's zone reads it.
CDateTime Local(const char* utc)
{
    return CRDFDateTime::Parse(utc);
}

struct SExpected {
    const char* subject;
    const char* utcStart;
    long minutes;
    bool free;
    const char* rule;
    const char* attendees;
    long alarm;
};

class PublishedScheduleTest : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { zone = std::make_unique<testsupport::CScopedTimeZone>(GetParam()); }
    void TearDown() override { zone.reset(); }

    // Loads a data file and builds every event.
    void Load(const std::string& name)
    {
        url = DataUrl(name);
        ASSERT_TRUE(calendar.LoadCalendarModel(url)) << calendar.GetGraphStore().GetErrorMsg();
        ASSERT_EQ(calendar.GetCalendars().size(), 1u);
        calendar.BuildAppointmentList();
    }

    // The built appointment of that subject and its source, checked against
    // what the schedule says.
    void Check(const SExpected& expected)
    {
        SCOPED_TRACE(expected.subject);
        const auto& appointments = calendar.getAppointmentPtr();
        for (std::size_t i = 0; i < appointments.size(); ++i) {
            const CAppointment& one = *appointments[i];
            if (one.GetSubject() != expected.subject)
                continue;
            EXPECT_EQ(one.GetStartTime(), Local(expected.utcStart)) << one.GetStartTimeString();
            EXPECT_EQ(one.GetDuration(), expected.minutes);
            EXPECT_EQ(one.GetApptStatus() == CAppointment::FreeStatus, expected.free);
            EXPECT_EQ(one.GetReqAttendees(), expected.attendees);
            EXPECT_EQ(one.IsReminder() ? one.GetReminder() : 0, expected.alarm);
            EXPECT_EQ(calendar.GetImportSources()[i].rule, expected.rule);
            return;
        }
        ADD_FAILURE() << "no appointment";
    }

    const CImportSource& SourceOf(const std::string& subject)
    {
        const auto& appointments = calendar.getAppointmentPtr();
        for (std::size_t i = 0; i < appointments.size(); ++i) {
            if (appointments[i]->GetSubject() == subject)
                return calendar.GetImportSources()[i];
        }
        static const CImportSource none;
        ADD_FAILURE() << "no " << subject;
        return none;
    }

    std::unique_ptr<testsupport::CScopedTimeZone> zone;
    CRDFCalendar calendar;
    std::string url;
};

TEST_P(PublishedScheduleTest, W3CTurtleWithTypedZonedAndNestedValues)
{
    Load("market-week.ttl");
    EXPECT_EQ(calendar.GetCalendars()[0]->getTitleDescription(), "Harbour Week 2031");
    const SExpected events[] = {
        {"Opening of the week", "2031-06-02T16:30:00Z", 60, false, "", "mayor@harbour.example", 0},
        {"Organ recital", "2031-06-03T19:00:00Z", 75, false, "", "", 20},
        {"Harbour swim", "2031-06-02T06:00:00Z", 40, false, "FREQ=DAILY;INTERVAL=2;COUNT=4", "", 0},
        {"Tide walk", "2031-06-02T07:00:00Z", 90, false, "FREQ=WEEKLY;UNTIL=20310630T070000Z;BYDAY=MO,WE", "",
         0},
    };
    for (const SExpected& event : events)
        Check(event);
    ASSERT_EQ(calendar.getAppointmentPtr().size(), 6u) << "the cancelled parade is not built";
    EXPECT_EQ(calendar.GetCancelledIdentities(), std::vector<std::string>{url + "#parade"});
    EXPECT_EQ(SourceOf("Organ recital").organiser, "office@church.example");
    for (const char* day : {"Boat fair", "Talk on tides"}) {
        for (const auto& one : calendar.getAppointmentPtr()) {
            if (one->GetSubject() != day)
                continue;
            EXPECT_TRUE(one->IsAllDay()) << day;
            EXPECT_EQ(one->GetDuration(), 1440) << day;
            EXPECT_EQ(one->GetStartTime().GetHour(), 0) << day;
            EXPECT_EQ(one->GetApptStatus() == CAppointment::FreeStatus, std::string(day) == "Boat fair");
        }
    }
}

TEST_P(PublishedScheduleTest, W3CRdfXmlWithNestedRuleExclusionAndPeople)
{
    Load("choir-term.rdf");
    EXPECT_EQ(calendar.GetCalendars()[0]->getTitleDescription(), "Northgate Chamber Choir");
    Check({"Practice", "2031-01-15T01:30:00Z", 120, false, "FREQ=WEEKLY;COUNT=6;BYDAY=TU",
           "Ruth Okafor <ruth@choir.example>", 0});
    Check({"Winter concert", "2031-02-22T01:00:00Z", 150, false, "", "", 0});
    EXPECT_EQ(SourceOf("Practice").excluded, std::vector<CDateTime>{Local("2031-01-29T01:30:00Z")});
}

TEST_P(PublishedScheduleTest, FeedKeepsExclusionsOverridesCancellationsAndRealLengths)
{
    Load("ferry-timetable.ics");
    EXPECT_EQ(calendar.GetCalendars()[0]->getTitleDescription(), "Ferry, island and back");
    Check({"Crossing, upper deck; bikes allowed", "2031-01-07T07:00:00Z", 60, false, "FREQ=WEEKLY;COUNT=5",
           "", 0});
    Check({"Crossing (late boat)", "2031-01-21T10:30:00Z", 60, false, "", "", 0});
    Check({"Lighthouse open day", "2031-01-11", 1440, true, "", "", 0});
    // Across the end of summer time: five hours, whatever the user's clock.
    Check({"Night crossing", "2031-10-25T21:00:00Z", 300, false, "", "", 0});
    const std::vector<CDateTime> excluded = {Local("2031-01-14T07:00:00Z"), Local("2031-01-21T07:00:00Z")};
    std::vector<CDateTime> got = SourceOf("Crossing, upper deck; bikes allowed").excluded;
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, excluded) << "the exdate and the moved occurrence";
    EXPECT_EQ(calendar.GetCancelledIdentities(), std::vector<std::string>{url + "#gala@ferry.example"});
    for (const auto& one : calendar.getAppointmentPtr()) {
        if (one->GetSubject() == "Crossing, upper deck; bikes allowed") {
            EXPECT_EQ(one->GetLocation(), "Pier 3\nEast gate \\ ramp");
        }
    }
}

// A hundred thousand triples read at once, every event kept.
TEST(PublishedScheduleSize, AHundredThousandTriplesAreRead)
{
    std::string turtle = "@prefix ical: <http://www.w3.org/2002/12/cal/ical#> .\n<> a ical:Vcalendar .\n";
    constexpr int Events = 25000;
    for (int i = 0; i < Events; ++i) {
        const std::string event = "<#e" + std::to_string(i) + ">";
        turtle += "<> ical:component " + event + " .\n" + event + " a ical:Vevent ; ical:summary \"Slot " +
                  std::to_string(i) + "\" ; ical:dtstart \"2031-03-0" + std::to_string(1 + i % 9) +
                  "T10:00:00Z\" .\n";
    }
    CRDFCalendar calendar;
    ASSERT_TRUE(calendar.LoadCalendarDocument("http://example.org/big.ttl", {turtle, "text/turtle"}));
    ASSERT_EQ(calendar.GetCalendars().size(), 1u);
    EXPECT_EQ(calendar.GetCalendars()[0]->getEventListPtr().size(), static_cast<std::size_t>(Events));
}

// libical takes a backslash with the first byte of the character after it.
TEST(PublishedScheduleText, ABackslashBeforeAMultiByteCharacterLeavesSoundText)
{
    const std::string feed =
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:u\r\n"
        "DTSTART:20310301T100000Z\r\nSUMMARY:Caf\\\xc3\xa9 talk\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    CRDFCalendar calendar;
    ASSERT_TRUE(calendar.LoadCalendarDocument("http://example.org/cafe.ics", {feed, "text/calendar"}));
    calendar.BuildAppointmentList();
    ASSERT_EQ(calendar.getAppointmentPtr().size(), 1u);
    const std::string subject = calendar.getAppointmentPtr()[0]->GetSubject();
    EXPECT_EQ(CDocumentBounds::ValidUtf8(subject), subject);
    EXPECT_EQ(subject.rfind("Caf", 0), 0u);
    EXPECT_NE(subject.find(" talk"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Zones, PublishedScheduleTest,
                         ::testing::Values("UTC", "Europe/Lisbon", "America/Chicago", "Asia/Kolkata",
                                           "Pacific/Auckland"));

} // namespace
