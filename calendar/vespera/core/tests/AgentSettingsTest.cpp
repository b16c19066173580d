#include <vespera/core/AgentSettings.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class AgentSettingsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/agent-settings-test-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir = pattern;
        ::setenv("ORVANTE_REGISTRY_DIR", dir.c_str(), 1);
        registry = CRegistry(CRegistry::CurrentUser, dir);
    }
    void TearDown() override
    {
        ::unsetenv("ORVANTE_REGISTRY_DIR");
        fs::remove_all(dir);
    }

    void Store(const std::string& name, const std::string& value)
    {
        ASSERT_EQ(registry.WriteValue(CAgentSettings::RegistryKey, name, value), CRegistry::Ok);
    }

    std::string Stored(const std::string& name) const
    {
        std::string value = "<missing>";
        registry.ReadValueUnbounded(CAgentSettings::RegistryKey, name, value);
        return value;
    }

    std::string dir;
    CRegistry registry{CRegistry::CurrentUser, "/nonexistent"};
};

struct SwitchField {
    const char* name;
    bool fallback;
    std::function<bool(const CAgentSettings&)> get;
    std::function<void(CAgentSettings&, bool)> set;
};

std::vector<SwitchField> Switches()
{
    using S = CAgentSettings;
    return {
        {"ImportScheduleAlert", false, &S::GetImportScheduleAlert, &S::SetImportScheduleAlert},
        {"MeetingScheduleLongAlert", false, &S::GetMeetingScheduleLongAlert, &S::SetMeetingScheduleLongAlert},
        {"MeetingScheduleShortAlert", false, &S::GetMeetingScheduleShortAlert,
         &S::SetMeetingScheduleShortAlert},
        {"ReminderAlert", false, &S::GetReminderAlert, &S::SetReminderAlert},
        {"EmailAlert", false, &S::GetEmailAlert, &S::SetEmailAlert},
        {"AgentAlert", false, &S::GetAgentAlert, &S::SetAgentAlert},
        {"BalloonToolTips", true, &S::GetBalloonToolTips, &S::SetBalloonToolTips},
        {"StartMinimized", false, &S::GetStartMinimized, &S::SetStartMinimized},
        {"Debug", false, &S::GetDebug, &S::SetDebug},
        {"AutoLoadSchedule", false, &S::GetAutoLoadSchedule, &S::SetAutoLoadSchedule},
        {"AutoInvokeSchedule", true, &S::GetAutoInvokeSchedule, &S::SetAutoInvokeSchedule},
        {"ANSRegistered", false, &S::GetANSRegistered, &S::SetANSRegistered},
        {"MorningBounds", false, &S::GetMorningBounds, &S::SetMorningBounds},
        {"EveningBounds", false, &S::GetEveningBounds, &S::SetEveningBounds},
        {"WeekendBounds", false, &S::GetWeekendBounds, &S::SetWeekendBounds},
    };
}

struct TextField {
    const char* name;
    std::string fallback;
    std::function<std::string(const CAgentSettings&)> get;
    std::function<bool(CAgentSettings&, const std::string&)> set;
};

std::vector<TextField> Texts()
{
    using S = CAgentSettings;
    return {
        {"EmailAlertString", "", &S::GetEmailAlertString, &S::SetEmailAlertString},
        {"AgentAlertString", "", &S::GetAgentAlertString, &S::SetAgentAlertString},
        {"Email", "", &S::GetEmail, &S::SetEmail},
        {"AgentName", "", &S::GetAgentName, &S::SetAgentName},
        {"ANSHost", "127.0.0.1", &S::GetANSHost, &S::SetANSHost},
        {"ANSPort", "6677", &S::GetANSPort, &S::SetANSPort},
        {"MorningTime", "8:00:00", &S::GetMorningTime, &S::SetMorningTime},
        {"EveningTime", "18:00:00", &S::GetEveningTime, &S::SetEveningTime},
    };
}

TEST_F(AgentSettingsTest, EmptyRegistryGivesEveryDefaultAndWritesNothing)
{
    CAgentSettings settings;
    for (const SwitchField& field : Switches())
        EXPECT_EQ(field.get(settings), field.fallback) << field.name;
    for (const TextField& field : Texts())
        EXPECT_EQ(field.get(settings), field.fallback) << field.name;
    EXPECT_EQ(settings.GetMeetingSchedulingType(), 1);
    EXPECT_FALSE(fs::exists(dir + "/HKEY_CURRENT_USER.reg"));
}

TEST_F(AgentSettingsTest, AFirstRunStoresDaytimeWeekdayBoundsAndALaterOneChangesNothing)
{
    {
        CAgentSettings settings;
        EXPECT_TRUE(settings.StoreFirstRunBounds());
    }
    for (const char* name : {"MorningBounds", "EveningBounds", "WeekendBounds"})
        EXPECT_EQ(Stored(name), "true") << name;
    EXPECT_EQ(Stored("MorningTime"), "8:00:00");
    EXPECT_EQ(Stored("EveningTime"), "18:00:00");
    // The user switches one off: it stays off.
    Store("WeekendBounds", "false");
    CAgentSettings again;
    EXPECT_FALSE(again.StoreFirstRunBounds());
    EXPECT_FALSE(again.GetWeekendBounds());
    EXPECT_TRUE(again.GetMorningBounds());
}

TEST_F(AgentSettingsTest, AnyOwnSettingStoredMeansNoFirstRun)
{
    for (const char* name : {"AgentName", "Email", "ANSRegistered", "EveningTime"}) {
        fs::remove_all(dir);
        fs::create_directories(dir);
        Store(name, "x");
        CAgentSettings settings;
        EXPECT_FALSE(settings.StoreFirstRunBounds()) << name;
        EXPECT_EQ(Stored("MorningBounds"), "<missing>") << name;
    }
}

TEST_F(AgentSettingsTest, SwitchIsOnOnlyForExactlyTrue)
{
    for (const SwitchField& field : Switches()) {
        for (const char* text : {"TRUE", "1", "True", "true ", "", "yes"}) {
            Store(field.name, text);
            EXPECT_FALSE(field.get(CAgentSettings())) << field.name << "=" << text;
        }
        Store(field.name, "true");
        EXPECT_TRUE(field.get(CAgentSettings())) << field.name;
    }
}

TEST_F(AgentSettingsTest, IntegerReadsAsAtoiOfItsText)
{
    const std::vector<std::pair<std::string, int>> cases = {{"abc", 0}, {"2", 2},   {"0", 0},
                                                            {" 7x", 7}, {"-3", -3}, {"", 0}};
    for (const auto& [text, expected] : cases) {
        Store("MeetingSchedulingType", text);
        EXPECT_EQ(CAgentSettings().GetMeetingSchedulingType(), expected) << text;
    }
}

TEST_F(AgentSettingsTest, RefreshHoursOutsideTheirRangeOrNotANumberAreTheDefault)
{
    EXPECT_EQ(CAgentSettings().GetScheduleRefreshHours(), 12);
    const std::vector<std::pair<std::string, int>> cases = {{"1", 1},     {"8760", 8760},     {"0", 12},
                                                            {"8761", 12}, {"-3", 12},         {"6h", 12},
                                                            {"", 12},     {"99999999999", 12}};
    for (const auto& [text, expected] : cases) {
        Store("ScheduleRefreshHours", text);
        EXPECT_EQ(CAgentSettings().GetScheduleRefreshHours(), expected) << text;
    }
    CAgentSettings settings;
    EXPECT_FALSE(settings.SetScheduleRefreshHours(0));
    EXPECT_TRUE(settings.SetScheduleRefreshHours(24));
    EXPECT_EQ(CAgentSettings().GetScheduleRefreshHours(), 24);
}

TEST_F(AgentSettingsTest, StoredTextsAreLoadedAndTooLongOnesTakeTheDefault)
{
    Store("ANSHost", "ans.example.org");
    Store("ANSPort", std::string(255, '9'));
    Store("Email", std::string(254, 'e'));
    CAgentSettings settings;
    EXPECT_EQ(settings.GetANSHost(), "ans.example.org");
    EXPECT_EQ(settings.GetANSPort(), "6677");
    EXPECT_EQ(settings.GetEmail(), std::string(254, 'e'));
}

TEST_F(AgentSettingsTest, SettersStoreAndWriteAtOnce)
{
    CAgentSettings settings;
    for (const SwitchField& field : Switches()) {
        field.set(settings, !field.fallback);
        EXPECT_EQ(field.get(settings), !field.fallback) << field.name;
        EXPECT_EQ(Stored(field.name), field.fallback ? "false" : "true") << field.name;
    }
    for (const TextField& field : Texts()) {
        EXPECT_TRUE(field.set(settings, std::string("new ") + field.name));
        EXPECT_EQ(Stored(field.name), std::string("new ") + field.name);
    }
    settings.SetMeetingSchedulingType(2);
    EXPECT_EQ(Stored("MeetingSchedulingType"), "2");
    settings.SetMeetingSchedulingType(-12);
    EXPECT_EQ(Stored("MeetingSchedulingType"), "-12");

    CAgentSettings reloaded;
    for (const SwitchField& field : Switches())
        EXPECT_EQ(field.get(reloaded), !field.fallback) << field.name;
    for (const TextField& field : Texts())
        EXPECT_EQ(field.get(reloaded), std::string("new ") + field.name);
    EXPECT_EQ(reloaded.GetMeetingSchedulingType(), -12);
}

TEST_F(AgentSettingsTest, TextThatCouldNotBeReadBackIsRefused)
{
    CAgentSettings settings;
    ASSERT_TRUE(settings.SetEmail("a@b"));
    EXPECT_FALSE(settings.SetEmail(std::string(255, 'x')));
    EXPECT_FALSE(settings.SetEmail("two\nlines"));
    EXPECT_FALSE(settings.SetAgentName(std::string("nul\0", 4)));
    EXPECT_EQ(settings.GetEmail(), "a@b");
    EXPECT_EQ(Stored("Email"), "a@b");
    EXPECT_EQ(Stored("AgentName"), "<missing>");
    EXPECT_TRUE(settings.SetEmail(std::string(254, 'x')));
    EXPECT_EQ(CAgentSettings().GetEmail(), std::string(254, 'x'));
}

TEST_F(AgentSettingsTest, FailedWriteKeepsTheValueInMemory)
{
    ASSERT_EQ(::mkdir((dir + "/HKEY_CURRENT_USER.reg").c_str(), 0700), 0);
    CAgentSettings settings;
    settings.SetDebug(true);
    settings.SetMeetingSchedulingType(2);
    EXPECT_TRUE(settings.SetEmail("kept@example.org"));
    EXPECT_TRUE(settings.GetDebug());
    EXPECT_EQ(settings.GetMeetingSchedulingType(), 2);
    EXPECT_EQ(settings.GetEmail(), "kept@example.org");
}

TEST_F(AgentSettingsTest, ReadTextReachesSubkeysOfTheSettingsKey)
{
    ASSERT_EQ(registry.WriteValue(std::string(CAgentSettings::RegistryKey) + "\\TConsts\\TimeConstraint0",
                                  "Days", "62"),
              CRegistry::Ok);
    CAgentSettings settings;
    std::string value = "unchanged";
    EXPECT_TRUE(settings.ReadText("Days", value, "TConsts\\TimeConstraint0"));
    EXPECT_EQ(value, "62");
    value = "unchanged";
    EXPECT_FALSE(settings.ReadText("Days", value));
    EXPECT_FALSE(settings.ReadText("Nope", value, "TConsts\\TimeConstraint0"));
    EXPECT_EQ(value, "unchanged");
}

} // namespace
