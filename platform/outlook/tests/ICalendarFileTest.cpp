#include <outlook/ICalendarFile.h>

#include <outlook/ICalendarEvent.h>

#include <gtest/gtest.h>

#include <libical/ical.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {
using outlook::CAppointmentData;
using outlook::CICalendarFile;
using outlook::CStoredItem;

std::string Crlf(const std::string& text)
{
    std::string result;
    for (char c : text) {
        if (c == '\n')
            result += '\r';
        result += c;
    }
    return result;
}

// As a desktop calendar program exports it: its own zone definition, UTC
// times, an all-day event, folded lines, an alarm, the busy-status
// extension, attendees, a task and properties nobody here knows.
const std::string Desktop = Crlf(R"(BEGIN:VCALENDAR
PRODID:-//Some Vendor//Desktop Calendar 16.0//EN
VERSION:2.0
METHOD:PUBLISH
X-WR-CALNAME:Work
BEGIN:VTIMEZONE
TZID:W. Europe Standard Time
BEGIN:STANDARD
DTSTART:16011028T030000
RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10
TZOFFSETFROM:+0200
TZOFFSETTO:+0100
END:STANDARD
BEGIN:DAYLIGHT
DTSTART:16010325T020000
RRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3
TZOFFSETFROM:+0100
TZOFFSETTO:+0200
END:DAYLIGHT
END:VTIMEZONE
BEGIN:VEVENT
UID:040000008200E00074C5B7101A82E008
DTSTAMP:20260101T120000Z
DTSTART;TZID=W. Europe Standard Time:20260710T100000
DTEND;TZID=W. Europe Standard Time:20260710T113000
SUMMARY:Planning meeting with a summary long enough that the exporter fold
 ed it
DESCRIPTION:First line\nSecond line\, with a comma\; and a semicolon
LOCATION:Room 4
ATTENDEE;CN=Alice Smith;ROLE=REQ-PARTICIPANT;PARTSTAT=ACCEPTED:mailto:alice
 @example.org
ATTENDEE;ROLE=OPT-PARTICIPANT:mailto:bob@example.org
ATTENDEE;CN=Carol:mailto:carol@example.org
ATTENDEE;ROLE=NON-PARTICIPANT:mailto:room@example.org
TRANSP:OPAQUE
X-MICROSOFT-CDO-BUSYSTATUS:OOF
X-VENDOR-COLOUR;X-SHADE=dark:blue
BEGIN:VALARM
ACTION:DISPLAY
DESCRIPTION:Reminder
TRIGGER;RELATED=START:-PT15M
END:VALARM
END:VEVENT
BEGIN:VTODO
UID:todo-1
SUMMARY:Not an appointment
END:VTODO
BEGIN:VEVENT
UID:utc-1
DTSTAMP:20260101T120000Z
DTSTART:20260115T080000Z
DURATION:PT45M
SUMMARY:Call
STATUS:TENTATIVE
END:VEVENT
BEGIN:VEVENT
UID:allday-1
DTSTAMP:20260101T120000Z
DTSTART;VALUE=DATE:20260120
DTEND;VALUE=DATE:20260123
SUMMARY:Conference
TRANSP:TRANSPARENT
END:VEVENT
BEGIN:VEVENT
UID:weekly-1
DTSTAMP:20260101T120000Z
DTSTART;TZID=W. Europe Standard Time:20260105T090000
DTEND;TZID=W. Europe Standard Time:20260105T093000
RRULE:FREQ=WEEKLY;BYDAY=MO,WE;WKST=SU
SUMMARY:Stand-up
END:VEVENT
BEGIN:VJOURNAL
UID:journal-1
SUMMARY:Notes
END:VJOURNAL
END:VCALENDAR
)");

class ICalendarFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* saved = std::getenv("TZ");
        hadZone = saved != nullptr;
        previousZone = saved ? saved : "";
        ::setenv("TZ", "Europe/Berlin", 1);
        ::tzset();
    }
    void TearDown() override
    {
        if (hadZone)
            ::setenv("TZ", previousZone.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }

    static const CAppointmentData& Data(const CICalendarFile& file, std::size_t index)
    {
        return std::get<CAppointmentData>(file.GetItems().at(index).data);
    }

    static std::string Wrap(const std::string& events)
    {
        return Crlf("BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Test//EN\n" + events + "END:VCALENDAR\n");
    }

    static CAppointmentData Meeting()
    {
        CAppointmentData data;
        data.subject = "Review; with, punctuation";
        data.body = "Line one\nLine two";
        data.location = "Room 7";
        data.start = CDateTime(2026, 3, 2, 14, 0, 0);
        data.duration = 90;
        data.busyStatus = outlook::olTentative;
        data.reminderSet = true;
        data.reminderMinutesBeforeStart = 10;
        data.requiredAttendees = "alice@example.org; bob@example.org";
        data.optionalAttendees = "Dave Jones; eve@example.org";
        return data;
    }

    bool hadZone = false;
    std::string previousZone;
};

TEST_F(ICalendarFileTest, ReadsTheEventsOfADesktopProgramInFileOrder)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Desktop, error)) << error;
    ASSERT_EQ(file.GetItems().size(), 4u);
    EXPECT_EQ(file.GetItems()[0].id, "040000008200E00074C5B7101A82E008");
    EXPECT_EQ(file.GetItems()[3].id, "weekly-1");

    const CAppointmentData& planning = Data(file, 0);
    EXPECT_EQ(planning.subject, "Planning meeting with a summary long enough that the exporter folded it");
    EXPECT_EQ(planning.body, "First line\nSecond line, with a comma; and a semicolon");
    EXPECT_EQ(planning.location, "Room 4");
    EXPECT_EQ(planning.start, CDateTime(2026, 7, 10, 10, 0, 0));
    EXPECT_EQ(planning.duration, 90);
    EXPECT_EQ(planning.busyStatus, outlook::olOutOfOffice);
    EXPECT_TRUE(planning.reminderSet);
    EXPECT_EQ(planning.reminderMinutesBeforeStart, 15);
    EXPECT_EQ(planning.requiredAttendees, "Alice Smith; Carol");
    EXPECT_EQ(planning.optionalAttendees, "bob@example.org");
    EXPECT_FALSE(planning.isRecurring);

    // 08:00 UTC is 09:00 in Berlin in January.
    const CAppointmentData& call = Data(file, 1);
    EXPECT_EQ(call.start, CDateTime(2026, 1, 15, 9, 0, 0));
    EXPECT_EQ(call.duration, 45);
    EXPECT_EQ(call.busyStatus, outlook::olTentative);
    EXPECT_FALSE(call.reminderSet);

    const CAppointmentData& conference = Data(file, 2);
    EXPECT_EQ(conference.start, CDateTime(2026, 1, 20, 0, 0, 0));
    EXPECT_EQ(conference.duration, 3 * 24 * 60);
    EXPECT_EQ(conference.busyStatus, outlook::olFree);

    const CAppointmentData& standUp = Data(file, 3);
    ASSERT_TRUE(standUp.isRecurring);
    EXPECT_EQ(standUp.pattern.recurrenceType, outlook::olRecursWeekly);
    EXPECT_EQ(standUp.pattern.dayOfWeekMask, outlook::olMonday | outlook::olWednesday);
    EXPECT_EQ(standUp.pattern.startTime, CDateTime(1899, 12, 30, 9, 0, 0));
    EXPECT_EQ(standUp.pattern.endTime, CDateTime(1899, 12, 30, 9, 30, 0));
    EXPECT_TRUE(file.GetNotes().empty());
}

TEST_F(ICalendarFileTest, BusyStatusRemindersAndDurationsFollowTheirProperties)
{
    const std::string events =
        "BEGIN:VEVENT\nUID:a\nDTSTART:20260301T100000\nSTATUS:CANCELLED\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:b\nDTSTART:20260301T100000\nTRANSP:TRANSPARENT\n"
        "X-MICROSOFT-CDO-BUSYSTATUS:BUSY\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:c\nDTSTART:20260301T100000\nDTEND:20260301T090000\n"
        "BEGIN:VALARM\nACTION:AUDIO\nTRIGGER:-PT5M\nEND:VALARM\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:x\nTRIGGER;RELATED=END:-PT5M\nEND:VALARM\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:x\nTRIGGER:PT5M\nEND:VALARM\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:x\n"
        "TRIGGER;VALUE=DATE-TIME:20260301T080000Z\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:d\nDTSTART;VALUE=DATE:20260302\n"
        "BEGIN:VALARM\nACTION:DISPLAY\nDESCRIPTION:x\nTRIGGER:-P1D\nEND:VALARM\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:e\nDTSTART:20260301T100000\nEND:VEVENT\n";
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Wrap(events), error)) << error;
    ASSERT_EQ(file.GetItems().size(), 5u);
    EXPECT_EQ(Data(file, 0).busyStatus, outlook::olFree);
    EXPECT_EQ(Data(file, 1).busyStatus, outlook::olBusy);
    EXPECT_EQ(Data(file, 2).busyStatus, outlook::olBusy);
    EXPECT_EQ(Data(file, 2).duration, 0);
    EXPECT_FALSE(Data(file, 2).reminderSet);
    EXPECT_EQ(Data(file, 3).duration, 24 * 60);
    EXPECT_TRUE(Data(file, 3).reminderSet);
    EXPECT_EQ(Data(file, 3).reminderMinutesBeforeStart, 24 * 60);
    EXPECT_EQ(Data(file, 4).duration, 0);
}

TEST_F(ICalendarFileTest, UidsAreMadeStableAndUnique)
{
    const std::string events = "BEGIN:VEVENT\nDTSTART:20260301T100000\nSUMMARY:no uid\nEND:VEVENT\n"
                               "BEGIN:VEVENT\nUID:same\nDTSTART:20260302T100000\nEND:VEVENT\n"
                               "BEGIN:VEVENT\nUID:same\nRECURRENCE-ID:20260302T100000\n"
                               "DTSTART:20260302T110000\nEND:VEVENT\n";
    CICalendarFile first, second;
    std::string error;
    ASSERT_TRUE(first.Parse(Wrap(events), error)) << error;
    ASSERT_TRUE(second.Parse(Wrap(events), error)) << error;
    ASSERT_EQ(first.GetItems().size(), 3u);
    EXPECT_EQ(first.GetItems()[0].id.rfind("orvante-", 0), 0u);
    EXPECT_EQ(first.GetItems()[0].id, second.GetItems()[0].id);
    EXPECT_EQ(first.GetItems()[1].id, "same");
    EXPECT_EQ(first.GetItems()[2].id, "same#2");
    // The made-up UID is written, so the id survives a save.
    CICalendarFile third;
    ASSERT_TRUE(third.Parse(first.Serialize(), error)) << error;
    EXPECT_EQ(third.GetItems()[0].id, first.GetItems()[0].id);
}

// The parsed text is let go after reading and parsed again for a change:
// ids made from content, other programs' data and earlier changes all last.
TEST_F(ICalendarFileTest, ChangesAfterReadingAndAfterAWriteBuildOnTheSameCalendar)
{
    const std::string events =
        "BEGIN:VEVENT\nDTSTART:20260301T100000\nSUMMARY:no uid\nX-OTHER:kept\nEND:VEVENT\n"
        "BEGIN:VEVENT\nUID:b\nDTSTART:20260302T100000\nSUMMARY:second\nEND:VEVENT\n";
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Wrap(events), error)) << error;
    const std::string madeUp = file.GetItems()[0].id;

    CStoredItem changed = file.GetItems()[1];
    std::get<CAppointmentData>(changed.data).subject = "second, changed";
    ASSERT_TRUE(file.UpdateEvent(changed, error)) << error;
    std::string written;
    ASSERT_TRUE(file.SerializeChecked(written, error)) << error;
    file.Written(written);

    CStoredItem added{"", Meeting()};
    ASSERT_TRUE(file.AddEvent(added, error)) << error;
    CStoredItem first = file.GetItems()[0];
    EXPECT_EQ(first.id, madeUp);
    std::get<CAppointmentData>(first.data).location = "Hall";
    ASSERT_TRUE(file.UpdateEvent(first, error)) << error;
    EXPECT_FALSE(file.UpdateEvent(CStoredItem{"unknown", Meeting()}, error));

    CICalendarFile reread;
    ASSERT_TRUE(reread.Parse(file.Serialize(), error)) << error;
    ASSERT_EQ(reread.GetItems().size(), 3u);
    EXPECT_EQ(reread.GetItems()[0].id, madeUp);
    EXPECT_EQ(Data(reread, 0).location, "Hall");
    EXPECT_EQ(Data(reread, 1).subject, "second, changed");
    EXPECT_EQ(reread.GetItems()[2].id, added.id);
    EXPECT_EQ(Data(reread, 2).subject, Meeting().subject);
    EXPECT_NE(reread.Serialize().find("X-OTHER:kept"), std::string::npos);
}

TEST_F(ICalendarFileTest, TextThatIsNotOneWholeCalendarIsAnError)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Desktop, error));
    const std::string bad[] = {
        "",
        "hello world\n",
        Crlf("BEGIN:VEVENT\nUID:x\nDTSTART:20260301T100000\nEND:VEVENT\n"),
        Crlf("BEGIN:VCALENDAR\nVERSION:2.0\nBEGIN:VEVENT\nUID:x\n"),
        Wrap("BEGIN:VEVENT\nUID:x\nDTSTART:20260301T100000\nDTSTAMP:not a time\nEND:VEVENT\n"),
        Wrap("") + Wrap(""),
        Wrap(std::string("BEGIN:VEVENT\nUID:x\0y\nEND:VEVENT\n", 32)),
        // Read as a date, written with a VALUE=DATE that libical then refuses.
        Wrap("BEGIN:VEVENT\nUID:x\nDTSTAMP:20290000\nDTSTART:20260301T100000\nEND:VEVENT\n"),
    };
    for (const std::string& text : bad) {
        error.clear();
        EXPECT_FALSE(file.Parse(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
        // The calendar read before is kept.
        EXPECT_EQ(file.GetItems().size(), 4u);
    }
    EXPECT_FALSE(file.Parse(std::string(CICalendarFile::MaxTextSize + 1, ' '), error));
    EXPECT_NE(error.find("MiB"), std::string::npos);

    // The line a value libical cannot read stands on is named.
    EXPECT_FALSE(file.Parse(Wrap("BEGIN:VEVENT\nUID:x\nDTSTART:20260301T25xx00\nEND:VEVENT\n"), error));
    EXPECT_NE(error.find("(line 6)"), std::string::npos) << error;

    // Components nested far deeper than any calendar are refused before
    // libical builds (and would recurse through) them.
    std::string deep;
    for (int i = 0; i < 80000; ++i)
        deep += "BEGIN:X-NEST\r\n";
    for (int i = 0; i < 80000; ++i)
        deep += "END:X-NEST\r\n";
    EXPECT_FALSE(file.Parse(Wrap(deep), error));
    EXPECT_NE(error.find("nests components more than"), std::string::npos) << error;
    EXPECT_EQ(file.GetItems().size(), 4u);
}

TEST_F(ICalendarFileTest, WithoutTheReadBackCheckOnParsingTheSerialisationChecksIt)
{
    // Read as a date, written with a VALUE=DATE that libical then refuses.
    const std::string unwritable =
        Wrap("BEGIN:VEVENT\nUID:x\nDTSTAMP:20290000\nDTSTART:20260301T100000\nEND:VEVENT\n");
    CICalendarFile file;
    std::string error;
    EXPECT_FALSE(file.Parse(unwritable, error));
    EXPECT_NE(error.find("would not read back"), std::string::npos) << error;

    error.clear();
    ASSERT_TRUE(file.ParseUnchecked(unwritable, error)) << error;
    ASSERT_EQ(file.GetItems().size(), 1u);
    EXPECT_EQ(file.GetItems()[0].id, "x");
    std::string text = "untouched";
    EXPECT_FALSE(file.SerializeChecked(text, error));
    EXPECT_NE(error.find("would not read back"), std::string::npos) << error;
    EXPECT_EQ(text, "untouched");

    // What the unchecked parse refuses is what the checked one refuses too.
    EXPECT_FALSE(file.ParseUnchecked("hello world\n", error));
    EXPECT_FALSE(file.ParseUnchecked(std::string(CICalendarFile::MaxTextSize + 1, ' '), error));
    EXPECT_EQ(file.GetItems().size(), 1u);

    ASSERT_TRUE(file.ParseUnchecked(Desktop, error)) << error;
    ASSERT_TRUE(file.SerializeChecked(text, error)) << error;
    EXPECT_EQ(text, file.Serialize());
    CICalendarFile again;
    ASSERT_TRUE(again.Parse(text, error)) << error;
    EXPECT_EQ(again.GetItems().size(), file.GetItems().size());
}

TEST_F(ICalendarFileTest, BareCarriageReturnsEndLinesAndControlCharactersAreDropped)
{
    const std::string text = "BEGIN:VCALENDAR\rVERSION:2.0\rPRODID:-//Old//EN\rBEGIN:VEVENT\rUID:cr\b-only\r"
                             "DTSTART:20260301T100000\rSUMMARY:Tab\there\x01\rEND:VEVENT\rEND:VCALENDAR\r";
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(text, error)) << error;
    ASSERT_EQ(file.GetItems().size(), 1u);
    EXPECT_EQ(file.GetItems()[0].id, "cr-only");
    EXPECT_EQ(Data(file, 0).subject, "Tab\there");
    CICalendarFile again;
    ASSERT_TRUE(again.Parse(file.Serialize(), error)) << error;
    EXPECT_EQ(again.GetItems()[0].id, "cr-only");
    EXPECT_EQ(Data(again, 0).subject, "Tab\there");
}

TEST_F(ICalendarFileTest, ARuleBeyondThePatternIsReadAsASingleAppointmentWithANote)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Wrap("BEGIN:VEVENT\nUID:hourly\nSUMMARY:Pills\nDTSTART:20260301T080000\n"
                                "RRULE:FREQ=HOURLY;INTERVAL=4\nEND:VEVENT\n"),
                           error))
        << error;
    ASSERT_EQ(file.GetItems().size(), 1u);
    EXPECT_FALSE(Data(file, 0).isRecurring);
    EXPECT_EQ(Data(file, 0).start, CDateTime(2026, 3, 1, 8, 0, 0));
    ASSERT_EQ(file.GetNotes().size(), 1u);
    EXPECT_NE(file.GetNotes()[0].find("hourly"), std::string::npos);
    EXPECT_NE(file.GetNotes()[0].find("single appointment"), std::string::npos);
    // Saving leaves the rule it did not understand in place.
    EXPECT_NE(file.Serialize().find("RRULE:FREQ=HOURLY;INTERVAL=4"), std::string::npos);
}

TEST_F(ICalendarFileTest, AddedEventsReadBackThroughLibicalAndOtherDataSurvives)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Desktop, error)) << error;
    CAppointmentData data = Meeting();
    data.isRecurring = true;
    data.pattern.recurrenceType = outlook::olRecursMonthNth;
    data.pattern.dayOfWeekMask = outlook::olMonday;
    data.pattern.instance = 1;
    data.pattern.patternStartDate = CDateTime(2026, 3, 2, 0, 0, 0);
    data.pattern.startTime = CDateTime(1899, 12, 30, 14, 0, 0);
    data.pattern.endTime = CDateTime(1899, 12, 30, 15, 30, 0);
    CStoredItem item{"", data};
    ASSERT_TRUE(file.AddEvent(item, error)) << error;
    EXPECT_FALSE(item.id.empty());
    ASSERT_EQ(file.GetItems().size(), 5u);
    EXPECT_EQ(file.GetItems()[4].id, item.id);

    const std::string text = file.Serialize();
    for (const char* kept : {"X-WR-CALNAME:Work", "METHOD:PUBLISH", "TZID:W. Europe Standard Time",
                             "X-VENDOR-COLOUR;X-SHADE=dark:blue", "BEGIN:VTODO", "BEGIN:VJOURNAL",
                             "PARTSTAT=ACCEPTED", "DTSTART;TZID=W. Europe Standard Time:20260710T100000"})
        EXPECT_NE(text.find(kept), std::string::npos) << kept;

    icalcomponent* calendar = icalparser_parse_string(text.c_str());
    ASSERT_NE(calendar, nullptr);
    icalcomponent* event = nullptr;
    for (icalcomponent* e = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); e;
         e = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
        if (item.id == icalcomponent_get_uid(e))
            event = e;
    ASSERT_NE(event, nullptr);
    const icaltimetype start = icalcomponent_get_dtstart(event);
    EXPECT_NE(start.zone, nullptr);
    EXPECT_FALSE(icaltime_is_utc(start));
    EXPECT_EQ(start.day, 2);
    EXPECT_EQ(start.hour, 14);
    EXPECT_EQ(icalcomponent_get_dtend(event).minute, 30);
    EXPECT_STREQ(icalcomponent_get_summary(event), "Review; with, punctuation");
    EXPECT_STREQ(icalcomponent_get_description(event), "Line one\nLine two");
    EXPECT_STREQ(icalcomponent_get_location(event), "Room 7");
    EXPECT_NE(icalcomponent_get_first_property(event, ICAL_DTSTAMP_PROPERTY), nullptr);
    EXPECT_EQ(icalproperty_get_transp(icalcomponent_get_first_property(event, ICAL_TRANSP_PROPERTY)),
              ICAL_TRANSP_OPAQUE);
    EXPECT_EQ(icalcomponent_count_properties(event, ICAL_ATTENDEE_PROPERTY), 3);
    icalcomponent* alarm = icalcomponent_get_first_component(event, ICAL_VALARM_COMPONENT);
    ASSERT_NE(alarm, nullptr);
    EXPECT_EQ(icaldurationtype_as_int(
                  icalproperty_get_trigger(icalcomponent_get_first_property(alarm, ICAL_TRIGGER_PROPERTY))
                      .duration),
              -600);
    const icalrecurrencetype rule =
        icalproperty_get_rrule(icalcomponent_get_first_property(event, ICAL_RRULE_PROPERTY));
    EXPECT_EQ(rule.freq, ICAL_MONTHLY_RECURRENCE);
    EXPECT_EQ(icalrecurrencetype_day_position(rule.by_day[0]), 1);
    icalcomponent_free(calendar);

    CICalendarFile again;
    ASSERT_TRUE(again.Parse(text, error)) << error;
    ASSERT_EQ(again.GetItems().size(), 5u);
    const CAppointmentData& back = Data(again, 4);
    EXPECT_EQ(back.subject, data.subject);
    EXPECT_EQ(back.body, data.body);
    EXPECT_EQ(back.location, data.location);
    EXPECT_EQ(back.start, data.start);
    EXPECT_EQ(back.duration, data.duration);
    EXPECT_EQ(back.busyStatus, data.busyStatus);
    EXPECT_TRUE(back.reminderSet);
    EXPECT_EQ(back.reminderMinutesBeforeStart, 10);
    EXPECT_EQ(back.requiredAttendees, data.requiredAttendees);
    EXPECT_EQ(back.optionalAttendees, data.optionalAttendees);
    ASSERT_TRUE(back.isRecurring);
    EXPECT_EQ(back.pattern.recurrenceType, outlook::olRecursMonthNth);
    EXPECT_EQ(back.pattern.dayOfWeekMask, outlook::olMonday);
    EXPECT_EQ(back.pattern.instance, 1);
    EXPECT_TRUE(back.pattern.noEndDate);
    // What was there before reads as it did.
    EXPECT_EQ(Data(again, 0).requiredAttendees, "Alice Smith; Carol");
    EXPECT_EQ(Data(again, 0).start, CDateTime(2026, 7, 10, 10, 0, 0));
}

// A TZID no VTIMEZONE defines is floating time to some programs: the zone
// comes along once, whichever way the events were written.
TEST_F(ICalendarFileTest, RecurringEventsBringTheirZoneDefinitionOnce)
{
    for (const bool appended : {false, true}) {
        CICalendarFile file;
        std::string error;
        ASSERT_TRUE(file.Parse(Wrap(""), error)) << error;
        for (int day : {2, 9}) {
            CAppointmentData data = Meeting();
            data.start = CDateTime(2026, 3, day, 14, 0, 0);
            data.isRecurring = true;
            data.pattern.recurrenceType = outlook::olRecursWeekly;
            data.pattern.dayOfWeekMask = outlook::olMonday;
            data.pattern.interval = 1;
            data.pattern.noEndDate = true;
            data.pattern.patternStartDate = CDateTime(2026, 3, day, 0, 0, 0);
            data.pattern.startTime = CDateTime(1899, 12, 30, 14, 0, 0);
            data.pattern.endTime = CDateTime(1899, 12, 30, 15, 30, 0);
            CStoredItem item{"", data};
            if (appended) {
                std::optional<CICalendarFile::SAppend> append = file.PrepareAppend(item, error);
                ASSERT_TRUE(append) << error;
                file.CommitAppend(std::move(*append));
            } else {
                ASSERT_TRUE(file.AddEvent(item, error)) << error;
            }
        }
        const std::string text = file.Serialize();
        std::size_t definitions = 0;
        for (std::size_t at = text.find("TZID:Europe/Berlin\r\n"); at != std::string::npos;
             at = text.find("TZID:Europe/Berlin\r\n", at + 1))
            ++definitions;
        EXPECT_EQ(definitions, 1u) << text;
        EXPECT_NE(text.find("BEGIN:DAYLIGHT"), std::string::npos);
        CICalendarFile again;
        ASSERT_TRUE(again.Parse(text, error)) << error;
        EXPECT_EQ(Data(again, 1).start, CDateTime(2026, 3, 9, 14, 0, 0));
    }
}

// A meeting whose attendees are agent names: desktop programs see the
// organiser and the attendees' addresses, and the names read back as they
// were written.
TEST_F(ICalendarFileTest, AMeetingOfAgentsCarriesItsOrganiserAndAttendeeAddresses)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Desktop, error)) << error;
    CAppointmentData data = Meeting();
    data.requiredAttendees = "ann_x.org-CalendarAgent,bob_y.org-CalendarAgent";
    data.requiredAddresses = "ann@x.org; bob@y.org";
    data.organizer = "me@z.org";
    CStoredItem item{"", data};
    ASSERT_TRUE(file.AddEvent(item, error)) << error;
    const std::string text = file.Serialize();
    for (const char* written :
         {"ORGANIZER:mailto:me@z.org", "ATTENDEE;ROLE=REQ-PARTICIPANT:mailto:ann@x.org",
          "ATTENDEE;ROLE=REQ-PARTICIPANT:mailto:bob@y.org", "X-ORVANTE-REQUIRED-ATTENDEES:"})
        EXPECT_NE(text.find(written), std::string::npos) << written << "\n" << text;

    CICalendarFile again;
    ASSERT_TRUE(again.Parse(text, error)) << error;
    const CAppointmentData& back = Data(again, 4);
    EXPECT_EQ(back.requiredAttendees, data.requiredAttendees);
    EXPECT_EQ(back.requiredAddresses, data.requiredAddresses);
    EXPECT_EQ(back.organizer, data.organizer);
    EXPECT_EQ(Data(again, 0).requiredAddresses, "");
}

TEST_F(ICalendarFileTest, EventsWithoutAValidStartOrWithABadPatternAreNotAdded)
{
    CICalendarFile file;
    std::string error;
    CStoredItem item{"", CAppointmentData()};
    EXPECT_FALSE(file.AddEvent(item, error));
    EXPECT_FALSE(error.empty());
    CAppointmentData data = Meeting();
    data.isRecurring = true;
    data.pattern.recurrenceType = 4;
    item.data = data;
    EXPECT_FALSE(file.AddEvent(item, error));
    item.data = outlook::CContactData();
    EXPECT_FALSE(file.AddEvent(item, error));
    EXPECT_TRUE(file.GetItems().empty());
    EXPECT_TRUE(item.id.empty());
}

TEST_F(ICalendarFileTest, UpdatesRewriteOnlyWhatChanged)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Desktop, error)) << error;
    CStoredItem item = file.GetItems()[0];
    CAppointmentData& data = std::get<CAppointmentData>(item.data);
    data.subject = "Planning, moved";
    data.reminderSet = false;
    ASSERT_TRUE(file.UpdateEvent(item, error)) << error;
    std::string text = file.Serialize();
    // Untouched: the zoned start, the attendees with their parameters, the
    // vendor's property.
    EXPECT_NE(text.find("DTSTART;TZID=W. Europe Standard Time:20260710T100000"), std::string::npos);
    EXPECT_NE(text.find("PARTSTAT=ACCEPTED"), std::string::npos);
    EXPECT_NE(text.find("X-VENDOR-COLOUR"), std::string::npos);
    EXPECT_EQ(text.find("TRIGGER;RELATED=START:-PT15M"), std::string::npos);
    EXPECT_EQ(Data(file, 0).subject, "Planning, moved");
    EXPECT_FALSE(Data(file, 0).reminderSet);

    data.start = CDateTime(2026, 7, 11, 8, 0, 0);
    data.requiredAttendees = "Alice Smith; frank@example.org";
    ASSERT_TRUE(file.UpdateEvent(item, error)) << error;
    text = file.Serialize();
    EXPECT_NE(text.find("DTSTART:20260711T060000Z"), std::string::npos);
    EXPECT_NE(text.find("X-ORVANTE-REQUIRED-ATTENDEES:Alice Smith; frank@example.org"), std::string::npos);
    EXPECT_NE(text.find("mailto:bob@example.org"), std::string::npos);
    EXPECT_EQ(Data(file, 0).start, data.start);
    EXPECT_EQ(Data(file, 0).duration, 90);
    EXPECT_EQ(Data(file, 0).requiredAttendees, "Alice Smith; frank@example.org");
    EXPECT_EQ(Data(file, 0).optionalAttendees, "bob@example.org");

    // An all-day event moved by whole days stays all-day.
    CStoredItem conference = file.GetItems()[2];
    std::get<CAppointmentData>(conference.data).start = CDateTime(2026, 1, 21, 0, 0, 0);
    ASSERT_TRUE(file.UpdateEvent(conference, error)) << error;
    EXPECT_NE(file.Serialize().find("DTSTART;VALUE=DATE:20260121"), std::string::npos);

    // Dropping the recurrence removes the rule.
    CStoredItem standUp = file.GetItems()[3];
    std::get<CAppointmentData>(standUp.data).isRecurring = false;
    ASSERT_TRUE(file.UpdateEvent(standUp, error)) << error;
    EXPECT_EQ(file.Serialize().find("RRULE:FREQ=WEEKLY"), std::string::npos);

    CStoredItem unknown{"nobody", CAppointmentData()};
    EXPECT_FALSE(file.UpdateEvent(unknown, error));
    CStoredItem contact{"utc-1", outlook::CContactData()};
    EXPECT_FALSE(file.UpdateEvent(contact, error));
    EXPECT_EQ(file.GetItems().size(), 4u);
}

TEST_F(ICalendarFileTest, SerialisingAndParsingAgainKeepsEveryItem)
{
    CICalendarFile file;
    std::string error;
    ASSERT_TRUE(file.Parse(Desktop, error)) << error;
    CICalendarFile again;
    ASSERT_TRUE(again.Parse(file.Serialize(), error)) << error;
    ASSERT_EQ(again.GetItems().size(), file.GetItems().size());
    for (std::size_t i = 0; i < file.GetItems().size(); ++i) {
        EXPECT_EQ(again.GetItems()[i].id, file.GetItems()[i].id);
        EXPECT_EQ(Data(again, i).start, Data(file, i).start);
        EXPECT_EQ(Data(again, i).subject, Data(file, i).subject);
    }
}
} // namespace
