#include <outlook/FileBackend.h>

#include <platform/testing/TempDir.h>

#include <outlook/MailSender.h>
#include <outlook/ReminderListener.h>
#include <outlook/VCardFile.h>

#include <platform/AtomicFile.h>
#include <platform/FileStamp.h>
#include <platform/PollEventLoop.h>
#include <platform/testing/LoopWait.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <libical/ical.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {
using outlook::CAppointmentData;
using outlook::CContactData;
using outlook::CFileBackend;
using outlook::CStoredItem;
using outlook::olFolderCalendar;
using outlook::olFolderContacts;
using testsupport::CTempDir;
using testsupport::ReadFile;

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string Calendar(const std::string& events)
{
    return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Other Program//EN\r\n" + events + "END:VCALENDAR\r\n";
}

std::string Event(const std::string& uid, const std::string& start, const std::string& summary)
{
    return "BEGIN:VEVENT\r\nUID:" + uid + "\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:" + start +
           "\r\nDURATION:PT1H\r\nSUMMARY:" + summary + "\r\nX-OTHER-PROGRAM:kept\r\nEND:VEVENT\r\n";
}

CAppointmentData Appointment(const std::string& subject, const CDateTime& start)
{
    CAppointmentData data;
    data.subject = subject;
    data.start = start;
    data.duration = 60;
    return data;
}

CContactData Person(const std::string& first, const std::string& last, const std::string& email)
{
    CContactData data;
    data.firstName = first;
    data.lastName = last;
    data.email1Address = email;
    return data;
}

std::vector<std::string> SummariesByLibical(const std::string& text)
{
    std::vector<std::string> summaries;
    icalcomponent* calendar = icalparser_parse_string(text.c_str());
    if (!calendar)
        return summaries;
    for (icalcomponent* event = icalcomponent_get_first_component(calendar, ICAL_VEVENT_COMPONENT); event;
         event = icalcomponent_get_next_component(calendar, ICAL_VEVENT_COMPONENT))
        summaries.push_back(icalcomponent_get_summary(event) ? icalcomponent_get_summary(event) : "");
    icalcomponent_free(calendar);
    return summaries;
}

std::string Subject(const CFileBackend& backend, long index)
{
    CStoredItem item;
    if (!backend.GetItem(olFolderCalendar, index, item))
        return "<none>";
    return std::get<CAppointmentData>(item.data).subject;
}

class RecordingListener : public outlook::CReminderListener {
public:
    void OnReminder(const CStoredItem& item) override { ids.push_back(item.id); }
    std::vector<std::string> ids;
};

class RecordingSender : public outlook::CMailSender {
public:
    bool Send(const outlook::CMailData& mail, std::string& error) override
    {
        if (refuse) {
            error = "relay refused";
            return false;
        }
        sent.push_back(mail.to);
        return true;
    }
    bool refuse = false;
    std::vector<std::string> sent;
};

class FileBackendTest : public ::testing::Test {
protected:
    std::unique_ptr<CFileBackend> Started(CEventLoop* loop = nullptr)
    {
        auto backend = std::make_unique<CFileBackend>(temp.Path(), loop);
        EXPECT_TRUE(backend->Start()) << backend->GetLastErrorText();
        EXPECT_TRUE(backend->Open());
        return backend;
    }
    std::string CalendarPath() const { return temp.File(CFileBackend::CalendarFileName); }
    std::string ContactsPath() const { return temp.File(CFileBackend::ContactsFileName); }

    testsupport::CTempDir temp;
};

TEST_F(FileBackendTest, MissingFilesAreEmptyFoldersMadeOnTheFirstSave)
{
    CFileBackend backend(temp.Path() + "/deeper/still/", nullptr);
    ASSERT_TRUE(backend.Start()) << backend.GetLastErrorText();
    EXPECT_FALSE(backend.IsFolderAvailable(olFolderCalendar));
    ASSERT_TRUE(backend.Open());
    EXPECT_TRUE(backend.IsOpen());
    EXPECT_EQ(backend.GetCount(olFolderCalendar), 0);
    EXPECT_EQ(backend.GetCount(olFolderContacts), 0);
    EXPECT_TRUE(ReadFile(backend.GetCalendarPath()).empty());

    CStoredItem meeting{"", Appointment("Kick-off", CDateTime(2026, 4, 1, 9, 0, 0))};
    ASSERT_TRUE(backend.AddItem(olFolderCalendar, meeting)) << backend.GetLastErrorText();
    EXPECT_FALSE(meeting.id.empty());
    CStoredItem person{"", Person("Ada", "Lovelace", "ada@example.org")};
    ASSERT_TRUE(backend.AddItem(olFolderContacts, person)) << backend.GetLastErrorText();
    EXPECT_FALSE(person.id.empty());

    EXPECT_EQ(SummariesByLibical(ReadFile(backend.GetCalendarPath())), std::vector<std::string>{"Kick-off"});
    std::vector<outlook::CVCard> cards;
    std::string error;
    ASSERT_TRUE(outlook::CVCardFile::Parse(ReadFile(backend.GetContactsPath()), cards, error)) << error;
    ASSERT_EQ(cards.size(), 1u);
    EXPECT_EQ(cards[0].uid, person.id);
    EXPECT_EQ(cards[0].contact.email1Address, "ada@example.org");

    CFileBackend again(temp.Path() + "/deeper/still", nullptr);
    ASSERT_TRUE(again.Start() && again.Open());
    ASSERT_EQ(again.GetCount(olFolderCalendar), 1);
    CStoredItem read;
    ASSERT_TRUE(again.GetItem(olFolderCalendar, 0, read));
    EXPECT_EQ(read.id, meeting.id);
    EXPECT_EQ(std::get<CAppointmentData>(read.data).start, CDateTime(2026, 4, 1, 9, 0, 0));
    EXPECT_EQ(std::get<CAppointmentData>(read.data).duration, 60);
    ASSERT_TRUE(again.GetItem(olFolderContacts, 0, read));
    EXPECT_EQ(read.id, person.id);
    EXPECT_EQ(std::get<CContactData>(read.data).lastName, "Lovelace");
}

TEST_F(FileBackendTest, StartFailsWithAReasonWhenTheDirectoryCannotBeMade)
{
    WriteFile(temp.File("plain"), "not a directory");
    CFileBackend backend(temp.File("plain") + "/calendar", nullptr);
    EXPECT_FALSE(backend.Start());
    EXPECT_NE(backend.GetLastErrorText().find("plain"), std::string::npos) << backend.GetLastErrorText();
}

TEST_F(FileBackendTest, UnparsableFilesFailTheStartAndAreNeverOverwritten)
{
    const std::string broken = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:x\r\n";
    WriteFile(CalendarPath(), broken);
    CFileBackend backend(temp.Path(), nullptr);
    EXPECT_FALSE(backend.Start());
    EXPECT_NE(backend.GetLastErrorText().find("calendar.ics"), std::string::npos)
        << backend.GetLastErrorText();
    backend.Open();
    CStoredItem meeting{"", Appointment("Lost?", CDateTime(2026, 4, 1, 9, 0, 0))};
    EXPECT_FALSE(backend.AddItem(olFolderCalendar, meeting));
    EXPECT_EQ(ReadFile(CalendarPath()), broken);

    WriteFile(CalendarPath(), Calendar(""));
    WriteFile(ContactsPath(), "this is no vCard\n");
    EXPECT_FALSE(backend.Start());
    EXPECT_NE(backend.GetLastErrorText().find("contacts.vcf"), std::string::npos)
        << backend.GetLastErrorText();
    EXPECT_EQ(ReadFile(ContactsPath()), "this is no vCard\n");
}

// libical reads this DTSTAMP as a date and writes it with a VALUE=DATE it
// then refuses: the calendar reads, but no save may replace it.
TEST_F(FileBackendTest, ACalendarThatWouldNotReadBackIsReadAndOnlyAddedTo)
{
    const std::string unwritable =
        Calendar(Event("kept", "20260301T090000", "Kept") +
                 "BEGIN:VEVENT\r\nUID:odd\r\nDTSTAMP:20290000\r\nDTSTART:20260302T100000\r\nEND:VEVENT\r\n");
    WriteFile(CalendarPath(), unwritable);
    auto backend = Started();
    ASSERT_EQ(backend->GetCount(olFolderCalendar), 2);
    EXPECT_EQ(Subject(*backend, 0), "Kept");

    // A new event goes in before the end and leaves every other byte alone,
    // so the value libical would write unreadably is never written by it.
    CStoredItem meeting{"", Appointment("Added", CDateTime(2026, 4, 1, 9, 0, 0))};
    ASSERT_TRUE(backend->AddItem(olFolderCalendar, meeting)) << backend->GetLastErrorText();
    EXPECT_FALSE(meeting.id.empty());
    const std::string added = ReadFile(CalendarPath());
    const std::size_t end = unwritable.rfind("END:VCALENDAR");
    EXPECT_EQ(added.substr(0, end), unwritable.substr(0, end));
    EXPECT_EQ(SummariesByLibical(added), (std::vector<std::string>{"Kept", "", "Added"}));
    ASSERT_EQ(backend->GetCount(olFolderCalendar), 3);
    WriteFile(CalendarPath(), unwritable);

    CStoredItem kept;
    ASSERT_TRUE(backend->GetItem(olFolderCalendar, 0, kept));
    std::get<CAppointmentData>(kept.data).subject = "Changed";
    // A change rewrites the whole calendar, which would not read back.
    EXPECT_FALSE(backend->UpdateItem(kept));
    EXPECT_NE(backend->GetLastErrorText().find("would not read back"), std::string::npos)
        << backend->GetLastErrorText();
    EXPECT_EQ(ReadFile(CalendarPath()), unwritable);
    EXPECT_EQ(Subject(*backend, 0), "Kept");

    // Once the other program mends its file, saving works again.
    const std::string mended = Calendar(Event("kept", "20260301T090000", "Kept"));
    WriteFile(CalendarPath(), mended);
    EXPECT_TRUE(backend->UpdateItem(kept)) << backend->GetLastErrorText();
    EXPECT_EQ(SummariesByLibical(ReadFile(CalendarPath())), std::vector<std::string>{"Changed"});
}

TEST_F(FileBackendTest, AddingAnEventKeepsEveryOtherByteAndTheFilesLineEnds)
{
    // Lines folded, parameters and blanks as another program wrote them,
    // which a rewrite by libical would change.
    const std::string other =
        "BEGIN:VEVENT\r\nUID:mine\r\nDTSTAMP:20260101T000000Z\r\nDTSTART;VALUE=DATE-TIME:"
        "20260301T090000\r\nSUMMARY:A long summary that another program folded \r\n at "
        "its own column\r\nX-ANOTHER;PARAM=\"a b\":kept\r\nEND:VEVENT\r\n";
    for (const bool feedsOnly : {false, true}) {
        std::string text = Calendar(other);
        if (feedsOnly)
            text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
        WriteFile(CalendarPath(), text);
        auto backend = Started();
        CStoredItem meeting{"", Appointment("Added", CDateTime(2026, 4, 1, 9, 0, 0))};
        ASSERT_TRUE(backend->AddItem(olFolderCalendar, meeting)) << backend->GetLastErrorText();
        const std::string written = ReadFile(CalendarPath());
        const std::size_t end = text.rfind("END:VCALENDAR");
        EXPECT_EQ(written.substr(0, end), text.substr(0, end));
        EXPECT_EQ(written.substr(written.size() - (text.size() - end)), text.substr(end));
        EXPECT_EQ(written.find('\r') == std::string::npos, feedsOnly);
        auto reread = Started();
        ASSERT_EQ(reread->GetCount(olFolderCalendar), 2);
        EXPECT_EQ(Subject(*reread, 1), "Added");
        CStoredItem read;
        ASSERT_TRUE(reread->GetItem(olFolderCalendar, 1, read));
        EXPECT_EQ(read.id, meeting.id);
    }
}

TEST_F(FileBackendTest, FoldersHoldTheFilesItemsInOrderAndOnlyWhileOpen)
{
    WriteFile(CalendarPath(), Calendar(Event("one", "20260301T090000", "First") +
                                       "BEGIN:VTODO\r\nUID:task\r\nSUMMARY:Task\r\nEND:VTODO\r\n" +
                                       Event("two", "20260302T090000", "Second")));
    WriteFile(ContactsPath(), "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jane;;;\r\nFN:Jane Doe\r\n"
                              "EMAIL:jane@example.org\r\nEND:VCARD\r\n");
    auto backend = Started();
    ASSERT_EQ(backend->GetCount(olFolderCalendar), 2);
    EXPECT_EQ(Subject(*backend, 0), "First");
    EXPECT_EQ(Subject(*backend, 1), "Second");
    CStoredItem item;
    EXPECT_FALSE(backend->GetItem(olFolderCalendar, 2, item));
    EXPECT_FALSE(backend->GetItem(olFolderCalendar, -1, item));
    ASSERT_TRUE(backend->GetItem(olFolderContacts, 0, item));
    EXPECT_EQ(item.id, "card:1");
    EXPECT_EQ(std::get<CContactData>(item.data).firstName, "Jane");

    backend->Close();
    EXPECT_FALSE(backend->IsFolderAvailable(olFolderCalendar));
    EXPECT_EQ(backend->GetCount(olFolderCalendar), 0);
    EXPECT_FALSE(backend->GetItem(olFolderCalendar, 0, item));
    EXPECT_FALSE(backend->AddItem(olFolderCalendar, item));
    EXPECT_FALSE(backend->UpdateItem(item));
}

TEST_F(FileBackendTest, AnotherProgramsChangeOnDiskIsKeptWhenTheAgentAdds)
{
    WriteFile(CalendarPath(), Calendar(Event("one", "20260301T090000", "First")));
    auto backend = Started();
    ASSERT_EQ(backend->GetCount(olFolderCalendar), 1);

    // Another program adds an event behind the agent's back.
    std::string error;
    ASSERT_TRUE(CAtomicFile(CalendarPath())
                    .Replace(Calendar(Event("one", "20260301T090000", "First") +
                                      Event("other", "20260303T090000", "From elsewhere")),
                             error));
    CStoredItem mine{"", Appointment("Mine", CDateTime(2026, 3, 4, 9, 0, 0))};
    ASSERT_TRUE(backend->AddItem(olFolderCalendar, mine)) << backend->GetLastErrorText();
    EXPECT_EQ(SummariesByLibical(ReadFile(CalendarPath())),
              (std::vector<std::string>{"First", "From elsewhere", "Mine"}));
    EXPECT_EQ(backend->GetCount(olFolderCalendar), 3);
    EXPECT_NE(ReadFile(CalendarPath()).find("X-OTHER-PROGRAM:kept"), std::string::npos);

    // The same for contacts.
    WriteFile(ContactsPath(), "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u1\r\nN:Doe;Jane;;;\r\nFN:Jane Doe\r\n"
                              "EMAIL:jane@example.org\r\nEND:VCARD");
    CStoredItem person{"", Person("Ada", "Lovelace", "ada@example.org")};
    ASSERT_TRUE(backend->AddItem(olFolderContacts, person)) << backend->GetLastErrorText();
    ASSERT_EQ(backend->GetCount(olFolderContacts), 2);
    std::vector<outlook::CVCard> cards;
    ASSERT_TRUE(outlook::CVCardFile::Parse(ReadFile(ContactsPath()), cards, error)) << error;
    ASSERT_EQ(cards.size(), 2u);
    EXPECT_EQ(cards[0].uid, "u1");
    EXPECT_EQ(cards[1].contact.firstName, "Ada");

    // A change the agent cannot read stops the save and is left alone.
    WriteFile(CalendarPath(), "garbled");
    CStoredItem refused{"", Appointment("Refused", CDateTime(2026, 3, 5, 9, 0, 0))};
    EXPECT_FALSE(backend->AddItem(olFolderCalendar, refused));
    EXPECT_FALSE(backend->GetLastErrorText().empty());
    EXPECT_EQ(ReadFile(CalendarPath()), "garbled");
}

// A broken file seen first by a refresh, then again by a save once its
// stamp has settled: the failed read must not vouch for the old text.
TEST_F(FileBackendTest, AFileFoundUnreadableByARefreshIsNotOverwrittenByTheNextSave)
{
    WriteFile(CalendarPath(), Calendar(Event("one", "20260301T090000", "First")));
    auto backend = Started();
    WriteFile(CalendarPath(), "garbled");
    CPollEventLoop loop;
    ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return CFileStamp::Of(CalendarPath()).IsSettled(); }));
    EXPECT_EQ(backend->Refresh(), outlook::CBackend::RefreshResult::Failed);

    CStoredItem refused{"", Appointment("Refused", CDateTime(2026, 3, 5, 9, 0, 0))};
    EXPECT_FALSE(backend->AddItem(olFolderCalendar, refused));
    EXPECT_EQ(ReadFile(CalendarPath()), "garbled");
}

TEST_F(FileBackendTest, UpdatesRewriteTheMappedFieldsAndKeepTheRest)
{
    WriteFile(CalendarPath(), Calendar(Event("one", "20260301T090000", "First")));
    WriteFile(ContactsPath(), "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u1\r\nN:Doe;Jane;;;\r\nFN:Jane Doe\r\n"
                              "EMAIL:jane@example.org\r\nADR;TYPE=HOME:;;1 Main St;Town;;12345;\r\n"
                              " Land\r\nEND:VCARD\r\n"
                              "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Roe;Rick;;;\r\nFN:Rick Roe\r\nEND:VCARD\r\n");
    auto backend = Started();
    CStoredItem event;
    ASSERT_TRUE(backend->GetItem(olFolderCalendar, 0, event));
    std::get<CAppointmentData>(event.data).subject = "First, renamed";
    ASSERT_TRUE(backend->UpdateItem(event)) << backend->GetLastErrorText();
    const std::string calendar = ReadFile(CalendarPath());
    EXPECT_NE(calendar.find("SUMMARY:First\\, renamed"), std::string::npos) << calendar;
    EXPECT_NE(calendar.find("X-OTHER-PROGRAM:kept"), std::string::npos);
    EXPECT_EQ(Subject(*backend, 0), "First, renamed");

    CStoredItem contact;
    ASSERT_TRUE(backend->GetItem(olFolderContacts, 0, contact));
    ASSERT_EQ(contact.id, "u1");
    std::get<CContactData>(contact.data).email1Address = "jane.doe@example.org";
    ASSERT_TRUE(backend->UpdateItem(contact)) << backend->GetLastErrorText();
    const std::string contacts = ReadFile(ContactsPath());
    EXPECT_NE(contacts.find("jane.doe@example.org"), std::string::npos);
    EXPECT_EQ(contacts.find("EMAIL:jane@example.org"), std::string::npos);
    EXPECT_NE(contacts.find("ADR;TYPE=HOME:;;1 Main St;Town;;12345;\r\n Land\r\n"), std::string::npos)
        << contacts;
    EXPECT_NE(contacts.find("FN:Rick Roe"), std::string::npos);

    // A card without a UID keeps the id it was handed out under.
    ASSERT_TRUE(backend->GetItem(olFolderContacts, 1, contact));
    ASSERT_EQ(contact.id, "card:2");
    std::get<CContactData>(contact.data).mobileTelephoneNumber = "+1 555 0100";
    ASSERT_TRUE(backend->UpdateItem(contact)) << backend->GetLastErrorText();
    ASSERT_TRUE(backend->GetItem(olFolderContacts, 1, contact));
    EXPECT_EQ(contact.id, "card:2");
    EXPECT_EQ(std::get<CContactData>(contact.data).mobileTelephoneNumber, "+1 555 0100");

    CStoredItem stranger{"nobody", CAppointmentData()};
    EXPECT_FALSE(backend->UpdateItem(stranger));
    CStoredItem turned{"one", Person("A", "B", "c@example.org")};
    EXPECT_FALSE(backend->UpdateItem(turned));
    EXPECT_NE(backend->GetLastErrorText().find("kind"), std::string::npos);
    EXPECT_EQ(backend->GetCount(olFolderContacts), 2);
}

TEST_F(FileBackendTest, RemovingAnEventTakesOnlyItOutAlsoInABatchThatFails)
{
    WriteFile(CalendarPath(),
              Calendar(Event("one", "20260301T090000", "First") + Event("two", "20260302T090000", "Second") +
                       Event("three", "20260303T090000", "Third")));
    auto backend = Started();
    ASSERT_TRUE(backend->RemoveItem("two")) << backend->GetLastErrorText();
    const std::string calendar = ReadFile(CalendarPath());
    EXPECT_EQ(calendar.find("Second"), std::string::npos) << calendar;
    EXPECT_NE(calendar.find("SUMMARY:Third\r\nX-OTHER-PROGRAM:kept"), std::string::npos) << calendar;
    ASSERT_EQ(backend->GetCount(olFolderCalendar), 2);
    EXPECT_EQ(Subject(*backend, 1), "Third");
    EXPECT_FALSE(backend->RemoveItem("two"));
    EXPECT_NE(backend->GetLastErrorText().find("no event has the id two"), std::string::npos);

    // Another program writes while a batch removes: nothing is lost.
    backend->BeginBatch();
    ASSERT_TRUE(backend->RemoveItem("one"));
    WriteFile(CalendarPath(), calendar + "\r\n");
    EXPECT_FALSE(backend->EndBatch());
    EXPECT_EQ(ReadFile(CalendarPath()), calendar + "\r\n");
}

TEST_F(FileBackendTest, MailGoesToThePluggedInSenderOnly)
{
    auto backend = Started();
    outlook::CMailData mail{"someone@example.org", "Subject", "Body"};
    EXPECT_FALSE(backend->SendMail(mail));
    EXPECT_NE(backend->GetLastErrorText().find("sender"), std::string::npos);
    RecordingSender sender;
    backend->SetMailSender(&sender);
    EXPECT_TRUE(backend->SendMail(mail));
    EXPECT_EQ(sender.sent, std::vector<std::string>{"someone@example.org"});
    sender.refuse = true;
    EXPECT_FALSE(backend->SendMail(mail));
    EXPECT_EQ(backend->GetLastErrorText(), "relay refused");
    backend->SetMailSender(nullptr);
}

// A read leaves work for the loop (handing memory back); a back-end gone
// before the loop runs must leave nothing behind that reaches it.
TEST_F(FileBackendTest, ABackEndGoneBeforeItsLoopRunsLeavesTheLoopSound)
{
    WriteFile(CalendarPath(), Calendar(Event("one", "20260301T090000", "First")));
    CPollEventLoop loop;
    {
        auto backend = Started(&loop);
        EXPECT_EQ(backend->GetCount(olFolderCalendar), 1);
    }
    auto again = Started(&loop);
    ASSERT_TRUE(loopwait::DeliverPosted(loop));
    // Runs the loop a little while for anything left due.
    EXPECT_FALSE(loopwait::RunUntil(
        loop, [] { return false; }, std::chrono::milliseconds(20)));
    // Read again once the loop has run: still one event, still readable.
    ASSERT_TRUE(again->Start()) << again->GetLastErrorText();
    EXPECT_EQ(Subject(*again, 0), "First");
}

TEST_F(FileBackendTest, RemindersFireFromTheLoopOncePerOccurrence)
{
    CPollEventLoop loop;
    auto backend = Started(&loop);
    RecordingListener listener;
    backend->SetReminderListener(&listener);

    CAppointmentData soon = Appointment("Soon", CDateTime::GetCurrentTime() + CDateTimeSpan(0, 0, 0, 2));
    soon.reminderSet = true;
    soon.reminderMinutesBeforeStart = 0;
    CStoredItem first{"", soon};
    ASSERT_TRUE(backend->AddItem(olFolderCalendar, first)) << backend->GetLastErrorText();
    ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return listener.ids.size() == 1; }));
    EXPECT_EQ(listener.ids[0], first.id);

    // Read again from disk, and another item added: the first stays fired.
    ASSERT_TRUE(backend->Start()) << backend->GetLastErrorText();
    soon.subject = "Later";
    soon.start = CDateTime::GetCurrentTime() + CDateTimeSpan(0, 0, 0, 2);
    CStoredItem second{"", soon};
    ASSERT_TRUE(backend->AddItem(olFolderCalendar, second)) << backend->GetLastErrorText();
    ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return listener.ids.size() >= 2; }));
    EXPECT_EQ(listener.ids, (std::vector<std::string>{first.id, second.id}));
    backend->SetReminderListener(nullptr);
}
TEST_F(FileBackendTest, RemindersWaitForTheLogonAndMissedOnesWhoseMeetingIsAheadFireThen)
{
    const CDateTime inAnHour = CDateTime::GetCurrentTime() + CDateTimeSpan(0, 1, 0, 0);
    char start[32];
    std::snprintf(start, sizeof start, "%04d%02d%02dT%02d%02d%02d", inAnHour.GetYear(), inAnHour.GetMonth(),
                  inAnHour.GetDay(), inAnHour.GetHour(), inAnHour.GetMinute(), inAnHour.GetSecond());
    WriteFile(CalendarPath(), Calendar("BEGIN:VEVENT\r\nUID:missed\r\nDTSTART:" + std::string(start) +
                                       "\r\nSUMMARY:Missed\r\nBEGIN:VALARM\r\nACTION:DISPLAY\r\n"
                                       "DESCRIPTION:x\r\nTRIGGER:-PT2H\r\nEND:VALARM\r\nEND:VEVENT\r\n"));
    CPollEventLoop loop;
    CFileBackend backend(temp.Path(), &loop);
    RecordingListener listener;
    backend.SetReminderListener(&listener);
    ASSERT_TRUE(backend.Start()) << backend.GetLastErrorText();
    ASSERT_TRUE(loopwait::DeliverPosted(loop));
    EXPECT_TRUE(listener.ids.empty());
    ASSERT_TRUE(backend.Open());
    ASSERT_TRUE(loopwait::RunUntil(loop, [&] { return !listener.ids.empty(); }));
    EXPECT_EQ(listener.ids, std::vector<std::string>{"missed"});
    backend.SetReminderListener(nullptr);
}
} // namespace
