#include <outlook/AppointmentItem.h>
#include <outlook/ApplicationEvents.h>
#include <outlook/ContactItem.h>
#include <outlook/MailItem.h>

#include "Fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace outlook;
using outlook_test::Meeting;
using outlook_test::Session;

namespace
{
std::string TextOf(const std::optional<PropertyValue>& value)
{
    const std::string* text = value ? std::get_if<std::string>(&*value) : nullptr;
    return text ? *text : "<no text>";
}

// Keeps what the late-bound reads of each reminder gave.
struct Sink : CApplicationEvents
{
    void Reminder(CItem& item) override
    {
        subjects.push_back(TextOf(item.GetProperty("Subject")));
        locations.push_back(TextOf(item.GetProperty("Location")));
        const std::optional<PropertyValue> start = item.GetProperty("Start");
        const CDateTime* time = start ? std::get_if<CDateTime>(&*start) : nullptr;
        starts.push_back(time ? *time : CDateTime(-1e9));
        if (then)
            then();
    }
    std::vector<std::string> subjects;
    std::vector<std::string> locations;
    std::vector<CDateTime> starts;
    std::function<void()> then;
};

const CDateTime Noon(2026, 12, 7, 12, 0, 0);
} // namespace

TEST(Application, CreateNeedsAStartingBackendOfItsOwn)
{
    EXPECT_EQ(nullptr, CApplication::Create(nullptr));

    auto backend = std::make_shared<CMemoryBackend>();
    backend->SetFailing(CMemoryBackend::Operation::Start, true);
    EXPECT_EQ(nullptr, CApplication::Create(backend));
    backend->SetFailing(CMemoryBackend::Operation::Start, false);

    std::unique_ptr<CApplication> first = CApplication::Create(backend);
    ASSERT_NE(nullptr, first);
    EXPECT_EQ(nullptr, CApplication::Create(backend)) << "one application per back-end";
    first.reset();
    EXPECT_NE(nullptr, CApplication::Create(backend));
}

TEST(Application, OnlyTheMapiNamespaceExistsAndItIsOne)
{
    Session session;
    ASSERT_NE(nullptr, session.mapi);
    EXPECT_EQ(session.mapi, session.application->GetNamespace("MAPI"));
    EXPECT_EQ(session.mapi, session.application->GetNamespace("mapi"));
    EXPECT_EQ(nullptr, session.application->GetNamespace("MAP"));
    EXPECT_EQ(nullptr, session.application->GetNamespace(""));
}

TEST(Application, CreateItemMakesMailAppointmentsAndContactsOnly)
{
    Session session;
    const std::unique_ptr<CItem> mail = session.application->CreateItem(olMailItem);
    const std::unique_ptr<CItem> appointment = session.application->CreateItem(olAppointmentItem);
    const std::unique_ptr<CItem> contact = session.application->CreateItem(olContactItem);
    ASSERT_TRUE(mail && appointment && contact);
    EXPECT_NE(nullptr, mail->AsMail());
    EXPECT_EQ(nullptr, mail->AsAppointment());
    EXPECT_NE(nullptr, appointment->AsAppointment());
    EXPECT_EQ(nullptr, appointment->AsContact());
    EXPECT_NE(nullptr, contact->AsContact());
    EXPECT_EQ(nullptr, contact->AsMail());
    EXPECT_TRUE(appointment->GetEntryID().empty());
    for (long kind : {-1L, 3L, 7L, 100L})
        EXPECT_EQ(nullptr, session.application->CreateItem(kind)) << kind;
}

TEST(Application, ReminderReachesEveryAdvisedSinkWithTheItemsProperties)
{
    Session session;
    CAppointmentData data = Meeting("Review", Noon, 60);
    data.location = "Room 2";
    const EntryId id = session.backend->Put(olFolderCalendar, data);
    Sink first, second;
    EXPECT_TRUE(session.application->Advise(&first));
    EXPECT_TRUE(session.application->Advise(&second));
    EXPECT_FALSE(session.application->Advise(&first));
    EXPECT_FALSE(session.application->Advise(nullptr));

    ASSERT_TRUE(session.backend->FireReminder(id));
    EXPECT_EQ(std::vector<std::string>{"Review"}, first.subjects);
    EXPECT_EQ(std::vector<std::string>{"Room 2"}, first.locations);
    EXPECT_EQ(std::vector<CDateTime>{Noon}, first.starts);
    EXPECT_EQ(first.subjects, second.subjects);

    EXPECT_TRUE(session.application->Unadvise(&first));
    EXPECT_FALSE(session.application->Unadvise(&first));
    ASSERT_TRUE(session.backend->FireReminder(id));
    EXPECT_EQ(1u, first.subjects.size());
    EXPECT_EQ(2u, second.subjects.size());
}

TEST(Application, ASinkMayUnadviseAnotherWhileHandlingAReminder)
{
    Session session;
    const EntryId id = session.backend->Put(olFolderCalendar, Meeting("Standup", Noon, 15));
    Sink first, second;
    first.then = [&] { session.application->Unadvise(&second); };
    session.application->Advise(&first);
    session.application->Advise(&second);
    ASSERT_TRUE(session.backend->FireReminder(id));
    EXPECT_EQ(1u, first.subjects.size());
    EXPECT_TRUE(second.subjects.empty());
}

TEST(Application, NoReminderIsDeliveredAfterTheApplicationIsGone)
{
    Session session;
    const EntryId id = session.backend->Put(olFolderCalendar, Meeting("Late", Noon, 15));
    Sink sink;
    session.application->Advise(&sink);
    session.application.reset();
    EXPECT_TRUE(session.backend->FireReminder(id));
    EXPECT_TRUE(sink.subjects.empty());
}

TEST(Application, LastErrorTextIsTheBackendsReason)
{
    Session session;
    session.mapi->Logoff();
    session.backend->SetFailing(CMemoryBackend::Operation::Open, true);
    EXPECT_FALSE(session.mapi->Logon());
    EXPECT_EQ("The store refused the logon.", session.application->GetLastErrorText());
}
