#include <vespera/core/AppointmentStore.h>
#include <vespera/core/BusyTimeIndex.h>

#include <platform/DateTimeSpan.h>

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

CDateTime Null()
{
    CDateTime date;
    date.SetStatus(CDateTime::null);
    return date;
}

// The answer the index must give: every appointment asked in turn.
bool FreeByScan(const CAppointmentStore& store, const CDateTime& start, int minutes)
{
    for (int i = 0; i < store.GetCount(); ++i)
        if (!store.GetAt(i)->IsFree(start, minutes))
            return false;
    return true;
}

class CRandomCalendar {
public:
    explicit CRandomCalendar(unsigned seed) : m_random(seed) {}

    // A time in the four weeks from 1 March 2027, on the minute or not.
    CDateTime Time()
    {
        const CDateTime first(2027, 3, 1, 0, 0, 0);
        const int minute = Pick(0, 28 * 24 * 60);
        return first + CDateTimeSpan(0, 0, minute, Pick(0, 3) == 0 ? Pick(1, 59) : 0);
    }

    // Now and then a time that is not a valid time.
    CDateTime TimeOrBroken()
    {
        if (Pick(0, 40) == 0)
            return Pick(0, 1) ? Null() : CDateTime(2027, 2, 30, 9, 0, 0);
        return Time();
    }

    void Fill(CAppointmentStore& store, int count)
    {
        for (int i = 0; i < count; ++i)
            AddOne(store, i);
    }

    void AddOne(CAppointmentStore& store, int i)
    {
        const CDateTime start = TimeOrBroken();
        const int minutes = Pick(-30, 600);
        const CDateTime end =
            start.GetStatus() == CDateTime::valid ? start + CDateTimeSpan(0, 0, minutes, 0) : TimeOrBroken();
        const int status = Pick(0, 3);
        if (Pick(0, 9) == 0)
            store.AddRecurringAppointment(i, "r", "", "", "", "", start, end, minutes, 0, 0, status, Null(),
                                          "outlook", Pick(0, 3), Pick(1, 2), Pick(0, 5), Pick(0, 1), start,
                                          Time() + CDateTimeSpan(60, 0, 0, 0), Pick(1, 28), Pick(1, 127),
                                          false);
        else
            store.AddAppointment(i, "s", "", "", "", "", start, end, minutes, 0, 0, status, Null(), "outlook",
                                 false);
    }

    int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }

private:
    std::mt19937 m_random;
};

TEST(BusyTimeIndex, AnswersAsAskingEveryAppointmentDoes)
{
    int busyAnswers = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        CRandomCalendar calendar(seed);
        CAppointmentStore store;
        calendar.Fill(store, calendar.Pick(0, 120));
        const CBusyTimeIndex index(store);
        for (int query = 0; query < 400; ++query) {
            const CDateTime start = calendar.TimeOrBroken();
            const int minutes = calendar.Pick(-60, 24 * 60);
            const bool expected = FreeByScan(store, start, minutes);
            ASSERT_EQ(index.IsFree(start, minutes), expected)
                << "seed " << seed << ", " << start.Format() << " for " << minutes << " minutes";
            busyAnswers += expected ? 0 : 1;
        }
    }
    EXPECT_GT(busyAnswers, 1000) << "the random calendars must be busy often enough to test anything";
}

// The index as the preferences keep it: following the store's changes, or
// made again when the store cannot tell them.
TEST(BusyTimeIndex, FollowsAddsAndRemovalsAsAFreshIndexWould)
{
    int caughtUp = 0;
    int remade = 0;
    for (unsigned seed = 1; seed <= 30; ++seed) {
        CRandomCalendar calendar(seed);
        CAppointmentStore store;
        calendar.Fill(store, calendar.Pick(0, 60));
        CBusyTimeIndex index(store);
        for (int round = 0; round < 40; ++round) {
            const int action = calendar.Pick(0, 20);
            if (action == 0)
                store.Clear();
            for (int change = calendar.Pick(1, action == 1 ? 300 : 4); change > 0; --change) {
                if (store.GetCount() > 0 && calendar.Pick(0, 2) == 0)
                    store.Remove(store.GetAt(calendar.Pick(0, store.GetCount() - 1)));
                else
                    calendar.AddOne(store, round);
            }
            if (index.CatchUp(store)) {
                ++caughtUp;
            } else {
                index = CBusyTimeIndex(store);
                ++remade;
            }
            for (int query = 0; query < 40; ++query) {
                const CDateTime start = calendar.TimeOrBroken();
                const int minutes = calendar.Pick(-60, 24 * 60);
                ASSERT_EQ(index.IsFree(start, minutes), FreeByScan(store, start, minutes))
                    << "seed " << seed << ", round " << round << ", " << start.Format();
            }
        }
    }
    EXPECT_GT(caughtUp, 500);
    EXPECT_GT(remade, 20) << "Clear and long runs of changes must make the index again";
}

TEST(BusyTimeIndex, KnowsWhichRevisionOfTheStoreItWasMadeFrom)
{
    CAppointmentStore store;
    const CBusyTimeIndex empty(store);
    const CDateTime nine(2027, 3, 1, 9, 0, 0);
    store.AddAppointment(1, "s", "", "", "", "", nine, nine + CDateTimeSpan(0, 1, 0, 0), 60, 0, 0, 2, Null(),
                         "outlook", false);
    EXPECT_NE(empty.GetRevision(), store.GetRevision());
    EXPECT_FALSE(CBusyTimeIndex(store).IsFree(nine, 30));
    store.RemoveIf([](const CAppointment&) { return true; });
    EXPECT_TRUE(CBusyTimeIndex(store).IsFree(nine, 30));
}

} // namespace
