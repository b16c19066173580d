#include <outlook/GenericItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>

#include "Fixture.h"

#include <gtest/gtest.h>

using namespace outlook;
using outlook_test::Session;

TEST(GenericItem, GivesItsKindAndSubjectAndNoTypedInterface)
{
    Session session;
    const EntryId id =
        session.backend->Put(olFolderContacts, CGenericItemData{olDistributionListItem, "Team"});
    std::unique_ptr<CItem> item = session.mapi->GetDefaultFolder(olFolderContacts)->GetItems()->Item(1);
    ASSERT_NE(nullptr, item);
    EXPECT_EQ(olDistributionListItem, item->GetItemType());
    EXPECT_EQ(id, item->GetEntryID());
    EXPECT_EQ(nullptr, item->AsAppointment());
    EXPECT_EQ(nullptr, item->AsContact());
    EXPECT_EQ(nullptr, item->AsMail());
    EXPECT_EQ(PropertyValue(std::string("Team")), item->GetProperty("SUBJECT"));
    EXPECT_FALSE(item->GetProperty("Start").has_value());
    EXPECT_FALSE(item->GetProperty("FirstName").has_value());
}
