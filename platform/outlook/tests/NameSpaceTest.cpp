#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>

#include "Fixture.h"

#include <gtest/gtest.h>

using namespace outlook;
using outlook_test::Meeting;

TEST(NameSpace, DefaultFoldersNineAndTenOnlyAndOnlyWhileLoggedOn)
{
    auto backend = std::make_shared<CMemoryBackend>();
    backend->Put(olFolderCalendar, Meeting("Review", CDateTime(2026, 12, 7, 9, 0, 0), 30));
    auto application = CApplication::Create(backend);
    CNameSpace* mapi = application->GetNamespace("MAPI");
    EXPECT_FALSE(mapi->IsLoggedOn());
    EXPECT_EQ(nullptr, mapi->GetDefaultFolder(olFolderCalendar));

    ASSERT_TRUE(mapi->Logon());
    EXPECT_TRUE(mapi->Logon()) << "a second logon is no failure";
    CMAPIFolder* calendar = mapi->GetDefaultFolder(9);
    CMAPIFolder* contacts = mapi->GetDefaultFolder(10);
    ASSERT_TRUE(calendar && contacts);
    EXPECT_EQ(olFolderCalendar, calendar->GetFolderType());
    EXPECT_EQ(olFolderContacts, contacts->GetFolderType());
    EXPECT_EQ(calendar, mapi->GetDefaultFolder(9)) << "the same folder every time";
    for (long other : {0L, 6L, 8L, 11L, -9L})
        EXPECT_EQ(nullptr, mapi->GetDefaultFolder(other)) << other;
    CItems* items = calendar->GetItems();
    ASSERT_NE(nullptr, items);
    EXPECT_EQ(1, items->GetCount());

    mapi->Logoff();
    EXPECT_FALSE(mapi->IsLoggedOn());
    EXPECT_EQ(nullptr, mapi->GetDefaultFolder(olFolderContacts));
    EXPECT_EQ(nullptr, calendar->GetItems()) << "a folder kept from before reads nothing";
    EXPECT_EQ(0, items->GetCount());
    EXPECT_EQ(nullptr, items->Item(1));
    ASSERT_TRUE(mapi->Logon());
    EXPECT_EQ(1, items->GetCount());
}

TEST(NameSpace, AFailedLogonLeavesEverythingClosedAndSaysWhy)
{
    auto backend = std::make_shared<CMemoryBackend>();
    backend->SetFailing(CMemoryBackend::Operation::Open, true);
    auto application = CApplication::Create(backend);
    CNameSpace* mapi = application->GetNamespace("MAPI");
    EXPECT_FALSE(mapi->Logon());
    EXPECT_FALSE(mapi->IsLoggedOn());
    EXPECT_EQ(nullptr, mapi->GetDefaultFolder(olFolderCalendar));
    EXPECT_EQ("The store refused the logon.", application->GetLastErrorText());
}
