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

namespace {
const CDateTime Morning(2026, 12, 7, 9, 0, 0);

CItems* ItemsOf(Session& session, OlDefaultFolders folder)
{
    return session.mapi->GetDefaultFolder(folder)->GetItems();
}
} // namespace

TEST(Items, PositionsRunFromOneToTheCount)
{
    Session session;
    CItems* items = ItemsOf(session, olFolderCalendar);
    EXPECT_EQ(0, items->GetCount());
    EXPECT_EQ(nullptr, items->Item(1));
    session.backend->Put(olFolderCalendar, Meeting("First", Morning, 30));
    session.backend->Put(olFolderCalendar, Meeting("Second", Morning, 30));
    session.backend->Put(olFolderCalendar, Meeting("Third", Morning, 30));
    ASSERT_EQ(3, items->GetCount());
    EXPECT_EQ("First", items->Item(1)->AsAppointment()->GetSubject());
    EXPECT_EQ("Third", items->Item(3)->AsAppointment()->GetSubject());
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
    EXPECT_EQ(olTaskItem, calendar->Item(2)->GetItemType());
    EXPECT_EQ(nullptr, calendar->Item(2)->AsAppointment());
    CItems* contacts = ItemsOf(session, olFolderContacts);
    ASSERT_EQ(2, contacts->GetCount());
    EXPECT_EQ(nullptr, contacts->Item(1)->AsContact());
    EXPECT_NE(nullptr, contacts->Item(2)->AsContact());
}

TEST(Items, ASavedItemCountsAtOnceAsTheLastItem)
{
    Session session;
    session.backend->Put(olFolderCalendar, Meeting("Loaded", Morning, 30));
    CItems* items = ItemsOf(session, olFolderCalendar);
    std::unique_ptr<CItem> created = session.application->CreateItem(olAppointmentItem);
    created->AsAppointment()->SetStart(Morning);
    created->AsAppointment()->SetSubject("Created");
    ASSERT_TRUE(created->AsAppointment()->Save());
    ASSERT_EQ(2, items->GetCount());
    EXPECT_EQ("Created", items->Item(2)->AsAppointment()->GetSubject());
    EXPECT_EQ(created->GetEntryID(), items->Item(2)->GetEntryID());
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
