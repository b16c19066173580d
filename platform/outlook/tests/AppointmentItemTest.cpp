#include <outlook/AppointmentItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>

#include "Fixture.h"

#include <gtest/gtest.h>

using namespace outlook;
using outlook_test::Meeting;
using outlook_test::Session;

namespace {
const CDateTime Morning(2026, 12, 7, 9, 0, 0);

std::unique_ptr<CItem> StoredAt(Session& session, long position)
{
    return session.mapi->GetDefaultFolder(olFolderCalendar)->GetItems()->Item(position);
}
} // namespace

TEST(AppointmentItem, ANewItemIsBusyHalfAnHourWithoutStartOrReminder)
{
    Session session;
    const std::unique_ptr<CItem> item = session.application->CreateItem(olAppointmentItem);
    const CAppointmentItem& appointment = *item->AsAppointment();
    EXPECT_EQ(CDateTime::null, appointment.GetStart().GetStatus());
    EXPECT_NE(CDateTime::valid, appointment.GetEnd().GetStatus());
    EXPECT_EQ(30, appointment.GetDuration());
    EXPECT_EQ(olBusy, appointment.GetBusyStatus());
    EXPECT_FALSE(appointment.GetReminderSet());
    EXPECT_EQ(nullptr, appointment.GetRecurrencePattern());
    EXPECT_TRUE(item->GetEntryID().empty());
}

TEST(AppointmentItem, TheEndFollowsStartAndDurationAndBadValuesAreRefused)
{
    Session session;
    const std::unique_ptr<CItem> item = session.application->CreateItem(olAppointmentItem);
    CAppointmentItem& appointment = *item->AsAppointment();
    ASSERT_TRUE(appointment.SetStart(Morning));
    ASSERT_TRUE(appointment.SetDuration(90));
    EXPECT_EQ(CDateTime(2026, 12, 7, 10, 30, 0), appointment.GetEnd());
    ASSERT_TRUE(appointment.SetStart(CDateTime(2026, 12, 31, 23, 0, 0)));
    EXPECT_EQ(CDateTime(2027, 1, 1, 0, 30, 0), appointment.GetEnd()) << "a new start keeps the length";

    CDateTime nothing;
    nothing.SetStatus(CDateTime::null);
    EXPECT_FALSE(appointment.SetStart(nothing));
    EXPECT_FALSE(appointment.SetStart(CDateTime(2026, 2, 30, 9, 0, 0)));
    EXPECT_FALSE(appointment.SetDuration(-1));
    EXPECT_FALSE(appointment.SetReminderMinutesBeforeStart(-15));
    EXPECT_EQ(CDateTime(2026, 12, 31, 23, 0, 0), appointment.GetStart());
    EXPECT_EQ(90, appointment.GetDuration());
    EXPECT_EQ(15, appointment.GetReminderMinutesBeforeStart());
}

TEST(AppointmentItem, SaveWritesEveryWrittenPropertyIntoTheCalendar)
{
    Session session;
    std::unique_ptr<CItem> item = session.application->CreateItem(olAppointmentItem);
    CAppointmentItem& appointment = *item->AsAppointment();
    appointment.SetStart(Morning);
    appointment.SetDuration(45);
    appointment.SetSubject("Review");
    appointment.SetBody("Quarterly figures");
    appointment.SetLocation("Room 2");
    appointment.SetReminderSet(true);
    appointment.SetReminderMinutesBeforeStart(30);
    appointment.SetRequiredAttendees("ann");
    appointment.SetOptionalAttendees("bob");
    ASSERT_TRUE(appointment.Save());

    const std::unique_ptr<CItem> read = StoredAt(session, 1);
    const CAppointmentItem& stored = *read->AsAppointment();
    EXPECT_EQ(Morning, stored.GetStart());
    EXPECT_EQ(CDateTime(2026, 12, 7, 9, 45, 0), stored.GetEnd());
    EXPECT_EQ("Review", stored.GetSubject());
    EXPECT_EQ("Quarterly figures", stored.GetBody());
    EXPECT_EQ("Room 2", stored.GetLocation());
    EXPECT_TRUE(stored.GetReminderSet());
    EXPECT_EQ(30, stored.GetReminderMinutesBeforeStart());
    EXPECT_EQ("ann", stored.GetRequiredAttendees());
    EXPECT_EQ("bob", stored.GetOptionalAttendees());
}

TEST(AppointmentItem, SaveFailsWithoutStartWhileLoggedOffAndAfterTheBackendIsGone)
{
    Session session;
    std::unique_ptr<CItem> item = session.application->CreateItem(olAppointmentItem);
    CAppointmentItem& appointment = *item->AsAppointment();
    EXPECT_FALSE(appointment.Save()) << "no start";
    appointment.SetStart(Morning);
    session.mapi->Logoff();
    EXPECT_FALSE(appointment.Save());
    session.mapi->Logon();
    EXPECT_EQ(0, session.mapi->GetDefaultFolder(olFolderCalendar)->GetItems()->GetCount());
    EXPECT_TRUE(item->GetEntryID().empty());

    session.application.reset();
    session.backend.reset();
    EXPECT_FALSE(appointment.Save());
    EXPECT_EQ(Morning, appointment.GetStart()) << "the item keeps its data";
}

TEST(AppointmentItem, PropertiesReadByNameInAnyCase)
{
    Session session;
    CAppointmentData data = Meeting("Review", Morning, 60);
    data.busyStatus = olTentative;
    data.reminderSet = true;
    session.backend->Put(olFolderCalendar, data);
    const std::unique_ptr<CItem> item = StoredAt(session, 1);
    EXPECT_EQ(PropertyValue(std::string("Review")), item->GetProperty("subject"));
    EXPECT_EQ(PropertyValue(Morning), item->GetProperty("START"));
    EXPECT_EQ(PropertyValue(CDateTime(2026, 12, 7, 10, 0, 0)), item->GetProperty("End"));
    EXPECT_EQ(PropertyValue(60L), item->GetProperty("Duration"));
    EXPECT_EQ(PropertyValue(static_cast<long>(olTentative)), item->GetProperty("BusyStatus"));
    EXPECT_EQ(PropertyValue(true), item->GetProperty("ReminderSet"));
    EXPECT_EQ(PropertyValue(false), item->GetProperty("IsRecurring"));
    EXPECT_FALSE(item->GetProperty("FirstName").has_value());
    EXPECT_FALSE(item->GetProperty("Subject ").has_value());
}
