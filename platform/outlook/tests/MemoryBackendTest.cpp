#include <outlook/MailSender.h>
#include <outlook/ReminderListener.h>

#include "Fixture.h"

#include <gtest/gtest.h>

#include <vector>

using namespace outlook;
using outlook_test::Meeting;
using outlook_test::Person;

namespace {
const CDateTime Monday(2003, 5, 12, 10, 0, 0);
} // namespace

TEST(MemoryBackend, PutKeepsFolderOrderAndRefusesGenericDataPosingAsAModelledKind)
{
    CMemoryBackend backend;
    const EntryId first = backend.Put(olFolderCalendar, Meeting("First", Monday, 30));
    const EntryId second = backend.Put(olFolderCalendar, Meeting("Second", Monday, 30));
    EXPECT_NE(first, second);
    EXPECT_FALSE(backend.Put(olFolderContacts, CGenericItemData{olDistributionListItem, "Team"}).empty());
    for (OlItemType posing : {olMailItem, olAppointmentItem, olContactItem})
        EXPECT_TRUE(backend.Put(olFolderContacts, CGenericItemData{posing, "Fake"}).empty()) << posing;
    EXPECT_TRUE(backend.Put(static_cast<OlDefaultFolders>(6), Meeting("Inbox", Monday, 30)).empty());

    EXPECT_EQ(0, backend.GetCount(olFolderCalendar)) << "nothing is readable before the store is open";
    ASSERT_TRUE(backend.Open());
    EXPECT_EQ(2, backend.GetCount(olFolderCalendar));
    EXPECT_EQ(1, backend.GetCount(olFolderContacts));
    CStoredItem item;
    ASSERT_TRUE(backend.GetItem(olFolderCalendar, 1, item));
    EXPECT_EQ(second, item.id);
    EXPECT_FALSE(backend.GetItem(olFolderCalendar, 2, item));
    EXPECT_FALSE(backend.GetItem(olFolderCalendar, -1, item));
}

TEST(MemoryBackend, UpdateReplacesDataButNeverTheKind)
{
    CMemoryBackend backend;
    const EntryId id = backend.Put(olFolderCalendar, Meeting("Old", Monday, 30));
    EXPECT_FALSE(backend.UpdateItem(CStoredItem{id, Meeting("New", Monday, 45)})) << "closed";
    ASSERT_TRUE(backend.Open());
    EXPECT_TRUE(backend.UpdateItem(CStoredItem{id, Meeting("New", Monday, 45)}));
    EXPECT_FALSE(backend.UpdateItem(CStoredItem{id, Person("Ann", "Lee", "")}));
    EXPECT_FALSE(backend.UpdateItem(CStoredItem{"mem:999", Meeting("Lost", Monday, 30)}));
    CStoredItem read;
    ASSERT_TRUE(backend.GetItem(olFolderCalendar, 0, read));
    EXPECT_EQ(45, std::get<CAppointmentData>(read.data).duration);
    EXPECT_EQ(1, backend.GetCount(olFolderCalendar));
}

TEST(MemoryBackend, ARefusedSaveAddsNothing)
{
    CMemoryBackend backend;
    ASSERT_TRUE(backend.Open());
    backend.SetFailing(CMemoryBackend::Operation::Save, true);
    CStoredItem item{"", Meeting("Refused", Monday, 30)};
    EXPECT_FALSE(backend.AddItem(olFolderCalendar, item));
    EXPECT_TRUE(item.id.empty());
    EXPECT_EQ(0, backend.GetCount(olFolderCalendar));
    EXPECT_EQ("The item could not be saved.", backend.GetLastErrorText());
}

TEST(MemoryBackend, MailGoesToThePluggedSenderAndIsKeptOnlyWhenTaken)
{
    struct Sender : CMailSender {
        bool Send(const CMailData& mail, std::string& error) override
        {
            seen.push_back(mail.to);
            error = refuse ? "mailbox full" : "";
            return !refuse;
        }
        std::vector<std::string> seen;
        bool refuse = false;
    } sender;

    CMemoryBackend backend;
    EXPECT_TRUE(backend.SendMail(CMailData{"kept@example.org", "s", "b"})) << "no sender: kept here";
    backend.SetMailSender(&sender);
    EXPECT_TRUE(backend.SendMail(CMailData{"ann@example.org", "s", "b"}));
    sender.refuse = true;
    EXPECT_FALSE(backend.SendMail(CMailData{"bob@example.org", "s", "b"}));
    EXPECT_EQ("mailbox full", backend.GetLastErrorText());

    EXPECT_EQ((std::vector<std::string>{"ann@example.org", "bob@example.org"}), sender.seen);
    ASSERT_EQ(2u, backend.GetSentMail().size());
    EXPECT_EQ("ann@example.org", backend.GetSentMail()[1].to);
}

TEST(MemoryBackend, RemindersReachTheListenerOnlyWhileOpen)
{
    struct Listener : CReminderListener {
        void OnReminder(const CStoredItem& item) override { due.push_back(item.id); }
        std::vector<EntryId> due;
    } listener;

    CMemoryBackend backend;
    backend.SetReminderListener(&listener);
    const EntryId id = backend.Put(olFolderCalendar, Meeting("Due", Monday, 30));
    EXPECT_FALSE(backend.FireReminder(id));
    ASSERT_TRUE(backend.Open());
    EXPECT_TRUE(backend.FireReminder(id));
    EXPECT_FALSE(backend.FireReminder("mem:404"));
    EXPECT_EQ(std::vector<EntryId>{id}, listener.due);
}
