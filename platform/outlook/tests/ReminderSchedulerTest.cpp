#include <outlook/ReminderScheduler.h>

#include <platform/PollEventLoop.h>
#include <platform/testing/LoopWait.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {
using outlook::CAppointmentData;
using outlook::CReminderScheduler;
using outlook::CStoredItem;

CStoredItem Reminded(const std::string& id, const CDateTime& start, long minutes)
{
    CAppointmentData data;
    data.subject = id;
    data.start = start;
    data.duration = 30;
    data.reminderSet = true;
    data.reminderMinutesBeforeStart = minutes;
    return CStoredItem{id, data};
}

CStoredItem DailyAtTen(const std::string& id)
{
    CStoredItem item = Reminded(id, CDateTime(2026, 1, 5, 10, 0, 0), 15);
    CAppointmentData& data = std::get<CAppointmentData>(item.data);
    data.isRecurring = true;
    data.pattern.recurrenceType = outlook::olRecursDaily;
    data.pattern.interval = 1;
    data.pattern.patternStartDate = CDateTime(2026, 1, 5, 0, 0, 0);
    data.pattern.startTime = CDateTime(1899, 12, 30, 10, 0, 0);
    data.pattern.endTime = CDateTime(1899, 12, 30, 10, 30, 0);
    return item;
}

// A scheduler on a real loop whose clock the test sets.
class ReminderSchedulerTest : public ::testing::Test {
protected:
    ReminderSchedulerTest()
        : scheduler(
              loop, [this](const CStoredItem& item) { fired.push_back(item); }, [this] { return now; })
    {
    }

    // Moves the clock and lets every reminder now due fire.
    void At(const CDateTime& time)
    {
        now = time;
        scheduler.Reschedule();
        Settle();
    }
    void Settle()
    {
        const std::size_t before = fired.size();
        if (scheduler.IsTimerSet() && scheduler.GetNextReminderTime() <= now) {
            ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return fired.size() > before; }));
        }
        // Whatever is left is due later than the clock says.
        EXPECT_TRUE(!scheduler.IsTimerSet() || scheduler.GetNextReminderTime() > now);
    }
    CDateTime FiredStart(std::size_t i) const { return std::get<CAppointmentData>(fired.at(i).data).start; }

    CPollEventLoop loop;
    CDateTime now = CDateTime(2026, 1, 5, 8, 0, 0);
    std::vector<CStoredItem> fired;
    CReminderScheduler scheduler;
};

TEST_F(ReminderSchedulerTest, ASingleItemFiresOnceAtItsReminderTime)
{
    scheduler.SetItems({Reminded("a", CDateTime(2026, 1, 5, 10, 0, 0), 5)});
    EXPECT_TRUE(scheduler.IsTimerSet());
    EXPECT_EQ(scheduler.GetNextReminderTime(), CDateTime(2026, 1, 5, 9, 55, 0));
    At(CDateTime(2026, 1, 5, 9, 54, 59));
    EXPECT_TRUE(fired.empty());
    At(CDateTime(2026, 1, 5, 9, 55, 0));
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].id, "a");
    EXPECT_EQ(FiredStart(0), CDateTime(2026, 1, 5, 10, 0, 0));
    // Nothing is left to wait for: no timer, nothing due.
    EXPECT_FALSE(scheduler.IsTimerSet());
    At(CDateTime(2026, 1, 5, 9, 58, 0));
    EXPECT_EQ(fired.size(), 1u);
}

TEST_F(ReminderSchedulerTest, AnAddedItemMovesTheTimerOnlyWhenItComesFirst)
{
    scheduler.AddItem(Reminded("later", CDateTime(2026, 1, 5, 12, 0, 0), 5));
    EXPECT_EQ(scheduler.GetNextReminderTime(), CDateTime(2026, 1, 5, 11, 55, 0));
    scheduler.AddItem(Reminded("sooner", CDateTime(2026, 1, 5, 10, 0, 0), 5));
    scheduler.AddItem(Reminded("latest", CDateTime(2026, 1, 5, 13, 0, 0), 5));
    CStoredItem quiet = Reminded("quiet", CDateTime(2026, 1, 5, 9, 0, 0), 5);
    std::get<CAppointmentData>(quiet.data).reminderSet = false;
    scheduler.AddItem(quiet);
    for (const char* expected : {"sooner", "later", "latest"}) {
        At(scheduler.GetNextReminderTime());
        ASSERT_FALSE(fired.empty());
        EXPECT_EQ(fired.back().id, expected);
    }
    EXPECT_EQ(fired.size(), 3u);
    EXPECT_FALSE(scheduler.IsTimerSet());
}

TEST_F(ReminderSchedulerTest, ARecurringItemFiresOncePerOccurrence)
{
    scheduler.SetItems({DailyAtTen("daily")});
    EXPECT_EQ(scheduler.GetNextReminderTime(), CDateTime(2026, 1, 5, 9, 45, 0));
    At(CDateTime(2026, 1, 5, 9, 45, 0));
    At(CDateTime(2026, 1, 5, 9, 50, 0));
    EXPECT_EQ(scheduler.GetNextReminderTime(), CDateTime(2026, 1, 6, 9, 45, 0));
    At(CDateTime(2026, 1, 6, 9, 46, 0));
    At(CDateTime(2026, 1, 7, 9, 45, 30));
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(FiredStart(0), CDateTime(2026, 1, 5, 10, 0, 0));
    EXPECT_EQ(FiredStart(1), CDateTime(2026, 1, 6, 10, 0, 0));
    EXPECT_EQ(FiredStart(2), CDateTime(2026, 1, 7, 10, 0, 0));
}

TEST_F(ReminderSchedulerTest, ReloadingOrAddingItemsNeverFiresAnOccurrenceTwice)
{
    now = CDateTime(2026, 2, 1, 9, 45, 0);
    scheduler.SetItems({DailyAtTen("daily")});
    Settle();
    ASSERT_EQ(fired.size(), 1u);
    // The same calendar read again, then with an item added.
    scheduler.SetItems({DailyAtTen("daily")});
    Settle();
    scheduler.SetItems({DailyAtTen("daily"), Reminded("new", CDateTime(2026, 2, 1, 9, 50, 0), 10)});
    Settle();
    ASSERT_EQ(fired.size(), 2u);
    EXPECT_EQ(fired[1].id, "new");
    EXPECT_EQ(scheduler.GetNextReminderTime(), CDateTime(2026, 2, 2, 9, 45, 0));
    // Moved to a later start, the item is a new occurrence and fires again.
    scheduler.SetItems({DailyAtTen("daily"), Reminded("new", CDateTime(2026, 2, 1, 9, 55, 0), 10)});
    Settle();
    ASSERT_EQ(fired.size(), 3u);
    EXPECT_EQ(FiredStart(2), CDateTime(2026, 2, 1, 9, 55, 0));
}

TEST_F(ReminderSchedulerTest, MissedRemindersFireWhileTheOccurrenceIsAheadAndAreDroppedOnceItBegan)
{
    // The agent comes up at 10:05: today's 10:00 has begun, 11:00's reminder
    // (10:00) was missed but its meeting is still to come.
    now = CDateTime(2026, 3, 2, 10, 5, 0);
    scheduler.SetItems({Reminded("begun", CDateTime(2026, 3, 2, 10, 0, 0), 15),
                        Reminded("ahead", CDateTime(2026, 3, 2, 11, 0, 0), 60), DailyAtTen("daily")});
    Settle();
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].id, "ahead");
    EXPECT_EQ(scheduler.GetNextReminderTime(), CDateTime(2026, 3, 3, 9, 45, 0));
}

TEST_F(ReminderSchedulerTest, ARecordFileKeepsARestartFromRemindingAgain)
{
    char pattern[] = "/tmp/reminder-record-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    const std::string directory = pattern;
    const std::string record = directory + "/reminders-given";
    // Damaged lines are ignored, not fatal.
    {
        std::ofstream(record) << "not a line\n12 \n\n";
    }
    now = CDateTime(2026, 3, 2, 10, 50, 0);
    scheduler.SetRecordFile(record);
    scheduler.SetItems({Reminded("ahead", CDateTime(2026, 3, 2, 11, 0, 0), 15), DailyAtTen("daily")});
    Settle();
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].id, "ahead");

    // The program restarts before the meeting: the same calendar, a new
    // scheduler on the same record.
    std::vector<CStoredItem> again;
    {
        CReminderScheduler restarted(
            loop, [&again](const CStoredItem& item) { again.push_back(item); }, [this] { return now; });
        restarted.SetRecordFile(record);
        restarted.SetItems({Reminded("ahead", CDateTime(2026, 3, 2, 11, 0, 0), 15), DailyAtTen("daily")});
        EXPECT_EQ(restarted.GetNextReminderTime(), CDateTime(2026, 3, 3, 9, 45, 0));
        loopwait::DeliverPosted(loop);
    }
    EXPECT_TRUE(again.empty());

    // Without the record, the same restart reminds again.
    CReminderScheduler forgetful(
        loop, [&again](const CStoredItem& item) { again.push_back(item); }, [this] { return now; });
    forgetful.SetItems({Reminded("ahead", CDateTime(2026, 3, 2, 11, 0, 0), 15)});
    EXPECT_EQ(forgetful.GetNextReminderTime(), CDateTime(2026, 3, 2, 10, 45, 0));
    std::filesystem::remove_all(directory);
}

TEST_F(ReminderSchedulerTest, ALongRunningSeriesRemindsOnItsOwnWeeksAndMonths)
{
    CStoredItem fortnightly = Reminded("fortnightly", CDateTime(2020, 1, 7, 9, 0, 0), 30);
    CAppointmentData& weekly = std::get<CAppointmentData>(fortnightly.data);
    weekly.isRecurring = true;
    weekly.pattern.recurrenceType = outlook::olRecursWeekly;
    weekly.pattern.interval = 2;
    weekly.pattern.dayOfWeekMask = outlook::olTuesday | outlook::olThursday;
    weekly.pattern.patternStartDate = CDateTime(2020, 1, 7, 0, 0, 0);
    CStoredItem lastWeekday = Reminded("last weekday", CDateTime(2020, 1, 31, 17, 0, 0), 60);
    CAppointmentData& monthly = std::get<CAppointmentData>(lastWeekday.data);
    monthly.isRecurring = true;
    monthly.pattern.recurrenceType = outlook::olRecursMonthNth;
    monthly.pattern.dayOfWeekMask = outlook::olWeekdayMask;
    monthly.pattern.instance = 5;
    monthly.pattern.patternStartDate = CDateTime(2020, 1, 31, 0, 0, 0);
    monthly.pattern.noEndDate = false;
    monthly.pattern.patternEndDate = CDateTime(2026, 4, 30, 0, 0, 0);

    now = CDateTime(2026, 3, 1, 0, 0, 0);
    scheduler.SetItems({fortnightly});
    EXPECT_EQ(scheduler.GetNextReminderTime(), CDateTime(2026, 3, 10, 8, 30, 0));
    scheduler.SetItems({lastWeekday});
    EXPECT_EQ(scheduler.GetNextReminderTime(), CDateTime(2026, 3, 31, 16, 0, 0));
    now = CDateTime(2026, 5, 1, 0, 0, 0);
    scheduler.Reschedule();
    EXPECT_FALSE(scheduler.IsTimerSet());
}

TEST_F(ReminderSchedulerTest, ItemsWithoutAReminderOrAStartSetNoTimer)
{
    CStoredItem quiet = Reminded("quiet", CDateTime(2026, 1, 5, 10, 0, 0), 5);
    std::get<CAppointmentData>(quiet.data).reminderSet = false;
    CStoredItem noStart = Reminded("nostart", CDateTime(), 5);
    std::get<CAppointmentData>(noStart.data).start.SetStatus(CDateTime::null);
    CStoredItem contact{"contact", outlook::CContactData()};
    CStoredItem past = Reminded("past", CDateTime(2025, 1, 5, 10, 0, 0), 5);
    scheduler.SetItems({quiet, noStart, contact, past});
    EXPECT_FALSE(scheduler.IsTimerSet());
    EXPECT_NE(scheduler.GetNextReminderTime().GetStatus(), CDateTime::valid);
}

TEST(ReminderSchedulerClockTest, AReminderAtTheStartFiresOnTheWallClockOnce)
{
    CPollEventLoop loop;
    int fired = 0;
    CReminderScheduler scheduler(loop, [&](const CStoredItem&) { ++fired; });
    const CDateTime soon = CDateTime::GetCurrentTime() + CDateTimeSpan(0, 0, 0, 2);
    scheduler.SetItems({Reminded("soon", soon, 0)});
    EXPECT_TRUE(scheduler.IsTimerSet());
    ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return fired == 1; }));
    scheduler.SetItems({Reminded("soon", soon, 0)});
    EXPECT_FALSE(scheduler.IsTimerSet());
    EXPECT_EQ(fired, 1);
}
} // namespace
