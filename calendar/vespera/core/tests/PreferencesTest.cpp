#include <vespera/core/Preferences.h>

#include <vespera/core/AgentSettings.h>
#include <vespera/core/AppointmentStore.h>

#include <platform/DateTimeSpan.h>
#include <platform/Registry.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {
constexpr const char* AgentKey = "Software\\ORVANTE\\CalendarAgent";
constexpr int Busy = 2;
constexpr int Free = 0;

// 7 December 2026 is a Monday, 12 December a Saturday.
CDateTime Monday(int hour, int minute, int second = 0)
{
    return CDateTime(2026, 12, 7, hour, minute, second);
}

CDateTime Null()
{
    CDateTime value;
    value.SetStatus(CDateTime::null);
    return value;
}

CDateTime Invalid()
{
    CDateTime value;
    value.SetStatus(CDateTime::invalid);
    return value;
}

CDateTimeSpan Minutes(int minutes)
{
    return CDateTimeSpan(0, 0, minutes, 0);
}

std::vector<CDateTime> Starts(const CTimeSlotStore& store)
{
    std::vector<CDateTime> starts;
    for (int i = 0; i < store.GetCount(); ++i)
        starts.push_back(store.GetTimeSlot(i)->GetStartTime());
    return starts;
}

// Preferences over a private registry directory, an empty appointment store
// and a recording of the debug lines.
class PreferencesTest : public ::testing::Test {
protected:
    PreferencesTest()
        : m_dir(MakeDirectory()), m_registry(CRegistry::CurrentUser, m_dir.string()), m_settings(m_registry),
          m_preferences(m_settings, m_appointments,
                        [this](const std::string& line) { m_lines.push_back(line); })
    {
    }

    ~PreferencesTest() override
    {
        std::error_code ignored;
        std::filesystem::remove_all(m_dir, ignored);
    }

    static std::filesystem::path MakeDirectory()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "preferences-XXXXXX").string();
        const char* made = mkdtemp(pattern.data());
        EXPECT_NE(nullptr, made);
        return pattern;
    }

    void Busy(const CDateTime& start, const CDateTime& end, int outlookIndex = 1)
    {
        m_appointments.AddAppointment(outlookIndex, "busy", "", "", "", "", start, end,
                                      (end - start).GetWholeMinutes(), 0, 0, ::Busy, Null(), "outlook",
                                      false);
    }

    void Write(const std::string& subKey, const std::string& name, const std::string& value)
    {
        const std::string key =
            subKey.empty() ? std::string(AgentKey) : std::string(AgentKey) + "\\" + subKey;
        ASSERT_EQ(CRegistry::Ok, m_registry.WriteValue(key, name, value));
    }

    // One constraint in the registry form a writer outside the agent uses.
    void WriteConstraint(int index, const CTimeSlot& slot, const std::string& agentName)
    {
        const std::string key = "TConsts\\TimeConstraint" + std::to_string(index);
        Write(key, "StartTime", slot.GetStartTime().Format());
        Write(key, "EndTime", slot.GetEndTime().Format());
        Write(key, "SlotType", slot.GetSlotTypeString());
        Write(key, "Days", slot.GetDaysStr());
        if (agentName.empty()) {
            Write(key, "ContactType", "__CT_NULL__");
            return;
        }
        Write(key, "ContactType", "__CT_VALID__");
        Write(key, "ContactFName", "Ada");
        Write(key, "ContactLName", "Byron");
        Write(key, "ContactEmail", "ada@example.org");
        Write(key, "ContactCalAgentName", agentName);
    }

    static CTimeSlot RelativeNoon(unsigned days)
    {
        CTimeSlot slot(Monday(12, 0), Monday(13, 0));
        slot.SetSlotType(0);
        slot.SetDays(days);
        return slot;
    }

    std::filesystem::path m_dir;
    CRegistry m_registry;
    CAgentSettings m_settings;
    CAppointmentStore m_appointments;
    std::vector<std::string> m_lines;
    CPreferences m_preferences;
    const CTimeConstraintSet m_none;
};
} // namespace

// --- half-hour marks and free tests ----------------------------------------

TEST(PreferencesMarks, NextHalfHourMovesStrictlyForward)
{
    EXPECT_EQ(Monday(10, 30), CPreferences::NextHalfHour(Monday(10, 10)));
    EXPECT_EQ(Monday(10, 30), CPreferences::NextHalfHour(Monday(10, 0)));
    EXPECT_EQ(Monday(11, 0), CPreferences::NextHalfHour(Monday(10, 30)));
    EXPECT_EQ(Monday(11, 0), CPreferences::NextHalfHour(Monday(10, 45, 12)));
    EXPECT_EQ(Monday(10, 30), CPreferences::NextHalfHour(Monday(10, 29, 59)));
    // Seconds past minute 30 go on to the hour, never back to 10:30:00.
    EXPECT_EQ(Monday(11, 0), CPreferences::NextHalfHour(Monday(10, 30, 15)));
    EXPECT_EQ(CDateTime(2026, 12, 8, 0, 0, 0), CPreferences::NextHalfHour(Monday(23, 31)));
    EXPECT_EQ(CDateTime::invalid, CPreferences::NextHalfHour(Invalid()).GetStatus());
    EXPECT_TRUE(CPreferences::IsOnMark(Monday(10, 30, 40)));
    EXPECT_FALSE(CPreferences::IsOnMark(Monday(10, 10)));
}

TEST_F(PreferencesTest, PlainTestAsksEveryAppointmentAndHold)
{
    Busy(Monday(10, 0), Monday(11, 0));
    Busy(Monday(14, 0), Monday(15, 0), CAppointmentStore::HoldIndex);
    m_appointments.AddAppointment(2, "free", "", "", "", "", Monday(16, 0), Monday(17, 0), 60, 0, 0, Free,
                                  Null(), "outlook", false);
    EXPECT_FALSE(m_preferences.IsFreePlain(Monday(10, 30), 15));
    EXPECT_TRUE(m_preferences.IsFreePlain(Monday(11, 0), 180));
    EXPECT_FALSE(m_preferences.IsFreePlain(Monday(11, 0), 181));
    EXPECT_TRUE(m_preferences.IsFreePlain(Monday(16, 0), 60));
}

TEST_F(PreferencesTest, ConstrainedTestNeedsBothAllowedAndFree)
{
    const CTimeConstraintSet noon{CTimeConstraint(CContactRecord(), false, Monday(12, 0), Monday(13, 0))};
    EXPECT_TRUE(CPreferences::IsAllowed(m_none, Monday(12, 0), Monday(13, 0)));
    EXPECT_FALSE(m_preferences.IsFreeConstrained(Monday(12, 59), 30, noon));
    EXPECT_TRUE(m_preferences.IsFreeConstrained(Monday(11, 30), 60, noon));
    Busy(Monday(11, 0), Monday(12, 0));
    EXPECT_FALSE(m_preferences.IsSlotFree(CTimeSlot(Monday(11, 30), 60), noon));
    EXPECT_TRUE(m_preferences.IsSlotFree(CTimeSlot(Monday(13, 0), 60), noon));
}

TEST_F(PreferencesTest, RecurringAppointmentIsBusyOnEachOccurrence)
{
    // Weekly on Mondays 12:00-13:00 from 30 November 2026, no end.
    m_appointments.AddRecurringAppointment(3, "lunch", "", "", "", "", CDateTime(2026, 11, 30, 12, 0, 0),
                                           CDateTime(2026, 11, 30, 13, 0, 0), 60, 0, 0, ::Busy, Null(),
                                           "outlook", 1, 1, 0, 0, CDateTime(2026, 11, 30, 12, 0, 0),
                                           CDateTime(4500, 12, 31, 13, 0, 0), 0, 2, false);
    EXPECT_FALSE(m_preferences.IsFreePlain(CDateTime(2026, 12, 14, 12, 30, 0), 30));
    EXPECT_TRUE(m_preferences.IsFreePlain(CDateTime(2026, 12, 15, 12, 30, 0), 30));
    EXPECT_EQ(Monday(13, 0), m_preferences.NextFreeSlotPlain(Monday(11, 30), 60).GetStartTime());
}

// --- searches ----------------------------------------------------------------

TEST_F(PreferencesTest, SearchStartsAtTheStartThenAtMarks)
{
    const CTimeSlot slot = m_preferences.NextFreeSlotPlain(Monday(10, 10), 45);
    ASSERT_TRUE(slot.IsValid());
    EXPECT_EQ(Monday(10, 10), slot.GetStartTime());
    EXPECT_EQ(Monday(10, 55), slot.GetEndTime());
    // 10:30 would be free, but a busy 10:10 is followed by 11:00.
    Busy(Monday(10, 0), Monday(10, 20));
    EXPECT_EQ(Monday(11, 0), m_preferences.NextFreeSlotPlain(Monday(10, 10), 30).GetStartTime());
    // A busy 10:00 is followed by 10:30.
    EXPECT_EQ(Monday(10, 30), m_preferences.NextFreeSlotPlain(Monday(10, 0), 30).GetStartTime());
}

TEST_F(PreferencesTest, SearchHonoursHoldsAndConstraints)
{
    Busy(Monday(9, 0), Monday(10, 0), CAppointmentStore::HoldIndex);
    const CTimeConstraintSet lateMorning{
        CTimeConstraint(CContactRecord(), false, Monday(10, 0), Monday(11, 0))};
    EXPECT_EQ(Monday(11, 0), m_preferences.NextFreeSlot(Monday(9, 0), 60, lateMorning).GetStartTime());
    EXPECT_EQ(Monday(10, 0), m_preferences.NextFreeSlotPlain(Monday(9, 0), 60).GetStartTime());
}

TEST_F(PreferencesTest, SearchStopsAtItsSevenDayHorizon)
{
    const CDateTime limit = Monday(10, 0) + CDateTimeSpan(7, 0, 0, 0);
    Busy(Monday(10, 0), limit);
    EXPECT_EQ(limit, m_preferences.NextFreeSlotPlain(Monday(10, 0), 30).GetStartTime());
    // The last candidate tested lies half an hour past the limit.
    m_appointments.Clear();
    Busy(Monday(10, 0), limit + Minutes(30));
    EXPECT_EQ(limit + Minutes(30), m_preferences.NextFreeSlotPlain(Monday(10, 0), 30).GetStartTime());
    m_appointments.Clear();
    Busy(Monday(10, 0), limit + Minutes(60));
    EXPECT_FALSE(m_preferences.NextFreeSlotPlain(Monday(10, 0), 30).IsValid());
    EXPECT_EQ(0, m_preferences.FindAlternates(Monday(10, 0), 60, 5, m_none)->GetCount());
}

TEST_F(PreferencesTest, SearchFromBadStartsEnds)
{
    EXPECT_FALSE(m_preferences.NextFreeSlotPlain(Invalid(), 30).IsValid());
    EXPECT_FALSE(m_preferences.NextFreeSlot(Null(), 30, m_none).IsValid());
    // At the end of the representable range the horizon cannot be reached.
    Busy(CDateTime(9999, 12, 31, 0, 0, 0), CDateTime(9999, 12, 31, 23, 59, 0));
    EXPECT_FALSE(m_preferences.NextFreeSlotPlain(CDateTime(9999, 12, 31, 0, 0, 0), 30).IsValid());
}

TEST_F(PreferencesTest, AlternatesFollowEachOtherWithoutOverlap)
{
    Busy(Monday(10, 0), Monday(11, 0));
    Busy(Monday(12, 0), Monday(12, 30), CAppointmentStore::HoldIndex);
    const auto store = m_preferences.FindAlternates(Monday(10, 0), 60, 3, m_none);
    ASSERT_EQ(3, store->GetCount());
    EXPECT_EQ((std::vector<CDateTime>{Monday(11, 0), Monday(12, 30), Monday(13, 30)}), Starts(*store));
    EXPECT_EQ("free", store->GetAttribute(2));
    EXPECT_EQ(0, m_preferences.FindAlternates(Monday(10, 0), 60, -3, m_none)->GetCount());
}

TEST_F(PreferencesTest, WindowKeepsOnlySlotsInside)
{
    Busy(Monday(9, 0), Monday(10, 0));
    const auto store = m_preferences.FindFreeInWindow(Monday(9, 0), Monday(12, 0), 60, 5, m_none);
    EXPECT_EQ((std::vector<CDateTime>{Monday(10, 0), Monday(11, 0)}), Starts(*store));
    EXPECT_EQ(1, m_preferences.FindFreeInWindow(Monday(10, 0), Monday(12, 0), 60, 1, m_none)->GetCount());
    // A window shorter than the meeting, or one whose first free time overruns it.
    EXPECT_EQ(0, m_preferences.FindFreeInWindow(Monday(10, 0), Monday(10, 45), 60, 5, m_none)->GetCount());
    EXPECT_EQ(0, m_preferences.FindFreeInWindow(Monday(9, 0), Monday(10, 15), 30, 5, m_none)->GetCount());
    // An invalid end would order after every time and let the whole week in.
    EXPECT_EQ(0, m_preferences.FindFreeInWindow(Monday(10, 0), Invalid(), 30, 5, m_none)->GetCount());
}

// --- bounds ------------------------------------------------------------------

TEST_F(PreferencesTest, RebuildPutsTheBoundsBeforeTheRegistry)
{
    m_preferences.Add(CTimeConstraint());
    m_preferences.RebuildPreferences();
    EXPECT_EQ(0, m_preferences.GetCount());
    m_settings.SetMorningBounds(true);
    m_settings.SetEveningBounds(true);
    m_settings.SetWeekendBounds(true);
    Write("", "TotalTimeConsts", "1");
    WriteConstraint(0, CTimeSlot(Monday(14, 0), Monday(15, 0)), "");
    m_preferences.RebuildPreferences();
    ASSERT_EQ(4, m_preferences.GetCount());
    const std::vector<int> days{m_preferences.GetAt(0)->GetDays(), m_preferences.GetAt(1)->GetDays(),
                                m_preferences.GetAt(2)->GetDays()};
    EXPECT_EQ((std::vector<int>{127, 127, 65}), days);
    EXPECT_TRUE(m_preferences.GetAt(2)->IsRelative());
    EXPECT_EQ(CDateTime(1000, 1, 1, 8, 0, 0), m_preferences.GetAt(0)->GetEndTime());
    EXPECT_EQ(CDateTime(1000, 1, 1, 18, 0, 0), m_preferences.GetAt(1)->GetStartTime());
    EXPECT_EQ(CDateTime(1000, 1, 1, 23, 59, 59), m_preferences.GetAt(2)->GetEndTime());
    EXPECT_TRUE(m_preferences.GetAt(3)->IsAbsolute());
    EXPECT_EQ(nullptr, m_preferences.GetAt(4));
}

TEST_F(PreferencesTest, DefaultBoundsRefuseEarlyLateAndWeekend)
{
    m_settings.SetMorningBounds(true);
    m_settings.SetEveningBounds(true);
    m_settings.SetWeekendBounds(true);
    m_preferences.RebuildPreferences();
    const CTimeConstraintSet all = m_preferences.ConstraintsFor("anyone-CalendarAgent");
    ASSERT_EQ(3u, all.size());
    EXPECT_FALSE(m_preferences.IsFreeConstrained(Monday(7, 30), 60, all));
    EXPECT_TRUE(m_preferences.IsFreeConstrained(Monday(8, 0), 60, all));
    EXPECT_FALSE(m_preferences.IsFreeConstrained(Monday(17, 30), 60, all));
    EXPECT_TRUE(m_preferences.IsFreeConstrained(Monday(17, 0), 60, all));
    EXPECT_FALSE(m_preferences.IsFreeConstrained(CDateTime(2026, 12, 12, 12, 0, 0), 60, all));
    // From Friday evening the next allowed time is Monday morning.
    EXPECT_EQ(CDateTime(2026, 12, 14, 8, 0, 0),
              m_preferences.NextFreeSlot(CDateTime(2026, 12, 11, 17, 30, 0), 60, all).GetStartTime());
}

TEST_F(PreferencesTest, BoundTimesComeFromTheSettings)
{
    m_settings.SetMorningBounds(true);
    m_settings.SetMorningTime("9:30:00 AM");
    m_settings.SetEveningBounds(true);
    m_settings.SetEveningTime("teatime");
    m_preferences.RebuildPreferences();
    const CTimeConstraintSet all = m_preferences.ConstraintsFor("");
    ASSERT_EQ(2u, all.size());
    EXPECT_FALSE(m_preferences.IsFreeConstrained(Monday(9, 0), 30, all));
    EXPECT_TRUE(m_preferences.IsFreeConstrained(Monday(9, 30), 30, all));
    // An evening time that does not parse refuses nothing.
    EXPECT_TRUE(m_preferences.IsFreeConstrained(Monday(22, 0), 60, all));
}

// --- registry form -----------------------------------------------------------

TEST_F(PreferencesTest, LoadReadsTheRegistryForm)
{
    Write("", "TotalTimeConsts", "2");
    WriteConstraint(0, CTimeSlot(Monday(12, 0), Monday(13, 0)), "");
    WriteConstraint(1, RelativeNoon(62), "ada_example.org-CalendarAgent");
    EXPECT_EQ(2, m_preferences.LoadPreferences());
    EXPECT_EQ((std::vector<std::string>{"CVSP::LoadPreferences: Loading Preferences",
                                        "CVSP::Load Preferences: Total Preferences Loaded = 2"}),
              m_lines);
    ASSERT_EQ(2, m_preferences.GetCount());
    const CTimeConstraint& dated = *m_preferences.GetAt(0);
    EXPECT_TRUE(dated.IsAbsolute());
    EXPECT_EQ(Monday(12, 0), dated.GetStartTime());
    EXPECT_EQ(Monday(13, 0), dated.GetEndTime());
    EXPECT_FALSE(dated.IsContactValid());
    const CTimeConstraint& weekly = *m_preferences.GetAt(1);
    EXPECT_TRUE(weekly.IsRelative());
    EXPECT_EQ(62, weekly.GetDays());
    EXPECT_EQ(CDateTime(1000, 1, 1, 12, 0, 0), weekly.GetStartTime());
    ASSERT_TRUE(weekly.IsContactValid());
    const CContactRecord& ada = weekly.GetContact();
    EXPECT_EQ((std::vector<std::string>{"Ada", "Byron", "ada@example.org", "ada_example.org-CalendarAgent"}),
              (std::vector<std::string>{ada.GetFirstName(), ada.GetLastName(), ada.GetEmailAddress(),
                                        ada.GetCalendarAgentName()}));
}

TEST_F(PreferencesTest, ContactConstraintAppliesOnlyToItsAgent)
{
    Write("", "TotalTimeConsts", "2");
    WriteConstraint(0, CTimeSlot(Monday(9, 0), Monday(10, 0)), "");
    WriteConstraint(1, RelativeNoon(62), "ada_example.org-CalendarAgent");
    m_preferences.LoadPreferences();
    const CTimeConstraintSet ada = m_preferences.ConstraintsFor("ada_example.org-CalendarAgent");
    const CTimeConstraintSet bob = m_preferences.ConstraintsFor("bob_example.org-CalendarAgent");
    ASSERT_EQ(2u, ada.size());
    ASSERT_EQ(1u, bob.size());
    EXPECT_TRUE(ada[0].IsAbsolute());
    // The sets are copies: they outlive the store's constraints.
    m_preferences.Clear();
    // Monday 11:30-12:30: its end lies in Ada's noon constraint.
    EXPECT_FALSE(m_preferences.IsFreeConstrained(Monday(11, 30), 60, ada));
    EXPECT_TRUE(m_preferences.IsFreeConstrained(Monday(11, 30), 60, bob));
    EXPECT_TRUE(m_preferences.IsFreeConstrained(CDateTime(2026, 12, 12, 11, 30, 0), 60, ada));
}

TEST_F(PreferencesTest, MissingAndUnparsableValuesLoadButRefuseNothing)
{
    Write("", "TotalTimeConsts", "3");
    WriteConstraint(0, CTimeSlot(Monday(12, 0), Monday(13, 0)), "");
    Write("TConsts\\TimeConstraint0", "StartTime", "lunch");
    EXPECT_EQ(3, m_preferences.LoadPreferences());
    ASSERT_EQ(3, m_preferences.GetCount());
    EXPECT_EQ(CDateTime::invalid, m_preferences.GetAt(2)->GetStartTime().GetStatus());
    EXPECT_EQ(0, m_preferences.GetAt(2)->GetDays());
    EXPECT_TRUE(CPreferences::IsAllowed(m_preferences.ConstraintsFor(""), Monday(12, 30), Monday(13, 0)));
}

TEST_F(PreferencesTest, TotalIsReadAsDecimalAndHeldToTheMaximum)
{
    CPreferences quiet(m_settings, m_appointments, nullptr);
    EXPECT_EQ(0, quiet.LoadPreferences());
    const std::vector<std::pair<std::string, int>> totals{
        {"many", 0}, {"-4", 0}, {"2 constraints", 2}, {"99999999999999999999", CPreferences::MaxConstraints}};
    for (const auto& [text, loaded] : totals) {
        Write("", "TotalTimeConsts", text);
        EXPECT_EQ(loaded, m_preferences.LoadPreferences()) << text;
        EXPECT_EQ("CVSP::Load Preferences: Total Preferences Loaded = " + std::to_string(loaded),
                  m_lines.back());
    }
}
