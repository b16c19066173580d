#include <outlook/ApplicationEvents.h>

#include "Fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

using namespace outlook;
using outlook_test::Meeting;
using outlook_test::Session;

namespace {
// Keeps "subject|location|start" as the late-bound reads of each reminder
// gave them.
struct Sink : CApplicationEvents {
    void Reminder(CItem& item) override
    {
        const auto text = [&item](const char* name) {
            const std::optional<PropertyValue> value = item.GetProperty(name);
            const std::string* found = value ? std::get_if<std::string>(&*value) : nullptr;
            return found ? *found : "?";
        };
        const std::optional<PropertyValue> start = item.GetProperty("Start");
        const CDateTime* time = start ? std::get_if<CDateTime>(&*start) : nullptr;
        seen.push_back(text("Subject") + "|" + text("Location") + "|" + (time ? time->Format() : "?"));
        if (then)
            then();
    }
    std::vector<std::string> seen;
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
    EXPECT_EQ(session.mapi, session.application->GetNamespace("mapi"));
    EXPECT_EQ(nullptr, session.application->GetNamespace("MAP"));
}

TEST(Application, CreateItemMakesMailAppointmentsAndContactsOnly)
{
    Session session;
    EXPECT_NE(nullptr, session.application->CreateItem(olMailItem)->AsMail());
    EXPECT_NE(nullptr, session.application->CreateItem(olAppointmentItem)->AsAppointment());
    EXPECT_NE(nullptr, session.application->CreateItem(olContactItem)->AsContact());
    EXPECT_EQ(nullptr, session.application->CreateItem(olContactItem)->AsMail());
    for (long kind : {-1L, 3L, 7L})
        EXPECT_EQ(nullptr, session.application->CreateItem(kind)) << kind;
}

TEST(Application, ReminderReachesEveryAdvisedSinkUntilUnadvised)
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
    EXPECT_EQ(std::vector<std::string>{"Review|Room 2|12/7/2026 12:00:00 PM"}, first.seen);
    EXPECT_EQ(first.seen, second.seen);

    EXPECT_TRUE(session.application->Unadvise(&first));
    EXPECT_FALSE(session.application->Unadvise(&first));
    ASSERT_TRUE(session.backend->FireReminder(id));
    EXPECT_EQ(1u, first.seen.size());
    EXPECT_EQ(2u, second.seen.size());
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
    EXPECT_EQ(1u, first.seen.size());
    EXPECT_TRUE(second.seen.empty());
}

TEST(Application, NoReminderIsDeliveredAfterTheApplicationIsGone)
{
    Session session;
    const EntryId id = session.backend->Put(olFolderCalendar, Meeting("Late", Noon, 15));
    Sink sink;
    session.application->Advise(&sink);
    session.application.reset();
    EXPECT_TRUE(session.backend->FireReminder(id));
    EXPECT_TRUE(sink.seen.empty());
}
