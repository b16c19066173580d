#include <eventview/RDFCalendar.h>

#include <eventmodel/RDFVCalendar.h>
#include <slotbook/Appointment.h>

#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <fstream>

namespace {

const char* const Prefixes =
    "@prefix h: <http://ilrt.org/discovery/2001/06/schemas/ical-full/hybrid.rdf#> .\n"
    "@prefix dc: <http://purl.org/dc/elements/1.1/> .\n"
    "@prefix foaf: <http://xmlns.com/foaf/0.1/> .\n";

class RDFCalendarTest : public ::testing::Test {
protected:
    // A file:// address of a Turtle document with the prefixes above.
    std::string Page(const std::string& name, const std::string& turtle)
    {
        const std::string path = dir.File(name);
        std::ofstream(path) << Prefixes << turtle;
        return "file://" + path;
    }

    testsupport::CTempDir dir;
    CRDFCalendar calendar;
};

TEST_F(RDFCalendarTest, LoadFailuresGiveTheirCodes)
{
    EXPECT_FALSE(calendar.LoadCalendarModel(""));
    EXPECT_EQ(calendar.GetErrorCode(), CRDFCalendar::EmptyUrl);
    EXPECT_FALSE(calendar.LoadCalendarModel("file://" + dir.File("absent.ttl")));
    EXPECT_EQ(calendar.GetErrorCode(), CRDFCalendar::NotLoaded);
    EXPECT_FALSE(calendar.LoadCalendarModel(Page("people.ttl", "<#me> foaf:name \"Me\" .\n")));
    EXPECT_EQ(calendar.GetErrorCode(), CRDFCalendar::NoCalendar);
    EXPECT_EQ(calendar.GetGraphStore().GraphCount(), 0u) << "a page without a calendar is not kept";
}

TEST_F(RDFCalendarTest, OnlyCalendarsThatCanBeFilledAreKeptWithTheLoadedAddress)
{
    const std::string url = Page("two.ttl", "<#a> a h:VCALENDAR ; h:component <#e> .\n"
                                            "<#e> h:summary \"Talk\" ; h:dtstart \"2031-03-04T10:00:00\" .\n"
                                            "<#b> a h:VCALENDAR ; h:component <#bad> .\n"
                                            "<#bad> h:summary \"No start\" .\n");
    EXPECT_TRUE(calendar.LoadCalendarModel(url));
    EXPECT_EQ(calendar.GetErrorCode(), CRDFCalendar::NoError);
    ASSERT_EQ(calendar.GetCalendars().size(), 1u);
    EXPECT_EQ(calendar.GetCalendars()[0]->getURL(), url);
}

TEST_F(RDFCalendarTest, AppointmentsCarryAttendeesBodyDurationAndAlarm)
{
    ASSERT_TRUE(calendar.LoadCalendarModel(Page(
        "one.ttl", "<#c> a h:VCALENDAR ; dc:title \"Club\" ; h:component <#e>, <#quiet> .\n"
                   "<#e> h:summary \"Review\" ; h:dtstart \"2031-03-04T10:00:00\" ; h:duration \"PT90M\" ;\n"
                   "  h:location \"Hall\" ; h:attendee \"A\", [ foaf:name \"\" ], \"B\" ;\n"
                   "  h:valarm [ h:trigger \"-PT15M\" ] .\n"
                   "<#quiet> h:summary \"Alone\" ; h:dtstart \"2031-03-05T10:00:00\" .\n")));
    ASSERT_TRUE(calendar.BuildAppointmentList());
    ASSERT_EQ(calendar.getAppointmentPtr().size(), 2u);
    const CAppointment& review = *calendar.getAppointmentPtr()[0];
    EXPECT_EQ(review.GetOutlookIndex(), -2);
    EXPECT_EQ(review.GetSubject(), "Review");
    EXPECT_EQ(review.GetReqAttendees(), "A, B");
    EXPECT_EQ(review.GetBody().rfind("Attendees: A, B\n\nAppointment added by Orvante Calendar Agent", 0),
              0u);
    EXPECT_EQ(review.GetDuration(), 90);
    EXPECT_EQ(review.IsReminder(), 1);
    EXPECT_EQ(review.GetReminder(), 15);
    EXPECT_EQ(review.GetApptStatus(), -1);
    EXPECT_EQ(review.GetAttribute(), "RDF Calendar Import");
    EXPECT_EQ(review.GetExpires().GetStatus(), CDateTime::null);
    EXPECT_EQ(
        calendar.getAppointmentPtr()[1]->GetBody().rfind(
            "Appointment added by Orvante Calendar Agent from the following Semantic Web Schedule:\n", 0),
        0u);
    EXPECT_EQ(calendar.GetImportSources()[0].identity, "file://" + dir.File("one.ttl") + "#e");
}

TEST_F(RDFCalendarTest, OnlySelectedEventsOfSelectedCalendarsAndBuildingTwiceAppends)
{
    ASSERT_TRUE(calendar.LoadCalendarModel(
        Page("sel.ttl", "<#c> a h:VCALENDAR ; h:component <#e> .\n"
                        "<#e> h:summary \"One\" ; h:dtstart \"2031-03-04T10:00:00\" .\n")));
    CRDFVCalendar& only = *calendar.GetCalendars()[0];
    only.setUpdateStatus(EVENT_NOT_SELECTED);
    calendar.BuildAppointmentList();
    EXPECT_TRUE(calendar.getAppointmentPtr().empty());
    only.setUpdateStatus(EVENT_SELECTED);
    calendar.BuildAppointmentList();
    calendar.BuildAppointmentList();
    EXPECT_EQ(calendar.getAppointmentPtr().size(), 2u);
}

TEST(RDFCalendarMinutes, HalfASecondAwayFromZeroThenCut)
{
    const double second = 1.0 / 86400.0;
    EXPECT_EQ(CRDFCalendar::WholeMinutes(90.0 / 1440.0), 90);
    EXPECT_EQ(CRDFCalendar::WholeMinutes(90.0 / 1440.0 - 0.4 * second), 90);
    EXPECT_EQ(CRDFCalendar::WholeMinutes(59.5 * second), 0);
    EXPECT_EQ(CRDFCalendar::WholeMinutes(-90.0 / 1440.0 + 0.4 * second), -90);
}

} // namespace
