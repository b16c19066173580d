#include <vespera/core/SettingsPages.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AutostartEntry.h>

#include <platform/MessageBoxSink.h>
#include <platform/testing/TempDir.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace SettingsPages;

class RecordingControl : public CRegistrationControl {
public:
    bool EnableANS(const std::string& name, const std::string& host, const std::string& port) override
    {
        calls.push_back("EnableANS " + name + " " + host + " " + port);
        return enableSucceeds;
    }
    void DisableANS() override { calls.push_back("DisableANS"); }
    void ShowRegistration(const std::string& name, const std::string& host, int port) override
    {
        calls.push_back("Show '" + name + "' '" + host + "' " + std::to_string(port));
    }
    void EnableMeetingRequests(bool enable) override
    {
        calls.push_back(enable ? "MeetingRequests on" : "MeetingRequests off");
    }

    bool enableSucceeds = true;
    std::vector<std::string> calls;
};

class SettingsPagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/settings-pages-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("ORVANTE_REGISTRY_DIR", dir.c_str(), 1);
        // The autostart entry is the user's own: never the real one.
        const char* config = std::getenv("XDG_CONFIG_HOME");
        savedConfig = config ? std::optional<std::string>(config) : std::nullopt;
        ::setenv("XDG_CONFIG_HOME", (dir + "/config").c_str(), 1);
        settings = std::make_unique<CAgentSettings>();
        previousSink = CMessageBoxSink::SetCurrent(&boxes);
    }
    void TearDown() override
    {
        CMessageBoxSink::SetCurrent(previousSink);
        settings.reset();
        ::unsetenv("ORVANTE_REGISTRY_DIR");
        if (savedConfig)
            ::setenv("XDG_CONFIG_HOME", savedConfig->c_str(), 1);
        else
            ::unsetenv("XDG_CONFIG_HOME");
        fs::remove_all(dir);
    }

    std::vector<std::string> BoxTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& box : boxes.Boxes())
            texts.push_back(box.text);
        return texts;
    }

    void SwitchEventsOn()
    {
        settings->SetReminderAlert(true);
        settings->SetMeetingScheduleShortAlert(true);
        settings->SetMeetingScheduleLongAlert(true);
        settings->SetImportScheduleAlert(true);
    }

    bool AnyEventOn() const
    {
        return settings->GetReminderAlert() || settings->GetMeetingScheduleShortAlert() ||
               settings->GetMeetingScheduleLongAlert() || settings->GetImportScheduleAlert();
    }

    std::string dir;
    std::optional<std::string> savedConfig;
    std::unique_ptr<CAgentSettings> settings;
    CMessageBoxSink::CRecorder boxes;
    CMessageBoxSink* previousSink = nullptr;
    RecordingControl control;
};

TEST_F(SettingsPagesTest, GeneralPageWritesEverySwitchAndTheSchedulingType)
{
    CGeneralPageInput page;
    page.balloonToolTips = false;
    page.startMinimized = true;
    page.debug = true;
    page.autoLoadSchedule = true;
    page.autoInvokeSchedule = false;
    page.meetingSchedulingType = 2;
    page.trustUnauthenticatedContacts = true;
    ApplyGeneralPage(*settings, page);

    CAgentSettings reloaded;
    CGeneralPageInput loaded = LoadGeneralPage(reloaded);
    EXPECT_FALSE(loaded.balloonToolTips);
    EXPECT_TRUE(loaded.startMinimized);
    EXPECT_TRUE(loaded.debug);
    EXPECT_TRUE(loaded.autoLoadSchedule);
    EXPECT_FALSE(loaded.autoInvokeSchedule);
    EXPECT_EQ(loaded.meetingSchedulingType, 2);
    EXPECT_TRUE(loaded.trustUnauthenticatedContacts);
}

TEST_F(SettingsPagesTest, TheSessionBoxWritesAndRemovesTheAutostartEntryOnlyWhenItChanges)
{
    const fs::path entry = fs::path(dir) / "config" / "autostart" / CAutostartEntry::FileName;
    CGeneralPageInput page = LoadGeneralPage(*settings);
    EXPECT_FALSE(page.startWithSession);
    page.startWithSession = true;
    ApplyGeneralPage(*settings, page);
    ASSERT_TRUE(fs::exists(entry));
    EXPECT_TRUE(LoadGeneralPage(*settings).startWithSession);

    // An entry the user changed by hand stays as it is while the box does.
    std::ofstream(entry)
        << "[Desktop Entry]\nType=Application\nName=Mine\nExec=vespera --autostart -port 7000\n";
    ApplyGeneralPage(*settings, page);
    EXPECT_NE(testsupport::ReadFile(entry.string()).find("Name=Mine"), std::string::npos);
    page.startWithSession = false;
    ApplyGeneralPage(*settings, page);
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(LoadGeneralPage(*settings).startWithSession);
    EXPECT_TRUE(boxes.Boxes().empty());

    // A folder where the entry should be cannot be replaced: said, not lost.
    fs::create_directories(entry);
    page.startWithSession = true;
    ApplyGeneralPage(*settings, page);
    ASSERT_EQ(BoxTexts().size(), 1u);
    EXPECT_NE(BoxTexts()[0].find("cannot be written"), std::string::npos) << BoxTexts()[0];
    EXPECT_TRUE(fs::is_directory(entry));
}

TEST_F(SettingsPagesTest, EmptyAddressWithoutEventsSwitchesEventsOffSilently)
{
    SwitchEventsOn();
    CAgentAlertPageInput page;
    page.channel = CAgentAlertPageInput::EmailAddress;
    ApplyAgentAlertPage(*settings, page);
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_FALSE(AnyEventOn());
    EXPECT_TRUE(settings->GetEmailAlert());
    EXPECT_FALSE(settings->GetAgentAlert());
}

TEST_F(SettingsPagesTest, EmptyDestinationWithAnEventWarnsAndSwitchesEventsOff)
{
    CAgentAlertPageInput page;
    page.remindersBox = true;
    page.agentText = "ignored-agent";
    ApplyAgentAlertPage(*settings, page);
    ASSERT_EQ(BoxTexts(),
              std::vector<std::string>{"No Email address specified!\nDisabling notifications..."});
    EXPECT_EQ(boxes.Boxes()[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
    EXPECT_FALSE(AnyEventOn());
    EXPECT_EQ(settings->GetAgentAlertString(), "");

    boxes.Clear();
    page = CAgentAlertPageInput();
    page.channel = CAgentAlertPageInput::AgentName;
    page.importsBox = true;
    page.emailText = "ignored@example.org";
    ApplyAgentAlertPage(*settings, page);
    ASSERT_EQ(BoxTexts(), std::vector<std::string>{"No Agent name specified!\nDisabling notifications..."});
    EXPECT_FALSE(AnyEventOn());
    EXPECT_EQ(settings->GetEmailAlertString(), "");
    EXPECT_TRUE(settings->GetAgentAlert());
    EXPECT_FALSE(settings->GetEmailAlert());
}

TEST_F(SettingsPagesTest, FormDecidesWhichMeetingAlertTheBoxSets)
{
    CAgentAlertPageInput page;
    page.emailText = "me@example.org";
    page.meetingsBox = true;
    page.form = CAgentAlertPageInput::LongForm;
    ApplyAgentAlertPage(*settings, page);
    EXPECT_TRUE(settings->GetMeetingScheduleLongAlert());
    EXPECT_FALSE(settings->GetMeetingScheduleShortAlert());
    EXPECT_EQ(settings->GetEmailAlertString(), "me@example.org");

    page.form = CAgentAlertPageInput::ShortForm;
    page.remindersBox = true;
    ApplyAgentAlertPage(*settings, page);
    EXPECT_FALSE(settings->GetMeetingScheduleLongAlert());
    EXPECT_TRUE(settings->GetMeetingScheduleShortAlert());
    EXPECT_TRUE(settings->GetReminderAlert());
    EXPECT_FALSE(settings->GetImportScheduleAlert());
    EXPECT_TRUE(boxes.Boxes().empty());

    CAgentAlertPageInput loaded = LoadAgentAlertPage(CAgentSettings());
    EXPECT_TRUE(loaded.meetingsBox);
    EXPECT_TRUE(loaded.remindersBox);
    EXPECT_FALSE(loaded.importsBox);
    EXPECT_EQ(loaded.form, CAgentAlertPageInput::ShortForm);
    EXPECT_EQ(loaded.channel, CAgentAlertPageInput::EmailAddress);
    EXPECT_EQ(loaded.emailText, "me@example.org");
}

TEST_F(SettingsPagesTest, TheUsersOwnAddressIsOfferedUntilAnotherIsStored)
{
    settings->SetEmail("jo@example.org");
    EXPECT_EQ(LoadAgentAlertPage(*settings).emailText, "jo@example.org");
    settings->SetEmailAlertString("assistant@example.org");
    EXPECT_EQ(LoadAgentAlertPage(*settings).emailText, "assistant@example.org");
}

TEST_F(SettingsPagesTest, ExactlyOneChannelIsOnAfterEveryApply)
{
    // Every prior pair of channel switches, both channels, empty and filled
    // destinations, with and without an event asked for.
    for (int combination = 0; combination < 64; ++combination) {
        settings->SetEmailAlert(combination & 1);
        settings->SetAgentAlert(combination & 2);
        CAgentAlertPageInput page;
        page.channel =
            (combination & 4) ? CAgentAlertPageInput::AgentName : CAgentAlertPageInput::EmailAddress;
        page.emailText = (combination & 8) ? "me@example.org" : "";
        page.agentText = (combination & 16) ? "me-CalendarAgent" : "";
        page.meetingsBox = combination & 32;
        page.form = (combination & 1) ? CAgentAlertPageInput::LongForm : CAgentAlertPageInput::ShortForm;
        ApplyAgentAlertPage(*settings, page);
        EXPECT_NE(settings->GetEmailAlert(), settings->GetAgentAlert()) << combination;
        CAgentSettings reloaded;
        EXPECT_NE(reloaded.GetEmailAlert(), reloaded.GetAgentAlert()) << combination;
        EXPECT_EQ(reloaded.GetAgentAlert(), page.channel == CAgentAlertPageInput::AgentName) << combination;
    }
}

TEST_F(SettingsPagesTest, MeetingTimesAreStoredAsTheirDateTimeText)
{
    CMeetingPreferencesPageInput page;
    page.morningBounds = true;
    page.weekendBounds = true;
    page.morningTime = CDateTime(1899, 12, 30, 9, 30, 0);
    page.eveningTime = CDateTime(1899, 12, 30, 17, 0, 0);
    ApplyMeetingPreferencesPage(*settings, page);
    CAgentSettings reloaded;
    EXPECT_TRUE(reloaded.GetMorningBounds());
    EXPECT_FALSE(reloaded.GetEveningBounds());
    EXPECT_TRUE(reloaded.GetWeekendBounds());
    EXPECT_EQ(reloaded.GetMorningTime(), "9:30:00 AM");
    EXPECT_EQ(reloaded.GetEveningTime(), "5:00:00 PM");
    CMeetingPreferencesPageInput loaded = LoadMeetingPreferencesPage(reloaded);
    EXPECT_EQ(loaded.morningTime, page.morningTime);
    EXPECT_EQ(loaded.eveningTime, page.eveningTime);
}

TEST_F(SettingsPagesTest, MeetingTimesLoadFromTheDefaultsAndUnreadableTextIsInvalid)
{
    CMeetingPreferencesPageInput loaded = LoadMeetingPreferencesPage(*settings);
    EXPECT_EQ(loaded.morningTime, CDateTime(1899, 12, 30, 8, 0, 0));
    EXPECT_EQ(loaded.eveningTime, CDateTime(1899, 12, 30, 18, 0, 0));
    settings->SetMorningTime("breakfast");
    EXPECT_EQ(LoadMeetingPreferencesPage(*settings).morningTime.GetStatus(), CDateTime::invalid);
}

TEST_F(SettingsPagesTest, AgentNameIsBuiltFromTheEmailAddress)
{
    EXPECT_EQ(AgentNameFromEmail("jo@example.org"), "jo_example.org-CalendarAgent");
    EXPECT_EQ(AgentNameFromEmail("a@b@c"), "a_b_c-CalendarAgent");
    EXPECT_EQ(AgentNameFromEmail(""), "-CalendarAgent");
}

TEST_F(SettingsPagesTest, LookupPageReportsChangedDetailsOrSwitch)
{
    CLookupDetailsPageInput page = LoadLookupDetailsPage(*settings);
    EXPECT_EQ(page.ansHost, "127.0.0.1");
    EXPECT_EQ(page.ansPort, "6677");
    page.email = "jo@example.org";
    EXPECT_FALSE(WriteLookupDetailsPage(*settings, page));
    EXPECT_EQ(CAgentSettings().GetEmail(), "jo@example.org");

    page.agentName = AgentNameFromEmail(page.email);
    EXPECT_TRUE(WriteLookupDetailsPage(*settings, page));
    EXPECT_FALSE(WriteLookupDetailsPage(*settings, page));
    page.ansPort = "6678";
    EXPECT_TRUE(WriteLookupDetailsPage(*settings, page));
    page.registered = true;
    EXPECT_TRUE(WriteLookupDetailsPage(*settings, page));
    EXPECT_TRUE(settings->GetANSRegistered());
    EXPECT_FALSE(WriteLookupDetailsPage(*settings, page));

    CAgentSettings reloaded;
    EXPECT_EQ(reloaded.GetAgentName(), "jo_example.org-CalendarAgent");
    EXPECT_EQ(reloaded.GetANSPort(), "6678");
    EXPECT_TRUE(reloaded.GetANSRegistered());
}

TEST_F(SettingsPagesTest, UnregisteringListsAndSwitchesOffWhatNeedsTheNameServer)
{
    settings->SetMeetingSchedulingType(2);
    settings->SetAutoLoadSchedule(true);
    settings->SetAgentAlert(true);
    SwitchEventsOn();
    ApplyRegistration(*settings, control, false);
    ASSERT_EQ(BoxTexts(),
              std::vector<std::string>{"By unregistering the ANS, you have disabled the following:\n"
                                       "  * Distributed Meeting Scheduling\n"
                                       "  * Autonomous Schedule Imports\n"
                                       "  * Autonomous Invocation of Schedule Browser\n"
                                       "  * Agent-based notifications\n"
                                       "To enable these in future, you should first enable the ANS\n"
                                       "and then re-enter the Options Property Sheet.\n"});
    EXPECT_EQ(boxes.Boxes()[0].type & MB_ICONMASK, MB_ICONEXCLAMATION);
    EXPECT_EQ(control.calls, (std::vector<std::string>{"Show '' '' 0", "MeetingRequests off"}));
    CAgentSettings reloaded;
    EXPECT_EQ(reloaded.GetMeetingSchedulingType(), 0);
    EXPECT_FALSE(reloaded.GetAutoLoadSchedule());
    EXPECT_FALSE(reloaded.GetAutoInvokeSchedule());
    EXPECT_FALSE(reloaded.GetAgentAlert());
    EXPECT_FALSE(reloaded.GetReminderAlert());
    EXPECT_FALSE(reloaded.GetImportScheduleAlert());

    boxes.Clear();
    ApplyRegistration(*settings, control, false);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(SettingsPagesTest, EmailAlertsSurviveUnregistering)
{
    settings->SetMeetingSchedulingType(0);
    settings->SetAutoInvokeSchedule(false);
    settings->SetEmailAlert(true);
    settings->SetReminderAlert(true);
    EXPECT_EQ(SwitchOffUnregisteredFeatures(*settings), "");
    EXPECT_TRUE(settings->GetReminderAlert());
}

TEST_F(SettingsPagesTest, ChangedRegistrationReregistersAndShowsTheNewDetails)
{
    CLookupDetailsPageInput page = LoadLookupDetailsPage(*settings);
    page.registered = true;
    page.agentName = "jo_example.org-CalendarAgent";
    page.ansPort = "7000";
    bool changed = WriteLookupDetailsPage(*settings, page);
    ApplyRegistration(*settings, control, changed);
    EXPECT_EQ(control.calls,
              (std::vector<std::string>{"DisableANS", "EnableANS jo_example.org-CalendarAgent 127.0.0.1 7000",
                                        "Show 'jo_example.org-CalendarAgent' '127.0.0.1' 7000",
                                        "MeetingRequests on"}));
    EXPECT_TRUE(boxes.Boxes().empty());
    EXPECT_TRUE(settings->GetANSRegistered());
}

TEST_F(SettingsPagesTest, FailedOrNamelessRegistrationSwitchesRegistrationOff)
{
    settings->SetANSRegistered(true);
    control.enableSucceeds = false;
    ApplyRegistration(*settings, control, true);
    ASSERT_EQ(BoxTexts().size(), 2u);
    EXPECT_EQ(BoxTexts()[0], SettingsPages::EnterAgentNameMessage);
    EXPECT_EQ(BoxTexts()[1].rfind(SettingsPages::UnregisteredHeading, 0), 0u);
    EXPECT_EQ(control.calls.front(), "DisableANS");
    EXPECT_FALSE(settings->GetANSRegistered());

    boxes.Clear();
    control.calls.clear();
    settings->SetANSRegistered(true);
    settings->SetAgentName("someone-CalendarAgent");
    settings->SetMeetingSchedulingType(0);
    settings->SetAutoInvokeSchedule(false);
    ApplyRegistration(*settings, control, true);
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{
                  "Unable to register with the ANS. Please check the ANS details and ensure that the ANS "
                  "is running \nand the agent name is not already in use"}));
    EXPECT_FALSE(settings->GetANSRegistered());
    EXPECT_EQ(control.calls.back(), "MeetingRequests off");
}

TEST_F(SettingsPagesTest, RegisteredWithSchedulingOffLeavesMeetingRequestsDisabled)
{
    settings->SetANSRegistered(true);
    settings->SetMeetingSchedulingType(0);
    ApplyRegistration(*settings, control, false);
    EXPECT_EQ(control.calls, std::vector<std::string>{"MeetingRequests off"});
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(SettingsPagesTest, StartupSheetRegistersWhenConfirmedAndTellsWhenNotRegistered)
{
    ApplyStartupRegistration(*settings, control, nullptr);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SettingsPages::NotRegisteredMessage});
    EXPECT_EQ(boxes.Boxes()[0].type & MB_ICONMASK, MB_ICONINFORMATION);
    EXPECT_TRUE(control.calls.empty());

    boxes.Clear();
    CLookupDetailsPageInput page = LoadLookupDetailsPage(*settings);
    page.registered = true;
    page.email = "jo@example.org";
    page.agentName = AgentNameFromEmail(page.email);
    control.enableSucceeds = false;
    ApplyStartupRegistration(*settings, control, &page);
    EXPECT_EQ(control.calls,
              std::vector<std::string>{"EnableANS jo_example.org-CalendarAgent 127.0.0.1 6677"});
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SettingsPages::RegisterFailedMessage});
    EXPECT_TRUE(settings->GetANSRegistered());

    boxes.Clear();
    ApplyStartupRegistration(*settings, control, nullptr);
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(SettingsPagesTest, StartupSheetWithoutAgentNameLeavesTheAgentUnregistered)
{
    CLookupDetailsPageInput page = LoadLookupDetailsPage(*settings);
    page.registered = true;
    ApplyStartupRegistration(*settings, control, &page);
    EXPECT_FALSE(settings->GetANSRegistered());
    EXPECT_TRUE(control.calls.empty());
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{SettingsPages::NotRegisteredMessage});
}

} // namespace

TEST_F(SettingsPagesTest, TheCalendarServerPageStoresWhatCanWorkAndSaysWhatCannot)
{
    EXPECT_FALSE(SettingsPages::LoadCalendarServerPage(*settings).useServer);
    EXPECT_EQ(SettingsPages::LoadCalendarServerPage(*settings).pollSeconds, "60");
    const struct {
        CCalendarServerPageInput page;
        const char* problem;
    } cases[] = {
        {{true, "", "ann", "", "60", ""}, "needs its address"},
        {{true, "ftp://dav.example.org/", "ann", "", "60", ""}, "must begin with https://"},
        {{true, "https://dav.example.org/", "ann", "dav.example.org/book", "60", ""},
         "address book's address"},
        {{true, "https://dav.example.org/", "ann", "", "0", ""}, "1 to 86400 seconds"},
        {{true, "https://dav.example.org/", "ann", "", "often", ""}, "1 to 86400 seconds"},
        {{true, "https://dav.example.org/", "", "", "60", "pw"}, "give both"},
        // No session bus here: the password is never put anywhere else.
        {{true, "https://dav.example.org/", "ann", "", "60", "pw"}, "put it in ~/.netrc instead"},
    };
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::unsetenv("XDG_RUNTIME_DIR");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.problem);
        EXPECT_NE(SettingsPages::ApplyCalendarServerPage(*settings, c.page).find(c.problem),
                  std::string::npos);
        EXPECT_FALSE(SettingsPages::LoadCalendarServerPage(*settings).useServer) << "nothing stored";
    }
    const CCalendarServerPageInput page{true, "https://dav.example.org/", "ann", "", "120", ""};
    EXPECT_EQ(SettingsPages::ApplyCalendarServerPage(*settings, page), "");
    const CCalendarServerPageInput read = SettingsPages::LoadCalendarServerPage(CAgentSettings());
    EXPECT_TRUE(read.useServer);
    EXPECT_EQ(read.url, "https://dav.example.org/");
    EXPECT_EQ(read.user, "ann");
    EXPECT_EQ(read.pollSeconds, "120");
}
