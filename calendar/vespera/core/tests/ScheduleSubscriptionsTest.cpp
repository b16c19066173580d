#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/ScheduleImport.h>
#include <vespera/core/ScheduleSubscriptions.h>

#include <graphstore/testing/HttpDocumentServer.h>
#include <outlook/AppointmentItem.h>
#include <outlook/Constants.h>
#include <outlook/FileBackend.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>
#include <outlook/NameSpace.h>
#include <platform/PollEventLoop.h>
#include <platform/testing/LoopWait.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace {

using vespera_test::CVesperaTest;

struct SEvent {
    const char* uid;
    const char* summary;
    const char* start;
    bool cancelled = false;
};

std::string Feed(const std::vector<SEvent>& events)
{
    std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//t//EN\r\n";
    for (const SEvent& event : events)
        text += std::string("BEGIN:VEVENT\r\nUID:") + event.uid +
                "\r\nDTSTAMP:20261201T000000Z\r\nDTSTART:" + event.start +
                "\r\nDURATION:PT1H\r\nSUMMARY:" + event.summary + "\r\n" +
                (event.cancelled ? "STATUS:CANCELLED\r\n" : "") + "END:VEVENT\r\n";
    return text + "END:VCALENDAR\r\n";
}

class ScheduleSubscriptionsTest : public CVesperaTest {
protected:
    void SetUp() override
    {
        CVesperaTest::SetUp();
        loop = std::make_unique<CPollEventLoop>();
        url = server.Url("/club.ics");
    }

    CScheduleSubscriptions& Subscriptions() { return Agent().GetScheduleSubscriptions(); }

    void WaitForFetches()
    {
        ASSERT_TRUE(loopwait::RunUntil(*loop, [this] { return Subscriptions().FetchesRunning() == 0; }));
    }
    void Subscribe()
    {
        std::string error;
        ASSERT_TRUE(Subscriptions().Subscribe(url, error)) << error;
        WaitForFetches();
    }
    void Refresh()
    {
        ASSERT_TRUE(Subscriptions().Refresh(url));
        WaitForFetches();
    }
    const CScheduleSubscription& Subscription() { return *Subscriptions().Find(url); }

    // Every calendar item's subject, sorted.
    std::vector<std::string> Subjects()
    {
        std::vector<std::string> subjects;
        for (long i = 0; i < Backend().GetCount(outlook::olFolderCalendar); ++i) {
            outlook::CStoredItem item;
            if (Backend().GetItem(outlook::olFolderCalendar, i, item))
                subjects.push_back(std::get<outlook::CAppointmentData>(item.data).subject);
        }
        std::sort(subjects.begin(), subjects.end());
        return subjects;
    }
    outlook::CItems& CalendarItems()
    {
        return *Agent().GetCalendar().GetNameSpace()->GetDefaultFolder(outlook::olFolderCalendar)->GetItems();
    }
    // The calendar item called `subject`, as the user would open it.
    std::unique_ptr<outlook::CItem> ItemCalled(const std::string& subject)
    {
        for (long position = 1; position <= CalendarItems().GetCount(); ++position) {
            std::unique_ptr<outlook::CItem> item = CalendarItems().Item(position);
            if (item && item->AsAppointment() && item->AsAppointment()->GetSubject() == subject)
                return item;
        }
        return nullptr;
    }

    testsupport::CHttpDocumentServer server;
    std::unique_ptr<CPollEventLoop> loop;
    std::string url;
};

TEST_F(ScheduleSubscriptionsTest, ASubscriptionFollowsItsSourceAndA304ChangesNothing)
{
    outlook::CStoredItem own{"own@user", outlook::CAppointmentData()};
    std::get<outlook::CAppointmentData>(own.data).subject = "Dentist";
    std::get<outlook::CAppointmentData>(own.data).start = CDateTime(2031, 3, 2, 9, 0, 0);
    ASSERT_TRUE(Backend().AddItem(outlook::olFolderCalendar, own));
    server.Put("/club.ics", "text/calendar",
               Feed({{"a", "Training", "20310304T190000"},
                     {"b", "Match", "20310305T150000"},
                     {"c", "Social", "20310306T200000"}}),
               "\"v1\"", "Tue, 01 Dec 2026 10:00:00 GMT");
    const vespera_test::CBalloonRecorder balloons;
    Subscribe();
    EXPECT_EQ(Subjects(), (std::vector<std::string>{"Dentist", "Match", "Social", "Training"}));
    EXPECT_EQ(server.LastRequest().find("If-None-Match"), std::string::npos);
    EXPECT_EQ(Subscription().etag, "\"v1\"");
    EXPECT_EQ(Subscription().lastModified, "Tue, 01 Dec 2026 10:00:00 GMT");
    EXPECT_EQ(Subscription().result, "3 written, 0 removed");
    EXPECT_FALSE(Subscription().failed);
    EXPECT_GT(Subscription().fetchedAt, 0);

    Refresh();
    EXPECT_NE(server.LastRequest().find("\r\nIf-None-Match: \"v1\""), std::string::npos);
    EXPECT_NE(server.LastRequest().find("\r\nIf-Modified-Since: Tue, 01 Dec 2026 10:00:00 GMT"),
              std::string::npos);
    EXPECT_EQ(server.NotModifiedAnswers(), 1);
    EXPECT_EQ(Subscription().result, "Not changed since the last fetch");
    EXPECT_EQ(Subjects(), (std::vector<std::string>{"Dentist", "Match", "Social", "Training"}));
    EXPECT_EQ(balloons.texts,
              (std::vector<std::string>{"Schedule Subscription: " + url + "\n3 written, 0 removed"}))
        << "the first fetch only";

    // Changed upstream: one moved and renamed, one gone, one cancelled, one new.
    server.Put("/club.ics", "text/calendar",
               Feed({{"a", "Training (moved)", "20310304T180000"},
                     {"c", "Social", "20310306T200000", true},
                     {"d", "Quiz", "20310307T200000"}}),
               "\"v2\"");
    Refresh();
    EXPECT_EQ(Subjects(), (std::vector<std::string>{"Dentist", "Quiz", "Training (moved)"}));
    EXPECT_EQ(Subscription().result, "2 written, 2 removed");
    EXPECT_EQ(Subscription().etag, "\"v2\"");
    EXPECT_EQ(Subscription().lastModified, "");
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 3);
    ASSERT_TRUE(ItemCalled("Training (moved)"));
    EXPECT_EQ(ItemCalled("Training (moved)")->AsAppointment()->GetStart(), CDateTime(2031, 3, 4, 18, 0, 0));
}

TEST_F(ScheduleSubscriptionsTest, WhatTheUserChangedOrDeletedIsKeptAndNoLongerFollowed)
{
    server.Put("/club.ics", "text/calendar",
               Feed({{"a", "Training", "20310304T190000"}, {"b", "Match", "20310305T150000"}}), "\"v1\"");
    Subscribe();
    std::unique_ptr<outlook::CItem> training = ItemCalled("Training");
    ASSERT_TRUE(training);
    training->AsAppointment()->SetLocation("Gym 2");
    ASSERT_TRUE(training->AsAppointment()->Save());
    ASSERT_TRUE(ItemCalled("Match")->Delete());

    server.Put(
        "/club.ics", "text/calendar",
        Feed({{"a", "Training (new coach)", "20310304T190000"}, {"b", "Match (home)", "20310305T150000"}}),
        "\"v2\"");
    Refresh();
    EXPECT_EQ(Subjects(), (std::vector<std::string>{"Training"}));
    EXPECT_EQ(ItemCalled("Training")->AsAppointment()->GetLocation(), "Gym 2");
    EXPECT_EQ(Subscription().result, "0 written, 0 removed, 2 changed by you and kept");
    for (const auto& [uid, fingerprint] : Subscription().items.Items())
        EXPECT_TRUE(Subscription().items.IsReleased(uid)) << uid;

    // Gone upstream: the user's item stays all the same.
    server.Put("/club.ics", "text/calendar", Feed({{"e", "Trip", "20310310T080000"}}), "\"v3\"");
    Refresh();
    EXPECT_EQ(Subjects(), (std::vector<std::string>{"Training", "Trip"}));
    // The deleted match is forgotten; the edited training is still kept.
    EXPECT_EQ(Subscription().items.Items().size(), 2u);
}

TEST_F(ScheduleSubscriptionsTest, SubscriptionsSurviveARestartAndFetchConditionallyAfterIt)
{
    server.Put("/club.ics", "text/calendar", Feed({{"a", "Training", "20310304T190000"}}), "\"v1\"");
    Subscribe();
    ResetAgent();
    ASSERT_TRUE(Subscriptions().Load());
    ASSERT_EQ(Subscriptions().List().size(), 1u);
    EXPECT_EQ(Subscription().etag, "\"v1\"");
    EXPECT_EQ(Subscription().items.Items().size(), 1u);
    // Fetched a while ago: due only once its period has passed.
    const std::int64_t fetched = Subscription().fetchedAt;
    Subscriptions().FetchDue(fetched + 11 * 3600);
    EXPECT_EQ(Subscriptions().FetchesRunning(), 0u);
    Subscriptions().FetchDue(fetched + 12 * 3600);
    EXPECT_EQ(Subscriptions().FetchesRunning(), 1u);
    WaitForFetches();
    EXPECT_EQ(server.NotModifiedAnswers(), 1);

    std::string error;
    ASSERT_TRUE(Subscriptions().End(url, error)) << error;
    ResetAgent();
    ASSERT_TRUE(Subscriptions().Load());
    EXPECT_TRUE(Subscriptions().List().empty());
    EXPECT_EQ(Subjects(), (std::vector<std::string>{"Training"})) << "what it imported stays";
}

TEST_F(ScheduleSubscriptionsTest, AnUnreadableFileIsSaidAndLeftAsItIs)
{
    const std::filesystem::path path = Home().DataDir() / CSubscriptionFile::FileName;
    std::filesystem::create_directories(path.parent_path());
    const std::string bad = "orvante-subscriptions 1\naddress\thttp://example.org/a.ics\nbogus\t1\n";
    std::ofstream(path, std::ios::binary) << bad;
    EXPECT_FALSE(Subscriptions().Load());
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_NE(Boxes().Boxes()[0].text.find("line 3: unknown field \"bogus\""), std::string::npos);
    std::string error;
    EXPECT_FALSE(Subscriptions().Subscribe(url, error));
    EXPECT_NE(error.find("cannot be read"), std::string::npos);
    Subscriptions().FetchDue(1);
    EXPECT_EQ(Subscriptions().FetchesRunning(), 0u);
    std::ifstream in(path, std::ios::binary);
    std::stringstream kept;
    kept << in.rdbuf();
    EXPECT_EQ(kept.str(), bad);
}

TEST_F(ScheduleSubscriptionsTest, ASubscriptionThatCannotBeStoredIsNotMade)
{
    server.Put("/club.ics", "text/calendar", Feed({{"a", "Training", "20310304T190000"}}));
    Subscribe();
    // The temporary file the next write needs cannot be made.
    std::filesystem::create_directories(Home().DataDir() /
                                        (std::string(CSubscriptionFile::FileName) + ".tmp"));
    std::string error;
    EXPECT_FALSE(Subscriptions().Subscribe(server.Url("/other.ics"), error));
    EXPECT_NE(error.find("could not be stored"), std::string::npos) << error;
    EXPECT_FALSE(Subscriptions().End(url, error));
    ASSERT_EQ(Subscriptions().List().size(), 1u);
    EXPECT_EQ(Subscriptions().List()[0].address, url);
    EXPECT_EQ(Subscriptions().FetchesRunning(), 0u);
}

TEST_F(ScheduleSubscriptionsTest, WebcalAddressesSubscribe)
{
    server.Put("/club.ics", "text/calendar", Feed({{"a", "Training", "20310304T190000"}}));
    url = "webcal://127.0.0.1:" + url.substr(std::string("http://127.0.0.1:").size());
    Subscribe();
    EXPECT_EQ(Subjects(), (std::vector<std::string>{"Training"}));
    EXPECT_FALSE(Subscription().failed) << Subscription().result;
    const std::pair<const char*, const char*> fetched[] = {
        {"webcal://example.org/a.ics", "https://example.org/a.ics"},
        {"webcal://127.0.0.1:8080/a.ics", "http://127.0.0.1:8080/a.ics"},
        {"webcal://localhost/a.ics", "http://localhost/a.ics"},
        {"webcal://[::1]:81/a", "http://[::1]:81/a"},
        {"webcal://127.0.0.1.example.org/a", "https://127.0.0.1.example.org/a"},
        {"webcal://user@127.0.0.1/a", "http://user@127.0.0.1/a"},
        {"http://example.org/a.ics", "http://example.org/a.ics"},
        {"file:///etc/passwd", ""},
    };
    for (const auto& [address, expected] : fetched)
        EXPECT_EQ(CDocumentFetcher::WebFetchAddress(address), expected) << address;
    for (const char* refused : {"ftp://example.org/a", "file:///etc/passwd", "http://", "https://a b/c",
                                "webcal://x/\x01", "calendar.ics"}) {
        std::string error;
        EXPECT_FALSE(Subscriptions().Subscribe(refused, error)) << refused;
        EXPECT_FALSE(error.empty());
    }
    std::string error;
    EXPECT_FALSE(Subscriptions().Subscribe(url, error)) << "twice";
}

TEST(ScheduleSubscriptionDue, EveryPeriodAndWithinTheHourAfterAFailure)
{
    CScheduleSubscription subscription;
    const std::int64_t period = 12 * 3600;
    EXPECT_TRUE(CScheduleSubscriptions::IsDue(subscription, 1000, period)) << "never fetched";
    subscription.fetchedAt = 100000;
    EXPECT_FALSE(CScheduleSubscriptions::IsDue(subscription, 100000 + period - 1, period));
    EXPECT_TRUE(CScheduleSubscriptions::IsDue(subscription, 100000 + period, period));
    EXPECT_TRUE(CScheduleSubscriptions::IsDue(subscription, 99999, period)) << "the clock went back";
    subscription.failed = true;
    EXPECT_FALSE(CScheduleSubscriptions::IsDue(subscription, 100000 + 3599, period));
    EXPECT_TRUE(CScheduleSubscriptions::IsDue(subscription, 100000 + 3600, period));
    EXPECT_TRUE(CScheduleSubscriptions::IsDue(subscription, 100000 + 60, 60)) << "a period under the hour";
}

TEST(SubscriptionFileText, ReadsBackWhatItWritesAndRefusesTheRest)
{
    CScheduleSubscription subscription;
    subscription.address = "https://example.org/club.ics";
    subscription.etag = "W/\"x\ty\"";
    subscription.fetchedAt = 1800000000;
    subscription.failed = true;
    subscription.result = "Timed out\nfetching";
    subscription.items = CImportedItems({{"orvante-import-0123456789abcdef", "00ff"}, {"u2", "released"}});
    std::vector<CScheduleSubscription> read;
    std::string error;
    ASSERT_TRUE(CSubscriptionFile::Parse(CSubscriptionFile::Text({subscription}), read, error)) << error;
    ASSERT_EQ(read.size(), 1u);
    EXPECT_EQ(read[0].address, subscription.address);
    EXPECT_EQ(read[0].etag, "W/\"x y\"");
    EXPECT_EQ(read[0].fetchedAt, 1800000000);
    EXPECT_TRUE(read[0].failed);
    EXPECT_EQ(read[0].result, "Timed out fetching");
    EXPECT_EQ(read[0].items.Items(), subscription.items.Items());
    EXPECT_TRUE(read[0].items.IsReleased("u2"));

    const std::string head = std::string(CSubscriptionFile::FirstLine) + "\naddress\thttp://a/\n";
    const std::pair<std::string, const char*> bad[] = {
        {"", "line 1: the file is empty"},
        {"subscriptions\n", "line 1: the file does not begin"},
        {head + "fetched\tsoon\n", "line 3: \"fetched\" is not"},
        {head + "failed\tmaybe\n", "line 3: \"failed\" is neither"},
        {head + "item\tu1\n", "line 3: an item is not"},
        {head + "address\thttp://a/\n", "line 3: the address http://a/ is there twice"},
        {std::string(CSubscriptionFile::FirstLine) + "\netag\tx\n",
         "line 2: a field before the first address"},
        {head + "result\tbell\a\n", "line 3: not a \"name<TAB>value\" line"},
        {head + "no tab here\n", "line 3: not a \"name<TAB>value\" line"},
    };
    for (const auto& [text, expected] : bad) {
        read.clear();
        EXPECT_FALSE(CSubscriptionFile::Parse(text, read, error)) << text;
        EXPECT_EQ(error.rfind(expected, 0), 0u) << error;
    }
    EXPECT_EQ(CSubscriptionFile::FieldText(std::string(4095, 'a') + "\xC3\xA9").size(), 4095u)
        << "cut before the character it would split";
}

} // namespace

namespace {

// The agent on the user's calendar file, which another program edits while
// the agent runs.
TEST(ScheduleSubscriptionFile, AnEditInAnotherProgramWhileTheAgentRunsIsKept)
{
    vespera_test::CTemporaryHome home;
    std::filesystem::create_directories(home.DataDir());
    auto backend = std::make_shared<outlook::CFileBackend>(home.DataDir().string(), nullptr);
    vespera_test::CRecordingVespera agent(backend, home.Root() / "debug.log");
    agent.CreateLogFile(home.DataDir().string());
    ASSERT_TRUE(agent.StartOutlook());
    CPollEventLoop loop;
    testsupport::CHttpDocumentServer server;
    const std::string url = server.Url("/club.ics");
    server.Put("/club.ics", "text/calendar", Feed({{"a", "Training", "20310304T190000"}}), "\"v1\"");
    CScheduleSubscriptions& subscriptions = agent.GetScheduleSubscriptions();
    std::string error;
    ASSERT_TRUE(subscriptions.Subscribe(url, error)) << error;
    ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return subscriptions.FetchesRunning() == 0; }));

    const std::filesystem::path file = home.DataDir() / outlook::CFileBackend::CalendarFileName;
    std::stringstream text;
    text << std::ifstream(file, std::ios::binary).rdbuf();
    std::string calendar = text.str();
    ASSERT_NE(calendar.find("SUMMARY:Training"), std::string::npos) << calendar;
    calendar.replace(calendar.find("SUMMARY:Training"), 16, "SUMMARY:Training at the lake");
    std::ofstream(file, std::ios::binary | std::ios::trunc) << calendar;
    server.Put("/club.ics", "text/calendar", Feed({{"a", "Training (new coach)", "20310304T190000"}}),
               "\"v2\"");
    ASSERT_TRUE(subscriptions.Refresh(url));
    ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return subscriptions.FetchesRunning() == 0; }));
    EXPECT_EQ(subscriptions.Find(url)->result, "0 written, 0 removed, 1 changed by you and kept");
    ASSERT_EQ(agent.GetAppointmentStore().GetCount(), 1);
    EXPECT_EQ(agent.GetAppointmentStore().GetAt(0)->GetSubject(), "Training at the lake");
}

} // namespace
