#include <outlook/AppointmentItem.h>
#include <outlook/ContactItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>

#include "Fixture.h"

#include <gtest/gtest.h>

#include <climits>

using namespace outlook;
using outlook_test::Meeting;
using outlook_test::Person;
using outlook_test::Session;

namespace
{
const CDateTime Morning(2026, 12, 7, 9, 0, 0);

CItems* ItemsOf(Session& session, OlDefaultFolders folder)
{
    CMAPIFolder* found = session.mapi->GetDefaultFolder(folder);
    return found ? found->GetItems() : nullptr;
}
} // namespace

TEST(Items, AnEmptyFolderCountsNothingAndHasNoFirstItem)
{
    Session session;
    CItems* items = ItemsOf(session, olFolderCalendar);
    ASSERT_NE(nullptr, items);
    EXPECT_EQ(0, items->GetCount());
    EXPECT_EQ(nullptr, items->Item(1));
}

TEST(Items, PositionsRunFromOneToTheCount)
{
    Session session;
    session.backend->Put(olFolderCalendar, Meeting("First", Morning, 30));
    session.backend->Put(olFolderCalendar, Meeting("Second", Morning, 30));
    session.backend->Put(olFolderCalendar, Meeting("Third", Morning, 30));
    CItems* items = ItemsOf(session, olFolderCalendar);
    ASSERT_EQ(3, items->GetCount());

    const std::unique_ptr<CItem> first = items->Item(1);
    const std::unique_ptr<CItem> last = items->Item(3);
    ASSERT_TRUE(first && last);
    EXPECT_EQ("First", first->AsAppointment()->GetSubject());
    EXPECT_EQ("Third", last->AsAppointment()->GetSubject());
    for (long outside : {0L, 4L, -1L, LONG_MIN, LONG_MAX})
        EXPECT_EQ(nullptr, items->Item(outside)) << outside;
}

TEST(Items, ItemsOfOtherKindsAreCountedButHaveNoTypedInterface)
{
    Session session;
    session.backend->Put(olFolderCalendar, Meeting("Meeting", Morning, 30));
    session.backend->Put(olFolderCalendar, CGenericItemData{olTaskItem, "Write report"});
    session.backend->Put(olFolderContacts, CGenericItemData{olDistributionListItem, "Team"});
    session.backend->Put(olFolderContacts, Person("Ann", "Lee", "ann@example.org"));

    CItems* calendar = ItemsOf(session, olFolderCalendar);
    ASSERT_EQ(2, calendar->GetCount());
    const std::unique_ptr<CItem> task = calendar->Item(2);
    ASSERT_NE(nullptr, task);
    EXPECT_EQ(olTaskItem, task->GetItemType());
    EXPECT_EQ(nullptr, task->AsAppointment());

    CItems* contacts = ItemsOf(session, olFolderContacts);
    ASSERT_EQ(2, contacts->GetCount());
    const std::unique_ptr<CItem> list = contacts->Item(1);
    ASSERT_NE(nullptr, list);
    EXPECT_EQ(olDistributionListItem, list->GetItemType());
    EXPECT_EQ(nullptr, list->AsContact());
    EXPECT_NE(nullptr, contacts->Item(2)->AsContact());
}

TEST(Items, ASavedItemCountsAtOnceAsTheLastItem)
{
    Session session;
    session.backend->Put(olFolderCalendar, Meeting("Loaded", Morning, 30));
    CItems* items = ItemsOf(session, olFolderCalendar);
    ASSERT_EQ(1, items->GetCount());

    std::unique_ptr<CItem> created = session.application->CreateItem(olAppointmentItem);
    CAppointmentItem* appointment = created->AsAppointment();
    appointment->SetStart(Morning);
    appointment->SetSubject("Created");
    ASSERT_TRUE(appointment->Save());
    ASSERT_EQ(2, items->GetCount());
    const std::unique_ptr<CItem> last = items->Item(2);
    EXPECT_EQ("Created", last->AsAppointment()->GetSubject());
    EXPECT_EQ(created->GetEntryID(), last->GetEntryID());
}

TEST(Items, AnItemHandedOutIsACopyUntilSaved)
{
    Session session;
    session.backend->Put(olFolderContacts, Person("Ann", "Lee", "ann@example.org"));
    CItems* items = ItemsOf(session, olFolderContacts);
    const std::unique_ptr<CItem> item = items->Item(1);
    item->AsContact()->SetLastName("Smith");
    EXPECT_EQ("Lee", items->Item(1)->AsContact()->GetLastName());
    ASSERT_TRUE(item->AsContact()->Save());
    EXPECT_EQ("Smith", items->Item(1)->AsContact()->GetLastName());
    EXPECT_EQ(1, items->GetCount()) << "saving again replaces, it does not add";
}
