#include <outlook/MAPIFolder.h>

#include "Fixture.h"

#include <gtest/gtest.h>

using namespace outlook;

TEST(MAPIFolder, ItemsAreThereWhileTheFolderCanBeRead)
{
    outlook_test::Session session;
    CMAPIFolder* contacts = session.mapi->GetDefaultFolder(olFolderContacts);
    CItems* items = contacts->GetItems();
    ASSERT_NE(nullptr, items);
    session.backend->SetFailing(CMemoryBackend::Operation::ContactsFolder, true);
    EXPECT_EQ(nullptr, contacts->GetItems());
    EXPECT_NE(nullptr, session.mapi->GetDefaultFolder(olFolderCalendar)->GetItems());
    session.backend->SetFailing(CMemoryBackend::Operation::ContactsFolder, false);
    EXPECT_EQ(items, contacts->GetItems());
}
