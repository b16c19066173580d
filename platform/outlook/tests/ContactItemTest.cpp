#include <outlook/ContactItem.h>
#include <outlook/Items.h>
#include <outlook/MAPIFolder.h>

#include "Fixture.h"

#include <gtest/gtest.h>

using namespace outlook;
using outlook_test::Person;
using outlook_test::Session;

namespace {
CItems* Contacts(Session& session)
{
    return session.mapi->GetDefaultFolder(olFolderContacts)->GetItems();
}
} // namespace

TEST(ContactItem, CreateAndSaveAppendsToTheContactsFolder)
{
    Session session;
    session.backend->Put(olFolderContacts, Person("Ann", "Lee", "ann@example.org"));
    std::unique_ptr<CItem> item = session.application->CreateItem(olContactItem);
    CContactItem& contact = *item->AsContact();
    contact.SetFirstName("Bob");
    contact.SetLastName("Stone");
    contact.SetEmail1Address("bob@example.org");
    contact.SetWebPage("http://example.org/~bob");
    contact.SetMobileTelephoneNumber("+44 7700 900003");
    ASSERT_TRUE(contact.Save());

    ASSERT_EQ(2, Contacts(session)->GetCount());
    EXPECT_EQ(0, session.mapi->GetDefaultFolder(olFolderCalendar)->GetItems()->GetCount());
    const std::unique_ptr<CItem> read = Contacts(session)->Item(2);
    const CContactItem& stored = *read->AsContact();
    EXPECT_EQ("Bob", stored.GetFirstName());
    EXPECT_EQ("Stone", stored.GetLastName());
    EXPECT_EQ("bob@example.org", stored.GetEmail1Address());
    EXPECT_EQ("http://example.org/~bob", stored.GetWebPage());
    EXPECT_EQ("+44 7700 900003", stored.GetMobileTelephoneNumber());
    EXPECT_EQ("", stored.GetHomeTelephoneNumber());
}

TEST(ContactItem, PropertiesReadByName)
{
    Session session;
    CContactData data = Person("Ann", "Lee", "ann@example.org");
    data.businessTelephoneNumber = "1";
    data.homeTelephoneNumber = "2";
    session.backend->Put(olFolderContacts, data);
    const std::unique_ptr<CItem> item = Contacts(session)->Item(1);
    EXPECT_EQ(PropertyValue(std::string("Lee")), item->GetProperty("lastname"));
    EXPECT_EQ(PropertyValue(std::string("ann@example.org")), item->GetProperty("Email1Address"));
    EXPECT_EQ(PropertyValue(std::string("1")), item->GetProperty("BusinessTelephoneNumber"));
    EXPECT_EQ(PropertyValue(std::string("2")), item->GetProperty("HomeTelephoneNumber"));
    EXPECT_FALSE(item->GetProperty("Start").has_value());
}

TEST(ContactItem, SaveFailsWhileTheFolderCannotBeWritten)
{
    Session session;
    std::unique_ptr<CItem> item = session.application->CreateItem(olContactItem);
    session.backend->SetFailing(CMemoryBackend::Operation::ContactsFolder, true);
    EXPECT_FALSE(item->AsContact()->Save());
    session.backend->SetFailing(CMemoryBackend::Operation::ContactsFolder, false);
    EXPECT_EQ(0, Contacts(session)->GetCount());
}
