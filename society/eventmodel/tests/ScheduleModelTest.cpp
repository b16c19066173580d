// The calendar objects filled from served schedules: the vocabulary's forms,
// the date-time and duration texts, and the graph store's failures.

#include <eventmodel/RDFVCalendar.h>
#include <graphstore/RDFMFCGraphStore.h>
#include <graphstore/Vocabulary.h>
#include <graphstore/testing/HttpDocumentServer.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

std::string Shipped(const std::string& name)
{
    std::ifstream in(std::string(SCHEDULES_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The calendars of a served document, as a direct import fills them.
std::vector<CRDFVCalendar> CalendarsOf(CRDFMFCGraphStore& store, const std::string& url)
{
    std::vector<CRDFVCalendar> calendars;
    CRDFMFCGraph* graph = store.LoadNewGraph(url);
    if (!graph)
        return calendars;
    CRDFNode* type = graph->get_graph()->get_Node(vocabulary::VCalendarClass, 0);
    if (!type)
        return calendars;
    for (CRDFEdge* edge : type->get_edgelist()) {
        CRDFVCalendar calendar;
        if (edge->Property() == vocabulary::RdfType && calendar.set(edge->get_sourceNode(), &store))
            calendars.push_back(calendar);
    }
    return calendars;
}

TEST(ScheduleModel, DateTimeTextsOfEveryAcceptedForm)
{
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    struct Case {
        const char* text;
        const char* local;
    } cases[] = {
        {"2026-12-09T10:00:00", "12/9/2026 10:00:00 AM"},
        {"2026-12-09T10:00:00Z", "12/9/2026 11:00:00 AM"},
        {"2026-12-09T10:00:00+02:00", "12/9/2026 9:00:00 AM"},
        {"20261209T100000Z", "12/9/2026 11:00:00 AM"},
        {"20261209T100000", "12/9/2026 10:00:00 AM"},
        {"2026-12-09", "12/9/2026"},
        {"20261209", "12/9/2026"},
        {"2026-12-09 10:30", "12/9/2026 10:30:00 AM"},
        {"next tuesday", "Invalid DateTime"},
        {"2026-13-01", "Invalid DateTime"},
        {"", "Invalid DateTime"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CRDFDateTime::Parse(c.text).Format(), c.local) << c.text;
    unsetenv("TZ");
    tzset();
}

TEST(ScheduleModel, DurationTexts)
{
    struct Case {
        const char* text;
        bool valid;
        long minutes;
    } cases[] = {
        {"PT1H30M", true, 90}, {"P1D", true, 1440},    {"-PT15M", true, -15}, {"P1W", true, 10080},
        {"PT90S", true, 1},    {"P1DT2H", true, 1560}, {"PT", false, 0},      {"1 hour", false, 0},
    };
    for (const Case& c : cases) {
        long minutes = 0;
        EXPECT_EQ(CRDFDuration::Parse(c.text, minutes), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(minutes, c.minutes) << c.text;
        }
    }
}

TEST(ScheduleModel, RdfXmlScheduleFillsEventsPersonsPlacesAndAlarms)
{
    testsupport::CHttpDocumentServer server;
    server.Put("/team.rdf", "application/rdf+xml", Shipped("team-schedule.rdf"));
    CRDFMFCGraphStore store;
    const std::vector<CRDFVCalendar> calendars = CalendarsOf(store, server.Url("/team.rdf"));
    ASSERT_EQ(calendars.size(), 1u) << store.GetErrorMsg();
    const CRDFVCalendar& team = calendars[0];
    EXPECT_EQ(team.getTitleDescription(), "Platform team, week 50");
    EXPECT_EQ(team.getSource(), "http://schedules.example.org/team.html");
    EXPECT_EQ(team.getUpdateStatus(), EVENT_SELECTED);
    ASSERT_EQ(team.getEventListPtr().size(), 2u);

    const CRDFVevent& review = team.getEventListPtr()[0];
    EXPECT_EQ(review.getDescription(), "Architecture review");
    EXPECT_EQ(review.getStartDate().GetValue().Format(), "12/14/2026 10:00:00 AM");
    EXPECT_EQ(review.getStartString(), "Monday, December 14, 2026 10:00:00 AM");
    EXPECT_NEAR(review.getDurationPtr()->GetTotalDays() * 1440, 90, 1e-6);
    EXPECT_EQ(review.getLocationString(), "Room 4.12");
    EXPECT_TRUE(review.getLocationPtr()->haslatitude());
    EXPECT_DOUBLE_EQ(review.getLocationPtr()->getlongitude(), -2.5879);
    ASSERT_EQ(review.getAttendeeListPtr().size(), 2u);
    EXPECT_EQ(review.getAttendeeListPtr()[0].getPersonString(), "Maria Lindqvist <maria@example.org>");
    EXPECT_EQ(review.getAttendeeListPtr()[0].getVesperaName(), "maria_example.org-CalendarAgent");
    EXPECT_EQ(review.getAttendeeListPtr()[1].getWorkplaceHomepage(), "http://www.example.org/");
    EXPECT_TRUE(review.hasAlarm());
    EXPECT_EQ(review.getAlarmDuration(), 15);
    EXPECT_EQ(review.getSeeAlso(), "http://schedules.example.org/review-agenda.html");
    EXPECT_EQ(review.GetUri(), "http://schedules.example.org/team.rdf#review");

    const CRDFVevent& retro = team.getEventListPtr()[1];
    EXPECT_EQ(retro.getLocationString(), "Library, second floor");
    EXPECT_NEAR(retro.getDurationPtr()->GetTotalDays() * 1440, 45, 1e-6);
}

TEST(ScheduleModel, TurtleScheduleWithDateResourcesAndBareDates)
{
    testsupport::CHttpDocumentServer server;
    server.Put("/holidays.ttl", "text/turtle", Shipped("holidays.ttl"));
    CRDFMFCGraphStore store;
    const std::vector<CRDFVCalendar> calendars = CalendarsOf(store, server.Url("/holidays.ttl"));
    ASSERT_EQ(calendars.size(), 1u) << store.GetErrorMsg();
    const std::vector<CRDFVevent>& events = calendars[0].getEventListPtr();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].getDescription(), "Office closed");
    EXPECT_EQ(events[0].getStartDate().GetValue().Format(), "12/24/2026");
    EXPECT_NEAR(events[0].getDurationPtr()->GetTotalDays(), 3, 1e-9);
    EXPECT_EQ(events[0].getSeeAlso(), "http://www.example.org/closures");
    EXPECT_EQ(events[1].getEndDate().GetValue().Format(), "1/2/2027");
}

TEST(ScheduleModel, ICalendarFeedBecomesTheSameCalendar)
{
    testsupport::CHttpDocumentServer server;
    server.Put(
        "/feed.ics", "text/calendar",
        "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nX-WR-CALNAME:Choir\r\nBEGIN:VEVENT\r\n"
        "UID:rehearsal-1\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:20261210T190000\r\nDTEND:20261210T210000\r\n"
        "SUMMARY:Rehearsal\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\nATTENDEE;CN=Ann Archer:mailto:ann@example.org\r\n"
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT30M\r\nEND:VALARM\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    CRDFMFCGraphStore store;
    const std::vector<CRDFVCalendar> calendars =
        CalendarsOf(store, "webcal://127.0.0.1:" + server.Url("/feed.ics").substr(17));
    ASSERT_EQ(calendars.size(), 1u) << store.GetErrorMsg();
    EXPECT_EQ(calendars[0].getTitleDescription(), "Choir");
    const CRDFVevent& event = calendars[0].getEventListPtr().at(0);
    EXPECT_EQ(event.getDescription(), "Rehearsal");
    EXPECT_EQ(event.GetRecurrenceRule(), "FREQ=WEEKLY;COUNT=4");
    EXPECT_EQ(event.getAttendeeListPtr().at(0).getPersonString(), "Ann Archer <ann@example.org>");
    EXPECT_EQ(event.getAlarmDuration(), 30);
}

// Zoned times of a feed and of an RDF document reach the user in the user's
// zone: a TZID with the feed's VTIMEZONE, one the zone database knows
// behind a vendor's prefix, UTC, a time-zone datatype and a date.
TEST(ScheduleModel, ZonedTimesOfFeedsAndDocumentsAreReadInTheUsersZone)
{
    setenv("TZ", "America/New_York", 1);
    tzset();
    testsupport::CHttpDocumentServer server;
    server.Put("/zoned.ics", "text/calendar",
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n"
               "BEGIN:VTIMEZONE\r\nTZID:Office\r\nBEGIN:STANDARD\r\nDTSTART:19701025T030000\r\n"
               "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
               "BEGIN:VEVENT\r\nUID:a\r\nDTSTAMP:20261201T000000Z\r\nSUMMARY:A\r\n"
               "DTSTART;TZID=Office:20261210T100000\r\nDTEND;TZID=Office:20261210T110000\r\nEND:VEVENT\r\n"
               "BEGIN:VEVENT\r\nUID:b\r\nDTSTAMP:20261201T000000Z\r\nSUMMARY:B\r\n"
               "DTSTART;TZID=/softwarestudio.org/Olson_20011030_5/Asia/Kolkata:20261210T203000\r\n"
               "DTEND:20261210T160000Z\r\nEND:VEVENT\r\n"
               "BEGIN:VEVENT\r\nUID:c\r\nDTSTAMP:20261201T000000Z\r\nSUMMARY:C\r\n"
               "DTSTART;VALUE=DATE:20261224\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    server.Put("/zoned.rdf", "application/rdf+xml",
               "<?xml version=\"1.0\"?>\n<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\""
               " xmlns:ical=\"http://www.w3.org/2002/12/cal/ical#\""
               " xmlns:h=\"http://ilrt.org/discovery/2001/06/schemas/ical-full/hybrid.rdf#\">\n"
               "<h:VCALENDAR rdf:about=\"#cal\"><ical:component><ical:Vevent rdf:about=\"#e\">"
               "<ical:summary>D</ical:summary>"
               "<ical:dtstart rdf:datatype=\"http://www.w3.org/2002/12/cal/tzd/Australia/Lord_Howe#tz\">"
               "2026-10-04T12:00:00</ical:dtstart>"
               "<ical:dtend><rdf:Description><ical:dateTime>2026-10-04T13:00:00</ical:dateTime>"
               "<ical:tzid>/softwarestudio.org/Olson_20011030_5/Australia/Lord_Howe</ical:tzid>"
               "</rdf:Description></ical:dtend>"
               "</ical:Vevent></ical:component></h:VCALENDAR>\n</rdf:RDF>\n");
    CRDFMFCGraphStore store;
    const std::vector<CRDFVCalendar> feed = CalendarsOf(store, server.Url("/zoned.ics"));
    ASSERT_EQ(feed.size(), 1u) << store.GetErrorMsg();
    const std::vector<CRDFVevent>& events = feed[0].getEventListPtr();
    ASSERT_EQ(events.size(), 3u);
    const struct {
        const char* start;
        const char* end;
        const char* elsewhere;
    } table[] = {
        {"12/10/2026 4:00:00 AM", "12/10/2026 5:00:00 AM", "Office"},
        {"12/10/2026 10:00:00 AM", "12/10/2026 11:00:00 AM", "20:30 Asia/Kolkata"},
        {"12/24/2026", nullptr, ""},
    };
    for (std::size_t i = 0; i < events.size(); ++i) {
        EXPECT_EQ(events[i].getStartDate().GetValue().Format(), table[i].start) << i;
        EXPECT_EQ(events[i].getStartDate().ZoneNote(), table[i].elsewhere) << i;
        if (table[i].end) {
            EXPECT_EQ(events[i].getEndDate().GetValue().Format(), table[i].end) << i;
        }
    }
    const std::vector<CRDFVCalendar> document = CalendarsOf(store, server.Url("/zoned.rdf"));
    ASSERT_EQ(document.size(), 1u) << store.GetErrorMsg();
    // 12:00 at Lord Howe (+11 on that day) is 01:00 UTC, 21:00 the day before in New York.
    EXPECT_EQ(document[0].getEventListPtr().at(0).getStartDate().GetValue().Format(), "10/3/2026 9:00:00 PM");
    EXPECT_EQ(document[0].getEventListPtr().at(0).getEndDate().GetValue().Format(), "10/3/2026 10:00:00 PM");
    EXPECT_EQ(document[0].getEventListPtr().at(0).getStartDate().ZoneNote(),
              "2026-10-04 12:00 Australia/Lord_Howe");
    EXPECT_EQ(document[0].getEventListPtr().at(0).getEndDate().ZoneNote(),
              "2026-10-04 13:00 Australia/Lord_Howe");
    unsetenv("TZ");
    tzset();
}

TEST(ScheduleModel, LoadFailuresSayWhy)
{
    testsupport::CHttpDocumentServer server;
    server.Put("/page.html", "text/html", "<html><body>no schedule</body></html>");
    server.Redirect("/loop", "/loop");
    CRDFMFCGraphStore store;
    const struct {
        std::string url;
        const char* says;
    } cases[] = {
        {server.Url("/missing.rdf"), "not found"},
        {server.Url("/page.html"), "Not RDF"},
        {server.Url("/loop"), "Could not fetch"},
        {"ftp://127.0.0.1/x.rdf", "Refused address"},
        {"file://remote.example.org/x.rdf", "Refused address"},
        {"file:///nonexistent/x.rdf", "not found"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(store.LoadNewGraph(c.url), nullptr) << c.url;
        std::string message = store.GetErrorMsg();
        for (char& ch : message)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        std::string wanted = c.says;
        for (char& ch : wanted)
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        EXPECT_NE(message.find(wanted), std::string::npos) << c.url << ": " << store.GetErrorMsg();
    }
    EXPECT_EQ(store.GraphCount(), 0u);
}

TEST(ScheduleModel, AFilteredFetchConnectsNowhereItRefusesNotEvenThroughARedirect)
{
    testsupport::CHttpDocumentServer first;
    testsupport::CHttpDocumentServer target;
    target.Put("/secret.rdf", "application/rdf+xml", "<rdf:RDF/>");
    first.Redirect("/hop", target.Url("/secret.rdf"));
    const std::string targetPort = target.Url("").substr(target.Url("").rfind(':') + 1);

    // Only the redirect's target is refused, so the check must be made
    // again on the connection the redirect opens.
    CDocumentFetcher fetcher;
    fetcher.SetAddressFilter([&targetPort](const sockaddr* address) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(address);
        return std::to_string(ntohs(in->sin_port)) == targetPort ? std::string("the target") : std::string();
    });
    CFetchedDocument document;
    std::string error;
    EXPECT_FALSE(fetcher.Fetch(first.Url("/hop"), document, error));
    EXPECT_EQ(error, "Refused address " + first.Url("/hop") + ": the target.");
    EXPECT_EQ(first.Requests(), 1);
    EXPECT_EQ(target.Requests(), 0);

    fetcher.SetAddressFilter(CDocumentFetcher::RefuseNonPublic);
    EXPECT_FALSE(fetcher.Fetch(target.Url("/secret.rdf"), document, error));
    EXPECT_NE(error.find("127.0.0.1 is a loopback address"), std::string::npos) << error;
    EXPECT_EQ(target.Requests(), 0);
    fetcher.SetAddressFilter(nullptr);
    EXPECT_TRUE(fetcher.Fetch(target.Url("/secret.rdf"), document, error)) << error;
}

TEST(ScheduleModel, AnyFileNameMakesAFileAddressThatReadsBackAsItself)
{
    testsupport::CTempDir directory("file-address");
    const struct {
        std::string name;
        const char* address;
    } cases[] = {
        {"term.ics", "/term.ics"},
        {"my term #2?.ics", "/my%20term%20%232%3F.ics"},
        {"100%.ics", "/100%25.ics"},
        {"caf\xc3\xa9.ics", "/caf%C3%A9.ics"},
        {"not-utf8-\xff.ics", "/not-utf8-%FF.ics"},
    };
    for (const auto& c : cases) {
        const std::string path = directory.File(c.name);
        std::ofstream(path) << "BEGIN:VCALENDAR\r\nEND:VCALENDAR\r\n";
        const std::string address = CDocumentFetcher::FileAddressOf(path);
        EXPECT_EQ(address, CDocumentFetcher::FileAddressOf(directory.Path()) + c.address);
        std::string back;
        ASSERT_TRUE(CDocumentFetcher::LocalPathOf(address, back)) << address;
        EXPECT_EQ(back, path);
        CFetchedDocument document;
        std::string error;
        EXPECT_TRUE(CDocumentFetcher().Fetch(address, document, error)) << error;
    }
    std::string path;
    EXPECT_TRUE(CDocumentFetcher::LocalPathOf("file://localhost/tmp/a%20b.ics#x", path));
    EXPECT_EQ(path, "/tmp/a b.ics");
    for (const char* other :
         {"file://elsewhere/tmp/a.ics", "https://example.org/a.ics", "/tmp/a.ics", "file:"})
        EXPECT_FALSE(CDocumentFetcher::LocalPathOf(other, path)) << other;
}

} // namespace
