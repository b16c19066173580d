#include <outlook/CalDavBackend.h>

#include <outlook/testing/RadicaleServer.h>

#include <outlook/DavClient.h>
#include <outlook/DavCollections.h>

#include <outlook/ReminderListener.h>
#include <platform/DateTimeSpan.h>
#include <platform/PollEventLoop.h>
#include <platform/testing/LoopWait.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using outlook::CAppointmentData;
using outlook::CCalDavBackend;
using outlook::CContactData;
using outlook::CDavClient;
using outlook::CStoredItem;
using outlook::olFolderCalendar;
using outlook::olFolderContacts;
using testsupport::CRadicaleServer;

std::string Event(const std::string& uid, const std::string& summary, const std::string& start)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Another Client//EN\r\nBEGIN:VEVENT\r\nUID:" + uid +
           "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:" + start + "\r\nDURATION:PT1H\r\nSUMMARY:" + summary +
           "\r\nX-ANOTHER-CLIENT:kept\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n";
}

const char* const Card = "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:olga-1\r\nN:Reyes;Olga;;;\r\nFN:Olga Reyes\r\n"
                         "EMAIL:olga@example.org\r\nNOTE:from the phone\r\nEND:VCARD\r\n";

std::string Subject(const CStoredItem& item)
{
    return std::get<CAppointmentData>(item.data).subject;
}

// A server with Ann's calendar and address book, written there as another
// device of hers would.
class CalDavBackendTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!CRadicaleServer::Available())
            GTEST_SKIP() << "radicale is not installed";
        ASSERT_TRUE(server.Start()) << server.Errors();
        const CDavClient::SReply made = other.Request("MKCALENDAR", server.Url("/ann/calendar/"), {});
        ASSERT_EQ(made.status, 201) << made.error << server.Errors();
        ASSERT_EQ(other
                      .Request("MKCOL", server.Url("/ann/contacts/"), {"Content-Type: application/xml"},
                               "<?xml version=\"1.0\"?><d:mkcol xmlns:d=\"DAV:\" "
                               "xmlns:a=\"urn:ietf:params:xml:ns:carddav\"><d:set><d:prop><d:resourcetype>"
                               "<d:collection/><a:addressbook/></d:resourcetype></d:prop></d:set></d:mkcol>")
                      .status,
                  201);
        ASSERT_TRUE(
            OtherPuts("/ann/calendar/standup.ics", Event("standup-1", "Stand-up", "20310304T090000Z")));
        ASSERT_EQ(other.Put(server.Url("/ann/contacts/olga.vcf"), Card, "text/vcard", "").status, 201);
    }

    bool OtherPuts(const std::string& path, const std::string& text) { return server.DevicePuts(path, text); }

    std::string Calendar() { return server.DeviceReads("/ann/calendar/"); }

    std::string OnServer(const std::string& path) { return other.Request("GET", server.Url(path), {}).body; }

    static CCalDavBackend::SSettings Settings(const std::string& url,
                                              const std::string& user = CRadicaleServer::User)
    {
        CCalDavBackend::SSettings settings;
        settings.url = url;
        settings.client = {user, 5000};
        return settings;
    }

    CCalDavBackend Backend(const std::string& url) { return CCalDavBackend(Settings(url)); }

    CRadicaleServer server;
    CDavClient other{{CRadicaleServer::User, 5000}};
};

TEST_F(CalDavBackendTest, TheServersRootLeadsToTheCalendarAndAddressBookAnotherClientWrote)
{
    CCalDavBackend backend = Backend(server.Url("/"));
    ASSERT_TRUE(backend.Start()) << backend.GetLastErrorText();
    ASSERT_TRUE(backend.Open());
    EXPECT_EQ(backend.GetCalendarUrl(), server.Url("/ann/calendar/"));
    EXPECT_EQ(backend.GetContactsUrl(), server.Url("/ann/contacts/"));
    ASSERT_EQ(backend.GetCount(olFolderCalendar), 1);
    CStoredItem item;
    ASSERT_TRUE(backend.GetItem(olFolderCalendar, 0, item));
    EXPECT_EQ(item.id, "standup-1");
    EXPECT_EQ(Subject(item), "Stand-up");
    EXPECT_EQ(std::get<CAppointmentData>(item.data).start, CDateTime(2031, 3, 4, 9, 0, 0));
    ASSERT_EQ(backend.GetCount(olFolderContacts), 1);
    ASSERT_TRUE(backend.GetItem(olFolderContacts, 0, item));
    EXPECT_EQ(std::get<CContactData>(item.data).email1Address, "olga@example.org");
}

TEST_F(CalDavBackendTest, NewItemsAndChangesReachTheServerAndKeepWhatOthersWrote)
{
    CCalDavBackend backend = Backend(server.Url("/ann/calendar/"));
    ASSERT_TRUE(backend.Start() && backend.Open()) << backend.GetLastErrorText();
    CAppointmentData meeting;
    meeting.subject = "Planning";
    meeting.start = CDateTime(2031, 3, 5, 14, 0, 0);
    meeting.duration = 30;
    CStoredItem added{"", meeting};
    ASSERT_TRUE(backend.AddItem(olFolderCalendar, added)) << backend.GetLastErrorText();
    EXPECT_NE(Calendar().find("UID:" + added.id), std::string::npos);
    EXPECT_NE(Calendar().find("SUMMARY:Planning"), std::string::npos);

    CStoredItem standup;
    ASSERT_TRUE(backend.GetItem(olFolderCalendar, 0, standup));
    std::get<CAppointmentData>(standup.data).subject = "Stand-up, moved";
    ASSERT_TRUE(backend.UpdateItem(standup)) << backend.GetLastErrorText();
    const std::string written = OnServer("/ann/calendar/standup.ics");
    EXPECT_NE(written.find("SUMMARY:Stand-up\\, moved"), std::string::npos) << written;
    EXPECT_NE(written.find("X-ANOTHER-CLIENT:kept"), std::string::npos) << "another client's property";

    CStoredItem contact{"", CContactData{"Cy", "Ng", "cy@example.org", "", "", "", ""}};
    ASSERT_TRUE(backend.AddItem(olFolderContacts, contact)) << backend.GetLastErrorText();
    EXPECT_NE(
        other.Request("GET", backend.GetContactsUrl() + contact.id + ".vcf", {}).body.find("cy@example.org"),
        std::string::npos);
    CStoredItem olga;
    for (long at = 0; at < backend.GetCount(olFolderContacts) && olga.id != "olga-1"; ++at)
        ASSERT_TRUE(backend.GetItem(olFolderContacts, at, olga));
    std::get<CContactData>(olga.data).email1Address = "olga@reyes.example";
    ASSERT_TRUE(backend.UpdateItem(olga)) << backend.GetLastErrorText();
    const std::string card = OnServer("/ann/contacts/olga.vcf");
    EXPECT_NE(card.find("olga@reyes.example"), std::string::npos) << card;
    EXPECT_NE(card.find("NOTE:from the phone"), std::string::npos) << "another client's line";
}

// Another device changed the event after this back-end read it: the PUT
// meets 412, the event is read again and the change made on top of the
// other device's.
TEST_F(CalDavBackendTest, AChangeMadeMeanwhileOnAnotherDeviceIsKept)
{
    CCalDavBackend backend = Backend(server.Url("/ann/calendar/"));
    ASSERT_TRUE(backend.Start() && backend.Open()) << backend.GetLastErrorText();
    std::string phone = Event("standup-1", "Stand-up", "20310304T090000Z");
    phone.replace(phone.find("END:VEVENT"), 0, "LOCATION:Room 4\r\n");
    ASSERT_TRUE(OtherPuts("/ann/calendar/standup.ics", phone));

    CStoredItem standup;
    ASSERT_TRUE(backend.GetItem(olFolderCalendar, 0, standup));
    std::get<CAppointmentData>(standup.data).subject = "Daily stand-up";
    ASSERT_TRUE(backend.UpdateItem(standup)) << backend.GetLastErrorText();
    const std::string written = OnServer("/ann/calendar/standup.ics");
    EXPECT_NE(written.find("SUMMARY:Daily stand-up"), std::string::npos) << written;
    EXPECT_NE(written.find("LOCATION:Room 4"), std::string::npos) << written;
}

TEST_F(CalDavBackendTest, RefreshSeesWhatAnotherClientAddedAndOnlyThen)
{
    CCalDavBackend backend = Backend(server.Url("/ann/calendar/"));
    ASSERT_TRUE(backend.Start() && backend.Open()) << backend.GetLastErrorText();
    EXPECT_EQ(backend.Refresh(), outlook::CBackend::RefreshResult::Unchanged);
    ASSERT_TRUE(OtherPuts("/ann/calendar/dentist.ics", Event("dentist-1", "Dentist", "20310306T080000Z")));
    EXPECT_EQ(backend.Refresh(), outlook::CBackend::RefreshResult::Reread);
    EXPECT_EQ(backend.GetCount(olFolderCalendar), 2);
    EXPECT_EQ(backend.Refresh(), outlook::CBackend::RefreshResult::Unchanged);

    // With a loop, Refresh takes what the poll read; FetchChanges asks now.
    CPollEventLoop loop;
    CCalDavBackend::SSettings settings = Settings(server.Url("/ann/calendar/"));
    settings.loop = &loop;
    settings.pollSeconds = 3600;
    CCalDavBackend polled(settings);
    ASSERT_TRUE(polled.Start() && polled.Open()) << polled.GetLastErrorText();
    ASSERT_TRUE(OtherPuts("/ann/calendar/gym.ics", Event("gym-1", "Gym", "20310307T080000Z")));
    EXPECT_EQ(polled.Refresh(), outlook::CBackend::RefreshResult::Unchanged) << "no poll yet";
    polled.FetchChanges();
    EXPECT_EQ(polled.Refresh(), outlook::CBackend::RefreshResult::Reread);
    EXPECT_EQ(polled.GetCount(olFolderCalendar), 3);
}

// A poll asks for what changed since the sync token and reads only that:
// another device's new, changed and removed events; this agent's own write
// is not read back.
TEST_F(CalDavBackendTest, APollReadsOnlyWhatChangedSinceTheSyncToken)
{
    CCalDavBackend backend = Backend(server.Url("/ann/calendar/"));
    ASSERT_TRUE(backend.Start() && backend.Open()) << backend.GetLastErrorText();
    ASSERT_TRUE(backend.IsSyncing());
    CAppointmentData lunch;
    lunch.subject = "Lunch";
    lunch.start = CDateTime(2031, 3, 5, 12, 0, 0);
    CStoredItem added{"", lunch};
    ASSERT_TRUE(backend.AddItem(olFolderCalendar, added)) << backend.GetLastErrorText();
    std::size_t asked = backend.GetClient().Requests();
    std::get<CAppointmentData>(added.data).subject = "Long lunch";
    ASSERT_TRUE(backend.UpdateItem(added)) << backend.GetLastErrorText();
    EXPECT_EQ(backend.GetClient().Requests() - asked, 1u) << "one PUT, on the version the last PUT made";
    asked = backend.GetClient().Requests();
    EXPECT_EQ(backend.Refresh(), outlook::CBackend::RefreshResult::Unchanged);
    EXPECT_EQ(backend.GetClient().Requests() - asked, 1u) << "one sync report";

    ASSERT_TRUE(OtherPuts("/ann/calendar/gym.ics", Event("gym-1", "Gym", "20310307T080000Z")));
    ASSERT_TRUE(
        OtherPuts("/ann/calendar/standup.ics", Event("standup-1", "Team stand-up", "20310304T090000Z")));
    asked = backend.GetClient().Requests();
    ASSERT_EQ(backend.Refresh(), outlook::CBackend::RefreshResult::Reread);
    EXPECT_EQ(backend.GetClient().Requests() - asked, 2u) << "the sync report and one multiget";
    std::vector<std::string> subjects;
    for (long at = 0; at < backend.GetCount(olFolderCalendar); ++at) {
        CStoredItem item;
        ASSERT_TRUE(backend.GetItem(olFolderCalendar, at, item));
        subjects.push_back(Subject(item));
    }
    std::sort(subjects.begin(), subjects.end());
    EXPECT_EQ(subjects, (std::vector<std::string>{"Gym", "Long lunch", "Team stand-up"}));

    ASSERT_EQ(other.Request("DELETE", server.Url("/ann/calendar/gym.ics"), {}).status, 200);
    ASSERT_EQ(backend.Refresh(), outlook::CBackend::RefreshResult::Reread);
    EXPECT_EQ(backend.GetCount(olFolderCalendar), 2);
}

// The server goes away while the agent runs: a change, a removal and a new
// item that is changed again wait in the journal, and reach the server once
// each when it answers again, on top of what another device changed meanwhile.
TEST_F(CalDavBackendTest, ChangesAndRemovalsMadeWhileTheServerIsDownReachItOnce)
{
    testsupport::CTempDir local;
    ASSERT_TRUE(OtherPuts("/ann/calendar/gym.ics", Event("gym-1", "Gym", "20310307T080000Z")));
    CCalDavBackend::SSettings settings = Settings(server.Url("/ann/calendar/"));
    settings.journalPath = local.Path() + "/caldav-journal";
    CCalDavBackend backend(settings);
    ASSERT_TRUE(backend.Start() && backend.Open()) << backend.GetLastErrorText();
    server.Stop();

    CStoredItem standup, gym;
    for (long at = 0; at < 2; ++at) {
        CStoredItem item;
        ASSERT_TRUE(backend.GetItem(olFolderCalendar, at, item));
        (item.id == "standup-1" ? standup : gym) = item;
    }
    std::get<CAppointmentData>(standup.data).subject = "Daily stand-up";
    ASSERT_TRUE(backend.UpdateItem(standup)) << backend.GetLastErrorText();
    ASSERT_TRUE(backend.RemoveItem(gym.id)) << backend.GetLastErrorText();
    CAppointmentData meeting;
    meeting.subject = "Agreed";
    meeting.start = CDateTime(2031, 3, 8, 9, 0, 0);
    CStoredItem added{"", meeting};
    ASSERT_TRUE(backend.AddItem(olFolderCalendar, added)) << backend.GetLastErrorText();
    std::get<CAppointmentData>(added.data).subject = "Agreed, room 2";
    ASSERT_TRUE(backend.UpdateItem(added)) << backend.GetLastErrorText();
    EXPECT_EQ(backend.GetJournalSize(), 3u);

    ASSERT_TRUE(server.Start()) << server.Errors();
    std::string phone = Event("standup-1", "Stand-up", "20310304T090000Z");
    phone.replace(phone.find("END:VEVENT"), 0, "LOCATION:Room 4\r\n");
    ASSERT_TRUE(OtherPuts("/ann/calendar/standup.ics", phone));
    backend.FetchChanges();
    EXPECT_EQ(backend.Refresh(), outlook::CBackend::RefreshResult::Reread) << backend.GetLastErrorText();
    EXPECT_EQ(backend.GetJournalSize(), 0u);

    const std::string onServer = Calendar();
    EXPECT_EQ(onServer.find("UID:gym-1"), std::string::npos) << onServer;
    EXPECT_NE(onServer.find("SUMMARY:Daily stand-up"), std::string::npos) << onServer;
    EXPECT_NE(onServer.find("LOCATION:Room 4"), std::string::npos) << "the phone's change is kept";
    EXPECT_EQ(onServer.find("SUMMARY:Agreed"), onServer.rfind("SUMMARY:Agreed")) << "landed once";
    EXPECT_NE(onServer.find("SUMMARY:Agreed\\, room 2"), std::string::npos) << onServer;
    EXPECT_EQ(backend.GetCount(olFolderCalendar), 2);
}

// The server goes down: the agent starts from the copy it read last, a
// meeting or contact it must write waits in the journal (which outlives
// the agent), and lands on the server once, when the server answers again.
TEST_F(CalDavBackendTest, WhileTheServerIsDownTheCopyAnswersAndTheJournalHoldsNewMeetings)
{
    testsupport::CTempDir local;
    CCalDavBackend::SSettings settings = Settings(server.Url("/"));
    settings.cacheDirectory = local.Path() + "/cache";
    settings.journalPath = local.Path() + "/data/caldav-journal";
    {
        CCalDavBackend online(settings);
        ASSERT_TRUE(online.Start()) << online.GetLastErrorText();
        EXPECT_EQ(online.GetStatusNote(), "");
    }
    server.Stop();
    CStoredItem added;
    {
        CCalDavBackend offline(settings);
        ASSERT_TRUE(offline.Start() && offline.Open()) << offline.GetLastErrorText();
        EXPECT_TRUE(offline.IsWorkingFromCopy());
        EXPECT_NE(offline.GetStatusNote().find("answers from the copy it read last"), std::string::npos);
        ASSERT_EQ(offline.GetCount(olFolderCalendar), 1);
        CAppointmentData meeting;
        meeting.subject = "Agreed while down";
        meeting.start = CDateTime(2031, 3, 7, 9, 0, 0);
        added = CStoredItem{"", meeting};
        ASSERT_TRUE(offline.AddItem(olFolderCalendar, added)) << offline.GetLastErrorText();
        EXPECT_EQ(offline.GetCount(olFolderCalendar), 2);
        CContactData person;
        person.firstName = "Piet";
        person.email1Address = "piet@example.org";
        CStoredItem contact{"", person};
        ASSERT_TRUE(offline.AddItem(olFolderContacts, contact)) << offline.GetLastErrorText();
        EXPECT_EQ(offline.GetJournalSize(), 2u);
    }
    {
        CCalDavBackend again(settings);
        ASSERT_TRUE(again.Start() && again.Open()) << again.GetLastErrorText();
        EXPECT_EQ(again.GetCount(olFolderContacts), 2) << "the copy holds the contact added meanwhile";
    }
    ASSERT_TRUE(server.Start()) << server.Errors();
    CCalDavBackend back(settings);
    ASSERT_TRUE(back.Start() && back.Open()) << back.GetLastErrorText();
    EXPECT_FALSE(back.IsWorkingFromCopy());
    EXPECT_EQ(back.GetJournalSize(), 0u);
    const std::string onServer = Calendar();
    EXPECT_NE(onServer.find("UID:" + added.id), std::string::npos) << onServer;
    EXPECT_EQ(onServer.find("UID:" + added.id), onServer.rfind("UID:" + added.id)) << "landed once";
    const std::string cards =
        other
            .Report(server.Url("/ann/contacts/"), 1,
                    "<a:addressbook-query xmlns:d=\"DAV:\" "
                    "xmlns:a=\"urn:ietf:params:xml:ns:carddav\"><d:prop><a:address-data/>"
                    "</d:prop></a:addressbook-query>")
            .body;
    EXPECT_NE(cards.find("piet@example.org"), std::string::npos) << cards;
    EXPECT_EQ(back.GetCount(olFolderContacts), 2);
    EXPECT_EQ(back.GetCount(olFolderCalendar), 2) << "what landed is held at once";
    back.FetchChanges();
    back.Refresh();
    EXPECT_EQ(back.GetCount(olFolderCalendar), 2) << "and once";
}

class CRecordingListener : public outlook::CReminderListener {
public:
    void OnReminder(const CStoredItem& item) override { ids.push_back(item.id); }
    std::vector<std::string> ids;
};

// A reminder due on an event another device wrote fires from the loop once
// the store is open, as the file store's do.
TEST_F(CalDavBackendTest, RemindersOfTheServersEventsFire)
{
    const CDateTime inAnHour = CDateTime::GetCurrentTime() + CDateTimeSpan(0, 1, 0, 0);
    char start[32];
    std::snprintf(start, sizeof start, "%04d%02d%02dT%02d%02d%02d", inAnHour.GetYear(), inAnHour.GetMonth(),
                  inAnHour.GetDay(), inAnHour.GetHour(), inAnHour.GetMinute(), inAnHour.GetSecond());
    std::string event = Event("review-1", "Review", start);
    event.replace(event.find("END:VEVENT"), 0,
                  "BEGIN:VALARM\r\nACTION:DISPLAY\r\nDESCRIPTION:x\r\nTRIGGER:-PT2H\r\nEND:VALARM\r\n");
    ASSERT_TRUE(OtherPuts("/ann/calendar/review.ics", event));
    CPollEventLoop loop;
    CCalDavBackend::SSettings settings = Settings(server.Url("/ann/calendar/"));
    settings.loop = &loop;
    CCalDavBackend backend(settings);
    CRecordingListener listener;
    backend.SetReminderListener(&listener);
    ASSERT_TRUE(backend.Start() && backend.Open()) << backend.GetLastErrorText();
    ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return !listener.ids.empty(); }));
    EXPECT_EQ(listener.ids, std::vector<std::string>{"review-1"});
    backend.SetReminderListener(nullptr);
}

TEST_F(CalDavBackendTest, WhatCannotWorkIsSaidInPlainWords)
{
    const struct {
        std::string url;
        std::string user;
        const char* said;
    } cases[] = {
        {server.Url("/ann/calendar/"), "bob", "refused the user name or password (401)"},
        {"http://127.0.0.1:1/", CRadicaleServer::User, "could not be reached"},
        {server.Url("/ann/nothing/"), CRadicaleServer::User, "answered 404"},
        {"ftp://127.0.0.1/", CRadicaleServer::User, "only https://"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.url);
        CCalDavBackend backend(Settings(c.url, c.user));
        EXPECT_FALSE(backend.Start());
        EXPECT_NE(backend.GetLastErrorText().find(c.said), std::string::npos) << backend.GetLastErrorText();
    }
}

} // namespace
