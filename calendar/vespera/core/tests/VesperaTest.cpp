#include "VesperaTestSupport.h"

#include <vespera/core/AgentSettings.h>
#include <vespera/core/ContactRecord.h>
#include <vespera/core/AppointmentStore.h>
#include <vespera/core/ContactStore.h>
#include <vespera/core/NegotiationStore.h>
#include <vespera/core/Preferences.h>
#include <vespera/core/ReminderSink.h>
#include <vespera/core/StartupPause.h>

#include <agentkit/AgentContainer.h>
#include <factkit/BeliefDB.h>
#include <factkit/IntBelief.h>
#include <factkit/StringBelief.h>
#include <outlook/AppointmentData.h>
#include <outlook/ContactData.h>
#include <outlook/GenericItemData.h>
#include <slotbook/RecurrenceData.h>
#include <wirekit/Communicator.h>

#include <platform/DateTimeSpan.h>
#include <platform/PollEventLoop.h>
#include <platform/Wnd.h>
#include <platform/Registry.h>

#include <vespera/core/MessageZone.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using vespera_test::CVesperaTest;
using vespera_test::FreeMorning;

namespace {

const char* const BadDms = "Bad DMS message. No type specified";
const char* const UnknownObjective = "Unknown objective message type. Ignoring.";
const char* const UnknownType = "Unknown DMS message type. Ignoring.";

class VesperaDispatchTest : public CVesperaTest {};

TEST_F(VesperaDispatchTest, MessageWithoutContentIsLoggedAndDropped)
{
    std::string noContent = "(tell :sender peer :receiver me)";
    Agent().process_message(noContent.data());
    std::string garbage = "not a message";
    Agent().process_message(garbage.data());
    Agent().process_message(static_cast<char*>(nullptr));
    EXPECT_EQ(Agent().CountLine("No Content in message."), 3);
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaDispatchTest, CommandsThatDoNothingSayWhy)
{
    Deliver("tell :command create_profile");
    EXPECT_TRUE(Agent().HasLine("Create_profile messages have been deprecated and are no longer used"));
    Deliver("tell :command dance");
    EXPECT_TRUE(Agent().HasLine("Unknown command in incoming message. Ignoring."));
    // Values compare case-sensitively.
    Agent().ClearDebugLines();
    Deliver("tell :command Create_profile");
    EXPECT_TRUE(Agent().HasLine("Unknown command in incoming message. Ignoring."));
    EXPECT_FALSE(Agent().HasLine(BadDms));
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaDispatchTest, CommandWinsOverTypeAndObjective)
{
    Deliver("tell :command create_profile :type Contract :objective nothing");
    EXPECT_TRUE(Agent().HasLine("Create_profile messages have been deprecated and are no longer used"));
    EXPECT_FALSE(Agent().HasLine(UnknownType));
    EXPECT_FALSE(Agent().HasLine(UnknownObjective));
    EXPECT_FALSE(Agent().HasLine(BadDms));
}

TEST_F(VesperaDispatchTest, UnknownTypeIsCaseSensitiveAndNotABadMessage)
{
    Deliver("tell :type Contract :negID 1");
    EXPECT_EQ(Agent().CountLine(UnknownType), 1);
    EXPECT_FALSE(Agent().HasLine(BadDms));
    EXPECT_TRUE(Agent().Sent().empty());
}

TEST_F(VesperaDispatchTest, KnownTypesNeverCountAsBadMessages)
{
    for (const char* type : {"contract", "award", "confirm", "bid"})
        Deliver(std::string("tell :type ") + type + " :negID 1 :contractID 2 :bidID 3");
    EXPECT_FALSE(Agent().HasLine(BadDms));
    EXPECT_FALSE(Agent().HasLine(UnknownType));
}

TEST_F(VesperaDispatchTest, NothingToDispatchOnIsABadMessage)
{
    Deliver("tell :subject (hello)");
    EXPECT_EQ(Agent().CountLine(BadDms), 1);
    // A content that is no expression at all has no keywords either.
    std::string bare = "(tell :sender peer :content hello)";
    Agent().process_message(bare.data());
    EXPECT_EQ(Agent().CountLine(BadDms), 2);
}

TEST_F(VesperaDispatchTest, ObjectivesNeedTheirOptions)
{
    Agent().GetSettings().SetAutoInvokeSchedule(false);
    Agent().GetSettings().SetAutoLoadSchedule(false);
    Deliver("tell :objective browseScheduleURL :url \"http://example.org/s.rdf\"");
    Deliver("tell :objective uploadScheduleURL :url \"http://example.org/s.rdf\"");
    Deliver("tell :objective lookAround");
    EXPECT_EQ(Agent().CountLine(UnknownObjective), 3);
    EXPECT_FALSE(Agent().HasLine(BadDms));
}

TEST_F(VesperaDispatchTest, AllowedObjectivesNeedAnAddressAndOnlyWebAddresses)
{
    Agent().GetSettings().SetAutoInvokeSchedule(true);
    Agent().GetSettings().SetAutoLoadSchedule(true);
    Deliver("tell :objective browseScheduleURL");
    Deliver("tell :objective uploadScheduleURL");
    EXPECT_TRUE(Agent().DebugLines().empty());
    Deliver("tell :objective browseScheduleURL :url \"http://example.org/s.rdf\"");
    EXPECT_TRUE(Agent().HasLine("No schedule browser can be shown without a window; not opening "
                                "http://example.org/s.rdf"));
    Deliver("tell :objective uploadScheduleURL :url \"file:///etc/passwd\"");
    EXPECT_TRUE(Agent().HasLine("Refusing to import file:///etc/passwd: only http and https schedules are "
                                "imported for other agents"));
    EXPECT_FALSE(Agent().HasLine(UnknownObjective));
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_TRUE(Boxes().Boxes().empty());
}

TEST_F(VesperaDispatchTest, TypeAndObjectiveAreBothHandled)
{
    Agent().GetSettings().SetAutoLoadSchedule(false);
    Deliver("tell :type bid :negID 404 :bidID 1 :status accept :objective uploadScheduleURL :url \"u\"");
    EXPECT_EQ(Agent().CountLine(UnknownObjective), 1);
    EXPECT_FALSE(Agent().HasLine(UnknownType));
    EXPECT_FALSE(Agent().HasLine(BadDms));
}

TEST_F(VesperaDispatchTest, NullDataUrlShowsTheNoReplyBox)
{
    Deliver("tell :dataurl null");
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text, "No reply was available.  Sorry...");
    EXPECT_EQ(Boxes().Boxes()[0].type, MB_ICONINFORMATION);
    EXPECT_FALSE(Agent().HasLine(BadDms));
}

TEST_F(VesperaDispatchTest, DataUrlOpensTheAddressWithoutParentheses)
{
    std::vector<std::string> opened;
    Agent().SetUrlOpener([&opened](const std::string& address) {
        opened.push_back(address);
        return 42;
    });
    Deliver("tell :dataurl (http://example.org/reply.html)");
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], "http://example.org/reply.html");
    EXPECT_TRUE(Boxes().Boxes().empty());
}

TEST_F(VesperaDispatchTest, DataUrlThatCannotBeOpenedIsReported)
{
    const std::pair<int, const char*> cases[] = {{2, "The specified file was not found."},
                                                 {4, "Unknown Error (4) occurred."}};
    for (const auto& [code, text] : cases) {
        const int result = code;
        Agent().SetUrlOpener([result](const std::string&) { return result; });
        Deliver("tell :dataurl (https://example.org/gone)");
        ASSERT_FALSE(Boxes().Boxes().empty());
        EXPECT_EQ(Boxes().Boxes().back().text, std::string("Unable to open hyperlink:\n\n") + text);
        EXPECT_EQ(Boxes().Boxes().back().type, MB_ICONEXCLAMATION);
    }
}

TEST_F(VesperaDispatchTest, DataUrlThatIsNoWebAddressIsNeverOpened)
{
    int calls = 0;
    Agent().SetUrlOpener([&calls](const std::string&) { return ++calls, 42; });
    Deliver("tell :dataurl (file:///etc/passwd)");
    Deliver("tell :dataurl (--help)");
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(Agent().HasLineContaining("Refusing to open file:///etc/passwd"));
    EXPECT_TRUE(Boxes().Boxes().empty());
}

class VesperaAgentTest : public CVesperaTest {};

TEST_F(VesperaAgentTest, NegotiationIdsAreClockThenZeroThenRandom)
{
    std::time_t before = std::time(nullptr);
    std::string id = CVespera::MakeNegotiationId();
    std::time_t after = std::time(nullptr);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(id, match, std::regex("([0-9]{6})0([0-9]{1,5})"))) << id;
    EXPECT_LE(std::stol(match[2].str()), 32767);
    std::vector<std::string> clocks;
    for (std::time_t t : {before, after}) {
        std::tm local{};
        localtime_r(&t, &local);
        char text[16];
        std::snprintf(text, sizeof text, "%02d%02d%02d", local.tm_hour, local.tm_min, local.tm_sec);
        clocks.push_back(text);
    }
    EXPECT_TRUE(match[1].str() == clocks[0] || match[1].str() == clocks[1]) << id;
}

TEST_F(VesperaAgentTest, ExpiredHoldsGoOnEveryThirtiethTick)
{
    CDateTime past = CDateTime::GetCurrentTime() - CDateTimeSpan(1.0);
    auto addHold = [&] {
        Agent().GetAppointmentStore().AddAppointment(CAppointmentStore::HoldIndex, "Hold", "", "", "", "",
                                                     past, past + CDateTimeSpan(0, 1, 0, 0), 60, 0, 0, 1,
                                                     past, "1:2:3", false);
    };
    addHold();
    for (int tick = 1; tick < CVespera::PurgeInterval; ++tick)
        Agent().process_timer();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    EXPECT_EQ(Agent().GetTimerTick(), CVespera::PurgeInterval);
    Agent().process_timer();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
    EXPECT_EQ(Agent().GetTimerTick(), 1);

    addHold();
    for (int tick = 1; tick < CVespera::PurgeInterval; ++tick)
        Agent().process_timer();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 1);
    Agent().process_timer();
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
}

TEST_F(VesperaAgentTest, CalendarWritesFailCleanlyWithoutTheProgram)
{
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Start, true);
    EXPECT_FALSE(Agent().StartOutlook());
    EXPECT_EQ(Agent().GetCalendar().GetOutlookApplication(), nullptr);
    EXPECT_EQ(Agent().GetCalendar().GetNameSpace(), nullptr);
    EXPECT_FALSE(Agent().CreateOutlookAppointment(FreeMorning(), 30, "S", "B", "L", 0, false, "", "", true));
    EXPECT_FALSE(Agent().SendMail("a@x.org", "S", "B"));
    EXPECT_EQ(Agent().GetAppointmentStore().GetCount(), 0);
}

// --- start-up ---------------------------------------------------------------------

// The Part lines of a whole start-up with the reminder sink, in order.
const std::vector<std::string> StartupLines = {
    "CVSP:process_create::Log File Created",
    "CVSP:process_create::Initializing Agent",
    "CVSP:process_create::Initializing AppointmentStore",
    "CVSP:process_create::Initializing Preferences",
    "CVSP:process_create::Initializing Contacts",
    "CVSP:process_create::Initialsing Neotiation Store",
    "CVSP:process_create::Initializing Outlook Instance",
    "CVSP:process_create::Getting MAPI Namespace Instance",
    "CVSP:process_create::Logging on to default Outlook Profile",
    "CVSP:process_create::Registering Outlook Event Handler",
    "CVSP:RegisterReminderSink: Registering Reminder Sink",
    "CVSP:RegisterReminderSink: Sinking Events",
    "CVSP:process_create::Loading appointments from Outlook",
    "CVSP::LoadAppointments: Loading Appointments",
    "Total Appointments loaded = 0",
    "CVSP:process_create::Loading contacts from Outlook",
    "CVSP::LoadContacts: Loading Contacts",
    "CVSP::LoadContacts: Total Contacts Loaded = 0",
    "CVSP:process_create::Loading user preferences",
    "CVSP::LoadPreferences: Loading Preferences",
    "CVSP::Load Preferences: Total Preferences Loaded = 0",
    "CVSP:process_create::Initializing Negotiation Engine",
    "CVSP:process_create::Starting Orvante Calendar Agent",
};

const std::vector<std::string> StartupProgress = {
    "CVSP:process_create::Initializing Calendar Agent...",
    "Initializing Outlook Instance...",
    "Getting MAPI namespace instance...",
    "Logging on to default outlook profile...",
    "Registering Outlook Event Handler...",
    "Loading appointments from Outlook...",
    "Loading contacts from Outlook...",
    "Loading user preferences...",
    "Initializing Negotiation Engine...",
    "Starting ORVANTE Calendar Agent",
};

std::vector<std::string> ApplicationLogsIn(const std::filesystem::path& directory)
{
    std::vector<std::string> texts;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(directory / "Logfiles", error)) {
        if (entry.path().filename().string().rfind("VespLog-", 0) != 0)
            continue;
        std::ifstream in(entry.path());
        std::stringstream text;
        text << in.rdbuf();
        texts.push_back(text.str());
    }
    return texts;
}

class VesperaStartupTest : public CVesperaTest {
protected:
    void SetUp() override { ResetAgentUnstarted(); }
};

TEST_F(VesperaStartupTest, StartsInOrderWithEveryLineAndProgressText)
{
    Agent().GetSettings().SetReminderAlert(true);
    Agent().process_create();

    int previous = -1;
    for (const std::string& line : StartupLines) {
        const int index = Agent().ApplicationLineIndex(line);
        EXPECT_GT(index, previous) << line;
        previous = std::max(previous, index);
    }
    const std::vector<std::string> lines = Agent().ApplicationLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().rfind("---------------------------VESP:New Run @ ", 0), 0u) << lines.back();
    EXPECT_NE(lines.back().find(" -----------------------------"), std::string::npos);
    EXPECT_EQ(ProgressTexts().Texts(), StartupProgress);
    EXPECT_EQ(ProgressTexts().OpenCount(), 1);
    EXPECT_FALSE(ProgressTexts().IsOpen());
    EXPECT_TRUE(Boxes().Boxes().empty());
    EXPECT_FALSE(Agent().HasLine("CVSP::LoadPreferences: Loading Preferences"));
    EXPECT_EQ(Agent().GetTimerTick(), 1);
    ASSERT_NE(Agent().GetCalendar().GetReminderSink(), nullptr);
    EXPECT_TRUE(Agent().GetCalendar().GetReminderSink()->IsConnected());
}

TEST_F(VesperaStartupTest, TheNameServerIsAPlaceholderUntilRegistration)
{
    Agent().process_create();
    CBeliefDB* beliefs = Agent().get_belief_db();
    EXPECT_STREQ(beliefs->find_string_belief("ans")->get_value(),
                 CNameServerRegistration::PlaceholderANSHost);
    EXPECT_EQ(beliefs->find_int_belief("ansport")->get_value(), 6677);
    EXPECT_EQ(Agent().GetRegistration().GetANSPort(), 0);
    // Without the reminder switch there is no sink and no step for it.
    EXPECT_EQ(Agent().GetCalendar().GetReminderSink(), nullptr);
    EXPECT_FALSE(Agent().HasApplicationLine("CVSP:process_create::Registering Outlook Event Handler"));
    EXPECT_EQ(std::count(ProgressTexts().Texts().begin(), ProgressTexts().Texts().end(),
                         std::string("Registering Outlook Event Handler...")),
              0);
}

TEST_F(VesperaStartupTest, LogFileIsNamedAfterTheLocalTimeUnderLogfiles)
{
    const std::filesystem::path install = Home().Root() / "install dir";
    const CDateTime before = CDateTime::GetCurrentTime();
    Agent().CreateLogFile(install.string());
    const CDateTime after = CDateTime::GetCurrentTime();

    const std::filesystem::path path = Agent().GetApplicationLogPath();
    EXPECT_EQ(path.parent_path(), install / "Logfiles");
    EXPECT_TRUE(std::filesystem::exists(path));
    std::vector<std::string> names;
    for (const CDateTime& moment : {before, after}) {
        std::string name = "VespLog-" + moment.Format() + ".txt";
        for (char& c : name)
            if (c == '/' || c == ':')
                c = '-';
        names.push_back(name);
    }
    EXPECT_TRUE(path.filename() == names[0] || path.filename() == names[1]) << path;
    EXPECT_EQ(path.filename().string().find_first_of("/:"), std::string::npos);
    // Without a file log the agent has no log of its own.
    EXPECT_EQ(Agent().GetAgentLogPath(), "");
}

TEST_F(VesperaStartupTest, CreatedAgentKnowsBothLogFiles)
{
    const std::filesystem::path install = Home().Root() / "install";
    Home().Set("ORVANTE", install.string());
    // The program makes it before the agent starts; the toolkit's log needs it.
    std::filesystem::create_directories(install);
    CPollEventLoop loop;
    CWnd window(&loop);
    Agent().set_handler(&window);
    Agent().SetInstallDirectory(install.string());
    Agent().set_lookup_config(0);
    Agent().set_shutdown_pause(0);
    Agent().get_communicator()->set_listen_address("127.0.0.1");
    ASSERT_EQ(Agent().Create(CAgentContainer::FLAG_FILE_LOG), CAgentContainer::CREATE_OK);

    const std::filesystem::path application = Agent().GetApplicationLogPath();
    const std::filesystem::path agentLog = Agent().GetAgentLogPath();
    EXPECT_EQ(application.parent_path(), install / "Logfiles");
    ASSERT_FALSE(agentLog.empty());
    EXPECT_EQ(agentLog.parent_path().parent_path(), install / "Logfiles");
    EXPECT_TRUE(std::filesystem::exists(agentLog));
    EXPECT_TRUE(Agent().HasApplicationLine("CVSP:process_create::Log File Created"));
    ResetAgentUnstarted();
}

TEST_F(VesperaStartupTest, PausesFollowTheEnvironment)
{
    Home().Set(CStartupPause::LimitVariable, "30");
    const auto started = std::chrono::steady_clock::now();
    Agent().process_create();
    const auto elapsed = std::chrono::steady_clock::now() - started;
    // Nine pauses of at most 30 ms each, none skipped.
    EXPECT_GE(elapsed, std::chrono::milliseconds(9 * 30));
}

TEST_F(VesperaStartupTest, FailedLogonIsShownAndStartUpGoesOn)
{
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Open, true);
    Agent().process_create();
    EXPECT_TRUE(Agent().HasApplicationLine("CVSP:process_create::FATAL Error: Logon Failed"));
    ASSERT_FALSE(Boxes().Boxes().empty());
    EXPECT_EQ(Boxes().Boxes()[0].text,
              "Unable to logon to Outlook Profile. Please check Outlook Installation.");
    EXPECT_NE(Agent().GetCalendar().GetOutlookApplication(), nullptr);
    EXPECT_EQ(Agent().CountApplicationLine("CVSP:process_create::Starting Orvante Calendar Agent"), 1);
    EXPECT_EQ(ProgressTexts().Texts().back(), "Starting ORVANTE Calendar Agent");
}

TEST_F(VesperaStartupTest, WithoutTheCalendarProgramTheProcessEndsWithCodeZero)
{
    Backend().SetFailing(outlook::CMemoryBackend::Operation::Start, true);
    EXPECT_EXIT(
        {
            CMessageBoxSink::CHeadless headless;
            CMessageBoxSink::SetCurrent(&headless);
            Agent().process_create();
        },
        ::testing::ExitedWithCode(0),
        "Failed to create an instance of Outlook\\. Outlook is either not present or not configured "
        "properly\\.  "
        "The Agent will now shutdown\\.");

    const std::vector<std::string> logs = ApplicationLogsIn(Home().DataDir());
    bool failureLogged = false;
    for (const std::string& log : logs) {
        failureLogged =
            failureLogged ||
            log.find("CVSP:process_create::Outlook Instance Creation Failed. Exiting with code zero") !=
                std::string::npos;
        EXPECT_EQ(log.find("New Run"), std::string::npos) << log;
        EXPECT_EQ(log.find("Getting MAPI Namespace Instance"), std::string::npos) << log;
    }
    EXPECT_TRUE(failureLogged);
}

TEST_F(VesperaStartupTest, HeadlessStartupSheetSaysWhatItWouldAskAndLeavesTheAgentUnregistered)
{
    Agent().InitAgent();
    ASSERT_EQ(Boxes().Boxes().size(), 2u);
    EXPECT_EQ(Boxes().Boxes()[0].caption, "Initialize ANS");
    EXPECT_NE(Boxes().Boxes()[0].text.find("ANS host: 127.0.0.1\nANS port: 6677"), std::string::npos)
        << Boxes().Boxes()[0].text;
    EXPECT_EQ(Boxes().Boxes()[1].text,
              "The Agent is not registered with the ANS.\nIf you choose to register with the ANS for the "
              "first time, "
              "then you should\nshut down the agent and restart for the registration to come into effect.");
    EXPECT_EQ(Boxes().Boxes()[1].type & MB_ICONMASK, MB_ICONINFORMATION);
    EXPECT_EQ(Agent().GetRegisteredName(), "");

    // Cancelled with the switch on: nothing to say after the sheet.
    Boxes().Clear();
    Agent().GetSettings().SetANSRegistered(true);
    Agent().InitAgent();
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].caption, "Initialize ANS");
}

TEST_F(VesperaStartupTest, ConfirmedStartupSheetIsWrittenAndLogged)
{
    CLookupDetailsPageInput asked;
    Agent().SetStartupSheet([&asked](const CLookupDetailsPageInput& page) {
        asked = page;
        CLookupDetailsPageInput confirmed = page;
        confirmed.email = "me@x.org";
        confirmed.agentName = "me_x.org-CalendarAgent";
        confirmed.registered = false;
        return std::optional<CLookupDetailsPageInput>(confirmed);
    });
    Agent().InitAgent();
    EXPECT_EQ(asked.ansPort, "6677");
    EXPECT_EQ(Agent().GetSettings().GetAgentName(), "me_x.org-CalendarAgent");
    EXPECT_EQ(Agent().GetSettings().GetEmail(), "me@x.org");
    EXPECT_EQ(Agent().CountApplicationLine("CVSP::InitAgent: Agent Name = , ANS Host = , ANS Port = 0"), 1);
    ASSERT_EQ(Boxes().Boxes().size(), 1u);
    EXPECT_EQ(Boxes().Boxes()[0].text.rfind("The Agent is not registered with the ANS.", 0), 0u);
}

TEST_F(VesperaStartupTest, StoredRegistrationNeedsNoSheet)
{
    CRegistry registry;
    const char* key = "Software\\ORVANTE\\CalendarAgent";
    registry.WriteValue(key, "AgentName", "me_x.org-CalendarAgent");
    registry.WriteValue(key, "ANSHost", "127.0.0.1");
    registry.WriteValue(key, "ANSPort", "6677");
    ResetAgentUnstarted();
    bool asked = false;
    Agent().SetStartupSheet([&asked](const CLookupDetailsPageInput&) {
        asked = true;
        return std::optional<CLookupDetailsPageInput>();
    });
    Agent().InitAgent();
    EXPECT_FALSE(asked);
    EXPECT_TRUE(Boxes().Boxes().empty());
}

// --- notifications and reminders --------------------------------------------------------

class VesperaNotificationTest : public CVesperaTest {
protected:
    // Requesters here are no contacts.
    void SetUp() override
    {
        CVesperaTest::SetUp();
        Agent().GetSettings().SetMeetingSchedulingType(2);
    }

    void AlertAgent(const std::string& name = "phone-agent")
    {
        Agent().GetSettings().SetAgentAlert(true);
        Agent().GetSettings().SetAgentAlertString(name);
    }
};

TEST_F(VesperaNotificationTest, ShortFormReachesTheAlertAgentAsTheWholeContent)
{
    Agent().GetSettings().SetMeetingScheduleShortAlert(true);
    AlertAgent();
    Agent().GetNotifier().NotifyMeetingScheduled("org_x.org-CalendarAgent", "Review", "Plans", "Room 2",
                                                 "3/4/2031 10:00:00 AM", 30, "org_x.org-CalendarAgent");
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_TRUE(Agent().Sent()[0].alertNotice);
    EXPECT_EQ(Agent().Sent()[0].receiver, "phone-agent");
    EXPECT_EQ(Agent().Sent()[0].content, "Review@3/4/2031 10:00:00 AM>Room 2[org_x.org-CalendarAgent]");
    EXPECT_TRUE(Backend().GetSentMail().empty());
}

TEST_F(VesperaNotificationTest, WithoutMeetingAlertsNothingGoesOut)
{
    AlertAgent();
    Agent().GetSettings().SetEmailAlert(true);
    Agent().GetSettings().SetEmailAlertString("me@x.org");
    Agent().GetNotifier().NotifyMeetingScheduled("org", "S", "B", "L", "T", 30, "a,b");
    Agent().GetNotifier().NotifyESecretaryMeeting(false, "S", "B", "L", "T", 30, "r");
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_TRUE(Backend().GetSentMail().empty());
}

TEST_F(VesperaNotificationTest, AwardedMeetingReachesTheUserByMail)
{
    Agent().GetSettings().SetMeetingScheduleLongAlert(true);
    Agent().GetSettings().SetEmailAlert(true);
    Agent().GetSettings().SetEmailAlertString("me@x.org");
    Agent().GetContactStore().Add(std::make_unique<CContactRecord>("Ann", "Lee", "ann@x.org"));
    const_cast<CContactRecord*>(Agent().GetContactStore().GetAt(0))
        ->SetCalendarAgentName("ann_x.org-CalendarAgent");
    Agent().GetNotifier().NotifyMeetingScheduled("ann_x.org-CalendarAgent", "S", "B", "L", "T", 15,
                                                 "ann_x.org-CalendarAgent");
    ASSERT_EQ(Backend().GetSentMail().size(), 1u);
    EXPECT_EQ(Backend().GetSentMail()[0].subject, "[Vesp] New Meeting Scheduled");
    EXPECT_EQ(
        Backend().GetSentMail()[0].body.rfind("Ann Lee [ann@x.org] has scheduled a new meeting with you.", 0),
        0u);
}

TEST_F(VesperaNotificationTest, RequestedAppointmentTellsTheUserAndMailsOnlyAPlainAddress)
{
    Agent().GetSettings().SetMeetingScheduleShortAlert(true);
    AlertAgent();
    const std::string request =
        "tell :command conf_appt :start (tell :day 5 :month 3 :year 2031 :hour 14 :minute 30)"
        " :duration (45) :subject (Review) :location (Room 2) :targetRealName (Bo Day)"
        " :targetEmailAdd (bo@x.org) :email (";
    for (const char* bad :
         {"a@x.org,b@y.org", "a@x.org b@y.org", "a@@x.org", "Bo <bo@x.org>", "a@x.org;b@y.org", "nobody"}) {
        Agent().ClearSent();
        Agent().ClearDebugLines();
        Deliver(request + bad + ")", "secretary");
        EXPECT_TRUE(Backend().GetSentMail().empty()) << bad;
        EXPECT_TRUE(Agent().HasLine(
            "The requester's address is not one plain e-mail address; no confirmation is sent"))
            << bad;
        // The appointment itself is still written and the user told.
        ASSERT_EQ(Agent().Sent().size(), 2u) << bad;
        EXPECT_EQ(Agent().Sent()[0].content,
                  "Review@" + CDateTime(2031, 3, 5, 14, 30, 0).Format() + ">Room 2[Bo Day]");
        EXPECT_TRUE(Agent().Sent()[0].alertNotice);
        EXPECT_EQ(Agent().Sent()[1].content, "tell :command success");
    }
    Deliver(request + "me@x.org)", "secretary");
    ASSERT_EQ(Backend().GetSentMail().size(), 1u);
    EXPECT_EQ(Backend().GetSentMail()[0].to, "me@x.org");
    EXPECT_EQ(Backend().GetSentMail()[0].subject, "[ORVANTE DMS] Appointment details");
}

TEST_F(VesperaNotificationTest, AddressWithALineBreakIsNeverMailed)
{
    const std::string message =
        "(tell :sender secretary :receiver me :content (tell :command conf_appt :start (tell :day 5 :month 3 "
        ":year "
        "2031 :hour 14 :minute 30) :duration (45) :subject (S) :email (me@x.org\nBcc: all@x.org)))";
    std::string text = message;
    Agent().process_message(text.data());
    EXPECT_EQ(Backend().GetCount(outlook::olFolderCalendar), 1);
    EXPECT_TRUE(
        Agent().HasLine("The requester's address is not one plain e-mail address; no confirmation is sent"));
    EXPECT_TRUE(Backend().GetSentMail().empty());
}

TEST_F(VesperaNotificationTest, MalformedValuesWriteNothing)
{
    const std::string head =
        "tell :command appointment :start (tell :day 5 :month 3 :year 2031 :hour 14 :minute 30)";
    for (const char* duration : {"0", "-30", "527041", "abc"}) {
        Agent().ClearDebugLines();
        Deliver(head + " :duration (" + duration + ") :subject (S)", "secretary");
        EXPECT_TRUE(
            Agent().HasLine("The requested appointment's duration is not from 1 minute to a year; nothing "
                            "created"))
            << duration;
    }
    Agent().ClearDebugLines();
    Deliver("tell :command appointment :start (tell :day 31 :month 2 :year 2031 :hour 14 :minute 30) "
            ":duration (30)",
            "secretary");
    EXPECT_TRUE(Agent().HasLine("The requested appointment has no valid start; nothing created"));
    EXPECT_EQ(Backend().GetCount(outlook::olFolderCalendar), 0);
    EXPECT_TRUE(Agent().Sent().empty());

    Deliver(head + " :duration (527040) :subject (A year)", "secretary");
    EXPECT_EQ(Backend().GetCount(outlook::olFolderCalendar), 1);

    // Every other writer is held to the same bounds.
    Agent().ClearDebugLines();
    for (long minutes : {0L, -1L, 527041L})
        EXPECT_FALSE(
            Agent().CreateOutlookAppointment(FreeMorning(), minutes, "S", "", "", 0, false, "", "", true));
    EXPECT_TRUE(Agent().HasLine("Refusing to write an appointment of 527041 minutes"));
    EXPECT_EQ(Backend().GetCount(outlook::olFolderCalendar), 1);
}

TEST_F(VesperaNotificationTest, NotificationSettingsMakeAndDropTheSink)
{
    Agent().GetCalendar().ApplyNotificationSettings();
    EXPECT_EQ(Agent().GetCalendar().GetReminderSink(), nullptr);

    Agent().GetSettings().SetReminderAlert(true);
    AlertAgent("first-agent");
    Agent().GetCalendar().ApplyNotificationSettings();
    CReminderSink* sink = Agent().GetCalendar().GetReminderSink();
    ASSERT_NE(sink, nullptr);
    EXPECT_TRUE(sink->IsConnected());
    EXPECT_EQ(sink->GetTargets().agentTarget, "first-agent");
    EXPECT_TRUE(sink->GetTargets().agentOn);
    EXPECT_FALSE(sink->GetTargets().emailOn);
    EXPECT_EQ(sink->GetCommunicator(), Agent().get_communicator());

    Agent().GetSettings().SetAgentAlertString("second-agent");
    Agent().GetSettings().SetEmailAlert(true);
    Agent().GetSettings().SetEmailAlertString("me@x.org");
    Agent().GetCalendar().ApplyNotificationSettings();
    EXPECT_EQ(Agent().GetCalendar().GetReminderSink(), sink);
    EXPECT_EQ(sink->GetTargets().agentTarget, "second-agent");
    EXPECT_EQ(sink->GetTargets().emailTarget, "me@x.org");
    EXPECT_TRUE(sink->GetTargets().emailOn);

    Agent().GetSettings().SetReminderAlert(false);
    Agent().GetCalendar().ApplyNotificationSettings();
    EXPECT_EQ(Agent().GetCalendar().GetReminderSink(), nullptr);
}

TEST_F(VesperaNotificationTest, ReminderFromTheCalendarReachesTheAlertAgent)
{
    const outlook::EntryId id = Backend().Put(outlook::olFolderCalendar, [] {
        outlook::CAppointmentData data;
        data.subject = "Dentist";
        data.location = "Main St";
        data.start = CDateTime(2031, 3, 5, 8, 5, 9);
        return data;
    }());
    Agent().GetSettings().SetReminderAlert(true);
    AlertAgent();
    Agent().GetCalendar().RegisterReminderSink();
    ASSERT_TRUE(Backend().FireReminder(id));
    ASSERT_EQ(Agent().Sent().size(), 1u);
    EXPECT_TRUE(Agent().Sent()[0].alertNotice);
    EXPECT_EQ(Agent().Sent()[0].receiver, "phone-agent");
    EXPECT_EQ(
        Agent().Sent()[0].content,
        "tell :command appointment_due :start (tell :day 5 :month 3 :year 2031 :hour 8 :minute 5 :second 9 ) "
        ":subject (Dentist) :location (Main St)" +
            CMessageZone().Keyword());

    // Registering again replaces the sink: one reminder, one notice.
    Agent().GetCalendar().RegisterReminderSink();
    Agent().ClearSent();
    ASSERT_TRUE(Backend().FireReminder(id));
    EXPECT_EQ(Agent().Sent().size(), 1u);

    // Both channels off: nothing.
    Agent().GetSettings().SetAgentAlert(false);
    Agent().GetCalendar().ApplyNotificationSettings();
    Agent().ClearSent();
    ASSERT_TRUE(Backend().FireReminder(id));
    EXPECT_TRUE(Agent().Sent().empty());
    EXPECT_TRUE(Backend().GetSentMail().empty());
}

TEST_F(VesperaNotificationTest, AgentGoesCleanlyWithItsSinkConnected)
{
    Agent().GetSettings().SetReminderAlert(true);
    Agent().GetCalendar().RegisterReminderSink();
    ASSERT_NE(Agent().GetCalendar().GetReminderSink(), nullptr);
    ResetAgent();
    const outlook::EntryId id = Backend().Put(outlook::olFolderCalendar, outlook::CAppointmentData());
    EXPECT_TRUE(Backend().FireReminder(id));
    EXPECT_TRUE(Agent().Sent().empty());
}

} // namespace
