#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/ScheduleImport.h>

#include <graphstore/testing/HttpDocumentServer.h>
#include <outlook/Constants.h>
#include <platform/PollEventLoop.h>
#include <platform/testing/LoopWait.h>

#include <platform/testing/ScopedTimeZone.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using vespera_test::CVesperaTest;

std::string TeamSchedule()
{
    std::ifstream in(std::string(SCHEDULES_DIR) + "/team-schedule.rdf", std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

class ScheduleImportTest : public CVesperaTest {
protected:
    void SetUp() override
    {
        CVesperaTest::SetUp();
        server.Put("/team.rdf", "application/rdf+xml", TeamSchedule());
        CAgentSettings& settings = Agent().GetSettings();
        settings.SetAutoLoadSchedule(true);
        settings.SetImportScheduleAlert(true);
        settings.SetAgentAlertString("alerts-CalendarAgent");
        settings.SetAgentAlert(true);
        // The test's server is on the loopback address.
        settings.SetPeerFetchLocalAddresses(true);
        // Made after the agent, which therefore holds nothing of it; the
        // uploads' fetches run on it.
        loop = std::make_unique<CPollEventLoop>();
    }

    // Delivers the message and runs the loop until its fetch has ended.
    void DeliverAndFetch(const std::string& content, const std::string& sender = "peer-CalendarAgent")
    {
        Deliver(content, sender);
        EXPECT_TRUE(
            loopwait::RunUntil(*loop, [this] { return Agent().GetScheduleImport().FetchesRunning() == 0; }));
    }
    void Upload(const std::string& url)
    {
        DeliverAndFetch("tell :objective uploadScheduleURL :url \"" + url + "\"");
    }

    long CalendarItems() { return Backend().GetCount(outlook::olFolderCalendar); }

    testsupport::CHttpDocumentServer server;
    std::unique_ptr<CPollEventLoop> loop;
};

TEST_F(ScheduleImportTest, ImportingTheSameScheduleAgainUpdatesInsteadOfAddingTwins)
{
    for (int round = 0; round < 3; ++round)
        Upload(server.Url("/team.rdf"));
    EXPECT_EQ(CalendarItems(), 2);
    int imported = 0;
    const CAppointmentStore& store = Agent().GetAppointmentStore();
    for (int i = 0; i < store.GetCount(); ++i)
        imported += store.GetAt(i)->GetSubject() == "Architecture review" ? 1 : 0;
    EXPECT_EQ(imported, 1);
    outlook::CStoredItem item;
    ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, 0, item));
    const auto& review = std::get<outlook::CAppointmentData>(item.data);
    EXPECT_EQ(review.subject, "Architecture review");
    EXPECT_EQ(review.duration, 90);
    EXPECT_TRUE(review.reminderSet);
    EXPECT_EQ(review.reminderMinutesBeforeStart, 15);
    // The document names its events under another address than the one it
    // was fetched from: their identity is scoped by the fetched address.
    EXPECT_EQ(item.id, CScheduleImport::ImportUid(server.Url("/team.rdf") +
                                                  " http://schedules.example.org/team.rdf#review"));
    // Every upload is told to the alert agent.
    ASSERT_EQ(Agent().Sent().size(), 3u);
    EXPECT_TRUE(Agent().Sent()[0].alertNotice);
    EXPECT_EQ(Agent().Sent()[0].receiver, "alerts-CalendarAgent");
    EXPECT_NE(Agent().Sent()[0].content.find(":url \"" + server.Url("/team.rdf") + "\""), std::string::npos);
}

TEST_F(ScheduleImportTest, AnotherAgentsAddressOnThisMachineIsNotFetchedUnlessAllowed)
{
    Agent().GetSettings().SetPeerFetchLocalAddresses(false);
    Upload(server.Url("/team.rdf"));
    EXPECT_EQ(server.Requests(), 0) << "not even connected to";
    EXPECT_EQ(CalendarItems(), 0);
    EXPECT_TRUE(Agent().HasLineContaining("Schedule " + server.Url("/team.rdf") +
                                          " not imported: Refused address " + server.Url("/team.rdf") +
                                          ": 127.0.0.1 is a loopback address"));
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text, "Failed to load URL");
}

TEST_F(ScheduleImportTest, AStalledFetchLeavesTheAgentFreeAndItsImportFollowsWhenItEnds)
{
    server.Hold("/team.rdf");
    Deliver("tell :objective uploadScheduleURL :url \"" + server.Url("/team.rdf") + "\"");
    ASSERT_TRUE(loopwait::RunUntil(*loop, [this] { return server.Holding() == 1; }));
    // The agent is back from the message while the server still holds the
    // answer: nothing is imported or told yet.
    EXPECT_EQ(Agent().GetScheduleImport().FetchesRunning(), 1u);
    EXPECT_EQ(CalendarItems(), 0);
    EXPECT_TRUE(Agent().Sent().empty());
    server.Release();
    ASSERT_TRUE(
        loopwait::RunUntil(*loop, [this] { return Agent().GetScheduleImport().FetchesRunning() == 0; }));
    EXPECT_EQ(CalendarItems(), 2);
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_TRUE(Agent().Sent()[0].alertNotice);
}

TEST_F(ScheduleImportTest, AFetchStillRunningStopsWithTheAgentAndLeavesNothingBehind)
{
    server.Hold("/team.rdf");
    Deliver("tell :objective uploadScheduleURL :url \"" + server.Url("/team.rdf") + "\"");
    ASSERT_TRUE(loopwait::RunUntil(*loop, [this] { return server.Holding() == 1; }));
    ResetAgent();
    server.Release();
    // Whatever the server sends now reaches nobody: the loop has nothing of
    // the stopped fetch left to run.
    EXPECT_TRUE(loopwait::DeliverPosted(*loop));
    EXPECT_EQ(CalendarItems(), 0);
}

TEST_F(ScheduleImportTest, APageThatCannotBeLoadedIsSaidAndStillToldToTheUser)
{
    Agent().GetSettings().SetEmailAlertString("ann@example.org");
    Agent().GetSettings().SetEmailAlert(true);
    Upload(server.Url("/missing.rdf"));
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text, "Failed to load URL");
    EXPECT_EQ(CalendarItems(), 0);
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_EQ(Agent().Sent()[0].content.rfind("tell :command schedule_uploaded :start (tell :day ", 0), 0u);
    ASSERT_EQ(Backend().GetSentMail().size(), 1u);
    EXPECT_EQ(Backend().GetSentMail()[0].subject, "Imported Schedule");
    EXPECT_EQ(Backend().GetSentMail()[0].body.rfind(server.Url("/missing.rdf") + "@", 0), 0u);
}

TEST_F(ScheduleImportTest, RecurringFeedEventsImportAsRecurringItems)
{
    server.Put("/choir.ics", "text/calendar",
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:r1\r\n"
               "DTSTAMP:20261201T000000Z\r\nDTSTART:20310304T190000\r\nDTEND:20310304T210000\r\n"
               "SUMMARY:Rehearsal\r\nRRULE:FREQ=WEEKLY;COUNT=4\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:r2\r\n"
               "DTSTAMP:20261201T000000Z\r\nDTSTART:20310305T190000\r\nDTEND:20310305T200000\r\n"
               "SUMMARY:Odd one\r\nRRULE:FREQ=WEEKLY;BYSETPOS=2\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    Upload(server.Url("/choir.ics"));
    // The rule the pattern cannot say gives its 53 weeks from its start.
    ASSERT_EQ(CalendarItems(), 1 + 53);
    outlook::CStoredItem item;
    ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, 0, item));
    EXPECT_TRUE(std::get<outlook::CAppointmentData>(item.data).isRecurring);
    const CAppointmentStore& store = Agent().GetAppointmentStore();
    ASSERT_EQ(store.GetCount(), 54);
    EXPECT_TRUE(store.GetAt(0)->OccursOn(25, 3, 2031)) << "the fourth Tuesday";
    EXPECT_FALSE(store.GetAt(0)->OccursOn(1, 4, 2031)) << "after the fourth";
    EXPECT_FALSE(store.GetAt(1)->IsRecurring());
    EXPECT_EQ(store.GetAt(1)->GetStartTime(), CDateTime(2031, 3, 5, 19, 0, 0));
    EXPECT_EQ(store.GetAt(53)->GetStartTime(), CDateTime(2032, 3, 3, 19, 0, 0));
}

std::string Feed(int events, const std::string& summary = "Talk")
{
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n";
    for (int i = 0; i < events; ++i)
        text += "BEGIN:VEVENT\r\nUID:e" + std::to_string(i) +
                "\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:2031030" + std::to_string(1 + i % 9) + "T1" +
                std::to_string(i % 10) + "0000\r\nDURATION:PT1H\r\nSUMMARY:" + summary + "\r\nEND:VEVENT\r\n";
    return text + "END:VCALENDAR\r\n";
}

int ItemsCalled(CAppointmentStore& store, const std::string& subject)
{
    int count = 0;
    for (int i = 0; i < store.GetCount(); ++i)
        count += store.GetAt(i)->GetSubject() == subject ? 1 : 0;
    return count;
}

TEST_F(ScheduleImportTest, AFeedElsewhereReusingAScheduleEventUriCannotOverwriteIt)
{
    std::string forged = TeamSchedule();
    for (std::size_t at = forged.find("Architecture review"); at != std::string::npos;
         at = forged.find("Architecture review", at))
        forged.replace(at, 19, "MOVED: cancelled");
    server.Put("/forged.rdf", "application/rdf+xml", forged);
    Upload(server.Url("/team.rdf"));
    Upload(server.Url("/forged.rdf"));
    Upload(server.Url("/team.rdf"));
    EXPECT_EQ(CalendarItems(), 4);
    EXPECT_EQ(ItemsCalled(Agent().GetAppointmentStore(), "Architecture review"), 1);
    EXPECT_EQ(ItemsCalled(Agent().GetAppointmentStore(), "MOVED: cancelled"), 1);
}

TEST_F(ScheduleImportTest, ImportsPastTheBoundsAreRefusedAsTooLarge)
{
    Agent().GetScheduleImport().SetBounds(5, 12);
    server.Put("/big.ics", "text/calendar", Feed(6));
    Upload(server.Url("/big.ics"));
    EXPECT_EQ(CalendarItems(), 0);
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text, "Schedule not imported: too large");
    // The same feed under ever new addresses: a peer's day is bounded too,
    // and another peer still has its own.
    for (int again = 1; again <= 4; ++again) {
        server.Put("/feed.ics?again=" + std::to_string(again), "text/calendar", Feed(4));
        Upload(server.Url("/feed.ics?again=" + std::to_string(again)));
    }
    EXPECT_EQ(CalendarItems(), 12);
    EXPECT_EQ(Boxes().Boxes().size(), 2u);
    DeliverAndFetch("tell :objective uploadScheduleURL :url \"" + server.Url("/feed.ics?again=4") + "\"",
                    "other-CalendarAgent");
    EXPECT_EQ(CalendarItems(), 16);
}

TEST_F(ScheduleImportTest, AnImportWhileTheCalendarIsNotOpenWritesNothingAndSaysSo)
{
    ResetAgentUnstarted();
    const CFetchedDocument document(Feed(2), "text/calendar");
    Agent().GetScheduleImport().ImportDocument(document, "http://example.org/talks.ics", std::string());
    EXPECT_EQ(CalendarItems(), 0);
    EXPECT_TRUE(Agent().HasLineContaining("Not importing \"Talk\": the calendar is not open"));
}

TEST_F(ScheduleImportTest, BytesThatAreNotUtf8ReachTheCalendarReplaced)
{
    server.Put("/latin1.ics", "text/calendar", Feed(1, "Caf\xE9"));
    Upload(server.Url("/latin1.ics"));
    ASSERT_EQ(CalendarItems(), 1);
    EXPECT_EQ(ItemsCalled(Agent().GetAppointmentStore(), "Caf\xEF\xBF\xBD"), 1);
}

TEST_F(ScheduleImportTest, PeersMayBrowseWebAddressesAndOnlyTheShippedSchedulesOnDisk)
{
    CScheduleImport& import = Agent().GetScheduleImport();
    import.SetShippedSchedulesFolder("/opt/orvante/schedules");
    const std::pair<const char*, bool> cases[] = {
        {"http://example.org/s.rdf", true},
        {"https://example.org/s.rdf", true},
        {"file:///opt/orvante/schedules/team-schedule.rdf", true},
        {"file:///opt/orvante/schedules/../../../etc/passwd", false},
        {"file:///opt/orvante/schedules/%2e%2e/x", false},
        {"file:///opt/orvante/schedules/sub/x.rdf", false},
        {"file:///opt/orvante/schedules/", false},
        {"file:///etc/passwd", false},
        {"ftp://example.org/s.rdf", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(import.MayBrowse(c.first), c.second) << c.first;
}

TEST(ScheduleImportUid, StableAndDistinct)
{
    EXPECT_EQ(CScheduleImport::ImportUid("a"), CScheduleImport::ImportUid("a"));
    EXPECT_NE(CScheduleImport::ImportUid("a"), CScheduleImport::ImportUid("b"));
    EXPECT_EQ(CScheduleImport::ImportUid("a").rfind("orvante-import-", 0), 0u);
}

std::string Data(const std::string& name)
{
    std::ifstream in(std::string(TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every calendar item as "subject start", in start order.
std::vector<std::string> ItemsByStart(outlook::CMemoryBackend& backend)
{
    std::vector<std::pair<CDateTime, std::string>> items;
    for (long i = 0; i < backend.GetCount(outlook::olFolderCalendar); ++i) {
        outlook::CStoredItem item;
        if (!backend.GetItem(outlook::olFolderCalendar, i, item))
            continue;
        const auto& data = std::get<outlook::CAppointmentData>(item.data);
        items.emplace_back(data.start, data.subject + " " + data.start.Format());
    }
    std::sort(items.begin(), items.end());
    std::vector<std::string> texts;
    for (const auto& item : items)
        texts.push_back(item.second);
    return texts;
}

TEST_F(ScheduleImportTest, AFeedImportedTwiceFollowsItsExclusionsMovesAndCancellations)
{
    const testsupport::CScopedTimeZone zone("America/New_York");
    outlook::CStoredItem own{"own@user", outlook::CAppointmentData()};
    std::get<outlook::CAppointmentData>(own.data).subject = "Deck gala";
    std::get<outlook::CAppointmentData>(own.data).start = CDateTime(2031, 1, 10, 13, 0, 0);
    ASSERT_TRUE(Backend().AddItem(outlook::olFolderCalendar, own));
    server.Put("/ferry.ics", "text/calendar", Data("ferry-before.ics"));
    Upload(server.Url("/ferry.ics"));
    // Oslo's 08:00 in winter is New York's 02:00.
    const std::vector<std::string> before = {
        "Crossing 1/7/2031 2:00:00 AM",
        "Deck gala 1/10/2031 1:00:00 PM",
        "Deck gala 1/10/2031 1:00:00 PM",
        "Lighthouse open day 1/11/2031",
        "Crossing (late boat) 1/21/2031 5:30:00 AM",
        "Crossing 1/28/2031 2:00:00 AM",
        "Crossing 2/4/2031 2:00:00 AM",
    };
    EXPECT_EQ(ItemsByStart(Backend()), before);
    server.Put("/ferry.ics", "text/calendar", Data("ferry-after.ics"));
    for (int round = 0; round < 2; ++round)
        Upload(server.Url("/ferry.ics"));
    const std::vector<std::string> after = {
        "Crossing 1/7/2031 2:00:00 AM",  "Deck gala 1/10/2031 1:00:00 PM",
        "Lighthouse open day 1/11/2031", "Crossing (late boat) 1/21/2031 5:30:00 AM",
        "Crossing 2/4/2031 2:00:00 AM",
    };
    EXPECT_EQ(ItemsByStart(Backend()), after) << "the user's own gala stays, the cancelled one goes";
    outlook::CStoredItem kept;
    ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, 0, kept));
    EXPECT_EQ(kept.id, "own@user");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 5);
    for (long i = 0; i < CalendarItems(); ++i) {
        outlook::CStoredItem item;
        ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, i, item));
        const auto& data = std::get<outlook::CAppointmentData>(item.data);
        EXPECT_EQ(data.busyStatus == outlook::olFree, data.subject == "Lighthouse open day") << data.subject;
    }
}

TEST_F(ScheduleImportTest, UnboundedAndHugeRulesGiveABoundedYearAndSaySo)
{
    std::string feed = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n"
                       "BEGIN:VEVENT\r\nUID:tick\r\nDTSTAMP:20301201T000000Z\r\nDTSTART:20310301T100000\r\n"
                       "SUMMARY:Tick\r\nRRULE:FREQ=SECONDLY\r\nEND:VEVENT\r\n"
                       "BEGIN:VEVENT\r\nUID:daily\r\nDTSTAMP:20301201T000000Z\r\nDTSTART:20310302T090000\r\n"
                       "SUMMARY:Daily\r\nRRULE:FREQ=DAILY;COUNT=100000000\r\n";
    // A hundred thousand exclusions, every one of them after the year.
    for (int i = 0; i < 100000; ++i)
        feed += "EXDATE:2040" + std::string(i % 12 < 9 ? "0" : "") + std::to_string(i % 12 + 1) + "01T" +
                std::to_string(10 + i % 10) + std::to_string(10 + i % 50) + "00\r\n";
    feed += "EXDATE:20310304T090000\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
    server.Put("/busy.ics", "text/calendar", feed);
    Upload(server.Url("/busy.ics"));
    EXPECT_EQ(CalendarItems(), static_cast<long>(CScheduleImport::MaxOccurrences) + 366 - 1);
    EXPECT_EQ(ItemsCalled(Agent().GetAppointmentStore(), "Daily"), 365) << "a year less the one excluded";
    EXPECT_TRUE(Agent().HasLineContaining("Only 500 occurrence(s) of \"Tick\" within a year are imported"));

    // The occurrences of one import stay within its bound.
    Agent().GetScheduleImport().SetBounds(600, 10000);
    const std::string singles = Feed(2, "Single");
    server.Put("/busy.ics", "text/calendar",
               singles.substr(0, singles.find("END:VCALENDAR")) + feed.substr(feed.find("BEGIN:VEVENT")));
    Upload(server.Url("/busy.ics"));
    EXPECT_EQ(ItemsCalled(Agent().GetAppointmentStore(), "Single"), 2);
    EXPECT_EQ(ItemsCalled(Agent().GetAppointmentStore(), "Daily"), 98) << "600 less 2 singles and 500 ticks";
    EXPECT_TRUE(Agent().HasLineContaining("Only 98 occurrence(s) of \"Daily\" within a year are imported"));
}

} // namespace

namespace {

TEST_F(ScheduleImportTest, FeedEventsKeepTheirWholeMinutesAndTheirText)
{
    server.Put("/quiz.ics", "text/calendar",
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:q1\r\n"
               "DTSTAMP:20261201T000000Z\r\nDTSTART:20310304T190000\r\nDTEND:20310304T210000\r\n"
               "SUMMARY:Quiz\\, food and drinks\r\nEND:VEVENT\r\nBEGIN:VEVENT\r\nUID:q2\r\n"
               "DTSTAMP:20261201T000000Z\r\nDTSTART:20310305T090000\r\nDTEND:20310305T093000\r\n"
               "SUMMARY:Stand-up\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    Upload(server.Url("/quiz.ics"));
    ASSERT_EQ(CalendarItems(), 2);
    const struct {
        const char* subject;
        long minutes;
    } expected[] = {{"Quiz, food and drinks", 120}, {"Stand-up", 30}};
    for (int i = 0; i < 2; ++i) {
        outlook::CStoredItem item;
        ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, i, item));
        const auto& data = std::get<outlook::CAppointmentData>(item.data);
        EXPECT_EQ(data.subject, expected[i].subject);
        EXPECT_EQ(data.duration, expected[i].minutes) << expected[i].subject;
    }
}

TEST_F(ScheduleImportTest, AllDayFeedEventsStayAllDayAndADayWithoutAnEndIsOneDay)
{
    server.Put("/days.ics", "text/calendar",
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\nBEGIN:VEVENT\r\nUID:h1\r\n"
               "DTSTAMP:20261201T000000Z\r\nDTSTART;VALUE=DATE:20311224\r\nSUMMARY:Holiday\r\nEND:VEVENT\r\n"
               "BEGIN:VEVENT\r\nUID:h2\r\nDTSTAMP:20261201T000000Z\r\nDTSTART;VALUE=DATE:20311227\r\n"
               "DTEND;VALUE=DATE:20311229\r\nSUMMARY:Trip\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    Upload(server.Url("/days.ics"));
    ASSERT_EQ(CalendarItems(), 2);
    const struct {
        const char* subject;
        CDateTime start;
        long minutes;
        const char* shown;
    } expected[] = {{"Holiday", CDateTime(2031, 12, 24, 0, 0, 0), 1440, "All Day"},
                    {"Trip", CDateTime(2031, 12, 27, 0, 0, 0), 2880, "2 Days"}};
    for (int i = 0; i < 2; ++i) {
        outlook::CStoredItem item;
        ASSERT_TRUE(Backend().GetItem(outlook::olFolderCalendar, i, item));
        const auto& data = std::get<outlook::CAppointmentData>(item.data);
        EXPECT_EQ(data.subject, expected[i].subject);
        EXPECT_TRUE(data.allDay) << expected[i].subject;
        EXPECT_EQ(data.start, expected[i].start) << expected[i].subject;
        EXPECT_EQ(data.duration, expected[i].minutes) << expected[i].subject;
    }
    const CAppointmentStore& store = Agent().GetAppointmentStore();
    ASSERT_EQ(store.GetCount(), 2);
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(store.GetAt(i)->GetDurationString(), expected[i].shown);
}

} // namespace
