// A whole meeting negotiation between agent processes that run on their
// users' calendar and contact files: the attendees' calendars are written
// as a desktop calendar program leaves them (a zoned event with its
// VTIMEZONE, a UTC event with a duration, alarms, folded lines), and after
// the negotiation the files themselves are read back with libical.

#include "AgentSociety.h"
#include "CalendarEvents.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

using namespace vesperaprocess;

namespace {

const char* const OrganiserName = "org_example.org-CalendarAgent";
const char* const AnnName = "ann_example.org-CalendarAgent";
const char* const BobName = "bob_example.org-CalendarAgent";

// Local time of every agent: New York's rule written out, so that no zone
// database is needed. On 4 March 2031 it is UTC-5.
const char* const LocalZone = "EST5EDT,M3.2.0,M11.1.0";

const char* const SuccessBalloon =
    "Balloon: Meeting Request Completed: Your meeting request has been successfully completed.";

// The zone as desktop programs write it beside the events that use it.
const char* const BerlinZone = "BEGIN:VTIMEZONE\r\n"
                               "TZID:Europe/Berlin\r\n"
                               "X-LIC-LOCATION:Europe/Berlin\r\n"
                               "BEGIN:DAYLIGHT\r\n"
                               "TZOFFSETFROM:+0100\r\n"
                               "TZOFFSETTO:+0200\r\n"
                               "TZNAME:CEST\r\n"
                               "DTSTART:19700329T020000\r\n"
                               "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\n"
                               "END:DAYLIGHT\r\n"
                               "BEGIN:STANDARD\r\n"
                               "TZOFFSETFROM:+0200\r\n"
                               "TZOFFSETTO:+0100\r\n"
                               "TZNAME:CET\r\n"
                               "DTSTART:19701025T030000\r\n"
                               "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\n"
                               "END:STANDARD\r\n"
                               "END:VTIMEZONE\r\n";

// Ann is at the dentist from 16:00 to 17:00 Berlin time, 10:00 to 11:00
// here.
const std::string AnnCalendar =
    std::string("BEGIN:VCALENDAR\r\n"
                "PRODID:-//Example Desk//Desk Calendar 4.2//EN\r\n"
                "VERSION:2.0\r\n"
                "CALSCALE:GREGORIAN\r\n"
                "METHOD:PUBLISH\r\n"
                "X-WR-CALNAME:Ann\r\n"
                "X-WR-TIMEZONE:Europe/Berlin\r\n") +
    BerlinZone +
    "BEGIN:VEVENT\r\n"
    "CREATED:20301220T101500Z\r\n"
    "LAST-MODIFIED:20301220T101512Z\r\n"
    "DTSTAMP:20301220T101512Z\r\n"
    "UID:4f1c2b7e-9a0d-4c55-b1f3-2d9e8a6c0b11\r\n"
    "SUMMARY:Dentist\r\n"
    "DTSTART;TZID=Europe/Berlin:20310304T160000\r\n"
    "DTEND;TZID=Europe/Berlin:20310304T170000\r\n"
    "TRANSP:OPAQUE\r\n"
    "STATUS:CONFIRMED\r\n"
    "SEQUENCE:0\r\n"
    "CLASS:PUBLIC\r\n"
    "LOCATION:Praxis Dr. Weber\\, Hauptstra\xC3\x9F"
    "e 5\r\n"
    "DESCRIPTION:Check-up. Bring the insurance card and the forms from the last\r\n"
    "  visit.\r\n"
    "X-DESK-GENERATION:3\r\n"
    "BEGIN:VALARM\r\n"
    "ACTION:DISPLAY\r\n"
    "TRIGGER;VALUE=DURATION:-PT30M\r\n"
    "DESCRIPTION:Reminder\r\n"
    "END:VALARM\r\n"
    "END:VEVENT\r\n"
    "END:VCALENDAR\r\n";

// Bob is in a meeting from 16:00 to 17:00 UTC, 11:00 to 12:00 here, and
// every Tuesday from 18:00 to 19:00 Berlin time, noon to 13:00 here (but
// for one Tuesday he skipped).
const std::string BobCalendar =
    std::string("BEGIN:VCALENDAR\r\n"
                "VERSION:2.0\r\n"
                "PRODID:-//Example Groupware//Calendar Server 7//EN\r\n") +
    BerlinZone +
    "BEGIN:VEVENT\r\n"
    "UID:20301211T083000Z-1187@groupware.example.org\r\n"
    "DTSTAMP:20301211T083000Z\r\n"
    "ORGANIZER;CN=Dana Fox:mailto:dana@example.org\r\n"
    "ATTENDEE;CN=Bob;PARTSTAT=ACCEPTED;ROLE=REQ-PARTICIPANT:mailto:bob@example.org\r\n"
    "DTSTART:20310304T160000Z\r\n"
    "DURATION:PT1H\r\n"
    "SUMMARY:Budget review\r\n"
    "LOCATION:Board room\r\n"
    "BEGIN:VALARM\r\n"
    "ACTION:DISPLAY\r\n"
    "DESCRIPTION:Budget review\r\n"
    "TRIGGER;RELATED=START:-PT15M\r\n"
    "END:VALARM\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\n"
    "UID:team-sync-2030@groupware.example.org\r\n"
    "DTSTAMP:20300105T090000Z\r\n"
    "DTSTART;TZID=Europe/Berlin:20300108T180000\r\n"
    "DTEND;TZID=Europe/Berlin:20300108T190000\r\n"
    "RRULE:FREQ=WEEKLY;BYDAY=TU\r\n"
    "EXDATE;TZID=Europe/Berlin:20310225T180000\r\n"
    "SUMMARY:Team sync\r\n"
    "END:VEVENT\r\n"
    "END:VCALENDAR\r\n";

// The organiser as both attendees know her, so that agents that take
// meetings from known contacts only take hers.
const char* const KnownOrganiser = "BEGIN:VCARD\r\n"
                                   "VERSION:3.0\r\n"
                                   "N:Reyes;Olga;;;\r\n"
                                   "FN:Olga Reyes\r\n"
                                   "EMAIL;TYPE=INTERNET,WORK:org@example.org\r\n"
                                   "TEL;TYPE=WORK:+1 212 555 0100\r\n"
                                   "UID:card-olga-reyes\r\n"
                                   "END:VCARD\r\n";

// Each event of `original` must be in `now` as it was.
void ExpectUntouched(const std::string& original, const std::vector<SCalendarEvent>& now)
{
    std::vector<SCalendarEvent> events;
    std::string error;
    ASSERT_TRUE(CCalendarEvents::Parse(original, events, error)) << error;
    for (const SCalendarEvent& event : events) {
        const std::vector<SCalendarEvent> found = CCalendarEvents::WithSummary(now, event.summary);
        ASSERT_EQ(found.size(), 1u) << event.summary;
        EXPECT_EQ(found[0].uid, event.uid);
        EXPECT_EQ(found[0].start, event.start) << event.summary;
        EXPECT_EQ(found[0].end, event.end) << event.summary;
        EXPECT_EQ(found[0].text, event.text);
    }
}

class FileCalendarNegotiationTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* zone = std::getenv("TZ");
        m_savedZone = zone ? std::optional<std::string>(zone) : std::nullopt;
        setenv("TZ", LocalZone, 1);
        tzset();
        ASSERT_TRUE(m_society.StartNameServer()) << m_society.Failure();
    }

    void TearDown() override
    {
        if (m_savedZone)
            setenv("TZ", m_savedZone->c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

    SAgentProcess* Start(const SAgentSetup& setup, const SAgentFiles& files)
    {
        SAgentProcess* agent = m_society.StartAgent(setup, files);
        EXPECT_NE(agent, nullptr) << m_society.Failure();
        return agent;
    }

    static std::vector<SCalendarEvent> Calendar(const SAgentProcess& agent)
    {
        std::vector<SCalendarEvent> events;
        std::string error;
        EXPECT_TRUE(CCalendarEvents::Read(agent.CalendarPath(), events, error))
            << agent.name << ": " << error;
        return events;
    }

    // The one "Planning" meeting of the agent's calendar file, at 13:00.
    static void ExpectMeetingOnce(const SAgentProcess& agent)
    {
        const std::vector<SCalendarEvent> meetings =
            CCalendarEvents::WithSummary(Calendar(agent), "Planning");
        ASSERT_EQ(meetings.size(), 1u) << agent.name;
        EXPECT_EQ(meetings[0].start, "2031-03-04 13:00:00") << agent.name;
        EXPECT_EQ(meetings[0].end, "2031-03-04 14:00:00") << agent.name;
        EXPECT_EQ(meetings[0].location, "Room 4") << agent.name;
        EXPECT_EQ(meetings[0].description, "Quarterly plan") << agent.name;
        EXPECT_FALSE(meetings[0].uid.empty()) << agent.name;
    }

    CAgentSociety m_society;
    std::optional<std::string> m_savedZone;
};

TEST_F(FileCalendarNegotiationTest, MeetingLandsOnceInEveryCalendarFileAtTheFirstTimeFreeInAllOfThem)
{
    const std::vector<std::pair<std::string, std::string>> knownOnly{{"MeetingSchedulingType", "1"}};
    SAgentProcess* organiser = Start({OrganiserName, "organiser", {}, {}}, {});
    SAgentProcess* ann = Start({AnnName, "ann", knownOnly, {}}, {AnnCalendar, KnownOrganiser});
    SAgentProcess* bob = Start({BobName, "bob", knownOnly, {}}, {BobCalendar, KnownOrganiser});
    ASSERT_TRUE(organiser && ann && bob);
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, "Total Appointments loaded = 1", 1},
                                             {bob, "Total Appointments loaded = 2", 1},
                                             {ann, "CVSP::LoadContacts: Total Contacts Loaded = 1", 1}}))
        << m_society.AllLogs();

    ASSERT_TRUE(m_society.TellOnly(
        OrganiserName, std::string("tell :command schedule_meeting :attendees (") + AnnName + "," + BobName +
                           ") :subject (Planning) :body (Quarterly plan)"
                           " :start (3/4/2031 10:00:00 AM) :end (3/4/2031 4:00:00 PM)"
                           " :location (Room 4) :duration (60)"))
        << m_society.Failure();
    const std::string confirm = "tell :type confirm :negID ";
    ASSERT_TRUE(CAgentSociety::WaitForLines({{ann, confirm, 1},
                                             {bob, confirm, 1},
                                             {organiser, "processing confirmation", 2},
                                             {organiser, SuccessBalloon, 1}}))
        << m_society.AllLogs();

    // Ann is taken until 11:00 by her Berlin-time event, Bob from 11:00 to
    // 13:00 by his UTC one and his weekly one: 13:00 is the first hour both
    // offered.
    for (const SAgentProcess* agent : {organiser, ann, bob})
        ExpectMeetingOnce(*agent);
    EXPECT_EQ(Calendar(*organiser).size(), 1u);
    const std::vector<SCalendarEvent> annEvents = Calendar(*ann);
    const std::vector<SCalendarEvent> bobEvents = Calendar(*bob);
    EXPECT_EQ(annEvents.size(), 2u);
    EXPECT_EQ(bobEvents.size(), 3u);
    ExpectUntouched(AnnCalendar, annEvents);
    ExpectUntouched(BobCalendar, bobEvents);
    const std::vector<SCalendarEvent> dentist = CCalendarEvents::WithSummary(annEvents, "Dentist");
    ASSERT_EQ(dentist.size(), 1u);
    EXPECT_EQ(dentist[0].start, "2031-03-04 10:00:00");
    EXPECT_EQ(dentist[0].location, "Praxis Dr. Weber, Hauptstra\xC3\x9F"
                                   "e 5");
    EXPECT_EQ(dentist[0].alarmMinutes, 30);
    const std::vector<SCalendarEvent> budget = CCalendarEvents::WithSummary(bobEvents, "Budget review");
    ASSERT_EQ(budget.size(), 1u);
    EXPECT_EQ(budget[0].start, "2031-03-04 11:00:00");
    EXPECT_EQ(budget[0].end, "2031-03-04 12:00:00");

    EXPECT_TRUE(m_society.StopAgents()) << m_society.Failure();
}

} // namespace
