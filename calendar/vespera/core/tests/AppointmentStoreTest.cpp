#include <vespera/core/AppointmentStore.h>
#include <vespera/core/AppointmentView.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {
constexpr int Tentative = 1, Busy = 2;

// Keeps what the store told it, in order, as "add Subject", "remove
// Subject" and "refresh".
struct View : CAppointmentView {
    void AddAppointmentRow(const CAppointment& appointment) override
    {
        events.push_back("add " + appointment.GetSubject());
    }
    void RemoveAppointmentRow(const CAppointment& appointment) override
    {
        events.push_back("remove " + appointment.GetSubject());
        if (store)
            countsSeen.push_back(store->GetCount());
    }
    void Refresh() override { events.push_back("refresh"); }

    std::vector<std::string> events;
    const CAppointmentStore* store = nullptr;
    std::vector<int> countsSeen;
};

CDateTime NullTime()
{
    CDateTime value;
    value.SetStatus(CDateTime::null);
    return value;
}

const CDateTime Nine(2026, 12, 7, 9, 0, 0);
const CDateTime Ten(2026, 12, 7, 10, 0, 0);

const CAppointment* AddFromOutlook(CAppointmentStore& store, int index, const std::string& subject,
                                   const CDateTime& expires = NullTime())
{
    return store.AddAppointment(index, subject, "", "", "", "", Nine, Ten, 60, 0, 0, Busy, expires, "outlook",
                                false);
}

const CAppointment* AddHold(CAppointmentStore& store, const std::string& subject, const CDateTime& expires,
                            const std::string& key = "neg:1bid:1")
{
    return store.AddAppointment(CAppointmentStore::HoldIndex, subject, "", "", "", "", Nine, Ten, 60, 1, 30,
                                Tentative, expires, key, true);
}

std::vector<std::string> Subjects(const CAppointmentStore& store)
{
    std::vector<std::string> subjects;
    for (int i = 0; i < store.GetCount(); ++i)
        subjects.push_back(store.GetAt(i)->GetSubject());
    return subjects;
}
} // namespace

TEST(AppointmentStore, AppointmentsKeepTheirFieldsAndTheOrderOfAdding)
{
    CAppointmentStore store;
    EXPECT_EQ(0, store.GetCount());
    EXPECT_EQ(nullptr, store.GetAt(0));
    const CAppointment* first = store.AddAppointment(1, "Review", "Figures", "Room 2", "ann", "bob", Nine,
                                                     Ten, 60, 1, 15, Busy, NullTime(), "outlook", false);
    AddFromOutlook(store, 2, "Lunch");
    AddHold(store, "Held", Ten);
    ASSERT_EQ(3, store.GetCount());
    EXPECT_EQ((std::vector<std::string>{"Review", "Lunch", "Held"}), Subjects(store));
    EXPECT_EQ(first, store.GetAt(0));
    EXPECT_EQ(nullptr, store.GetAt(3));
    EXPECT_EQ(nullptr, store.GetAt(-1));
    const std::vector<std::string> texts = {first->GetSubject(),      first->GetBody(),
                                            first->GetLocation(),     first->GetReqAttendees(),
                                            first->GetOptAttendees(), first->GetAttribute()};
    EXPECT_EQ((std::vector<std::string>{"Review", "Figures", "Room 2", "ann", "bob", "outlook"}), texts);
    EXPECT_EQ((std::vector<int>{1, 60, 1, 15, Busy}),
              (std::vector<int>{first->GetOutlookIndex(), first->GetDuration(), first->IsReminder(),
                                first->GetReminder(), first->GetApptStatus()}));
    EXPECT_EQ(Ten, first->GetEndTime());
    EXPECT_EQ(CDateTime::null, first->GetExpires().GetStatus());
}

TEST(AppointmentStore, RecurringAppointmentsCarryTheirPattern)
{
    CAppointmentStore store;
    // Every second week on Mondays from 5 May 2003 at 10:00, no end date.
    const CAppointment* weekly = store.AddRecurringAppointment(
        4, "Standup", "", "", "", "", CDateTime(2003, 5, 5, 10, 0, 0), CDateTime(2003, 5, 5, 10, 15, 0), 15,
        0, 0, Busy, NullTime(), "outlook", 1, 2, 3, 0, CDateTime(2003, 5, 5, 10, 0, 0),
        CDateTime(4500, 8, 31, 10, 15, 0), 17, 2, false);
    ASSERT_EQ(1, weekly->IsRecurring());
    const CRecurrenceData* pattern = weekly->GetRecurrence();
    ASSERT_NE(nullptr, pattern);
    EXPECT_EQ((std::vector<int>{1, 2, 3, 0, 17}),
              (std::vector<int>{pattern->GetRecType(), pattern->GetInterval(), pattern->GetInstance(),
                                pattern->GetEnds(), pattern->GetDayOfMonth()}));
    EXPECT_EQ(2, pattern->GetDays());
    EXPECT_EQ(CDateTime(2003, 5, 5, 0, 0, 0), pattern->GetStartDate());
    EXPECT_EQ(CDateTime(1899, 12, 30, 10, 0, 0), pattern->GetStartTime());
    EXPECT_EQ(CDateTime(4500, 8, 31, 0, 0, 0), pattern->GetEndDate());
    EXPECT_EQ(1, weekly->OccursOn(19, 5, 2003));
    EXPECT_EQ(0, weekly->OccursOn(12, 5, 2003));
}

TEST(AppointmentStore, OnlyShownAppointmentsAreListedAtOnce)
{
    CAppointmentStore store;
    AddHold(store, "Before the window", Ten);
    View view;
    store.SetView(&view);
    EXPECT_EQ(&view, store.GetView());
    AddFromOutlook(store, 1, "Loaded");
    EXPECT_TRUE(view.events.empty());
    store.AddAppointment(2, "Created", "", "", "", "", Nine, Ten, 60, 0, 0, Busy, NullTime(), "outlook",
                         true);
    EXPECT_EQ((std::vector<std::string>{"add Created", "refresh"}), view.events);
    store.SetView(nullptr);
    AddHold(store, "After the window", Ten);
    EXPECT_EQ(4, store.GetCount());
    EXPECT_EQ(2u, view.events.size());
}

TEST(AppointmentStore, PurgeTakesOnlyHoldsWhoseValidExpiryHasPassed)
{
    CAppointmentStore store;
    View view;
    store.SetView(&view);
    const CDateTime now(2026, 12, 7, 9, 30, 0);
    AddFromOutlook(store, 1, "Outlook, expiry passed", CDateTime(2026, 12, 7, 9, 0, 0));
    AddHold(store, "Hold, expired", CDateTime(2026, 12, 7, 9, 29, 59));
    AddHold(store, "Hold, no expiry", NullTime());
    AddHold(store, "Hold, expires now", now);
    AddHold(store, "Hold, invalid expiry", CDateTime(2026, 2, 30, 0, 0, 0));
    AddHold(store, "Hold, expires later", CDateTime(2026, 12, 7, 9, 30, 1));
    AddHold(store, "Hold, long expired", CDateTime(1850, 1, 1, 0, 0, 0));
    view.events.clear();

    EXPECT_EQ(2, store.PurgeExpired(now));
    EXPECT_EQ((std::vector<std::string>{"Outlook, expiry passed", "Hold, no expiry", "Hold, expires now",
                                        "Hold, invalid expiry", "Hold, expires later"}),
              Subjects(store));
    EXPECT_EQ((std::vector<std::string>{"remove Hold, expired", "remove Hold, long expired", "refresh"}),
              view.events);

    view.events.clear();
    EXPECT_EQ(0, store.PurgeExpired(now));
    EXPECT_EQ(std::vector<std::string>{"refresh"}, view.events)
        << "the calendar is redrawn after every purge";
}

TEST(AppointmentStore, PurgeRunsOnTheClockAndNotAtATimeThatIsNotValid)
{
    CAppointmentStore store;
    AddHold(store, "Expired", CDateTime(2000, 1, 1, 0, 0, 0));
    AddHold(store, "Far ahead", CDateTime(9000, 1, 1, 0, 0, 0));
    CDateTime broken;
    broken.SetStatus(CDateTime::invalid);
    EXPECT_EQ(0, store.PurgeExpired(broken));
    EXPECT_EQ(0, store.PurgeExpired(NullTime()));
    EXPECT_EQ(1, store.PurgeExpired());
    EXPECT_EQ(std::vector<std::string>{"Far ahead"}, Subjects(store));
}

TEST(AppointmentStore, ClearDropsEverythingHoldsIncludedWithoutRedrawing)
{
    CAppointmentStore store;
    View view;
    store.SetView(&view);
    AddFromOutlook(store, 1, "Loaded");
    AddHold(store, "Held", CDateTime(2030, 1, 1, 0, 0, 0));
    view.events.clear();
    store.Clear();
    EXPECT_EQ(0, store.GetCount());
    EXPECT_EQ((std::vector<std::string>{"remove Loaded", "remove Held"}), view.events);
    AddFromOutlook(store, 1, "Reloaded");
    EXPECT_EQ(std::vector<std::string>{"Reloaded"}, Subjects(store));
}

TEST(AppointmentStore, RemoveTakesOneGivenAppointment)
{
    CAppointmentStore store;
    View view;
    store.SetView(&view);
    view.store = &store;
    AddFromOutlook(store, 1, "First");
    const CAppointment* middle = AddFromOutlook(store, 2, "Middle");
    AddFromOutlook(store, 3, "Last");
    EXPECT_EQ(1, store.IndexOf(middle));
    ASSERT_TRUE(store.Remove(middle));
    EXPECT_EQ((std::vector<std::string>{"First", "Last"}), Subjects(store));
    EXPECT_EQ((std::vector<std::string>{"remove Middle", "refresh"}), view.events);
    EXPECT_EQ(std::vector<int>{2}, view.countsSeen) << "the view sees the store without the appointment";

    CAppointment stranger;
    EXPECT_FALSE(store.Remove(&stranger));
    EXPECT_FALSE(store.Remove(nullptr));
    EXPECT_EQ(-1, store.IndexOf(&stranger));
    EXPECT_EQ(2, store.GetCount());
}

TEST(AppointmentStore, RemoveIfTakesThePickedAndKeepsTheOrderOfTheRest)
{
    CAppointmentStore store;
    AddHold(store, "A", CDateTime(2030, 1, 1, 0, 0, 0), "neg:7bid:1");
    AddFromOutlook(store, 1, "B");
    AddHold(store, "C", CDateTime(2030, 1, 1, 0, 0, 0), "neg:8bid:2");
    AddHold(store, "D", CDateTime(2030, 1, 1, 0, 0, 0), "neg:7bid:3");
    const int removed = store.RemoveIf([](const CAppointment& appointment) {
        return appointment.GetOutlookIndex() == CAppointmentStore::HoldIndex &&
               appointment.GetAttribute().rfind("neg:7bid:", 0) == 0;
    });
    EXPECT_EQ(2, removed);
    EXPECT_EQ((std::vector<std::string>{"B", "C"}), Subjects(store));
    EXPECT_EQ(0, store.RemoveIf(nullptr));
    EXPECT_EQ(2, store.GetCount());
}
