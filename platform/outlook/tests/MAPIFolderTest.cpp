#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>

#include "Fixture.h"

#include <gtest/gtest.h>

using namespace outlook;
using outlook_test::Session;

TEST(MAPIFolder, ItemsAreThereWhileTheFolderCanBeRead)
{
    Session session;
    CMAPIFolder* contacts = session.mapi->GetDefaultFolder(olFolderContacts);
    ASSERT_NE(nullptr, contacts);
    CItems* items = contacts->GetItems();
    ASSERT_NE(nullptr, items);
    EXPECT_EQ(items, contacts->GetItems());

    session.backend->SetFailing(CMemoryBackend::Operation::ContactsFolder, true);
    EXPECT_EQ(nullptr, contacts->GetItems());
    EXPECT_NE(nullptr, session.mapi->GetDefaultFolder(olFolderCalendar)->GetItems())
        << "the other folder is unaffected";
    session.backend->SetFailing(CMemoryBackend::Operation::ContactsFolder, false);
    EXPECT_EQ(items, contacts->GetItems());
}
